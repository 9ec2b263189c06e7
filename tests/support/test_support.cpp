#include "support/test_support.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>

#include "play/beam.h"
#include "play/crosshair.h"
#include "play/vanish.h"
#include "shell/game_state.h"
#include "shell/pacing.h"
#include "shell/startup.h"

namespace fs = std::filesystem;

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
END_OF_MAIN()

std::string test_folder, work_folder;

void start_game() {
    if (work_folder.empty()) {
        init_game();
        test_folder = fs::current_path();
        char name[] = "/tmp/vorn-test-XXXXXX";
        work_folder = mkdtemp(name);
        fs::current_path(work_folder);
        std::atexit([] { fs::remove_all(work_folder); });
    }
    for (const auto& entry : fs::directory_iterator(work_folder))
        fs::remove_all(entry.path());
    score = level = levels_since_bomb = flash_bombs = heat = tick_in_second = 0;
    start_time = time_left = 120;
    logic_ticks = flash_latch = crosshair_timer = mouse_b = 0;
    ghosts.clear();
    vanish_effects.clear();
    if (beam_voice != NO_VOICE)
        deallocate_voice(beam_voice);
    beam_voice = NO_VOICE;
    memset(const_cast<char*>(key), 0, KEY_MAX);
}

Ghost still_ghost(int x, int y, int visible) {
    static BITMAP* solid = create_bitmap(20, 20);
    clear_to_color(solid, makecol(90, 90, 90));
    Ghost g;
    memset(static_cast<void*>(&g), 0, sizeof g);  // no speed, timers or fade
    g.x = x;
    g.y = y;
    g.visible = visible;
    g.hidden_ticks = g.shown_ticks = 1000000;
    g.alpha = visible ? 255 : 0;
    g.health = 20;
    g.sprite = solid;
    return g;
}

namespace {
std::function<void(int, bool)> wait_answer;
}

WaitAnswerer::WaitAnswerer(std::function<void(int, bool)> answer) {
    wait_answer = std::move(answer);
    wait_hook = [](int scancode, bool press) { wait_answer(scancode, press); };
}

WaitAnswerer::~WaitAnswerer() {
    wait_hook = nullptr;
    wait_answer = nullptr;
    memset(const_cast<char*>(key), 0, KEY_MAX);
}

ScreenAnswerer::ScreenAnswerer(int scancode, std::function<void(int)> before_press)
    : WaitAnswerer([this, scancode, before_press](int awaited, bool press) {
          if (awaited != scancode)
              return;
          if (press) {
              if (before_press)
                  before_press(presses);
              memset(const_cast<char*>(key), 0, KEY_MAX);
              key[scancode] = 1;
              presses++;
          } else {
              key[scancode] = 0;
          }
      }) {}

int text_mismatches(BITMAP* shown, const std::vector<TextAt>& texts, std::function<void(BITMAP*)> more) {
    BITMAP* want = create_bitmap(shown->w, shown->h);
    clear_bitmap(want);
    if (more)
        more(want);
    for (const TextAt& t : texts)
        textout_ex(want, item_font(t.font), t.text.c_str(), t.x, t.y, white(), -1);
    int wrong = 0;
    for (int y = 0; y < shown->h; ++y)
        for (int x = 0; x < shown->w; ++x)
            wrong += (getpixel(shown, x, y) != 0) != (getpixel(want, x, y) != 0);
    destroy_bitmap(want);
    return wrong;
}

int lit_pixels(BITMAP* bmp, int x, int y, int w, int h) {
    int lit = 0;
    for (int p = 0; p < w * h; ++p)
        lit += getpixel(bmp, x + p % w, y + p / w) > 0;
    return lit;
}
