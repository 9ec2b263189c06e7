// What the game takes from data.dat, and its music heard through the library's software synth.
#include <allegro.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <numeric>
#include <vector>

#include "lab.h"
#include "media.h"
#include "shell/game_state.h"

using testing::AllOf, testing::Ge, testing::Le;

static const char MIX_FILE[] = "media-mix.raw";  // the sound card's output, through ALSA's file device
static DATAFILE* data = nullptr;

template <class T = BITMAP> static T* item(int i) { return static_cast<T*>(data[i].dat); }

// How far the device's output swings over the next `ms` milliseconds: silence is one constant value.
static int loudness(int ms) {
    std::ifstream mix(MIX_FILE, std::ios::binary | std::ios::ate);
    mix.seekg(std::streamoff(mix.tellg()) & ~3);
    rest(ms);
    std::vector<short> heard;
    for (short s; mix.read(reinterpret_cast<char*>(&s), sizeof s);) heard.push_back(s);
    const auto [low, high] = std::minmax_element(heard.begin(), heard.end());
    return heard.empty() ? 0 : *high - *low;
}

// Each track as built, from the build's list of scores and tracks.
static const std::vector<lab::Song>& songs() {
    static std::vector<lab::Song> all;
    for (const auto& [abc, midi] : lab::track_list("../music/tracks.list"))
        if (all.size() < size_t(MUSIC_TRACK_COUNT) && lab::load_track(abc, midi, all.emplace_back()))
            all.back().title = abc.substr(abc.rfind('/') + 1, abc.rfind('.') - abc.rfind('/') - 1);
    return all;
}

// Each track rendered through the library's synth with the game's patches, alone and under the
// held beam, once for the tests below.
struct Heard { std::vector<int16_t> music, zap, mix; };
static const std::vector<Heard>& renders() {
    static std::vector<Heard> heard;
    if (!heard.empty() || !lab::start_render("../patches/default.cfg")) return heard;
    const std::vector<int16_t> zap = media::make_zap(22050);
    for (const lab::Song& song : songs()) {
        const std::vector<uint8_t> file = lab::read_bytes(lab::track_list("../music/tracks.list")[heard.size()].second);
        const double seconds = song.seconds(song.end_tick);
        heard.push_back({lab::render(file, seconds), lab::render({}, seconds, &zap), lab::render(file, seconds, &zap)});
    }
    lab::stop_render();
    return heard;
}

// The beam's zap is the player's only sign of a hit: over every track it stands 3 dB above the
// music in its own bands, and together they keep 1 dB below full scale.
TEST(Music, TheHeldBeamIsHeardOverEveryTrackWithoutClipping) {
    ASSERT_EQ(renders().size(), size_t(MUSIC_TRACK_COUNT)) << allegro_error;
    for (int i = 0; i < MUSIC_TRACK_COUNT; ++i) {
        EXPECT_GE(lab::zap_over_music(renders()[i].music, renders()[i].zap), 3.0) << "track " << i + 1;
        EXPECT_LT(lab::peak_dbfs(renders()[i].mix), -1.0) << "track " << i + 1;
    }
}

// Each track is within 1 LU of the five's mean, so the zap stands out of every one alike.
TEST(Music, TheFiveTracksAreEquallyLoud) {
    ASSERT_EQ(renders().size(), size_t(MUSIC_TRACK_COUNT)) << allegro_error;
    std::vector<double> levels;
    for (const Heard& h : renders()) levels.push_back(lab::loudness_lufs(h.music));
    const double mean = std::accumulate(levels.begin(), levels.end(), 0.0) / levels.size();
    for (int i = 0; i < MUSIC_TRACK_COUNT; ++i)
        EXPECT_NEAR(levels[i], mean, 1.0) << "track " << i + 1;
}

// Phrases close on a tone of the chord under them, and no note starts on a beat a semitone from another.
class Track : public testing::TestWithParam<int> {};
TEST_P(Track, EndsPhrasesOnChordTonesWithoutClashingOnTheBeat) {
    ASSERT_EQ(songs().size(), size_t(MUSIC_TRACK_COUNT));
    const lab::NoteFigures f = lab::note_figures(songs()[GetParam()]);
    EXPECT_GE(f.phrase_endings, 4);
    EXPECT_EQ(f.endings_on_chord_tones, f.phrase_endings);
    EXPECT_EQ(f.clash_beats, 0) << testing::PrintToString(f.clash_bars);
}
INSTANTIATE_TEST_SUITE_P(Music, Track, testing::Range(0, int(MUSIC_TRACK_COUNT)), [](const testing::TestParamInfo<int>& i) {
    std::string name = songs().size() > size_t(i.param) ? songs()[i.param].title : "track";
    name.erase(std::remove_if(name.begin(), name.end(), [](char c) { return !std::isalnum(c); }), name.end());
    return name;
});

// Only its password opens data.dat, which holds each item the game takes; opened once for the tests below.
static bool opened_without_password = false;
static DATAFILE* datafile() {
    if (data || allegro_init() != 0) return data;
    set_color_depth(16);
    opened_without_password = load_datafile("data.dat") != nullptr;
    packfile_password(DATA_PASSWORD);
    data = load_datafile("data.dat");
    packfile_password(nullptr);
    return data;
}

TEST(Media, DatafileHoldsEachItemOfItsKindAndShape) {
    ASSERT_NE(datafile(), nullptr) << "no display? " << allegro_error;
    EXPECT_FALSE(opened_without_password) << "not encrypted";
    for (int i = 0; i < DATA_ITEM_COUNT; ++i)
        ASSERT_NE(data[i].type, DAT_END) << "only " << i << " items";
    // Ghosts 4-9 and vanish frames 14-18 share one size per group; every picture is masked to its border.
    EXPECT_THAT(item(4)->w, AllOf(Ge(40), Le(56)));
    EXPECT_THAT(item(4)->h, AllOf(Ge(40), Le(56)));
    for (int i : {4, 5, 6, 7, 8, 9, 14, 15, 16, 17, 18, 32}) {
        ASSERT_EQ(data[i].type, DAT_BITMAP) << "item " << i;
        BITMAP *b = item(i), *first = item(i < 14 ? 4 : i < 32 ? 14 : i);
        int inside = 0, border = 0;
        for (int y = 0; y < b->h; ++y)
            for (int x = 0; x < b->w; ++x)
                if (getpixel(b, x, y) != bitmap_mask_color(b))
                    ++(x == 0 || y == 0 || x == b->w - 1 || y == b->h - 1 ? border : inside);
        EXPECT_EQ(std::pair(b->w, b->h), std::pair(first->w, first->h)) << "item " << i;
        EXPECT_GT(inside, 20) << "item " << i;
        EXPECT_EQ(border, 0) << "item " << i;
    }
    // The game draws both fonts in white, and story lines 10 pixels apart.
    ASSERT_EQ(std::pair(data[HEADING_FONT].type, data[TEXT_FONT].type), std::pair(DAT_FONT, DAT_FONT));
    FONT *heading = item<FONT>(HEADING_FONT), *text = item<FONT>(TEXT_FONT);
    EXPECT_TRUE(is_mono_font(heading));
    EXPECT_TRUE(is_mono_font(text));
    EXPECT_THAT(text_height(heading), AllOf(Ge(24), Le(40)));
    EXPECT_LE(text_height(text), 10);
    ASSERT_EQ(data[BEAM_SAMPLE].type, DAT_SAMPLE);
    const SAMPLE* zap = item<SAMPLE>(BEAM_SAMPLE);
    EXPECT_THAT(double(zap->len) / zap->freq, AllOf(Ge(0.06), Le(0.15))) << "the zap's seconds";
}

// Each track, from silence, is heard through the synth with the patch set named beside this program.
TEST(Media, EachTrackIsHeardThroughTheSynth) {
    ASSERT_NE(datafile(), nullptr) << allegro_error;
    const char sound[] = "[sound]\ndigi_card = ALSA\nmidi_card = DIGI\nalsa_device = file:media-mix.raw,raw\n";
    override_config_data(sound, sizeof sound - 1);
    ASSERT_EQ(install_sound(DIGI_AUTODETECT, MIDI_AUTODETECT, nullptr), 0) << allegro_error;
    for (int i = MUSIC_TRACK_FIRST; i < MUSIC_TRACK_FIRST + MUSIC_TRACK_COUNT; ++i) {
        ASSERT_EQ(data[i].type, DAT_MIDI) << "item " << i;
        for (int wait = 0; loudness(250) >= 64; ++wait)
            ASSERT_LT(wait, 12) << "the synth does not fall silent";
        play_midi(item<MIDI>(i), FALSE);
        EXPECT_GT(loudness(1500), 1000) << "track " << i << " is silent";
        stop_midi();
    }
    remove(MIX_FILE);
}

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
END_OF_MAIN()
