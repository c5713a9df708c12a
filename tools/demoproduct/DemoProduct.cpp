// lumivane.exe: a stand-in for the Vanelume product that the sample package installs. It
// only shows a small window until it is closed, so that tests have a real program to
// start, to find running, and to fail to delete while it runs.
//
//   lumivane.exe [-exit-after=<ms>]
//
// -exit-after closes the window after that many milliseconds, so that a test can start
// the product and rely on it going away by itself. Other arguments are ignored.
#include <windows.h>

#include <shellapi.h>

#include <optional>
#include <string_view>

namespace {

// Tests find the running product by this class name.
constexpr wchar_t kWindowClass[] = L"LumivaneDemoWindow";
constexpr wchar_t kWindowTitle[] = L"Vanelume";
constexpr UINT_PTR kExitTimer = 1;
constexpr int kClientWidth = 420;
constexpr int kClientHeight = 200;

constexpr COLORREF kAccent = RGB(0x1a, 0xa6, 0xa6);
constexpr COLORREF kTitleColour = RGB(0x22, 0x2a, 0x33);
constexpr COLORREF kSubtitleColour = RGB(0x6b, 0x75, 0x80);

// Only plain decimal digits count: a mistyped value must not close the window at once.
std::optional<UINT> ExitAfterMilliseconds(std::wstring_view argument) {
    constexpr std::wstring_view prefix = L"-exit-after=";
    if (argument.substr(0, prefix.size()) != prefix) {
        return std::nullopt;
    }
    std::wstring_view digits = argument.substr(prefix.size());
    if (digits.empty() || digits.size() > 9) {
        return std::nullopt;  // nine digits still fit a UINT; more is no sensible delay
    }
    UINT value = 0;
    for (wchar_t c : digits) {
        if (c < L'0' || c > L'9') {
            return std::nullopt;
        }
        value = value * 10 + static_cast<UINT>(c - L'0');
    }
    return value;
}

std::optional<UINT> ExitAfterFromCommandLine() {
    int count = 0;
    LPWSTR* arguments = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    if (!arguments) {
        return std::nullopt;
    }
    std::optional<UINT> result;
    for (int i = 1; i < count && !result; ++i) {
        result = ExitAfterMilliseconds(arguments[i]);
    }
    ::LocalFree(arguments);
    return result;
}

class Font {
public:
    Font(int height, int weight)
        : font_(::CreateFontW(height, 0, 0, 0, weight, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                              OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY,
                              DEFAULT_PITCH | FF_SWISS, L"Segoe UI")) {}
    ~Font() {
        if (font_) {
            ::DeleteObject(font_);
        }
    }
    Font(const Font&) = delete;
    Font& operator=(const Font&) = delete;
    HFONT get() const { return font_; }

private:
    HFONT font_;
};

void DrawLine(HDC dc, const Font& font, COLORREF colour, RECT area, const wchar_t* text) {
    HGDIOBJ previous = ::SelectObject(dc, font.get());
    ::SetTextColor(dc, colour);
    ::DrawTextW(dc, text, -1, &area, DT_LEFT | DT_SINGLELINE | DT_NOPREFIX | DT_END_ELLIPSIS);
    ::SelectObject(dc, previous);
}

void Paint(HWND window) {
    PAINTSTRUCT paint;
    HDC dc = ::BeginPaint(window, &paint);
    RECT client;
    ::GetClientRect(window, &client);
    ::FillRect(dc, &client, static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH)));

    RECT band = {0, 0, 8, client.bottom};
    HBRUSH accent = ::CreateSolidBrush(kAccent);
    ::FillRect(dc, &band, accent);
    ::DeleteObject(accent);

    ::SetBkMode(dc, TRANSPARENT);
    Font title(-34, FW_SEMIBOLD);
    Font subtitle(-16, FW_NORMAL);
    DrawLine(dc, title, kTitleColour, {40, 52, client.right - 24, 100}, L"Vanelume");
    DrawLine(dc, subtitle, kSubtitleColour, {42, 104, client.right - 24, 128}, L"Photo restoration");
    ::EndPaint(window, &paint);
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_PAINT:
            Paint(window);
            return 0;
        case WM_ERASEBKGND:
            return 1;  // WM_PAINT fills everything; erasing first would flicker
        case WM_TIMER:
            if (wParam == kExitTimer) {
                ::DestroyWindow(window);
            }
            return 0;
        case WM_DESTROY:
            ::PostQuitMessage(0);
            return 0;
        default:
            return ::DefWindowProcW(window, message, wParam, lParam);
    }
}

HWND CreateMainWindow(HINSTANCE instance) {
    WNDCLASSEXW windowClass = {};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    windowClass.lpszClassName = kWindowClass;
    if (!::RegisterClassExW(&windowClass)) {
        return nullptr;
    }
    constexpr DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
    RECT frame = {0, 0, kClientWidth, kClientHeight};
    ::AdjustWindowRectEx(&frame, style, FALSE, 0);
    return ::CreateWindowExW(0, kWindowClass, kWindowTitle, style, CW_USEDEFAULT, CW_USEDEFAULT,
                             frame.right - frame.left, frame.bottom - frame.top, nullptr, nullptr, instance,
                             nullptr);
}

// The product may be started by an elevated installer from its install folder: system
// DLLs, which are all delay-loaded, must come from System32 only.
void RestrictDllSearch() {
    using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
    HMODULE kernel32 = ::GetModuleHandleW(L"kernel32.dll");
    auto setDefault = kernel32 ? reinterpret_cast<SetDefaultDllDirectoriesFn>(reinterpret_cast<void*>(
                                     ::GetProcAddress(kernel32, "SetDefaultDllDirectories")))
                               : nullptr;
    if (!setDefault || !setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32)) {
        ::SetDllDirectoryW(L"");
    }
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int showCommand) {
    RestrictDllSearch();
    HWND window = CreateMainWindow(instance);
    if (!window) {
        return 1;
    }
    if (std::optional<UINT> delay = ExitAfterFromCommandLine()) {
        ::SetTimer(window, kExitTimer, *delay, nullptr);
    }
    ::ShowWindow(window, showCommand);
    ::UpdateWindow(window);

    MSG message;
    while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }
    return 0;
}
