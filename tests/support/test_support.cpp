// Shared helpers for tests that run the game's code on the real library.
#include "support/test_support.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <climits>
#include <cstdlib>
#include <filesystem>

#include "play/beam.h"
#include "play/crosshair.h"
#include "play/ghost.h"
#include "play/vanish.h"
#include "shell/game_state.h"
#include "shell/startup.h"

void start_game() {
    static bool started = false;
    if (started)
        return;
    init_game();
    started = true;
}

void reset_game_state() {
    score = 0;
    start_time = 120;
    time_left = 120;
    level = 0;
    levels_since_bomb = 0;
    flash_bombs = 0;
    heat = 0;
    tick_in_second = 0;
    logic_ticks = 0;
    flash_latch = 0;
    crosshair_timer = 0;
    ghosts.clear();
    vanish_effects.clear();
    mouse_b = 0;
    for (int k = 0; k < KEY_MAX; ++k)
        key[k] = 0;
}

KeyAnswerer::KeyAnswerer(int scancode, int hold_ms, int gap_ms) {
    thread_ = std::thread([this, scancode, hold_ms, gap_ms] {
        while (running_) {
            key[scancode] = 1;
            std::this_thread::sleep_for(std::chrono::milliseconds(hold_ms));
            key[scancode] = 0;
            presses_++;
            std::this_thread::sleep_for(std::chrono::milliseconds(gap_ms));
        }
    });
}

KeyAnswerer::~KeyAnswerer() { stop(); }

void KeyAnswerer::stop() {
    running_ = false;
    if (thread_.joinable())
        thread_.join();
}

bool colour_near(int c, int r, int g, int b, int tol) {
    return std::abs(getr(c) - r) <= tol && std::abs(getg(c) - g) <= tol && std::abs(getb(c) - b) <= tol;
}

int lit_pixels(BITMAP* bmp, int x, int y, int w, int h) {
    int lit = 0;
    for (int row = y; row < y + h; ++row)
        for (int col = x; col < x + w; ++col)
            if (getpixel(bmp, col, row) > 0)
                ++lit;
    return lit;
}

TempWorkingDir::TempWorkingDir() {
    char cwd[PATH_MAX];
    previous_ = getcwd(cwd, sizeof cwd) ? cwd : ".";
    char tmpl[] = "/tmp/vorn-test-XXXXXX";
    path_ = mkdtemp(tmpl);
    if (chdir(path_.c_str()) != 0)
        ADD_FAILURE() << "cannot enter " << path_;
}

TempWorkingDir::~TempWorkingDir() {
    if (chdir(previous_.c_str()) != 0)
        ADD_FAILURE() << "cannot return to " << previous_;
    std::filesystem::remove_all(path_);
}
