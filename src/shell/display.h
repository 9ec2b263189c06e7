// How the 640x480 picture reaches the display: a whole-number scale, in a window or covering a
// monitor, switched with Alt+Enter or F11.
#pragma once

#include <allegro.h>

#include "shell/display_platform.h"

constexpr int PICTURE_W = 640;
constexpr int PICTURE_H = 480;

// Room kept for a window's title bar when the window is sized to the desktop.
constexpr int TITLE_BAR_ALLOWANCE = 48;

// The 640x480 picture every screen of the game draws into, at the game's 16-bit depth.
extern BITMAP* game_screen;

// What the player asked for: a window (at a given scale, or 0 to fit the desktop) or full screen.
struct DisplayChoice {
    bool fullscreen = false;
    int scale = 0;
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

// Opens the display as chosen, falling back to a window and then a 1x window with a line on
// stderr each; false when nothing opens.
bool open_display(const DisplayChoice& choice);

// The layout in use.
const DisplayLayout& display_layout();

// Shows what changed in game_screen since it was last shown.
void present_screen();

// Alt+Enter or F11 pressed since the last look: switches between window and full screen and
// remembers the choice.
void poll_display();

// The mouse position in game pixels.
int pointer_x();
int pointer_y();
