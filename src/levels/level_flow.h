// Level start with its introduction screen, and the shared "Hit A" wait.
#pragma once

extern const char* const encouragement_lines[10];
extern const char* const flash_bomb_message;

// Raises the level, rebuilds the ghost list, awards bombs and shows the introduction.
void start_next_level();

// "Hit A to continue", then waits until A is pressed and released.
void hit_a_to_continue();
