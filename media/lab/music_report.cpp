// What the player hears of each track: the built MIDI file rendered through the library's synth
// as the game sets it up, with the held beam's zap mixed in, measured against the rules the
// music keeps. Writes each whole track, and its first 10 s under the zap, as WAV files.
//
//   music-report <patch index (default.cfg)> <folder for the WAV files> <tracks.list>
//
// tracks.list, written by the build, names each score and its MIDI file, one pair a line.
#include "lab.h"
#include "media.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <map>
#include <numeric>
#include <set>
#include <sstream>
#include <sys/stat.h>

namespace {

using namespace lab;

struct Sample {
    double low, high, root;  // Hz
};

uint32_t le32(const std::string &b, size_t at)
{
    return uint8_t(b[at]) | uint8_t(b[at + 1]) << 8 | uint8_t(b[at + 2]) << 16 | uint32_t(uint8_t(b[at + 3])) << 24;
}

// Each melodic program's samples, from the GUS patches the index names.
std::map<int, std::vector<Sample>> patch_samples(const std::string &index)
{
    std::map<int, std::vector<Sample>> out;
    std::string folder = index.substr(0, index.rfind('/') + 1), line;
    std::ifstream cfg(index);
    while (std::getline(cfg, line) && line.find("begin_multipatch") == std::string::npos) {
        std::istringstream words(line);
        int number;
        std::string name;
        if (!(words >> number >> name)) continue;
        std::ifstream pat(folder + name + ".pat", std::ios::binary);
        std::string b((std::istreambuf_iterator<char>(pat)), std::istreambuf_iterator<char>());
        if (b.size() < 239) continue;
        size_t at = 239;  // past the file, instrument and layer headers
        for (int i = 0; i < uint8_t(b[198]) && at + 96 <= b.size(); i++) {
            out[number - 1].push_back({le32(b, at + 22) / 1000.0, le32(b, at + 26) / 1000.0, le32(b, at + 30) / 1000.0});
            at += 96 + le32(b, at + 8);
        }
    }
    return out;
}

// The share of a channel's notes within a fifth of the root of the sample that sounds them.
double within_a_fifth(const Song &s, int channel, std::map<int, std::vector<Sample>> &patches)
{
    const std::vector<Sample> &samples = patches[s.programs.count(channel) ? s.programs.at(channel) : 0];
    int near = 0, all = 0;
    for (const Note &n : s.notes) {
        if (n.channel != channel || samples.empty()) continue;
        double hz = 440 * std::pow(2, (n.key - 69) / 12.0);
        const Sample *use = &samples.front();
        for (auto x = samples.rbegin(); x != samples.rend(); ++x)  // the first that covers it
            if (hz >= x->low && hz <= x->high) use = &*x;
        all++;
        near += std::abs(12 * std::log2(hz / use->root)) <= 7.5;
    }
    return all ? 100.0 * near / all : 100;
}

std::string fmt(double v, int places = 1)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.*f", places, v);
    return buf;
}

bool is_theme(const Section &s) { return s.name.find("Theme") != std::string::npos; }

std::vector<const Note *> bar_notes(const Song &s, int channel, int bar)
{
    std::vector<const Note *> out;
    for (const Note &n : s.notes)
        if (n.channel == channel && n.tick / s.bar_ticks == bar) out.push_back(&n);
    return out;
}

// A bar's rhythm as onsets in sixteenths: "x...x.x." and so on.
std::string rhythm(const Song &s, int channel, int bar)
{
    std::string r(16, '.');
    for (const Note *n : bar_notes(s, channel, bar)) r[std::min(15, (n->tick % s.bar_ticks) * 16 / s.bar_ticks)] = 'x';
    return r;
}

// A bar's notes exactly: onset, key and length of each.
std::string content(const Song &s, int channel, int bar)
{
    std::string out;
    for (const Note *n : bar_notes(s, channel, bar))
        out += std::to_string(n->tick % s.bar_ticks) + ":" + std::to_string(n->key) + ":" + std::to_string(n->length) + " ";
    return out;
}

int bar_count(const Song &s) { return (s.end_tick + s.bar_ticks - 1) / s.bar_ticks; }

// Scale degrees of the natural minor, with the raised ones marked.
std::string degree(const Song &s, int key)
{
    static const char *names[] = {"1", "b2", "2", "3", "#3", "4", "#4", "5", "6", "#6", "7", "#7"};
    return names[(key - s.tonic + 120) % 12];
}

struct Track {
    Song song;
    std::vector<std::string> hook;  // the first five degrees of the first theme
    std::map<std::string, std::set<std::string>> shared;  // kind of figure: its patterns
    std::map<std::string, std::string> cells;
};

int longest_lead_copy(const Song &s)
{
    int bars = bar_count(s), longest = 0;
    for (int a = 0; a < bars; a++)
        for (int b = a + 1; b < bars; b++) {
            int run = 0;
            while (b + run < bars && !bar_notes(s, LEAD, a + run).empty() && content(s, LEAD, a + run) == content(s, LEAD, b + run))
                run++;
            longest = std::max(longest, run);
        }
    return longest;
}

int whole_copies(const Song &s)
{
    int bars = bar_count(s), copies = 0;
    std::set<int> channels;
    for (const Note &n : s.notes) channels.insert(n.channel);
    for (int a = 0; a + 8 <= bars; a++)
        for (int b = a + 8; b + 8 <= bars; b++) {
            bool same = true;
            for (int i = 0; i < 8 && same; i++)
                for (int c : channels) same = same && content(s, c, a + i) == content(s, c, b + i);
            copies += same;
        }
    return copies;
}

// The share of time the lead sounds with another voice above it.
double covered(const Song &s)
{
    long long all = 0, under = 0;
    for (const Note &l : s.notes) {
        if (l.channel != LEAD) continue;
        std::vector<std::pair<int, int>> over;
        for (const Note &n : s.notes)
            if (n.channel != LEAD && n.channel != DRUMS && n.key > l.key && n.tick < l.tick + l.length && n.tick + n.length > l.tick)
                over.push_back({std::max(n.tick, l.tick), std::min(n.tick + n.length, l.tick + l.length)});
        std::sort(over.begin(), over.end());
        int reach = l.tick;
        for (auto [from, to] : over) {
            from = std::max(from, reach);
            if (to > from) under += to - from, reach = to;
        }
        all += l.length;
    }
    return all ? 100.0 * under / all : 0;
}

// The lead's energy, in octave bands and 100 ms frames, where the rest is 6 dB louder than it.
double masked(const std::vector<int16_t> &lead, const std::vector<int16_t> &rest)
{
    double all = 0, hidden = 0;
    for (double low = 125; low < 8000; low *= 2) {
        std::vector<double> l = band_frames(lead, low, low * 2), r = band_frames(rest, low, low * 2);
        for (size_t i = 0; i < std::min(l.size(), r.size()); i++) {
            all += l[i];
            hidden += r[i] > 4 * l[i] ? l[i] : 0;
        }
    }
    return all > 0 ? 100 * hidden / all : 0;
}

void measure(Track &t, std::map<int, std::vector<Sample>> &patches, const std::vector<uint8_t> &file,
             const std::vector<int16_t> &zap, const std::string &wavs)
{
    const Song &s = t.song;
    double seconds = s.seconds(s.end_tick) + 0.5;
    std::vector<int16_t> music = render(file, seconds), held = render({}, seconds, &zap);
    std::vector<int16_t> mix = render(file, seconds, &zap);
    std::vector<int16_t> lead = render(only_channels(file, 1u << LEAD), seconds);
    std::vector<int16_t> rest = render(only_channels(file, ~(1u << LEAD)), seconds);
    std::vector<int16_t> bass = render(only_channels(file, 1u << BASS), seconds);
    std::string name = wavs + "/" + s.title;
    std::replace(name.begin(), name.end(), ' ', '-');
    write_wav(name + ".wav", music);
    write_wav(name + "-zap.wav", std::vector<int16_t>(mix.begin(), mix.begin() + std::min(mix.size(), size_t(20 * RATE))));

    auto &c = t.cells;
    double level = loudness_lufs(music);
    c["length (s)"] = fmt(s.seconds(s.end_tick), 0);
    c["tempo (BPM)"] = fmt(60 / s.quarter_seconds, 0);
    std::string form;
    for (const Section &x : s.sections) form += x.name.substr(0, x.name.find(' ')) + std::to_string(x.bars) + " ";
    c["form (bars)"] = form;
    c["1 zap over music, 400 Hz-2 kHz (dB)"] = fmt(zap_over_music(music, held));
    c["1 held beam against music (LU)"] = fmt(loudness_lufs(held) - level);
    c["1 peak with the zap (dBFS)"] = fmt(peak_dbfs(mix));
    c["1 music loudness (LUFS)"] = fmt(level);

    NoteFigures nf = note_figures(s);
    c["3 phrase endings on chord tones"] = std::to_string(nf.endings_on_chord_tones) + "/" + std::to_string(nf.phrase_endings);
    std::string off;
    for (int b : nf.off_chord_endings) off += std::to_string(b) + " ";
    c["3 bars ending off the chord"] = off.empty() ? "-" : off;
    c["3 semitone clash beats"] = std::to_string(nf.clash_beats) + "/" + std::to_string(nf.beats);

    // the hook: the first theme's first five notes
    const Section *first = nullptr;
    for (const Section &x : s.sections)
        if (is_theme(x) && !first) first = &x;
    std::vector<const Note *> hook;
    for (const Note &n : s.notes)
        if (first && n.channel == LEAD && n.tick >= first->first_bar * s.bar_ticks && hook.size() < 5) hook.push_back(&n);
    std::string degrees;
    bool leap = false, repeated = false;
    for (size_t i = 0; i < hook.size(); i++) {
        t.hook.push_back(degree(s, hook[i]->key));
        degrees += t.hook.back() + " ";
        if (i) leap |= std::abs(hook[i]->key - hook[i - 1]->key) >= 5;
        if (i >= 2) repeated |= hook[i]->key == hook[i - 1]->key && hook[i]->key == hook[i - 2]->key;
    }
    c["3 hook degrees"] = degrees;
    c["3 hook leap >= 5 or repeated note"] = leap ? "leap" : repeated ? "repeats" : "no";

    // the tune in front, worst theme
    double lead_front = 99, theme_level = 0;
    int themes = 0;
    for (const Section &x : s.sections) {
        double from = x.first_bar * s.bar_seconds(), to = (x.first_bar + x.bars) * s.bar_seconds();
        if (!is_theme(x)) continue;
        lead_front = std::min(lead_front, loudness_lufs(lead, from, to) - loudness_lufs(rest, from, to));
        theme_level += loudness_lufs(music, from, to);
        themes++;
    }
    theme_level /= std::max(1, themes);
    double worst_section = 0;
    for (const Section &x : s.sections) {
        if (is_theme(x) || x.name == "Ending") continue;
        double d = loudness_lufs(music, x.first_bar * s.bar_seconds(), (x.first_bar + x.bars) * s.bar_seconds()) - theme_level;
        if (std::abs(d) > std::abs(worst_section)) worst_section = d;
    }
    c["3 lead against the rest, worst theme (LU)"] = fmt(lead_front);
    c["3 lead energy masked %"] = fmt(masked(lead, rest));
    c["3 lead time under another voice %"] = fmt(covered(s));
    c["3 intro/bridge against themes, worst (LU)"] = fmt(worst_section);
    c["3 bass against lead (LU)"] = fmt(loudness_lufs(bass) - loudness_lufs(lead));
    c["3 energy below 125 Hz %"] = fmt(energy_between(music, 0, 125));
    c["3 energy 2-5 kHz %"] = fmt(energy_between(music, 2000, 5000));
    c["3 longest copied lead run (bars)"] = std::to_string(longest_lead_copy(s));
    c["3 8-bar copies in every part"] = std::to_string(whole_copies(s));
    double reach = 100;
    std::string worst = "-";
    for (auto [channel, program] : s.programs) {
        if (channel == DRUMS) continue;
        double r = within_a_fifth(s, channel, patches);
        if (r < reach) reach = r, worst = "ch" + std::to_string(channel + 1);
    }
    c["3 notes within a fifth of samples, worst part %"] = fmt(reach, 0) + " " + worst;
    c["3 accompaniment program"] = std::to_string(s.programs.count(1) ? s.programs.at(1) : -1);

    // the figures no more than two tracks may share
    for (const Section &x : s.sections) {
        int last = x.first_bar + x.bars - 1;
        if (x.name != "Ending" && x.name != "Intro") t.shared["fill"].insert(rhythm(s, DRUMS, last));
        if (x.name == "Bridge") t.shared["bridge rhythm"].insert(rhythm(s, LEAD, x.first_bar));
        if (is_theme(x))
            for (int b = x.first_bar + 3; b < x.first_bar + x.bars; b += 4) t.shared["phrase-ending rhythm"].insert(rhythm(s, LEAD, b));
    }
    std::string ending;
    int last_bar = s.notes.empty() ? 0 : s.notes.back().tick / s.bar_ticks;
    for (int ch = 0; ch < 16; ch++) ending += rhythm(s, ch, last_bar);
    t.shared["ending bar"].insert(ending);
    int first_note = s.notes.empty() ? 0 : s.notes.front().tick, last_off = 0;
    for (const Note &n : s.notes) last_off = std::max(last_off, n.tick + n.length);
    c["3 seam: silence before / after (s)"] = fmt(s.seconds(first_note), 2) + " / " + fmt(s.seconds(s.end_tick - last_off), 2);
}

}  // namespace

int main(int argc, char **argv)
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s PATCH_INDEX WAV_FOLDER TRACK_LIST\n", argv[0]);
        return 2;
    }
    std::map<int, std::vector<Sample>> patches = patch_samples(argv[1]);
    if (patches.empty() || !start_render(argv[1])) {
        std::fprintf(stderr, "music-report: cannot start the synth with %s\n", argv[1]);
        return 1;
    }
    mkdir(argv[2], 0777);
    const std::vector<int16_t> zap = media::make_zap(22050);
    std::vector<Track> tracks;
    for (const auto &[score, midi] : track_list(argv[3])) {
        Track t;
        std::vector<uint8_t> file = read_bytes(midi);
        if (!read_midi(file, t.song)) {
            std::fprintf(stderr, "music-report: %s is not a MIDI file\n", midi.c_str());
            return 1;
        }
        t.song.sections = score_sections(score);
        measure(t, patches, file, zap, argv[2]);
        tracks.push_back(t);
    }
    stop_render();

    // across the five
    std::vector<std::string> across;
    double mean = 0;
    for (Track &t : tracks) mean += std::stod(t.cells["1 music loudness (LUFS)"]) / tracks.size();
    for (Track &t : tracks) {
        double d = std::stod(t.cells["1 music loudness (LUFS)"]) - mean;
        t.cells["1 against the five's mean (LU)"] = (d >= 0 ? "+" : "") + fmt(d);
    }
    int fewest = 5, most_on_one = 0;
    std::map<std::string, int> starts;
    for (size_t a = 0; a < tracks.size(); a++) {
        if (!tracks[a].hook.empty()) most_on_one = std::max(most_on_one, ++starts[tracks[a].hook[0]]);
        for (size_t b = a + 1; b < tracks.size(); b++) {
            int differ = 0;
            for (size_t i = 0; i < 5; i++)
                differ += i >= tracks[a].hook.size() || i >= tracks[b].hook.size() || tracks[a].hook[i] != tracks[b].hook[i];
            fewest = std::min(fewest, differ);
        }
    }
    across.push_back("hooks: fewest first-five degrees two differ in: " + std::to_string(fewest) +
                     "; most hooks starting on one degree: " + std::to_string(most_on_one));
    for (const char *kind : {"fill", "ending bar", "bridge rhythm", "phrase-ending rhythm"}) {
        std::map<std::string, int> users;
        int most = 0;
        for (Track &t : tracks)
            for (const std::string &p : t.shared[kind]) most = std::max(most, ++users[p]);
        across.push_back(std::string("most tracks sharing one ") + kind + ": " + std::to_string(most));
    }
    std::set<std::string> programs;
    for (Track &t : tracks) programs.insert(t.cells["3 accompaniment program"]);
    across.push_back("different accompaniment instruments: " + std::to_string(programs.size()));

    std::vector<std::string> rows;
    for (auto &[row, cell] : tracks.front().cells) rows.push_back(row);
    std::printf("%-48s", "track");
    for (Track &t : tracks) std::printf(" | %-22s", t.song.title.c_str());
    std::printf("\n");
    for (const std::string &row : rows) {
        std::printf("%-48s", row.c_str());
        for (Track &t : tracks) std::printf(" | %-22s", t.cells[row].c_str());
        std::printf("\n");
    }
    std::printf("Across the five:\n");
    for (const std::string &line : across) std::printf("  %s\n", line.c_str());
    std::printf("Whole tracks, and 20 s under the held beam: %s\n", argv[2]);
    return 0;
}
