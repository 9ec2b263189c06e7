// Start-up and the one way out of the game.
#pragma once

#include <allegro.h>

#include "platform/display.h"

// Brings up the library, the display as chosen, sound, datafile and the game's own bitmaps.
void init_game(const DisplayChoice& choice = DisplayChoice());

// The datafile at path, read under its password; nullptr when it does not load.
DATAFILE* load_game_data(const char* path);

// Frees the resources and ends the process with status 1.
[[noreturn]] void shutdown_game();

// Loads the datafile at path as the game does and says whether it loaded, for the system's trial.
bool datafile_trial(const char* path);
