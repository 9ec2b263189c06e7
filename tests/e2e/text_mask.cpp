// Renders texts with the fonts of data.dat, so the end-to-end suite knows which pixels a text lights.
// Reads lines "FONT_INDEX<TAB>TEXT" on stdin; for each prints "WIDTH HEIGHT" and HEIGHT rows of 0/1.
#include <allegro.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>

int main(int argc, char** argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: %s DATAFILE < requests\n", argv[0]);
        return 2;
    }
    // No display is needed to draw into memory bitmaps.
    if (install_allegro(SYSTEM_NONE, &errno, atexit) != 0) {
        fprintf(stderr, "cannot start the library: %s\n", allegro_error);
        return 1;
    }
    set_color_depth(16);
    set_color_conversion(COLORCONV_TOTAL);
    packfile_password("mangotwist");
    DATAFILE* data = load_datafile(argv[1]);
    packfile_password(nullptr);
    if (!data) {
        fprintf(stderr, "cannot load %s\n", argv[1]);
        return 1;
    }
    int count = 0;
    while (data[count].type != DAT_END)
        ++count;

    std::string line;
    while (std::getline(std::cin, line)) {
        const std::size_t tab = line.find('\t');
        const int index = (tab == std::string::npos) ? -1 : atoi(line.substr(0, tab).c_str());
        if (index < 0 || index >= count || data[index].type != DAT_FONT) {
            fprintf(stderr, "no font at item %d\n", index);
            return 1;
        }
        const std::string text = line.substr(tab + 1);
        FONT* font = static_cast<FONT*>(data[index].dat);
        const int w = text_length(font, text.c_str());
        const int h = text_height(font);
        BITMAP* bmp = create_bitmap(std::max(w, 1), std::max(h, 1));
        clear_bitmap(bmp);
        textout_ex(bmp, font, text.c_str(), 0, 0, makecol(255, 255, 255), -1);
        printf("%d %d\n", w, h);
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x)
                putchar(getpixel(bmp, x, y) != 0 ? '1' : '0');
            putchar('\n');
        }
        fflush(stdout);
        destroy_bitmap(bmp);
    }
    unload_datafile(data);
    return 0;
}
END_OF_MAIN()
