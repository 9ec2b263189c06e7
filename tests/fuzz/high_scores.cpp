// Fuzz target: any bytes as "High Scores.txt", then load, insert, save and load again.
// The game ignores bytes past the table's 540, so they choose the score (4 bytes) and name to
// enter; a shorter input enters a score just below, equal to or above one it loaded.
#include <algorithm>
#include <cstring>

#include "frontend/high_scores.h"
#include "fuzz.h"

namespace {

constexpr const char* FILE_NAME = "High Scores.txt";
constexpr std::size_t FILE_SIZE = HIGH_SCORE_COUNT * HIGH_SCORE_ENTRY_SIZE;

std::int32_t score_at(const std::string& bytes, std::size_t at) {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data()) + at;
    return static_cast<std::int32_t>(p[0] | p[1] << 8 | p[2] << 16 | std::uint32_t(p[3]) << 24);
}

std::int32_t entry_score(const std::string& file, std::size_t i) {
    return score_at(file, i * HIGH_SCORE_ENTRY_SIZE + HIGH_SCORE_NAME_SIZE);
}

// Entries as the file holds them: the whole name field, then the little-endian score.
std::string file_of(const HighScoreEntry* entries, int count = HIGH_SCORE_COUNT) {
    std::string bytes;
    for (const HighScoreEntry* e = entries; e < entries + count; ++e) {
        bytes.append(e->name, HIGH_SCORE_NAME_SIZE);
        for (int shift = 0; shift < 32; shift += 8)
            bytes += static_cast<char>(static_cast<std::uint32_t>(e->score) >> shift);
    }
    return bytes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzFolder folder;
    const std::string input(reinterpret_cast<const char*>(data), size);
    write_file(FILE_NAME, input);
    std::string want = input.substr(0, FILE_SIZE);
    want.resize(FILE_SIZE, '\0');
    HighScoreTable* table = create_high_score_table(HIGH_SCORE_COUNT, FILE_NAME);
    check(!table->keep_file && file_of(table->entries) == want, "the table holds the file's bytes, zero where it ends");

    const bool chosen = size >= FILE_SIZE + 4;
    const std::string name = chosen ? input.substr(FILE_SIZE + 4, 40) : "Ghost Hunter";
    const std::int64_t near = std::int64_t(entry_score(want, size % HIGH_SCORE_COUNT)) + int(size % 3) - 1;
    const int score = chosen ? score_at(input, FILE_SIZE) : int(std::clamp<std::int64_t>(near, INT32_MIN, INT32_MAX));

    // A new score goes below every score not lower than it; the last entry falls off.
    std::size_t at = 0;
    while (at < HIGH_SCORE_COUNT && entry_score(want, at) >= score)
        ++at;
    const bool entered = at < HIGH_SCORE_COUNT;
    if (entered) {
        HighScoreEntry added = {{}, score};
        std::strncpy(added.name, name.c_str(), HIGH_SCORE_NAME_SIZE - 1);
        want = want.insert(at * HIGH_SCORE_ENTRY_SIZE, file_of(&added, 1)).substr(0, FILE_SIZE);
    }
    check(qualifies_for_high_score(table, score) == entered, "a score qualifies exactly when it is entered");
    insert_high_score(table, name.c_str(), score);
    check(file_of(table->entries) == want, "the table after insertion is as the rules make it");
    check(read_file(FILE_NAME) == (entered ? want : input), "an entered score is saved at once, and only then");

    check(save_high_score_table(table) && read_file(FILE_NAME) == want, "the table is saved as 540 bytes");
    destroy_high_score_table(table);
    check(!std::filesystem::exists(std::string(FILE_NAME) + ".new"), "no temporary file is left behind");
    table = create_high_score_table(HIGH_SCORE_COUNT, FILE_NAME);
    check(file_of(table->entries) == want, "the saved file loads back as the table was");
    destroy_high_score_table(table);
    return 0;
}
