// Loading "LogConfigure.xml" into the settings record.
#include "config/ConfigLoader.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <system_error>

#include <tinyxml.h>

#include "config/LogConfig.h"

namespace VTLogAdapter {

namespace {

constexpr char kInstallKey[] = "SOFTWARE\\Corvessa\\Vantiro";
constexpr char kInstallValue[] = "ZLM_HOME";
constexpr double kMinimumSizeLimit = 0.1;
constexpr double kMaximumRetainDays = 36500;
constexpr double kMaximumRetainSizeLimit = 1048576;

bool IsTerminated(const char* text, std::size_t capacity) {
    return std::memchr(text, '\0', capacity) != nullptr;
}

bool ReadInstallDirectoryIn(const Platform& platform, RegistryView view, char* buffer) {
    // The platform promises a terminated text, but a value without its NUL must never lead us
    // to read past the buffer, so the promise is checked rather than trusted.
    return platform.ReadMachineRegistryString(kInstallKey, kInstallValue, view, buffer,
                                              kPathCapacity) &&
           IsTerminated(buffer, kPathCapacity);
}

SpecialFolder FolderOfMacro(const char* name) {
    if (std::strcmp(name, "PROGRAM_FILES_COMMON") == 0) return SpecialFolder::CommonProgramFiles;
    if (std::strcmp(name, "LOCAL_APPDATA") == 0) return SpecialFolder::LocalAppData;
    if (std::strcmp(name, "COMMON_DOCUMENTS") == 0) return SpecialFolder::CommonDocuments;
    return SpecialFolder::CommonAppData;   // "COMMON_APPDATA" and every unknown name
}

enum class Expansion {
    NotAMacro,   // the path does not start with "$"
    Unclosed,    // "$" without ")": kept literally
    Expanded,
    Failed,      // folder unknown to the system, or the result would not fit: path untouched
};

Expansion ExpandMacro(const Platform& platform, char* path) {
    if (!IsTerminated(path, kPathCapacity)) return Expansion::Failed;
    if (path[0] != '$') return Expansion::NotAMacro;
    const char* close = std::strchr(path, ')');
    if (close == nullptr) return Expansion::Unclosed;

    char name[kPathCapacity];
    std::size_t nameLength = 0;
    for (const char* c = path; c != close; ++c) {
        if (*c != '$' && *c != '(') name[nameLength++] = *c;
    }
    name[nameLength] = '\0';

    char expanded[kPathCapacity];
    if (!platform.GetSpecialFolderPath(FolderOfMacro(name), expanded, sizeof expanded) ||
        !IsTerminated(expanded, sizeof expanded) || expanded[0] == '\0') {
        return Expansion::Failed;
    }
    // A cut result would name some other folder, so an expansion that does not fit is dropped
    // as a whole.
    const std::size_t folderLength = std::strlen(expanded);
    const char* rest = close + 1;
    const std::size_t restLength = std::strlen(rest);
    if (folderLength + restLength >= kPathCapacity) return Expansion::Failed;
    std::memcpy(expanded + folderLength, rest, restLength + 1);
    std::memcpy(path, expanded, folderLength + restLength + 1);
    return Expansion::Expanded;
}

// Integer and floating-point attributes that are absent or do not scan leave the field alone.
void ReadInt(const TiXmlElement& element, const char* attribute, int& field) {
    int value = 0;
    if (element.QueryIntAttribute(attribute, &value) == TIXML_SUCCESS) field = value;
}

// Only a whole finite decimal number, blanks around it allowed. TinyXML's scan would read
// "7days" as 7 and take "inf" and "0x10", and a retention limit read from a typo removes
// folders. std::from_chars rather than strtod: the host's locale must not decide what "2.5" is.
bool ParseDecimal(const char* text, double& value) {
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; };
    while (blank(*text)) ++text;
    const char* end = text + std::strlen(text);
    while (end != text && blank(end[-1])) --end;

    const char* first = text;
    const bool positive = first != end && *first == '+';
    if (positive) ++first;   // from_chars takes '-' only
    const bool negative = !positive && first != end && *first == '-';
    const char* c = negative ? first + 1 : first;
    const auto isDigit = [](char d) { return d >= '0' && d <= '9'; };
    // The decimal order of the value, for a value too large or too small for a double.
    int order = 0;
    bool significant = false;
    bool anyDigit = false;
    for (; c != end && isDigit(*c); ++c) {
        anyDigit = true;
        significant = significant || *c != '0';
        if (significant) ++order;
    }
    if (c != end && *c == '.') {
        for (++c; c != end && isDigit(*c); ++c) {
            anyDigit = true;
            if (!significant && *c == '0') --order;
            significant = significant || *c != '0';
        }
    }
    if (!anyDigit) return false;
    if (c != end && (*c == 'e' || *c == 'E')) {
        ++c;
        const bool negativeExponent = c != end && *c == '-';
        if (c != end && (*c == '+' || *c == '-')) ++c;
        if (c == end || !isDigit(*c)) return false;
        int exponent = 0;
        for (; c != end && isDigit(*c); ++c) {
            if (exponent < 100000) exponent = exponent * 10 + (*c - '0');
        }
        order += negativeExponent ? -exponent : exponent;
    }
    if (c != end) return false;

    const std::from_chars_result result = std::from_chars(first, end, value);
    if (result.ec == std::errc::result_out_of_range) {
        const double magnitude = order > 0 ? std::numeric_limits<double>::max() : 0.0;
        value = negative ? -magnitude : magnitude;
        return true;
    }
    return result.ec == std::errc() && result.ptr == end;
}

// A retention limit: a value that is not a number leaves the limit as it was (off unless set),
// a negative one means no limit, and a huge one is cut to `maximum`, so a typo can neither
// remove everything nor overflow the byte count.
bool ReadLimit(const TiXmlElement& element, const char* attribute, double maximum,
               double& field) {
    const char* text = element.Attribute(attribute);
    double value = 0.0;
    if (text == nullptr || !ParseDecimal(text, value)) return false;
    field = value < 0.0 ? 0.0 : (value > maximum ? maximum : value);
    return true;
}

// An empty text is treated as absent: an empty folder would turn into the root folder once the
// separator is appended, and an empty file name names no file.
const char* ReadText(const TiXmlElement& element, const char* attribute) {
    const char* value = element.Attribute(attribute);
    if (value == nullptr || value[0] == '\0' || std::strlen(value) >= kPathCapacity) {
        return nullptr;
    }
    return value;
}

// The folder is built aside and stored only when every step worked, so a folder that cannot
// take its separator or whose macro cannot be expanded keeps the field's previous value rather
// than sending files to some other place.
void ReadFolder(const Platform& platform, const TiXmlElement& element, char* field) {
    const char* source = ReadText(element, "filepath");
    if (source == nullptr) source = field;
    char path[kPathCapacity];
    std::memcpy(path, source, std::strlen(source) + 1);

    std::size_t length = std::strlen(path);
    if (length > 0 && path[length - 1] != kPathSeparator) {
        if (length + 1 >= kPathCapacity) return;
        path[length++] = kPathSeparator;
        path[length] = '\0';
    }
    if (ExpandMacro(platform, path) == Expansion::Failed) return;
    std::memcpy(field, path, std::strlen(path) + 1);
}

void ReadFileSettings(const Platform& platform, const TiXmlElement& element,
                      LogFileSettings& settings) {
    ReadFolder(platform, element, settings.filePath);

    if (const char* name = ReadText(element, "filename")) {
        std::memcpy(settings.fileName, name, std::strlen(name) + 1);
    }

    double limit = 0.0;
    // "nan" scans as a number but is no size; it counts as malformed.
    if (element.QueryDoubleAttribute("filesizelimit", &limit) == TIXML_SUCCESS &&
        !std::isnan(limit)) {
        settings.fileSizeLimit = limit;
    }
    if (settings.fileSizeLimit < kMinimumSizeLimit) settings.fileSizeLimit = kMinimumSizeLimit;

    ReadInt(element, "usedefaultfilename", settings.useDefaultFileName);

    double days = 0.0;
    if (ReadLimit(element, "retaindays", kMaximumRetainDays, days)) {
        settings.retainDays = static_cast<int>(days);
    }
    ReadLimit(element, "retainsizelimit", kMaximumRetainSizeLimit, settings.retainSizeLimit);
}

void ApplyOutputEntry(const TiXmlElement& entry, LogConfig& config) {
    const char* name = entry.Attribute("name");
    if (name == nullptr) return;
    int* field = nullptr;
    if (std::strcmp(name, "file") == 0) {
        field = &config.fileOutput;
    } else if (std::strcmp(name, "eventViewer") == 0) {
        field = &config.eventViewerOutput;
    } else if (std::strcmp(name, "outputdebugwindows") == 0) {
        field = &config.debugOutput;
    } else if (std::strcmp(name, "vtviewer") == 0) {
        field = &config.viewerOutput;
    } else {
        return;
    }
    ReadInt(entry, "enable", *field);
}

// Predefined operations carry time limits that no writer acts on: they are read as the file
// format lays them out and then dropped.
void SkimPredefinedOperations(const TiXmlElement& performanceLog) {
    const TiXmlElement* predefined = performanceLog.FirstChildElement("predefinedoperation");
    if (predefined == nullptr) return;
    for (const TiXmlElement* operation = predefined->FirstChildElement("operation");
         operation != nullptr; operation = operation->NextSiblingElement()) {
        int timeLimit = 0;
        static_cast<void>(operation->Attribute("name"));
        ReadInt(*operation, "timelimitation", timeLimit);
    }
}

bool StartsWith(const char* at, const char* end, const char* prefix) {
    const std::size_t length = std::strlen(prefix);
    return static_cast<std::size_t>(end - at) >= length && std::memcmp(at, prefix, length) == 0;
}

// The position just after the first `terminator` at or after `from`; null when there is none.
const char* After(const char* from, const char* end, const char* terminator) {
    const std::size_t length = std::strlen(terminator);
    for (const char* at = from; static_cast<std::size_t>(end - at) >= length; ++at) {
        if (std::memcmp(at, terminator, length) == 0) return at + length;
    }
    return nullptr;
}

// The '>' that ends the markup whose '<' precedes `from`, skipping quoted values; null when
// there is none or a '<' comes first. Refusing that '<' (which no well-formed document has in
// a tag) keeps the scan from ever hiding a tag where the parser, which honours quotes in fewer
// places, would see one.
const char* TagEnd(const char* from, const char* end) {
    for (const char* at = from; at < end; ++at) {
        if (*at == '<') return nullptr;
        if (*at == '>') return at;
        if (*at == '"' || *at == '\'') {
            const char* quote = at;
            for (++at; at < end && *at != *quote; ++at) {
                if (*at == '<') return nullptr;
            }
            if (at == end) return nullptr;
        }
    }
    return nullptr;
}

// Line breaks become LF and the text ends at its first NUL, as the parser's own file loader
// would have it.
void NormalizeLineBreaks(std::string& text) {
    const std::size_t nul = text.find('\0');
    if (nul != std::string::npos) text.resize(nul);
    std::size_t kept = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r') {
            text[kept++] = '\n';
            if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
        } else {
            text[kept++] = text[i];
        }
    }
    text.resize(kept);
}

// Only a regular file of bounded size is read, then parsed from memory once its nesting is
// known to be shallow enough for the parser's recursion.
bool LoadDocument(const Platform& platform, TiXmlDocument& document, const char* file) {
    std::string text;
    if (!platform.ReadConfigurationFile(file, kMaxConfigBytes, text)) return false;
    NormalizeLineBreaks(text);
    if (text.empty() || !NestingWithin(text.data(), text.size(), kMaxConfigDepth)) return false;
    document.Parse(text.c_str());
    return !document.Error();
}

int LoadFromFile(LogConfig& config, const Platform& platform) {
    char directory[kPathCapacity];
    if (!ReadInstallDirectory(platform, directory)) return 0;
    char file[kPathCapacity];
    if (!ConfigFilePath(directory, file)) return 0;

    TiXmlDocument document;
    if (!LoadDocument(platform, document, file)) return 0;

    const TiXmlElement* root = document.FirstChildElement();
    if (root == nullptr) return 0;
    ReadInt(*root, "enable", config.enable);

    const TiXmlElement* global = root->FirstChildElement("global");
    if (global == nullptr) return 0;
    ReadInt(*global, "processid", config.processId);
    ReadInt(*global, "threadid", config.threadId);
    ReadInt(*global, "modulename", config.moduleName);
    ReadInt(*global, "sourcefileinfo", config.sourceFileInfo);
    ReadInt(*global, "sessioninfo", config.sessionInfo);
    ReadInt(*global, "excelmode", config.excelMode);
    for (const TiXmlElement* entry = global->FirstChildElement(); entry != nullptr;
         entry = entry->NextSiblingElement()) {
        ApplyOutputEntry(*entry, config);
    }

    if (const TiXmlElement* performanceLog = root->FirstChildElement("performancelog")) {
        ReadFileSettings(platform, *performanceLog, config.perfLog);
        SkimPredefinedOperations(*performanceLog);
    }
    if (const TiXmlElement* log = root->FirstChildElement("log")) {
        ReadFileSettings(platform, *log, config.generalLog);
        ReadInt(*log, "loglevel", config.logLevel);
    }
    return 1;
}

}  // namespace

bool NestingWithin(const char* text, std::size_t length, int maxDepth) {
    if (text == nullptr) return length == 0;
    const char* const end = text + length;
    int depth = 0;
    for (const char* at = text; at < end;) {
        if (*at != '<') {
            ++at;
            continue;
        }
        if (StartsWith(at, end, "<!--")) {
            at = After(at + 4, end, "-->");
        } else if (StartsWith(at, end, "<![CDATA[")) {
            at = After(at + 9, end, "]]>");
        } else {
            const char* close = TagEnd(at + 1, end);
            if (close == nullptr) return false;
            // Declarations, processing instructions and DOCTYPE open nothing. Whatever else
            // follows '<' counts as an element, even where the parser would see none: counting
            // too deep only refuses an odd document, counting too shallow could let the parser
            // recurse further than allowed.
            const char kind = at[1];
            if (kind == '/') {
                if (depth == 0) return false;
                --depth;
            } else if (kind != '!' && kind != '?' && close[-1] != '/') {
                if (++depth > maxDepth) return false;
            }
            at = close + 1;
        }
        if (at == nullptr) return false;
    }
    return true;
}

int ReadInstallDirectory(const Platform& platform, char* buffer) {
    if (buffer == nullptr) return 0;
    if (ReadInstallDirectoryIn(platform, RegistryView::Native, buffer) ||
        (platform.RetriesIn32BitRegistryView() &&
         ReadInstallDirectoryIn(platform, RegistryView::Wow64_32, buffer))) {
        return 1;
    }
    buffer[0] = '\0';
    return 0;
}

int ConfigFilePath(const char* installDirectory, char* file) {
    file[0] = '\0';
    if (installDirectory == nullptr || !IsTerminated(installDirectory, kPathCapacity)) return 0;
    const std::size_t length = std::strlen(installDirectory);
    std::size_t keep = 0;
    for (std::size_t i = 1; i < length; ++i) {
        if (installDirectory[i] == kPathSeparator) keep = i + 1;
    }
    // A cut file name would be some other file, so a path that does not fit is no path at all.
    if (keep + sizeof kConfigFileName > kPathCapacity) return 0;
    std::memcpy(file, installDirectory, keep);
    std::memcpy(file + keep, kConfigFileName, sizeof kConfigFileName);
    return 1;
}

int ExpandFolderMacro(const Platform& platform, char* path) {
    if (path != nullptr) ExpandMacro(platform, path);
    return 1;
}

int LogConfig::Load(const Platform& platform) {
    if (loaded != 0) return 0;
    loaded = 1;
    // The parser allocates; running out of memory is one more reason not to have a
    // configuration, never a reason to throw into the application.
    try {
        return LoadFromFile(*this, platform);
    } catch (...) {
        return 0;
    }
}

}  // namespace VTLogAdapter
