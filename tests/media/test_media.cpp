// What the game takes from data.dat, and its music heard through the library's software synth.
#include <allegro.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <sys/stat.h>
#include <tuple>
#include <unistd.h>
#include <vector>

#include "frontend/title_menu.h"
#include "levels/end_screens.h"
#include "levels/level_flow.h"
#include "shell/data_items.h"

namespace {

std::string mix_file;  // the sound card's output, through ALSA's file device
bool sound_ok = false;

DATAFILE* load(const char* password) {
    packfile_password(password);
    DATAFILE* d = load_datafile("data.dat");
    packfile_password(nullptr);
    return d;
}

DATAFILE* data() {
    static DATAFILE* d = load(DATA_PASSWORD);
    return d;
}

template <class T> T* item(int i) { return static_cast<T*>(data()[i].dat); }

bool border_is_mask(BITMAP* b) {
    const int mask = bitmap_mask_color(b);
    for (int x = 0; x < b->w; ++x)
        if (getpixel(b, x, 0) != mask || getpixel(b, x, b->h - 1) != mask) return false;
    for (int y = 0; y < b->h; ++y)
        if (getpixel(b, 0, y) != mask || getpixel(b, b->w - 1, y) != mask) return false;
    return true;
}

// Silence is one constant value whatever the sample format, so measure the spread.
double spread(long from, long to) {
    FILE* f = fopen(mix_file.c_str(), "rb");
    if (!f) return 0;
    fseek(f, from - from % 4, SEEK_SET);
    double sum = 0, sq = 0;
    long n = 0;
    for (short v; n < (to - from) / 2 && fread(&v, 2, 1, f) == 1; ++n) sum += v, sq += double(v) * v;
    fclose(f);
    return n ? std::sqrt(std::max(0.0, sq / n - (sum / n) * (sum / n))) : 0;
}

long mix_size() {
    struct stat st;
    return stat(mix_file.c_str(), &st) == 0 ? long(st.st_size) : 0;
}

TEST(Datafile, OpensOnlyWithItsPassword) {
    EXPECT_EQ(load(nullptr), nullptr);
    EXPECT_EQ(load("wrongtwist"), nullptr);
    ASSERT_NE(data(), nullptr);
}

TEST(Datafile, EveryIndexHoldsItsKind) {
    ASSERT_NE(data(), nullptr);
    int count = 0;
    while (data()[count].type != DAT_END) ++count;
    EXPECT_GE(count, 108);
    const struct { int first, last, type; } kinds[] = {{4, 9, DAT_BITMAP},  {14, 18, DAT_BITMAP}, {32, 32, DAT_BITMAP},
                                                        {86, 86, DAT_FONT},  {96, 96, DAT_FONT},   {97, 101, DAT_MIDI},
                                                        {107, 107, DAT_SAMPLE}};
    for (const auto& k : kinds)
        for (int i = k.first; i <= k.last; ++i) EXPECT_EQ(data()[i].type, k.type) << "item " << i;
}

// Ghosts 4-9 and vanish frames 14-18 share one size per group; every picture is masked to its border.
// A vanish frame sits at the ghost's corner less half of item 14's size: its burst must centre on the ghost.
TEST(Datafile, PicturesHaveTheirSizesAndMaskedBorders) {
    ASSERT_NE(data(), nullptr);
    BITMAP *ghost = item<BITMAP>(4), *frame = item<BITMAP>(14);
    EXPECT_TRUE(ghost->w >= 40 && ghost->w <= 56 && ghost->h >= 40 && ghost->h <= 56) << ghost->w << "x" << ghost->h;
    for (int i : {4, 5, 6, 7, 8, 9, 14, 15, 16, 17, 18, 32}) {
        BITMAP* b = item<BITMAP>(i);
        BITMAP* first = i < 14 ? ghost : i < 32 ? frame : b;
        EXPECT_EQ(bitmap_color_depth(b), 16) << "item " << i;
        EXPECT_TRUE(b->w == first->w && b->h == first->h) << "item " << i;
        EXPECT_TRUE(border_is_mask(b)) << "item " << i;
        double n = 0, cx = 0, cy = 0;
        for (int y = 0; y < b->h; ++y)
            for (int x = 0; x < b->w; ++x)
                if (getpixel(b, x, y) != bitmap_mask_color(b)) ++n, cx += x + 0.5, cy += y + 0.5;
        ASSERT_GT(n, 20) << "item " << i << " is empty";
        if (first == frame) {
            EXPECT_NEAR(cx / n, frame->w / 2 + ghost->w / 2.0, 4) << "frame " << i;
            EXPECT_NEAR(cy / n, frame->h / 2 + ghost->h / 2.0, 4) << "frame " << i;
        }
    }
}

TEST(Datafile, FontsFitTheLayout) {
    ASSERT_NE(data(), nullptr);
    FONT *heading = item<FONT>(86), *text = item<FONT>(96);
    EXPECT_TRUE(is_mono_font(heading) && is_mono_font(text)) << "the game draws both in white";
    EXPECT_GE(text_height(heading), 24);
    EXPECT_LE(text_height(heading), 40);
    EXPECT_LE(text_height(text), 10) << "story lines are 10 pixels apart";

    // Every fixed text at its own x, numbers at their widest.
    std::vector<std::tuple<FONT*, int, std::string>> texts = {
        {heading, 20, "The Ghosts of Vorn"}, {heading, 20, "Level 20"}, {heading, 20, "Game Over!"},
        {heading, 20, "You win!"}, {heading, 20, "High Scores!"}, {text, 0, "Heat Measure"},
        {text, 0, "Flash Bombs: 2147483647"}, {text, 0, "Time Left: 2147483647"}, {text, 0, "Created by: Fernmoor"},
        {text, 245, "Hit A to continue"}, {text, 20, flash_bomb_message}, {text, 20, "2000 bonus points!!"},
        {text, 40, "Great job!"}, {text, 355, "-2147483648"}};
    for (const char* line : story_lines) texts.emplace_back(text, 40, line);
    for (const char* line : game_over_lines) texts.emplace_back(text, 40, line);
    for (const char* line : win_story_lines) texts.emplace_back(text, 40, line);
    for (const char* line : encouragement_lines) texts.emplace_back(text, 40, line);
    for (const auto& [font, x, s] : texts) EXPECT_LE(x + text_length(font, s.c_str()), 640) << '"' << s << "\" at x " << x;

    // The score, at the top right, clears "OVERHEAT!" on the same rows; a name ends before the score column.
    EXPECT_GT(640 - text_length(text, "Score: 000000000000000000"), 155 + text_length(text, "OVERHEAT!"));
    EXPECT_LT(220 + text_length(text, "Ghost Hunter"), 355);
}

TEST(Datafile, ZapIsOneShotLong) {
    ASSERT_NE(data(), nullptr);
    SAMPLE* zap = item<SAMPLE>(107);
    ASSERT_GT(zap->freq, 0);
    EXPECT_GE(zap->len / double(zap->freq), 0.06);
    EXPECT_LE(zap->len / double(zap->freq), 0.15);
}

TEST(Music, EachTrackLastsItsLengthAndIsHeard) {
    ASSERT_NE(data(), nullptr);
    ASSERT_TRUE(sound_ok) << allegro_error;
    ASSERT_EQ(midi_driver->id, MIDI_DIGMID) << "not the software synth";
    for (int i = 97; i <= 101; ++i) {
        const int seconds = get_midi_length(item<MIDI>(i));
        EXPECT_TRUE(seconds >= 45 && seconds <= 120) << "track " << i << " lasts " << seconds << " s";
        // The last track's release still sounds for a while: start each from silence.
        for (int wait = 0;; ++wait) {
            ASSERT_LT(wait, 12) << "the synth does not fall silent";
            const long before = mix_size();
            rest(250);
            if (spread(before, mix_size()) < 20) break;
        }
        play_midi(item<MIDI>(i), FALSE);
        rest(500);
        const long from = mix_size();
        rest(1000);
        ASSERT_GT(mix_size() - from, 44100) << "the device received almost nothing";
        EXPECT_GT(spread(from, mix_size()), 300) << "track " << i << " is silent";
        stop_midi();
    }
}

}  // namespace

// The library needs a display to reach the sound card: run under Xvfb.
int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    if (allegro_init() != 0) {
        fprintf(stderr, "cannot start the library (no display?): %s\n", allegro_error);
        return 1;
    }
    install_timer();
    set_color_depth(16);
    char dir[] = "/tmp/vorn-media-XXXXXX";
    if (!mkdtemp(dir)) return 1;
    mix_file = std::string(dir) + "/mix.raw";
    // The patch set comes from the allegro.cfg beside this program; the mix goes to a file.
    const std::string cfg = "[sound]\ndigi_card = ALSA\nmidi_card = DIGI\nalsa_device = file:" + mix_file + ",raw\n";
    override_config_data(cfg.c_str(), int(cfg.size()));
    reserve_voices(32, -1);  // leaves the software synth its voices
    sound_ok = install_sound(DIGI_AUTODETECT, MIDI_AUTODETECT, nullptr) == 0;
    const int result = RUN_ALL_TESTS();
    remove_sound();
    remove(mix_file.c_str());
    rmdir(dir);
    return result;
}
END_OF_MAIN()
