// The X-Beam (hit test, hits, heat, bombs, heat bar), vanish effects and the crosshair.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

#include "play/beam.h"
#include "play/crosshair.h"
#include "play/vanish.h"
#include "support/play_helpers.h"
#include "support/test_support.h"

namespace {

bool solid(BITMAP* b, int x, int y) {
    return x >= 0 && y >= 0 && x < b->w && y < b->h && getpixel(b, x, y) != bitmap_mask_color(b);
}

// A point of the picture that is solid (or, with `want_solid` false, a point inside the
// picture's rectangle with no solid pixel within one pixel); {-1, -1} when there is none.
std::pair<int, int> find_point(BITMAP* b, bool want_solid) {
    for (int y = 0; y < b->h; ++y)
        for (int x = 0; x < b->w; ++x) {
            bool near = false;
            for (int d = 0; d < 9; ++d)
                near = near || solid(b, x + d % 3 - 1, y + d / 3 - 1);
            if (want_solid ? solid(b, x, y) : !near)
                return {x, y};
        }
    return {-1, -1};
}

struct BeamTest : ::testing::Test {
    void SetUp() override {
        start_game();
        reset_game_state();
        drop_beam_voice();
        on = find_point(item_bitmap(GHOST_PICTURE_FIRST), true);
        ASSERT_GE(on.first, 0);
    }
    void TearDown() override {
        mouse_b = 0;
        drop_beam_voice();
    }
    // Mouse point on pixel p of the picture of a ghost at (200, 150).
    static void aim(std::pair<int, int> p) {
        mouse_x = 200 + p.first;
        mouse_y = 150 + p.second;
    }
    std::pair<int, int> on;
};

TEST_F(BeamTest, PixelCollideNeedsASolidPixelOfBothInTheOverlap) {
    BITMAP* spot = create_bitmap(3, 3);
    BITMAP* dot = create_bitmap(20, 20);
    BITMAP* full = create_bitmap(20, 20);
    clear_to_color(spot, makecol(10, 200, 10));
    clear_to_color(dot, bitmap_mask_color(dot));
    putpixel(dot, 10, 10, makecol(200, 10, 10));
    clear_to_color(full, makecol(200, 10, 10));
    struct { BITMAP* other; int x, y, hit; } cases[] = {
        {full, 20, 5, 0}, {full, 5, 20, 0}, {full, -3, -3, 0},    // disjoint
        {full, 19, 5, -1}, {full, 5, -2, -1}, {full, -2, -2, -1}, // one shared column, row, corner
        {dot, 2, 2, 0},                                          // overlap over mask only
        {dot, 9, 9, -1}, {dot, 10, 8, -1}, {dot, 8, 8, -1}, {dot, 11, 9, 0},  // around the dot
    };
    for (auto c : cases)
        EXPECT_EQ(pixel_collide(spot, c.x, c.y, c.other, 0, 0), c.hit) << c.x << "," << c.y;
    destroy_bitmap(spot);
    destroy_bitmap(dot);
    destroy_bitmap(full);
}

TEST_F(BeamTest, WhichGhostsTheBeamHits) {
    const auto off = find_point(item_bitmap(GHOST_PICTURE_FIRST), false);
    struct { const char* name; int visible, alpha, heat, buttons; bool over_solid, hit; } cases[] = {
        {"shown", -1, 255, 0, 1, true, true},
        {"never faded, alpha 0", -1, 0, 0, 1, true, true},
        {"heat 199", -1, 100, 199, 1, true, true},
        {"hidden", 0, 0, 0, 1, true, false},
        {"heat at the limit", -1, 255, 200, 1, true, false},
        {"right button only", -1, 255, 0, 2, true, false},
        {"over a clear part of the picture", -1, 255, 0, 1, false, false},
    };
    for (auto c : cases) {
        SCOPED_TRACE(c.name);
        if (!c.over_solid && off.first < 0)
            continue;
        drop_beam_voice();
        ghosts = {still_ghost(200, 150, c.visible)};
        ghosts[0].alpha = c.alpha;
        heat = c.heat;
        aim(c.over_solid ? on : off);
        mouse_b = c.buttons;
        update_ghosts();
        EXPECT_EQ(ghosts[0].health, c.hit ? 19 : 20);
        EXPECT_EQ(beam_voice != NO_VOICE, c.hit);
    }
    // Of two ghosts under the point only the first in list order is hit.
    drop_beam_voice();
    ghosts = {still_ghost(200, 150, 0), still_ghost(200, 150), still_ghost(200, 150)};
    aim(on);
    mouse_b = 1;
    update_ghosts();
    EXPECT_EQ(ghosts[1].health, 19);
    EXPECT_EQ(ghosts[2].health, 20);
}

TEST_F(BeamTest, OneHitPerPlayOfTheZap) {
    SAMPLE* zap = item_sample(BEAM_SAMPLE);
    const int zap_ms = static_cast<int>(1000.0 * zap->len / zap->freq);
    ghosts = {still_ghost(200, 150)};
    aim(on);
    mouse_b = 1;
    for (int tick = 0; tick < 5; ++tick)
        update_ghosts();
    EXPECT_EQ(ghosts[0].health, 19);  // the first hit of a run counts, then the zap plays

    std::this_thread::sleep_for(std::chrono::milliseconds(zap_ms + 300));
    update_ghosts();
    EXPECT_EQ(ghosts[0].health, 18);

    mouse_b = 0;  // letting go silences the zap, so a new press hits at once
    update_ghosts();
    EXPECT_EQ(beam_voice, NO_VOICE);
    mouse_b = 1;
    update_ghosts();
    EXPECT_EQ(ghosts[0].health, 17);
}

TEST_F(BeamTest, NoFreeVoiceMeansNoHit) {
    SAMPLE* zap = item_sample(BEAM_SAMPLE);
    const int zap_priority = zap->priority;
    zap->priority = std::min(zap_priority, 254);  // so it cannot take over the blockers' voices
    SAMPLE* blocker = create_sample(8, 0, 11025, 11025 * 30);
    memset(blocker->data, 0x80, blocker->len);
    blocker->priority = 255;
    std::vector<int> held;
    for (int v; (v = allocate_voice(blocker)) != -1;)
        held.push_back(v);

    ghosts = {still_ghost(200, 150)};
    aim(on);
    mouse_b = 1;
    update_ghosts();
    EXPECT_EQ(ghosts[0].health, 20);
    EXPECT_EQ(beam_voice, NO_VOICE);
    for (int v : held)
        deallocate_voice(v);
    update_ghosts();
    EXPECT_EQ(ghosts[0].health, 19);
    zap->priority = zap_priority;
    destroy_sample(blocker);
}

TEST_F(BeamTest, HeatFollowsTheLeftButtonAndBlocksHitsAtTheLimit) {
    ghosts = {still_ghost(200, 150)};
    mouse_x = mouse_y = 0;  // heat rises with no ghost in reach
    mouse_b = 1;
    for (int t = 0; t < 200; ++t)
        update_beam();
    EXPECT_EQ(heat, 200);
    aim(on);
    struct { int buttons, ticks, heat, health; } steps[] = {
        {3, 5, 200, 20}, {0, 1, 199, 20}, {1, 1, 200, 19}, {2, 199, 1, 19}, {0, 5, 0, 19},
    };
    for (auto s : steps) {
        drop_beam_voice();  // no zap in the way: only the heat decides
        mouse_b = s.buttons;
        for (int t = 0; t < s.ticks; ++t) {
            update_ghosts();
            update_beam();
        }
        EXPECT_EQ(heat, s.heat);
        EXPECT_EQ(ghosts[0].health, s.health) << "heat " << s.heat;
    }
}

TEST_F(BeamTest, FlashBombSparesTheCarrierAndHiddenGhostsOncePerPress) {
    ghosts = {still_ghost(10, 10), still_ghost(20, 20), still_ghost(50, 50), still_ghost(30, 30, 0),
              still_ghost(40, 40)};
    ghosts[1].alpha = 0;
    ghosts[2].carries_shard = -1;
    flash_bombs = 0;
    time_left = 50;
    mouse_b = 2;
    update_beam();  // a press without bombs latches all the same
    flash_bombs = 2;
    update_beam();
    EXPECT_EQ(ghosts.size(), 5u);

    struct { int buttons, bombs, ghosts_left, score; } steps[] = {{0, 2, 5, 0}, {2, 1, 2, 30}, {2, 1, 2, 30}};
    for (auto s : steps) {
        mouse_b = s.buttons;
        update_beam();
        EXPECT_EQ(flash_bombs, s.bombs);
        EXPECT_EQ(ghosts.size(), static_cast<size_t>(s.ghosts_left));
        EXPECT_EQ(score, s.score);
    }
    EXPECT_EQ(time_left, 95);
    EXPECT_EQ(ghosts[0].carries_shard, -1);
    ASSERT_EQ(vanish_effects.size(), 3u);
    const int xs[] = {10, 20, 40};
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(vanish_effects[i].x, xs[i] - item_bitmap(VANISH_FRAME_FIRST)->w / 2);
}

// Within a logic step the beam's kills advance at once, a bomb's only in the next step.
TEST_F(BeamTest, WhenTheEffectsOfKillsFirstAdvance) {
    ghosts = {still_ghost(500, 400, 0), still_ghost(200, 150), still_ghost(300, 300)};
    ghosts[0].carries_shard = -1;
    ghosts[1].health = 1;
    aim(on);
    mouse_b = 1;
    logic_step();
    ASSERT_EQ(vanish_effects.size(), 1u);
    EXPECT_EQ(vanish_effects[0].frame_timer, 1);
    flash_bombs = 1;
    mouse_b = 2;
    logic_step();
    ASSERT_EQ(vanish_effects.size(), 2u);
    EXPECT_EQ(vanish_effects[1].frame_timer, 0);
}

TEST_F(BeamTest, HeatBarFillAndOverheat) {
    struct { int heat, fill_right, red; bool overheat; } cases[] = {
        {0, -1, 0, false}, {1, 1, 1, false}, {100, 74, 127, false}, {199, 148, 253, false}, {200, 149, 255, true},
    };
    for (auto c : cases) {
        SCOPED_TRACE(c.heat);
        heat = c.heat;
        clear_bitmap(back_buffer);
        draw_heat_bar();
        const int fill = makecol(c.red, 0, 0);
        // Heat 1 fills from column 1 back to 0, over the frame's left side.
        EXPECT_EQ(getpixel(back_buffer, 0, 15), c.heat == 1 ? fill : white());
        EXPECT_EQ(getpixel(back_buffer, 150, 15), white());
        int wrong = 0, red_text = 0;
        for (int col = 1; col < 150; ++col)
            wrong += getpixel(back_buffer, col, 15) != (col <= c.fill_right ? fill : 0);
        for (int y = 0; y < 30; ++y)
            for (int x = 155; x < 640; ++x)
                red_text += getpixel(back_buffer, x, y) == makecol(255, 0, 0);
        EXPECT_EQ(wrong, 0);
        EXPECT_EQ(red_text > 0, c.overheat);
    }
}

TEST_F(BeamTest, VanishEffectFramesAndRemoval) {
    BITMAP* expected = create_bitmap(640, 480);
    vanish_effects = {VanishEffect(-7, 100)};  // clipped at the left edge
    const int frame_after[30] = {0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 1, 1, 2, 2, 2, 2, 2, 2, 3, 3, 3, 3, 3, 3,
                                 4, 4, 4, 4, 4, 4};
    for (int k = 0; k < 30; ++k) {
        ASSERT_EQ(vanish_effects.size(), 1u);
        EXPECT_EQ(vanish_effects[0].frame, frame_after[k]) << k;
        clear_bitmap(back_buffer);
        draw_vanish_effects();
        clear_bitmap(expected);
        draw_sprite(expected, item_bitmap(VANISH_FRAME_FIRST + frame_after[k]), -7, 100);
        EXPECT_EQ(mismatches(back_buffer, expected), 0) << k;
        update_vanish_effects();
    }
    EXPECT_TRUE(vanish_effects.empty());
    destroy_bitmap(expected);

    // Finished effects leave from the middle; the ones behind keep their order and advance.
    const int ages[] = {0, 29, 3, 29, 7};
    vanish_effects.clear();
    for (int i = 0; i < 5; ++i) {
        vanish_effects.push_back(VanishEffect(i, 0));
        for (int k = 0; k < ages[i]; ++k)
            vanish_effects.back().advance();
    }
    update_vanish_effects();
    ASSERT_EQ(vanish_effects.size(), 3u);
    const int xs[] = {0, 2, 4}, timers[] = {1, 4, 2};
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(vanish_effects[i].x * 100 + vanish_effects[i].frame_timer, xs[i] * 100 + timers[i]);
}

TEST_F(BeamTest, CrosshairTurnsEveryTenTicksAndWraps) {
    struct { int angle, parity, turned; } cases[] = {{256, 0, 0}, {0, 1, 256}, {5, 0, 6}, {5, 1, 4}};
    for (auto c : cases) {
        SCOPED_TRACE(c.angle);
        unsigned seed = 1;  // one whose first draw has the wanted parity
        for (srand(seed); rand() % 100 % 2 != c.parity; srand(++seed)) {
        }
        srand(seed);
        crosshair_angle = c.angle;
        crosshair_timer = 0;
        for (int t = 0; t < 9; ++t)
            update_crosshair();
        EXPECT_EQ(crosshair_angle, c.angle);
        update_crosshair();
        EXPECT_EQ(crosshair_angle, c.turned);
        EXPECT_EQ(mouse_sprite, crosshair_sprite);
        EXPECT_EQ(mouse_x_focus * 100 + mouse_y_focus, 3030);
    }
}

}  // namespace
