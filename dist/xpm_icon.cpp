// Writes the desktop icon's ghost as a C++ source holding an XPM picture, the form in which the
// library takes the X window's icon:   xpm-icon <out.cpp>
#include "media.h"

#include <cstdio>
#include <map>
#include <string>

int main(int argc, char** argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: %s <out.cpp>\n", argv[0]);
        return 2;
    }
    const int size = 48;
    const std::vector<uint8_t> rgba = media::make_ghost_icon(0, size);
    // Two characters a colour; each colour kept to 4 bits a channel, so that few are needed.
    const std::string digits = "0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ";
    std::map<int, std::string> codes;
    std::vector<std::string> rows(size);
    for (int i = 0; i < size * size; ++i) {
        const uint8_t* p = &rgba[i * 4];
        const int colour = p[3] < 128 ? -1 : (p[0] >> 4) << 8 | (p[1] >> 4) << 4 | p[2] >> 4;
        auto found = codes.find(colour);
        if (found == codes.end()) {
            const std::size_t n = codes.size();
            found = codes.emplace(colour, std::string{digits[n / digits.size()], digits[n % digits.size()]}).first;
        }
        rows[i / size] += found->second;
    }
    FILE* out = fopen(argv[1], "w");
    if (!out)
        return 1;
    fprintf(out, "// Made by xpm-icon from the desktop icon's ghost.\nextern const char* const game_icon_xpm[];\n"
                 "const char* const game_icon_xpm[] = {\n    \"%d %d %zu 2\",\n", size, size, codes.size());
    for (const auto& [colour, code] : codes) {
        if (colour < 0)
            fprintf(out, "    \"%s c None\",\n", code.c_str());
        else
            fprintf(out, "    \"%s c #%02x%02x%02x\",\n", code.c_str(), (colour >> 8) * 17, (colour >> 4 & 15) * 17,
                    (colour & 15) * 17);
    }
    for (const std::string& row : rows)
        fprintf(out, "    \"%s\",\n", row.c_str());
    fprintf(out, "};\n");
    return fclose(out) == 0 ? 0 : 1;
}
