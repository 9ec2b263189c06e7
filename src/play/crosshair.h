// The wobbling crosshair that serves as the mouse pointer during play.
#pragma once

#include <allegro.h>

extern int crosshair_angle;       // 0..256, in the library's angle units
extern int crosshair_timer;
extern int crosshair_turn_delay;

// The crosshair's centre, the point on the mouse position.
constexpr int CROSSHAIR_FOCUS = 30;

// The picture drawn as the pointer during play: crosshair_image until the first turn.
extern BITMAP* pointer_sprite;

// The crosshair into crosshair_image: a white ring, a red inner ring and two slanted strokes.
void draw_crosshair_image();

// Every crosshair_turn_delay ticks, turns the crosshair one unit either way.
void update_crosshair();
