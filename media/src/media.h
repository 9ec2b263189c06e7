// The media generator's parts: each makes one kind of item from code.
#ifndef VORN_MEDIA_H
#define VORN_MEDIA_H

#include <allegro.h>

#include <cstdint>
#include <string>
#include <vector>

namespace media {

// Datafile indices the game reads; every other index up to LAST_ITEM holds a filler.
constexpr int FIRST_GHOST = 4;
constexpr int GHOST_COUNT = 6;
constexpr int FIRST_VANISH = 14;
constexpr int VANISH_COUNT = 5;
constexpr int SHARD = 32;
constexpr int HEADING_FONT = 86;
constexpr int TEXT_FONT = 96;
constexpr int FIRST_TRACK = 97;
constexpr int TRACK_COUNT = 5;
constexpr int ZAP = 107;
constexpr int LAST_ITEM = 107;

constexpr int GHOST_SIZE = 48;
constexpr int VANISH_SIZE = 128;

// Pictures: 16-bit memory bitmaps, mask colour around the shape. The caller destroys them.
BITMAP *make_ghost(int which);
BITMAP *make_vanish_frame(int frame);
BITMAP *make_shard();
BITMAP *make_filler(int index);

// Renders printable ASCII from a TrueType file into the library's 8-bit font grid.
struct FontStyle {
    std::string ttf_path;
    int pixel_size;
    int max_height;   // cell height limit; glyph parts beyond it are cut
    bool drips;       // ghostly drips hanging from the letters' feet
};
// Returns an empty string on success, else the reason.
std::string write_font_grid(const FontStyle &style, const std::string &bmp_path);

// A Standard MIDI File (type 1) of the given track, 0..TRACK_COUNT-1.
std::vector<uint8_t> make_track(int which);

// The beam's zap as 16-bit mono samples at the given rate.
std::vector<int16_t> make_zap(int rate);
bool write_wav(const std::string &path, const std::vector<int16_t> &samples, int rate);

}  // namespace media

#endif
