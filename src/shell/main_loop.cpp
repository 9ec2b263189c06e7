// The main loop's pass, the logic step, the countdown and the music.
#include "shell/main_loop.h"

#include "frontend/title_menu.h"
#include "levels/end_screens.h"
#include "levels/level_flow.h"
#include "play/beam.h"
#include "play/crosshair.h"
#include "play/ghost.h"
#include "play/vanish.h"
#include "shell/frame.h"
#include "shell/game_state.h"
#include "shell/pacing.h"
#include "shell/random.h"

void play_random_track() {
    play_midi(item_midi(MUSIC_TRACK_FIRST + rand_from(0, MUSIC_TRACK_COUNT)), 0);
}

void logic_step() {
    update_crosshair();
    update_ghosts();
    update_vanish_effects();
    update_beam();
    if (ghosts.empty())
        start_next_level();

    tick_in_second += 1;
    if (tick_in_second >= 60) {
        tick_in_second = 0;
        time_left -= 1;
    }

    // The library reports a negative position once a track has ended.
    if (midi_pos < 0 || key[KEY_M]) {
        stop_midi();
        play_random_track();
    }
}

void main_loop_pass() {
    sleep_until_tick();
    while (logic_ticks > 0) {
        quit_if_closed();
        if (key[KEY_ESC] || time_left <= 0) {
            show_game_over();
            run_title_menu();
            logic_ticks = 0;
        }
        logic_step();
        logic_ticks--;
    }
    quit_if_closed();
    draw_frame();
}
