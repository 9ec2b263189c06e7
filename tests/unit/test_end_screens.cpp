// The game-over and win screens, and the score they hand to the high-score screen.
#include <gtest/gtest.h>

#include <memory>
#include <algorithm>
#include <climits>
#include <string>
#include <vector>

#include "levels/end_screens.h"
#include "shell/data_items.h"
#include "shell/game_state.h"
#include "support/front_screens.h"
#include "support/test_support.h"

namespace {

const TextAt kPrompt = {TEXT_FONT, 245, 350, "Hit A to continue"};

class EndScreens : public ::testing::Test {
protected:
    void SetUp() override {
        start_game();
        reset_game_state();
        // Only after start-up, which reads data.dat from the test folder.
        dir_ = std::make_unique<TempWorkingDir>();
    }
    std::unique_ptr<TempWorkingDir> dir_;
};

// The high-score screen that follows shows the score in row 1 under "Ghost Hunter".
int first_row_mismatches(BITMAP* shot, int value) {
    BITMAP* row = create_bitmap(SCREEN_W, 10);
    blit(shot, row, 0, 150, 0, 0, SCREEN_W, 10);
    const int wrong = text_mismatches(
        row, {{TEXT_FONT, 220, 0, "Ghost Hunter"}, {TEXT_FONT, 355, 0, std::to_string(value)}});
    destroy_bitmap(row);
    return wrong;
}

TEST_F(EndScreens, GameOverShowsOneOfItsLinesThenTheScores) {
    score = 350;
    ScreenAnswerer answerer(2);
    show_game_over();
    answerer.stop();
    ASSERT_EQ(answerer.shots().size(), 2u);
    EXPECT_EQ(answerer.extra_presses(), 0);

    int best = INT_MAX;
    for (const char* line : game_over_lines) {
        const int wrong = text_mismatches(
            answerer.shots()[0], {{HEADING_FONT, 20, 20, "Game Over!"}, {TEXT_FONT, 40, 200, line}, kPrompt});
        best = std::min(best, wrong);
    }
    EXPECT_EQ(best, 0) << "no game-over line matches the screen exactly";
    EXPECT_EQ(first_row_mismatches(answerer.shots()[1], 350), 0);
    EXPECT_EQ(score, 350);
}

TEST_F(EndScreens, WinScreenShowsItsStoryThenTheScores) {
    score = 2000;
    ScreenAnswerer answerer(2);
    show_win_screen();
    answerer.stop();
    ASSERT_EQ(answerer.shots().size(), 2u);
    EXPECT_EQ(answerer.extra_presses(), 0);

    std::vector<TextAt> expected = {{HEADING_FONT, 20, 20, "You win!"}, {TEXT_FONT, 40, 100, "Great job!"}, kPrompt};
    const int rows[] = {110, 120, 130, 140, 160, 180};
    for (int i = 0; i < 6; ++i)
        expected.push_back({TEXT_FONT, 40, rows[i], win_story_lines[i]});
    EXPECT_EQ(text_mismatches(answerer.shots()[0], expected), 0);
    EXPECT_EQ(first_row_mismatches(answerer.shots()[1], 2000), 0);
}

}  // namespace
