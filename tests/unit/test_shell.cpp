// Start-up's datafile lookup, the HUD, the countdown and the main loop, on the real library.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "frontend/title_menu.h"
#include "play/ghost.h"
#include "shell/data_items.h"
#include "shell/frame.h"
#include "shell/game_state.h"
#include "shell/main_loop.h"
#include "shell/startup.h"
#include "support/test_support.h"

namespace {

void write_file(const char* name, const std::string& text) {
    FILE* f = fopen(name, "w");
    ASSERT_NE(f, nullptr);
    fputs(text.c_str(), f);
    fclose(f);
}

// Play state with one ghost, so that a logic step never starts a level (which waits for A).
void one_ghost_in_play() {
    start_game();
    reset_game_state();
    ghosts.push_back(Ghost());
    // As at start-up: the first track's patches load slowly, and a slow step would skew counts.
    if (midi_pos < 0)
        play_random_track();
    position_mouse(600, 440);
    mouse_b = 0;
}

// Answers the "Hit A" waits and chooses New Game in the title menu. Enter is not debounced
// there, so it is down only briefly: an Enter still down after the level's "Hit A" starts again.
struct PlayerAnswers {
    KeyAnswerer a{KEY_A, 40, 150};
    KeyAnswerer enter{KEY_ENTER, 40, 400};
};

// Left-most and right-most lit columns in a band of rows, or -1 when the band is dark.
std::pair<int, int> lit_columns(BITMAP* bmp, int x, int y, int w, int h) {
    int left = -1, right = -1;
    for (int col = x; col < x + w; ++col)
        for (int row = y; row < y + h; ++row)
            if (getpixel(bmp, col, row) > 0) {
                if (left < 0)
                    left = col;
                right = col;
            }
    return {left, right};
}

}  // namespace

TEST(DatafilePath, ReadsDataPathAndRestoresTheConfiguration) {
    start_game();
    struct Case {
        const char* cfg;  // nullptr: no "datapath.cfg"
        const char* expected;
    };
    const Case cases[] = {
        {nullptr, "data.dat"},
        {"[data]\npath = /opt/vorn/media.dat\n", "/opt/vorn/media.dat"},
        {"[other]\npath = /opt/vorn/media.dat\n", "data.dat"},
        {"[data]\nfile = /opt/vorn/media.dat\n", "data.dat"},
        {"[data]\npath =\n", "data.dat"},
        {"[data]\npath = /opt/vorn/\n", "/opt/vorn/"},
    };
    const std::string sound_device = get_config_string("sound", "alsa_device", "");
    ASSERT_NE(sound_device, "") << "the test allegro.cfg names a sound device";
    for (const Case& c : cases) {
        TempWorkingDir dir;
        if (c.cfg)
            write_file("datapath.cfg", std::string(c.cfg) + "[sound]\nalsa_device = elsewhere\n");
        EXPECT_EQ(datafile_path("data.dat"), c.expected) << (c.cfg ? c.cfg : "(no file)");
        EXPECT_EQ(get_config_string("sound", "alsa_device", ""), sound_device) << (c.cfg ? c.cfg : "");
        EXPECT_STREQ(get_config_string("data", "path", "unset"), "unset");
    }
}

TEST(Hud, TextsStandAtTheirPlaces) {
    one_ghost_in_play();
    ghosts.clear();
    FONT* font96 = item_font(TEXT_FONT);
    const int score_x = SCREEN_W - text_length(font96, "Score: 000000000000000000");
    struct Case {
        int bombs, time, score;
    };
    const Case cases[] = {{0, 120, 0}, {1, 0, 1234567890}, {3, 57, 42}};
    BITMAP* expected = create_bitmap(640, 480);
    for (const Case& c : cases) {
        flash_bombs = c.bombs;
        time_left = c.time;
        score = c.score;
        draw_frame();

        // The pointer lies far from the texts; with no ghosts, only the heat bar and HUD remain.
        clear_bitmap(expected);
        rect(expected, 0, 10, 150, 20, white());
        textprintf_ex(expected, font96, 0, 3, white(), -1, "Heat Measure");
        if (c.bombs > 0)
            textprintf_ex(expected, font96, 0, 40, white(), -1, "Flash Bombs: %d", c.bombs);
        textprintf_ex(expected, font96, 0, 60, white(), -1, "Time Left: %d", c.time);
        textprintf_ex(expected, font96, score_x, 0, white(), -1, "Score: %d", c.score);
        int differing = 0;
        for (int y = 0; y < 480; ++y)
            for (int x = 0; x < 640; ++x)
                if (getpixel(back_buffer, x, y) != getpixel(expected, x, y))
                    ++differing;
        EXPECT_EQ(differing, 0) << "bombs " << c.bombs << " time " << c.time << " score " << c.score;
        EXPECT_EQ(lit_pixels(back_buffer, 0, 38, 200, 14) > 0, c.bombs > 0) << "bombs " << c.bombs;
    }
    destroy_bitmap(expected);
}

TEST(Hud, ScoreKeepsItsLeftEdge) {
    one_ghost_in_play();
    ghosts.clear();
    score = 0;
    draw_frame();
    const auto zero = lit_columns(back_buffer, 320, 0, 320, 14);
    score = 1234567890;
    draw_frame();
    const auto ten_digits = lit_columns(back_buffer, 320, 0, 320, 14);
    ASSERT_GE(zero.first, 0);
    EXPECT_EQ(zero.first, ten_digits.first);
    EXPECT_LT(zero.second, 640 - 60) << "a score of 0 ends well short of the right edge";
    EXPECT_LT(ten_digits.second, 639);
    EXPECT_GT(ten_digits.second, zero.second);
}

TEST(Hud, TextLiesOverThePointer) {
    one_ghost_in_play();
    ghosts.clear();
    time_left = 888;
    set_mouse_sprite(crosshair_image);
    set_mouse_sprite_focus(30, 30);
    // The red inner ring (radius 6) crosses "Time Left: 888" at y 60.
    const int mx = 30, my = 64;
    position_mouse(mx, my);
    ASSERT_EQ(mouse_x, mx);
    ASSERT_EQ(mouse_y, my);
    draw_frame();

    BITMAP* text = create_bitmap(640, 480);
    clear_bitmap(text);
    textprintf_ex(text, item_font(TEXT_FONT), 0, 60, white(), -1, "Time Left: %d", time_left);
    const int red = makecol(255, 0, 0);
    int under_text = 0, bare = 0;
    for (int y = 0; y < 61; ++y)
        for (int x = 0; x < 61; ++x) {
            if (getpixel(crosshair_image, x, y) != red)
                continue;
            const int sx = mx - 30 + x, sy = my - 30 + y;
            const int shown = getpixel(screen, sx, sy);
            if (getpixel(text, sx, sy) > 0) {
                ++under_text;
                EXPECT_TRUE(colour_near(shown, 255, 255, 255)) << "text pixel " << sx << "," << sy;
            } else {
                ++bare;
                EXPECT_TRUE(colour_near(shown, 255, 0, 0)) << "pointer pixel " << sx << "," << sy;
            }
        }
    destroy_bitmap(text);
    EXPECT_GT(under_text, 0) << "the ring must meet the text for this test to mean anything";
    EXPECT_GT(bare, 0);
    position_mouse(600, 440);
}

TEST(Countdown, OneSecondEverySixtySteps) {
    one_ghost_in_play();
    struct Case {
        int steps, time_left, tick_in_second;
    };
    // Cumulative: each row continues from the one before.
    const Case cases[] = {{59, 120, 59}, {1, 119, 0}, {59, 119, 59}, {1, 118, 0}, {480, 110, 0}};
    for (const Case& c : cases) {
        for (int i = 0; i < c.steps; ++i)
            logic_step();
        EXPECT_EQ(time_left, c.time_left);
        EXPECT_EQ(tick_in_second, c.tick_in_second);
    }
    ASSERT_EQ(ghosts.size(), 1u);
}

TEST(Countdown, NewGameKeepsTheStepsIntoTheSecond) {
    one_ghost_in_play();
    TempWorkingDir dir;
    for (int i = 0; i < 45; ++i)
        logic_step();
    time_left = 3;
    {
        PlayerAnswers answers;
        logic_ticks = 0;
        run_title_menu();
    }
    ASSERT_EQ(level, 1);
    EXPECT_EQ(time_left, 120);
    EXPECT_EQ(tick_in_second, 45);
    for (int i = 0; i < 15; ++i)
        logic_step();
    EXPECT_EQ(time_left, 119) << "the new game's first second lasts the 15 steps left of the old one";
}

TEST(Music, AnEndedTrackIsFollowedWithinOneStep) {
    one_ghost_in_play();
    // The library leaves some negative position, not always -1, when no track plays.
    for (int ended_at : {-1, -37}) {
        stop_midi();
        midi_pos = ended_at;
        logic_step();
        EXPECT_GE(midi_pos, 0) << ended_at;
    }
}

TEST(MainLoop, TimerCountsSixtyTicksASecond) {
    start_game();
    const auto start = std::chrono::steady_clock::now();
    logic_ticks = 0;
    std::this_thread::sleep_for(std::chrono::seconds(1));
    const int counted = logic_ticks;
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_NEAR(counted, 60 * seconds, 3) << "over " << seconds << " s";
}

TEST(MainLoop, PendingTicksRunBackToBackBeforeTheFrame) {
    one_ghost_in_play();
    time_left = 100;
    logic_ticks = 300;
    main_loop_pass();
    EXPECT_EQ(time_left, 95);
    EXPECT_LE(tick_in_second, 5);
    EXPECT_LE(logic_ticks, 1);
}

// Escape or the end of the countdown is tested before every step: game over, high scores and
// the title menu follow at once, one step runs right after New Game, and what piled up is dropped.
TEST(MainLoop, GameEndsBeforeTheNextStep) {
    struct Case {
        const char* name;
        bool escape;
        int ticks, time, tick;
    };
    const Case cases[] = {
        {"escape", true, 1, 50, 10},
        {"time runs out in the pass's first step", false, 3, 1, 59},
    };
    for (const Case& c : cases) {
        one_ghost_in_play();
        TempWorkingDir dir;
        score = 77;
        time_left = c.time;
        tick_in_second = c.tick;
        key[KEY_ESC] = c.escape;
        const auto start = std::chrono::steady_clock::now();
        int ticks_after = 0;
        {
            // Escape is let go while the game-over screen waits, as a player would.
            std::thread let_go([] {
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
                key[KEY_ESC] = 0;
            });
            PlayerAnswers answers;
            logic_ticks = c.ticks;
            main_loop_pass();
            ticks_after = logic_ticks;
            let_go.join();
        }
        const double waited =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        EXPECT_EQ(level, 1) << c.name << ": New Game ran";
        EXPECT_EQ(score, 0) << c.name;
        EXPECT_EQ(time_left, 120) << c.name;
        // The pass's own step after the menu, and nothing of the ticks counted meanwhile.
        EXPECT_EQ(tick_in_second, c.escape ? c.tick + 1 : 1) << c.name;
        EXPECT_GT(waited, 0.25) << c.name << ": ticks piled up while the screens waited";
        EXPECT_LE(ticks_after, 1) << c.name;
        FILE* scores = fopen("High Scores.txt", "rb");
        EXPECT_NE(scores, nullptr) << c.name << ": the high-score screen entered the score";
        if (scores)
            fclose(scores);
    }
}
