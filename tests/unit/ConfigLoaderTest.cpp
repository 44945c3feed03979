// The configuration load: registry lookup, file location, every element and attribute of
// "LogConfigure.xml", folder macros, and what a failure at each step leaves behind.
#if !defined(_WIN32)
#include <sys/stat.h>
#endif

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <iomanip>
#include <limits>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "config/ConfigLoader.h"
#include "config/LogConfig.h"
#include "tests/support/FakePlatform.h"
#include "tests/support/TempFolder.h"
#include "tests/support/Watchdog.h"

namespace VTLogAdapter::Testing {
namespace {

const char kHomeKey[] = "SOFTWARE\\Corvessa\\Vantiro\\ZLM_HOME";

// Paths in the tables are written with '/'; this turns them into the platform's own.
std::string P(std::string path) {
    for (char& c : path) {
        if (c == '/') c = kPathSeparator;
    }
    return path;
}

// The fake folders are written with '/' as well; on Windows they take the native separator too.
void UseNativeSeparators(FakePlatform& platform) {
    for (auto& folder : platform.specialFolders) folder.second = P(folder.second);
}

std::string Describe(const char* block, const LogFileSettings& settings) {
    std::ostringstream out;
    out << std::setprecision(17) << block << ".filePath=" << settings.filePath << "\n"
        << block << ".fileName=" << settings.fileName << "\n"
        << block << ".fileSizeLimit=" << settings.fileSizeLimit << "\n"
        << block << ".useDefaultFileName=" << settings.useDefaultFileName << "\n"
        << block << ".retainDays=" << settings.retainDays << "\n"
        << block << ".retainSizeLimit=" << settings.retainSizeLimit << "\n";
    return out.str();
}

// The whole record as text, so a mismatch shows which field went wrong and a stray write to an
// unrelated field is caught too.
std::string Describe(const LogConfig& c) {
    std::ostringstream out;
    out << "loaded=" << c.loaded << " enable=" << c.enable << " logLevel=" << c.logLevel
        << "\nprocessId=" << c.processId << " threadId=" << c.threadId
        << " moduleName=" << c.moduleName << " sourceFileInfo=" << c.sourceFileInfo
        << " sessionInfo=" << c.sessionInfo << " excelMode=" << c.excelMode
        << "\nfileOutput=" << c.fileOutput << " eventViewerOutput=" << c.eventViewerOutput
        << " debugOutput=" << c.debugOutput << " viewerOutput=" << c.viewerOutput << "\n"
        << Describe("perfLog", c.perfLog) << Describe("generalLog", c.generalLog);
    return out.str();
}

void SetText(char* field, const std::string& text) {
    ASSERT_LT(text.size(), kPathCapacity);
    std::memcpy(field, text.c_str(), text.size() + 1);
}

// A fake installation: the registry names a fresh folder (with its trailing separator) that
// holds the configuration file. `expected` starts as the record after a load that found nothing.
struct Installation {
    Installation() : config(platform), expected(platform) {
        platform.registry[kHomeKey] = temp.Path() + kPathSeparator;
        UseNativeSeparators(platform);
        expected.loaded = 1;
    }

    int Load(const std::string& xml) {
        temp.WriteFile(kConfigFileName, xml);
        return config.Load(platform);
    }

    void ExpectRecord() const { EXPECT_EQ(Describe(expected), Describe(config)); }

    FakePlatform platform;
    TempFolder temp;
    LogConfig config;
    LogConfig expected;
};

// "@" in a template marks where the attribute under test goes (or nothing, for "absent").
std::string WithAttribute(std::string xml, const std::string& name,
                          const std::optional<std::string>& value) {
    const std::string attribute = value ? name + "=\"" + *value + "\"" : std::string();
    xml.replace(xml.find('@'), 1, attribute);
    return xml;
}

TEST(ConfigLoad, FullFileSetsEveryField) {
    Installation install;
    const int result = install.Load(
        "<?xml version=\"1.0\"?>\n"
        "<LogConfigure enable=\"1\">\n"
        "  <global processid=\"0\" threadid=\"0\" modulename=\"0\" sourcefileinfo=\"0\"\n"
        "          sessioninfo=\"0\" excelmode=\"1\">\n"
        "    <output name=\"file\" enable=\"0\"/>\n"
        "    <output name=\"eventViewer\" enable=\"0\"/>\n"
        "    <channel name=\"outputdebugwindows\" enable=\"0\"/>\n"
        "    <output name=\"vtviewer\" enable=\"0\"/>\n"
        "  </global>\n"
        "  <performancelog filepath=\"" + P("/perf/logs") + "\" filename=\"perf.dat\"\n"
        "                  filesizelimit=\"2.5\" usedefaultfilename=\"1\">\n"
        "    <predefinedoperation>\n"
        "      <operation name=\"Open\" timelimitation=\"10\"/>\n"
        "      <operation name=\"Close\" timelimitation=\"soon\"/>\n"
        "      <other/>\n"
        "    </predefinedoperation>\n"
        "  </performancelog>\n"
        "  <log filepath=\"" + P("$(LOCAL_APPDATA)/Vantiro/Logs") + "\" filename=\"general.log\"\n"
        "       filesizelimit=\"4\" usedefaultfilename=\"7\" loglevel=\"2\"/>\n"
        "</LogConfigure>\n");

    EXPECT_EQ(1, result);
    LogConfig& e = install.expected;
    e.enable = 1;
    e.logLevel = 2;
    e.processId = e.threadId = e.moduleName = e.sourceFileInfo = e.sessionInfo = 0;
    e.excelMode = 1;
    e.fileOutput = e.eventViewerOutput = e.debugOutput = e.viewerOutput = 0;
    SetText(e.perfLog.filePath, P("/perf/logs/"));
    SetText(e.perfLog.fileName, "perf.dat");
    e.perfLog.fileSizeLimit = 2.5;
    e.perfLog.useDefaultFileName = 1;
    SetText(e.generalLog.filePath, P("/fake/local-appdata/Vantiro/Logs/"));
    SetText(e.generalLog.fileName, "general.log");
    e.generalLog.fileSizeLimit = 4.0;
    e.generalLog.useDefaultFileName = 7;
    install.ExpectRecord();
}

// Every integer attribute follows the "%d" scanning rule; what does not scan, or is missing,
// leaves the field as it was (preset to 55 so "unchanged" cannot pass by accident).
TEST(ConfigLoad, IntegerAttributes) {
    struct Attribute {
        const char* xml;
        const char* name;
        std::function<int&(LogConfig&)> field;
    };
    const Attribute attributes[] = {
        {"<r @><global/></r>", "enable", [](LogConfig& c) -> int& { return c.enable; }},
        {"<r><global @/></r>", "processid", [](LogConfig& c) -> int& { return c.processId; }},
        {"<r><global @/></r>", "threadid", [](LogConfig& c) -> int& { return c.threadId; }},
        {"<r><global @/></r>", "modulename", [](LogConfig& c) -> int& { return c.moduleName; }},
        {"<r><global @/></r>", "sourcefileinfo",
         [](LogConfig& c) -> int& { return c.sourceFileInfo; }},
        {"<r><global @/></r>", "sessioninfo", [](LogConfig& c) -> int& { return c.sessionInfo; }},
        {"<r><global @/></r>", "excelmode", [](LogConfig& c) -> int& { return c.excelMode; }},
        {"<r><global><o name=\"file\" @/></global></r>", "enable",
         [](LogConfig& c) -> int& { return c.fileOutput; }},
        {"<r><global><o name=\"eventViewer\" @/></global></r>", "enable",
         [](LogConfig& c) -> int& { return c.eventViewerOutput; }},
        {"<r><global><o name=\"outputdebugwindows\" @/></global></r>", "enable",
         [](LogConfig& c) -> int& { return c.debugOutput; }},
        {"<r><global><o name=\"vtviewer\" @/></global></r>", "enable",
         [](LogConfig& c) -> int& { return c.viewerOutput; }},
        {"<r><global/><performancelog @/></r>", "usedefaultfilename",
         [](LogConfig& c) -> int& { return c.perfLog.useDefaultFileName; }},
        {"<r><global/><log @/></r>", "usedefaultfilename",
         [](LogConfig& c) -> int& { return c.generalLog.useDefaultFileName; }},
        {"<r><global/><log @/></r>", "loglevel", [](LogConfig& c) -> int& { return c.logLevel; }},
    };
    const struct {
        std::optional<std::string> text;
        int stored;
    } values[] = {
        {std::nullopt, 55}, {"7", 7},     {"-3", -3},    {"0", 0},   {" 12", 12},
        {"12abc", 12},      {"1.9", 1},   {"0x10", 0},   {"abc", 55}, {"", 55},
    };
    for (const auto& attribute : attributes) {
        for (const auto& value : values) {
            SCOPED_TRACE(std::string(attribute.xml) + " " + attribute.name + "=" +
                         value.text.value_or("(absent)"));
            Installation install;
            attribute.field(install.config) = 55;
            attribute.field(install.expected) = value.stored;
            EXPECT_EQ(1, install.Load(WithAttribute(attribute.xml, attribute.name, value.text)));
            install.ExpectRecord();
        }
    }
}

// Names match exactly and case-sensitively; anything else, or no name at all, is skipped.
TEST(ConfigLoad, OutputEntryNames) {
    const struct {
        std::optional<std::string> name;
        std::function<int&(LogConfig&)> field;   // empty: nothing changes
    } cases[] = {
        {"file", [](LogConfig& c) -> int& { return c.fileOutput; }},
        {"eventViewer", [](LogConfig& c) -> int& { return c.eventViewerOutput; }},
        {"outputdebugwindows", [](LogConfig& c) -> int& { return c.debugOutput; }},
        {"vtviewer", [](LogConfig& c) -> int& { return c.viewerOutput; }},
        {"File", nullptr},
        {"FILE", nullptr},
        {"eventviewer", nullptr},
        {"OutputDebugWindows", nullptr},
        {"file ", nullptr},
        {"", nullptr},
        {std::nullopt, nullptr},
        {std::string(300, 'f'), nullptr},
    };
    for (const auto& entry : cases) {
        SCOPED_TRACE(entry.name.value_or("(no name)"));
        Installation install;
        if (entry.field) entry.field(install.expected) = 0;
        EXPECT_EQ(1, install.Load(WithAttribute("<r><global><output @ enable=\"0\"/></global></r>",
                                                "name", entry.name)));
        install.ExpectRecord();
    }
}

TEST(ConfigLoad, OutputEntriesApplyInDocumentOrder) {
    Installation install;
    EXPECT_EQ(1, install.Load("<r><global>"
                              "<a name=\"file\" enable=\"0\"/>"
                              "text <!-- a comment -->"
                              "<b name=\"file\" enable=\"5\"><c name=\"vtviewer\" enable=\"0\"/></b>"
                              "</global></r>"));
    install.expected.fileOutput = 5;   // the nested entry is not a child of "global"
    install.ExpectRecord();
}

TEST(ConfigLoad, SizeLimitHasAFloorOfOneTenth) {
    const struct {
        std::optional<std::string> text;
        double stored;
    } cases[] = {
        {std::nullopt, 3.0}, {"2.5", 2.5}, {"0", 0.1},   {"0.05", 0.1}, {"-4", 0.1},
        {"0.1", 0.1},        {"1e2", 100}, {"abc", 3.0}, {"", 3.0},     {"nan", 3.0},
        {"inf", std::numeric_limits<double>::infinity()},
    };
    for (const char* element : {"performancelog", "log"}) {
        for (const auto& value : cases) {
            SCOPED_TRACE(std::string(element) + " filesizelimit=" + value.text.value_or("(absent)"));
            Installation install;
            const bool perf = std::strcmp(element, "performancelog") == 0;
            (perf ? install.config.perfLog : install.config.generalLog).fileSizeLimit = 3.0;
            (perf ? install.expected.perfLog : install.expected.generalLog).fileSizeLimit =
                value.stored;
            EXPECT_EQ(1, install.Load(WithAttribute("<r><global/><" + std::string(element) +
                                                        " @/></r>",
                                                    "filesizelimit", value.text)));
            install.ExpectRecord();
        }
    }
}

// Unlike the older attributes, the retention limits take only a whole finite decimal number:
// anything else leaves the field as it was (55 here), which removes nothing unless it was set.
TEST(ConfigLoad, RetentionLimitsAreStrictNumbers) {
    const struct {
        std::optional<std::string> text;
        int days;
        double megabytes;
    } cases[] = {
        {std::nullopt, 55, 55},        {"7", 7, 7},       {"2.5", 2, 2.5},
        {" 3 ", 3, 3},                 {"+4", 4, 4},      {"-2", 0, 0},
        {"2e6", 36500, 1048576},       {"1e400", 36500, 1048576},
        {"7days", 55, 55},             {"inf", 55, 55},   {"nan", 55, 55},
        {"0x10", 55, 55},              {"1e", 55, 55},    {"+-1", 55, 55},
        {"", 55, 55},                  {" ", 55, 55},
    };
    for (const char* element : {"performancelog", "log"}) {
        for (const auto& value : cases) {
            SCOPED_TRACE(std::string(element) + " retain=" + value.text.value_or("(absent)"));
            Installation install;
            const bool perf = std::strcmp(element, "performancelog") == 0;
            for (LogConfig* c : {&install.config, &install.expected}) {
                LogFileSettings& settings = perf ? c->perfLog : c->generalLog;
                settings.retainDays = 55;
                settings.retainSizeLimit = 55;
            }
            LogFileSettings& expected = perf ? install.expected.perfLog : install.expected.generalLog;
            expected.retainDays = value.days;
            expected.retainSizeLimit = value.megabytes;
            const std::string attributes =
                value.text ? "retaindays=\"" + *value.text + "\" retainsizelimit=\"" +
                                 *value.text + "\""
                           : std::string();
            EXPECT_EQ(1, install.Load("<r><global/><" + std::string(element) + " " +
                                      attributes + "/></r>"));
            install.ExpectRecord();
        }
    }
}

// The folder gets its trailing separator before the macro is expanded; a folder that cannot be
// completed keeps the field's previous value ("/preset/").
TEST(ConfigLoad, FolderAttribute) {
    const std::string tooLongExpansion = "$(COMMON_APPDATA)/" + std::string(240, 'x');
    const struct {
        std::optional<std::string> text;
        std::string stored;
    } cases[] = {
        {std::nullopt, "/preset/"},
        {"/data/Logs", "/data/Logs/"},
        {"/data/Logs/", "/data/Logs/"},
        {"relative", "relative/"},
        {"", "/preset/"},
        {"$(COMMON_APPDATA)/Vantiro/Logs", "/fake/common-appdata/Vantiro/Logs/"},
        {"$(PROGRAM_FILES_COMMON)", "/fake/common-files/"},
        {"$(NO_SUCH_FOLDER)/x", "/fake/common-appdata/x/"},
        {"$(LOCAL_APPDATA/x", "$(LOCAL_APPDATA/x/"},
        {"/x/$(LOCAL_APPDATA)", "/x/$(LOCAL_APPDATA)/"},
        {"/" + std::string(257, 'a'), "/" + std::string(257, 'a') + "/"},
        {"/" + std::string(257, 'a') + "/", "/" + std::string(257, 'a') + "/"},
        {"/" + std::string(258, 'a'), "/preset/"},   // 259 characters: no room for the separator
        {"/" + std::string(259, 'a'), "/preset/"},   // does not fit at all
        {tooLongExpansion, "/preset/"},
    };
    for (const char* element : {"performancelog", "log"}) {
        for (const auto& value : cases) {
            SCOPED_TRACE(std::string(element) + " filepath=" + value.text.value_or("(absent)"));
            Installation install;
            const bool perf = std::strcmp(element, "performancelog") == 0;
            SetText((perf ? install.config.perfLog : install.config.generalLog).filePath,
                    P("/preset/"));
            SetText((perf ? install.expected.perfLog : install.expected.generalLog).filePath,
                    P(value.stored));
            const std::optional<std::string> text =
                value.text ? std::optional<std::string>(P(*value.text)) : std::nullopt;
            EXPECT_EQ(1, install.Load(WithAttribute(
                             "<r><global/><" + std::string(element) + " @/></r>", "filepath",
                             text)));
            install.ExpectRecord();
        }
    }
}

// Without "filepath" the folder the record already holds is completed the same way; an empty
// one (no common application data folder) stays empty rather than becoming the root.
TEST(ConfigLoad, FolderWithoutAttributeIsCompletedToo) {
    const struct {
        std::string before;
        std::string after;
    } cases[] = {{"/preset", "/preset/"}, {"", ""}};
    for (const auto& folder : cases) {
        SCOPED_TRACE(folder.before);
        Installation install;
        SetText(install.config.generalLog.filePath, P(folder.before));
        SetText(install.expected.generalLog.filePath, P(folder.after));
        EXPECT_EQ(1, install.Load("<r><global/><log/></r>"));
        install.ExpectRecord();
    }
}

TEST(ConfigLoad, FolderWhoseMacroCannotBeResolvedKeepsItsValue) {
    for (const std::optional<std::string>& folder :
         {std::optional<std::string>(), std::optional<std::string>("")}) {
        SCOPED_TRACE(folder ? "empty folder" : "no folder");
        Installation install;
        if (folder) {
            install.platform.specialFolders[SpecialFolder::LocalAppData] = *folder;
        } else {
            install.platform.specialFolders.erase(SpecialFolder::LocalAppData);
        }
        EXPECT_EQ(1, install.Load("<r><global/><log filepath=\"" + P("$(LOCAL_APPDATA)/x") +
                                  "\" loglevel=\"3\"/></r>"));
        install.expected.logLevel = 3;
        install.ExpectRecord();
    }
}

TEST(ConfigLoad, FileNameAttribute) {
    const struct {
        std::optional<std::string> text;
        std::string stored;
    } cases[] = {
        {std::nullopt, "preset.dat"},
        {"general.log", "general.log"},
        {"", "preset.dat"},
        {std::string(259, 'n'), std::string(259, 'n')},
        {std::string(260, 'n'), "preset.dat"},
    };
    for (const char* element : {"performancelog", "log"}) {
        for (const auto& value : cases) {
            SCOPED_TRACE(std::string(element) + " filename of " +
                         (value.text ? std::to_string(value.text->size()) + " chars" : "absent"));
            Installation install;
            const bool perf = std::strcmp(element, "performancelog") == 0;
            SetText((perf ? install.config.perfLog : install.config.generalLog).fileName,
                    "preset.dat");
            SetText((perf ? install.expected.perfLog : install.expected.generalLog).fileName,
                    value.stored);
            EXPECT_EQ(1, install.Load(WithAttribute("<r><global/><" + std::string(element) +
                                                        " @/></r>",
                                                    "filename", value.text)));
            install.ExpectRecord();
        }
    }
}

// Each failure returns 0, leaves what was read before it and the defaults for the rest.
TEST(ConfigLoad, FailureAtEachStepKeepsEarlierFields) {
    const struct {
        const char* what;
        std::function<void(Installation&)> setUp;
        int result;
        std::function<void(LogConfig&)> expect;
    } cases[] = {
        {"no registry value", [](Installation& i) { i.platform.registry.clear(); }, 0, nullptr},
        {"no file", [](Installation&) {}, 0, nullptr},
        {"file is a folder",
         [](Installation& i) { std::filesystem::create_directory(i.temp.Join(kConfigFileName)); },
         0, nullptr},
        {"empty file", [](Installation& i) { i.temp.WriteFile(kConfigFileName, ""); }, 0,
         nullptr},
        {"malformed XML",
         [](Installation& i) {
             i.temp.WriteFile(kConfigFileName, "<r enable=\"1\"><global excelmode=\"1\"></r>");
         },
         0, nullptr},
        {"no root element",
         [](Installation& i) {
             i.temp.WriteFile(kConfigFileName, "<?xml version=\"1.0\"?><!-- nothing -->");
         },
         0, nullptr},
        {"no global",
         [](Installation& i) {
             i.temp.WriteFile(kConfigFileName,
                              "<r enable=\"1\"><log loglevel=\"3\"/><x><global/></x></r>");
         },
         0, [](LogConfig& c) { c.enable = 1; }},
        {"neither performancelog nor log",
         [](Installation& i) {
             i.temp.WriteFile(kConfigFileName, "<r enable=\"1\"><global excelmode=\"1\"/></r>");
         },
         1,
         [](LogConfig& c) {
             c.enable = 1;
             c.excelMode = 1;
         }},
        {"no log",
         [](Installation& i) {
             i.temp.WriteFile(kConfigFileName,
                              "<r><global/><performancelog filesizelimit=\"2\"/></r>");
         },
         1, [](LogConfig& c) { c.perfLog.fileSizeLimit = 2; }},
        {"no performancelog",
         [](Installation& i) {
             i.temp.WriteFile(kConfigFileName, "<r><global/><log filesizelimit=\"2\"/></r>");
         },
         1, [](LogConfig& c) { c.generalLog.fileSizeLimit = 2; }},
    };
    for (const auto& step : cases) {
        SCOPED_TRACE(step.what);
        Installation install;
        step.setUp(install);
        if (step.expect) step.expect(install.expected);
        EXPECT_EQ(step.result, install.config.Load(install.platform));
        install.ExpectRecord();
    }
}

std::string Nested(int depth) {
    std::string xml = "<r enable=\"1\"><global/>";
    for (int level = 1; level < depth; ++level) xml += "<n>";
    for (int level = 1; level < depth; ++level) xml += "</n>";
    return xml + "</r>";
}

// What an attacker can put where the configuration is looked for: the load returns and the
// defaults stay, except for the cases at the bounds, which load.
TEST(ConfigLoad, HostileSources) {
    const std::string small = "<r enable=\"1\"><global/></r>";
    const struct {
        const char* what;
        std::function<void(Installation&)> setUp;
        int result;
    } cases[] = {
        {"file of exactly the size bound",
         [&](Installation& i) {
             i.temp.WriteFile(kConfigFileName,
                              small + std::string(kMaxConfigBytes - small.size(), ' '));
         },
         1},
        {"file one byte over the size bound",
         [&](Installation& i) {
             i.temp.WriteFile(kConfigFileName,
                              small + std::string(kMaxConfigBytes + 1 - small.size(), ' '));
         },
         0},
        {"60 levels deep", [](Installation& i) { i.temp.WriteFile(kConfigFileName, Nested(60)); },
         1},
        {"50,000 levels deep",
         [](Installation& i) { i.temp.WriteFile(kConfigFileName, Nested(50000)); }, 0},
#if !defined(_WIN32)
        {"FIFO as the configuration file",
         [](Installation& i) {
             ASSERT_EQ(0, mkfifo(i.temp.Join(kConfigFileName).c_str(), 0600));
         },
         0},
#endif
    };
    for (const auto& source : cases) {
        SCOPED_TRACE(source.what);
        Installation install;
        source.setUp(install);
        if (source.result == 1) install.expected.enable = 1;
        EXPECT_EQ(source.result, CallWithWatchdog("the load", [&] {
                      return install.config.Load(install.platform);
                  }));
        install.ExpectRecord();
    }
}

#if !defined(_WIN32)
// The emulated registry is a folder tree: a FIFO as the value's file must not block the load.
TEST(ConfigLoad, FifoAsTheRegistryValue) {
    struct FileRegistry : FakePlatform {
        bool ReadMachineRegistryString(const char* subKey, const char* valueName,
                                       RegistryView view, char* buffer,
                                       std::size_t capacity) const override {
            return OsPlatform::ReadMachineRegistryString(subKey, valueName, view, buffer,
                                                         capacity);
        }
    } platform;
    TempFolder registry;
    const std::string key = registry.Join("HKEY_LOCAL_MACHINE/SOFTWARE/Corvessa/Vantiro");
    std::filesystem::create_directories(key);
    ASSERT_EQ(0, mkfifo((key + "/ZLM_HOME").c_str(), 0600));
    const char* previous = std::getenv("VTLOGADAPTER_REGISTRY_ROOT");
    const std::string saved = previous != nullptr ? previous : "";
    setenv("VTLOGADAPTER_REGISTRY_ROOT", registry.Path().c_str(), 1);

    LogConfig config(platform);
    LogConfig expected(platform);
    expected.loaded = 1;
    EXPECT_EQ(0, CallWithWatchdog("the load", [&] { return config.Load(platform); }));
    EXPECT_EQ(Describe(expected), Describe(config));

    if (previous != nullptr) {
        setenv("VTLOGADAPTER_REGISTRY_ROOT", saved.c_str(), 1);
    } else {
        unsetenv("VTLOGADAPTER_REGISTRY_ROOT");
    }
}
#endif

// The nesting scan before parsing: what hides markup, what opens and closes an element, and
// what it refuses because the parser could read it otherwise.
TEST(NestingWithin, CountsOnlyWhatTheParserWouldNest) {
    const struct {
        const char* xml;
        int maxDepth;
        bool within;
    } cases[] = {
        {"<a><b/><b x='>'></b></a>", 2, true},
        {"<a></a><a></a><a></a>", 1, true},
        {"<a><b><c></c></b></a>", 2, false},
        {"<a><b x=\"/>\"></b></a>", 1, false},   // "/>" inside quotes closes nothing
        {"<a><b x=b/></a>", 1, true},
        {"<a><!-- <b><c> --></a>", 1, true},
        {"<a><![CDATA[<b><c>]]></a>", 1, true},
        {"<?xml version='1.0'?><!DOCTYPE a><?pi x?><a></a>", 1, true},
        {"<a x='<'/>", 9, false},
        {"<?pi '?><a><a><a>'?>", 9, false},   // a '<' the parser would see as markup
        {"<a", 9, false},
        {"<a x='>", 9, false},
        {"<a><!-- </a>", 9, false},
        {"<a><![CDATA[ </a>", 9, false},
        {"</a>", 9, false},
    };
    for (const auto& document : cases) {
        SCOPED_TRACE(document.xml);
        EXPECT_EQ(document.within,
                  NestingWithin(document.xml, std::strlen(document.xml), document.maxDepth));
    }
}

TEST(ConfigLoad, RunsOnceEvenAfterAFailure) {
    for (const bool firstFileExists : {true, false}) {
        SCOPED_TRACE(firstFileExists ? "first load succeeded" : "first load failed");
        Installation install;
        if (firstFileExists) {
            EXPECT_EQ(1, install.Load("<r enable=\"1\"><global/><log loglevel=\"2\"/></r>"));
            install.expected.enable = 1;
            install.expected.logLevel = 2;
        } else {
            EXPECT_EQ(0, install.config.Load(install.platform));
        }
        const std::size_t lookups = install.platform.registryViewsAsked.size();

        EXPECT_EQ(0, install.Load("<r enable=\"0\"><global/><log loglevel=\"4\"/></r>"));
        EXPECT_EQ(lookups, install.platform.registryViewsAsked.size());
        install.ExpectRecord();
    }
}

TEST(ConfigLoad, RegistryViews) {
    const struct {
        const char* what;
        bool native;
        bool wow64;
        bool retries;
        int enable;   // 1: the native view's file was read, 2: the 32-bit view's, 0: none
        std::vector<RegistryView> asked;
    } cases[] = {
        {"native only", true, false, true, 1, {RegistryView::Native}},
        {"both", true, true, true, 1, {RegistryView::Native}},
        {"32-bit only, retried", false, true, true, 2,
         {RegistryView::Native, RegistryView::Wow64_32}},
        {"32-bit only, 32-bit build", false, true, false, 0, {RegistryView::Native}},
        {"neither", false, false, true, 0, {RegistryView::Native, RegistryView::Wow64_32}},
    };
    for (const auto& views : cases) {
        SCOPED_TRACE(views.what);
        Installation install;
        install.platform.registry.clear();
        install.platform.retriesIn32BitView = views.retries;
        install.temp.WriteFile(P("native/") + kConfigFileName, "<r enable=\"1\"/>");
        install.temp.WriteFile(P("wow64/") + kConfigFileName, "<r enable=\"2\"/>");
        if (views.native) install.platform.registry[kHomeKey] = install.temp.Join(P("native/"));
        if (views.wow64) install.platform.registry32[kHomeKey] = install.temp.Join(P("wow64/"));

        install.config.Load(install.platform);
        EXPECT_EQ(views.enable, install.config.enable);
        EXPECT_EQ(views.asked, install.platform.registryViewsAsked);
    }
}

// A registry value that does not fit the buffer, or comes without its NUL, is no value.
TEST(ConfigLoad, InstallDirectoryMustFitItsBuffer) {
    FakePlatform platform;
    platform.retriesIn32BitView = false;
    char buffer[kPathCapacity + 8];
    std::memset(buffer, '#', sizeof buffer);

    platform.registry[kHomeKey] = std::string(kPathCapacity - 1, 'd');
    EXPECT_EQ(1, ReadInstallDirectory(platform, buffer));
    EXPECT_EQ(std::string(kPathCapacity - 1, 'd'), buffer);

    platform.registry[kHomeKey] = std::string(kPathCapacity, 'd');
    EXPECT_EQ(0, ReadInstallDirectory(platform, buffer));
    EXPECT_EQ('\0', buffer[0]);
    EXPECT_EQ(std::string(8, '#'), std::string(buffer + kPathCapacity, 8));

    LogConfig config(platform);
    EXPECT_EQ(0, config.Load(platform));
}

TEST(ConfigLoad, InstallDirectoryWithoutItsNulIsRefused) {
    struct UnterminatedValue : FakePlatform {
        bool ReadMachineRegistryString(const char*, const char*, RegistryView, char* buffer,
                                       std::size_t capacity) const override {
            std::memset(buffer, 'u', capacity);
            return true;
        }
    } platform;
    char buffer[kPathCapacity];
    EXPECT_EQ(0, ReadInstallDirectory(platform, buffer));
    EXPECT_EQ('\0', buffer[0]);
    LogConfig config(platform);
    EXPECT_EQ(0, config.Load(platform));
    EXPECT_EQ(1, config.loaded);
}

TEST(ConfigFilePath, CutsAfterTheLastSeparator) {
    const std::string fits(242, 'd');   // with its separator, exactly room for the file name
    const struct {
        std::string directory;
        std::string file;   // empty: refused
    } cases[] = {
        {"/opt/Vantiro/Bin", "/opt/Vantiro/LogConfigure.xml"},
        {"/opt/Vantiro/", "/opt/Vantiro/LogConfigure.xml"},
        {"/opt/Vantiro//", "/opt/Vantiro//LogConfigure.xml"},
        {"Bin", "LogConfigure.xml"},
        {"", "LogConfigure.xml"},
        {"/opt", "LogConfigure.xml"},   // the first character is never a cut point
        {"/", "LogConfigure.xml"},
        {"//", "//LogConfigure.xml"},
        {fits + "/", fits + "/LogConfigure.xml"},
        {fits + "d/", ""},
    };
    for (const auto& path : cases) {
        SCOPED_TRACE(path.directory);
        char file[kPathCapacity];
        EXPECT_EQ(path.file.empty() ? 0 : 1, ConfigFilePath(P(path.directory).c_str(), file));
        EXPECT_EQ(P(path.file), file);
    }
}

TEST(ConfigLoad, FindsTheFileFromTheInstallDirectory) {
    for (const std::string suffix : {"/Bin", "/"}) {
        SCOPED_TRACE(suffix);
        Installation install;
        install.platform.registry[kHomeKey] = install.temp.Path() + P(suffix);
        EXPECT_EQ(1, install.Load("<r enable=\"1\"><global/></r>"));
        EXPECT_EQ(1, install.config.enable);
    }
}

TEST(ConfigLoad, InstallDirectoryWithoutSeparatorMeansTheCurrentDirectory) {
    Installation install;
    install.platform.registry[kHomeKey] = "Bin";
    install.temp.WriteFile(kConfigFileName, "<r enable=\"1\"><global/></r>");
    const std::filesystem::path previous = std::filesystem::current_path();
    std::filesystem::current_path(install.temp.Path());
    const int result = install.config.Load(install.platform);
    std::filesystem::current_path(previous);
    EXPECT_EQ(1, result);
    EXPECT_EQ(1, install.config.enable);
}

TEST(ExpandFolderMacro, RewritesALeadingMacro) {
    const std::string fitting = "/" + std::string(238, 'r');   // 20 + 239 = 259 characters
    const struct {
        std::string path;
        std::string expanded;
    } cases[] = {
        {"$(COMMON_APPDATA)/a/", "/fake/common-appdata/a/"},
        {"$(PROGRAM_FILES_COMMON)/a/", "/fake/common-files/a/"},
        {"$(LOCAL_APPDATA)/a/", "/fake/local-appdata/a/"},
        {"$(COMMON_DOCUMENTS)/a/", "/fake/common-documents/a/"},
        {"$(COMMON_DOCUMENTS)", "/fake/common-documents"},
        {"$(UNKNOWN)/a/", "/fake/common-appdata/a/"},
        {"$(local_appdata)/a/", "/fake/common-appdata/a/"},   // names match exactly
        {"$()/a/", "/fake/common-appdata/a/"},
        {"$(LOCAL_APPDATA)/a/$(COMMON_DOCUMENTS)", "/fake/local-appdata/a/$(COMMON_DOCUMENTS)"},
        {"$(LOCAL_APPDATA/a/", "$(LOCAL_APPDATA/a/"},          // no ")": left as it is
        {"/a/$(LOCAL_APPDATA)", "/a/$(LOCAL_APPDATA)"},
        {"", ""},
        {"$(COMMON_APPDATA)" + fitting, "/fake/common-appdata" + fitting},
        {"$(COMMON_APPDATA)" + fitting + "r", "$(COMMON_APPDATA)" + fitting + "r"},
    };
    FakePlatform platform;
    UseNativeSeparators(platform);
    for (const auto& macro : cases) {
        SCOPED_TRACE(macro.path);
        char path[kPathCapacity];
        SetText(path, P(macro.path));
        EXPECT_EQ(1, ExpandFolderMacro(platform, path));
        EXPECT_EQ(P(macro.expanded), path);
    }
}

TEST(ExpandFolderMacro, LeavesThePathWhenTheFolderIsUnknown) {
    FakePlatform platform;
    platform.specialFolders.clear();
    char path[kPathCapacity];
    SetText(path, P("$(COMMON_APPDATA)/a/"));
    EXPECT_EQ(1, ExpandFolderMacro(platform, path));
    EXPECT_EQ(P("$(COMMON_APPDATA)/a/"), path);
}

}  // namespace
}  // namespace VTLogAdapter::Testing
