// Ghosts, the level flow, the X-Beam, vanish effects and the crosshair.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <set>

#include "levels/level_flow.h"
#include "play/beam.h"
#include "play/crosshair.h"
#include "play/vanish.h"
#include "shell/data_items.h"
#include "shell/main_loop.h"
#include "support/test_support.h"

struct Play : ::testing::Test {
    void SetUp() override { start_game(); }
};

// Each field takes its own draw, in order, over its own span of values.
TEST_F(Play, ANewGhostDrawsItsFieldsInOrder) {
    for (unsigned seed : {1u, 7u, 2024u}) {
        srand(seed);
        const Ghost g;
        srand(seed);
        int r[11];
        for (int& v : r)
            v = rand();
        const Ghost want_of = [&] {
            Ghost w = still_ghost(r[2] % 640, r[3] % 480, r[9] % 2 ? 0 : -1);
            w.health = 10 + r[0] % 40, w.fade_step = 1 + r[1] % 5, w.moving_left = r[4] % 2, w.moving_up = r[5] % 2;
            w.speed = 1 + r[6] % 5, w.hidden_ticks = 10 + r[7] % 80, w.shown_ticks = 10 + r[8] % 80, w.alpha = 0;
            w.sprite = item_bitmap(GHOST_PICTURE_FIRST + r[10] % 6);
            return w;
        }();
        EXPECT_EQ(memcmp(&g, &want_of, sizeof g), 0) << "seed " << seed;
    }
}

TEST_F(Play, FadesMovesAndDrawing) {
    struct { int step, in, out; } fades[] = {{5, 51, 51}, {1, 255, 254}};
    for (auto c : fades) {
        Ghost g = still_ghost(0, 0, 0);
        g.fade_step = c.step;
        g.hidden_ticks = g.shown_ticks = 10;
        for (int out = 0; out < 2; ++out) {
            g.phase_timer = 9;
            int ticks = 0;
            do {
                g.update_fade();
                if (++ticks == 1) {
                    EXPECT_EQ(g.alpha, out ? 254 - c.step : c.step);
                }
                EXPECT_EQ(g.phase_timer, 0) << "still during a fade";
            } while (g.fading && ticks < 1000);
            EXPECT_EQ(ticks, out ? c.out : c.in) << "fade_step " << c.step;
            EXPECT_EQ(g.alpha + g.visible, out ? 0 : 254);
        }
    }
    struct { int x, y, left, up, speed, x1, y1, x2, y2; } moves[] = {  // one step past an edge, then the turn
        {640, 100, 0, 0, 3, 643, 103, 640, 106}, {0, 100, 1, 0, 2, -2, 102, 0, 104},
        {100, 480, 0, 0, 5, 105, 485, 110, 480}, {100, 0, 0, 1, 4, 104, -4, 108, 0}};
    for (auto c : moves) {
        Ghost g = still_ghost(c.x, c.y);
        g.moving_left = c.left;
        g.moving_up = c.up;
        g.speed = c.speed;
        g.move();
        EXPECT_EQ(g.x * 1000 + g.y, c.x1 * 1000 + c.y1);
        g.move();
        EXPECT_EQ(g.x * 1000 + g.y, c.x2 * 1000 + c.y2);
    }
    // Drawn translucently in list order: at alpha 0 nothing shows, at 255 the full picture.
    BITMAP* expected = create_bitmap(640, 480);
    for (int alpha : {0, 255}) {
        ghosts = {still_ghost(100, 90), still_ghost(105, 90), still_ghost(110, 90, 0)};
        for (int k = 0; k < 3; ++k) {
            ghosts[k].sprite = item_bitmap(GHOST_PICTURE_FIRST + k);
            ghosts[k].alpha = alpha;
        }
        clear_to_color(back_buffer, makecol(40, 80, 120));
        clear_to_color(expected, makecol(40, 80, 120));
        draw_ghosts();
        for (int k = 0; k < 2 && alpha; ++k)
            draw_sprite(expected, ghosts[k].sprite, 100 + 5 * k, 90);
        int differing = 0;
        for (int i = 0; i < 640 * 480; ++i)
            differing += getpixel(back_buffer, i % 640, i / 640) != getpixel(expected, i % 640, i / 640);
        EXPECT_EQ(differing, 0) << "alpha " << alpha;
    }
    destroy_bitmap(expected);
}

TEST_F(Play, OnePassDestroysTwoGhostsInListOrder) {
    ghosts = {still_ghost(100, 100), still_ghost(300, 200), still_ghost(50, 60)};
    ghosts[0].health = ghosts[1].health = 0;
    ghosts[0].speed = 2;
    ghosts[1].moving_left = ghosts[1].moving_up = ghosts[1].speed = 1;
    ghosts[2].speed = 3;
    time_left = 100;
    update_ghosts();
    BITMAP* frame0 = item_bitmap(VANISH_FRAME_FIRST);
    ASSERT_EQ(vanish_effects.size(), 2u);  // where the ghosts were after this tick's move
    EXPECT_EQ(vanish_effects[0].x * 1000 + vanish_effects[0].y, (102 - frame0->w / 2) * 1000 + 102 - frame0->h / 2);
    EXPECT_EQ(vanish_effects[1].x, 299 - frame0->w / 2);
    EXPECT_EQ(score * 1000 + time_left, 20130);
    ASSERT_EQ(ghosts.size(), 1u);
    EXPECT_EQ(ghosts[0].x, 53) << "the ghost behind the erased ones moved in the same pass";
}

// The walk goes on over the refilled list; on level 1000 it outgrows the reserved room.
TEST_F(Play, ShardKillRefillsTheListAndTheWalkGoesOn) {
    KeyAnswerer answer({KEY_A});
    struct { int level, carrier; } cases[] = {{3, 1}, {1000, 0}, {1001, 500}};
    for (auto c : cases) {
        level = c.level;
        levels_since_bomb = c.level % 5;
        score = 0;
        ghosts.assign(c.level, still_ghost(10, 10));
        ghosts[c.carrier].health = 0;
        ghosts[c.carrier].carries_shard = -1;
        logic_ticks = 151;
        update_ghosts();
        EXPECT_EQ(level * 100000 + score, (c.level + 1) * 100000 + 10 + 10 * c.level);
        EXPECT_EQ(time_left * 10 + vanish_effects.size(), 1200u);
        ASSERT_EQ(ghosts.size(), static_cast<size_t>(c.level + 1));
        int as_expected = 0;  // only the ghosts after the carrier's index were updated
        for (size_t i = 0; i < ghosts.size(); ++i)
            as_expected += ghosts[i].phase_timer == (static_cast<int>(i) > c.carrier);
        EXPECT_EQ(as_expected, c.level + 1) << "level " << c.level;
    }
}

TEST_F(Play, LevelStartsBuildGhostsAwardBombsAndShowTheIntroduction) {
    struct { int level; bool bomb, win; } cases[] = {{1, false, false}, {4, false, false}, {5, true, false},
        {10, true, false}, {20, true, true}, {21, false, true}, {25, true, true}};
    for (auto c : cases) {
        SCOPED_TRACE(c.level);
        level = c.level - 1;
        levels_since_bomb = (c.level - 1) % 5;
        flash_bombs = 2;
        score = 1000;
        ghosts = {still_ghost(1, 1), still_ghost(2, 2)};
        vanish_effects = {VanishEffect(3, 4)};
        const std::string bonus = std::to_string(100 * c.level);
        int matching_lines = 0;  // read while the introduction waits
        KeyAnswerer answer({KEY_A}, 200, [&](int i) {
            for (int n = 0; n < 10 && i == 0; ++n) {
                std::vector<TextAt> texts = {{HEADING_FONT, 20, 20, "Level " + std::to_string(c.level)},
                                             {TEXT_FONT, 40, 200, encouragement_lines[n]},
                                             {TEXT_FONT, 245, 350, "Hit A to continue"},
                                             {TEXT_FONT, 20, 100, c.bomb ? flash_bomb_message : ""},
                                             {TEXT_FONT, 20, 115, c.bomb ? bonus + " bonus points!!" : ""}};
                matching_lines += text_mismatches(game_screen, texts) == 0;
            }
        });
        start_next_level();
        EXPECT_EQ(answer.stop(), c.win ? 3 : 1);  // the introduction, then win and high scores
        EXPECT_EQ(matching_lines, 1);
        EXPECT_EQ(flash_bombs * 10000 + score, (c.bomb ? 30000 + 100 * c.level : 20000) + 1000);
        EXPECT_EQ(time_left * 10 + vanish_effects.size(), 1201u);
        ASSERT_EQ(ghosts.size(), static_cast<size_t>(c.level));
        EXPECT_EQ(std::count_if(ghosts.begin(), ghosts.end(), [](const Ghost& g) { return g.carries_shard == -1; }), 1);
    }
}

// A shard kill in a logic step: the ticks counted while the next introduction waits are run
// by the main loop afterwards, one step each.
TEST_F(Play, TheIntroductionsTicksAreWorkedOffAfterwards) {
    NoTimer no_timer;
    level = levels_since_bomb = 1;
    ghosts = {still_ghost(300, 200)};
    ghosts[0].health = 0;
    ghosts[0].carries_shard = -1;
    logic_ticks = 1 + 151;  // this step's tick and the shard sequence's
    KeyAnswerer answer({KEY_A}, 300, [](int i) {
        for (int ms = 0; i == 0 && ms < 5000 && *static_cast<volatile int*>(&level) != 2; ++ms)
            sleep_ms(1);
        if (i == 0) {
            sleep_ms(100);  // the list is refilled just after the level is raised
            for (Ghost& g : ghosts)
                g = still_ghost(0, 0);  // phase timers that count the steps
            logic_ticks += 300;  // five seconds on the introduction
        }
    });
    main_loop_pass();
    EXPECT_EQ(answer.stop(), 1);
    EXPECT_EQ(logic_ticks, 0);
    EXPECT_EQ(time_left * 100 + tick_in_second, 11500);  // 300 steps, the shard kill's included
    ASSERT_EQ(ghosts.size(), 2u);
    EXPECT_EQ(ghosts[0].phase_timer * 1000 + ghosts[1].phase_timer, 299300) << "the walk resumed at index 1";
}

TEST_F(Play, WhichGhostsTheBeamHitsAndHowOften) {
    // The game's 16-bit pictures take a fast path; a 32-bit pair goes through the library's getpixel.
    for (int depth : {16, 32}) {
        BITMAP* spot = create_bitmap_ex(depth, 3, 3);
        BITMAP* full = create_bitmap_ex(depth, 20, 20);
        BITMAP* dot = create_bitmap_ex(depth, 20, 20);  // one solid pixel
        clear_bitmap(spot);
        clear_to_color(full, makecol_depth(depth, 90, 90, 200));
        clear_to_color(dot, bitmap_mask_color(dot));
        putpixel(dot, 10, 10, makecol_depth(depth, 200, 10, 10));
        struct { BITMAP* other; int x, y, hit; } collisions[] = {
            {full, 20, 5, 0},  {full, 5, 20, 0}, {full, -3, -3, 0},    // disjoint
            {full, 19, 5, -1}, {full, 5, -2, -1}, {full, -2, -2, -1},  // a shared column, row, corner
            {dot, 2, 2, 0},    {dot, 9, 9, -1},  {dot, 10, 8, -1}, {dot, 8, 8, -1}, {dot, 11, 9, 0}, {dot, 7, 9, 0}};
        for (auto c : collisions)
            EXPECT_EQ(pixel_collide(spot, c.x, c.y, c.other, 0, 0), c.hit) << depth << ": " << c.x << "," << c.y;
        destroy_bitmap(spot);
        destroy_bitmap(full);
        destroy_bitmap(dot);
    }

    struct { const char* name; int visible, alpha; bool hit; } cases[] = {
        {"shown", -1, 255, true}, {"never faded, alpha 0", -1, 0, true}, {"hidden", 0, 0, false}};
    mouse_x = mouse_y = 210;
    for (auto c : cases) {
        start_game();
        ghosts = {still_ghost(200, 200, c.visible)};
        ghosts[0].alpha = c.alpha;
        mouse_b = 1;
        update_ghosts();
        EXPECT_EQ(ghosts[0].health, c.hit ? 19 : 20) << c.name;
        EXPECT_EQ(beam_voice != NO_VOICE, c.hit) << c.name;
    }
    start_game();
    mouse_b = 1;
    ghosts = {still_ghost(200, 200, 0), still_ghost(200, 200), still_ghost(200, 200)};
    for (int tick = 0; tick < 5; ++tick)
        update_ghosts();
    EXPECT_EQ(ghosts[1].health * 100 + ghosts[2].health, 1920) << "one hit, on the first shown ghost";
    SAMPLE* zap = item_sample(BEAM_SAMPLE);
    sleep_ms(1000 * zap->len / zap->freq + 300);
    update_ghosts();
    EXPECT_EQ(ghosts[1].health, 18) << "the next hit once the zap has played";
    mouse_b = 0;  // letting go silences the zap, so a new press hits at once
    update_ghosts();
    mouse_b = 1;
    update_ghosts();
    EXPECT_EQ(ghosts[1].health, 17);

    mouse_b = 0;  // with every voice taken there is no zap, and so no hit
    update_ghosts();
    std::vector<int> taken;
    for (int v; (v = allocate_voice(zap)) != -1;)
        taken.push_back(v);
    mouse_b = 1;
    update_ghosts();
    for (int v : taken)
        deallocate_voice(v);
    EXPECT_EQ(ghosts[1].health * 10 + (beam_voice == NO_VOICE), 171);
}

TEST_F(Play, HeatFollowsTheLeftButtonAndBlocksHitsAtTheLimit) {
    ghosts = {still_ghost(200, 200)};
    mouse_b = 1;
    for (int t = 0; t < 200; ++t)
        update_beam();
    mouse_x = mouse_y = 210;
    struct { int buttons, ticks, heat, health; } steps[] = {
        {1, 1, 200, 20}, {3, 5, 200, 20}, {0, 1, 199, 20}, {1, 1, 200, 19}, {2, 199, 1, 19}, {0, 5, 0, 19}};
    for (auto s : steps) {
        if (beam_voice != NO_VOICE)
            deallocate_voice(beam_voice);  // no zap in the way: only the heat decides
        beam_voice = NO_VOICE;
        mouse_b = s.buttons;
        for (int t = 0; t < s.ticks; ++t) {
            update_ghosts();
            update_beam();
        }
        EXPECT_EQ(heat * 100 + ghosts[0].health, s.heat * 100 + s.health);
    }
}

TEST_F(Play, FlashBombSparesTheCarrierAndHiddenGhostsOncePerPress) {
    ghosts = {still_ghost(10, 10), still_ghost(20, 20), still_ghost(50, 50), still_ghost(30, 30, 0),
              still_ghost(40, 40)};
    ghosts[1].alpha = 0;
    ghosts[2].carries_shard = -1;
    time_left = 50;
    mouse_b = 2;
    update_beam();  // a press without bombs latches all the same
    flash_bombs = 2;
    struct { int buttons, bombs, ghosts_left, score; } steps[] = {
        {2, 2, 5, 0}, {0, 2, 5, 0}, {2, 1, 2, 30}, {2, 1, 2, 30}};
    for (auto s : steps) {
        mouse_b = s.buttons;
        update_beam();
        EXPECT_EQ(flash_bombs * 1000 + static_cast<int>(ghosts.size()) * 100 + score,
                  s.bombs * 1000 + s.ghosts_left * 100 + s.score);
    }
    EXPECT_EQ(time_left, 95);
    EXPECT_EQ(ghosts[0].carries_shard * 100 + ghosts[1].visible, -100);
}

TEST_F(Play, HeatBarVanishEffectsAndCrosshair) {
    struct { int heat, last, red; } cases[] = {{1, 1, 1}, {100, 74, 127}, {200, 149, 255}};
    for (auto c : cases) {
        heat = c.heat;
        clear_bitmap(back_buffer);
        draw_heat_bar();
        EXPECT_EQ(getpixel(back_buffer, c.last, 15), makecol(c.red, 0, 0)) << c.heat;
        EXPECT_EQ(getpixel(back_buffer, c.last + 1, 15), c.heat == 200 ? white() : 0) << c.heat;
        EXPECT_EQ(getpixel(back_buffer, 0, 15), c.heat == 1 ? makecol(1, 0, 0) : white()) << "heat 1 fills back to 0";
        EXPECT_EQ(lit_pixels(back_buffer, 155, 0, 485, 30) > 0, c.heat == 200) << "OVERHEAT! at heat " << c.heat;
    }

    vanish_effects = {VanishEffect(-7, 100)};
    for (int k = 0; k < 30; ++k) {
        ASSERT_EQ(vanish_effects.size(), 1u);
        EXPECT_EQ(vanish_effects[0].frame, k / 6) << k;
        update_vanish_effects();
    }
    EXPECT_TRUE(vanish_effects.empty());
    const int ages[] = {0, 29, 3, 29, 7};  // finished effects leave; the rest keep order and advance
    for (int i = 0; i < 5; ++i) {
        vanish_effects.push_back(VanishEffect(i, 0));
        for (int k = 0; k < ages[i]; ++k)
            vanish_effects.back().advance();
    }
    update_vanish_effects();
    ASSERT_EQ(vanish_effects.size(), 3u);
    EXPECT_EQ(vanish_effects[1].x * 100 + vanish_effects[1].frame_timer, 204);
    EXPECT_EQ(vanish_effects[2].x * 100 + vanish_effects[2].frame_timer, 402);

    crosshair_angle = 256;
    for (int t = 0; t < 9; ++t)
        update_crosshair();
    EXPECT_EQ(crosshair_angle, 256) << "turns only every 10 ticks";
    std::set<int> turned_to;  // from 256 and from 0, enough times to go both ways
    for (int i = 0; i < 200; ++i) {
        crosshair_angle = i % 2 ? 0 : 256;
        crosshair_timer = 9;
        update_crosshair();
        turned_to.insert(crosshair_angle);
    }
    EXPECT_EQ(turned_to, (std::set<int>{0, 1, 255, 256}));
    EXPECT_EQ(pointer_sprite, crosshair_sprite);
    // The drawn crosshair: a white outer ring, a transparent inside, a red inner ring.
    const int mask = bitmap_mask_color(crosshair_image);
    EXPECT_EQ(getpixel(crosshair_image, 45, 30), mask);
    EXPECT_EQ(getpixel(crosshair_image, 55, 30), white());
    EXPECT_EQ(getpixel(crosshair_image, 36, 30), makecol(255, 0, 0));
    EXPECT_EQ(getpixel(crosshair_image, 0, 0), mask);
}
