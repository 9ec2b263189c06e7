// The game's own settings file, kept apart from the library's allegro.cfg.
#include "platform/settings.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <system_error>

#include "platform/system.h"

namespace fs = std::filesystem;

namespace {

// Far more than the file ever holds; anything longer is not ours.
constexpr std::size_t max_settings_bytes = 4096;

std::string trimmed(const std::string& s) {
    const auto begin = s.find_first_not_of(" \t\r");
    if (begin == std::string::npos)
        return "";
    return s.substr(begin, s.find_last_not_of(" \t\r") - begin + 1);
}

// The value of "fullscreen = yes|no", or -1 when the text says anything else.
int parse_settings(const std::string& text) {
    std::istringstream lines(text);
    std::string line;
    int fullscreen = -1;
    while (std::getline(lines, line)) {
        line = trimmed(line);
        if (line.empty() || line[0] == '#')
            continue;
        const auto eq = line.find('=');
        if (eq == std::string::npos || trimmed(line.substr(0, eq)) != "fullscreen")
            return -1;
        const std::string value = trimmed(line.substr(eq + 1));
        if (value != "yes" && value != "no")
            return -1;
        fullscreen = value == "yes";
    }
    return fullscreen;
}

}  // namespace

std::string settings_path() {
    const std::string folder = settings_folder();
    return folder.empty() ? "" : (fs::path(folder) / "display.cfg").string();
}

bool load_fullscreen_choice(const std::string& path) {
    std::string text;
    if (path.empty() || !read_plain_file(path, text, max_settings_bytes + 1))
        return false;
    const int fullscreen = text.size() > max_settings_bytes ? -1 : parse_settings(text);
    if (fullscreen < 0) {
        fprintf(stderr, "The Ghosts of Vorn: %s is not understood; starting in a window\n", path.c_str());
        return false;
    }
    return fullscreen == 1;
}

bool load_fullscreen_choice() { return load_fullscreen_choice(settings_path()); }

void save_fullscreen_choice(const std::string& path, bool fullscreen) {
    if (path.empty())
        return;
    std::error_code error;
    fs::create_directories(fs::path(path).parent_path(), error);
    const std::string text = std::string("# The Ghosts of Vorn: how the game last showed itself (Alt+Enter or F11 switches)\n") +
                             "fullscreen = " + (fullscreen ? "yes" : "no") + "\n";
    if (!replace_file(path, text))
        fprintf(stderr, "The Ghosts of Vorn: %s could not be written: %s\n", path.c_str(), strerror(errno));
}

void save_fullscreen_choice(bool fullscreen) { save_fullscreen_choice(settings_path(), fullscreen); }
