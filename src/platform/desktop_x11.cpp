// The display's questions answered on X11: monitors through RandR, the window manager through EWMH.
#include "platform/desktop.h"

#include <allegro.h>
#include <xalleg.h>
#include <X11/Xatom.h>
#include <X11/extensions/Xrandr.h>

#include <algorithm>
#include <vector>

// The game's icon, made at build time from the desktop icon.
extern const char* const game_icon_xpm[];
// The library's X icon, in XPM form, read once as the library makes its window at start-up.
extern "C" void* allegro_icon;

// The library's own routine for showing a rectangle of its screen's lines; it takes its X lock.
extern "C" void _xwin_update_screen(int x, int y, int w, int h);

namespace {

// A connection of the game's own for these few questions, so that the library's lock is never
// needed; closed again at once, as one left open at exit upsets the leak checker's thread tracer.
struct Desktop {
    Display* dpy = XOpenDisplay(nullptr);
    ~Desktop() {
        if (dpy)
            XCloseDisplay(dpy);
    }
};

// Up to `count` 32-bit values of a property of the root window.
std::vector<long> root_property(Display* dpy, const char* name, Atom type) {
    Atom actual_type;
    int format;
    unsigned long count = 0, after;
    unsigned char* data = nullptr;
    std::vector<long> values;
    if (XGetWindowProperty(dpy, DefaultRootWindow(dpy), XInternAtom(dpy, name, False), 0, 64, False, type,
                           &actual_type, &format, &count, &after, &data) == Success &&
        data && format == 32 && actual_type == type) {
        const long* longs = reinterpret_cast<const long*>(data);
        values.assign(longs, longs + count);
    }
    if (data)
        XFree(data);
    return values;
}

bool window_manager_running(Display* dpy) { return !root_property(dpy, "_NET_SUPPORTING_WM_CHECK", XA_WINDOW).empty(); }

std::vector<DesktopArea> monitors(Display* dpy) {
    std::vector<DesktopArea> found;
    int event_base, error_base, count = 0;
    if (XRRQueryExtension(dpy, &event_base, &error_base)) {
        // Monitors a user laid out without outputs of their own count as inactive: ask for all.
        if (XRRMonitorInfo* info = XRRGetMonitors(dpy, DefaultRootWindow(dpy), False, &count)) {
            for (int i = 0; i < count; ++i)
                found.push_back({info[i].x, info[i].y, info[i].width, info[i].height});
            XRRFreeMonitors(info);
        }
    }
    if (found.empty())
        found.push_back({0, 0, DisplayWidth(dpy, DefaultScreen(dpy)), DisplayHeight(dpy, DefaultScreen(dpy))});
    return found;
}

// The point the game is at: the middle of its window once shown, else the pointer.
void game_point(Display* dpy, int& x, int& y) {
    const Window root = DefaultRootWindow(dpy);
    XWindowAttributes attributes;
    Window child;
    if (_xwin.wm_window && XGetWindowAttributes(dpy, _xwin.wm_window, &attributes) &&
        attributes.map_state == IsViewable &&
        XTranslateCoordinates(dpy, _xwin.wm_window, root, attributes.width / 2, attributes.height / 2, &x, &y, &child))
        return;
    Window root_back;
    int wx, wy;
    unsigned mask;
    if (!XQueryPointer(dpy, root, &root_back, &child, &x, &y, &wx, &wy, &mask))
        x = y = 0;
}

// Asks the window manager to add or remove the full-screen state of the game's window.
void request_fullscreen(Display* dpy, bool on) {
    XEvent e = {};
    e.xclient.type = ClientMessage;
    e.xclient.window = _xwin.wm_window;
    e.xclient.message_type = XInternAtom(dpy, "_NET_WM_STATE", False);
    e.xclient.format = 32;
    e.xclient.data.l[0] = on ? 1 : 0;
    e.xclient.data.l[1] = static_cast<long>(XInternAtom(dpy, "_NET_WM_STATE_FULLSCREEN", False));
    e.xclient.data.l[3] = 1;  // a request from an application
    XSendEvent(dpy, DefaultRootWindow(dpy), False, SubstructureRedirectMask | SubstructureNotifyMask, &e);
}

}  // namespace

// Set before main, so before the library makes its window.
const bool icon_set = (allegro_icon = const_cast<char**>(game_icon_xpm)) != nullptr;

// Docks and task switchers know the window by its class, matched to the desktop entry. The library
// keeps the name for windows it makes later and sets it on an inner window: set it on the outer one.
void prepare_window() {
    static char name[] = "ghosts-of-vorn", group[] = "Ghosts of Vorn";
    xwin_set_window_name(name, group);
    Desktop desktop;
    if (!desktop.dpy || !_xwin.wm_window)
        return;
    XClassHint hint{name, group};
    XSetClassHint(desktop.dpy, _xwin.wm_window, &hint);
    XSync(desktop.dpy, False);
}

DesktopArea work_area_on(const DesktopArea& monitor) {
    Desktop desktop;
    Display* dpy = desktop.dpy;
    if (!dpy)
        return monitor;
    const std::vector<long> area = root_property(dpy, "_NET_WORKAREA", XA_CARDINAL);
    if (area.size() < 4)
        return monitor;
    const std::vector<long> current = root_property(dpy, "_NET_CURRENT_DESKTOP", XA_CARDINAL);
    std::size_t at = current.empty() ? 0 : static_cast<std::size_t>(current[0]) * 4;
    if (at + 4 > area.size())
        at = 0;
    const int left = std::max<int>(monitor.x, area[at]), top = std::max<int>(monitor.y, area[at + 1]);
    const int right = std::min<int>(monitor.x + monitor.w, area[at] + area[at + 2]);
    const int bottom = std::min<int>(monitor.y + monitor.h, area[at + 1] + area[at + 3]);
    if (right <= left || bottom <= top)
        return monitor;
    return {left, top, right - left, bottom - top};
}

DesktopArea monitor_of_window() {
    Desktop desktop;
    Display* dpy = desktop.dpy;
    if (!dpy)
        return {0, 0, 640, 480};
    int x, y;
    game_point(dpy, x, y);
    // The smallest one holding the point: one laid out inside a larger screen is the one meant.
    const std::vector<DesktopArea> all = monitors(dpy);
    const DesktopArea* best = nullptr;
    for (const DesktopArea& m : all)
        if (x >= m.x && x < m.x + m.w && y >= m.y && y < m.y + m.h && (!best || m.w * m.h < best->w * best->h))
            best = &m;
    return best ? *best : all.front();
}

void cover_monitor(const DesktopArea& monitor) {
    Desktop desktop;
    Display* dpy = desktop.dpy;
    if (!dpy || !_xwin.wm_window)
        return;
    // On the monitor first, so that a window manager makes it cover that one.
    XMoveWindow(dpy, _xwin.wm_window, monitor.x, monitor.y);
    if (window_manager_running(dpy))
        request_fullscreen(dpy, true);
    else
        XRaiseWindow(dpy, _xwin.wm_window);
    XSync(dpy, False);
}

void uncover_monitor() {
    Desktop desktop;
    Display* dpy = desktop.dpy;
    if (!dpy || !_xwin.wm_window || !window_manager_running(dpy))
        return;
    request_fullscreen(dpy, false);
    XSync(dpy, False);
}

bool writes_screen_lines() { return true; }

void update_display(int x, int y, int w, int h) { _xwin_update_screen(x, y, w, h); }
