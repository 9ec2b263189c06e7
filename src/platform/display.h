// How the 640x480 picture reaches the display: a whole-number scale, in a window or covering a
// monitor, switched with Alt+Enter or F11.
#pragma once

#include <allegro.h>

#include "platform/layout.h"

// The 640x480 picture every screen of the game draws into, at the game's 16-bit depth.
extern BITMAP* game_screen;

// What the player asked for: a window (at a given scale, or 0 to fit the desktop) or full screen.
struct DisplayChoice {
    bool fullscreen = false;
    int scale = 0;
};

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
