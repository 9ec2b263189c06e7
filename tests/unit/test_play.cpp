// Ghosts, the level flow, the X-Beam, vanish effects and the crosshair.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <tuple>

#include "levels/level_flow.h"
#include "play/beam.h"
#include "play/crosshair.h"
#include "play/vanish.h"
#include "shell/game_state.h"
#include "shell/main_loop.h"
#include "support/test_support.h"

using testing::ElementsAre;
using testing::Field;

struct Play : ::testing::Test {
    void SetUp() override { start_game(); }
};

struct FieldSpan {
    const char* name;
    int Ghost::*field;
    int lowest, highest;
};

// A new ghost's fields each cover their whole span, and no more, over many ghosts.
struct NewGhost : testing::TestWithParam<FieldSpan> {
    static void SetUpTestSuite() {
        start_game();
        srand(1);
        made.resize(6000);
    }
    static std::vector<Ghost> made;
};
std::vector<Ghost> NewGhost::made;

TEST_P(NewGhost, FieldCoversItsSpan) {
    const auto field = GetParam().field;
    const auto [lowest, highest] = std::minmax_element(
        made.begin(), made.end(), [field](const Ghost& a, const Ghost& b) { return a.*field < b.*field; });
    EXPECT_EQ(std::pair((*lowest).*field, (*highest).*field),
              std::pair(GetParam().lowest, GetParam().highest));
}

const FieldSpan spans[] = {
    {"health", &Ghost::health, 10, 49}, {"fade_step", &Ghost::fade_step, 1, 5}, {"x", &Ghost::x, 0, 639},
    {"y", &Ghost::y, 0, 479}, {"moving_left", &Ghost::moving_left, 0, 1}, {"moving_up", &Ghost::moving_up, 0, 1},
    {"speed", &Ghost::speed, 1, 5}, {"hidden_ticks", &Ghost::hidden_ticks, 10, 89},
    {"shown_ticks", &Ghost::shown_ticks, 10, 89}, {"visible", &Ghost::visible, -1, 0}, {"alpha", &Ghost::alpha, 0, 0},
    {"fading", &Ghost::fading, 0, 0}, {"phase_timer", &Ghost::phase_timer, 0, 0},
    {"carries_shard", &Ghost::carries_shard, 0, 0}};
INSTANTIATE_TEST_SUITE_P(Fields, NewGhost, testing::ValuesIn(spans), case_name<FieldSpan>);

TEST(NewGhosts, PictureIsEachOfTheSix) {
    start_game();
    std::set<BITMAP*> drawn, six;
    for (int i = 0; i < 600; ++i)
        drawn.insert(Ghost().sprite);
    for (int i = 0; i < GHOST_PICTURE_COUNT; ++i)
        six.insert(item_bitmap(GHOST_PICTURE_FIRST + i));
    EXPECT_EQ(drawn, six);
}

TEST_F(Play, FadesInAndOutAtTheirStep) {
    struct { int step, in, out; } fades[] = {{5, 51, 51}, {1, 255, 254}};
    for (auto c : fades) {
        SCOPED_TRACE(testing::Message() << "fade_step " << c.step);
        Ghost g = still_ghost(0, 0, 0);
        g.fade_step = c.step;
        g.hidden_ticks = g.shown_ticks = 10;
        for (bool out : {false, true}) {
            g.phase_timer = 9;
            int ticks = 0;
            do {
                g.update_fade();
                if (++ticks == 1) {
                    EXPECT_EQ(g.alpha, out ? 254 - c.step : c.step);
                }
                EXPECT_EQ(g.phase_timer, 0) << "still during a fade";
            } while (g.fading && ticks < 1000);
            EXPECT_EQ(ticks, out ? c.out : c.in);
            EXPECT_EQ(std::pair(g.alpha, g.visible), out ? std::pair(0, 0) : std::pair(255, -1));
        }
    }
}

struct MoveCase {
    const char* name;
    int x, y, left, up, speed;
    std::pair<int, int> past_the_edge, turned;
};

using GhostMove = CaseTest<MoveCase>;

// One step past an edge, then the turn back.
TEST_P(GhostMove, StepsPastTheEdgeThenTurns) {
    const MoveCase& c = GetParam();
    Ghost g = still_ghost(c.x, c.y);
    g.moving_left = c.left;
    g.moving_up = c.up;
    g.speed = c.speed;
    g.move();
    EXPECT_EQ(std::pair(g.x, g.y), c.past_the_edge);
    g.move();
    EXPECT_EQ(std::pair(g.x, g.y), c.turned);
}

const MoveCase moves[] = {{"right", 640, 100, 0, 0, 3, {643, 103}, {640, 106}},
                           {"left", 0, 100, 1, 0, 2, {-2, 102}, {0, 104}},
                           {"bottom", 100, 480, 0, 0, 5, {105, 485}, {110, 480}},
                           {"top", 100, 0, 0, 1, 4, {104, -4}, {108, 0}}};
INSTANTIATE_TEST_SUITE_P(Edges, GhostMove, testing::ValuesIn(moves), case_name<MoveCase>);

// Drawn translucently in list order: at alpha 0 nothing shows, at 255 the full picture.
TEST_F(Play, GhostsAreDrawnInListOrderByTheirAlpha) {
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
    EXPECT_EQ(std::pair(vanish_effects[0].x, vanish_effects[0].y), std::pair(102 - frame0->w / 2, 102 - frame0->h / 2));
    EXPECT_EQ(vanish_effects[1].x, 299 - frame0->w / 2);
    EXPECT_EQ(std::pair(score, time_left), std::pair(20, 130));
    ASSERT_EQ(ghosts.size(), 1u);
    EXPECT_EQ(ghosts[0].x, 53) << "the ghost behind the erased ones moved in the same pass";
}

struct ShardCase {
    const char* name;
    int level, carrier;
};

using ShardKill = CaseTest<ShardCase>;

// The walk goes on over the refilled list; on level 1000 it outgrows the reserved room.
TEST_P(ShardKill, RefillsTheListAndTheWalkGoesOn) {
    const ShardCase& c = GetParam();
    ScreenAnswerer answer;
    level = c.level;
    levels_since_bomb = c.level % 5;
    ghosts.assign(c.level, still_ghost(10, 10));
    ghosts[c.carrier].health = 0;
    ghosts[c.carrier].carries_shard = -1;
    logic_ticks = 151;
    update_ghosts();
    EXPECT_EQ(std::pair(level, score), std::pair(c.level + 1, 10 + 10 * c.level));
    EXPECT_EQ(std::pair(time_left, vanish_effects.size()), std::pair(120, size_t{0}));
    ASSERT_EQ(ghosts.size(), static_cast<size_t>(c.level + 1));
    for (size_t i = 0; i < ghosts.size(); ++i)  // only the ghosts after the carrier's index were updated
        ASSERT_EQ(ghosts[i].phase_timer, static_cast<int>(i) > c.carrier) << "ghost " << i;
}

const ShardCase shard_kills[] = {{"level_3", 3, 1}, {"level_1000", 1000, 0}, {"level_1001", 1001, 500}};
INSTANTIATE_TEST_SUITE_P(Levels, ShardKill, testing::ValuesIn(shard_kills), case_name<ShardCase>);

struct LevelCase {
    const char* name;
    int level;
    bool bomb, win;
};

using LevelStart = CaseTest<LevelCase>;

TEST_P(LevelStart, BuildsGhostsAwardsBombsAndShowsTheIntroduction) {
    const LevelCase& c = GetParam();
    level = c.level - 1;
    levels_since_bomb = (c.level - 1) % 5;
    flash_bombs = 2;
    score = 1000;
    ghosts = {still_ghost(1, 1), still_ghost(2, 2)};
    vanish_effects = {VanishEffect(3, 4)};
    const std::string bonus = std::to_string(100 * c.level);
    int matching_lines = 0;  // read while the introduction waits
    ScreenAnswerer answer(KEY_A, [&](int i) {
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
    EXPECT_EQ(answer.presses, c.win ? 3 : 1);  // the introduction, then win and high scores
    EXPECT_EQ(matching_lines, 1);
    EXPECT_EQ(std::pair(flash_bombs, score), c.bomb ? std::pair(3, 1000 + 100 * c.level) : std::pair(2, 1000));
    EXPECT_EQ(std::pair(time_left, vanish_effects.size()), std::pair(120, size_t{1}));
    ASSERT_EQ(ghosts.size(), static_cast<size_t>(c.level));
    EXPECT_EQ(std::count_if(ghosts.begin(), ghosts.end(), [](const Ghost& g) { return g.carries_shard == -1; }), 1);
}

const LevelCase level_starts[] = {
    {"level_1", 1, false, false}, {"level_4", 4, false, false}, {"level_5_bomb", 5, true, false},
    {"level_10_bomb", 10, true, false}, {"level_20_bomb_and_win", 20, true, true}, {"level_21_win", 21, false, true},
    {"level_25_bomb_and_win", 25, true, true}};
INSTANTIATE_TEST_SUITE_P(Levels, LevelStart, testing::ValuesIn(level_starts), case_name<LevelCase>);

// A shard kill in a logic step: the ticks counted while the next introduction waits are run
// by the main loop afterwards, one step each.
TEST_F(Play, TheIntroductionsTicksAreWorkedOffAfterwards) {
    NoTimer no_timer;
    level = levels_since_bomb = 1;
    ghosts = {still_ghost(300, 200)};
    ghosts[0].health = 0;
    ghosts[0].carries_shard = -1;
    logic_ticks = 1 + 151;  // this step's tick and the shard sequence's
    ScreenAnswerer answer(KEY_A, [](int) {
        for (Ghost& g : ghosts)
            g = still_ghost(0, 0);  // phase timers that count the steps
        logic_ticks += 300;         // five seconds on the introduction
    });
    main_loop_pass();
    EXPECT_EQ(answer.presses, 1);
    EXPECT_EQ(logic_ticks, 0);
    EXPECT_EQ(std::pair(time_left, tick_in_second), std::pair(115, 0));  // 300 steps, the shard kill's included
    EXPECT_THAT(ghosts, ElementsAre(Field(&Ghost::phase_timer, 299), Field(&Ghost::phase_timer, 300)))
        << "the walk resumed at index 1";
}

struct Collision {
    const char* name;
    bool dot;  // else a full 20x20 square
    int x, y, hit;
};

// The game's 16-bit pictures take a fast path; a 32-bit pair goes through the library's getpixel.
struct PixelCollide : testing::TestWithParam<std::tuple<int, Collision>> {};

TEST_P(PixelCollide, AThreeByThreeSpotAgainstAPicture) {
    const auto [depth, c] = GetParam();
    BITMAP* spot = create_bitmap_ex(depth, 3, 3);
    BITMAP* other = create_bitmap_ex(depth, 20, 20);
    clear_bitmap(spot);
    if (c.dot) {
        clear_to_color(other, bitmap_mask_color(other));
        putpixel(other, 10, 10, makecol_depth(depth, 200, 10, 10));
    } else {
        clear_to_color(other, makecol_depth(depth, 90, 90, 200));
    }
    EXPECT_EQ(pixel_collide(spot, c.x, c.y, other, 0, 0), c.hit);
    destroy_bitmap(spot);
    destroy_bitmap(other);
}

const Collision collisions[] = {
    {"right_of_it", false, 20, 5, 0}, {"below_it", false, 5, 20, 0}, {"above_left", false, -3, -3, 0},
    {"shared_column", false, 19, 5, -1}, {"shared_row", false, 5, -2, -1}, {"shared_corner", false, -2, -2, -1},
    {"off_the_dot", true, 2, 2, 0}, {"dot_bottom_right", true, 9, 9, -1}, {"dot_bottom_left", true, 10, 8, -1},
    {"dot_top_left", true, 8, 8, -1}, {"dot_just_left", true, 11, 9, 0}, {"dot_just_right", true, 7, 9, 0}};
INSTANTIATE_TEST_SUITE_P(Depths, PixelCollide, testing::Combine(testing::Values(16, 32), testing::ValuesIn(collisions)),
                         [](const auto& info) {
                             return std::to_string(std::get<0>(info.param)) + "_bit_" + std::get<1>(info.param).name;
                         });

struct BeamCase {
    const char* name;
    int visible, alpha;
    bool hit;
};

using BeamOnAGhost = CaseTest<BeamCase>;

TEST_P(BeamOnAGhost, HitsItWhenShown) {
    mouse_x = mouse_y = 210;
    ghosts = {still_ghost(200, 200, GetParam().visible)};
    ghosts[0].alpha = GetParam().alpha;
    mouse_b = 1;
    update_ghosts();
    EXPECT_EQ(ghosts[0].health, GetParam().hit ? 19 : 20);
    EXPECT_EQ(beam_voice != NO_VOICE, GetParam().hit);
}

const BeamCase phases[] = {{"shown", -1, 255, true}, {"never_faded_alpha_0", -1, 0, true}, {"hidden", 0, 0, false}};
INSTANTIATE_TEST_SUITE_P(Phases, BeamOnAGhost, testing::ValuesIn(phases), case_name<BeamCase>);

// One hit per zap, on the first shown ghost under the beam; letting go silences the zap.
TEST_F(Play, TheBeamHitsOncePerZap) {
    mouse_x = mouse_y = 210;
    mouse_b = 1;
    ghosts = {still_ghost(200, 200, 0), still_ghost(200, 200), still_ghost(200, 200)};
    for (int tick = 0; tick < 5; ++tick)
        update_ghosts();
    EXPECT_EQ(std::pair(ghosts[1].health, ghosts[2].health), std::pair(19, 20)) << "one hit, on the first shown ghost";
    for (int ms = 0; ms < 2000 && voice_get_position(beam_voice) == -1; ms += 5)
        rest(5);  // a busy mixer takes the zap up late
    while (voice_get_position(beam_voice) != -1)  // then plays it out
        rest(5);
    update_ghosts();
    EXPECT_EQ(ghosts[1].health, 18) << "the next hit once the zap has played";
    mouse_b = 0;  // letting go silences the zap, so a new press hits at once
    update_ghosts();
    mouse_b = 1;
    update_ghosts();
    EXPECT_EQ(ghosts[1].health, 17);
}

TEST_F(Play, WithEveryVoiceTakenThereIsNoZapAndNoHit) {
    mouse_x = mouse_y = 210;
    ghosts = {still_ghost(200, 200)};
    std::vector<int> taken;
    for (int v; (v = allocate_voice(item_sample(BEAM_SAMPLE))) != -1;)
        taken.push_back(v);
    mouse_b = 1;
    update_ghosts();
    for (int v : taken)
        deallocate_voice(v);
    EXPECT_EQ(std::pair(ghosts[0].health, beam_voice), std::pair(20, NO_VOICE));
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
        EXPECT_EQ(std::pair(heat, ghosts[0].health), std::pair(s.heat, s.health))
            << "buttons " << s.buttons << " for " << s.ticks << " ticks";
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
    struct { int buttons, bombs; size_t ghosts_left; int score; } steps[] = {
        {2, 2, 5, 0}, {0, 2, 5, 0}, {2, 1, 2, 30}, {2, 1, 2, 30}};
    for (auto s : steps) {
        mouse_b = s.buttons;
        update_beam();
        EXPECT_EQ(std::tuple(flash_bombs, ghosts.size(), score), std::tuple(s.bombs, s.ghosts_left, s.score));
    }
    EXPECT_EQ(time_left, 95);
    EXPECT_EQ(std::pair(ghosts[0].carries_shard, ghosts[1].visible), std::pair(-1, 0));
}

struct HeatCase {
    const char* name;
    int heat, first, last, red;  // the fill's columns and red
};

using HeatBar = CaseTest<HeatCase>;

// The fill's right end and colour; heat 1's fill reaches back over the frame's left edge.
TEST_P(HeatBar, FillsInProportionAndReddens) {
    const HeatCase& c = GetParam();
    heat = c.heat;
    clear_bitmap(back_buffer);
    draw_heat_bar();
    EXPECT_EQ(getpixel(back_buffer, c.last, 15), makecol(c.red, 0, 0));
    EXPECT_EQ(getpixel(back_buffer, c.last + 1, 15), c.heat == 200 ? white() : 0);
    EXPECT_EQ(getpixel(back_buffer, 0, 15), c.heat == 1 ? makecol(1, 0, 0) : white());
}

// "OVERHEAT!" right of the bar at full heat only, and nothing else drawn.
TEST_P(HeatBar, SaysOverheatAtItsPlaceOnlyAtFullHeat) {
    const HeatCase& c = GetParam();
    heat = c.heat;
    clear_bitmap(back_buffer);
    draw_heat_bar();
    const std::vector<TextAt> texts = {{TEXT_FONT, 155, 3, c.heat == 200 ? "OVERHEAT!" : ""}};
    EXPECT_EQ(text_mismatches(back_buffer, texts, [&c](BITMAP* b) {
                  rect(b, 0, 10, 150, 20, white());
                  rectfill(b, c.first, 11, c.last, 19, makecol(c.red, 0, 0));
              }),
              0);
}

const HeatCase heats[] = {{"heat_1", 1, 0, 1, 1}, {"heat_100", 100, 1, 74, 127}, {"heat_199", 199, 1, 148, 253},
                          {"heat_200", 200, 1, 149, 255}};
INSTANTIATE_TEST_SUITE_P(Heats, HeatBar, testing::ValuesIn(heats), case_name<HeatCase>);

TEST_F(Play, AVanishEffectShowsFiveFramesOfSixTicks) {
    vanish_effects = {VanishEffect(-7, 100)};
    for (int k = 0; k < 30; ++k) {
        ASSERT_EQ(vanish_effects.size(), 1u);
        EXPECT_EQ(vanish_effects[0].frame, k / 6) << k;
        update_vanish_effects();
    }
    EXPECT_TRUE(vanish_effects.empty());
}

TEST_F(Play, FinishedVanishEffectsLeaveTheRestKeepOrderAndAdvance) {
    const int ages[] = {0, 29, 3, 29, 7};
    for (int i = 0; i < 5; ++i) {
        vanish_effects.push_back(VanishEffect(i, 0));
        for (int k = 0; k < ages[i]; ++k)
            vanish_effects.back().advance();
    }
    update_vanish_effects();
    EXPECT_THAT(vanish_effects, ElementsAre(Field(&VanishEffect::x, 0), Field(&VanishEffect::x, 2),
                                            Field(&VanishEffect::x, 4)));
    EXPECT_THAT(vanish_effects, ElementsAre(Field(&VanishEffect::frame_timer, 1), Field(&VanishEffect::frame_timer, 4),
                                            Field(&VanishEffect::frame_timer, 2)));
}

TEST_F(Play, TheCrosshairTurnsOneUnitEitherWayEveryTenTicks) {
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
}

// Turned either way, the red ring stays on the sprite's middle, where the pointer is.
TEST_F(Play, TheTurnedCrosshairKeepsItsMiddle) {
    for (int i = 0; i < 20; ++i) {
        crosshair_angle = i % 2 ? 0 : 256;
        crosshair_timer = 9;
        update_crosshair();
        int count = 0, sum_x = 0, sum_y = 0;
        for (int y = 0; y < crosshair_sprite->h; ++y)
            for (int x = 0; x < crosshair_sprite->w; ++x)
                if (getpixel(crosshair_sprite, x, y) == makecol(255, 0, 0))
                    count++, sum_x += x, sum_y += y;
        ASSERT_GT(count, 0) << "no red ring at angle " << crosshair_angle;
        EXPECT_NEAR(sum_x / double(count), 30, 0.5) << "at angle " << crosshair_angle;
        EXPECT_NEAR(sum_y / double(count), 30, 0.5) << "at angle " << crosshair_angle;
    }
}

// Across its middle the crosshair is a white ring round a red one, see-through elsewhere.
TEST_F(Play, TheCrosshairIsAWhiteRingRoundARedOne) {
    const int mask = bitmap_mask_color(crosshair_image), red = makecol(255, 0, 0);
    std::vector<int> runs;  // the colours met along the middle row, each run once
    for (int x = 0; x < crosshair_image->w; ++x)
        if (const int c = getpixel(crosshair_image, x, crosshair_image->h / 2); runs.empty() || runs.back() != c)
            runs.push_back(c);
    EXPECT_THAT(runs, ElementsAre(mask, white(), mask, red, mask, red, mask, white(), mask));
}
