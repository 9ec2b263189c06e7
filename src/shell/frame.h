// Composition of one play frame and the heads-up display.
#pragma once

// Draws the play field, pointer and HUD into back_buffer and copies it to the screen.
void draw_frame();
