// The main loop's pass, the logic step, the countdown and the music.
#include "shell/main_loop.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>

#include "frontend/title_menu.h"
#include "levels/end_screens.h"
#include "levels/level_flow.h"
#include "play/beam.h"
#include "play/crosshair.h"
#include "play/ghost.h"
#include "play/vanish.h"
#include "shell/data_items.h"
#include "shell/display.h"
#include "shell/frame.h"
#include "shell/game_state.h"
#include "shell/startup.h"

void timer_tick() { logic_ticks++; }
END_OF_FUNCTION(timer_tick)

int rand_from(int base, int span) { return base + rand() % span; }

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

// Nothing moves between ticks, so a frame more than one a tick would show the same picture.
// The timer's phase is learnt from the last tick seen arrive, so that most of a wait is one
// sleep instead of many short ones.
void sleep_until_tick() {
    using namespace std::chrono;
    constexpr microseconds tick_period{1000000 / 60};
    static steady_clock::time_point last_arrival;
    bool waited = false;
    poll_display();
    while (logic_ticks <= 0) {
        quit_if_closed();
        const auto ahead = duration_cast<milliseconds>(last_arrival + tick_period - steady_clock::now()) - 2ms;
        rest(std::max<int>(1, static_cast<int>(ahead.count())));
        waited = true;
    }
    if (waited)
        last_arrival = steady_clock::now();
}

void rest_a_moment() {
    quit_if_closed();
    poll_display();
    rest(1000 / 60);
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
