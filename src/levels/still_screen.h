// What the still screens share: a heading on a cleared screen, and the "Hit A" prompt and wait.
#pragma once

// Clears the screen and puts a heading at the top left.
void draw_heading(const char* heading);

// "Hit A to continue", then waits until A is pressed and released.
void hit_a_to_continue();
