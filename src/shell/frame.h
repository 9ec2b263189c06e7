// Composition of one play frame and the heads-up display.
#pragma once

// Field, ghosts, effects, heat bar, pointer and HUD into back_buffer; the pointer stays there
// until show_mouse(nullptr).
void compose_frame();

// Draws the play field, pointer and HUD into back_buffer and copies it to the screen.
void draw_frame();
