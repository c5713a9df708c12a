// The disk, registry and folder helpers against the real file system and registry of the
// Wine prefix.
#include <windows.h>

#include <gtest/gtest.h>

#include <optional>
#include <regex>
#include <string>
#include <vector>

#include "tests/support/LogCapture.h"
#include "tests/support/TempFolder.h"
#include "utils/Folders.h"
#include "utils/HardDiskManager.h"
#include "utils/Registry.h"
#include "utils/TextConversion.h"

namespace {

// ---------------------------------------------------------------------------------------
// Registry

// A value name of the installer's key that no other test uses; the value is deleted when
// the test ends, the key itself stays for the others.
class RegistryTest : public testing::Test {
protected:
    ~RegistryTest() override {
        HKEY key = nullptr;
        if (::RegOpenKeyExW(HKEY_CURRENT_USER, Utils::kRegistryKeyPath, 0, KEY_SET_VALUE, &key) ==
            ERROR_SUCCESS) {
            ::RegDeleteValueW(key, name_.c_str());
            ::RegCloseKey(key);
        }
    }

    const std::wstring& Name() const { return name_; }

    // The value's type and size as the registry itself reports them.
    struct Stored {
        DWORD type = REG_NONE;
        DWORD bytes = 0;
    };
    std::optional<Stored> QueryStored() const {
        HKEY key = nullptr;
        if (::RegOpenKeyExW(HKEY_CURRENT_USER, Utils::kRegistryKeyPath, 0, KEY_READ, &key) != ERROR_SUCCESS)
            return std::nullopt;
        Stored stored;
        const LONG status =
            ::RegQueryValueExW(key, name_.c_str(), nullptr, &stored.type, nullptr, &stored.bytes);
        ::RegCloseKey(key);
        if (status != ERROR_SUCCESS)
            return std::nullopt;
        return stored;
    }

    // Stores raw data of any type, bypassing WriteRegString.
    void StoreRaw(DWORD type, const void* data, DWORD bytes) const {
        HKEY key = nullptr;
        ASSERT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER, Utils::kRegistryKeyPath, 0, nullptr, 0, KEY_SET_VALUE,
                                    nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        const LONG status =
            ::RegSetValueExW(key, name_.c_str(), 0, type, static_cast<const BYTE*>(data), bytes);
        ::RegCloseKey(key);
        ASSERT_EQ(status, ERROR_SUCCESS);
    }

private:
    std::wstring name_ = L"LumivaneTest." + Utils::NewGuidText();
};

TEST_F(RegistryTest, WrittenTextReadsBackExactlyAndIsStoredWithoutTerminator) {
    const std::wstring texts[] = {
        L"C:\\Program Files\\Vanelume",
        L"",
        L"x",
        L"\"C:\\Program Files\\Vanelume\\uninst.exe\" /S _?=C:\\Program Files\\Vanelume",
        L"V\u00e4nel\u00fcme \u6587\u5b57 \U0001F600",
        std::wstring(100000, L'p') + L"end",
    };
    for (const std::wstring& text : texts) {
        SCOPED_TRACE(text.substr(0, 60));
        ASSERT_TRUE(Utils::WriteRegString(Name(), text));
        const std::optional<Stored> stored = QueryStored();
        ASSERT_TRUE(stored);
        EXPECT_EQ(stored->type, static_cast<DWORD>(REG_SZ));
        EXPECT_EQ(stored->bytes, text.size() * sizeof(wchar_t));

        unsigned long type = REG_NONE;
        std::wstring read = L"previous content";
        ASSERT_TRUE(Utils::ReadRegString(Name(), type, read));
        EXPECT_EQ(type, static_cast<unsigned long>(REG_SZ));
        EXPECT_EQ(read.size(), text.size());
        EXPECT_TRUE(read == text);
    }
}

// The product reads these names: a change here breaks every installed copy's updates.
TEST(RegistryNamesTest, KeyAndValueNamesAreTheOnesTheProductReads) {
    EXPECT_STREQ(Utils::kRegistryKeyPath, L"Software\\QuorvexSoft\\Lumivane");
    EXPECT_STREQ(Utils::kInstallPathValue, L"InstallPath");
    EXPECT_STREQ(Utils::kUnInstallEpValue, L"UnInstallEp");
}

TEST_F(RegistryTest, MissingValueFailsAndLeavesTheOutputsAlone) {
    unsigned long type = REG_DWORD;
    std::wstring text = L"untouched";
    EXPECT_FALSE(Utils::ReadRegString(Name(), type, text));
    EXPECT_EQ(text, L"untouched");
    EXPECT_EQ(type, static_cast<unsigned long>(REG_DWORD));
}

// Data stored by other programs: any type, any size, with or without terminators.
TEST_F(RegistryTest, ForeignDataReadsUpToItsFirstNullWithinItsSize) {
    struct Case {
        const char* what;
        DWORD type;
        std::vector<BYTE> data;
        std::wstring expected;
    };
    const auto bytesOf = [](const std::wstring& text, bool withNull) {
        const BYTE* begin = reinterpret_cast<const BYTE*>(text.c_str());
        return std::vector<BYTE>(begin, begin + (text.size() + (withNull ? 1 : 0)) * sizeof(wchar_t));
    };
    const Case cases[] = {
        {"terminated REG_SZ", REG_SZ, bytesOf(L"abc", true), L"abc"},
        {"embedded null", REG_SZ, bytesOf(std::wstring(L"abc\0def", 7), false), L"abc"},
        {"REG_EXPAND_SZ is not expanded", REG_EXPAND_SZ, bytesOf(L"%TEMP%\\x", true), L"%TEMP%\\x"},
        // An odd byte count: the last half unit is read into a unit of its own.
        {"odd size", REG_BINARY, {'A', 0, 'B'}, L"AB"},
        {"one byte", REG_BINARY, {'Z'}, L"Z"},
        {"empty binary", REG_BINARY, {}, L""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        StoreRaw(c.type, c.data.data(), static_cast<DWORD>(c.data.size()));
        unsigned long type = REG_NONE;
        std::wstring text = L"previous";
        ASSERT_TRUE(Utils::ReadRegString(Name(), type, text));
        EXPECT_EQ(type, c.type);
        EXPECT_TRUE(text == c.expected) << Utils::ToNarrow(text, Utils::kCodePageUtf8);
    }
}

TEST_F(RegistryTest, OversizedDataIsNeitherWrittenNorRead) {
    const size_t limitUnits = Utils::kMaxRegStringBytes / sizeof(wchar_t);
    EXPECT_FALSE(Utils::WriteRegString(Name(), std::wstring(limitUnits + 1, L'w')));
    EXPECT_FALSE(QueryStored()) << "a refused write stored something";

    const std::vector<BYTE> huge(Utils::kMaxRegStringBytes + 2, 'h');
    StoreRaw(REG_SZ, huge.data(), static_cast<DWORD>(huge.size()));
    unsigned long type = REG_DWORD;
    std::wstring text = L"untouched";
    EXPECT_FALSE(Utils::ReadRegString(Name(), type, text));
    EXPECT_EQ(text, L"untouched");
    EXPECT_EQ(type, static_cast<unsigned long>(REG_DWORD));

    // The largest allowed text still makes the round trip.
    const std::wstring largest(limitUnits, L'm');
    ASSERT_TRUE(Utils::WriteRegString(Name(), largest));
    ASSERT_TRUE(Utils::ReadRegString(Name(), type, text));
    EXPECT_TRUE(text == largest);
}

// ---------------------------------------------------------------------------------------
// CreateDirectoryTree

bool IsFolder(const std::wstring& path) {
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

TEST(FoldersTest, CreatesEveryMissingLevel) {
    struct Case {
        const wchar_t* relative;
        std::vector<const wchar_t*> levels;  // relative to the temporary folder
    };
    const Case cases[] = {
        {L"one", {L"one"}},
        {L"a\\b\\c", {L"a", L"a\\b", L"a\\b\\c"}},
        {L"d\\e\\f\\", {L"d", L"d\\e", L"d\\e\\f"}},
        {L"a\\b\\g h\\i", {L"a\\b\\g h", L"a\\b\\g h\\i"}},  // some levels exist already
    };
    const TempFolder temp;
    for (const Case& c : cases) {
        const std::wstring path = temp.Join(c.relative);
        SCOPED_TRACE(Utils::ToNarrow(path));
        EXPECT_TRUE(Utils::CreateDirectoryTree(path));
        for (const wchar_t* level : c.levels)
            EXPECT_TRUE(IsFolder(temp.Join(level))) << Utils::ToNarrow(level);
    }
}

TEST(FoldersTest, ExistingPathsAreNotAnError) {
    const TempFolder temp;
    ASSERT_TRUE(Utils::CreateDirectoryTree(temp.Join(L"x\\y")));
    for (const std::wstring& path : {temp.Path(), temp.Path() + L"\\", temp.Join(L"x\\y"),
                                     temp.Join(L"x\\y\\"), std::wstring(L"C:\\")}) {
        EXPECT_TRUE(Utils::CreateDirectoryTree(path)) << Utils::ToNarrow(path);
    }
}

TEST(FoldersTest, PathOverTwoHundredSixtyCharactersIsRefusedUntouched) {
    const TempFolder temp;
    const std::wstring first = temp.Join(L"first");
    std::wstring path = first + L"\\second\\";
    path += std::wstring(261 - path.size(), L'n');
    ASSERT_EQ(path.size(), 261u);
    EXPECT_FALSE(Utils::CreateDirectoryTree(path));
    EXPECT_FALSE(FileExists(first)) << "a refused path created a level";
}

TEST(FoldersTest, LevelThatCannotBeCreatedStopsTheWalkAndKeepsWhatWasMade) {
    const TempFolder temp;
    ASSERT_TRUE(Utils::CreateDirectoryTree(temp.Join(L"made")));
    const std::wstring blocker = temp.Join(L"made\\blocker");
    WriteBytes(blocker, "not a folder");

    EXPECT_FALSE(Utils::CreateDirectoryTree(blocker + L"\\below\\deeper"));
    EXPECT_TRUE(IsFolder(temp.Join(L"made")));
    EXPECT_FALSE(IsFolder(blocker)) << "the file was replaced";
    EXPECT_FALSE(FileExists(blocker + L"\\below"));

    // Levels this call made itself stay when a later one fails: "<" is not allowed in a name.
    EXPECT_FALSE(Utils::CreateDirectoryTree(temp.Join(L"new1\\new2\\bad<name\\z")));
    EXPECT_TRUE(IsFolder(temp.Join(L"new1\\new2")));
}

TEST(FoldersTest, VolumeRootsAreNeverCreated) {
    const TempFolder temp;
    // An extended-length path: "\\?\" and the drive are no levels to create.
    EXPECT_TRUE(Utils::CreateDirectoryTree(L"\\\\?\\" + temp.Join(L"ext\\long")));
    EXPECT_TRUE(IsFolder(temp.Join(L"ext\\long")));

    // A share that does not exist: false, without trying to make "\\" or a server.
    EXPECT_FALSE(Utils::CreateDirectoryTree(L"\\\\lumivane-no-such-server\\share\\folder"));
    EXPECT_FALSE(Utils::CreateDirectoryTree(L"\\\\lumivane-no-such-server\\share"));
    EXPECT_FALSE(Utils::CreateDirectoryTree(L""));
}

// ---------------------------------------------------------------------------------------
// GetTempFolder

constexpr wchar_t kTempFolderName[] = L"~QuorvexTemp.92482B06FB471E17\\";

bool EndsWith(const std::wstring& text, const std::wstring& end) {
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

TEST(FoldersTest, TempFolderIsTheSameExistingFolderOnEveryCall) {
    const std::wstring first = Utils::GetTempFolder();
    const std::wstring second = Utils::GetTempFolder();
    ASSERT_FALSE(first.empty());
    EXPECT_EQ(first, second);
    EXPECT_TRUE(EndsWith(first, kTempFolderName)) << Utils::ToNarrow(first);
    EXPECT_TRUE(IsFolder(first));
    wchar_t system[MAX_PATH + 1] = {};
    ::GetTempPathW(MAX_PATH + 1, system);
    EXPECT_EQ(first, std::wstring(system) + kTempFolderName);
}

// Points the system temp folder (TMP and TEMP of this process) elsewhere while it lives.
class TempVariables {
public:
    explicit TempVariables(const std::wstring& folder) {
        for (const wchar_t* name : {L"TMP", L"TEMP"}) {
            wchar_t value[32768] = {};
            const DWORD length = ::GetEnvironmentVariableW(name, value, 32768);
            saved_.push_back({name, length ? std::optional<std::wstring>(value) : std::nullopt});
            ::SetEnvironmentVariableW(name, folder.c_str());
        }
    }
    ~TempVariables() {
        for (const auto& [name, value] : saved_)
            ::SetEnvironmentVariableW(name, value ? value->c_str() : nullptr);
    }
    TempVariables(const TempVariables&) = delete;
    TempVariables& operator=(const TempVariables&) = delete;

private:
    std::vector<std::pair<const wchar_t*, std::optional<std::wstring>>> saved_;
};

TEST(FoldersTest, TempFolderIsCreatedOneLevelDeepOnly) {
    const TempFolder temp;
    {
        const TempVariables redirect(temp.Path());
        const std::wstring folder = Utils::GetTempFolder();
        EXPECT_EQ(folder, temp.Path() + L"\\" + kTempFolderName);
        EXPECT_TRUE(IsFolder(folder));
        EXPECT_EQ(Utils::GetTempFolder(), folder);
    }
    {
        const std::wstring missing = temp.Join(L"missing");
        const TempVariables redirect(missing);
        EXPECT_EQ(Utils::GetTempFolder(), L"");
        EXPECT_FALSE(FileExists(missing));
    }
}

TEST(FoldersTest, FileInTheWayOfTheTempFolderGivesEmptyAndSurvives) {
    const TempFolder temp;
    const std::wstring file = temp.Join(L"~QuorvexTemp.92482B06FB471E17");
    WriteBytes(file, "data");
    const TempVariables redirect(temp.Path());
    EXPECT_EQ(Utils::GetTempFolder(), L"");
    EXPECT_FALSE(IsFolder(file));
    EXPECT_TRUE(FileExists(file));
}

// ---------------------------------------------------------------------------------------
// HardDiskManager

TEST(HardDiskManagerTest, CountersStartAtZero) {
    const Utils::HardDiskManager disk;
    EXPECT_EQ(disk.freeBytesAvailable, 0u);
    EXPECT_EQ(disk.totalBytes, 0u);
    EXPECT_EQ(disk.totalFreeBytes, 0u);
}

TEST(HardDiskManagerTest, SystemDriveReportsPlausibleCounters) {
    Utils::HardDiskManager disk;
    ASSERT_TRUE(disk.CheckFreeSpace(L"C:"));
    EXPECT_GT(disk.freeBytesAvailable, 0u);
    EXPECT_GE(disk.totalFreeBytes, disk.freeBytesAvailable);
    EXPECT_GE(disk.totalBytes, disk.totalFreeBytes);
}

// A drive letter this system does not have, from the back of the alphabet.
std::wstring UnusedDrive() {
    const DWORD drives = ::GetLogicalDrives();
    for (int letter = 'Z'; letter >= 'D'; --letter) {
        if (!(drives & (1u << (letter - 'A'))))
            return std::wstring(1, static_cast<wchar_t>(letter)) + L":";
    }
    return {};
}

TEST(HardDiskManagerTest, MissingDriveFailsLogsOnceAndKeepsTheCounters) {
    const std::wstring drive = UnusedDrive();
    ASSERT_FALSE(drive.empty()) << "every drive letter is in use";

    Utils::HardDiskManager fresh;
    std::vector<std::wstring> lines;
    {
        const LogCapture capture;
        EXPECT_FALSE(fresh.CheckFreeSpace(drive));
        lines = capture.Lines();
    }
    EXPECT_EQ(fresh.freeBytesAvailable, 0u);
    EXPECT_EQ(fresh.totalBytes, 0u);
    EXPECT_EQ(fresh.totalFreeBytes, 0u);
    ASSERT_EQ(lines.size(), 1u);
    std::wsmatch match;
    EXPECT_TRUE(std::regex_search(lines[0], match,
                                  std::wregex(L"\\(Utils::HardDiskManager::CheckFreeSpace\\)<\\d{4}>: "
                                              L"HardDiskManager::CheckFreeSpace FAIL code=([1-9]\\d*)\r\n$")))
        << Utils::ToNarrow(lines[0]);

    // A failure after a success leaves the last good numbers in place.
    Utils::HardDiskManager used;
    ASSERT_TRUE(used.CheckFreeSpace(L"C:"));
    const uint64_t available = used.freeBytesAvailable, total = used.totalBytes, free = used.totalFreeBytes;
    EXPECT_FALSE(used.CheckFreeSpace(drive));
    EXPECT_EQ(used.freeBytesAvailable, available);
    EXPECT_EQ(used.totalBytes, total);
    EXPECT_EQ(used.totalFreeBytes, free);
}

}  // namespace
