// What the display layer asks of the desktop it runs on; one file a system answers it.
#pragma once

#include "platform/layout.h"

// Readies the system for the game's window before each mode set makes it.
void prepare_window();

// Where a window may go on the monitor given: that monitor less its panels and task bars.
DesktopArea work_area_on(const DesktopArea& monitor);

// The whole monitor holding the middle of the game's window, or the one the pointer is on while
// no window is shown.
DesktopArea monitor_of_window();

// Makes the window just opened at the monitor's size cover that monitor, title bar and all.
void cover_monitor(const DesktopArea& monitor);

// Gives a window that covered its monitor back to the window manager as a plain window.
void uncover_monitor();

// True when the game may write the scaled picture straight into the real screen's lines; else it
// blits a copy to the screen. Either way update_display() then shows the rectangle written.
bool writes_screen_lines();
void update_display(int x, int y, int w, int h);

