// Helpers for the unit tests, which run the game's code on the real library under Xvfb.
#pragma once

#include <allegro.h>
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "play/ghost.h"
#include "shell/display.h"
#include "shell/main_loop.h"
#include "support/files.h"

// The first call runs init_game in the build's test folder (data.dat, allegro.cfg) and moves to
// a fresh temporary folder; every call empties that folder and puts the game-wide state back to
// its start values: lists emptied, keys and buttons up, no beam voice.
void start_game();
extern std::string test_folder;

// A case table's test: each case named after its `name`, with a fresh game.
template <class Case>
struct CaseTest : testing::TestWithParam<Case> {
    void SetUp() override { start_game(); }
};
template <class Case>
std::string case_name(const testing::TestParamInfo<Case>& info) { return info.param.name; }

// Stops the 60 Hz timer, so that a test alone decides how many ticks are pending.
struct NoTimer {
    NoTimer() { remove_int(timer_tick); }
    ~NoTimer() { install_int_ex(timer_tick, BPS_TO_TIMER(60)); }
};

// A ghost that neither moves nor changes phase, a solid 20x20 square.
Ghost still_ghost(int x, int y, int visible = -1);

void sleep_ms(int ms);

// Presses the keys in turn (100 ms each, settle_ms apart) from its own thread until stopped;
// before_press(i) runs before the i-th press. Repeated presses answer a wait that starts late.
struct KeyAnswerer {
    explicit KeyAnswerer(std::vector<int> keys, int settle_ms = 250, std::function<void(int)> before_press = {});
    ~KeyAnswerer() { stop(); }
    int stop();  // the presses given
    std::atomic<bool> running{true};
    std::atomic<int> presses{0};
    std::thread thread;
};

struct TextAt {
    int font;  // datafile item
    int x, y;
    std::string text;
};
// Pixels lit in `shown` but not by the texts (and `more`) drawn alone on black, or the reverse.
int text_mismatches(BITMAP* shown, const std::vector<TextAt>& texts, std::function<void(BITMAP*)> more = {});
int lit_pixels(BITMAP* bmp, int x, int y, int w, int h);
