// The 15 best scores, their file "High Scores.txt" and their screen.
#pragma once

#include <cstdint>

constexpr int HIGH_SCORE_COUNT = 15;
constexpr int HIGH_SCORE_NAME_SIZE = 32;
constexpr int HIGH_SCORE_ENTRY_SIZE = 36;  // name, then a little-endian 32-bit score

struct HighScoreEntry {
    char name[HIGH_SCORE_NAME_SIZE];
    std::int32_t score;
};

struct HighScoreTable {
    char file_name[32];
    int count;
    HighScoreEntry* entries;
    // Set when the file exists but could not be read: saving then would destroy it.
    bool keep_file;
};

HighScoreTable* create_high_score_table(int count, const char* file_name);
void destroy_high_score_table(HighScoreTable* table);
void reset_high_score_table(HighScoreTable* table);
void load_high_score_table(HighScoreTable* table);
// Replaces the file (the one a link points to, for a link) whole through a temporary file, with
// its old mode; false, with nothing written, for a file that was not read or is read-only.
bool save_high_score_table(HighScoreTable* table);
bool qualifies_for_high_score(const HighScoreTable* table, int score);
void insert_high_score(HighScoreTable* table, const char* name, int score);

// Enters the score when it qualifies, shows the table and waits for A.
void show_high_scores(int score);
