// The game-over and win screens.
#pragma once

extern const char* const game_over_lines[11];
extern const char* const win_story_lines[6];
extern const int win_story_rows[6];

// "Game Over!", a random line, then the high-score screen with the score.
void show_game_over();

// "You win!" with its story, then the high-score screen with the score.
void show_win_screen();
