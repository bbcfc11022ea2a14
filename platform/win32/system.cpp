// Processor count, clock, debugger output and message boxes on Windows.

#include "platform/platform.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <commdlg.h>

#include <atomic>
#include <cstdlib>

namespace lakra {

namespace {

std::atomic<int> forcedProcessorCount{0};
std::atomic<ClockFunction> replacedClock{nullptr};

UINT iconStyle(MessageIcon icon) {
    switch (icon) {
    case MessageIcon::Warning:
        return MB_ICONWARNING;
    case MessageIcon::Error:
        return MB_ICONERROR;
    case MessageIcon::Information:
        break;
    }
    return MB_ICONINFORMATION;
}

} // namespace

int processorCount() {
    const int forced = forcedProcessorCount.load(std::memory_order_relaxed);
    if (forced > 0) {
        return forced;
    }
    SYSTEM_INFO info{};
    GetSystemInfo(&info); // the processors of this process's group, at most 64
    return info.dwNumberOfProcessors < 1 ? 1 : static_cast<int>(info.dwNumberOfProcessors);
}

void platformSetProcessorCount(int count) {
    forcedProcessorCount.store(count > 0 ? count : 0, std::memory_order_relaxed);
}

int64_t clockSeconds() {
    const ClockFunction clock = replacedClock.load(std::memory_order_acquire);
    if (clock != nullptr) {
        return clock();
    }
    return static_cast<int64_t>(GetTickCount64() / 1000); // milliseconds since boot
}

void platformSetClock(ClockFunction clock) {
    replacedClock.store(clock, std::memory_order_release);
}

void debugOutput(const char* text) {
    if (text != nullptr) {
        OutputDebugStringA(text);
    }
}

void messageBox(const char* title, const char* text, MessageIcon icon) {
    // No owner: the host's window is not known here, and MB_OK has one answer only.
    (void)MessageBoxA(nullptr, text != nullptr ? text : "", title != nullptr ? title : "",
                      MB_OK | iconStyle(icon));
}

bool drawPlanarPicture(void* context, int32_t x, int32_t y, const uint8_t* planes, int32_t width,
                       int32_t height, int32_t planeCount) {
    if (context == nullptr || planes == nullptr || width < 1 || height < 1 ||
        (planeCount != 1 && planeCount != 3)) {
        return false;
    }
    // A top-down 32-bit DIB: blue, green, red, unused.
    const size_t pixels = static_cast<size_t>(width) * static_cast<size_t>(height);
    auto* bgrx = static_cast<uint8_t*>(std::malloc(pixels * 4));
    if (bgrx == nullptr) {
        return false;
    }
    for (size_t i = 0; i < pixels; ++i) {
        for (int c = 0; c < 3; ++c) {
            const int32_t plane = planeCount == 3 ? c : 0;
            bgrx[i * 4 + static_cast<size_t>(2 - c)] =
                planes[static_cast<size_t>(plane) * pixels + i];
        }
        bgrx[i * 4 + 3] = 0;
    }
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    const int drawn = SetDIBitsToDevice(static_cast<HDC>(context), x, y, static_cast<DWORD>(width),
                                        static_cast<DWORD>(height), 0, 0, 0,
                                        static_cast<UINT>(height), bgrx, &info, DIB_RGB_COLORS);
    std::free(bgrx);
    return drawn != 0;
}

bool chooseColor(void* owner, uint8_t rgb[3]) {
    static COLORREF custom[16];
    CHOOSECOLORA choose{};
    choose.lStructSize = sizeof choose;
    choose.hwndOwner = static_cast<HWND>(owner);
    choose.rgbResult = RGB(rgb[0], rgb[1], rgb[2]);
    choose.lpCustColors = custom;
    choose.Flags = CC_RGBINIT | CC_FULLOPEN;
    if (ChooseColorA(&choose) == FALSE) {
        return false;
    }
    rgb[0] = GetRValue(choose.rgbResult);
    rgb[1] = GetGValue(choose.rgbResult);
    rgb[2] = GetBValue(choose.rgbResult);
    return true;
}

} // namespace lakra
