// CInstaller with real child processes: the scriptable fake child for exact timing, and
// the NSIS sample package as a distributor ships it.
#include "install/Installer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/ChildProcess.h"
#include "tests/support/EventRecorder.h"
#include "tests/support/LogCapture.h"
#include "tests/support/TempFolder.h"

namespace {

std::wstring FakeChild() {
    return ExecutableFolder() + L"\\fake_child.exe";
}
std::wstring SamplePackage() {
    return ExecutableFolder() + L"\\lumivane-package.exe";
}

// The fake child takes its steps from the arguments; "--" ends them, so the runner's own
// switches that follow are ignored.
std::wstring FakeCommand(const std::wstring& steps) {
    return Quoted(FakeChild()) + L" " + steps + L" --";
}

std::vector<RecordedEvent> RunInstaller(const std::wstring& packageCommand,
                                        const std::wstring& installDir = {},
                                        std::wstring extraArguments = {}) {
    EventRecorder recorder;
    CInstaller installer(recorder.Callback(), packageCommand, installDir);
    installer.extraArguments = std::move(extraArguments);
    installer.Start();
    installer.readerThread->Join();
    return recorder.Events();
}

TEST(InstallerRunnerTest, ChildWithoutFinalLineSucceedsWithValueOne) {
    const auto events =
        RunInstaller(FakeCommand(L"\"out:Progress=0.25\\r\\n\" sleep:150 \"out:Progress=0.5\\n\" exit:3"));
    ASSERT_EQ(CodesOf(events), (std::vector<int32_t>{2001, 2002, 2002, 2002, 2003}));
    EXPECT_EQ(events[1].value, 0.0);
    EXPECT_EQ(events[2].value, 0.25);
    EXPECT_EQ(events[3].value, 0.5);
    EXPECT_EQ(events[4].value, 1.0);
}

TEST(InstallerRunnerTest, OutputAfterTheFinalLineRaisesNothingAndTheRunnerWaits) {
    EventRecorder recorder;
    ULONGLONG finalLineAt = 0;
    EventCallback record = recorder.Callback();
    CInstaller installer(
        [&](int32_t code, double value, const wchar_t* text) {
            if (code == 2003)
                finalLineAt = ::GetTickCount64();
            record(code, value, text);
        },
        FakeCommand(L"\"out:State=Success\\r\\n\" sleep:400 \"out:Progress=0.9\\nError=late\\n\" sleep:400"),
        L"");
    installer.Start();
    installer.readerThread->Join();
    const ULONGLONG joinedAt = ::GetTickCount64();
    EXPECT_EQ(recorder.Codes(), (std::vector<int32_t>{2001, 2002, 2003}));
    EXPECT_EQ(recorder.With(2003).at(0).value, 0.0);
    // The child went on for 800 ms after its final line; the run ended only with it.
    EXPECT_GE(joinedAt - finalLineAt, 700u);
    EXPECT_EQ(installer.child, nullptr);
}

TEST(InstallerRunnerTest, FailureLines) {
    const auto fail = RunInstaller(FakeCommand(L"\"out:State=Fail\\n\""));
    ASSERT_EQ(CodesOf(fail), (std::vector<int32_t>{2001, 2002, 2004}));
    EXPECT_EQ(fail[2].value, 0.0);
    EXPECT_EQ(fail[2].text, L"安装包安装失败");

    const auto error = RunInstaller(FakeCommand(
        L"\"out:Encode=UTF8\\n\" sleep:150 \"out:Error=\\xe7\\xa3\\x81\\xe7\\x9b\\x98 full\\r\\n\""));
    ASSERT_EQ(CodesOf(error), (std::vector<int32_t>{2001, 2002, 2004}));
    EXPECT_EQ(error[2].value, 1000.0);
    EXPECT_EQ(error[2].text, L"磁盘 full\r");
}

TEST(InstallerRunnerTest, UnstartablePackageFailsWithValueTwo) {
    LogCapture capture;
    const auto missing = RunInstaller(L"\"C:\\no such folder\\__Package_Lumivane.exe\"", L"C:\\x");
    ASSERT_EQ(CodesOf(missing), (std::vector<int32_t>{2001, 2002, 2004}));
    EXPECT_EQ(missing[2].value, 2.0);
    EXPECT_EQ(missing[2].text, L"");

    // A command line the system's buffer cannot hold is refused whole, never cut.
    const auto tooLong =
        RunInstaller(FakeCommand(L"\"out:State=Success\\n\""), L"C:\\x", std::wstring(1024, L'a'));
    ASSERT_EQ(CodesOf(tooLong), (std::vector<int32_t>{2001, 2002, 2004}));
    EXPECT_EQ(tooLong[2].value, 2.0);
    bool logged = false;
    for (const auto& line : capture.Lines())
        logged = logged || line.find(L"command line too long") != std::wstring::npos;
    EXPECT_TRUE(logged);
}

TEST(InstallerRunnerTest, EachReadIsParsedOnItsOwn) {
    // Pieces of a line in two reads match nothing; a UTF-8 character split across reads
    // decodes as two invalid pieces; text after "Encode=UTF8" in the same read is still
    // decoded with the earlier code page.
    const auto events = RunInstaller(FakeCommand(
        L"out:Progr sleep:200 \"out:ess=0.1\\n\" sleep:200 out:Progress=0.5 sleep:200 \"out:5\\n\" sleep:200 "
        L"\"out:Encode=UTF8\\nMessage=\\xe4\\xbd\\xa0\\n\" sleep:200 \"out:Message=\\xe4\\xbd\\xa0\\n\" "
        L"sleep:200 "
        L"\"out:InstPath=\\xe5\\xae\" sleep:200 \"out:\\x89\\n\""));
    const auto progress = [&] {
        std::vector<double> values;
        for (const auto& event : events) {
            if (event.code == 2002)
                values.push_back(event.value);
        }
        return values;
    }();
    EXPECT_EQ(progress, (std::vector<double>{0.0, 0.5}));
    std::vector<std::wstring> messages;
    for (const auto& event : events) {
        if (event.code == 3009)
            messages.push_back(event.text);
    }
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_NE(messages[0], L"你");
    EXPECT_EQ(messages[1], L"你");
    std::vector<std::wstring> paths;
    for (const auto& event : events) {
        if (event.code == 3000)
            paths.push_back(event.text);
    }
    ASSERT_EQ(paths.size(), 1u);
    EXPECT_NE(paths[0].find(L'\uFFFD'), std::wstring::npos);
    EXPECT_EQ(events.back().code, 2003);
    EXPECT_EQ(events.back().value, 1.0);
}

TEST(InstallerRunnerTest, BadOutputGivesDefinedEvents) {
    const struct {
        const wchar_t* steps;
        std::vector<int32_t> codes;
    } cases[] = {
        // 10 MB of random bytes: read and parsed, and nothing in it is a report line.
        {L"random:10485760", {2001, 2002, 2003}},
        // Text ends at the first zero byte of a read.
        {L"\"out:Progress=0.3\\n\\x00State=Fail\\n\"", {2001, 2002, 2002, 2003}},
        // A line of 100,000 characters, then the final line.
        {L"outrep:100000:x \"out:\\nState=Success\\n\"", {2001, 2002, 2003}},
        // Invalid UTF-8 after "Encode=UTF8".
        {L"\"out:Encode=UTF8\\n\" sleep:200 \"out:InstPath=\\xff\\xfe\\x80\\n\" sleep:200 "
         L"\"out:State=Success\\n\"",
         {2001, 2002, 3000, 2003}},
        // A code page Windows does not know: later reads decode to nothing.
        {L"\"out:Encode=12345\\n\" sleep:200 \"out:State=Fail\\n\"", {2001, 2002, 2003}},
        // Standard error flooded, standard input read until its end.
        {L"errrep:1048576:e readin \"out:State=Success\\n\"", {2001, 2002, 2003}},
    };
    for (const auto& c : cases) {
        const auto events = RunInstaller(FakeCommand(c.steps));
        std::vector<int32_t> codes = CodesOf(events);
        EXPECT_EQ(codes, c.codes) << c.steps;
    }
}

TEST(SamplePackageRunnerTest, InstallsAndReportsItsPaths) {
    TempFolder folder;
    const std::wstring installDir = folder.Join(L"Lumivane Test");
    EventRecorder recorder;
    CInstaller installer(recorder.Callback(), Quoted(SamplePackage()), installDir);
    installer.installLanguage = L"zh-CN";
    installer.Start();
    installer.readerThread->Join();

    const auto events = recorder.Events();
    ASSERT_GE(events.size(), 4u);
    EXPECT_EQ(events[0].code, 2001);
    EXPECT_EQ(events[1].code, 2002);
    EXPECT_EQ(events[1].value, 0.0);
    EXPECT_EQ(events.back().code, 2003);
    EXPECT_EQ(events.back().value, 0.0);
    EXPECT_GE(recorder.With(2002).size(), 3u);
    ASSERT_EQ(recorder.With(3000).size(), 1u);
    EXPECT_EQ(recorder.With(3000)[0].text, installDir + L"\r");
    ASSERT_EQ(recorder.With(3001).size(), 1u);
    EXPECT_EQ(recorder.With(3001)[0].text, installDir + L"\\lumivane.exe\r");
    ASSERT_EQ(recorder.With(3003).size(), 1u);
    EXPECT_EQ(recorder.With(3003)[0].text, installDir + L"\\uninst.ep\r");
    ASSERT_EQ(recorder.With(3005).size(), 1u);
    EXPECT_EQ(recorder.With(3005)[0].value, 2.0);
    for (const wchar_t* file : {L"lumivane.exe", L"uninst.ep", L"set.ini", L"config.ini"}) {
        EXPECT_TRUE(FileExists(installDir + L"\\" + file)) << file;
    }
    wchar_t language[32] = {};
    ::GetPrivateProfileStringW(L"Install", L"Language", L"", language, 32,
                               (installDir + L"\\config.ini").c_str());
    EXPECT_STREQ(language, L"zh-CN");
}

TEST(SamplePackageRunnerTest, UnwritableFolderFailsWithThePackagesText) {
    TempFolder folder;
    WriteBytes(folder.Join(L"blocker"), "a file where a folder should go");
    EventRecorder recorder;
    CInstaller installer(recorder.Callback(), Quoted(SamplePackage()), folder.Join(L"blocker\\Lumivane"));
    installer.Start();
    installer.readerThread->Join();
    // "Error=" comes first; a "State=Fail" in the same read raises its own event too.
    const auto failures = recorder.With(2004);
    ASSERT_GE(failures.size(), 1u);
    EXPECT_EQ(failures[0].value, 1000.0);
    EXPECT_FALSE(failures[0].text.empty());
    EXPECT_TRUE(recorder.With(2003).empty());
}

}  // namespace
