#pragma once
// The record that carries one pipeline event across to the UI thread, and the message that
// carries the record. The sender allocates, the window frees after handling whatever the
// code: a posted message cannot point at the sender's stack, nor at its short-lived text.

#include <windows.h>

#include <cstdint>
#include <string>

#include "utils/InstallEvents.h"

constexpr UINT WM_INSTALL_EVENT = WM_USER + 1000;
static_assert(WM_INSTALL_EVENT == 2024);

struct InstallEvent {
    int32_t code = 0;
    double value = 0.0;
    std::wstring text;
};

// The window's EventCallback: copies each event into a new InstallEvent and posts it to
// window with wParam 0. When the post fails (the window is gone) the record is freed here,
// since nobody else will.
inline EventCallback MakeWindowEventCallback(HWND window) {
    return [window](int32_t code, double value, const wchar_t* text) {
        auto* event = new InstallEvent{code, value, text ? text : L""};
        if (!::PostMessageW(window, WM_INSTALL_EVENT, 0, reinterpret_cast<LPARAM>(event)))
            delete event;
    };
}
