// Definitions of the program-wide game state, with their start values.
#include "shell/game_state.h"

int score = 0;
int start_time = 120;
int time_left = start_time;
int level = 0;
int levels_since_bomb = 0;
int flash_bombs = 0;
int heat = 0;
int max_heat = 200;
int tick_in_second = 0;

std::atomic<int> logic_ticks{0};

DATAFILE* game_data = nullptr;
BITMAP* back_buffer = nullptr;
BITMAP* beam_spot = nullptr;
BITMAP* crosshair_image = nullptr;
BITMAP* crosshair_sprite = nullptr;

int beam_voice = NO_VOICE;
