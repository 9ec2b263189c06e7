// The command line, read as a Linux player expects it.
#include "platform/command_line.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/desktop.h"

#ifndef VORN_VERSION
#define VORN_VERSION "unknown"
#endif

namespace {

const char* const usage_text =
    "Usage: ghosts-of-vorn [--window | --fullscreen | --scale N]\n";

const char* const help_text =
    "Hunt the ghosts of Vorn with the X-Beam.\n"
    "\n"
    "  --window      play in a window, as large as the desktop allows (the default)\n"
    "  --fullscreen  play full screen on the monitor the window is on\n"
    "  --scale N     play in a window N times 640x480\n"
    "  --help        show this help and exit\n"
    "  --version     show the version and exit\n"
    "\n"
    "Alt+Enter or F11 switches between window and full screen at any time; the game remembers\n"
    "the choice for its next start.\n";

CommandLine usage_error(const char* what, const char* option) {
    fprintf(stderr, "ghosts-of-vorn: %s '%s'\n%sTry 'ghosts-of-vorn --help' for more.\n", what, option, usage_text);
    CommandLine line;
    line.run = false;
    line.exit_status = 2;
    return line;
}

// A whole factor from 1 to 16 written in plain digits, or 0.
int parse_scale(const char* text) {
    if (!text || !*text || strlen(text) > 2 || strspn(text, "0123456789") != strlen(text))
        return 0;
    const int n = atoi(text);
    return n >= 1 && n <= 16 ? n : 0;
}

}  // namespace

CommandLine parse_command_line(int argc, char** argv) {
    CommandLine line;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            printf("%s%s", usage_text, help_text);
            line.run = false;
            return line;
        }
        if (arg == "--version") {
            printf("ghosts-of-vorn %s\n", VORN_VERSION);
            line.run = false;
            return line;
        }
        if (arg == "--window" || arg == "--fullscreen") {
            line.choice.fullscreen = arg == "--fullscreen";
            line.choice.scale = 0;
            line.fullscreen_given = true;
        } else if (arg == "--scale" || arg.rfind("--scale=", 0) == 0) {
            const char* value = arg == "--scale" ? (i + 1 < argc ? argv[++i] : nullptr) : argv[i] + 8;
            line.choice.scale = parse_scale(value);
            if (line.choice.scale == 0)
                return usage_error("--scale wants a whole factor from 1 to 16, not", value ? value : "");
            line.choice.fullscreen = false;
            line.fullscreen_given = true;
        } else {
            return usage_error("unknown option", argv[i]);
        }
    }
    return line;
}

bool scale_fits_desktop(const DisplayChoice& choice) {
    if (choice.scale <= 0)
        return true;
    const DesktopArea work = work_area_on(monitor_of_window());
    const int largest = window_scale_for(work);
    if (choice.scale <= largest)
        return true;
    fprintf(stderr, "ghosts-of-vorn: a window at %dx (%dx%d) does not fit this desktop (%dx%d); the largest is %dx\n",
            choice.scale, PICTURE_W * choice.scale, PICTURE_H * choice.scale, work.w, work.h, largest);
    return false;
}
