// LogEx formats from hostile input: an arbitrary wide format string, called with an argument
// list of exactly the types its directives ask for, through FormatWideV into a buffer of
// arbitrary size, FormatWideAllocV and LogCore::LogEx. libffi makes the variadic call, so a
// list of any length and mix of types is a well-defined call.
//
// Input: the capacity of the cut buffer, the format (UTF-16LE, up to U+0000 or the end of a
// random-length string), then bytes from which each argument's value is taken in format order.
#include <ffi.h>
#include <fuzzer/FuzzedDataProvider.h>

#include <climits>
#include <cstdarg>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "core/WideFormat.h"
#include "tests/fuzz/FuzzSupport.h"

using namespace VTLogAdapter;
using namespace VTLogAdapter::Testing;

namespace {

constexpr std::size_t kMaxArguments = 32;
// FormatWideAllocV gets only results of a size a message can sensibly have; LogEx gets all.
constexpr int kMaxAllocatedLength = 1 << 16;

enum class Length { None, hh, h, l, ll, j, z, t, L, I, I32, I64, w };

// One argument's value in the type the directive reads.
struct Argument {
    ffi_type* type = nullptr;
    int intValue = 0;
    std::int64_t int64Value = 0;
    double doubleValue = 0;
    long double longDoubleValue = 0;
    const void* pointer = nullptr;

    void* Storage() {
        if (type == &ffi_type_sint) return &intValue;
        if (type == &ffi_type_sint64) return &int64Value;
        if (type == &ffi_type_double) return &doubleValue;
        if (type == &ffi_type_longdouble) return &longDoubleValue;
        return &pointer;
    }
};

// The argument list a format asks for, and whether the formatter must refuse it. Follows the
// grammar documented in core/WideFormat.h, stopping where the formatter stops reading.
class ArgumentPlan {
public:
    explicit ArgumentPlan(FuzzedDataProvider& input) : input(input) {}

    void Scan(const char16_t* cursor) {
        while (*cursor != u'\0' && !refused && !tooMany) {
            if (*cursor++ != u'%') continue;
            if (*cursor == u'%') {
                ++cursor;
                continue;
            }
            Directive(cursor);
        }
    }

    std::vector<Argument> arguments;
    bool refused = false;
    bool tooMany = false;

private:
    static bool Number(const char16_t*& cursor, std::uint64_t& value) {
        value = 0;
        while (*cursor >= u'0' && *cursor <= u'9') {
            value = value * 10 + static_cast<std::uint64_t>(*cursor++ - u'0');
            if (value > static_cast<std::uint64_t>(INT_MAX)) return false;
        }
        return true;
    }

    void Directive(const char16_t*& cursor) {
        bool flags = false;
        while (*cursor == u'-' || *cursor == u'+' || *cursor == u' ' || *cursor == u'#' ||
               *cursor == u'0') {
            flags = true;
            ++cursor;
        }
        std::uint64_t width = 0;
        if (*cursor == u'*') {
            const int value = AddInt(input.ConsumeIntegral<int>());
            width = value < 0 ? static_cast<std::uint64_t>(-static_cast<long long>(value))
                              : static_cast<std::uint64_t>(value);
            ++cursor;
        } else if (!Number(cursor, width)) {
            refused = true;
            return;
        }
        int precision = -1;
        if (*cursor == u'.') {
            ++cursor;
            if (*cursor == u'*') {
                const int value = AddInt(input.ConsumeIntegral<int>());
                precision = value < 0 ? -1 : value;
                ++cursor;
            } else {
                std::uint64_t value = 0;
                if (!Number(cursor, value)) {
                    refused = true;
                    return;
                }
                precision = static_cast<int>(value);
            }
        }
        Length length = Length::None;
        switch (*cursor) {
            case u'h':
                length = cursor[1] == u'h' ? Length::hh : Length::h;
                cursor += length == Length::hh ? 2 : 1;
                break;
            case u'l':
                length = cursor[1] == u'l' ? Length::ll : Length::l;
                cursor += length == Length::ll ? 2 : 1;
                break;
            case u'I':
                if (cursor[1] == u'3' && cursor[2] == u'2') {
                    length = Length::I32;
                    cursor += 3;
                } else if (cursor[1] == u'6' && cursor[2] == u'4') {
                    length = Length::I64;
                    cursor += 3;
                } else {
                    length = Length::I;
                    cursor += 1;
                }
                break;
            case u'L': length = Length::L; ++cursor; break;
            case u'j': length = Length::j; ++cursor; break;
            case u'z': length = Length::z; ++cursor; break;
            case u't': length = Length::t; ++cursor; break;
            case u'w': length = Length::w; ++cursor; break;
            default: break;
        }
        if (*cursor == u'\0') {
            refused = true;
            return;
        }
        const char16_t conversion = *cursor++;
        switch (conversion) {
            case u'%':
                refused = flags || width != 0 || precision != -1 || length != Length::None;
                return;
            case u'd': case u'i': case u'u': case u'o': case u'x': case u'X':
                if (length == Length::L || length == Length::w) {
                    refused = true;
                } else if (length == Length::None || length == Length::hh ||
                           length == Length::h || length == Length::I32) {
                    AddInt(input.ConsumeIntegral<int>());
                } else {
                    Add(&ffi_type_sint64).int64Value = input.ConsumeIntegral<std::int64_t>();
                }
                return;
            case u'p':
                Add(&ffi_type_pointer).pointer =
                    reinterpret_cast<const void*>(input.ConsumeIntegral<std::uintptr_t>());
                return;
            case u'c': case u'C':
                AddInt(input.ConsumeIntegral<int>());
                return;
            case u's': case u'S': {
                const bool wide = length == Length::l || length == Length::w ||
                                  (length != Length::h && conversion == u's');
                AddText(wide, precision);
                return;
            }
            case u'e': case u'E': case u'f': case u'F': case u'g': case u'G': case u'a':
            case u'A': {
                double value = 0;
                const std::uint64_t bits = input.ConsumeIntegral<std::uint64_t>();
                std::memcpy(&value, &bits, sizeof value);
                if (length == Length::L) {
                    // Past the range of double too, which has to print as infinity.
                    long double wide = value;
                    if (input.ConsumeBool()) wide *= 1e300L * 1e300L;
                    Add(&ffi_type_longdouble).longDoubleValue = wide;
                } else {
                    Add(&ffi_type_double).doubleValue = value;
                }
                return;
            }
            default:
                refused = true;   // %n and every unknown conversion
                return;
        }
    }

    Argument& Add(ffi_type* type) {
        static Argument overflow;
        if (arguments.size() == kMaxArguments) {
            tooMany = true;
            return overflow;
        }
        arguments.emplace_back();
        arguments.back().type = type;
        return arguments.back();
    }

    int AddInt(int value) {
        Add(&ffi_type_sint).intValue = value;
        return value;
    }

    // A text from the input, or null. With a precision it may not exceed, it gets exactly that
    // many units and no terminator: the formatter promises not to read further.
    void AddText(bool wide, int precision) {
        Argument& argument = Add(&ffi_type_pointer);
        if (input.ConsumeIntegralInRange<int>(0, 7) == 0) return;   // null prints "(null)"
        const std::string bytes = input.ConsumeRandomLengthString(256);
        if (wide) {
            const std::u16string units = Utf16FromBytes(bytes);
            const std::size_t size = Size(precision, units.size());
            wideTexts.emplace_back(new char16_t[size]);
            std::memcpy(wideTexts.back().get(), units.c_str(), size * sizeof(char16_t));
            argument.pointer = wideTexts.back().get();
        } else {
            const std::size_t size = Size(precision, bytes.size());
            narrowTexts.emplace_back(new char[size]);
            std::memcpy(narrowTexts.back().get(), bytes.c_str(), size);
            argument.pointer = narrowTexts.back().get();
        }
    }

    // Units to allocate for a text of `length` units: exactly the precision when that cuts it
    // (0 included, which allows no read at all), else the text and its terminator.
    static std::size_t Size(int precision, std::size_t length) {
        return precision >= 0 && static_cast<std::size_t>(precision) <= length
                   ? static_cast<std::size_t>(precision)
                   : length + 1;
    }

    FuzzedDataProvider& input;
    std::vector<std::unique_ptr<char16_t[]>> wideTexts;
    std::vector<std::unique_ptr<char[]>> narrowTexts;
};

struct Call {
    LogSandbox* sandbox;
    std::size_t capacity;
    bool refused;
};

bool IsHighSurrogate(char16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool IsLowSurrogate(char16_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

std::size_t Units(const char16_t* text, std::size_t limit) {
    std::size_t length = 0;
    while (length < limit && text[length] != u'\0') ++length;
    return length;
}

// Called through libffi with the planned arguments after `format`.
int Exercise(const Call* call, const char16_t* format, ...) {
    va_list args;
    va_start(args, format);

    const std::unique_ptr<char16_t[]> cut(new char16_t[call->capacity]);
    va_list copy;
    va_copy(copy, args);
    const int length = FormatWideV(cut.get(), call->capacity, format, copy);
    va_end(copy);
    FuzzCheck(Units(cut.get(), call->capacity) < call->capacity,
              "FormatWideV terminates inside its buffer");
    FuzzCheck(!call->refused || length == -1, "a refused format returns -1");

    if (length >= 0 && length <= kMaxAllocatedLength) {
        va_copy(copy, args);
        const std::unique_ptr<char16_t[]> whole(FormatWideAllocV(format, copy));
        va_end(copy);
        FuzzCheck(whole != nullptr, "FormatWideAllocV formats what FormatWideV measured");
        // Compared by the measured length, as %c can put a U+0000 inside the text.
        const std::size_t total = static_cast<std::size_t>(length);
        FuzzCheck(whole[total] == u'\0', "FormatWideAllocV returns the length measured");
        // The cut text is the whole text's start; a surrogate pair is kept whole or left out.
        const std::size_t fits = std::min(total, call->capacity - 1);
        const bool splitsPair = fits > 0 && fits < total && IsHighSurrogate(whole[fits - 1]) &&
                                IsLowSurrogate(whole[fits]);
        const std::size_t stored = splitsPair ? fits - 1 : fits;
        FuzzCheck(cut[stored] == u'\0', "FormatWideV stores as much as fits");
        FuzzCheck(std::memcmp(cut.get(), whole.get(), stored * sizeof(char16_t)) == 0,
                  "FormatWideV stores the start of the whole text");
    }

    const int written = call->sandbox->Core().LogExV(u"src/fuzz.cpp", u"Format", 7,
                                                     VT_LOG_INFO, nullptr, format, args);
    va_end(args);
    return written;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    const std::size_t capacity = input.ConsumeIntegralInRange<std::size_t>(1, 3000);
    std::u16string format = Utf16FromBytes(input.ConsumeRandomLengthString(1024));
    format.resize(std::char_traits<char16_t>::length(format.c_str()));
    ArgumentPlan plan(input);
    plan.Scan(format.c_str());
    if (plan.tooMany) return 0;

    LogSandbox sandbox;
    const Call call{&sandbox, capacity, plan.refused};
    const Call* callArgument = &call;
    const char16_t* formatArgument = format.c_str();
    std::vector<ffi_type*> types = {&ffi_type_pointer, &ffi_type_pointer};
    std::vector<void*> values = {&callArgument, &formatArgument};
    for (Argument& argument : plan.arguments) {
        types.push_back(argument.type);
        values.push_back(argument.Storage());
    }
    ffi_cif cif;
    FuzzCheck(ffi_prep_cif_var(&cif, FFI_DEFAULT_ABI, 2, static_cast<unsigned>(types.size()),
                               &ffi_type_sint, types.data()) == FFI_OK,
              "libffi prepares the call");
    ffi_arg written = 0;
    ffi_call(&cif, FFI_FN(Exercise), &written, values.data());

    const auto files = sandbox.CheckOutput();
    FuzzCheck(files.size() == static_cast<std::size_t>(static_cast<int>(written)),
              "a written line makes one file, a refused one none");
    for (const auto& [file, records] : files) {
        FuzzCheck(records == 1, "the file holds the one record written", file);
    }
    return 0;
}
