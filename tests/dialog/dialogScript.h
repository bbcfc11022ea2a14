#pragma once

// Win32 dialogs played by a script: a thread timer takes one step per tick
// inside the dialog's own message loop, acting on the window with the
// script's caption as a user's mouse and keyboard would.
#ifdef _WIN32

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace lakra::testing {

// One step per timer tick; a step returns false to be tried again on the
// next tick (the dialog not open yet, the preview timer still pending).
using Step = std::function<bool(HWND dialog)>;

struct Script {
    const char* caption = "Lakra"; // the window the steps act on
    std::vector<Step> steps;
    size_t next = 0;
    int ticks = 0;
    std::string failure;
};

inline Script gScript;

inline void CALLBACK playStep(HWND, UINT, UINT_PTR, DWORD) {
    Script& script = gScript;
    if (++script.ticks > 400) { // 20 s: give up and let the test report it
        script.failure = "the dialog did not take step " + std::to_string(script.next);
        script.next = script.steps.size();
    }
    HWND dialog = FindWindowA("#32770", script.caption);
    if (script.next >= script.steps.size()) {
        if (dialog != nullptr) {
            PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
        }
        return;
    }
    if (dialog != nullptr && IsWindowVisible(dialog) && script.steps[script.next](dialog)) {
        ++script.next;
    }
}

inline POINT centreOf(HWND dialog, int id) {
    RECT r{};
    GetWindowRect(GetDlgItem(dialog, id), &r);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&r), 2);
    return POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
}

inline LPARAM at(POINT p) {
    return MAKELPARAM(p.x, p.y);
}

inline Step clickControl(int id) {
    return [id](HWND dialog) {
        const POINT p = centreOf(dialog, id);
        SendMessageA(dialog, WM_LBUTTONDOWN, MK_LBUTTON, at(p));
        SendMessageA(dialog, WM_LBUTTONUP, 0, at(p));
        return true;
    };
}

inline Step pressButton(int id) {
    return [id](HWND dialog) {
        PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
        return true;
    };
}

// A press and release on a push button itself, as the mouse makes them.
inline Step clickButton(int id) {
    return [id](HWND dialog) {
        HWND button = GetDlgItem(dialog, id);
        RECT r{};
        GetClientRect(button, &r);
        const LPARAM middle = MAKELPARAM(r.right / 2, r.bottom / 2);
        SendMessageA(button, WM_LBUTTONDOWN, MK_LBUTTON, middle);
        SendMessageA(button, WM_LBUTTONUP, 0, middle);
        return true;
    };
}

inline Step check(std::function<void(HWND)> facts) {
    return [facts](HWND dialog) {
        facts(dialog);
        return true;
    };
}

// Lets the dialog's own timers run for a while (the typed value's refresh).
inline Step pause(DWORD millis) {
    auto until = std::make_shared<DWORD>(0);
    return [until, millis](HWND) {
        if (*until == 0) {
            *until = GetTickCount() + millis;
        }
        return GetTickCount() >= *until;
    };
}

// Plays the script while `body` runs a dialog's loop.
template <typename Body>
auto playWhile(Body body) {
    const UINT_PTR timer = SetTimer(nullptr, 0, 50, playStep);
    auto result = body();
    KillTimer(nullptr, timer);
    return result;
}

} // namespace lakra::testing

#endif // _WIN32
