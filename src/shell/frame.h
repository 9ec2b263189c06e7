// Composition of one play frame and the heads-up display.
#pragma once

// Field, ghosts, effects, heat bar, pointer and HUD into back_buffer; the pointer stays there,
// held still, until remove_frame_pointer().
void compose_frame();

// Takes the pointer out of back_buffer and lets it follow the mouse again.
void remove_frame_pointer();

// Draws the play field, pointer and HUD into back_buffer and copies it to the screen.
void draw_frame();
