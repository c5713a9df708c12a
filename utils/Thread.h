#pragma once
// Worker threads. Who runs what: the body runs on the new thread; the owner constructs,
// resumes and joins on its own thread. Joining: the owner joins (or destroys) the object;
// never from inside the body, which would wait for itself. Stopping: bodies end on their
// own; nothing here interrupts them.

#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace Utils {

// The name a debugger shows for a thread: the name in the ANSI code page, or "t" and the
// thread id when the name is empty.
std::string DebuggerThreadName(const std::wstring& name, uint32_t threadId);

class Thread {
public:
    using Body = std::function<uint32_t(void* argument)>;

    // Creates the thread suspended: the owner stores the object, then resumes `handle`
    // (when not null). A failed creation leaves `handle` null and the body never runs.
    Thread(void* argument, std::wstring name, Body body);
    ~Thread();
    Thread(const Thread&) = delete;
    Thread& operator=(const Thread&) = delete;

    // Waits for the thread to end and closes it; does nothing the second time.
    void Join();

    static unsigned __stdcall CallBack(void* object);

    uint32_t threadId = 0;  // 0xFFFFFFFF once joined
    HANDLE handle = nullptr;

private:
    Body body_;
    void* argument_;
    std::wstring name_;
};

// The owners' pattern: join and release the previous worker in slot, make a new one, and
// resume it. Call it from the owner's thread, never from the worker in slot.
void StartThread(std::unique_ptr<Thread>& slot, void* argument, const std::wstring& name, Thread::Body body);

}  // namespace Utils
