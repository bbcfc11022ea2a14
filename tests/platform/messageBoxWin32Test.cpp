// The real modal box on Windows, closed from the test thread the way a user would.
// Windows-only: it needs the window functions to find and close the box.
#ifdef _WIN32

#include "platform/platform.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <gtest/gtest.h>
#include <string>

namespace lakra {
namespace {

// Static: a box that was never found may outlive its test; process exit ends it.
struct BoxCall {
    char title[64] = {};
    MessageIcon icon = MessageIcon::Information;
    std::atomic<bool> returned{false};
};

BoxCall calls[3];

DWORD WINAPI showBox(LPVOID raw) {
    auto* call = static_cast<BoxCall*>(raw);
    messageBox(call->title, "Lakra test message.", call->icon);
    call->returned = true;
    return 0;
}

// The box's window, or nullptr when it did not appear within about five seconds.
HWND findBox(const char* title, HANDLE boxThread) {
    for (int attempt = 0; attempt < 50; ++attempt) {
        HWND box = FindWindowA("#32770", title); // the dialog class of message boxes
        if (box != nullptr || WaitForSingleObject(boxThread, 0) == WAIT_OBJECT_0) {
            return box;
        }
        Sleep(100);
    }
    return nullptr;
}

class MessageBoxWindow : public testing::TestWithParam<MessageIcon> {};

TEST_P(MessageBoxWindow, ReturnsWhenOkIsPressed) {
    BoxCall& call = calls[static_cast<int>(GetParam())];
    (void)std::snprintf(call.title, sizeof call.title, "Lakra test box %lu-%d",
                        static_cast<unsigned long>(GetCurrentProcessId()),
                        static_cast<int>(GetParam()));
    call.icon = GetParam();
    HANDLE thread = CreateThread(nullptr, 0, showBox, &call, 0, nullptr);
    ASSERT_NE(thread, nullptr);
    HWND box = findBox(call.title, thread);
    if (box == nullptr) {
        CloseHandle(thread);
        GTEST_SKIP() << "no message box window appeared (no display?)";
    }
    EXPECT_NE(GetDlgItem(box, IDOK), nullptr); // MB_OK: the one button is OK
    EXPECT_FALSE(call.returned.load());        // modal: still waiting for the user
    ASSERT_TRUE(PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0));
    EXPECT_EQ(WaitForSingleObject(thread, 10000), WAIT_OBJECT_0);
    EXPECT_TRUE(call.returned.load());
    CloseHandle(thread);
}

std::string iconName(const testing::TestParamInfo<MessageIcon>& icon) {
    const char* const names[] = {"Information", "Warning", "Error"};
    return names[static_cast<int>(icon.param)];
}

INSTANTIATE_TEST_SUITE_P(Icons, MessageBoxWindow,
                         testing::Values(MessageIcon::Information, MessageIcon::Warning,
                                         MessageIcon::Error),
                         iconName);

} // namespace
} // namespace lakra

#endif
