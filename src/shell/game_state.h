// Program-wide game state shared by every part of the game.
#pragma once

#include <allegro.h>
#include <atomic>

extern int score;
extern int time_left;
extern int start_time;
extern int level;
extern int levels_since_bomb;
extern int flash_bombs;
extern int heat;
extern int max_heat;
extern int tick_in_second;

// Raised by the timer callback, consumed by the loops of the main thread.
extern std::atomic<int> logic_ticks;

extern DATAFILE* game_data;
extern BITMAP* back_buffer;
extern BITMAP* beam_spot;
extern BITMAP* crosshair_image;
extern BITMAP* crosshair_sprite;

// The voice of the beam's last zap, or NO_VOICE while the beam holds none.
constexpr int NO_VOICE = -1;
extern int beam_voice;
