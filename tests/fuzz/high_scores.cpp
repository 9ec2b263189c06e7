// Fuzz target: any bytes as "High Scores.txt", then load, insert, save and load again.
// The game ignores bytes past the table's 540, so they choose the score (4 bytes) and name to
// enter; a shorter input enters a score just below, equal to or above one it loaded.
#include <algorithm>

#include "frontend/high_scores.h"
#include "fuzz.h"

namespace {

constexpr const char* FILE_NAME = "High Scores.txt";
constexpr std::size_t FILE_SIZE = HIGH_SCORE_COUNT * HIGH_SCORE_ENTRY_SIZE;

std::int32_t score_at(const std::string& bytes, std::size_t at) {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data()) + at;
    return static_cast<std::int32_t>(p[0] | p[1] << 8 | p[2] << 16 | std::uint32_t(p[3]) << 24);
}

// The table as the file holds it: the whole name field, then the score.
std::string file_of(const HighScoreTable* table) {
    ScoreRows rows;
    for (int i = 0; i < HIGH_SCORE_COUNT; ++i)
        rows.emplace_back(std::string(table->entries[i].name, HIGH_SCORE_NAME_SIZE), table->entries[i].score);
    return score_file(rows);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzFolder folder;
    const std::string input(reinterpret_cast<const char*>(data), size);
    check(write_file(FILE_NAME, input), "the input is written");
    std::string loaded = input.substr(0, FILE_SIZE);
    loaded.resize(FILE_SIZE, '\0');
    HighScoreTable* table = create_high_score_table(HIGH_SCORE_COUNT, FILE_NAME);
    check(!table->keep_file && file_of(table) == loaded, "the table holds the file's bytes, zero where it ends");

    const bool chosen = size >= FILE_SIZE + 4;
    const std::string name = chosen ? input.substr(FILE_SIZE + 4, 40) : "Ghost Hunter";
    const std::int64_t near = std::int64_t(score_at(loaded, size % HIGH_SCORE_COUNT * HIGH_SCORE_ENTRY_SIZE +
                                                                HIGH_SCORE_NAME_SIZE)) + int(size % 3) - 1;
    const int score = chosen ? score_at(input, FILE_SIZE) : int(std::clamp<std::int64_t>(near, INT32_MIN, INT32_MAX));
    const bool qualifies = qualifies_for_high_score(table, score);
    insert_high_score(table, name.c_str(), score);
    const std::string inserted = file_of(table);
    check(qualifies == (inserted != loaded), "a score qualifies exactly when it changes the table");
    check(read_file(FILE_NAME) == (qualifies ? inserted : input), "an entered score is saved at once, and only then");

    check(save_high_score_table(table) && read_file(FILE_NAME) == inserted, "the table is saved as 540 bytes");
    destroy_high_score_table(table);
    check(!std::filesystem::exists(std::string(FILE_NAME) + ".new"), "no temporary file is left behind");
    table = create_high_score_table(HIGH_SCORE_COUNT, FILE_NAME);
    check(file_of(table) == inserted, "the saved file loads back as the table was");
    destroy_high_score_table(table);
    return 0;
}
