// Fuzz target: any bytes as "datapath.cfg", read for the datafile's path.
// The library needs no system driver for configuration and files: SYSTEM_NONE is enough.
#include <allegro.h>
#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz_folder.h"
#include "shell/datapath.h"

namespace {

// The game's configuration while the path is read: datapath.cfg must leave it as it was.
const char GAME_CONFIG[] = "[sound]\nalsa_device = null\n[data]\nfile = kept.dat\n";

// Stops the run with the broken rule; libFuzzer keeps the input.
void check(bool ok, const char* rule) {
    if (!ok) {
        std::fprintf(stderr, "datapath rule broken: %s\n", rule);
        std::abort();
    }
}

// The C library's own UTF-8 decoder decides, independently of the game's check.
bool is_utf8(const std::uint8_t* data, std::size_t size) {
    static const iconv_t decoder = iconv_open("UTF-32LE", "UTF-8");
    iconv(decoder, nullptr, nullptr, nullptr, nullptr);
    char* in = const_cast<char*>(reinterpret_cast<const char*>(data));
    std::size_t in_left = size;
    std::vector<char> out(4 * size + 4);
    char* out_p = out.data();
    std::size_t out_left = out.size();
    return iconv(decoder, &in, &in_left, &out_p, &out_left) != static_cast<std::size_t>(-1) && in_left == 0;
}

// A line the library cannot read without writing past its buffer; it ends lines at CR and LF.
bool long_line_with_multi_byte(const std::uint8_t* data, std::size_t size) {
    const std::uint8_t* end = data + size;
    for (const std::uint8_t* line = data; line < end;) {
        const std::uint8_t* next = std::find_if(line, end, [](std::uint8_t b) { return b == '\n' || b == '\r'; });
        if (next - line >= 256 && std::any_of(line, next, [](std::uint8_t b) { return b >= 0x80; }))
            return true;
        line = next + 1;
    }
    return false;
}

// Both strings there and the same.
bool equal(const char* a, const char* b) { return a && b && std::strcmp(a, b) == 0; }

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    FuzzFolder folder;
    if (install_allegro(SYSTEM_NONE, &errno, std::atexit) != 0)
        std::abort();
    // From memory, so that nothing is ever written back to a file.
    set_config_data(GAME_CONFIG, sizeof GAME_CONFIG - 1);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzFolder folder;
    write_input("datapath.cfg", data, size);

    // What the same bytes say when the library reads them from memory. Text it cannot read
    // safely is never handed to it: bytes that are not UTF-8 can hang it, and a line of 256 bytes
    // or more with multi-byte characters makes it write past its buffer.
    std::string said = "data.dat";
    if (is_utf8(data, size) && !long_line_with_multi_byte(data, size)) {
        push_config_state();
        set_config_data(reinterpret_cast<const char*>(data), static_cast<int>(size));
        const char* value = get_config_string("data", "path", nullptr);
        if (value && *value)
            said = value;
        pop_config_state();
    }

    const std::string path = datafile_path("data.dat");
    check(path == said, "the path is the file's [data] path, or the default when it is missing, empty or not UTF-8");
    check(equal(get_config_string("sound", "alsa_device", nullptr), "null"), "the game's settings are back");
    check(equal(get_config_string("data", "file", nullptr), "kept.dat"), "the game's [data] section is back");
    check(get_config_string("data", "path", nullptr) == nullptr, "the file's path does not stay in the settings");
    return 0;
}
