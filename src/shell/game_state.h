// Program-wide game state shared by every part of the game.
#pragma once

#include <allegro.h>
#include <atomic>

#include "shell/data_items.h"

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

// The datafile's items, by their fixed index.
inline BITMAP* item_bitmap(int index) { return static_cast<BITMAP*>(game_data[index].dat); }
inline FONT* item_font(int index) { return static_cast<FONT*>(game_data[index].dat); }
inline MIDI* item_midi(int index) { return static_cast<MIDI*>(game_data[index].dat); }
inline SAMPLE* item_sample(int index) { return static_cast<SAMPLE*>(game_data[index].dat); }

// The colour of almost every text.
inline int white() { return makecol(255, 255, 255); }

// The voice of the beam's last zap, or NO_VOICE while the beam holds none.
constexpr int NO_VOICE = -1;
extern int beam_voice;
