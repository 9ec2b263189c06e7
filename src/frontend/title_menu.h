// The title screen with the story and the keyboard menu.
#pragma once

enum MenuItem { MENU_NEW_GAME = 0, MENU_HIGH_SCORES = 1, MENU_QUIT = 2 };

extern const char* const story_lines[8];
extern const int story_rows[8];

// Returns once "New Game" has set up a game; "Quit" ends the process.
void run_title_menu();
