// Fixed indices of the items in "data.dat", and typed access to them.
#pragma once

#include "shell/game_state.h"

// The datafile's password, as the media generator writes it.
constexpr const char* DATA_PASSWORD = "mangotwist";

enum DataItem {
    GHOST_PICTURE_FIRST = 4,   // 4..9
    GHOST_PICTURE_COUNT = 6,
    VANISH_FRAME_FIRST = 14,   // 14..18
    VANISH_FRAME_COUNT = 5,
    SHARD_PICTURE = 32,
    HEADING_FONT = 86,
    TEXT_FONT = 96,
    MUSIC_TRACK_FIRST = 97,    // 97..101
    MUSIC_TRACK_COUNT = 5,
    BEAM_SAMPLE = 107,
    DATA_ITEM_COUNT = 108
};

inline BITMAP* item_bitmap(int index) { return static_cast<BITMAP*>(game_data[index].dat); }
inline FONT* item_font(int index) { return static_cast<FONT*>(game_data[index].dat); }
inline MIDI* item_midi(int index) { return static_cast<MIDI*>(game_data[index].dat); }
inline SAMPLE* item_sample(int index) { return static_cast<SAMPLE*>(game_data[index].dat); }

inline int white() { return makecol(255, 255, 255); }
