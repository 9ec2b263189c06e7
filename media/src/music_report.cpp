// Prints, for each of the game's tracks, the figures its music is held to: from the composed notes,
// and from a render through the library's synth with the game's patch set. Writes each track's
// first 30 seconds as a WAV file to listen to.
//
//   music-report <patch index (default.cfg)> <folder for the WAV files>
#include "media.h"

#include <cmath>
#include <cstdio>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <sys/stat.h>

namespace {

using namespace media;

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

// The farthest, in semitones, that the lead plays from the root of the sample that sounds it.
int lead_reach(const Score &s, std::map<int, std::vector<Sample>> &patches)
{
    double widest = 0;
    for (const ScoreNote &n : s.notes) {
        if (n.channel != LEAD_CHANNEL) continue;
        int program = 0;
        for (const ProgramChange &pc : s.programs)
            if (pc.channel == LEAD_CHANNEL && pc.tick <= n.tick) program = pc.program;
        double hz = 440 * std::pow(2, (n.key - 69) / 12.0);
        const std::vector<Sample> &samples = patches[program];
        if (samples.empty()) continue;
        const Sample *use = &samples.front();
        for (auto x = samples.rbegin(); x != samples.rend(); ++x)  // the first that covers it
            if (hz >= x->low && hz <= x->high) use = &*x;
        widest = std::max(widest, std::abs(12 * std::log2(hz / use->root)));
    }
    return (int)std::lround(widest);
}

bool write_stereo_wav(const std::string &path, const std::vector<int16_t> &samples)
{
    FILE *f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    auto u32 = [&](uint32_t v) { std::fwrite(&v, 4, 1, f); };
    auto u16 = [&](uint16_t v) { std::fwrite(&v, 2, 1, f); };
    uint32_t bytes = samples.size() * 2;
    std::fwrite("RIFF", 1, 4, f);
    u32(36 + bytes);
    std::fwrite("WAVEfmt ", 1, 8, f);
    u32(16);
    u16(1);
    u16(2);
    u32(RENDER_RATE);
    u32(RENDER_RATE * 4);
    u16(4);
    u16(16);
    std::fwrite("data", 1, 4, f);
    u32(bytes);
    std::fwrite(samples.data(), 2, samples.size(), f);
    return std::fclose(f) == 0;
}

std::string figure(double v, int places = 1)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.*f", places, v);
    return buf;
}

}  // namespace

int main(int argc, char **argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s PATCH_INDEX WAV_FOLDER\n", argv[0]);
        return 2;
    }
    std::map<int, std::vector<Sample>> patches = patch_samples(argv[1]);
    if (patches.empty() || !start_music_render(argv[1])) {
        std::fprintf(stderr, "music-report: cannot start the synth with %s\n", argv[1]);
        return 1;
    }
    mkdir(argv[2], 0777);
    std::vector<std::vector<std::string>> columns;
    std::vector<double> levels;
    for (int t = 0; t < MUSIC_TRACK_COUNT; t++) {
        Score s = compose_track(t);
        MusicFigures f = music_figures(s);
        std::vector<int16_t> mix = render_music(midi_file(s), f.seconds);
        std::vector<int16_t> lead = render_music(midi_file(s, 1u << LEAD_CHANNEL), f.seconds);
        std::vector<int16_t> drums = render_music(midi_file(s, 1u << DRUM_CHANNEL), f.seconds);
        std::string wav = std::string(argv[2]) + "/" + std::to_string(t + 1) + "-" + s.title + ".wav";
        for (char &c : wav) c = c == ' ' ? '-' : c;
        std::vector<int16_t> opening(mix.begin(), mix.begin() + std::min(mix.size(), size_t(30 * 2 * RENDER_RATE)));
        if (!write_stereo_wav(wav, opening)) std::fprintf(stderr, "music-report: cannot write %s\n", wav.c_str());
        double level = loudness_lufs(mix);
        int peak = 1;
        for (int16_t x : mix) peak = std::max(peak, std::abs((int)x));
        levels.push_back(level);
        double bridge = loudness_lufs(mix, f.bridge_bar * f.bar_seconds, (f.bridge_bar + 8) * f.bar_seconds);
        double last = loudness_lufs(mix, f.last_theme_bar * f.bar_seconds, (f.last_theme_bar + 8) * f.bar_seconds);
        auto list = [](const std::vector<int> &bars) {
            std::string out;
            for (int b : bars) out += (out.empty() ? "" : ",") + std::to_string(b);
            return out.empty() ? "-" : out;
        };
        std::string fills = list(f.fill_bars);
        columns.push_back({s.title, std::to_string(s.bpm), figure(f.seconds, 0), f.form, fills, s.figure,
                           figure(f.closing_chord_tones, 0), std::to_string(f.closing_triples),
                           std::to_string(f.edge_pileups), f.hook_returns ? "yes" : "no", figure(f.theme_steps, 0),
                           figure(f.theme_leaps, 0), f.third_varies ? "yes" : "no", figure(f.bridge_follows, 0),
                           figure(f.bridge_repeats, 0), figure(f.bridge_pitches), figure(bridge - last),
                           figure(f.second_chord_tones, 0), std::to_string(f.clash_beats) + "/" + std::to_string(f.beats), list(f.clash_bars),
                           std::to_string(f.resolved) + "/" + std::to_string(f.approaches),
                           f.ending_bass_in_range ? "yes" : "no", figure(f.kick_on_bass, 0), figure(level),
                           figure(20 * std::log10(peak / 32768.0)), "", figure(loudness_lufs(lead) - loudness_lufs(drums)),
                           figure(energy_above(mix, 2000)),
                           std::to_string(lead_reach(s, patches))});
    }
    stop_music_render();
    double mean = 0;
    for (double l : levels) mean += l / levels.size();
    for (size_t t = 0; t < columns.size(); t++) columns[t][25] = (levels[t] >= mean ? "+" : "") + figure(levels[t] - mean);

    const char *rows[] = {"track", "tempo (BPM)", "length (s)", "form (bars)", "fill bars", "accompaniment",
                          "1 closing on-beat chord tones %", "1 closing bars with a pitch 3x", "1 repeats at range edge",
                          "2 bar 5 restates bar 1", "2 theme steps+repeats %", "2 theme leaps >=5 %",
                          "2 third theme varies", "3 bridge on-beat follows motif %", "3 bridge repeats %",
                          "3 bridge pitches a bar", "3 bridge vs last theme (LU)", "4 second voice chord tones %",
                          "4 semitone clash beats", "4 bars with a clash", "4 bass approaches resolved", "4 ending bass in range",
                          "4 kick on a bass note %", "5 integrated loudness (LUFS)", "5 peak (dBFS)", "5 against the five's mean (LU)",
                          "5 lead vs drums (LU)", "5 energy above 2 kHz %", "5 lead from sample root (st)"};
    for (size_t r = 0; r < sizeof rows / sizeof rows[0]; r++) {
        std::printf("%-34s", rows[r]);
        for (auto &c : columns) {
            size_t width = 0;
            for (const std::string &cell : c) width = std::max(width, cell.size());
            std::printf(" | %-*s", (int)width, c[r].c_str());
        }
        std::printf("\n");
    }
    std::printf("Renders of the first 30 s: %s\n", argv[2]);
    return 0;
}
