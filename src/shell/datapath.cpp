// Reading "datapath.cfg" safely before the library's config reader sees it.
#include "shell/datapath.h"

#include <allegro.h>

#include <cstdio>

#include "platform/system.h"

namespace {

// More than any path needs; a device linked there would otherwise be read without end.
constexpr size_t max_config_bytes = 64 * 1024;

// Well-formed UTF-8: no overlong forms, surrogates or code points past U+10FFFF.
bool is_utf8(const std::string& text) {
    for (size_t i = 0; i < text.size();) {
        const unsigned char c = text[i];
        int more = 0;
        unsigned min = 0, code = c;
        if (c >= 0xF0 && c <= 0xF4)
            more = 3, min = 0x10000, code = c & 0x07;
        else if (c >= 0xE0 && c <= 0xEF)
            more = 2, min = 0x800, code = c & 0x0F;
        else if (c >= 0xC2 && c <= 0xDF)
            more = 1, min = 0x80, code = c & 0x1F;
        else if (c >= 0x80)
            return false;
        if (text.size() - i <= static_cast<size_t>(more))
            return false;
        for (int k = 1; k <= more; ++k) {
            const unsigned char next = text[i + k];
            if ((next & 0xC0) != 0x80)
                return false;
            code = code << 6 | (next & 0x3F);
        }
        if (code < min || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
            return false;
        i += more + 1;
    }
    return true;
}

// The library's line reader writes past its buffer on some lines of 256 bytes or more that hold
// multi-byte characters; shorter lines and plain ASCII ones it reads correctly. It ends a line
// at a carriage return as well as at a line feed.
bool lines_fit_reader(const std::string& text) {
    size_t line_start = 0;
    bool multi_byte = false;
    for (size_t i = 0; i <= text.size(); ++i) {
        if (i == text.size() || text[i] == '\n' || text[i] == '\r') {
            if (multi_byte && i - line_start >= 256)
                return false;
            line_start = i + 1;
            multi_byte = false;
        } else if (static_cast<unsigned char>(text[i]) >= 0x80) {
            multi_byte = true;
        }
    }
    return true;
}

}  // namespace

std::string datafile_path(const char* default_name) {
    std::string text;
    if (!read_plain_file("datapath.cfg", text, max_config_bytes))
        return default_name;
    // The library's reader loops forever on some byte sequences that are not UTF-8.
    if (!is_utf8(text) || !lines_fit_reader(text)) {
        fprintf(stderr, "The Ghosts of Vorn: datapath.cfg is not UTF-8 text, or has a line of 256 bytes "
                        "or more with non-ASCII characters; looking for %s\n", default_name);
        return default_name;
    }
    push_config_state();
    set_config_data(text.data(), static_cast<int>(text.size()));
    const char* value = get_config_string("data", "path", default_name);
    std::string path = (value && *value) ? value : default_name;
    pop_config_state();
    return path;
}
