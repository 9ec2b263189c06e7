// The high-score table: insertion, the 540-byte file, odd files, failed saves, the screen.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "frontend/high_scores.h"
#include "shell/data_items.h"
#include "shell/game_state.h"
#include "support/front_screens.h"
#include "support/test_support.h"

namespace fs = std::filesystem;

namespace {

const char* const kFile = "High Scores.txt";
const char* const kTempFile = "High Scores.txt.new";

using Rows = std::vector<std::pair<std::string, int>>;

// The file holding these rows, padded with empty entries to the full 15.
std::vector<unsigned char> table_bytes(const Rows& rows) {
    std::vector<unsigned char> bytes;
    for (int i = 0; i < HIGH_SCORE_COUNT; ++i) {
        const std::vector<unsigned char> e =
            i < static_cast<int>(rows.size()) ? entry_bytes(rows[i].first, rows[i].second) : entry_bytes("", 0);
        bytes.insert(bytes.end(), e.begin(), e.end());
    }
    return bytes;
}

std::string name_at(const HighScoreTable* t, int i) {
    return std::string(t->entries[i].name, strnlen(t->entries[i].name, HIGH_SCORE_NAME_SIZE));
}

Rows rows_of(const HighScoreTable* t) {
    Rows rows;
    for (int i = 0; i < t->count; ++i)
        rows.emplace_back(name_at(t, i), t->entries[i].score);
    return rows;
}

Rows padded(Rows rows) {
    rows.resize(HIGH_SCORE_COUNT, {"", 0});
    return rows;
}

Rows descending_full_table() {
    Rows rows;
    for (int i = 0; i < HIGH_SCORE_COUNT; ++i)
        rows.emplace_back("P" + std::to_string(i), 150 - 10 * i);
    return rows;
}

int stderr_lines(const std::string& text) { return static_cast<int>(std::count(text.begin(), text.end(), '\n')); }

// The screen of the table: heading, 15 rows, prompt.
std::vector<TextAt> table_screen(const Rows& rows) {
    std::vector<TextAt> texts = {{HEADING_FONT, 20, 20, "High Scores!"}, {TEXT_FONT, 245, 350, "Hit A to continue"}};
    for (int i = 0; i < HIGH_SCORE_COUNT; ++i) {
        texts.push_back({TEXT_FONT, 220, 150 + 10 * i, rows[i].first});
        texts.push_back({TEXT_FONT, 355, 150 + 10 * i, std::to_string(rows[i].second)});
    }
    return texts;
}

class HighScores : public ::testing::Test {
protected:
    void SetUp() override {
        start_game();
        reset_game_state();
        // Only after start-up, which reads data.dat from the test folder.
        dir_ = std::make_unique<TempWorkingDir>();
    }
    std::unique_ptr<TempWorkingDir> dir_;
};

TEST_F(HighScores, InsertionOrderAndWhenTheFileIsWritten) {
    Rows full = descending_full_table();
    Rows full_with_top = full;
    full_with_top.insert(full_with_top.begin(), {"Ghost Hunter", 999});
    full_with_top.pop_back();
    Rows negative(14, {"Five", 5});
    negative.push_back({"Minus", -3});
    Rows negative_entered(14, {"Five", 5});
    negative_entered.push_back({"Ghost Hunter", 0});

    struct Case {
        const char* what;
        Rows stored;  // empty: no file
        int score;
        bool enters;
        Rows expected;
    };
    const Case cases[] = {
        {"first score into no file", {}, 350, true, padded({{"Ghost Hunter", 350}})},
        {"zero into no file", {}, 0, false, padded({})},
        {"equal scores go below", {{"A", 500}, {"B", 300}, {"C", 300}, {"D", 100}}, 300, true,
         padded({{"A", 500}, {"B", 300}, {"C", 300}, {"Ghost Hunter", 300}, {"D", 100}})},
        {"equal to the 15th stays out", full, 10, false, full},
        {"top entry pushes the 15th out", full, 999, true, full_with_top},
        {"unsorted: before the first lower", {{"A", 100}, {"B", 300}, {"C", 50}}, 200, true,
         padded({{"Ghost Hunter", 200}, {"A", 100}, {"B", 300}, {"C", 50}})},
        {"the menu's 0 replaces a negative entry", negative, 0, true, negative_entered},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (!c.stored.empty())
            write_bytes(kFile, table_bytes(c.stored));
        HighScoreTable* table = create_high_score_table(HIGH_SCORE_COUNT, kFile);
        // Gone before the insert, so any file afterwards was written by it.
        fs::remove(kFile);
        EXPECT_EQ(qualifies_for_high_score(table, c.score), c.enters);
        insert_high_score(table, "Ghost Hunter", c.score);
        EXPECT_EQ(rows_of(table), c.expected);
        EXPECT_EQ(fs::exists(kFile), c.enters);
        if (c.enters) {
            EXPECT_EQ(read_bytes(kFile), table_bytes(c.expected));
        }
        EXPECT_FALSE(fs::exists(kTempFile));
        destroy_high_score_table(table);
        fs::remove(kFile);
    }
}

TEST_F(HighScores, OddFilesLoadAsFarAsTheyReach) {
    std::vector<unsigned char> forty = entry_bytes("Short", 77);
    forty.insert(forty.end(), {'A', 'b', 0, 0});
    std::vector<unsigned char> partial_score = entry_bytes("X", 0x1234);
    partial_score.resize(34);
    std::vector<unsigned char> long_file = table_bytes({{"Long", 60}, {"File", 40}});
    long_file.insert(long_file.end(), 60, 0xFF);

    struct Case {
        const char* what;
        std::vector<unsigned char> bytes;
        Rows expected;
    };
    const Case cases[] = {
        {"empty file", {}, padded({})},
        {"40 bytes", forty, padded({{"Short", 77}, {"Ab", 0}})},
        {"half a score", partial_score, padded({{"X", 0x1234}})},
        {"bytes past 540", long_file, padded({{"Long", 60}, {"File", 40}})},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        write_bytes(kFile, c.bytes);
        HighScoreTable* table = create_high_score_table(HIGH_SCORE_COUNT, kFile);
        EXPECT_EQ(rows_of(table), c.expected);
        destroy_high_score_table(table);
    }

    // A rewrite replaces the file whole: the trailing bytes of a long file are gone.
    write_bytes(kFile, long_file);
    HighScoreTable* table = create_high_score_table(HIGH_SCORE_COUNT, kFile);
    insert_high_score(table, "Ghost Hunter", 50);
    destroy_high_score_table(table);
    EXPECT_EQ(read_bytes(kFile), table_bytes({{"Long", 60}, {"Ghost Hunter", 50}, {"File", 40}}));
}

TEST_F(HighScores, FailedSaveKeepsTheOldFileAndSaysSoOnce) {
    const std::vector<unsigned char> old_file = table_bytes({{"Old", 50}});

    // The temporary file's name is taken by a folder: nothing can be written.
    write_bytes(kFile, old_file);
    fs::create_directory(kTempFile);
    HighScoreTable* table = create_high_score_table(HIGH_SCORE_COUNT, kFile);
    testing::internal::CaptureStderr();
    insert_high_score(table, "Ghost Hunter", 400);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(stderr_lines(err), 1) << err;
    EXPECT_EQ(rows_of(table), padded({{"Ghost Hunter", 400}, {"Old", 50}}));
    EXPECT_EQ(read_bytes(kFile), old_file);
    EXPECT_TRUE(fs::is_directory(kTempFile));
    EXPECT_TRUE(fs::is_empty(kTempFile));
    destroy_high_score_table(table);
    fs::remove(kTempFile);
    fs::remove(kFile);

    // The table's own name is an unreadable folder: it must not be replaced.
    fs::create_directory(kFile);
    write_bytes(std::string(kFile) + "/keep", {1, 2, 3});
    table = create_high_score_table(HIGH_SCORE_COUNT, kFile);
    EXPECT_EQ(rows_of(table), padded({}));
    testing::internal::CaptureStderr();
    insert_high_score(table, "Ghost Hunter", 400);
    err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(stderr_lines(err), 1) << err;
    EXPECT_EQ(name_at(table, 0), "Ghost Hunter");
    EXPECT_TRUE(fs::is_directory(kFile));
    EXPECT_EQ(read_bytes(std::string(kFile) + "/keep"), (std::vector<unsigned char>{1, 2, 3}));
    EXPECT_FALSE(fs::exists(kTempFile));

    // Even when a save is attempted, a rename that fails leaves no temporary file.
    table->keep_file = false;
    EXPECT_FALSE(save_high_score_table(table));
    EXPECT_FALSE(fs::exists(kTempFile));
    EXPECT_TRUE(fs::is_directory(kFile));
    destroy_high_score_table(table);
}

TEST_F(HighScores, ScreenWithNoFileThenAFirstGameOf350) {
    ScreenAnswerer answerer(2);
    show_high_scores(0);
    EXPECT_FALSE(fs::exists(kFile));
    show_high_scores(350);
    answerer.stop();
    ASSERT_EQ(answerer.shots().size(), 2u);
    EXPECT_EQ(answerer.extra_presses(), 0);
    EXPECT_EQ(text_mismatches(answerer.shots()[0], table_screen(padded({}))), 0);
    EXPECT_EQ(text_mismatches(answerer.shots()[1], table_screen(padded({{"Ghost Hunter", 350}}))), 0);

    std::vector<unsigned char> expected(540, 0);
    memcpy(expected.data(), "Ghost Hunter", 12);
    expected[32] = 0x5E;
    expected[33] = 0x01;
    EXPECT_EQ(read_bytes(kFile), expected);
}

TEST_F(HighScores, NameWithoutNulShowsOnlyItsOwn32Bytes) {
    const std::string full_name(32, 'W');
    // The score's bytes are letters: reading past the name would show "AAAA" after it.
    write_bytes(kFile, table_bytes({{full_name, 0x41414141}, {"Next", 5}}));
    ScreenAnswerer answerer(1);
    show_high_scores(0);
    answerer.stop();
    ASSERT_EQ(answerer.shots().size(), 1u);
    EXPECT_EQ(text_mismatches(answerer.shots()[0], table_screen(padded({{full_name, 0x41414141}, {"Next", 5}}))),
              0);
}

}  // namespace
