#include "utils/Thread.h"

#include <process.h>

#include "utils/Log.h"
#include "utils/StringUtils.h"
#include "utils/TextConversion.h"

namespace Utils {
namespace {

constexpr DWORD kSetThreadNameException = 0x406D1388;

#pragma pack(push, 8)
struct ThreadNameInfo {
    DWORD type;  // 0x1000
    LPCSTR name;
    DWORD threadId;
    DWORD flags;
};
#pragma pack(pop)

LONG CALLBACK ContinueAfterThreadName(EXCEPTION_POINTERS* exception) {
    return exception->ExceptionRecord->ExceptionCode == kSetThreadNameException ? EXCEPTION_CONTINUE_EXECUTION
                                                                                : EXCEPTION_CONTINUE_SEARCH;
}

// A debugger names the thread when it sees this exception; without one the vectored
// handler swallows it. (GCC has no __try, hence the handler.)
void AnnounceThreadName(const std::string& name, DWORD threadId) {
    if (!::IsDebuggerPresent()) {
        return;
    }
    ThreadNameInfo info{0x1000, name.c_str(), threadId, 0};
    PVOID handler = ::AddVectoredExceptionHandler(1, ContinueAfterThreadName);
    ::RaiseException(kSetThreadNameException, 0, sizeof(info) / sizeof(ULONG_PTR),
                     reinterpret_cast<const ULONG_PTR*>(&info));
    if (handler)
        ::RemoveVectoredExceptionHandler(handler);
}

}  // namespace

std::string DebuggerThreadName(const std::wstring& name, uint32_t threadId) {
    return name.empty() ? "t" + DecimalTextNarrow(threadId) : ToNarrow(name, kCodePageAnsi);
}

Thread::Thread(void* argument, std::wstring name, Body body)
    : body_(std::move(body)), argument_(argument), name_(std::move(name)) {
    unsigned id = 0;
    // Through the C run-time, so that its per-thread state is set up for the body.
    const uintptr_t created = ::_beginthreadex(nullptr, 0, &Thread::CallBack, this, CREATE_SUSPENDED, &id);
    if (created == 0) {
        return;
    }
    handle = reinterpret_cast<HANDLE>(created);
    threadId = id;
    AnnounceThreadName(DebuggerThreadName(name_, threadId), threadId);
}

Thread::~Thread() {
    Join();
    name_.clear();
    body_ = nullptr;
}

void Thread::Join() {
    if (!handle) {
        return;
    }
    ::WaitForSingleObject(handle, INFINITE);
    ::CloseHandle(handle);
    handle = nullptr;
    threadId = 0xFFFFFFFF;
}

unsigned __stdcall Thread::CallBack(void* object) {
    auto* self = static_cast<Thread*>(object);
    UTILS_LOG_LINE(L"THREAD BEGIN");
    self->body_(self->argument_);
    UTILS_LOG_LINE(L"THREAD END");
    ::_endthreadex(0);
    return 0;
}

void StartThread(std::unique_ptr<Thread>& slot, void* argument, const std::wstring& name, Thread::Body body) {
    slot.reset();  // joins the previous worker
    slot = std::make_unique<Thread>(argument, name, std::move(body));
    if (slot->handle) {
        ::ResumeThread(slot->handle);
    }
}

}  // namespace Utils
