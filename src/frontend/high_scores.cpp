// The high-score table: file format, insertion and the screen.
#include "frontend/high_scores.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "levels/still_screen.h"
#include "platform/display.h"
#include "platform/system.h"
#include "shell/game_state.h"

namespace fs = std::filesystem;

namespace {

// The file is the entries back to back, each a 32-byte name and a little-endian score.
std::vector<unsigned char> encode_entries(const HighScoreTable* table) {
    std::vector<unsigned char> bytes(static_cast<std::size_t>(table->count) * HIGH_SCORE_ENTRY_SIZE);
    for (int i = 0; i < table->count; ++i) {
        unsigned char* p = &bytes[static_cast<std::size_t>(i) * HIGH_SCORE_ENTRY_SIZE];
        memcpy(p, table->entries[i].name, HIGH_SCORE_NAME_SIZE);
        const std::uint32_t s = static_cast<std::uint32_t>(table->entries[i].score);
        for (int b = 0; b < 4; ++b)
            p[HIGH_SCORE_NAME_SIZE + b] = static_cast<unsigned char>(s >> (8 * b));
    }
    return bytes;
}

void decode_entries(HighScoreTable* table, const std::vector<unsigned char>& bytes) {
    for (int i = 0; i < table->count; ++i) {
        const unsigned char* p = &bytes[static_cast<std::size_t>(i) * HIGH_SCORE_ENTRY_SIZE];
        memcpy(table->entries[i].name, p, HIGH_SCORE_NAME_SIZE);
        std::uint32_t s = 0;
        for (int b = 0; b < 4; ++b)
            s |= static_cast<std::uint32_t>(p[HIGH_SCORE_NAME_SIZE + b]) << (8 * b);
        table->entries[i].score = static_cast<std::int32_t>(s);
    }
}

// The file that name finally refers to: a table kept behind a symbolic link (in a synced
// folder, say) is replaced where the link points, so that the link stays.
fs::path link_target(fs::path path) {
    std::error_code error;
    for (int hops = 0; hops < 40 && fs::is_symlink(fs::symlink_status(path, error)); ++hops) {
        const fs::path target = fs::read_symlink(path, error);
        if (error)
            break;
        path = target.is_absolute() ? target : path.parent_path() / target;
    }
    return path;
}

}  // namespace

HighScoreTable* create_high_score_table(int count, const char* file_name) {
    HighScoreTable* table = new HighScoreTable;
    snprintf(table->file_name, sizeof table->file_name, "%s", file_name);
    table->count = count;
    table->entries = new HighScoreEntry[count];
    table->keep_file = false;
    reset_high_score_table(table);
    load_high_score_table(table);
    return table;
}

void destroy_high_score_table(HighScoreTable* table) {
    delete[] table->entries;
    delete table;
}

void reset_high_score_table(HighScoreTable* table) {
    for (int i = 0; i < table->count; ++i) {
        memset(table->entries[i].name, 0, HIGH_SCORE_NAME_SIZE);
        table->entries[i].score = 0;
    }
}

// A short file fills the table as far as it reaches; bytes past the table are ignored.
void load_high_score_table(HighScoreTable* table) {
    FILE* file = fopen(table->file_name, "rb");
    if (!file) {
        table->keep_file = (errno != ENOENT);
        return;
    }
    std::vector<unsigned char> bytes = encode_entries(table);
    if (fread(bytes.data(), 1, bytes.size(), file) < bytes.size() && ferror(file))
        table->keep_file = true;
    else
        decode_entries(table, bytes);
    fclose(file);
}

bool save_high_score_table(HighScoreTable* table) {
    if (table->keep_file)
        return false;
    const std::vector<unsigned char> bytes = encode_entries(table);
    return replace_file(link_target(table->file_name).string(), std::string(bytes.begin(), bytes.end()));
}

bool qualifies_for_high_score(const HighScoreTable* table, int score) {
    for (int i = 0; i < table->count; ++i)
        if (score > table->entries[i].score)
            return true;
    return false;
}

// A new score goes below every equal one; the last entry falls off the end.
void insert_high_score(HighScoreTable* table, const char* name, int score) {
    int i = 0;
    while (i < table->count && table->entries[i].score >= score)
        ++i;
    if (i == table->count)
        return;
    HighScoreEntry carried;
    memset(carried.name, 0, HIGH_SCORE_NAME_SIZE);
    strncpy(carried.name, name, HIGH_SCORE_NAME_SIZE - 1);
    carried.score = score;
    for (int j = i; j < table->count; ++j) {
        HighScoreEntry moved = table->entries[j];
        table->entries[j] = carried;
        carried = moved;
    }
    if (save_high_score_table(table))
        return;
    if (table->keep_file)
        fprintf(stderr, "The Ghosts of Vorn: the score %d was not kept: \"%s\" could not be read, so it was left alone\n",
                score, table->file_name);
    else
        fprintf(stderr, "The Ghosts of Vorn: the score %d was not kept: \"%s\" could not be written: %s\n", score,
                table->file_name, strerror(errno));
}

void show_high_scores(int score) {
    HighScoreTable* table = create_high_score_table(HIGH_SCORE_COUNT, "High Scores.txt");
    if (qualifies_for_high_score(table, score))
        insert_high_score(table, "Ghost Hunter", score);

    draw_heading("High Scores!");

    FONT* text_font = item_font(TEXT_FONT);
    for (int i = 0; i < HIGH_SCORE_COUNT; ++i) {
        // A damaged file may hold a name with no NUL: never read past its field.
        char name[HIGH_SCORE_NAME_SIZE + 1] = {};
        memcpy(name, table->entries[i].name, HIGH_SCORE_NAME_SIZE);
        textprintf_ex(game_screen, text_font, 220, 150 + 10 * i, white(), -1, "%s", name);
        textprintf_ex(game_screen, text_font, 355, 150 + 10 * i, white(), -1, "%d",
                      static_cast<int>(table->entries[i].score));
    }

    hit_a_to_continue();
    destroy_high_score_table(table);
}
