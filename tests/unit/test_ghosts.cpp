// Ghost fade cycle, movement, the per-tick pass, the shard sequence and drawing.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "play/vanish.h"
#include "support/play_helpers.h"
#include "support/test_support.h"

namespace {

struct GhostTest : ::testing::Test {
    void SetUp() override {
        start_game();
        reset_game_state();
        drop_beam_voice();
    }
};

// Ticks from a fade's first step to its end; the phase timer must stand still meanwhile.
int fade_ticks(Ghost& g, int first_alpha) {
    g.phase_timer = g.shown_ticks - 1;
    int ticks = 0;
    do {
        g.update_fade();
        if (++ticks == 1) {
            EXPECT_EQ(g.alpha, first_alpha);
        }
        EXPECT_EQ(g.phase_timer, 0);
    } while (g.fading && ticks < 1000);
    return ticks;
}

TEST_F(GhostTest, FadeLengths) {
    struct { int step, in, out; } cases[] = {{5, 51, 51}, {1, 255, 254}, {3, 85, 85}};
    for (auto c : cases) {
        SCOPED_TRACE(c.step);
        Ghost g = still_ghost(0, 0, 0);
        g.fade_step = c.step;
        g.hidden_ticks = g.shown_ticks = 10;
        EXPECT_EQ(fade_ticks(g, c.step), c.in);
        EXPECT_EQ(g.alpha, 255);
        EXPECT_EQ(fade_ticks(g, 254 - c.step), c.out);
        EXPECT_EQ(g.alpha | g.visible, 0);
        g.update_fade();
        EXPECT_EQ(g.phase_timer, 1);
    }
}

TEST_F(GhostTest, MovesOneStepPastAnEdgeThenTurns) {
    struct { int x, y, left, up, speed, x1, y1, x2, y2; } cases[] = {
        {640, 100, 0, 0, 3, 643, 103, 640, 106}, {0, 100, 1, 0, 2, -2, 102, 0, 104},
        {100, 480, 0, 0, 5, 105, 485, 110, 480}, {100, 0, 0, 1, 4, 104, -4, 108, 0},
    };
    for (auto c : cases) {
        Ghost g = still_ghost(c.x, c.y);
        g.moving_left = c.left;
        g.moving_up = c.up;
        g.speed = c.speed;
        g.move();
        EXPECT_EQ(g.x * 1000 + g.y, c.x1 * 1000 + c.y1) << c.x << "," << c.y;
        g.move();
        EXPECT_EQ(g.x * 1000 + g.y, c.x2 * 1000 + c.y2) << c.x << "," << c.y;
    }
}

TEST_F(GhostTest, OnePassDestroysTwoGhostsInListOrder) {
    ghosts = {still_ghost(100, 100), still_ghost(300, 200), still_ghost(50, 60)};
    ghosts[0].health = ghosts[1].health = 0;
    ghosts[0].speed = 2;
    ghosts[1].moving_left = ghosts[1].moving_up = ghosts[1].speed = 1;
    ghosts[2].speed = 3;
    score = 5;
    time_left = 100;

    update_ghosts();

    BITMAP* frame0 = item_bitmap(VANISH_FRAME_FIRST);
    ASSERT_EQ(vanish_effects.size(), 2u);  // at the ghosts' places after this tick's move
    EXPECT_EQ(vanish_effects[0].x, 102 - frame0->w / 2);
    EXPECT_EQ(vanish_effects[0].y, 102 - frame0->h / 2);
    EXPECT_EQ(vanish_effects[1].x, 299 - frame0->w / 2);
    EXPECT_EQ(score, 25);
    EXPECT_EQ(time_left, 130);
    ASSERT_EQ(ghosts.size(), 1u);
    EXPECT_EQ(ghosts[0].x, 53);  // the ghost behind the erased ones was updated in the same pass
}

// The refill on level 1000 outgrows the room reserved at start-up, so the walk goes on
// over moved storage.
TEST_F(GhostTest, ShardKillRefillsTheListAndTheWalkGoesOn) {
    NoTimer no_timer;
    KeyAnswerer answer(KEY_A);
    struct { int level, carrier; } cases[] = {{3, 1}, {1000, 0}, {1001, 500}};
    for (auto c : cases) {
        SCOPED_TRACE(c.level);
        level = c.level;
        levels_since_bomb = c.level % 5;
        score = 0;
        time_left = 90;
        ghosts.assign(c.level, still_ghost(10, 10));
        ghosts[c.carrier].health = 0;
        ghosts[c.carrier].carries_shard = -1;
        logic_ticks = 151;

        update_ghosts();

        EXPECT_EQ(level, c.level + 1);
        EXPECT_EQ(score, 10 + 10 * c.level);
        EXPECT_EQ(time_left, 90);
        EXPECT_TRUE(vanish_effects.empty());
        ASSERT_EQ(ghosts.size(), static_cast<size_t>(c.level + 1));
        int carriers = 0, as_expected = 0;
        for (size_t i = 0; i < ghosts.size(); ++i) {
            carriers += ghosts[i].carries_shard == -1;
            as_expected += ghosts[i].phase_timer == (static_cast<int>(i) > c.carrier);
        }
        EXPECT_EQ(carriers, 1);
        EXPECT_EQ(as_expected, c.level + 1);  // only the ghosts after the carrier's index were updated
    }
}

TEST_F(GhostTest, ShardSequenceTakes151TicksAndShakesOnTheScreen) {
    NoTimer no_timer;
    level = levels_since_bomb = 1;
    ghosts = {still_ghost(300, 200)};
    ghosts[0].health = 0;
    ghosts[0].carries_shard = -1;
    clear_bitmap(screen);
    clear_bitmap(back_buffer);

    BITMAP* shard = item_bitmap(SHARD_PICTURE);
    std::atomic<int> fed{0}, inside{-1}, outside{-1};
    std::thread feeder([&] {
        // One tick at a time: a tick left unconsumed means the sequence is over.
        while (wait_until([] { return logic_ticks == 0; }, 1000)) {
            if (fed == 75) {
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
                inside = lit_pixels(screen, 280, 180, shard->w + 39, shard->h + 39);
                outside = lit_pixels(screen, 0, 0, 640, 480) - inside;
            }
            ++fed;
            logic_ticks++;
        }
    });
    KeyAnswerer answer(KEY_A);
    update_ghosts();
    answer.stop();
    feeder.join();

    EXPECT_EQ(fed - logic_ticks, 151);
    EXPECT_GT(inside, 0);
    EXPECT_EQ(outside, 0);
    EXPECT_EQ(lit_pixels(back_buffer, 0, 0, 640, 480), 0);
}

TEST_F(GhostTest, DrawsTranslucentlyInListOrder) {
    BITMAP* a = item_bitmap(GHOST_PICTURE_FIRST);
    BITMAP* b = item_bitmap(GHOST_PICTURE_FIRST + 1);
    BITMAP* expected = create_bitmap(640, 480);
    const int background = makecol(40, 80, 120);
    struct { int visible, alpha; BITMAP* seen[2]; } cases[] = {
        {-1, 0, {}}, {-1, 255, {a}}, {0, 255, {}}, {-1, 255, {a, b}},
    };
    for (auto c : cases) {
        SCOPED_TRACE(testing::Message() << c.visible << " " << c.alpha << " " << (c.seen[1] != nullptr));
        ghosts = {still_ghost(100, 90, c.visible)};
        ghosts[0].alpha = c.alpha;
        if (c.seen[1]) {
            ghosts.push_back(ghosts[0]);
            ghosts[1].sprite = b;
            ghosts[1].x += 5;
        }
        clear_to_color(back_buffer, background);
        draw_ghosts();
        clear_to_color(expected, background);
        for (int k = 0; k < 2; ++k)
            if (c.seen[k])
                draw_sprite(expected, c.seen[k], 100 + 5 * k, 90);
        EXPECT_EQ(mismatches(back_buffer, expected), 0);
    }
    destroy_bitmap(expected);
}

}  // namespace
