// Helpers for the tests of ghosts, the beam and the level flow.
#pragma once

#include <allegro.h>

#include <chrono>
#include <functional>
#include <thread>

#include "play/ghost.h"
#include "shell/data_items.h"
#include "shell/game_state.h"
#include "shell/main_loop.h"

// Stops the 60 Hz timer so that a test alone decides how many ticks are pending.
struct NoTimer {
    NoTimer() { remove_int(timer_tick); logic_ticks = 0; }
    ~NoTimer() { logic_ticks = 0; install_int_ex(timer_tick, BPS_TO_TIMER(60)); }
};

// Frees a voice left by an earlier test, so the next hit is the first of a run.
inline void drop_beam_voice() {
    if (beam_voice != NO_VOICE)
        deallocate_voice(beam_voice);
    beam_voice = NO_VOICE;
}

// A ghost that neither moves nor changes phase, so only what a test does to it happens.
inline Ghost still_ghost(int x, int y, int visible = -1) {
    Ghost g;
    g.x = x;
    g.y = y;
    g.speed = g.moving_left = g.moving_up = 0;
    g.visible = visible;
    g.phase_timer = g.fading = g.fading_in = g.fading_out = g.carries_shard = 0;
    g.hidden_ticks = g.shown_ticks = 1000000;
    g.alpha = visible ? 255 : 0;
    g.health = 20;
    g.sprite = item_bitmap(GHOST_PICTURE_FIRST);
    return g;
}

// A plain int written by the main thread, read from a helper thread.
inline int peek(const int& value) { return *static_cast<const volatile int*>(&value); }

inline bool wait_until(const std::function<bool()>& condition, int timeout_ms = 5000) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

// Pixels that differ; with `lit_only`, only black against non-black counts (the screen
// reads back rounded colours).
inline int mismatches(BITMAP* a, BITMAP* b, bool lit_only = false) {
    int n = 0;
    for (int y = 0; y < a->h; ++y)
        for (int x = 0; x < a->w; ++x) {
            const int p = getpixel(a, x, y), q = getpixel(b, x, y);
            n += lit_only ? (p != 0) != (q != 0) : p != q;
        }
    return n;
}
