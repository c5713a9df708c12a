#pragma once
// A fresh folder under the system's temporary folder, removed with everything in it.

#include <string>

class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::wstring& Path() const { return path_; }
    std::wstring Join(const std::wstring& name) const { return path_ + L"\\" + name; }

private:
    std::wstring path_;
};

// Whole-file helpers for fixtures.
void WriteBytes(const std::wstring& path, const std::string& bytes);
// The whole file, or empty when it cannot be read.
std::string ReadBytes(const std::wstring& path);
bool FileExists(const std::wstring& path);
// The folder of the running test executable (where the other build outputs are).
std::wstring ExecutableFolder();
