// Process entry: the command line, start-up, the title menu, then play for ever.
#include <cstdio>
#include <cstdlib>

#include "frontend/title_menu.h"
#include "platform/command_line.h"
#include "platform/display.h"
#include "platform/settings.h"
#include "platform/system.h"
#include "shell/game_state.h"
#include "shell/main_loop.h"
#include "shell/startup.h"

int main(int argc, char** argv) {
    start_platform(datafile_trial);
    CommandLine line = parse_command_line(argc, argv);
    if (!line.run)
        return line.exit_status;
    if (!scale_fits_desktop(line.choice))
        return 2;
    // The launcher's word on the sound, said once the game really starts.
    if (const char* note = getenv("VORN_START_NOTE"))
        fprintf(stderr, "ghosts-of-vorn: %s\n", note);
    if (!line.fullscreen_given)
        line.choice.fullscreen = load_fullscreen_choice();
    init_game(line.choice);
    set_volume(255, 200);
    if (midi_pos < 0)
        play_random_track();
    run_title_menu();
    clear_bitmap(game_screen);
    for (;;)
        main_loop_pass();
}
END_OF_MAIN()
