// Fuzz target: any bytes as "datapath.cfg", read for the datafile's path.
#include <allegro.h>
#include <iconv.h>

#include <algorithm>
#include <cerrno>

#include "fuzz.h"
#include "shell/datapath.h"

namespace {

// The game's own settings while the path is read: datapath.cfg must leave them as they were.
const char GAME_CONFIG[] = "[sound]\nalsa_device = null\n[data]\nfile = kept.dat\n";

// Text the library reads safely: UTF-8 by the C library's own decoder (other bytes can hang it),
// with no line of 256 bytes or more holding non-ASCII (it writes past its buffer); CR ends a line too.
bool library_can_read(std::string text) {
    static const iconv_t decoder = iconv_open("UTF-32LE", "UTF-8");
    std::string out(4 * text.size(), '\0');
    char *in = text.data(), *out_p = out.data();
    std::size_t in_left = text.size(), out_left = out.size();
    iconv(decoder, nullptr, nullptr, nullptr, nullptr);
    if (iconv(decoder, &in, &in_left, &out_p, &out_left) == static_cast<std::size_t>(-1))
        return false;
    for (std::size_t start = 0, end; start <= text.size(); start = end + 1) {
        end = std::min(text.find_first_of("\r\n", start), text.size());
        if (end - start >= 256 && std::any_of(&text[start], &text[end], [](char c) { return c & 0x80; }))
            return false;
    }
    return true;
}

// Settings and files need no system driver; the game's settings, from memory, are never written back.
bool start_library() {
    check(install_allegro(SYSTEM_NONE, &errno, std::atexit) == 0, "the library starts");
    set_config_data(GAME_CONFIG, sizeof GAME_CONFIG - 1);
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzFolder folder;
    [[maybe_unused]] static const bool started = start_library();
    const std::string text(reinterpret_cast<const char*>(data), size);
    check(write_file("datapath.cfg", text), "the input is written");

    // What the library says when it reads the same bytes from memory, where it can.
    std::string said;
    if (library_can_read(text)) {
        push_config_state();
        set_config_data(text.data(), static_cast<int>(size));
        said = get_config_string("data", "path", "");
        pop_config_state();
    }
    check(datafile_path("data.dat") == (said.empty() ? "data.dat" : said),
          "the path is the file's [data] path, or the default");
    check(std::string(get_config_string("sound", "alsa_device", "")) == "null" &&
              std::string(get_config_string("data", "file", "")) == "kept.dat" &&
              !get_config_string("data", "path", nullptr),
          "the game's own settings are back, without the file's");
    return 0;
}
