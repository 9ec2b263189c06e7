// The X-Beam: hit test, heat, flash bombs and the heat bar.
#pragma once

#include <allegro.h>

extern int beam_damage;
// -1 once a right-button press has been handled, 0 while the button is up.
extern int flash_latch;

// Nonzero (-1) when the two pictures share a pixel that is solid in both.
int pixel_collide(BITMAP* a, int ax, int ay, BITMAP* b, int bx, int by);

// Heat from the left button, flash bombs from the right, once a tick.
void update_beam();

// The heat bar and, at full heat, "OVERHEAT!", into back_buffer.
void draw_heat_bar();
