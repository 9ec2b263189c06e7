// The wobbling crosshair that serves as the mouse pointer during play.
#pragma once

extern int crosshair_angle;       // 0..256, in the library's angle units
extern int crosshair_timer;
extern int crosshair_turn_delay;

// Every crosshair_turn_delay ticks, turns the crosshair one unit either way.
void update_crosshair();
