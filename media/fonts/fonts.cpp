// Bitmap fonts rendered from a TrueType file into the grid the library imports:
// glyph cells of colour 0 with ink in colour 1, separated by lines of colour 255.
#include "media.h"

#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>

namespace media {
namespace {

constexpr int FIRST_CHAR = 32, LAST_CHAR = 126, PER_ROW = 16;
constexpr int BORDER = 255, INK = 1;

struct Glyph {
    int width = 1;
    std::vector<uint8_t> ink;  // width x cell height
};

// Narrow drips hanging from the feet of a letter: two pixels wide, rounded off.
void add_drips(Glyph &g, int baseline, int height, unsigned seed)
{
    for (int x = 1; x + 1 < g.width; x++) {
        bool foot = g.ink[(baseline - 1) * g.width + x] && g.ink[(baseline - 1) * g.width + x + 1];
        seed = seed * 1103515245u + 12345u;
        if (!foot || (seed >> 16) % 5 != 0) continue;
        int len = 2 + (seed >> 20) % std::max(1, height - baseline - 2);
        for (int y = baseline; y < std::min(height, baseline + len); y++) {
            g.ink[y * g.width + x] = 1;
            if (y < baseline + len - 1) g.ink[y * g.width + x + 1] = 1;
        }
        x += 3;
    }
}

}  // namespace

std::string write_font_grid(const FontStyle &style, const std::string &bmp_path)
{
    FT_Library lib;
    FT_Face face;
    if (FT_Init_FreeType(&lib)) return "cannot start FreeType";
    if (FT_New_Face(lib, style.ttf_path.c_str(), 0, &face)) {
        FT_Done_FreeType(lib);
        return "cannot open " + style.ttf_path;
    }
    FT_Set_Pixel_Sizes(face, 0, style.pixel_size);

    struct Raw {
        int left, top, w, h, advance, pitch;
        std::vector<uint8_t> bits;
    };
    std::vector<Raw> raw;
    int ascent = 0, descent = 0, shift = 0;
    for (int ch = FIRST_CHAR; ch <= LAST_CHAR; ch++) {
        if (FT_Load_Char(face, ch, FT_LOAD_RENDER | FT_LOAD_TARGET_MONO | FT_LOAD_MONOCHROME)) {
            FT_Done_Face(face);
            FT_Done_FreeType(lib);
            return "cannot render character " + std::to_string(ch);
        }
        FT_GlyphSlot s = face->glyph;
        Raw r{s->bitmap_left, s->bitmap_top, (int)s->bitmap.width, (int)s->bitmap.rows,
              (int)(s->advance.x >> 6), s->bitmap.pitch, {}};
        r.bits.assign(s->bitmap.buffer, s->bitmap.buffer + std::abs(r.pitch) * r.h);
        if (r.h > 0) {
            ascent = std::max(ascent, r.top);
            descent = std::max(descent, r.h - r.top);
        }
        shift = std::max(shift, -r.left);
        raw.push_back(std::move(r));
    }
    FT_Done_Face(face);
    FT_Done_FreeType(lib);

    if (style.drips) descent = std::max(descent, style.pixel_size / 4);
    // Over the height limit, cut the rare deep descenders and tall ascenders evenly.
    while (ascent + descent > style.max_height) {
        if (descent > ascent / 3) descent--;
        else ascent--;
    }
    const int height = ascent + descent;

    std::vector<Glyph> glyphs;
    for (size_t i = 0; i < raw.size(); i++) {
        const Raw &r = raw[i];
        Glyph g;
        int ox = r.left + shift;
        g.width = std::max({1, r.advance, ox + r.w});
        g.ink.assign(g.width * height, 0);
        for (int y = 0; y < r.h; y++)
            for (int x = 0; x < r.w; x++) {
                if (!(r.bits[y * r.pitch + x / 8] & (0x80 >> (x % 8)))) continue;
                int gy = ascent - r.top + y;
                if (gy >= 0 && gy < height) g.ink[gy * g.width + ox + x] = 1;
            }
        if (style.drips) add_drips(g, ascent, height, 977u * (unsigned)(i + 1));
        glyphs.push_back(std::move(g));
    }

    const int rows = ((int)glyphs.size() + PER_ROW - 1) / PER_ROW;
    int grid_w = 1;
    for (int row = 0; row < rows; row++) {
        int w = 1;
        for (int i = row * PER_ROW; i < std::min((int)glyphs.size(), (row + 1) * PER_ROW); i++) w += glyphs[i].width + 1;
        grid_w = std::max(grid_w, w);
    }
    BITMAP *grid = create_bitmap_ex(8, grid_w, 1 + rows * (height + 1));
    clear_to_color(grid, BORDER);
    for (int row = 0; row < rows; row++) {
        int x0 = 1, y0 = 1 + row * (height + 1);
        for (int i = row * PER_ROW; i < std::min((int)glyphs.size(), (row + 1) * PER_ROW); i++) {
            const Glyph &g = glyphs[i];
            for (int y = 0; y < height; y++)
                for (int x = 0; x < g.width; x++) putpixel(grid, x0 + x, y0 + y, g.ink[y * g.width + x] ? INK : 0);
            x0 += g.width + 1;
        }
    }
    PALETTE pal;
    for (int i = 0; i < PAL_SIZE; i++) pal[i].r = pal[i].g = pal[i].b = 0;
    pal[INK].r = pal[INK].g = pal[INK].b = 63;
    pal[BORDER].r = 63;
    pal[BORDER].g = 63;
    int failed = save_bmp(bmp_path.c_str(), grid, pal);
    destroy_bitmap(grid);
    return failed ? "cannot write " + bmp_path : "";
}

}  // namespace media
