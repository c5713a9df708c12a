#include "utils/Thread.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <string>

#include "tests/support/ChildProcess.h"
#include "tests/support/LogCapture.h"

namespace {

std::wstring ThreadField(uint32_t id) {
    wchar_t field[24];
    std::swprintf(field, 24, L"><T%05u><", static_cast<unsigned>(id));
    return field;
}

TEST(ThreadTest, OneBeginAndOneEndLinePerWorkerWithItsOwnId) {
    LogCapture capture;
    std::atomic<DWORD> workerId{0};
    std::unique_ptr<Utils::Thread> thread;
    Utils::StartThread(thread, &workerId, L"ABDEF", [](void* argument) {
        static_cast<std::atomic<DWORD>*>(argument)->store(::GetCurrentThreadId());
        return 7u;
    });
    ASSERT_TRUE(thread->handle);
    const uint32_t id = thread->threadId;
    thread->Join();
    EXPECT_EQ(workerId.load(), id);

    int begins = 0, ends = 0;
    for (const std::wstring& line : capture.Lines()) {
        if (line.find(L"(Utils::Thread::CallBack)") == std::wstring::npos)
            continue;
        EXPECT_NE(line.find(ThreadField(id)), std::wstring::npos) << line;
        begins += line.ends_with(L": THREAD BEGIN\r\n");
        ends += line.ends_with(L": THREAD END\r\n");
    }
    EXPECT_EQ(begins, 1);
    EXPECT_EQ(ends, 1);
}

TEST(ThreadTest, JoinTwiceReturnsAtOnce) {
    Utils::Thread thread(nullptr, L"t", [](void*) { return 0u; });
    ASSERT_TRUE(thread.handle);
    ::ResumeThread(thread.handle);
    thread.Join();
    EXPECT_EQ(thread.handle, nullptr);
    EXPECT_EQ(thread.threadId, 0xFFFFFFFFu);
    thread.Join();
    EXPECT_EQ(thread.threadId, 0xFFFFFFFFu);
}

TEST(ThreadTest, StartingAgainWaitsForThePreviousWorker) {
    std::atomic<int> finished{0};
    std::atomic<int> seenAtSecondStart{-1};
    std::unique_ptr<Utils::Thread> slot;
    Utils::StartThread(slot, &finished, L"ABDEF", [](void* argument) {
        ::Sleep(200);
        static_cast<std::atomic<int>*>(argument)->store(1);
        return 0u;
    });
    Utils::StartThread(slot, nullptr, L"ABDEF", [&](void*) {
        seenAtSecondStart = finished.load();
        return 0u;
    });
    slot.reset();
    EXPECT_EQ(seenAtSecondStart.load(), 1);
}

TEST(ThreadTest, BodyNeverRunsWithoutResume) {
    std::atomic<bool> ran{false};
    {
        auto thread = std::make_unique<Utils::Thread>(&ran, L"x", [](void* argument) {
            static_cast<std::atomic<bool>*>(argument)->store(true);
            return 0u;
        });
        ::Sleep(50);
        EXPECT_FALSE(ran.load());
        ::ResumeThread(thread->handle);
    }
    EXPECT_TRUE(ran.load());
}

TEST(DebuggerThreadNameTest, EmptyNameUsesTheId) {
    EXPECT_EQ(Utils::DebuggerThreadName(L"", 4120), "t4120");
    EXPECT_EQ(Utils::DebuggerThreadName(L"UnInstaller", 1), "UnInstaller");
}

// A debugger sees the names: the worker names of this program, and "t<id>" for none.
TEST(DebuggerThreadNameTest, DebuggerSeesTheName) {
    wchar_t self[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    const ChildResult child = RunChild(self, Quoted(self) + L" --name-threads");
    ASSERT_TRUE(child.started);
    EXPECT_EQ(child.ExitCode(), 0);
    ASSERT_EQ(child.threadNames.size(), 2u);
    EXPECT_EQ(child.threadNames[0].second, "UnInstaller");
    EXPECT_EQ(child.threadNames[1].second, "t" + std::to_string(child.threadNames[1].first));
}

}  // namespace
