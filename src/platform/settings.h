// The game's own remembered settings: whether it last played full screen.
#pragma once

#include <string>

// The settings file's path, or "" when the system has no place for it.
std::string settings_path();

// The remembered choice in the file at path: false (a window) when it is missing or unreadable;
// a file that is not understood also gives false, with a line on stderr.
bool load_fullscreen_choice(const std::string& path);
bool load_fullscreen_choice();

// Remembers the choice for the next start; the old file is replaced whole or not at all.
void save_fullscreen_choice(const std::string& path, bool fullscreen);
void save_fullscreen_choice(bool fullscreen);
