// Process entry: start-up, the title menu, then play for ever.
#include "frontend/title_menu.h"
#include "shell/game_state.h"
#include "shell/main_loop.h"
#include "shell/startup.h"

int main() {
    init_game();
    set_volume(255, 200);
    if (midi_pos < 0)
        play_random_track();
    run_title_menu();
    clear_bitmap(screen);
    for (;;)
        main_loop_pass();
}
END_OF_MAIN()
