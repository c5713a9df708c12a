#include "utils/ProcessHelpers.h"

#include <windows.h>

#include <lm.h>
#include <tlhelp32.h>
#include <wtsapi32.h>

#include <cwchar>
#include <memory>
#include <string_view>

#include "utils/UniqueHandle.h"

namespace Utils {

namespace {

struct WtsFreer {
    void operator()(void* memory) const { ::WTSFreeMemory(memory); }
};

}  // namespace

bool IsProcessAdmin() {
    SID_IDENTIFIER_AUTHORITY ntAuthority = SECURITY_NT_AUTHORITY;
    PSID administrators = nullptr;
    if (!::AllocateAndInitializeSid(&ntAuthority, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0,
                                    0, 0, 0, 0, 0, &administrators)) {
        return false;
    }
    BOOL member = FALSE;
    if (!::CheckTokenMembership(nullptr, administrators, &member))
        member = FALSE;
    ::FreeSid(administrators);
    return member != FALSE;
}

bool IsUserAdmin(const std::wstring& userName) {
    if (userName.empty())
        return false;
    BYTE* buffer = nullptr;
    const NET_API_STATUS status = ::NetUserGetInfo(nullptr, userName.c_str(), 1, &buffer);
    bool admin = false;
    if (status == NERR_Success && buffer)
        admin = reinterpret_cast<const USER_INFO_1*>(buffer)->usri1_priv == USER_PRIV_ADMIN;
    // The call may hand back a buffer even when it fails.
    if (buffer)
        ::NetApiBufferFree(buffer);
    return admin;
}

bool GetConsoleUserName(std::wstring& name) {
    const DWORD session = ::WTSGetActiveConsoleSessionId();
    wchar_t* raw = nullptr;
    DWORD bytes = 0;
    if (!::WTSQuerySessionInformationW(WTS_CURRENT_SERVER_HANDLE, session, WTSUserName, &raw, &bytes) || !raw)
        return false;
    const std::unique_ptr<wchar_t, WtsFreer> buffer(raw);
    // The reported size bounds the copy even if the text were not terminated.
    const size_t length = ::wcsnlen(buffer.get(), bytes / sizeof(wchar_t));
    // A console session nobody has signed in to answers with an empty name.
    if (length == 0)
        return false;
    name.assign(buffer.get(), length);
    return true;
}

uint32_t FindProcessByName(const std::wstring& exeName) {
    // Some system entries have no file name; an empty name asks for no program.
    if (exeName.empty())
        return 0;
    const UniqueHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot || snapshot.get() == INVALID_HANDLE_VALUE)
        return 0;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = ::Process32FirstW(snapshot.get(), &entry); more;
         more = ::Process32NextW(snapshot.get(), &entry)) {
        const std::wstring_view name(entry.szExeFile, ::wcsnlen(entry.szExeFile, MAX_PATH));
        if (name == exeName)
            return entry.th32ProcessID;
    }
    return 0;
}

}  // namespace Utils
