// Process entry: the command line, start-up, the title menu, then play for ever.
#include <cstdlib>

#include "frontend/title_menu.h"
#include "shell/command_line.h"
#include "shell/display.h"
#include "shell/game_state.h"
#include "shell/main_loop.h"
#include "shell/platform.h"
#include "shell/settings.h"
#include "shell/startup.h"

int main(int argc, char** argv) {
    start_platform();
    CommandLine line = parse_command_line(argc, argv);
    if (!line.run)
        return line.exit_status;
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
