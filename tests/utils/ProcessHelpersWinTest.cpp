// Process, user and session questions asked of the real system (Wine's, here), and the
// download stopwatch.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cwctype>
#include <string>
#include <vector>

#include "tests/support/ChildProcess.h"
#include "tests/support/TempFolder.h"
#include "utils/ProcessHelpers.h"
#include "utils/Stopwatch.h"
#include "utils/TextConversion.h"
#include "utils/UniqueHandle.h"

namespace {

// ---------------------------------------------------------------------------------------
// FindProcessByName

std::wstring SelfPath() {
    wchar_t path[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    return path;
}

std::wstring Lower(std::wstring text) {
    std::transform(text.begin(), text.end(), text.begin(), [](wchar_t c) { return std::towlower(c); });
    return text;
}

std::wstring Upper(std::wstring text) {
    std::transform(text.begin(), text.end(), text.begin(), [](wchar_t c) { return std::towupper(c); });
    return text;
}

// A copy of this test program under a name of its own, running until this object ends it
// (also when an assertion leaves the test early).
class RunningCopy {
public:
    RunningCopy(const TempFolder& folder, const std::wstring& fileName) {
        const std::wstring path = folder.Join(fileName);
        if (!::CopyFileW(SelfPath().c_str(), path.c_str(), FALSE))
            return;
        const std::wstring id = Utils::NewGuidText();
        const std::wstring eventName = L"LumivaneTestReady." + id;
        const Utils::UniqueHandle ready(::CreateEventW(nullptr, TRUE, FALSE, eventName.c_str()));
        std::wstring commandLine =
            Quoted(path) + L" --hold-mutex LumivaneTestHolder." + id + L" " + eventName;
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        if (!ready || !::CreateProcessW(path.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                        nullptr, &startup, &process_)) {
            process_ = {};
            return;
        }
        const HANDLE waits[] = {ready.get(), process_.hProcess};
        ready_ = ::WaitForMultipleObjects(2, waits, FALSE, 30000) == WAIT_OBJECT_0;
    }
    ~RunningCopy() {
        if (!process_.hProcess)
            return;
        ::TerminateProcess(process_.hProcess, 0);
        ::WaitForSingleObject(process_.hProcess, 30000);
        ::CloseHandle(process_.hThread);
        ::CloseHandle(process_.hProcess);
    }
    RunningCopy(const RunningCopy&) = delete;
    RunningCopy& operator=(const RunningCopy&) = delete;

    bool Ready() const { return ready_; }
    uint32_t Id() const { return process_.dwProcessId; }

private:
    PROCESS_INFORMATION process_{};
    bool ready_ = false;
};

TEST(ProcessHelpersTest, FindsARunningProgramByItsExactFileName) {
    const TempFolder folder;
    // Unique, so that programs of tests running beside this one cannot match.
    const std::wstring name = L"lumivane-" + Lower(Utils::NewGuidText().substr(0, 12)) + L".exe";
    uint32_t childId = 0;
    {
        const RunningCopy child(folder, name);
        ASSERT_TRUE(child.Ready());
        childId = child.Id();
        EXPECT_EQ(Utils::FindProcessByName(name), childId);

        std::wstring capitalised = name;
        capitalised[0] = L'L';
        for (const std::wstring& other : {capitalised, Upper(name), folder.Join(name), name.substr(1),
                                          name + L" ", name.substr(0, name.size() - 4)}) {
            EXPECT_EQ(Utils::FindProcessByName(other), 0u) << Utils::ToNarrow(other);
        }
    }
    EXPECT_EQ(Utils::FindProcessByName(name), 0u) << "found after the program ended";
}

TEST(ProcessHelpersTest, NamesOfNoRunningProgramGiveZero) {
    for (const std::wstring& name : {L"lumivane-not-running-" + Utils::NewGuidText() + L".exe",
                                     std::wstring(), std::wstring(400, L'n')}) {
        EXPECT_EQ(Utils::FindProcessByName(name), 0u) << name.size();
    }
}

TEST(ProcessHelpersTest, FindsThisProgram) {
    const std::wstring self = SelfPath();
    const std::wstring name = self.substr(self.find_last_of(L'\\') + 1);
    // Other copies of the test program may run beside this one: any of them will do.
    const uint32_t found = Utils::FindProcessByName(name);
    ASSERT_NE(found, 0u);
    const Utils::UniqueHandle process(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, found));
    ASSERT_TRUE(process);
    wchar_t image[MAX_PATH] = {};
    DWORD size = MAX_PATH;
    ASSERT_TRUE(::QueryFullProcessImageNameW(process.get(), 0, image, &size));
    const std::wstring imagePath(image, size);
    EXPECT_EQ(imagePath.substr(imagePath.find_last_of(L'\\') + 1), name);
}

// ---------------------------------------------------------------------------------------
// Administrators, users, the console session

// Whether the process token holds the Administrators group enabled, read from the token's
// group list rather than by asking for membership.
bool TokenHasEnabledAdministrators() {
    HANDLE rawToken = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &rawToken))
        return false;
    const Utils::UniqueHandle token(rawToken);
    DWORD size = 0;
    ::GetTokenInformation(token.get(), TokenGroups, nullptr, 0, &size);
    std::vector<BYTE> buffer(size);
    if (size == 0 || !::GetTokenInformation(token.get(), TokenGroups, buffer.data(), size, &size))
        return false;
    BYTE sidBytes[SECURITY_MAX_SID_SIZE] = {};
    DWORD sidSize = sizeof sidBytes;
    if (!::CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, sidBytes, &sidSize))
        return false;
    const auto* groups = reinterpret_cast<const TOKEN_GROUPS*>(buffer.data());
    for (DWORD i = 0; i < groups->GroupCount; ++i) {
        const SID_AND_ATTRIBUTES& group = groups->Groups[i];
        if (::EqualSid(group.Sid, sidBytes))
            return (group.Attributes & SE_GROUP_ENABLED) && !(group.Attributes & SE_GROUP_USE_FOR_DENY_ONLY);
    }
    return false;
}

TEST(ProcessHelpersTest, ProcessAdminAgreesWithTheTokensGroups) {
    const bool admin = Utils::IsProcessAdmin();
    RecordProperty("IsProcessAdmin", admin ? "true" : "false");
    EXPECT_EQ(admin, TokenHasEnabledAdministrators());
}

TEST(ProcessHelpersTest, UnknownOrEmptyUsersAreNoAdministrators) {
    for (const std::wstring& name :
         {std::wstring(), L"lumivane-no-such-user-" + Utils::NewGuidText(), std::wstring(300, L'u')}) {
        EXPECT_FALSE(Utils::IsUserAdmin(name)) << name.size();
    }
}

TEST(ProcessHelpersTest, ConsoleUserNameIsGivenOrTheOutputIsUntouched) {
    const std::wstring before = L"untouched";
    std::wstring name = before;
    const bool found = Utils::GetConsoleUserName(name);
    RecordProperty("ConsoleUserName", found ? Utils::ToNarrow(name, Utils::kCodePageUtf8) : "<none>");
    if (found) {
        EXPECT_FALSE(name.empty());
        EXPECT_NE(name, before);
        EXPECT_EQ(name.find(L'\0'), std::wstring::npos);
        RecordProperty("IsUserAdmin(console user)", Utils::IsUserAdmin(name) ? "true" : "false");
    } else {
        EXPECT_EQ(name, before);
    }
}

// ---------------------------------------------------------------------------------------
// Stopwatch

TEST(StopwatchTest, NeverStartedReadsZero) {
    const Utils::Stopwatch stopwatch;
    EXPECT_FALSE(stopwatch.IsRunning());
    ::Sleep(20);
    EXPECT_EQ(stopwatch.ElapsedSeconds(), 0.0f);
}

TEST(StopwatchTest, ElapsedSecondsSurviveTheTickCounterWrapping) {
    struct Case {
        uint32_t start, now;
        float seconds;
    };
    const Case cases[] = {
        {0, 0, 0.0f},
        {1000, 2500, 1.5f},
        {0xFFFFFF00u, 0x00000100u, 0.512f},
        {0xFFFFFFFFu, 0, 0.001f},
        {0x80000000u, 0x7FFFFFFFu, 4294967.295f},
        {0, 0xFFFFFFFFu, 4294967.295f},
    };
    for (const Case& c : cases) {
        EXPECT_FLOAT_EQ(Utils::Stopwatch::ElapsedSecondsBetween(c.start, c.now), c.seconds)
            << std::hex << c.start << " to " << c.now;
    }
}

TEST(StopwatchTest, StartedStopwatchCountsUp) {
    Utils::Stopwatch stopwatch;
    stopwatch.Start();
    EXPECT_TRUE(stopwatch.IsRunning());
    ::Sleep(50);
    const float first = stopwatch.ElapsedSeconds();
    EXPECT_GE(first, 0.04f);
    EXPECT_GE(stopwatch.ElapsedSeconds(), first);
}

}  // namespace
