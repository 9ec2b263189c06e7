// The five tracks: their length, their make-up, and that the library's software
// synth with the generated patch set really makes them heard.
#include <allegro.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

int play_track_for_test(int argc, char **argv);

namespace {

struct NoteEvent {
    long tick;
    bool on;
    int channel, key;
};

struct Score {
    std::vector<NoteEvent> notes;
    double seconds = 0;
};

long var_len(const unsigned char *&p, const unsigned char *end)
{
    long v = 0;
    while (p < end) {
        unsigned char b = *p++;
        v = (v << 7) | (b & 0x7f);
        if (!(b & 0x80)) break;
    }
    return v;
}

// Reads the note events of every track, and the length from the tempo map.
Score read_score(const MIDI *m)
{
    Score s;
    std::map<long, long> tempo{{0, 500000}};
    long last = 0;
    for (int t = 0; t < MIDI_TRACKS; t++) {
        const unsigned char *p = m->track[t].data, *end = p + m->track[t].len;
        long tick = 0;
        int status = 0;
        while (p && p < end) {
            tick += var_len(p, end);
            if (*p & 0x80) status = *p++;
            int kind = status & 0xf0;
            if (status == 0xff) {
                int type = *p++;
                long n = var_len(p, end);
                if (type == 0x51) tempo[tick] = (p[0] << 16) | (p[1] << 8) | p[2];
                p += n;
            } else if (status == 0xf0 || status == 0xf7) {
                p += var_len(p, end);
            } else if (kind == 0xc0 || kind == 0xd0) {
                p += 1;
            } else {
                int key = p[0], vel = p[1];
                p += 2;
                if (kind == 0x90 || kind == 0x80)
                    s.notes.push_back({tick, kind == 0x90 && vel > 0, status & 0x0f, key});
            }
            last = std::max(last, tick);
        }
    }
    std::stable_sort(s.notes.begin(), s.notes.end(), [](const NoteEvent &a, const NoteEvent &b) {
        return a.tick != b.tick ? a.tick < b.tick : a.on < b.on;
    });
    for (auto it = tempo.begin(); it != tempo.end(); ++it) {
        auto next = std::next(it);
        long to = next == tempo.end() ? last : std::min(last, next->first);
        if (to > it->first) s.seconds += (to - it->first) * it->second / 1e6 / m->divisions;
    }
    return s;
}

class Tracks : public testing::Test {
protected:
    static DATAFILE *data;
    static void SetUpTestSuite()
    {
        ASSERT_EQ(install_allegro(SYSTEM_NONE, &errno, atexit), 0);
        packfile_password("mangotwist");
        data = load_datafile("data.dat");
        packfile_password(nullptr);
    }
    static void TearDownTestSuite()
    {
        if (data) unload_datafile(data);
        data = nullptr;
    }
    void SetUp() override { ASSERT_NE(data, nullptr); }
    static MIDI *track(int i) { return (MIDI *)data[97 + i].dat; }
};
DATAFILE *Tracks::data = nullptr;

TEST_F(Tracks, LastBetween45And120Seconds)
{
    for (int i = 0; i < 5; i++) {
        Score s = read_score(track(i));
        EXPECT_GE(s.seconds, 45) << "track " << 97 + i;
        EXPECT_LE(s.seconds, 120) << "track " << 97 + i;
    }
}

// The synth has 24 voices; a note left on would hold one for the rest of the track.
TEST_F(Tracks, NeverSoundMoreThan16NotesAndReleaseEveryNote)
{
    for (int i = 0; i < 5; i++) {
        std::multiset<std::pair<int, int>> sounding;
        size_t most = 0;
        for (const NoteEvent &n : read_score(track(i)).notes) {
            if (n.on) {
                sounding.insert({n.channel, n.key});
            } else {
                auto it = sounding.find({n.channel, n.key});
                if (it != sounding.end()) sounding.erase(it);
            }
            most = std::max(most, sounding.size());
        }
        EXPECT_LE(most, 16u) << "track " << 97 + i;
        EXPECT_TRUE(sounding.empty()) << "track " << 97 + i << " leaves notes on";
    }
}

TEST_F(Tracks, EachIsItsOwnTuneWithMelodyBassAndDrums)
{
    std::vector<std::vector<int>> tunes;
    for (int i = 0; i < 5; i++) {
        std::map<int, std::pair<int, int>> range;  // channel -> lowest, highest key
        std::vector<int> tune;
        for (const NoteEvent &n : read_score(track(i)).notes) {
            if (!n.on) continue;
            auto &r = range.try_emplace(n.channel, 127, 0).first->second;
            r = {std::min(r.first, n.key), std::max(r.second, n.key)};
            if (n.channel != 9) tune.push_back(n.key);
        }
        bool bass = false, melody = false;
        for (auto &[ch, r] : range)
            if (ch != 9) {
                bass |= r.first < 48;
                melody |= r.first >= 60;
            }
        EXPECT_TRUE(range.count(9)) << "track " << 97 + i << " has no drums";
        EXPECT_TRUE(bass) << "track " << 97 + i << " has no bass line";
        EXPECT_TRUE(melody) << "track " << 97 + i << " has no melody part";
        for (size_t j = 0; j < tunes.size(); j++) EXPECT_NE(tunes[j], tune) << "tracks " << 97 + j << " and " << 97 + i;
        tunes.push_back(tune);
    }
}

// ---- heard through the software synth ----

std::string patches_from_test_config()
{
    std::ifstream cfg("allegro.cfg");
    std::string line;
    while (std::getline(cfg, line))
        if (line.rfind("patches", 0) == 0) {
            std::string value = line.substr(line.find('=') + 1);
            return value.erase(0, value.find_first_not_of(" \t"));
        }
    return "";
}

std::string self_path()
{
    char buf[4096];
    ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    return n > 0 ? std::string(buf, n) : "";
}

class Heard : public testing::TestWithParam<int> {};

// A copy of this program, beside an allegro.cfg that sends the mix into an ALSA
// file device, plays the track's opening; the captured sound must not be silence.
TEST_P(Heard, ThroughTheSoftwareSynth)
{
    const int index = GetParam();
    std::string patches = patches_from_test_config();
    ASSERT_FALSE(patches.empty()) << "tests/allegro.cfg names no patch set";
    char tmpl[] = "/tmp/vorn-media-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    const std::string dir = tmpl, raw = dir + "/mix.raw", player = dir + "/player";
    ASSERT_EQ(std::system(("cp '" + self_path() + "' '" + player + "'").c_str()), 0);
    std::ofstream(dir + "/allegro.cfg") << "[sound]\ndigi_card = ALSA\nmidi_card = DIGI\nalsa_device = vorn_capture\n"
                                        << "patches = " << patches << "\n";
    std::ofstream(dir + "/.asoundrc") << "pcm.vorn_capture {\n type file\n slave.pcm \"null\"\n file \"" << raw
                                      << "\"\n format \"raw\"\n}\n";
    char cwd[4096];
    ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
    const std::string datafile = std::string(cwd) + "/data.dat", which = std::to_string(index);

    pid_t pid = fork();
    if (pid == 0) {
        setenv("HOME", dir.c_str(), 1);
        execl(player.c_str(), player.c_str(), "--play", datafile.c_str(), which.c_str(), "1500", (char *)nullptr);
        _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    ASSERT_EQ(WEXITSTATUS(status), 0) << "the player failed (3: no sound, 4: not the software synth, 5: no data)";

    std::ifstream in(raw, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::system(("rm -rf '" + dir + "'").c_str());
    ASSERT_GT(bytes.size(), 44100u) << "the device received almost nothing";
    // Silence is one constant value whatever the sample format, so measure the spread.
    double sum = 0, sq = 0;
    size_t n = bytes.size() / 2;
    for (size_t i = 0; i < n; i++) {
        double v = (int16_t)((uint8_t)bytes[2 * i] | (uint8_t)bytes[2 * i + 1] << 8);
        sum += v;
        sq += v * v;
    }
    double spread = std::sqrt(std::max(0.0, sq / n - (sum / n) * (sum / n)));
    EXPECT_GT(spread, 300) << "track " << index << " is silent";
}

INSTANTIATE_TEST_SUITE_P(Tracks, Heard, testing::Range(97, 102));

}  // namespace

// The player side of Heard: play one track for a while, then stop.
int play_track_for_test(int argc, char **argv)
{
    if (argc != 5) return 2;
    if (allegro_init() != 0) return 3;
    install_timer();
    reserve_voices(32, -1);  // leaves the software synth its voices
    if (install_sound(DIGI_AUTODETECT, MIDI_AUTODETECT, nullptr) != 0) return 3;
    if (midi_driver->id != MIDI_DIGMID) return 4;
    packfile_password("mangotwist");
    DATAFILE *data = load_datafile(argv[2]);
    packfile_password(nullptr);
    if (!data) return 5;
    play_midi((MIDI *)data[std::atoi(argv[3])].dat, FALSE);
    rest(std::atoi(argv[4]));
    stop_midi();
    remove_sound();
    return 0;
}
