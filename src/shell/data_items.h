// What the game and the media generator agree on about "data.dat": its items' fixed indices and its password.
#pragma once

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
