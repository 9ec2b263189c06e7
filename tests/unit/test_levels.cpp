// Level starts: the new ghosts, the carrier, bomb awards, the introduction and its pending ticks.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "levels/level_flow.h"
#include "play/vanish.h"
#include "support/play_helpers.h"
#include "support/test_support.h"

namespace {

// Once `level` reaches wait_level, runs on_first_wait while the introduction waits (the
// screen is not held then), then answers every screen with one slow press of A at a time.
class ScreenAnswerer {
public:
    ScreenAnswerer(int wait_level, std::function<void()> on_first_wait)
        : thread_([this, wait_level, on_first_wait] {
              wait_until([wait_level] { return peek(level) == wait_level; });
              std::this_thread::sleep_for(std::chrono::milliseconds(300));  // drawn long before
              on_first_wait();
              while (running_) {
                  key[KEY_A] = 1;
                  std::this_thread::sleep_for(std::chrono::milliseconds(50));
                  key[KEY_A] = 0;
                  ++presses_;
                  std::this_thread::sleep_for(std::chrono::milliseconds(250));
              }
          }) {}
    int stop() {
        running_ = false;
        thread_.join();
        return presses_;
    }

private:
    std::atomic<bool> running_{true};
    std::atomic<int> presses_{0};
    std::thread thread_;
};

void draw_expected_intro(BITMAP* out, int n, bool bomb, int line) {
    FONT* text = item_font(TEXT_FONT);
    clear_bitmap(out);
    textprintf_ex(out, item_font(HEADING_FONT), 20, 20, white(), -1, "Level %d", n);
    if (bomb) {
        textprintf_ex(out, text, 20, 100, white(), -1, "%s", flash_bomb_message);
        textprintf_ex(out, text, 20, 115, white(), -1, "%d bonus points!!", 100 * n);
    }
    textprintf_ex(out, text, 40, 200, white(), -1, "%s", encouragement_lines[line]);
    textprintf_ex(out, text, 245, 350, white(), -1, "Hit A to continue");
}

struct LevelTest : ::testing::Test {
    void SetUp() override {
        start_game();
        reset_game_state();
        drop_beam_voice();
    }
};

TEST_F(LevelTest, LevelStartsBuildGhostsAwardBombsAndShowTheIntroduction) {
    struct { int level; bool bomb, win; } cases[] = {
        {1, false, false}, {3, false, false}, {4, false, false}, {5, true, false},
        {10, true, false}, {20, true, true}, {21, false, true}, {25, true, true},
    };
    BITMAP* shown = create_bitmap(640, 480);
    BITMAP* expected = create_bitmap(640, 480);
    TempWorkingDir scores_folder;  // for the high-score step after the win screen
    for (auto c : cases) {
        SCOPED_TRACE(c.level);
        level = c.level - 1;
        levels_since_bomb = (c.level - 1) % 5;
        flash_bombs = 2;
        score = 1000;
        time_left = 77;
        ghosts = {still_ghost(1, 1), still_ghost(2, 2)};
        vanish_effects = {VanishEffect(3, 4)};

        ScreenAnswerer answer(c.level, [shown] { blit(screen, shown, 0, 0, 0, 0, 640, 480); });
        start_next_level();
        EXPECT_EQ(answer.stop(), c.win ? 3 : 1);  // the introduction, then win and high scores

        EXPECT_EQ(flash_bombs, c.bomb ? 3 : 2);
        EXPECT_EQ(score, 1000 + (c.bomb ? 100 * c.level : 0));
        EXPECT_EQ(time_left, 77);
        EXPECT_EQ(vanish_effects.size(), 1u);
        ASSERT_EQ(ghosts.size(), static_cast<size_t>(c.level));
        int carriers = 0, fresh = 0;
        for (const Ghost& g : ghosts) {
            carriers += g.carries_shard == -1;
            fresh += g.speed > 0;
        }
        EXPECT_EQ(carriers, 1);
        EXPECT_EQ(fresh, c.level);

        int matching_lines = 0;  // exactly one encouragement line makes the screen match
        for (int line = 0; line < 10; ++line) {
            draw_expected_intro(expected, c.level, c.bomb, line);
            matching_lines += mismatches(shown, expected, true) == 0;
        }
        EXPECT_EQ(matching_lines, 1);
    }
    destroy_bitmap(shown);
    destroy_bitmap(expected);
}

// A shard kill in a logic step: the ticks counted while the next introduction waits are run
// by the main loop afterwards, one logic step each.
TEST_F(LevelTest, TicksOfAnIntroductionAreWorkedOffByTheMainLoop) {
    NoTimer no_timer;
    level = levels_since_bomb = 1;
    ghosts = {still_ghost(300, 200)};
    ghosts[0].health = 0;
    ghosts[0].carries_shard = -1;
    logic_ticks = 1 + 151;  // this step's tick and the shard sequence's

    Ghost before_wait;
    ScreenAnswerer answer(2, [&before_wait] {
        before_wait = ghosts[0];
        logic_ticks += 300;  // five seconds on the introduction
    });
    main_loop_pass();
    answer.stop();

    EXPECT_EQ(logic_ticks, 0);
    EXPECT_EQ(time_left, 115);  // 300 steps, the shard kill's included
    EXPECT_EQ(tick_in_second, 0);
    // The interrupted walk resumed at index 1, so ghost 0 made only the 299 later steps.
    for (int i = 0; i < 299; ++i)
        before_wait.move();
    ASSERT_EQ(ghosts.size(), 2u);
    EXPECT_EQ(ghosts[0].x, before_wait.x);
    EXPECT_EQ(ghosts[0].y, before_wait.y);
}

}  // namespace
