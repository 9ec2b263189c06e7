// Helpers for the unit tests, which run the game's code on the real library under Xvfb.
#pragma once

#include <allegro.h>
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <string>
#include <vector>

#include "play/ghost.h"
#include "platform/display.h"
#include "shell/main_loop.h"
#include "shell/pacing.h"
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

// Plays the keys in step with the game: `answer` runs on the game's thread at every look of a
// wait, with the key awaited and whether its press is (0 for the wait for a tick).
struct WaitAnswerer {
    explicit WaitAnswerer(std::function<void(int scancode, bool press)> answer);
    ~WaitAnswerer();
};

// Answers the screens that wait for `scancode`: before the i-th press, before_press(i) reads the
// waiting screen; then every other key is let go and this one pressed, and let go at its release.
struct ScreenAnswerer : WaitAnswerer {
    explicit ScreenAnswerer(int scancode = KEY_A, std::function<void(int)> before_press = {});
    int presses = 0;
};

struct TextAt {
    int font;  // datafile item
    int x, y;
    std::string text;
};
// Pixels lit in `shown` but not by the texts (and `more`) drawn alone on black, or the reverse.
int text_mismatches(BITMAP* shown, const std::vector<TextAt>& texts, std::function<void(BITMAP*)> more = {});
int lit_pixels(BITMAP* bmp, int x, int y, int w, int h);
