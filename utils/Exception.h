#pragma once
// The one exception type of the program. Only pipe and process creation throw it; the
// runners catch it and report a start failure.

#include <exception>
#include <string>

namespace Utils {

class Exception : public std::exception {
public:
    explicit Exception(const std::wstring& message = std::wstring());
    const char* what() const noexcept override { return message_.c_str(); }

private:
    std::string message_;  // in the system's ANSI code page
};

}  // namespace Utils
