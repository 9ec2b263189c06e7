// Draws a contact sheet of data.dat for people to look at: every picture with its
// index, each ghost with its vanish frames where the game puts them, and both fonts.
//
//   media-sheet <data.dat> <out.bmp>
#include <allegro.h>

#include "shell/data_items.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <string>
#include <vector>

namespace {

const int SHEET_W = 830;

// Alpha the ghosts are commonly drawn with in play, and a fainter one under the bursts.
const int GHOST_ALPHA = 200, UNDER_ALPHA = 90;

struct Sheet {
    BITMAP *bmp = nullptr;
    int y = 8;
    int grey = 0, white = 0, dim = 0, black = 0, red = 0;

    void heading(const char *text)
    {
        y += 6;
        textout_ex(bmp, font, text, 8, y, white, -1);
        y += 14;
    }
};

void pictures(Sheet &s, DATAFILE *data)
{
    s.heading("Every picture, by index (grey shows the transparent area)");
    int x = 8, row_h = 0;
    for (int i = 0; data[i].type != DAT_END; i++) {
        if (data[i].type != DAT_BITMAP) continue;
        BITMAP *b = (BITMAP *)data[i].dat;
        int w = std::max(b->w, 32);
        if (x + w > SHEET_W - 8) {
            x = 8;
            s.y += row_h + 14;
            row_h = 0;
        }
        rectfill(s.bmp, x, s.y, x + b->w - 1, s.y + b->h - 1, s.dim);
        draw_sprite(s.bmp, b, x, s.y);
        textprintf_ex(s.bmp, font, x, s.y + b->h + 3, s.grey, -1, "%d", i);
        row_h = std::max(row_h, b->h);
        x += w + 10;
    }
    s.y += row_h + 16;
}

// Each ghost as in play, then under each vanish frame placed as the game places it:
// the frame's top-left at the ghost's top-left minus half the first frame's size.
void ghosts_and_bursts(Sheet &s, DATAFILE *data)
{
    s.heading("Ghosts in play, then each vanish frame where the game draws it");
    BITMAP *first = (BITMAP *)data[VANISH_FRAME_FIRST].dat;
    const int panel = std::max(first->w, first->h);
    for (int g = GHOST_PICTURE_FIRST; g < GHOST_PICTURE_FIRST + GHOST_PICTURE_COUNT; g++) {
        BITMAP *ghost = (BITMAP *)data[g].dat;
        for (int k = -1; k < VANISH_FRAME_COUNT; k++) {
            int px = 8 + (k + 1) * (panel + 6), py = s.y;
            rectfill(s.bmp, px, py, px + panel - 1, py + panel - 1, s.black);
            int gx = px + first->w / 2, gy = py + first->h / 2;
            set_trans_blender(0, 0, 0, k < 0 ? GHOST_ALPHA : UNDER_ALPHA);
            draw_trans_sprite(s.bmp, ghost, gx, gy);
            if (k >= 0) draw_sprite(s.bmp, (BITMAP *)data[VANISH_FRAME_FIRST + k].dat, gx - first->w / 2, gy - first->h / 2);
            textprintf_ex(s.bmp, font, px + 3, py + 3, s.grey, -1, k < 0 ? "%d" : "%d+%d", g, VANISH_FRAME_FIRST + k);
        }
        s.y += panel + 6;
    }
    s.y += 8;
}

// A 640-wide black strip stands for the screen, so overlong lines show at once.
void fonts(Sheet &s, DATAFILE *data)
{
    FONT *head = (FONT *)data[HEADING_FONT].dat, *text = (FONT *)data[TEXT_FONT].dat;
    s.heading("Fonts on a 640-pixel screen: headings at x 20, the widest texts at their x");
    struct Line {
        FONT *f;
        int x;
        const char *s;
    };
    const Line lines[] = {
        {head, 20, "The Ghosts of Vorn"},
        {head, 20, "High Scores!  Game Over!  Level 20"},
        {text, 20, "You have aqcuired a flash bomb! Hit the right mouse button to instantly kill all visible ghosts!"},
        {text, 40, "Be weary, however, for the ghosts travel in packs; and each pack has only but a few."},
        {text, 40, "Little did you know that Vorn was a planet which contained little life."},
        {text, 40, "It looks like the ghosts of Vorn still have most of the Red Gem!"},
        {text, 0, " !\"#$%&'()*+,-./0123456789:;<=>?@ABCDEFGHIJKLMNOPQRSTUVWXYZ[\\]^_`"},
        {text, 0, "abcdefghijklmnopqrstuvwxyz{|}~   Score: 000000000000000000   Hit A to continue"},
        {head, 0, "ABCDEFGHIJKLMNOPQRSTUVWXYZ"},
        {head, 0, "abcdefghijklmnopqrstuvwxyz"},
        {head, 0, "0123456789 !?.,:;'\"-+()&%$#@"},
    };
    int h = 8;
    for (const Line &l : lines) h += text_height(l.f) + 4;
    rectfill(s.bmp, 8, s.y, 8 + 640 - 1, s.y + h, s.black);
    int y = s.y + 6;
    for (const Line &l : lines) {
        textout_ex(s.bmp, l.f, l.s, 8 + l.x, y, s.white, -1);
        int end = 8 + l.x + text_length(l.f, l.s);
        if (end > 8 + 640) rectfill(s.bmp, 8 + 640, y, end, y + text_height(l.f) - 1, s.red);
        y += text_height(l.f) + 4;
    }
    textprintf_ex(s.bmp, font, 8 + 640 + 6, s.y, s.grey, -1, "<- 640");
    s.y += h + 12;
}

}  // namespace

int main(int argc, char **argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s data.dat out.bmp\n", argv[0]);
        return 2;
    }
    if (install_allegro(SYSTEM_NONE, &errno, atexit) != 0) return 1;
    set_color_depth(16);
    packfile_password(DATA_PASSWORD);
    DATAFILE *data = load_datafile(argv[1]);
    packfile_password(nullptr);
    if (!data) {
        std::fprintf(stderr, "cannot load %s\n", argv[1]);
        return 1;
    }
    Sheet s;
    s.bmp = create_bitmap(SHEET_W, 3000);
    s.grey = makecol(170, 170, 185);
    s.white = makecol(255, 255, 255);
    s.dim = makecol(70, 70, 86);
    s.black = makecol(0, 0, 0);
    s.red = makecol(255, 0, 0);
    clear_to_color(s.bmp, makecol(40, 40, 52));
    pictures(s, data);
    ghosts_and_bursts(s, data);
    fonts(s, data);

    BITMAP *out = create_sub_bitmap(s.bmp, 0, 0, SHEET_W, s.y);
    int failed = save_bmp(argv[2], out, nullptr);
    destroy_bitmap(out);
    destroy_bitmap(s.bmp);
    unload_datafile(data);
    return failed ? 1 : 0;
}
