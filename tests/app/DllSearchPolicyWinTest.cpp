// DLLs planted beside the installer, with a Wine override that prefers a DLL found on the
// search path over the system's own, must never be loaded: neither at start-up nor when a
// delay-loaded system DLL is first used. The overrides are Wine's per-program registry
// settings (HKCU\Software\Wine\AppDefaults\<program>\DllOverrides).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/ChildProcess.h"
#include "tests/support/TempFolder.h"

namespace {

// System DLLs outside the KnownDLLs list: the ones the loader would look for beside the
// executable first.
const std::vector<std::wstring> kPlantedNames = {L"winhttp", L"netapi32", L"wtsapi32", L"bcrypt",  L"secur32",
                                                 L"crypt32", L"comctl32", L"iphlpapi", L"userenv", L"version",
                                                 L"dwmapi",  L"uxtheme",  L"msimg32",  L"dbghelp", L"winmm"};

class PlantedDlls {
public:
    explicit PlantedDlls(const std::wstring& program)
        : overridesKey_(L"Software\\Wine\\AppDefaults\\" + program) {
        const std::wstring source = ExecutableFolder() + L"\\" + program;
        EXPECT_TRUE(::CopyFileW(source.c_str(), folder_.Join(program).c_str(), FALSE));
        const std::wstring planted = ExecutableFolder() + L"\\planted.dll";
        for (const auto& name : kPlantedNames) {
            EXPECT_TRUE(::CopyFileW(planted.c_str(), folder_.Join(name + L".dll").c_str(), FALSE));

            const std::wstring key = overridesKey_ + L"\\DllOverrides";
            const wchar_t order[] = L"native,builtin";
            EXPECT_EQ(
                ::RegSetKeyValueW(HKEY_CURRENT_USER, key.c_str(), name.c_str(), REG_SZ, order, sizeof order),
                ERROR_SUCCESS);
        }
    }
    ~PlantedDlls() { ::RegDeleteTreeW(HKEY_CURRENT_USER, overridesKey_.c_str()); }
    PlantedDlls(const PlantedDlls&) = delete;
    PlantedDlls& operator=(const PlantedDlls&) = delete;

    ChildResult Run(const std::wstring& program) const {
        std::wstring overrides = L"WINEDLLOVERRIDES=";
        for (const auto& name : kPlantedNames)
            overrides += name + L"=n,b;";
        ChildOptions options;
        options.extraEnvironment = {overrides};
        options.captureDebugOutput = false;
        const std::wstring path = folder_.Join(program);
        return RunChild(path, Quoted(path), options);
    }

    void WriteFile(const std::wstring& name, const std::string& bytes) const {
        WriteBytes(folder_.Join(name), bytes);
    }

    std::vector<std::wstring> LoadedNames() const {
        std::vector<std::wstring> loaded;
        for (const auto& name : kPlantedNames) {
            if (FileExists(folder_.Join(name + L".dll.loaded")))
                loaded.push_back(name);
        }
        return loaded;
    }

private:
    std::wstring overridesKey_;
    TempFolder folder_;
};

std::wstring Joined(const std::vector<std::wstring>& names) {
    std::wstring text;
    for (const auto& name : names)
        text += name + L" ";
    return text;
}

TEST(DllSearchPolicyTest, PlantedDllIsLoadedByAProgramWithoutThePolicy) {
    // The planted DLL and the override do work: a program importing winhttp.dll at load
    // time takes the planted copy. This keeps the tests below from passing vacuously.
    const PlantedDlls folder(L"dll_probe_unprotected.exe");
    folder.Run(L"dll_probe_unprotected.exe");
    EXPECT_FALSE(folder.LoadedNames().empty());
}

TEST(DllSearchPolicyTest, InstallerStartsWithoutLoadingPlantedDlls) {
    const PlantedDlls folder(L"LumivaneSetup.exe");
    // A route placeholder makes start-up ask the system for its version before the entry
    // point runs.
    folder.WriteFile(L"QuorvexInstallerConfig.ini", "[Install]\r\nDownloadUrl=http://h/${ROUTE}/p\r\n");
    const ChildResult run = folder.Run(L"LumivaneSetup.exe");
    ASSERT_TRUE(run.started);
    EXPECT_EQ(run.ExitCode(), 0);
    EXPECT_TRUE(folder.LoadedNames().empty()) << Joined(folder.LoadedNames());
}

TEST(DllSearchPolicyTest, DelayLoadedDllsComeFromTheSystemFolder) {
    const PlantedDlls folder(L"dll_probe.exe");
    const ChildResult run = folder.Run(L"dll_probe.exe");
    ASSERT_TRUE(run.started);
    EXPECT_EQ(run.ExitCode(), 0);
    EXPECT_TRUE(folder.LoadedNames().empty()) << Joined(folder.LoadedNames());
}

}  // namespace
