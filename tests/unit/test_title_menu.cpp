// The title menu: its screen, moving the highlight, and what each item does.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "frontend/high_scores.h"
#include "frontend/title_menu.h"
#include "play/ghost.h"
#include "play/vanish.h"
#include "shell/data_items.h"
#include "shell/game_state.h"
#include "support/front_screens.h"
#include "support/test_support.h"

namespace {

const char* const kLabels[3] = {"New Game", "High Scores", "Quit"};

// The item drawn in yellow while the other two are dark blue, or -1 for any other picture.
int highlighted_item() {
    BITMAP* shot = grab_screen();
    FONT* f = item_font(TEXT_FONT);
    const int rows = std::min(text_height(f), 10);
    int yellow_item = -1;
    int yellow_items = 0;
    int blue_items = 0;
    for (int i = 0; i < 3; ++i) {
        const int half = text_length(f, kLabels[i]) / 2 + 1;
        int yellow = 0;
        int blue = 0;
        for (int y = 300 + 10 * i; y < 300 + 10 * i + rows; ++y)
            for (int x = 320 - half; x <= 320 + half; ++x) {
                const int c = getpixel(shot, x, y);
                yellow += colour_near(c, 255, 255, 0);
                blue += colour_near(c, 0, 64, 128);
            }
        if (yellow > 0 && blue == 0) {
            yellow_item = i;
            ++yellow_items;
        } else if (blue > 0 && yellow == 0) {
            ++blue_items;
        }
    }
    destroy_bitmap(shot);
    return (yellow_items == 1 && blue_items == 2) ? yellow_item : -1;
}

// Leaves the menu through "New Game" from wherever the highlight is, so that a wrong
// highlight fails the test instead of choosing "Quit".
void leave_through_new_game(int introduction_ms) {
    for (int i = 0; i < 3 && highlighted_item() != MENU_NEW_GAME; ++i)
        press_key(KEY_UP);
    press_key(KEY_ENTER, 60, introduction_ms);
    press_key(KEY_A, 100, 200);
}

class TitleMenu : public ::testing::Test {
protected:
    void SetUp() override {
        start_game();
        reset_game_state();
        // Only after start-up, which reads data.dat from the test folder.
        dir_ = std::make_unique<TempWorkingDir>();
    }
    std::unique_ptr<TempWorkingDir> dir_;
};

TEST_F(TitleMenu, ScreenHighlightAndHighScores) {
    // A stored negative score: the menu's showing of the table enters a 0.
    std::vector<unsigned char> file;
    for (int i = 0; i < HIGH_SCORE_COUNT; ++i)
        for (unsigned char b : entry_bytes("Five", i < 14 ? 5 : -3))
            file.push_back(b);
    write_bytes("High Scores.txt", file);

    std::vector<int> seen;
    int title_mismatches = -1;
    std::thread driver([&seen, &title_mismatches] {
        sleep_ms(300);
        BITMAP* shot = grab_screen();
        std::vector<TextAt> expected = {{HEADING_FONT, 20, 20, "The Ghosts of Vorn"},
                                        {TEXT_FONT, 0, 470, "Created by: Fernmoor"}};
        for (int i = 0; i < 8; ++i)
            expected.push_back({TEXT_FONT, 40, story_rows[i], story_lines[i]});
        for (int i = 0; i < 3; ++i)
            expected.push_back({TEXT_FONT, 320, 300 + 10 * i, kLabels[i], true});
        title_mismatches = text_mismatches(shot, expected);
        destroy_bitmap(shot);
        seen.push_back(highlighted_item());  // 0
        press_key(KEY_UP);
        seen.push_back(highlighted_item());  // 2: wrapped at the top
        press_key(KEY_DOWN);
        seen.push_back(highlighted_item());  // 0: wrapped at the bottom
        press_key(KEY_DOWN);
        seen.push_back(highlighted_item());  // 1

        if (highlighted_item() == 1) {
            press_key(KEY_ENTER, 60, 300);
            press_key(KEY_A, 100, 200);
        }
        seen.push_back(highlighted_item());  // 1: kept after the table

        // Both held: Up is handled and waited for, so Down is let go unseen.
        key[KEY_UP] = key[KEY_DOWN] = 1;
        sleep_ms(150);
        seen.push_back(highlighted_item());  // 1: no frame while a key is held
        key[KEY_DOWN] = 0;
        sleep_ms(100);
        key[KEY_UP] = 0;
        sleep_ms(150);
        seen.push_back(highlighted_item());  // 0

        leave_through_new_game(1000);  // level 1's introduction waits a second
        sleep_ms(300);
        seen.push_back(highlighted_item());  // 0: a new call starts on "New Game"
        leave_through_new_game(300);
    });
    run_title_menu();
    const int ticks_after_new_game = logic_ticks;
    const int time_after_new_game = time_left;
    run_title_menu();
    driver.join();

    EXPECT_EQ(title_mismatches, 0);
    EXPECT_EQ(seen, (std::vector<int>{0, 2, 0, 1, 1, 1, 0, 0}));
    EXPECT_EQ(time_after_new_game, 120);
    EXPECT_LT(ticks_after_new_game, 5) << "the introduction's ticks were left for play";
    EXPECT_EQ(level, 1);

    HighScoreTable* table = create_high_score_table(HIGH_SCORE_COUNT, "High Scores.txt");
    EXPECT_EQ(std::string(table->entries[14].name), "Ghost Hunter");
    EXPECT_EQ(table->entries[14].score, 0);
    destroy_high_score_table(table);
}

TEST_F(TitleMenu, NewGameResetsExactlyItsValues) {
    score = 4321;
    level = 7;
    flash_bombs = 3;
    levels_since_bomb = 2;
    start_time = 45;
    time_left = 6;
    heat = 77;
    tick_in_second = 33;
    for (int i = 0; i < 5; ++i)
        ghosts.push_back(Ghost());
    vanish_effects.push_back(VanishEffect(100, 100));

    std::thread driver([] {
        sleep_ms(200);
        leave_through_new_game(300);
    });
    run_title_menu();
    driver.join();

    EXPECT_EQ(score, 0);
    EXPECT_EQ(level, 1);
    EXPECT_EQ(flash_bombs, 0);
    EXPECT_EQ(levels_since_bomb, 1);
    EXPECT_EQ(start_time, 120);
    EXPECT_EQ(time_left, 120);
    ASSERT_EQ(ghosts.size(), 1u);
    EXPECT_NE(ghosts[0].carries_shard, 0);
    EXPECT_EQ(heat, 77);
    EXPECT_EQ(tick_in_second, 33);
    EXPECT_EQ(vanish_effects.size(), 1u);
}

TEST(TitleMenuDeathTest, QuitEndsTheProcessWithStatus1) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            start_game();
            reset_game_state();
            std::thread([] {
                sleep_ms(200);
                press_key(KEY_UP);
                press_key(KEY_ENTER, 60, 1000);
            }).detach();
            run_title_menu();
        },
        testing::ExitedWithCode(1), "");
}

}  // namespace
