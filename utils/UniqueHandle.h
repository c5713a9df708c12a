#pragma once
// Owning wrappers for Windows handles: closed exactly once, whatever path leaves the scope.

#include <windows.h>

#include <memory>
#include <type_traits>

namespace Utils {

struct HandleCloser {
    void operator()(HANDLE handle) const {
        if (handle && handle != INVALID_HANDLE_VALUE)
            ::CloseHandle(handle);
    }
};
using UniqueHandle = std::unique_ptr<std::remove_pointer_t<HANDLE>, HandleCloser>;

struct LocalFreer {
    void operator()(void* memory) const { ::LocalFree(memory); }
};
template <typename T>
using UniqueLocal = std::unique_ptr<T, LocalFreer>;

struct LibraryFreer {
    void operator()(HMODULE module) const { ::FreeLibrary(module); }
};
using UniqueLibrary = std::unique_ptr<std::remove_pointer_t<HMODULE>, LibraryFreer>;

}  // namespace Utils
