// The focus on X11: the library runs on in the background, so the game asks the X server itself.
#include "platform/focus.h"

#include <allegro.h>
#include <xalleg.h>

#include <cstdlib>

namespace {

// A connection of the game's own, asked at each wait, so that the library's lock is never needed.
Display* connection = nullptr;
// Whether the window of this mode set has had the focus yet.
bool focused_once = false;

void close_connection() {
    if (connection)
        XCloseDisplay(connection);
    connection = nullptr;
}

bool ours(Window w) { return w != None && (w == _xwin.wm_window || w == _xwin.window || w == _xwin.fs_window); }

}  // namespace

bool in_background() {
    if (!_xwin.wm_window)
        return false;
    if (!connection) {
        connection = XOpenDisplay(nullptr);
        if (!connection)
            return false;
        atexit(close_connection);
    }
    Window focus = None;
    int revert_to;
    XGetInputFocus(connection, &focus, &revert_to);
    if (ours(focus)) {
        focused_once = true;
        return false;
    }
    // Without a window manager the keys go to the window under the pointer: nothing to pause for.
    return focused_once && focus != PointerRoot;
}

void window_remade() { focused_once = false; }
