// The display's questions answered on Windows, for the library's windowed DirectX driver.
#include "platform/desktop.h"

#include <allegro.h>
#include <winalleg.h>

#include <algorithm>

namespace {

// The window's framed style, given back when it stops covering the monitor.
LONG framed_style = 0;
bool covering = false;

DesktopArea area_of(const RECT& r) { return {r.left, r.top, r.right - r.left, r.bottom - r.top}; }

// Windows keeps a framed window within the desktop's size, so a window the size of the monitor,
// opened before it loses its frame, would come out smaller and be refused by the library.
int allow_large_windows(HWND, UINT message, WPARAM, LPARAM lparam, int* result) {
    if (message != WM_GETMINMAXINFO)
        return 1;
    MINMAXINFO* info = reinterpret_cast<MINMAXINFO*>(lparam);
    info->ptMaxTrackSize.x = std::max<LONG>(info->ptMaxTrackSize.x, 4 * GetSystemMetrics(SM_CXVIRTUALSCREEN));
    info->ptMaxTrackSize.y = std::max<LONG>(info->ptMaxTrackSize.y, 4 * GetSystemMetrics(SM_CYVIRTUALSCREEN));
    *result = 0;
    return 0;
}

bool info_of(HMONITOR monitor, MONITORINFO& info) {
    info.cbSize = sizeof info;
    return monitor && GetMonitorInfo(monitor, &info);
}

}  // namespace

DesktopArea work_area_on(const DesktopArea& monitor) {
    const RECT r = {monitor.x, monitor.y, monitor.x + monitor.w, monitor.y + monitor.h};
    MONITORINFO info;
    if (info_of(MonitorFromRect(&r, MONITOR_DEFAULTTONEAREST), info))
        return area_of(info.rcWork);
    RECT work;
    if (!SystemParametersInfo(SPI_GETWORKAREA, 0, &work, 0) || !IntersectRect(&work, &work, &r))
        return monitor;
    return area_of(work);
}

// The hook is in place before the mode set sizes the window.
void prepare_window() { win_set_msg_pre_proc(allow_large_windows); }

DesktopArea monitor_of_window() {
    const HWND window = win_get_window();
    HMONITOR monitor;
    POINT pointer;
    if (window && IsWindowVisible(window))
        monitor = MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST);
    else if (GetCursorPos(&pointer))
        monitor = MonitorFromPoint(pointer, MONITOR_DEFAULTTOPRIMARY);
    else
        monitor = MonitorFromWindow(nullptr, MONITOR_DEFAULTTOPRIMARY);
    MONITORINFO info;
    if (info_of(monitor, info))
        return area_of(info.rcMonitor);
    return {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
}

// Full screen without a mode switch: a window with no frame over the whole monitor.
void cover_monitor(const DesktopArea& monitor) {
    const HWND window = win_get_window();
    if (!window)
        return;
    if (!covering)
        framed_style = GetWindowLong(window, GWL_STYLE);
    covering = true;
    SetWindowLong(window, GWL_STYLE, (framed_style & ~WS_OVERLAPPEDWINDOW) | WS_POPUP);
    SetWindowPos(window, HWND_TOP, monitor.x, monitor.y, monitor.w, monitor.h, SWP_FRAMECHANGED | SWP_SHOWWINDOW);
}

void uncover_monitor() {
    const HWND window = win_get_window();
    if (!covering || !window)
        return;
    covering = false;
    SetWindowLong(window, GWL_STYLE, framed_style);
    // The library sized the window while it had no frame: the frame goes around the same picture.
    RECT frame;
    GetClientRect(window, &frame);
    AdjustWindowRect(&frame, framed_style, FALSE);
    const int w = frame.right - frame.left, h = frame.bottom - frame.top;
    const DesktopArea work = work_area_on(monitor_of_window());
    const int x = work.x + std::max(0, (work.w - w) / 2), y = work.y + std::max(0, (work.h - h) / 2);
    SetWindowPos(window, HWND_TOP, x, y, w, h, SWP_FRAMECHANGED | SWP_SHOWWINDOW);
    // Wine lets go of the keyboard and mouse when the frame comes back; the library does not notice.
    win_grab_input();
}

bool writes_screen_lines() { return false; }

// The blit has reached the window; Wine shows it only once the window's thread next waits for
// messages, which a static screen would never make it do.
void update_display(int, int, int, int) { PostMessage(win_get_window(), WM_NULL, 0, 0); }

