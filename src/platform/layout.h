// Where the 640x480 picture lies on a desktop: whole-number scales and the offsets that centre it.
#pragma once

constexpr int PICTURE_W = 640;
constexpr int PICTURE_H = 480;

// Room kept for a window's title bar when the window is sized to the desktop.
constexpr int TITLE_BAR_ALLOWANCE = 48;

// A rectangle of the desktop, in its pixels.
struct DesktopArea {
    int x, y, w, h;
};

// Where the picture lies on the real screen: every game pixel a scale x scale block at (x, y).
struct DisplayLayout {
    bool fullscreen = false;
    int scale = 1;
    int x = 0, y = 0;
    int screen_w = PICTURE_W, screen_h = PICTURE_H;
};

// The largest whole scale whose window, title bar included, fits the work area; at least 1.
int window_scale_for(const DesktopArea& work_area);

// A window at the scale given.
DisplayLayout window_layout(int scale);

// The monitor covered, the picture at the largest whole scale that fits, centred on black.
DisplayLayout fullscreen_layout(const DesktopArea& monitor);

// A position on the real screen along one axis, as a game pixel; the border holds at the edge.
int to_picture(int screen_pos, int offset, int scale, int size);
