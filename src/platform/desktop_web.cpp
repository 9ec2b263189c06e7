// The display's questions answered in a web page: the picture is a 640x480 canvas the page
// scales, and full screen is the browser's.
#include "platform/desktop.h"

#include <web_page.h>

void prepare_window() {}

DesktopArea work_area_on(const DesktopArea& monitor) { return monitor; }

// The page scales the canvas itself, so the game always draws at 1x.
DesktopArea monitor_of_window() { return {0, 0, 640, 480}; }

void cover_monitor(const DesktopArea&) { web_set_fullscreen(1); }

void uncover_monitor() { web_set_fullscreen(0); }

bool writes_screen_lines() { return true; }

void update_display(int x, int y, int w, int h) { web_show_screen(x, y, w, h); }
