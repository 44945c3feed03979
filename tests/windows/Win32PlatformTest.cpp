// The Win32 platform layer against the real API (under Wine in the test runs): registry limits
// and views, files, the mutex and the text conversion.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/TextConversion.h"
#include "platform/win32/Win32Platform.h"
#include "tests/support/TempFolder.h"

namespace VTLogAdapter::Testing {
namespace {

// A key of the tests' own, so nothing here meets the library's real installation value.
constexpr char kTestKey[] = "SOFTWARE\\Corvessa\\VTLogPlatformTest";

class RegistryTest : public ::testing::Test {
protected:
    void TearDown() override {
        RegDeleteKeyExA(HKEY_LOCAL_MACHINE, kTestKey, KEY_WOW64_64KEY, 0);
        RegDeleteKeyExA(HKEY_LOCAL_MACHINE, kTestKey, KEY_WOW64_32KEY, 0);
    }
    // Stores `size` bytes of `data` as value `name` of type `type` in the given view.
    static void Store(const char* name, DWORD type, const void* data, DWORD size,
                      REGSAM view = 0) {
        HKEY key = nullptr;
        ASSERT_EQ(ERROR_SUCCESS,
                  RegCreateKeyExA(HKEY_LOCAL_MACHINE, kTestKey, 0, nullptr, 0,
                                  KEY_SET_VALUE | view, nullptr, &key, nullptr));
        EXPECT_EQ(ERROR_SUCCESS,
                  RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data), size));
        RegCloseKey(key);
    }
    static void StoreText(const char* name, const std::string& text, REGSAM view = 0) {
        Store(name, REG_SZ, text.c_str(), static_cast<DWORD>(text.size() + 1), view);
    }
    bool Read(const char* name, RegistryView view = RegistryView::Native) {
        std::memset(buffer, '#', sizeof buffer);
        return platform.ReadMachineRegistryString(kTestKey, name, view, buffer, kPathCapacity);
    }

    Win32Platform platform;
    char buffer[kPathCapacity + 16];
};

TEST_F(RegistryTest, ValueMustFitWithItsTerminator) {
    StoreText("Fits", std::string(kPathCapacity - 1, 'a'));
    StoreText("TooLong", std::string(kPathCapacity, 'a'));
    ASSERT_TRUE(Read("Fits"));
    EXPECT_EQ(std::string(kPathCapacity - 1, 'a'), buffer);
    EXPECT_FALSE(Read("TooLong"));
    EXPECT_EQ('\0', buffer[0]);
    EXPECT_EQ('#', buffer[kPathCapacity]) << "nothing written past the buffer";
    EXPECT_FALSE(Read("Missing"));
}

TEST_F(RegistryTest, OnlyTerminatedTextCounts) {
    const char bytes[] = {'C', ':', '\\', 'x'};
    const DWORD number = 7;
    Store("Binary", REG_BINARY, bytes, sizeof bytes);
    Store("Number", REG_DWORD, &number, sizeof number);
    Store("Expandable", REG_EXPAND_SZ, "C:\\y", 5);
    Store("Unterminated", REG_SZ, "C:\\x", 4);
    EXPECT_FALSE(Read("Binary"));
    EXPECT_FALSE(Read("Number"));
    // The system may terminate such a value itself; what must never come back is the bytes
    // after it.
    if (Read("Unterminated")) {
        EXPECT_STREQ("C:\\x", buffer);
    }
    ASSERT_TRUE(Read("Expandable"));
    EXPECT_STREQ("C:\\y", buffer) << "taken as it is, not expanded";
}

TEST_F(RegistryTest, ThirtyTwoBitViewIsAskedForExplicitly) {
    StoreText("OnlyIn32", "C:\\x86", KEY_WOW64_32KEY);
    ASSERT_TRUE(Read("OnlyIn32", RegistryView::Wow64_32));
    EXPECT_STREQ("C:\\x86", buffer);
    // A 32-bit process sees its own view natively; a 64-bit one must not.
    EXPECT_EQ(sizeof(void*) == 4, Read("OnlyIn32"));
    EXPECT_EQ(sizeof(void*) == 8, platform.RetriesIn32BitRegistryView());
}

TEST(Win32Platform, SpecialFoldersExistAndFit) {
    Win32Platform platform;
    for (SpecialFolder folder : {SpecialFolder::CommonAppData, SpecialFolder::CommonProgramFiles,
                                 SpecialFolder::LocalAppData, SpecialFolder::CommonDocuments}) {
        char path[kPathCapacity] = {};
        ASSERT_TRUE(platform.GetSpecialFolderPath(folder, path, sizeof path))
            << static_cast<int>(folder);
        EXPECT_TRUE(platform.PathExists(path)) << path;
        EXPECT_NE('\\', path[std::strlen(path) - 1]) << path;
        char tiny[4] = {};
        EXPECT_FALSE(platform.GetSpecialFolderPath(folder, tiny, sizeof tiny));
    }
}

TEST(Win32Platform, IdentityOfThisProcess) {
    Win32Platform platform;
    EXPECT_EQ(GetCurrentProcessId(), platform.GetCurrentProcessId());
    std::uint32_t session = 12345;
    EXPECT_TRUE(platform.ProcessIdToSessionId(platform.GetCurrentProcessId(), session));
    EXPECT_NE(12345u, session);

    char16_t path[kPathCapacity] = {};
    const std::size_t length = platform.GetExecutablePath(path, kPathCapacity);
    const std::u16string executable(path, length);
    const std::u16string name = u"\\vtlog_windows_tests.exe";
    ASSERT_GT(executable.size(), name.size());
    EXPECT_EQ(name, executable.substr(executable.size() - name.size()));

    char16_t cut[5];
    std::memset(cut, 0x55, sizeof cut);
    EXPECT_EQ(4u, platform.GetExecutablePath(cut, 5));
    EXPECT_EQ(u'\0', cut[4]);
}

TEST(Win32Platform, FileMutexIsNamedAndOpenToOthersWhileHeld) {
    Win32Platform platform;
    void* handle = platform.CreateFileMutex();
    ASSERT_NE(nullptr, handle);
    HANDLE other = OpenMutexW(SYNCHRONIZE, FALSE, L"Global\\DIVOVEV_FILE_MUTEX");
    ASSERT_NE(nullptr, other);
    CloseHandle(other);
    void* second = platform.CreateFileMutex();
    EXPECT_NE(nullptr, second) << "a second creator opens the existing mutex";
    platform.CloseFileMutex(second);
    platform.CloseFileMutex(handle);
}

// Counts the WriteFile calls of the C runtime while it lives, by pointing the runtime's import
// of WriteFile at a counter; how many writes a line takes is not visible in the file.
class WriteFileCounter {
public:
    WriteFileCounter() {
        slot = FindImport(GetModuleHandleA(nullptr), "WriteFile");
        if (slot == nullptr) return;
        original = reinterpret_cast<WriteFileFunction>(*slot);
        Patch(reinterpret_cast<void*>(&Counting));
    }
    ~WriteFileCounter() {
        if (slot != nullptr) Patch(reinterpret_cast<void*>(original));
    }
    WriteFileCounter(const WriteFileCounter&) = delete;
    WriteFileCounter& operator=(const WriteFileCounter&) = delete;

    bool Installed() const { return slot != nullptr; }
    // WriteFile calls since the last Reset.
    int Calls() const { return calls; }
    void Reset() { calls = 0; }

private:
    using WriteFileFunction = BOOL(WINAPI*)(HANDLE, LPCVOID, DWORD, LPDWORD, LPOVERLAPPED);

    static BOOL WINAPI Counting(HANDLE file, LPCVOID data, DWORD size, LPDWORD written,
                                LPOVERLAPPED overlapped) {
        ++calls;
        return original(file, data, size, written, overlapped);
    }

    // The import address table entry of `name` in `module`, whichever DLL it is imported from.
    static void** FindImport(HMODULE module, const char* name) {
        if (module == nullptr) return nullptr;
        unsigned char* base = reinterpret_cast<unsigned char*>(module);
        const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
        const auto* headers = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
        const IMAGE_DATA_DIRECTORY& imports =
            headers->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
        if (imports.VirtualAddress == 0) return nullptr;
        for (auto* entry = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress);
             entry->Name != 0; ++entry) {
            const DWORD namesAt =
                entry->OriginalFirstThunk != 0 ? entry->OriginalFirstThunk : entry->FirstThunk;
            auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + namesAt);
            auto* addresses = reinterpret_cast<IMAGE_THUNK_DATA*>(base + entry->FirstThunk);
            for (; names->u1.AddressOfData != 0; ++names, ++addresses) {
                if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
                const auto* byName =
                    reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
                if (std::strcmp(reinterpret_cast<const char*>(byName->Name), name) == 0) {
                    return reinterpret_cast<void**>(&addresses->u1.Function);
                }
            }
        }
        return nullptr;
    }

    void Patch(void* target) {
        DWORD protection = 0;
        VirtualProtect(slot, sizeof *slot, PAGE_READWRITE, &protection);
        *slot = target;
        VirtualProtect(slot, sizeof *slot, protection, &protection);
    }

    void** slot = nullptr;
    static inline WriteFileFunction original = nullptr;
    static inline int calls = 0;
};

class LogFileTest : public ::testing::Test {
protected:
    ~LogFileTest() override {
        if (file != nullptr) platform.CloseLogFile(file);
    }
    Win32Platform platform;
    TempFolder temp;
    LogFile* file = nullptr;
};

TEST_F(LogFileTest, CreationIsExclusive) {
    const std::string path = temp.Join("trace.dat");
    ASSERT_EQ(CreateResult::Created, platform.CreateNewLogFile(path.c_str(), file));
    LogFile* again = nullptr;
    EXPECT_EQ(CreateResult::NameTaken, platform.CreateNewLogFile(path.c_str(), again));
    EXPECT_EQ(nullptr, again);

    platform.CreateFolder(temp.Join("folder").c_str());
    EXPECT_EQ(CreateResult::NameTaken,
              platform.CreateNewLogFile(temp.Join("folder").c_str(), again));
    EXPECT_EQ(CreateResult::Failed,
              platform.CreateNewLogFile(temp.Join("missing\\trace.dat").c_str(), again));
    EXPECT_EQ(nullptr, again);
    // A reserved device name opens the device, which is no new file of ours.
    EXPECT_EQ(CreateResult::NameTaken, platform.CreateNewLogFile(temp.Join("NUL").c_str(), again));
    EXPECT_EQ(nullptr, again);
}

TEST_F(LogFileTest, LinesEndInCarriageReturnLineFeedAndAreCountedOnDisk) {
    const std::string path = temp.Join("trace.dat");
    ASSERT_EQ(CreateResult::Created, platform.CreateNewLogFile(path.c_str(), file));
    EXPECT_EQ(0, platform.GetFileLength(file));
    // The longest line the writers build, full of line feeds: still whole after one write.
    std::string longest(2047, '\n');
    longest[0] = 'x';
    EXPECT_TRUE(platform.WriteLogLine(file, "one\n", 4));
    EXPECT_TRUE(platform.WriteLogLine(file, longest.c_str(), longest.size()));
    std::string onDisk = "one\r\nx";
    for (int i = 0; i < 2046; ++i) onDisk += "\r\n";
    EXPECT_EQ(static_cast<std::int64_t>(onDisk.size()), platform.GetFileLength(file));
    EXPECT_EQ(onDisk.size(), StoredSize("one\n" + longest));
    EXPECT_EQ("one\n" + longest, ReadFile(path));   // read in text mode: CR LF comes back as LF
}

TEST_F(LogFileTest, EveryLineReachesTheSystemInOneWrite) {
    // A line in pieces is half a line for any reader of the shared file, and for good if the
    // process dies between the pieces. The C runtime's text mode translates and writes in
    // chunks of its own (1 KiB in Windows' msvcrt, 2 KiB in Wine's), so the longest lines, and
    // lines with many line feeds, are where pieces would show.
    const std::string path = temp.Join("trace.dat");
    ASSERT_EQ(CreateResult::Created, platform.CreateNewLogFile(path.c_str(), file));
    std::string plain(2046, 'p');
    plain += '\n';
    std::string feeds(2047, '\n');
    feeds[0] = 'x';
    std::string mixed;
    while (mixed.size() < 2040) mixed += "line\n";

    WriteFileCounter counter;
    ASSERT_TRUE(counter.Installed()) << "the program imports no WriteFile to count";
    std::int64_t expectedLength = 0;
    for (const std::string* line : {&plain, &feeds, &mixed}) {
        counter.Reset();
        EXPECT_TRUE(platform.WriteLogLine(file, line->c_str(), line->size()));
        EXPECT_EQ(1, counter.Calls()) << "a line of " << line->size() << " bytes";
        expectedLength += static_cast<std::int64_t>(StoredSize(*line));
    }
    EXPECT_EQ(expectedLength, platform.GetFileLength(file));
    EXPECT_EQ(plain + feeds + mixed, ReadFile(path));
}

TEST_F(LogFileTest, OthersMayReadWriteAndRenameTheOpenFile) {
    // Whatever else happened to the file, a cut back or someone else writing into it or making
    // it longer, our next line goes to its end: never into what is there, never after a gap.
    const std::string path = temp.Join("shared.dat");
    ASSERT_EQ(CreateResult::Created, platform.CreateNewLogFile(path.c_str(), file));
    EXPECT_TRUE(platform.WriteLogLine(file, "one\ntwo\n", 8));
    ASSERT_TRUE(platform.TruncateLogFile(file, 5));
    EXPECT_TRUE(platform.WriteLogLine(file, "three\n", 6));
    HANDLE other = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, other);
    DWORD written = 0;
    EXPECT_TRUE(WriteFile(other, "XX", 2, &written, nullptr));
    LARGE_INTEGER zero{};
    EXPECT_TRUE(SetFilePointerEx(other, zero, nullptr, FILE_END));
    EXPECT_TRUE(WriteFile(other, "YY\r\n", 4, &written, nullptr));
    CloseHandle(other);
    EXPECT_TRUE(platform.WriteLogLine(file, "four\n", 5));
    EXPECT_EQ("XXe\nthree\nYY\nfour\n", ReadFile(path));
    EXPECT_TRUE(MoveFileA(path.c_str(), temp.Join("moved.dat").c_str()));
}

TEST(Win32TextConversion, CutsAtCharacterBoundariesAndReplacesLoneSurrogates) {
    struct Case {
        const char16_t* text;
        std::size_t capacity;
        const char* expected;
    };
    const Case cases[] = {
        {u"plain", 16, "plain"},
        {u"\u00E9\u20AC\U0001F600", 16, "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80"},
        {u"a\xD800" "b", 16, "a\xEF\xBF\xBD" "b"},      // lone high surrogate
        {u"a\xDC00", 16, "a\xEF\xBF\xBD"},              // lone low surrogate
        {u"ab\u20AC", 5, "ab"},                         // the euro sign needs 3 more bytes
        {u"a\U0001F600", 5, "a"},                       // a pair is never split
        {u"a\U0001F600", 6, "a\xF0\x9F\x98\x80"},
        {u"abc", 1, ""},
        {nullptr, 4, ""},
    };
    for (const Case& c : cases) {
        char buffer[32];
        std::memset(buffer, '#', sizeof buffer);
        const std::size_t length = Utf16ToUtf8(c.text, buffer, c.capacity);
        EXPECT_STREQ(c.expected, buffer) << c.capacity;
        EXPECT_EQ(std::strlen(c.expected), length);
        EXPECT_EQ('#', buffer[c.capacity]) << "nothing written past the capacity";
    }
    char untouched = '#';
    EXPECT_EQ(0u, Utf16ToUtf8(u"abc", &untouched, 0));
    EXPECT_EQ('#', untouched);
}

}  // namespace
}  // namespace VTLogAdapter::Testing
