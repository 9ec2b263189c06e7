// The high-score table and its file, the game-over and win screens, and the title menu.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include <fcntl.h>
#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

#include "frontend/high_scores.h"
#include "frontend/title_menu.h"
#include "levels/end_screens.h"
#include "play/vanish.h"
#include "shell/game_state.h"
#include "support/test_support.h"

namespace fs = std::filesystem;
using testing::HasSubstr;

ScoreRows rows_of(const HighScoreTable* t) {
    ScoreRows rows;
    for (int i = 0; i < t->count; ++i)
        rows.emplace_back(std::string(t->entries[i].name, strnlen(t->entries[i].name, 32)), t->entries[i].score);
    return rows;
}

// The table's screen without its prompt: heading and 15 rows.
std::vector<TextAt> table_screen(ScoreRows rows) {
    rows.resize(HIGH_SCORE_COUNT);
    std::vector<TextAt> texts = {{HEADING_FONT, 20, 20, "High Scores!"}};
    for (int i = 0; i < HIGH_SCORE_COUNT; ++i) {
        texts.push_back({TEXT_FONT, 220, 150 + 10 * i, rows[i].first});
        texts.push_back({TEXT_FONT, 355, 150 + 10 * i, std::to_string(rows[i].second)});
    }
    return texts;
}

struct Frontend : ::testing::Test {
    void SetUp() override { start_game(); }
    const std::string file = "High Scores.txt", temp = file + ".new";
};

struct InsertCase {
    const char* name;
    std::string stored;
    int score;
    ScoreRows expected;
};

using Insert = CaseTest<InsertCase>;

// "Ghost Hunter" enters with the score when it qualifies, and the file is written then only.
TEST_P(Insert, EntersWhereItQualifiesAndSavesOnlyThen) {
    const InsertCase& c = GetParam();
    const std::string file = "High Scores.txt";
    ScoreRows expected = c.expected;
    expected.resize(HIGH_SCORE_COUNT);
    if (!c.stored.empty())
        write_file(file, c.stored);
    HighScoreTable* table = create_high_score_table(HIGH_SCORE_COUNT, file.c_str());
    fs::remove(file);  // so that any file afterwards was written by the insert
    const bool enters = expected != rows_of(table);
    EXPECT_EQ(qualifies_for_high_score(table, c.score), enters);
    insert_high_score(table, "Ghost Hunter", c.score);
    EXPECT_EQ(rows_of(table), expected);
    EXPECT_EQ(read_file(file), enters ? score_file(expected) : "");
    destroy_high_score_table(table);
}

ScoreRows full_table(int top = 0) {
    ScoreRows rows;
    if (top)
        rows.emplace_back("Ghost Hunter", top);
    for (int i = 0; rows.size() < HIGH_SCORE_COUNT; ++i)
        rows.emplace_back("P" + std::to_string(i), 150 - 10 * i);
    return rows;
}

ScoreRows fourteen_fives_and(std::pair<std::string, int> last) {
    ScoreRows rows(14, {"Five", 5});
    rows.push_back(last);
    return rows;
}

const InsertCase inserts[] = {
    {"zero_into_no_file", "", 0, {}},
    {"equal_scores_go_below", score_file({{"A", 500}, {"B", 300}, {"D", 100}}), 300,
     {{"A", 500}, {"B", 300}, {"Ghost Hunter", 300}, {"D", 100}}},
    {"equal_to_the_15th_stays_out", score_file(full_table()), 10, full_table()},
    {"the_top_entry_pushes_the_15th_out", score_file(full_table()), 999, full_table(999)},
    {"unsorted_before_the_first_lower", score_file({{"A", 100}, {"B", 300}}), 200,
     {{"Ghost Hunter", 200}, {"A", 100}, {"B", 300}}},
    {"the_menus_0_replaces_a_negative_entry", score_file(fourteen_fives_and({"Minus", -3})), 0,
     fourteen_fives_and({"Ghost Hunter", 0})},
    {"a_file_of_40_bytes", score_file({{"Short", 77}}).substr(0, 36) + "Ab", -1, {{"Short", 77}, {"Ab", 0}}},
    {"half_a_score", score_file({{"X", 0x1234}}).substr(0, 34), -1, {{"X", 0x1234}}},
    {"a_long_file", score_file({{"Long", 60}, {"File", 40}}) + std::string(60, '\xff'), 50,
     {{"Long", 60}, {"Ghost Hunter", 50}, {"File", 40}}}};
INSTANTIATE_TEST_SUITE_P(Cases, Insert, testing::ValuesIn(inserts), case_name<InsertCase>);

// The file's name field always ends in a NUL.
TEST_F(Frontend, ALongNameIsCutTo31Bytes) {
    HighScoreTable* table = create_high_score_table(HIGH_SCORE_COUNT, file.c_str());
    insert_high_score(table, std::string(40, 'N').c_str(), 10);
    destroy_high_score_table(table);
    EXPECT_EQ(read_file(file), score_file({{std::string(31, 'N'), 10}}));
}

// A game reads the table at every game over: each read must give its file back.
TEST_F(Frontend, ReadingTheTableLeavesNoFileOpen) {
    write_file(file, score_file({{"Old", 50}}));
    const auto open_files = [] { return std::distance(fs::directory_iterator("/proc/self/fd"), {}); };
    const auto before = open_files();
    HighScoreTable* table = create_high_score_table(HIGH_SCORE_COUNT, file.c_str());
    const auto after = open_files();
    destroy_high_score_table(table);
    EXPECT_EQ(after, before);
}

TEST_F(Frontend, AFailedSaveKeepsTheOldFileAndSaysSoOnce) {
    const std::string old_table = score_file({{"Old", 50}});
    write_file(file, old_table);
    fs::create_directory(temp);  // nothing can be written
    HighScoreTable* table = create_high_score_table(HIGH_SCORE_COUNT, file.c_str());
    testing::internal::CaptureStderr();
    insert_high_score(table, "Ghost Hunter", 400);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
    EXPECT_EQ(table->entries[0].score, 400);
    EXPECT_FALSE(save_high_score_table(table));
    destroy_high_score_table(table);
    EXPECT_EQ(read_file(file), old_table);
    EXPECT_TRUE(fs::is_empty(temp)) << "a file left behind";
}

TEST_F(Frontend, ATableBehindALinkIsUpdatedWhereItPointsWithItsMode) {
    fs::create_directory("synced");
    write_file("synced/table", score_file({{"Old", 50}}));
    fs::permissions("synced/table", fs::perms::owner_read | fs::perms::owner_write);
    fs::create_symlink("synced/table", file);
    HighScoreTable* table = create_high_score_table(HIGH_SCORE_COUNT, file.c_str());
    insert_high_score(table, "Ghost Hunter", 400);
    destroy_high_score_table(table);
    EXPECT_TRUE(fs::is_symlink(file));
    EXPECT_EQ(read_file("synced/table"), score_file({{"Ghost Hunter", 400}, {"Old", 50}}));
    EXPECT_EQ(fs::status("synced/table").permissions(), fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(std::distance(fs::directory_iterator("synced"), fs::directory_iterator()), 1) << "a file left behind";
}

// Checked as an unprivileged player: root may write anything.
TEST_F(Frontend, ATableThePlayerMadeReadOnlyOrCannotReadIsLeftAlone) {
    const std::string old_table = score_file({{"Old", 50}});
    const uid_t player = 65534;
    fs::create_directory("player");
    write_file("player/" + file, old_table);
    ASSERT_EQ(chown("player", player, player), 0);
    ASSERT_EQ(chown(("player/" + file).c_str(), player, player), 0);
    fs::permissions("player/" + file, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    write_file("player/unreadable", old_table);  // one the player may write but not read
    ASSERT_EQ(chown("player/unreadable", player, player), 0);
    fs::permissions("player/unreadable", fs::perms::owner_write);
    const pid_t child = fork();
    if (child == 0) {
        const int err = open("player-stderr.txt", O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(err, 2);
        if (chdir("player") != 0 || setgroups(0, nullptr) != 0 || setgid(player) != 0 || setuid(player) != 0)
            _exit(2);
        HighScoreTable* t = create_high_score_table(HIGH_SCORE_COUNT, file.c_str());
        insert_high_score(t, "Ghost Hunter", 400);
        HighScoreTable* u = create_high_score_table(HIGH_SCORE_COUNT, "unreadable");
        insert_high_score(u, "Ghost Hunter", 400);
        _exit(t->entries[0].score == 400 ? 0 : 3);
    }
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, 0);
    EXPECT_EQ(read_file("player/" + file), old_table);
    EXPECT_EQ(read_file("player/unreadable"), old_table);
    const std::string said = read_file("player-stderr.txt");
    EXPECT_THAT(said, HasSubstr("could not be written"));
    EXPECT_THAT(said, HasSubstr("could not be read, so it was left alone"));
    EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 2) << said;
}

TEST_F(Frontend, EndScreensThenTheTable) {
    std::vector<TextAt> win = {{HEADING_FONT, 20, 20, "You win!"}, {TEXT_FONT, 40, 100, "Great job!"}};
    for (int i = 0; i < 6; ++i)
        win.push_back({TEXT_FONT, 40, win_story_rows[i], win_story_lines[i]});
    const std::vector<TextAt> screens[5] = {
        {{HEADING_FONT, 20, 20, "Game Over!"}}, table_screen({{"Ghost Hunter", 350}}),
        win, table_screen({{"Ghost Hunter", 2000}, {"Ghost Hunter", 350}}),
        table_screen({{std::string(32, 'W'), 0x41414141}, {"Next", 5}})};
    std::vector<int> matches(5);
    ScreenAnswerer answer(KEY_A, [&](int i) {  // reads each screen while it waits
        for (int n = 0; i < 5 && n < (i ? 1 : 11); ++n) {  // for game over, each of its lines
            std::vector<TextAt> texts = screens[i];
            texts.push_back({TEXT_FONT, 245, 350, "Hit A to continue"});
            if (i == 0)
                texts.push_back({TEXT_FONT, 40, 200, game_over_lines[n]});
            matches[i] += text_mismatches(game_screen, texts) == 0;
        }
    });
    score = 350;
    show_game_over();
    // The first game's 350 with no file before: "Ghost Hunter", NUL, 5E 01 00 00 at offset 32.
    EXPECT_EQ(read_file(file), "Ghost Hunter" + std::string(20, '\0') + "\x5E\x01" + std::string(2 + 14 * 36, '\0'));
    score = 2000;
    show_win_screen();
    // The score's bytes are letters: reading past the name would show "AAAA" after it.
    write_file(file, score_file({{std::string(32, 'W'), 0x41414141}, {"Next", 5}}));
    show_high_scores(0);
    EXPECT_EQ(answer.presses, 5);
    EXPECT_EQ(matches, std::vector<int>(5, 1));
}

// The menu item drawn in yellow, or -1 when none or several are.
int highlighted_item() {
    int item = -1;
    for (int p = 0; p < 3 * 10 * 240; ++p)
        if (getpixel(game_screen, 200 + p % 240, 300 + p / 240) == makecol(255, 255, 0))
            item = item == -1 || item == p / 2400 ? p / 2400 : -2;
    return std::max(item, -1);
}

// The title menu played a key a tick: each step reads the menu drawn before it, then holds its keys;
// a screen in between is answered with A, and every key waited for is let go.
TEST_F(Frontend, TitleMenu) {
    score = level = flash_bombs = levels_since_bomb = start_time = time_left = heat = tick_in_second = 77;
    ghosts.assign(5, still_ghost(1, 1));
    vanish_effects = {VanishEffect(100, 100)};
    const std::vector<std::vector<int>> steps = {
        {KEY_UP}, {KEY_DOWN}, {KEY_DOWN},  // wraps at the top, then at the bottom
        {KEY_ENTER},                       // the table, and back
        {KEY_UP, KEY_DOWN},                // Up is handled and waited for: Down is let go unseen
        {KEY_ENTER}};                      // New Game
    std::vector<int> seen;
    WaitAnswerer player([&](int awaited, bool press) {
        if (awaited == 0 && seen.size() < steps.size() && highlighted_item() >= 0) {
            seen.push_back(highlighted_item());
            for (int k : steps[seen.size() - 1])
                key[k] = 1;
        } else if (awaited != 0) {
            memset(const_cast<char*>(key), 0, KEY_MAX);
            key[awaited] = press && awaited == KEY_A;
            if (key[KEY_A] && level == 1)
                logic_ticks += 60;  // a second on level 1's introduction
        }
    });
    run_title_menu();
    const int ticks_after_new_game = logic_ticks;
    EXPECT_EQ(seen, (std::vector<int>{0, 2, 0, 1, 1, 0}));
    EXPECT_LT(ticks_after_new_game, 5) << "the introduction's ticks were left for play";
    EXPECT_EQ(std::tuple(score, level, flash_bombs, levels_since_bomb), std::tuple(0, 1, 0, 1));
    EXPECT_EQ(std::pair(start_time, time_left), std::pair(120, 120));
    ASSERT_EQ(ghosts.size(), 1u);
    EXPECT_EQ(ghosts[0].carries_shard, -1);
    EXPECT_EQ(std::tuple(heat, tick_in_second, vanish_effects.size()), std::tuple(77, 77, size_t{1}))
        << "heat, steps and effects kept";
    EXPECT_FALSE(fs::exists(file)) << "the table was shown for a score of 0";
}
