// The waits, and the close button that any of them may have to act on.
#include "shell/pacing.h"

#include <algorithm>
#include <atomic>
#include <chrono>

#include "platform/display.h"
#include "shell/game_state.h"

void (*wait_hook)(int scancode, bool press) = nullptr;

namespace {

// Set on the input thread by the window's close button, acted on by the main thread.
std::atomic<int> close_requested{0};
void (*quit_action)() = nullptr;

// Looks at the key until it is as wanted, resting between looks.
void wait_for_key(int scancode, bool down) {
    for (;;) {
        if (wait_hook)
            wait_hook(scancode, down);
        if (static_cast<bool>(key[scancode]) == down)
            return;
        rest_a_moment();
    }
}

}  // namespace

void timer_tick() { logic_ticks++; }
END_OF_FUNCTION(timer_tick)

void set_quit_action(void (*quit)()) { quit_action = quit; }

void quit_game() {
    if (quit_action)
        quit_action();
}

void close_button_pressed() { close_requested = 1; }
END_OF_FUNCTION(close_button_pressed)

void quit_if_closed() {
    if (close_requested && quit_action)
        quit_action();
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
    if (wait_hook)
        wait_hook(0, true);
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

void wait_for_key_press(int scancode) { wait_for_key(scancode, true); }
void wait_for_key_release(int scancode) { wait_for_key(scancode, false); }
