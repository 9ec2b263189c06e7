// Fuzz target: any bytes as "High Scores.txt", then load, insert, save and load again.
// The game ignores bytes past the table's 540, so they choose the score (4 bytes) and name to
// enter; a shorter input enters a score just below, equal to or above one it loaded.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "frontend/high_scores.h"
#include "fuzz_folder.h"

namespace {

constexpr const char* FILE_NAME = "High Scores.txt";
constexpr std::size_t FILE_SIZE = HIGH_SCORE_COUNT * HIGH_SCORE_ENTRY_SIZE;

// Stops the run with the broken rule; libFuzzer keeps the input.
void check(bool ok, const char* rule) {
    if (!ok) {
        std::fprintf(stderr, "high-score rule broken: %s\n", rule);
        std::abort();
    }
}

// The file's score field.
std::int32_t little_endian(const unsigned char* p) {
    return static_cast<std::int32_t>(p[0] | p[1] << 8 | p[2] << 16 | std::uint32_t(p[3]) << 24);
}

// The entries a file holds, read byte by byte as the format gives; missing bytes are zero.
std::vector<HighScoreEntry> entries_in(const unsigned char* data, std::size_t size) {
    std::vector<HighScoreEntry> entries(HIGH_SCORE_COUNT);
    for (int i = 0; i < HIGH_SCORE_COUNT; ++i) {
        unsigned char field[HIGH_SCORE_ENTRY_SIZE] = {};
        for (int b = 0; b < HIGH_SCORE_ENTRY_SIZE; ++b) {
            const std::size_t at = static_cast<std::size_t>(i) * HIGH_SCORE_ENTRY_SIZE + b;
            field[b] = at < size ? data[at] : 0;
        }
        std::memcpy(entries[i].name, field, HIGH_SCORE_NAME_SIZE);
        entries[i].score = little_endian(field + HIGH_SCORE_NAME_SIZE);
    }
    return entries;
}

// Names compared over the whole field: bytes past a NUL are kept in the file too.
bool same_entries(const HighScoreEntry* have, const std::vector<HighScoreEntry>& want) {
    for (int i = 0; i < HIGH_SCORE_COUNT; ++i)
        if (std::memcmp(have[i].name, want[i].name, HIGH_SCORE_NAME_SIZE) != 0 || have[i].score != want[i].score)
            return false;
    return true;
}

// Highest first, as the game keeps the table.
bool sorted(const std::vector<HighScoreEntry>& entries) {
    for (std::size_t i = 1; i < entries.size(); ++i)
        if (entries[i - 1].score < entries[i].score)
            return false;
    return true;
}

// The file's bytes, empty when it is missing.
std::string read_whole(const char* name) {
    std::string bytes;
    if (FILE* f = std::fopen(name, "rb")) {
        char buf[1024];
        for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;)
            bytes.append(buf, n);
        std::fclose(f);
    }
    return bytes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzFolder folder;
    write_input(FILE_NAME, data, size);

    HighScoreTable* table = create_high_score_table(HIGH_SCORE_COUNT, FILE_NAME);
    const std::vector<HighScoreEntry> loaded = entries_in(data, size);
    check(!table->keep_file, "a readable file is not kept from saving");
    check(same_entries(table->entries, loaded), "the table holds the file's bytes, zero where it ends");

    int score;
    std::string name = "Ghost Hunter";
    if (size >= FILE_SIZE + 4) {
        score = little_endian(data + FILE_SIZE);
        name.assign(reinterpret_cast<const char*>(data) + FILE_SIZE + 4, std::min<std::size_t>(size - FILE_SIZE - 4, 40));
    } else {
        const std::int64_t near = std::int64_t(loaded[size % HIGH_SCORE_COUNT].score) + int(size % 3) - 1;
        score = static_cast<int>(std::min<std::int64_t>(std::max<std::int64_t>(near, INT32_MIN), INT32_MAX));
    }

    // A new score goes below every score not lower than it; the last entry falls off.
    std::size_t at = 0;
    while (at < loaded.size() && loaded[at].score >= score)
        ++at;
    std::vector<HighScoreEntry> want = loaded;
    if (at < want.size()) {
        HighScoreEntry added = {};
        std::strncpy(added.name, name.c_str(), HIGH_SCORE_NAME_SIZE - 1);
        added.score = score;
        want.insert(want.begin() + at, added);
        want.pop_back();
    }

    check(qualifies_for_high_score(table, score) == (at < loaded.size()), "qualifies exactly when inserted");
    insert_high_score(table, name.c_str(), score);
    check(same_entries(table->entries, want), "the table after insertion is as the rules make it");
    check(!sorted(loaded) || sorted(want), "a sorted table stays sorted");
    if (at < loaded.size()) {
        check(std::memchr(table->entries[at].name, 0, HIGH_SCORE_NAME_SIZE) != nullptr, "an entered name ends in its field");
        check(read_whole(FILE_NAME).size() == FILE_SIZE, "an entered score is saved at once");
    } else {
        check(read_whole(FILE_NAME) == std::string(reinterpret_cast<const char*>(data), size),
              "a score that does not qualify leaves the file alone");
    }

    check(save_high_score_table(table), "the table is saved");
    destroy_high_score_table(table);
    const std::string saved = read_whole(FILE_NAME);
    check(saved.size() == FILE_SIZE, "the saved file is 15 entries of 36 bytes");
    check(same_entries(entries_in(reinterpret_cast<const unsigned char*>(saved.data()), saved.size()).data(), want),
          "the file holds each name field and its little-endian score");
    std::FILE* stray = std::fopen((std::string(FILE_NAME) + ".new").c_str(), "rb");
    check(!stray, "no temporary file is left behind");

    HighScoreTable* again = create_high_score_table(HIGH_SCORE_COUNT, FILE_NAME);
    check(same_entries(again->entries, want), "the saved file loads back as the table was");
    destroy_high_score_table(again);
    return 0;
}
