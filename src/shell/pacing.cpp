// The waits, and the close button that any of them may have to act on.
#include "shell/pacing.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <vector>

#include "platform/display.h"
#include "platform/focus.h"
#include "shell/game_state.h"

#include <allegro/internal/aintern.h>

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

// Stops the music and every sound playing, where they are; returns the voices stopped.
std::vector<int> pause_sound() {
    midi_pause();
    std::vector<int> paused;
    for (int v = 0; v < VIRTUAL_VOICES; ++v) {
        if (voice_check(v) && voice_get_position(v) >= 0) {
            voice_stop(v);
            paused.push_back(v);
        }
    }
    return paused;
}

void resume_sound(const std::vector<int>& paused) {
    for (int v : paused)
        if (voice_check(v))
            voice_start(v);
    midi_resume();
}

// The keys and buttons held as the focus went; they are let go elsewhere, unseen by the game.
struct Held {
    std::vector<int> keys;
    int buttons;
};

Held held_now() {
    Held held{{}, mouse_b};
    for (int k = 0; k < KEY_MAX; ++k)
        if (key[k])
            held.keys.push_back(k);
    return held;
}

// Lets go of what was held, but not of what was pressed once the focus came back.
void release(const Held& held) {
    for (int k : held.keys)
        key[k] = 0;
    _mouse_b &= ~held.buttons;
    mouse_b &= ~held.buttons;
}

// In the background the game stands where it is, silent: no tick runs, and the ticks the timer
// counts meanwhile are dropped, so that it goes on from the same tick with no burst.
void stand_still_in_background() {
    if (!in_background())
        return;
    const int ticks = logic_ticks;
    const Held held = held_now();
    const std::vector<int> paused = pause_sound();
    while (in_background()) {
        quit_if_closed();
        rest(1000 / 20);
    }
    logic_ticks = ticks;
    release(held);
    resume_sound(paused);
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
    stand_still_in_background();
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
    stand_still_in_background();
    rest(1000 / 60);
}

void wait_for_key_press(int scancode) { wait_for_key(scancode, true); }
void wait_for_key_release(int scancode) { wait_for_key(scancode, false); }
