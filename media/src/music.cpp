// Five arcade tunes composed by rule: minor keys, motifs that repeat and answer,
// a driving bass, drums, an eerie pad and a sparkling arpeggio. Written as General MIDI.
#include "media.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <string>

namespace media {
namespace {

constexpr int PPQ = 96;
constexpr int STEP = PPQ / 4;  // one sixteenth
constexpr int BAR = 16;        // steps

enum Channel { LEAD, COUNTER, BASS, PAD, ARP, BELL, DRUMS = 9 };
enum Quality { MIN, MAJ, DIM, AUG, SUS };

struct Chord {
    int root;  // semitones above the key's tonic
    Quality q;
};

enum class BassStyle { OCTAVES, DRIVE, GALLOP, WALK, PULSE };
enum class Groove { DRIVE, ROCK, GALLOP, SHUFFLE, BREAK };

struct TrackSpec {
    const char *title;
    int bpm;
    int tonic;  // pitch class
    std::array<Chord, 8> verse, bridge;
    int lead, counter, bass, pad, arp, bridge_lead;
    int lead_low, lead_high;
    std::array<int, 3> rhythms;  // verse motifs from RHYTHMS
    int bridge_rhythm;
    BassStyle bass_style;
    Groove groove;
    int percussion;  // extra hand percussion note, 0 for none
    bool swing;
    uint32_t seed;
};

// One bar each: 'x' starts a note, '-' holds it, '.' is silence.
const char *const RHYTHMS[] = {
    "x--x--x-x---x-x-", "x-x-x--xx-x-x---", "x.xx.xx.x.x.x...", "x---x.x.x-x-x---",
    "x-xxx-x-x-xxx---", "x--xx--xx-x-x-x-", "xx.xx.x.xx.xx.x.", "x-----x-x-x-x---",
    "x-x.x-x.x-x-xx--", "x--x--x---x-xxx-",
};
const char *const CADENCES[] = {"x---x---x-------", "x-x-x-x-x-------", "x--x--x-x-------"};
const char *const BRIDGE_RHYTHMS[] = {"x-------x---x---", "x---x---x-x-x---", "x-----x-----x---", "x-x-x---x-------"};

const TrackSpec TRACKS[MUSIC_TRACK_COUNT] = {
    // A minor: the haunted arcade's own theme, square lead over voices
    {"Haunted Arcade", 148, 9,
     {{{0, MIN}, {8, MAJ}, {5, MIN}, {7, MAJ}, {0, MIN}, {8, MAJ}, {2, DIM}, {7, MAJ}}},
     {{{5, MIN}, {0, MIN}, {1, MAJ}, {7, MAJ}, {5, MIN}, {0, MIN}, {8, MAJ}, {7, MAJ}}},
     80, 8, 38, 53, 8, 73, 69, 88, {{0, 5, 2}}, 1, BassStyle::OCTAVES, Groove::DRIVE, 54, false, 11u},
    // E minor: a harpsichord creeping through the crypt, organ underneath
    {"Crypt Crawl", 134, 4,
     {{{0, MIN}, {1, MAJ}, {0, MIN}, {1, MAJ}, {5, MIN}, {7, MAJ}, {0, MIN}, {7, MAJ}}},
     {{{8, MAJ}, {10, MAJ}, {0, MIN}, {0, MIN}, {8, MAJ}, {10, MAJ}, {6, DIM}, {7, MAJ}}},
     6, 16, 33, 19, 9, 16, 64, 84, {{8, 3, 9}}, 0, BassStyle::WALK, Groove::ROCK, 56, false, 23u},
    // D minor: a bony xylophone chase down the descending line
    {"Moonlight Chase", 164, 2,
     {{{0, MIN}, {10, MAJ}, {8, MAJ}, {7, MAJ}, {0, MIN}, {10, MAJ}, {8, MAJ}, {7, MAJ}}},
     {{{5, MIN}, {8, MAJ}, {5, MIN}, {7, AUG}, {0, MIN}, {3, MAJ}, {5, MIN}, {7, MAJ}}},
     13, 45, 34, 44, 6, 46, 67, 91, {{6, 4, 1}}, 3, BassStyle::GALLOP, Groove::GALLOP, 70, false, 37u},
    // C minor: an ocarina swinging through lantern light
    {"Lantern Swing", 126, 0,
     {{{0, MIN}, {5, MIN}, {10, MAJ}, {3, MAJ}, {8, MAJ}, {2, DIM}, {7, MAJ}, {0, MIN}}},
     {{{8, MAJ}, {10, MAJ}, {0, MIN}, {0, MIN}, {8, MAJ}, {7, SUS}, {7, MAJ}, {7, MAJ}}},
     79, 71, 35, 94, 98, 73, 67, 86, {{3, 9, 7}}, 2, BassStyle::PULSE, Groove::SHUFFLE, 82, true, 41u},
    // B minor: the wraiths' last stand, organ and strings at full tilt
    {"Wraith Rush", 154, 11,
     {{{0, MIN}, {8, MAJ}, {3, MAJ}, {10, MAJ}, {0, MIN}, {8, MAJ}, {5, MIN}, {7, MAJ}}},
     {{{0, MIN}, {6, DIM}, {5, MIN}, {7, MAJ}, {1, MAJ}, {7, MAJ}, {0, MIN}, {7, AUG}}},
     16, 48, 38, 95, 8, 102, 66, 86, {{4, 1, 6}}, 1, BassStyle::DRIVE, Groove::BREAK, 39, false, 59u},
};

const int HARMONIC_MINOR[] = {0, 2, 3, 5, 7, 8, 11};

using Note = ScoreNote;

struct Rng {
    uint32_t s;
    uint32_t next()
    {
        s = s * 1664525u + 1013904223u;
        return s >> 8;
    }
    int below(int n) { return (int)(next() % (uint32_t)n); }
    int around(int v, int spread) { return v + below(2 * spread + 1) - spread; }
};

std::vector<int> chord_classes(const TrackSpec &t, Chord c)
{
    static const std::vector<int> shapes[] = {{0, 3, 7}, {0, 4, 7}, {0, 3, 6}, {0, 4, 8}, {0, 5, 7}};
    std::vector<int> out;
    for (int i : shapes[c.q]) out.push_back((t.tonic + c.root + i) % 12);
    return out;
}

// The melody's notes over a chord: the key's scale, bent wherever the chord needs
// a note the scale lacks, within the given range.
std::vector<int> melody_keys(const TrackSpec &t, Chord c, int lo, int hi)
{
    std::vector<int> chord = chord_classes(t, c);
    bool use[12] = {};
    for (int d : HARMONIC_MINOR) use[(t.tonic + d) % 12] = true;
    for (int pc : chord) {
        if (use[pc]) continue;
        use[(pc + 1) % 12] = use[(pc + 11) % 12] = false;
        use[pc] = true;
    }
    std::vector<int> keys;
    for (int k = lo; k <= hi; k++)
        if (use[k % 12]) keys.push_back(k);
    return keys;
}

int nearest_index(const std::vector<int> &keys, int key)
{
    int best = 0;
    for (int i = 1; i < (int)keys.size(); i++)
        if (std::abs(keys[i] - key) < std::abs(keys[best] - key)) best = i;
    return best;
}

int nearest_chord_tone(const std::vector<int> &chord, int key, int lo, int hi)
{
    int best = key, dist = 99;
    for (int k = lo; k <= hi; k++)
        for (int pc : chord)
            if (k % 12 == pc && std::abs(k - key) < dist) {
                dist = std::abs(k - key);
                best = k;
            }
    return best;
}

struct Motif {
    const char *rhythm;
    std::vector<int> steps;  // scale steps between successive notes
};

class Composer {
public:
    struct ProgramAt {
        int step, channel, program;
    };
    std::vector<ProgramAt> program_changes;

    Composer(const TrackSpec &t) : t_(t), rng_{t.seed} {}
    int tick(int step) const { return step * STEP + (t_.swing && step % 2 ? STEP / 3 : 0); }

    std::vector<ScoreBar> bars;

    std::vector<Note> compose(int &end_tick)
    {
        Motif a = motif(RHYTHMS[t_.rhythms[0]]), a2 = motif(RHYTHMS[t_.rhythms[1]]);
        Motif b = motif(RHYTHMS[t_.rhythms[2]]);
        Motif c = motif(BRIDGE_RHYTHMS[t_.bridge_rhythm]), d = motif(RHYTHMS[t_.rhythms[1]]);
        int bar = 0;

        // intro: pad and bass at once, then the drums come in
        for (int i = 0; i < 4; i++, bar++) {
            pad(bar, t_.verse[i]);
            bass(bar, t_.verse[i], t_.verse[i + 1]);
            drums(bar, i < 2 ? 1 : 2, i == 3, false);
            if (i >= 2) arpeggio(bar, t_.verse[i], 2);
            mark(bar, t_.verse[i], "intro", false, i == 3);
        }
        int theme = section(bar, t_.verse, a, a2, b, t_.lead, 105);
        backing(bar, t_.verse, false, "A1");
        bar += 8;
        play_melody(bar, theme, t_.lead, 110);
        harmony(bar, t_.verse, theme, -2, t_.counter, 70);
        backing(bar, t_.verse, true, "A2");
        bar += 8;
        section(bar, t_.bridge, c, d, c, t_.bridge_lead, 100);
        backing(bar, t_.bridge, true, "B1");
        bar += 8;
        play_melody(bar, theme, t_.lead, 115);
        harmony(bar, t_.verse, theme, -7, t_.counter, 80);
        backing(bar, t_.verse, true, "A3");
        bar += 8;
        ending(bar);
        end_tick = tick(bar * BAR + 2 * BAR);
        return notes_;
    }

private:
    const TrackSpec &t_;
    Rng rng_;
    std::vector<Note> notes_;
    // the melody as (step, length, key) per note, kept to replay and harmonise
    struct Played {
        int step, length, key, dir = 0;
    };

    void mark(int bar, Chord c, const char *section, bool closing, bool fill)
    {
        if ((int)bars.size() <= bar) bars.resize(bar + 1);
        bars[bar] = {chord_classes(t_, c), section, closing, fill};
    }
    std::vector<std::vector<Played>> melodies_;

    void add(int channel, int step, int length, int key, int velocity, int dir = 0)
    {
        int from = tick(step), to = tick(step + length);
        notes_.push_back({from, std::max(1, to - from - 2), channel, key, std::clamp(velocity, 1, 127), dir});
    }

    Motif motif(const char *rhythm)
    {
        Motif m{rhythm, {}};
        static const int pool[] = {1, 1, 1, 1, -1, -1, -1, -1, 2, 2, -2, -2, 3, -3, 4, -4, 0, 0};
        int onsets = (int)std::count(rhythm, rhythm + BAR, 'x');
        int drift = 0, prev = 0;
        for (int i = 1; i < onsets; i++) {
            int s = pool[rng_.below(sizeof pool / sizeof pool[0])];
            if (std::abs(prev) >= 3) s = prev > 0 ? -1 - rng_.below(2) : 1 + rng_.below(2);  // fill in after a leap
            if (s == 0 && prev == 0) s = drift > 0 ? -1 : 1;  // no drones
            if (std::abs(drift + s) > 4) s = -s;               // keep the motif from wandering off
            drift += s;
            prev = s;
            m.steps.push_back(s);
        }
        return m;
    }

    // Notes of one bar: the motif from a start key, chord tones on the beats.
    std::vector<Played> realise(const Motif &m, Chord chord, int start)
    {
        std::vector<int> keys = melody_keys(t_, chord, t_.lead_low, t_.lead_high);
        std::vector<int> tones = chord_classes(t_, chord);
        std::vector<Played> out;
        int key = start, n = 0;
        for (int s = 0; s < BAR; s++) {
            if (m.rhythm[s] != 'x') continue;
            int dir = 0;
            if (n > 0) {
                dir = (m.steps[n - 1] > 0) - (m.steps[n - 1] < 0);
                int i = nearest_index(keys, key) + m.steps[n - 1];
                if (i < 0 || i >= (int)keys.size()) i = nearest_index(keys, key) - m.steps[n - 1];
                key = keys[std::clamp(i, 0, (int)keys.size() - 1)];
            }
            if (s % 4 == 0) key = nearest_chord_tone(tones, key, t_.lead_low, t_.lead_high);
            int len = 1;
            while (s + len < BAR && m.rhythm[s + len] == '-') len++;
            out.push_back({s, len, key, dir});
            n++;
        }
        return out;
    }

    // A bar that settles: a short run onto a long chord tone.
    std::vector<Played> cadence(Chord chord, int from, bool final_bar)
    {
        const char *r = CADENCES[rng_.below(3)];
        std::vector<int> keys = melody_keys(t_, chord, t_.lead_low, t_.lead_high);
        std::vector<int> tones = chord_classes(t_, chord);
        int target = nearest_chord_tone(final_bar ? std::vector<int>{tones[0]} : tones, from, t_.lead_low, t_.lead_high);
        int onsets = (int)std::count(r, r + BAR, 'x');
        int ti = nearest_index(keys, target);
        int dir = from > target ? 1 : -1;
        std::vector<Played> out;
        int n = 0;
        for (int s = 0; s < BAR; s++) {
            if (r[s] != 'x') continue;
            int i = std::clamp(ti + dir * (onsets - 1 - n), 0, (int)keys.size() - 1);
            int len = 1;
            while (s + len < BAR && r[s + len] == '-') len++;
            out.push_back({s, len, n + 1 == onsets ? target : keys[i], n ? -dir : 0});
            n++;
        }
        return out;
    }

    // Eight bars: statement, its echo on the next chord, a new turn, a half close;
    // then the same again with a different turn and a full close.
    int section(int bar, const std::array<Chord, 8> &chords, const Motif &m1, const Motif &m2,
                             const Motif &m3, int program, int velocity)
    {
        int mid = (t_.lead_low + t_.lead_high) / 2;
        int key = nearest_chord_tone(chord_classes(t_, chords[0]), mid, t_.lead_low, t_.lead_high);
        std::vector<std::vector<Played>> bars;
        for (int i = 0; i < 8; i++) {
            std::vector<Played> notes;
            if (i == 3 || i == 7) notes = cadence(chords[i], key, i == 7 && chords[i].root == 0);
            else if (i == 0 || i == 4) notes = realise(m1, chords[i], key);
            else if (i == 1 || i == 5) notes = realise(m1, chords[i], bars[i - 1].back().key + (i == 1 ? 2 : -2));
            else notes = realise(i == 2 ? m2 : m3, chords[i], key);
            key = notes.back().key;
            bars.push_back(notes);
        }
        melodies_.push_back({});
        for (int i = 0; i < 8; i++)
            for (Played p : bars[i]) melodies_.back().push_back({(bar + i) * BAR + p.step, p.length, p.key, p.dir});
        play_melody(bar, (int)melodies_.size() - 1, program, velocity);
        return (int)melodies_.size() - 1;
    }

    void play_melody(int bar, int which, int program, int velocity)
    {
        const std::vector<Played> &m = melodies_[which];
        int origin = m.front().step / BAR * BAR;
        program_changes.push_back({bar * BAR, LEAD, program});
        for (Played p : m) {
            int s = p.step - origin + bar * BAR;
            int accent = s % 4 == 0 ? 8 : 0;
            add(LEAD, s, p.length, p.key, rng_.around(velocity - 10 + accent, 4), p.dir);
        }
    }

    // A second voice a given number of scale steps (or semitones, for octaves) under the tune.
    void harmony(int bar, const std::array<Chord, 8> &chords, int which, int shift, int program, int velocity)
    {
        program_changes.push_back({bar * BAR, COUNTER, program});
        const std::vector<Played> &m = melodies_[which];
        int origin = m.front().step / BAR * BAR;
        for (Played p : m) {
            int rel = p.step - origin;
            int key;
            if (shift == -7) {
                key = p.key - 12;
            } else {
                std::vector<int> keys = melody_keys(t_, chords[rel / BAR], t_.lead_low - 12, t_.lead_high);
                key = keys[std::max(0, nearest_index(keys, p.key) + shift)];
            }
            add(COUNTER, bar * BAR + rel, p.length, key, rng_.around(velocity, 4));
        }
    }

    void backing(int bar, const std::array<Chord, 8> &chords, bool arp, const char *label)
    {
        bool bridge = label[0] == 'B';
        for (int i = 0; i < 8; i++) {
            Chord next = i < 7 ? chords[i + 1] : t_.verse[0];
            pad(bar + i, chords[i]);
            bass(bar + i, chords[i], next);
            drums(bar + i, bridge ? 3 : 2, i == 7, i == 0);
            if (arp) arpeggio(bar + i, chords[i], bridge ? 1 : 2);
            mark(bar + i, chords[i], label, i == 3 || i == 7, i == 7);
        }
        bell(bar, chords[0]);
    }

    std::vector<int> last_voicing_;
    void pad(int bar, Chord c)
    {
        // voice-lead: each chord's notes as close as possible to the previous chord's
        std::vector<int> pcs = chord_classes(t_, c), voicing;
        int centre = 62;
        for (size_t i = 0; i < pcs.size(); i++) {
            int want = last_voicing_.empty() ? centre - 5 + 4 * (int)i : last_voicing_[i];
            int best = 0, dist = 99;
            for (int k = 50; k <= 74; k++)
                if (k % 12 == pcs[i] && std::abs(k - want) < dist &&
                    std::find(voicing.begin(), voicing.end(), k) == voicing.end()) {
                    dist = std::abs(k - want);
                    best = k;
                }
            voicing.push_back(best);
        }
        last_voicing_ = voicing;
        for (int k : voicing) add(PAD, bar * BAR, BAR, k, rng_.around(62, 3));
    }

    void bass(int bar, Chord c, Chord next)
    {
        int root = 36 + (t_.tonic + c.root) % 12;
        if (root > 45) root -= 12;
        int fifth = root + (c.q == DIM ? 6 : c.q == AUG ? 8 : 7);
        int third = root + (c.q == MAJ || c.q == AUG ? 4 : c.q == SUS ? 5 : 3);
        int target = 36 + (t_.tonic + next.root) % 12;
        if (target > 45) target -= 12;
        int approach = target + (target > root ? -1 : 1);
        int s0 = bar * BAR;
        switch (t_.bass_style) {
        case BassStyle::OCTAVES:
            for (int s = 0; s < BAR; s += 2) add(BASS, s0 + s, 1, s % 4 ? root + 12 : root, s % 8 ? 92 : 108);
            break;
        case BassStyle::DRIVE:
            for (int s = 0; s < BAR; s += 2) {
                int k = s == 12 ? fifth : s == 14 ? approach : root;
                add(BASS, s0 + s, 2, k, s % 4 ? 90 : 108);
            }
            break;
        case BassStyle::GALLOP:
            for (int s = 0; s < BAR; s += 4) {
                int k = s == 8 ? fifth : s == 12 ? third : root;
                add(BASS, s0 + s, 2, k, 108);
                add(BASS, s0 + s + 2, 1, k, 84);
                add(BASS, s0 + s + 3, 1, s == 12 ? approach : k, 90);
            }
            break;
        case BassStyle::WALK: {
            int walk[4] = {root, third, fifth, approach};
            for (int b = 0; b < 4; b++) add(BASS, s0 + b * 4, 3, walk[b], b ? 92 : 108);
            add(BASS, s0 + 7, 1, root + 12, 80);
            break;
        }
        case BassStyle::PULSE:
            for (int s : {0, 3, 6, 8, 11, 14}) add(BASS, s0 + s, s == 6 || s == 14 ? 2 : 3, s == 14 ? approach : s >= 8 ? fifth : root, s % 8 ? 88 : 106);
            break;
        }
    }

    void arpeggio(int bar, Chord c, int density)
    {
        std::vector<int> pcs = chord_classes(t_, c), keys;
        for (int k = 72; k <= 88; k++)
            if (std::find(pcs.begin(), pcs.end(), k % 12) != pcs.end()) keys.push_back(k);
        static const int shape[] = {0, 1, 2, 3, 4, 3, 2, 1};
        for (int s = 0; s < BAR; s += density) {
            int i = shape[(s / density) % 8] % (int)keys.size();
            add(ARP, bar * BAR + s, 1, keys[i], s % 4 ? 52 : 66);
        }
    }

    void bell(int bar, Chord c)
    {
        add(BELL, bar * BAR, 8, 60 + (t_.tonic + c.root) % 12, 72);
    }

    // level 1: hats and kick only; 2: the full groove; 3: the bridge's lighter groove
    void drums(int bar, int level, bool fill, bool crash)
    {
        struct Kit {
            const char *kick, *snare, *hat, *open;
        };
        static const Kit kits[] = {
            {"x...x...x...x...", "....x.......x...", "x.x.x.x.x.x.x.x.", "..x...x...x...x."},
            {"x.....x.x.....x.", "....x.......x...", "x.x.x.x.x.x.x.x.", "..............x."},
            {"x..x..x.x..x..x.", "....x.......x...", "xxx.xxx.xxx.xxx.", "...x.......x...."},
            {"x.....x...x.....", "....x.......x..x", "x.xxx.xxx.xxx.xx", "......x.......x."},
            {"x.x.......x.x...", "....x..x.x..x...", "xxxxxxxxxxxxxxxx", "..............x."},
        };
        const Kit &k = kits[(int)t_.groove];
        int s0 = bar * BAR;
        if (crash) add(DRUMS, s0, 2, 49, 100);
        for (int s = 0; s < BAR; s++) {
            if (fill && s >= 8) {
                static const int toms[] = {50, 50, 48, 48, 47, 45, 43, 41};
                add(DRUMS, s0 + s, 1, s % 2 && s < 12 ? 38 : toms[s - 8], 80 + (s - 8) * 5);
                if (s == 8) add(DRUMS, s0 + s, 1, 36, 110);
                continue;
            }
            if (level >= 2 && k.kick[s] == 'x') add(DRUMS, s0 + s, 1, 36, s % 4 ? 96 : 112);
            if (level == 1 && s % 8 == 0) add(DRUMS, s0 + s, 1, 36, 100);
            if (level >= 2 && k.snare[s] == 'x') add(DRUMS, s0 + s, 1, s % 4 ? 38 : 40, s % 4 ? 78 : 104);
            int hat = level == 3 ? 51 : 42;
            if (k.hat[s] == 'x') add(DRUMS, s0 + s, 1, hat, rng_.around(s % 4 ? 60 : 78, 5));
            if (level >= 2 && k.open[s] == 'x') add(DRUMS, s0 + s, 1, 46, 72);
            if (level >= 2 && t_.percussion && s % 4 == 2) add(DRUMS, s0 + s, 1, t_.percussion, 58);
        }
    }

    void ending(int bar)
    {
        Chord home{0, MIN};
        mark(bar, home, "end", false, false);
        mark(bar + 1, home, "end", false, false);
        pad(bar, home);
        add(BASS, bar * BAR, BAR, 36 + t_.tonic % 12, 110);
        add(DRUMS, bar * BAR, 2, 49, 110);
        add(DRUMS, bar * BAR, 1, 36, 118);
        add(BELL, bar * BAR, BAR, 60 + t_.tonic, 80);
        int top = nearest_chord_tone({t_.tonic}, (t_.lead_low + t_.lead_high) / 2, t_.lead_low, t_.lead_high);
        program_changes.push_back({bar * BAR, LEAD, t_.lead});
        add(LEAD, bar * BAR, 4, top + 7 - 12 * (top + 7 > t_.lead_high), 100);
        add(LEAD, bar * BAR + 4, 12, top, 104);
        const int fall[] = {12, 7, 3, 0};  // a last broken chord down to the tonic
        for (int i = 0; i < 4; i++) add(ARP, bar * BAR + 2 * i, 2, top + fall[i], 64 - i * 6);
    }

};

// ---- Standard MIDI File writing ----

void var_len(std::vector<uint8_t> &out, uint32_t v)
{
    uint8_t buf[5];
    int n = 0;
    buf[n++] = v & 0x7f;
    while (v >>= 7) buf[n++] = 0x80 | (v & 0x7f);
    while (n) out.push_back(buf[--n]);
}

struct Event {
    int tick, order;  // note-offs sort before note-ons at the same tick
    std::vector<uint8_t> bytes;
};

void put_chunk(std::vector<uint8_t> &file, const char *id, const std::vector<uint8_t> &body)
{
    file.insert(file.end(), id, id + 4);
    uint32_t n = body.size();
    for (int shift = 24; shift >= 0; shift -= 8) file.push_back(uint8_t(n >> shift));
    file.insert(file.end(), body.begin(), body.end());
}

std::vector<uint8_t> track_chunk(std::vector<Event> events, int end_tick)
{
    std::stable_sort(events.begin(), events.end(),
                     [](const Event &a, const Event &b) { return a.tick != b.tick ? a.tick < b.tick : a.order < b.order; });
    std::vector<uint8_t> body;
    int now = 0;
    for (const Event &e : events) {
        var_len(body, e.tick - now);
        now = e.tick;
        body.insert(body.end(), e.bytes.begin(), e.bytes.end());
    }
    var_len(body, std::max(0, end_tick - now));
    body.insert(body.end(), {0xff, 0x2f, 0x00});
    return body;
}

}  // namespace

Score compose_track(int which)
{
    const TrackSpec &t = TRACKS[which];
    Composer composer(t);
    Score score{t.title, t.bpm, PPQ, BAR * STEP, 0, t.lead_low, t.lead_high, "", {}, {}, {}};
    score.notes = composer.compose(score.end_tick);
    score.bars = composer.bars;
    const int programs[] = {t.lead, t.counter, t.bass, t.pad, t.arp, 14};
    for (int ch = 0; ch < 6; ch++) score.programs.push_back({0, ch, programs[ch]});
    for (const auto &pc : composer.program_changes)
        if (pc.step > 0) score.programs.push_back({composer.tick(pc.step), pc.channel, pc.program});
    const char *figures[] = {"octaves", "drive", "gallop", "walk", "pulse"};
    score.figure = std::string(figures[(int)t.bass_style]) + " bass, up-down arpeggio";
    return score;
}

std::vector<uint8_t> midi_file(const Score &score, unsigned mask)
{
    std::vector<uint8_t> file;
    std::vector<uint8_t> header{0, 1, 0, 0, uint8_t(PPQ >> 8), uint8_t(PPQ & 0xff)};
    const int channels[] = {LEAD, COUNTER, BASS, PAD, ARP, BELL, DRUMS};
    header[3] = 1 + sizeof channels / sizeof channels[0];
    put_chunk(file, "MThd", header);

    std::vector<Event> meta;
    uint32_t tempo = 60000000u / score.bpm;
    std::vector<uint8_t> name{0xff, 0x03, uint8_t(score.title.size())};
    name.insert(name.end(), score.title.begin(), score.title.end());
    meta.push_back({0, 0, name});
    meta.push_back({0, 0, {0xff, 0x58, 0x04, 4, 2, 24, 8}});
    meta.push_back({0, 0, {0xff, 0x51, 0x03, uint8_t(tempo >> 16), uint8_t(tempo >> 8), uint8_t(tempo)}});
    put_chunk(file, "MTrk", track_chunk(meta, score.end_tick));

    const int volumes[] = {112, 88, 110, 74, 70, 64, 0, 0, 0, 104};
    const int pans[] = {60, 40, 64, 84, 96, 30, 0, 0, 0, 64};
    for (int ch : channels) {
        std::vector<Event> ev;
        ev.push_back({0, 0, {uint8_t(0xb0 | ch), 7, uint8_t(volumes[ch])}});
        ev.push_back({0, 0, {uint8_t(0xb0 | ch), 10, uint8_t(pans[ch])}});
        for (const ProgramChange &pc : score.programs)
            if (pc.channel == ch) ev.push_back({pc.tick, 1, {uint8_t(0xc0 | ch), uint8_t(pc.program)}});
        for (const Note &n : score.notes) {
            if (n.channel != ch || !(mask >> ch & 1)) continue;
            ev.push_back({n.tick, 2, {uint8_t(0x90 | ch), uint8_t(n.key), uint8_t(n.velocity)}});
            ev.push_back({n.tick + n.length, 0, {uint8_t(0x80 | ch), uint8_t(n.key), 0}});
        }
        put_chunk(file, "MTrk", track_chunk(ev, score.end_tick));
    }
    return file;
}

}  // namespace media
