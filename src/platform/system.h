// What the game asks of the operating system beyond the library; one file a system answers it.
#pragma once

#include <cstddef>
#include <string>

// Loads the datafile at path in this process and says whether it loaded.
using DatafileTrial = bool (*)(const char* path);

// Called first thing in main, with the game's own load of its datafile: whatever the system
// needs for the whole run.
void start_platform(DatafileTrial trial);

// Called before the sound starts: a sound library's own complaints (no card, no mixer) are kept
// from the player, who is told once by the game whether there is sound.
void hush_sound_library();

// True when the datafile at path loads without bringing the process down; the library crashes
// instead of failing on one that ends early or is corrupt.
bool datafile_loads(const char* path);

// The folder of the game's own settings, or "" when the system names none.
std::string settings_folder();

// Up to max_bytes of a plain file; false when it is missing, unreadable or not a plain file
// (a FIFO or a device would block or never end).
bool read_plain_file(const std::string& path, std::string& text, std::size_t max_bytes);

// Replaces the file at path with bytes, whole or not at all and lasting through a power cut,
// keeping the old file's permissions. A file the player made read-only is left as it is. False,
// with errno set, when nothing was replaced.
bool replace_file(const std::string& path, const std::string& bytes);
