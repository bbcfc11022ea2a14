#include "dialog/win32/dialogPlacement.h"

#include <algorithm>

namespace lakra {

void placeDialog(HWND dialog, HWND owner, int partsAbove) {
    RECT outer{};
    GetWindowRect(dialog, &outer);
    const int width = outer.right - outer.left;
    const int height = outer.bottom - outer.top;
    RECT over{};
    if (owner == nullptr || GetWindowRect(owner, &over) == FALSE) {
        SystemParametersInfoA(SPI_GETWORKAREA, 0, &over, 0);
    }
    int left = over.left + (over.right - over.left - width) / 2;
    int top = over.top + (over.bottom - over.top - height) / partsAbove;
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    const RECT wanted{left, top, left + width, top + height};
    if (GetMonitorInfoA(MonitorFromRect(&wanted, MONITOR_DEFAULTTONEAREST), &monitor) != FALSE) {
        const RECT& work = monitor.rcWork;
        left = std::max<int>(work.left, std::min<int>(left, work.right - width));
        top = std::max<int>(work.top, std::min<int>(top, work.bottom - height));
    }
    SetWindowPos(dialog, nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

} // namespace lakra
