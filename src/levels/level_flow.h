// Level start with its introduction screen.
#pragma once

extern const char* const encouragement_lines[10];
extern const char* const flash_bomb_message;

// Raises the level, rebuilds the ghost list, awards bombs and shows the introduction.
void start_next_level();
