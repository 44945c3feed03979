// Windows end-to-end helper that loads the library at run time, as the .NET runtime does:
// the file mutex must exist exactly while the library is loaded, and the C API must work
// through GetProcAddress. Exit code 0 when every check held; the reason otherwise.
//   vtlog_e2e_loader NAME MESSAGE
#include <windows.h>

#include <cstddef>
#include <cstdio>

namespace {

using CreateFunction = void* (*)(const char16_t*);
using TraceFunction = void (*)(void*, const char16_t*);
using DisposeFunction = void (*)(void*);

constexpr wchar_t kMutexName[] = L"Global\\DIVOVEV_FILE_MUTEX";

bool MutexExists() {
    HANDLE mutex = OpenMutexW(SYNCHRONIZE, FALSE, kMutexName);
    if (mutex == nullptr) return false;
    CloseHandle(mutex);
    return true;
}

template <typename Function>
Function Find(HMODULE library, const char* name) {
    // GetProcAddress hands back a generic function pointer; the C API's types are known here.
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(library, name)));
}

// ASCII to UTF-16, cut to fit.
void Widen(const char* text, char16_t* buffer, std::size_t capacity) {
    std::size_t length = 0;
    for (; text[length] != '\0' && length + 1 < capacity; ++length) {
        buffer[length] = static_cast<unsigned char>(text[length]);
    }
    buffer[length] = u'\0';
}

int Fail(const char* reason) {
    std::printf("FAIL: %s (error %lu)\n", reason, GetLastError());
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: vtlog_e2e_loader NAME MESSAGE\n");
        return 2;
    }
    if (MutexExists()) return Fail("the file mutex exists before the library is loaded");
    HMODULE library = LoadLibraryW(L"VTLogAdapter.Native.dll");
    if (library == nullptr) return Fail("LoadLibraryW");
    if (!MutexExists()) return Fail("the file mutex is missing while the library is loaded");

    const auto create = Find<CreateFunction>(library, "VTLogNet_Create");
    const auto trace = Find<TraceFunction>(library, "VTLogNet_Trace");
    const auto dispose = Find<DisposeFunction>(library, "VTLogNet_Dispose");
    if (create == nullptr || trace == nullptr || dispose == nullptr) {
        return Fail("the C API is not exported");
    }
    char16_t name[260];
    char16_t message[2048];
    Widen(argv[1], name, sizeof name / sizeof name[0]);
    Widen(argv[2], message, sizeof message / sizeof message[0]);
    void* log = create(name);
    if (log == nullptr) return Fail("VTLogNet_Create");
    trace(log, message);
    dispose(log);

    if (!FreeLibrary(library)) return Fail("FreeLibrary");
    if (MutexExists()) return Fail("the file mutex outlives the library");
    std::printf("OK\n");
    return 0;
}
