#include "utils/ChildProcess.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/support/ChildProcess.h"
#include "tests/support/TempFolder.h"
#include "utils/Exception.h"

namespace {

std::wstring FakeChild() {
    return ExecutableFolder() + L"\\fake_child.exe";
}

// Everything the child writes to standard output, read until it has ended. A child that
// is still running after timeoutMs is killed and the test fails.
std::string ReadAll(Utils::ChildProcess& child, DWORD timeoutMs = 60000) {
    std::string output;
    char buffer[1024];
    const ULONGLONG deadline = ::GetTickCount64() + timeoutMs;
    bool pipeClosed = false;
    while (!pipeClosed) {
        const size_t got = child.ReadAvailable(buffer, sizeof buffer, pipeClosed);
        output.append(buffer, got);
        if (got == 0 && !pipeClosed) {
            if (::GetTickCount64() > deadline) {
                ::TerminateProcess(child.processInfo.hProcess, 1);
                ADD_FAILURE() << "the child did not end";
                break;
            }
            ::Sleep(10);
        }
    }
    child.WaitForEnd();
    return output;
}

std::string RunAndRead(const std::wstring& commandLine) {
    Utils::ChildProcess child;
    child.CreatePipes();
    child.Launch(commandLine);
    return ReadAll(child);
}

TEST(ChildProcessTest, QuotedProgramPathWithSpaces) {
    TempFolder folder;
    const std::wstring dir = folder.Join(L"dir with spaces");
    ASSERT_TRUE(::CreateDirectoryW(dir.c_str(), nullptr));
    const std::wstring program = dir + L"\\fake child.exe";
    ASSERT_TRUE(::CopyFileW(FakeChild().c_str(), program.c_str(), FALSE));
    EXPECT_EQ(RunAndRead(Quoted(program) + L" \"out:hello world\\r\\n\""), "hello world\r\n");
}

TEST(ChildProcessTest, PipeReportsClosedOnceTheChildHasEnded) {
    Utils::ChildProcess child;
    child.CreatePipes();
    child.Launch(Quoted(FakeChild()) + L" out:x exit:0");
    child.WaitForEnd();
    char buffer[16];
    bool pipeClosed = false;
    size_t total = 0;
    for (int i = 0; i < 3 && !pipeClosed; ++i)
        total += child.ReadAvailable(buffer, sizeof buffer, pipeClosed);
    EXPECT_EQ(total, 1u);
    EXPECT_TRUE(pipeClosed);
    EXPECT_TRUE(child.HasEnded());
}

// A child that floods standard error, or waits for standard input, must not block.
TEST(ChildProcessTest, StandardErrorAndInputNeverBlockTheChild) {
    EXPECT_EQ(RunAndRead(Quoted(FakeChild()) + L" errrep:1048576:e out:done"), "done");
    EXPECT_EQ(RunAndRead(Quoted(FakeChild()) + L" readin out:after-input"), "after-input");
}

TEST(ChildProcessTest, CommandLineMustFitItsBuffer) {
    const std::wstring prefix = Quoted(FakeChild()) + L" out:";
    const std::wstring fits =
        prefix + std::wstring(Utils::ChildProcess::kCommandLineCapacity - 1 - prefix.size(), L'a');
    EXPECT_EQ(RunAndRead(fits).size(), fits.size() - prefix.size());

    Utils::ChildProcess child;
    child.CreatePipes();
    EXPECT_THROW(child.Launch(fits + L"a"), Utils::Exception);
    EXPECT_EQ(child.processInfo.hProcess, nullptr);
}

TEST(ChildProcessTest, UnstartableProgramThrows) {
    Utils::ChildProcess child;
    child.CreatePipes();
    EXPECT_THROW(child.Launch(L"\"C:\\no such folder\\nothing.exe\""), Utils::Exception);
}

}  // namespace
