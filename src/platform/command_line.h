// The command line: how the game shows itself, help and version.
#pragma once

#include "platform/display.h"

// What the command line asks: play with the display choice, or end at once with a status.
struct CommandLine {
    bool run = true;
    int exit_status = 0;
    bool fullscreen_given = false;  // --window or --fullscreen given: not the remembered choice
    DisplayChoice choice;
};

// Reads the options; help and the version go to stdout, a usage error to stderr.
CommandLine parse_command_line(int argc, char** argv);

// False, with the reason on stderr, when a window at the scale asked for would not fit the desktop.
bool scale_fits_desktop(const DisplayChoice& choice);
