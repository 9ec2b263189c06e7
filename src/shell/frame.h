// Composition of one play frame and the heads-up display.
#pragma once

// Field, ghosts, effects, heat bar, pointer and HUD into back_buffer.
void compose_frame();

// Draws the play field, pointer and HUD into back_buffer and shows it.
void draw_frame();
