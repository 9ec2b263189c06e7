// The media generator's parts: each makes one kind of item from code.
#ifndef VORN_MEDIA_H
#define VORN_MEDIA_H

#include <allegro.h>

// Only the item indices and the password: the generator shares nothing else with the game.
#include "shell/data_items.h"

#include <cstdint>
#include <string>
#include <vector>

namespace media {

// Every index up to LAST_ITEM that the game does not read holds a small filler.
constexpr int LAST_ITEM = DATA_ITEM_COUNT - 1;

constexpr int GHOST_SIZE = 48;
constexpr int VANISH_SIZE = 128;

// Pictures: 16-bit memory bitmaps, mask colour around the shape. The caller destroys them.
BITMAP *make_ghost(int which);
BITMAP *make_vanish_frame(int frame);
BITMAP *make_shard();
BITMAP *make_filler(int index);

// The ghost drawn at size x size pixels for the desktop's icon: RGBA rows, transparent around it.
std::vector<uint8_t> make_ghost_icon(int which, int size);

// Renders printable ASCII from a TrueType file into the library's 8-bit font grid.
struct FontStyle {
    std::string ttf_path;
    int pixel_size;
    int max_height;   // cell height limit; glyph parts beyond it are cut
    bool drips;       // ghostly drips hanging from the letters' feet
};
// Returns an empty string on success, else the reason.
std::string write_font_grid(const FontStyle &style, const std::string &bmp_path);

// The beam's zap as 16-bit mono samples at the given rate.
std::vector<int16_t> make_zap(int rate);
bool write_wav(const std::string &path, const std::vector<int16_t> &samples, int rate);

}  // namespace media

#endif
