// Five arcade tunes composed by rule, in minor keys: a hook that returns, answered and closed on
// chord tones; a bridge that drops back; bass, drums, pad and a figure of their own for each tune.
// Written as General MIDI.
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
    bool operator==(const Chord &o) const { return root == o.root && q == o.q; }
};

enum class BassStyle { OCTAVES, DRIVE, GALLOP, WALK, PULSE };
enum class Groove { DRIVE, ROCK, GALLOP, SHUFFLE, BREAK };
enum class Figure { UP_DOWN, BROKEN, ALBERTI, STABS, PEDAL };
enum class Second { THIRDS, GUIDE };

struct TrackSpec {
    const char *title;
    int bpm;
    int tonic;  // pitch class
    std::array<Chord, 8> verse, bridge;
    int lead, counter, bass, pad, arp, bridge_lead;
    int lead_low, lead_high;  // within a fifth of the lead's sample roots, where it sounds true
    const char *form;         // intro bars, then statements: A theme, B bridge
    std::array<int, 4> rhythms;  // hook, answer, turn and bridge, from RHYTHMS
    BassStyle bass_style;
    Groove groove;
    Figure figure;
    Second second;
    bool fill_halfway;  // a fill every four bars, not only before a new section
    int percussion;     // extra hand percussion note, 0 for none
    bool swing;
    uint32_t seed;
    std::array<int, 7> volumes;  // lead, second voice, bass, pad, figure, bell, drums; above 127, harder notes
    double trim_db;              // evens out the five's loudness
};

// One bar each: 'x' starts a note, '-' holds it, '.' is silence.
const char *const RHYTHMS[] = {
    "x-x-x-xxx---x-x-", "x-xxx-x-x---x---", "x.xxx.x.x-x-x---", "x-x-x-x-x-xxx---",
    "x-xxx-x-x-xxx---", "x--xx-x-x-x-x-x-", "xx.xx.x.xx.xx.x.", "x---x-x-x-x-x---",
    "x-x.x-x.x-x-xx--", "x-xxx-xxx-x-x---", "x-x-x-x-x-x-x-x-", "x-xx-xx-x-xx-x--",
};
const char *const CADENCES[] = {"x---x---x-------", "x-x-x-x-x-------", "x-x-x---x-------"};
const char *const SECTION_CADENCE_FINAL = "x-x-x-x-x-------";

const TrackSpec TRACKS[MUSIC_TRACK_COUNT] = {
    // A minor: the haunted arcade's own theme, a square lead over voices, straight eights
    {"Haunted Arcade", 140, 9,
     {{{0, MIN}, {8, MAJ}, {5, MIN}, {7, MAJ}, {0, MIN}, {8, MAJ}, {7, MAJ}, {0, MIN}}},
     {{{5, MIN}, {0, MIN}, {8, MAJ}, {7, MAJ}, {5, MIN}, {0, MIN}, {2, DIM}, {7, MAJ}}},
     80, 53, 38, 53, 9, 46, 55, 67, "4 AABA", {{0, 1, 3, 9}}, BassStyle::OCTAVES, Groove::DRIVE,
     Figure::UP_DOWN, Second::THIRDS, false, 54, false, 11u, {{149, 142, 123, 101, 169, 108, 103}}, -0.4},
    // E minor: a harpsichord creeping through the crypt, organ underneath, two bridges
    {"Crypt Crawl", 118, 4,
     {{{0, MIN}, {1, MAJ}, {5, MIN}, {7, MAJ}, {0, MIN}, {1, MAJ}, {7, MAJ}, {0, MIN}}},
     {{{8, MAJ}, {10, MAJ}, {0, MIN}, {7, MAJ}, {8, MAJ}, {10, MAJ}, {5, MIN}, {7, MAJ}}},
     6, 19, 33, 19, 9, 15, 73, 88, "2 ABABA", {{5, 8, 2, 11}}, BassStyle::WALK, Groove::ROCK,
     Figure::BROKEN, Second::GUIDE, true, 56, false, 23u, {{134, 124, 140, 124, 128, 96, 78}}, 0.5},
    // D minor: a bony xylophone chase down the descending line
    {"Moonlight Chase", 170, 2,
     {{{0, MIN}, {10, MAJ}, {8, MAJ}, {7, MAJ}, {0, MIN}, {10, MAJ}, {7, MAJ}, {0, MIN}}},
     {{{5, MIN}, {8, MAJ}, {5, MIN}, {7, MAJ}, {3, MAJ}, {10, MAJ}, {5, MIN}, {7, MAJ}}},
     13, 45, 34, 44, 9, 46, 67, 86, "4 AABAA", {{4, 10, 6, 9}}, BassStyle::GALLOP, Groove::GALLOP,
     Figure::ALBERTI, Second::THIRDS, true, 70, false, 37u, {{121, 134, 121, 111, 117, 100, 65}}, 1.4},
    // C minor: an ocarina swinging through lantern light, slow and easy
    {"Lantern Swing", 100, 0,
     {{{0, MIN}, {5, MIN}, {10, MAJ}, {7, MAJ}, {0, MIN}, {5, MIN}, {7, MAJ}, {0, MIN}}},
     {{{8, MAJ}, {10, MAJ}, {3, MAJ}, {0, MIN}, {8, MAJ}, {10, MAJ}, {7, SUS}, {7, MAJ}}},
     79, 71, 32, 94, 8, 75, 81, 95, "2 ABAA", {{8, 1, 7, 9}}, BassStyle::PULSE, Groove::SHUFFLE,
     Figure::STABS, Second::GUIDE, false, 82, true, 41u, {{104, 113, 95, 66, 126, 95, 186}}, -3.4},
    // B minor: the wraiths' last stand, strings and organ at full tilt
    {"Wraith Rush", 156, 11,
     {{{0, MIN}, {8, MAJ}, {3, MAJ}, {10, MAJ}, {0, MIN}, {8, MAJ}, {7, MAJ}, {0, MIN}}},
     {{{5, MIN}, {3, MAJ}, {10, MAJ}, {7, MAJ}, {5, MIN}, {3, MAJ}, {1, MAJ}, {7, MAJ}}},
     40, 19, 38, 95, 9, 68, 66, 86, "4 AABBA", {{2, 0, 4, 9}}, BassStyle::DRIVE, Groove::BREAK,
     Figure::PEDAL, Second::THIRDS, false, 39, false, 59u, {{167, 113, 153, 96, 93, 88, 108}}, -1.4},
};

// The leading tone comes in only with the chords that hold it.
const int NATURAL_MINOR[] = {0, 2, 3, 5, 7, 8, 10};

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

bool has(const std::vector<int> &pcs, int key) { return std::find(pcs.begin(), pcs.end(), key % 12) != pcs.end(); }

// The melody's notes over a chord: the key's scale, bent wherever the chord needs
// a note the scale lacks, within the given range.
std::vector<int> melody_keys(const TrackSpec &t, Chord c, int lo, int hi)
{
    std::vector<int> chord = chord_classes(t, c);
    bool use[12] = {};
    for (int d : NATURAL_MINOR) use[(t.tonic + d) % 12] = true;
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

// The next key of a list beyond `from` in a direction, or the nearest one for no direction; -1 past the end.
int move(const std::vector<int> &keys, int from, int dir)
{
    if (dir > 0) {
        for (int k : keys)
            if (k > from) return k;
        return -1;
    }
    if (dir < 0) {
        for (auto k = keys.rbegin(); k != keys.rend(); ++k)
            if (*k < from) return *k;
        return -1;
    }
    int best = keys.front();
    for (int k : keys)
        if (std::abs(k - from) < std::abs(best - from)) best = k;
    return best;
}

int bass_key(const TrackSpec &t, int root)
{
    int k = 36 + (t.tonic + root) % 12;
    return k > 45 ? k - 12 : k;
}

// A bar's melody as the motif shapes it: rhythm and direction per note.
struct Motif {
    const char *rhythm;
    std::vector<int> dirs;
    int rise = 0;  // semitones the arch climbs (falls, if negative) before it turns
    bool moving = false;
};

struct Played {
    int step, length, key, dir;
};

struct Bar {
    Chord chord;
    std::string section;
    bool closing = false, fill = false, crash = false;
    int level = 2;  // 1: intro, 2: the full band, 3: the bridge's breakdown
};

class Composer {
public:
    struct ProgramAt {
        int step, channel, program;
    };
    std::vector<ProgramAt> program_changes;
    std::vector<ScoreBar> bars;

    Composer(const TrackSpec &t) : t_(t), rng_{t.seed} {}
    int tick(int step) const { return step * STEP + (t_.swing && step % 2 ? STEP / 3 : 0); }

    std::vector<Note> compose(int &end_tick)
    {
        plan();
        // the answer turns the hook's arch over; the bridge's moves the other way from its own answer
        int dir = rng_.below(2) ? 1 : -1;
        Motif hook = motif(RHYTHMS[t_.rhythms[0]], false, dir), answer = motif(RHYTHMS[t_.rhythms[1]], false, -dir);
        Motif turn = motif(RHYTHMS[t_.rhythms[2]], false, dir), turn2 = motif(RHYTHMS[t_.rhythms[2]], false, -dir);
        Motif bridge = motif(RHYTHMS[t_.rhythms[3]], true, -dir), bridge2 = motif(RHYTHMS[t_.rhythms[3]], true, dir);
        std::vector<Played> theme = statement(t_.verse, hook, answer, turn, 0);
        std::vector<Played> coda = statement(t_.verse, hook, answer, turn2, 1);
        std::vector<Played> middle = statement(t_.bridge, bridge, bridge2, bridge, 0);
        int themes = 0;
        for (int b = 0; b < (int)plan_.size();) {
            const std::string &s = plan_[b].section;
            if (s[0] == 'A') {
                themes++;
                bool last = b + 8 == (int)plan_.size() - 2;
                // the third statement, and any last one, closes differently
                melody(b, themes >= 3 || (last && themes > 1) ? coda : theme, t_.lead, themes == 1 ? 104 : 112);
                if (themes >= 2) second_voice(b, themes >= 3 || last ? coda : theme, themes == 2 ? 70 : 78);
                b += 8;
            } else if (s[0] == 'B') {
                melody(b, middle, t_.bridge_lead, 72);
                b += 8;
            } else {
                b++;
            }
        }
        for (int b = 0; b < (int)plan_.size(); b++) backing(b);
        ending((int)plan_.size() - 2);
        end_tick = tick((int)plan_.size() * BAR);
        for (const Bar &b : plan_) bars.push_back({chord_classes(t_, b.chord), b.section, b.closing, b.fill});
        return notes_;
    }

private:
    const TrackSpec &t_;
    Rng rng_;
    std::vector<Note> notes_;
    std::vector<Bar> plan_;
    std::vector<int> last_voicing_;
    int guide_ = 0;

    void add(int channel, int step, int length, int key, int velocity, int dir = 0)
    {
        int from = tick(step), to = tick(step + length);
        notes_.push_back({from, std::max(1, to - from - 2), channel, key, std::clamp(velocity, 1, 127), dir});
    }

    // Bars, chords and sections from the form: "4 AABA" is four bars of intro, then 8-bar statements.
    void plan()
    {
        int intro = t_.form[0] - '0';
        for (int i = 0; i < intro; i++) {
            Bar b{i + 1 == intro ? Chord{7, MAJ} : t_.verse[i], "intro"};
            b.level = 1;
            b.fill = i == intro - 1;
            plan_.push_back(b);
        }
        int count[2] = {0, 0};
        for (const char *c = t_.form + 2; *c; c++) {
            bool theme = *c == 'A';
            std::string name = std::string(1, *c) + std::to_string(++count[theme ? 0 : 1]);
            for (int i = 0; i < 8; i++) {
                Bar b{(theme ? t_.verse : t_.bridge)[i], name};
                b.closing = i == 3 || i == 7;
                b.level = theme ? 2 : 3;
                b.crash = i == 0 && theme;
                b.fill = theme && (i == 7 || (t_.fill_halfway && i == 3)) && c[1] != '\0';
                plan_.push_back(b);
            }
        }
        for (int i = 0; i < 2; i++) plan_.push_back({{0, MIN}, "end"});
    }

    // An arch: up to a turning point and back down, or the other way; a theme's may hold a note
    // once, a bridge's never stands still.
    Motif motif(const char *rhythm, bool moving, int dir)
    {
        Motif m{rhythm, {0}};
        int onsets = (int)std::count(rhythm, rhythm + BAR, 'x');
        int turn = (onsets - 1) / 2 + rng_.below(2);
        m.rise = dir * turn * 2;
        m.moving = moving;
        int hold = moving || rng_.below(2) ? -1 : 1 + rng_.below(onsets - 1);
        for (int i = 1; i < onsets; i++) m.dirs.push_back(i == hold ? 0 : i <= turn ? dir : -dir);
        return m;
    }

    // Notes on a beat, or held across one, are chord tones; the rest step through the scale.
    // At the edge of the range the line turns back, and no pitch sounds three times running.
    std::vector<Played> realise(const Motif &m, Chord chord, int prev, int before)
    {
        std::vector<int> keys = melody_keys(t_, chord, t_.lead_low, t_.lead_high), tones;
        for (int k : keys)
            if (has(chord_classes(t_, chord), k)) tones.push_back(k);
        std::vector<Played> out;
        int n = 0;
        for (int s = 0; s < BAR; s++) {
            if (m.rhythm[s] != 'x') continue;
            int len = 1;
            while (s + len < BAR && m.rhythm[s + len] == '-') len++;
            bool strong = s % 4 == 0 || s / 4 != (s + len - 1) / 4;
            int meant = m.dirs[n++];
            if (meant == 0 && prev == before) meant = prev > (t_.lead_low + t_.lead_high) / 2 ? -1 : 1;
            const std::vector<int> &pool = strong ? tones : keys;
            int key = move(pool, prev, meant);
            if (key < 0) key = move(pool, prev, -meant);
            if (std::abs(key - prev) > 7) key = move(pool, prev, 0);
            // a bar starts where its whole arch fits (a bridge's always); a theme keeps a common tone rather than leap
            bool cramped = prev + m.rise > t_.lead_high || prev + m.rise < t_.lead_low;
            if (n == 1 && (m.moving || cramped)) key = move(tones, (t_.lead_low + t_.lead_high - m.rise) / 2, 0);
            if (!m.moving && strong && std::abs(key - prev) >= 5 && has(chord_classes(t_, chord), prev) && prev != before)
                key = prev;
            before = prev;
            out.push_back({s, len, key, meant});
            prev = key;
        }
        return out;
    }

    // A closing bar: a run onto a long chord tone near `target`, built back from it: chord tones on
    // the beats, scale steps between, coming from the side the tune is on.
    std::vector<Played> cadence(Chord chord, int prev, int target, const char *rhythm)
    {
        std::vector<int> keys = melody_keys(t_, chord, t_.lead_low, t_.lead_high), tones;
        for (int k : keys)
            if (has(chord_classes(t_, chord), k)) tones.push_back(k);
        target = move(tones, target, 0);
        std::vector<Played> out;
        for (int s = 0; s < BAR; s++) {
            if (rhythm[s] != 'x') continue;
            int len = 1;
            while (s + len < BAR && rhythm[s + len] == '-') len++;
            out.push_back({s, len, 0, 0});
        }
        int side = prev > target ? 1 : -1, next = target;
        out.back().key = target;
        for (int i = (int)out.size() - 2; i >= 0; i--) {
            bool strong = out[i].step % 4 == 0 || out[i].step / 4 != (out[i].step + out[i].length - 1) / 4;
            const std::vector<int> &pool = strong ? tones : keys;
            int key = move(pool, next, side);
            if (key < 0) {
                side = -side;
                key = move(pool, next, side);
            }
            out[i].key = key;
            out[i + 1].dir = -side;
            next = key;
        }
        out[0].dir = (out[0].key > prev) - (out[0].key < prev);
        return out;
    }

    // Eight bars: the hook, its answer, a turn, a half close; the hook again, the answer, another
    // turn, a full close. The closes lead back to where the hook starts.
    std::vector<Played> statement(const std::array<Chord, 8> &chords, const Motif &hook, const Motif &answer,
                                  const Motif &turn, int variant)
    {
        std::vector<int> first;
        for (int k : melody_keys(t_, chords[0], t_.lead_low, t_.lead_high))
            if (has(chord_classes(t_, chords[0]), k)) first.push_back(k);
        int start = move(first, (t_.lead_low + t_.lead_high) / 2, 0);
        std::vector<Played> out, bar;
        int prev = start, before = -1;
        for (int i = 0; i < 8; i++) {
            if (i == 4 && chords[4] == chords[0]) {
                bar = std::vector<Played>(out.begin(), out.begin() + std::count_if(out.begin(), out.end(), [](const Played &p) { return p.step < BAR; }));
            } else if (i == 3 || i == 7) {
                std::vector<int> tonics;
                for (int k = t_.lead_low; k <= t_.lead_high; k++)
                    if (k % 12 == t_.tonic) tonics.push_back(k);
                bool home = i == 7 && chords[7].root == 0;
                int target = home ? move(tonics, prev, 0) : (prev + start) / 2;
                bar = cadence(chords[i], prev, target, i == 7 ? (variant ? CADENCES[2] : SECTION_CADENCE_FINAL) : CADENCES[variant ? 1 : 0]);
            } else {
                bar = realise(i == 0 || i == 4 ? hook : i == 1 || i == 5 ? answer : turn, chords[i], prev, before);
            }
            for (Played p : bar) {
                p.step = p.step % BAR + i * BAR;
                out.push_back(p);
            }
            before = out.size() > 1 ? out[out.size() - 2].key : prev;
            prev = out.back().key;
        }
        return out;
    }

    void melody(int bar, const std::vector<Played> &m, int program, int velocity)
    {
        program_changes.push_back({bar * BAR, LEAD, program});
        for (const Played &p : m) {
            int s = bar * BAR + p.step;
            int accent = s % 4 == 0 ? 8 : 0;
            add(LEAD, s, p.length, p.key, rng_.around(velocity - 10 + accent, 3), p.dir);
        }
    }

    // Thirds: a chord tone under each note the lead sounds on a beat. Guide: the chord's third or
    // fifth in half notes, moving as little as it can.
    void second_voice(int bar, const std::vector<Played> &m, int velocity)
    {
        for (int i = 0; i < 8; i++) {
            const Bar &b = plan_[bar + i];
            std::vector<int> pcs = chord_classes(t_, b.chord), tones;
            for (int k = t_.lead_low - 14; k < t_.lead_high - 3; k++)
                if (has(pcs, k)) tones.push_back(k);
            if (t_.second == Second::GUIDE) {
                std::vector<int> upper;  // the third and fifth, not the bass's root
                for (int k : tones)
                    if (k % 12 != pcs[0] && k < t_.lead_low - 2) upper.push_back(k);
                if (!guide_) guide_ = t_.lead_low - 7;
                for (int half = 0; half < 2; half++) {
                    int up = move(upper, guide_, 1), down = move(upper, guide_, -1);
                    if (!half) guide_ = move(upper, guide_, 0);
                    else if (up > 0 || down > 0) {
                        int to = up < 0 || (down > 0 && guide_ - down < up - guide_) ? down : up;
                        if (std::abs(to - guide_) <= 5) guide_ = to;
                    }
                    add(COUNTER, (bar + i) * BAR + half * 8, 8, guide_, rng_.around(velocity, 3));
                }
                continue;
            }
            std::vector<const Played *> beats;
            for (const Played &p : m)
                if (p.step / BAR == i && p.step % 4 == 0) beats.push_back(&p);
            for (size_t j = 0; j < beats.size(); j++) {
                int end = j + 1 < beats.size() ? beats[j + 1]->step : (i + 1) * BAR;
                int key = move(tones, beats[j]->key - 2, -1);
                if (key < 0) continue;
                add(COUNTER, bar * BAR + beats[j]->step, end - beats[j]->step, key, rng_.around(velocity, 3));
            }
        }
    }

    void backing(int b)
    {
        const Bar &bar = plan_[b];
        if (bar.section == "end") return;
        Chord next = b + 1 < (int)plan_.size() ? plan_[b + 1].chord : plan_[0].chord;
        pad(b, bar.chord, bar.level == 3 ? 44 : 58);
        std::vector<int> onsets = bass(b, bar.chord, next, bar.level);
        drums(b, bar, onsets);
        if (bar.level == 2 && (bar.section != "A1" || t_.figure == Figure::STABS)) figure(b, bar.chord);
        if (bar.crash) add(BELL, b * BAR, 8, 60 + (t_.tonic + bar.chord.root) % 12, 64);
    }

    void pad(int bar, Chord c, int velocity)
    {
        // voice-lead: each chord's notes as close as possible to the previous chord's
        std::vector<int> pcs = chord_classes(t_, c), voicing;
        int centre = std::min(62, t_.lead_low - 2);
        for (size_t i = 0; i < pcs.size(); i++) {
            int want = last_voicing_.empty() ? centre - 7 + 4 * (int)i : last_voicing_[i];
            int best = 0, dist = 99;
            for (int k = centre - 12; k <= centre + 10; k++)
                if (k % 12 == pcs[i] && std::abs(k - want) < dist &&
                    std::find(voicing.begin(), voicing.end(), k) == voicing.end()) {
                    dist = std::abs(k - want);
                    best = k;
                }
            voicing.push_back(best);
        }
        last_voicing_ = voicing;
        for (int k : voicing) add(PAD, bar * BAR, BAR, k, rng_.around(velocity, 3));
    }

    // Returns the steps where a note starts, for the kick to land on. The last eighth leads a step
    // into the next chord's root; the breakdown keeps to long notes.
    std::vector<int> bass(int bar, Chord c, Chord next, int level)
    {
        int root = bass_key(t_, c.root);
        int fifth = root + (c.q == DIM ? 6 : c.q == AUG ? 8 : 7);
        int third = root + (c.q == MAJ || c.q == AUG ? 4 : c.q == SUS ? 5 : 3);
        int target = bass_key(t_, next.root);
        bool lead_in = !(next == c);
        int approach = target + (target > root ? -1 : 1);
        if (target == root) approach = fifth;
        int s0 = bar * BAR;
        std::vector<std::pair<int, int>> line;  // step, key
        if (level == 3) {
            line = {{0, root}, {8, fifth}};
            if (lead_in) line.push_back({14, approach});
        } else {
            switch (t_.bass_style) {
            case BassStyle::OCTAVES:
                for (int s = 0; s < BAR; s += 2) line.push_back({s, s % 4 ? root + 12 : root});
                break;
            case BassStyle::DRIVE:
                for (int s = 0; s < BAR; s += 2) line.push_back({s, s == 12 ? fifth : root});
                break;
            case BassStyle::GALLOP:
                for (int s = 0; s < BAR; s += 4)
                    for (int g : {0, 2, 3}) line.push_back({s + g, s == 8 ? fifth : s == 12 ? third : root});
                break;
            case BassStyle::WALK:
                line = {{0, root}, {4, third}, {6, root + 12}, {8, fifth}, {12, third + 12 > fifth + 7 ? fifth : root + 12}};
                break;
            case BassStyle::PULSE:
                line = {{0, root}, {3, root}, {6, root}, {8, fifth}, {11, fifth}};
                break;
            }
            if (lead_in) {
                line.erase(std::remove_if(line.begin(), line.end(), [](auto &p) { return p.first >= 14; }), line.end());
                line.push_back({14, approach});
            }
        }
        std::vector<int> onsets;
        for (size_t i = 0; i < line.size(); i++) {
            int end = i + 1 < line.size() ? line[i + 1].first : BAR;
            int len = level == 3 ? end - line[i].first : std::min(2, end - line[i].first);
            add(BASS, s0 + line[i].first, len, line[i].second, level == 3 ? 84 : line[i].first % 8 ? 90 : 106);
            onsets.push_back(line[i].first);
        }
        return onsets;
    }

    // Each tune's own accompaniment figure, in chord tones above the pad.
    void figure(int bar, Chord c)
    {
        std::vector<int> pcs = chord_classes(t_, c), keys;
        int low = t_.lead_low < 70 ? 72 : 64;
        for (int k = low; k <= low + 16; k++)
            if (has(pcs, k)) keys.push_back(k);
        int s0 = bar * BAR;
        switch (t_.figure) {
        case Figure::UP_DOWN: {
            static const int shape[] = {0, 1, 2, 3, 4, 3, 2, 1};
            for (int s = 0; s < BAR; s += 2) add(ARP, s0 + s, 1, keys[shape[s / 2] % keys.size()], s % 4 ? 52 : 64);
            break;
        }
        case Figure::BROKEN:
            for (int s = 0; s < BAR; s += 4) add(ARP, s0 + s, 3, keys[(s / 4) % 3], s ? 56 : 66);
            break;
        case Figure::ALBERTI: {
            static const int shape[] = {0, 2, 1, 2};
            for (int s = 0; s < BAR; s += 2) add(ARP, s0 + s, 1, keys[shape[(s / 2) % 4]], s % 4 ? 50 : 60);
            break;
        }
        case Figure::STABS:
            for (int s = 2; s < BAR; s += 4)
                for (int i = 0; i < 3; i++) add(ARP, s0 + s, 1, keys[i + 1], s % 8 == 6 ? 70 : 60);
            break;
        case Figure::PEDAL:
            for (int s = 0; s < BAR; s++) add(ARP, s0 + s, 1, s % 2 ? keys[2] : keys[3], s % 4 ? 44 : 58);
            break;
        }
    }

    // level 1: hats and kick only; 2: the full groove; 3: the bridge's breakdown, a ride and a soft pulse.
    // The kick only ever doubles a bass note.
    void drums(int bar, const Bar &b, const std::vector<int> &bass_onsets)
    {
        struct Kit {
            const char *kick, *snare, *hat, *open;
        };
        static const Kit kits[] = {
            {"x...x...x...x...", "....x.......x...", "xxxxxxxxxxxxxxxx", "..x...x...x...x."},
            {"x.....x.x.....x.", "....x.......x...", "xxxxxxxxxxxxxxxx", "..............x."},
            {"x..x..x.x..x..x.", "....x.......x...", "xxx.xxx.xxx.xxx.", "...x.......x...."},
            {"x.....x...x.....", "....x.......x..x", "x.xxx.xxx.xxx.xx", "......x.......x."},
            {"x.x.......x.x...", "....x..x.x..x...", "xxxxxxxxxxxxxxxx", "..............x."},
        };
        const Kit &k = kits[(int)t_.groove];
        auto bassed = [&](int s) { return std::find(bass_onsets.begin(), bass_onsets.end(), s) != bass_onsets.end(); };
        int s0 = bar * BAR;
        if (b.crash) add(DRUMS, s0, 2, 49, 96);
        for (int s = 0; s < BAR; s++) {
            if (b.fill && s >= 8) {
                static const int toms[] = {50, 50, 48, 48, 47, 45, 43, 41};
                add(DRUMS, s0 + s, 1, s % 2 && s < 12 ? 38 : toms[s - 8], 72 + (s - 8) * 4);
                if (s == 8 && bassed(8)) add(DRUMS, s0 + s, 1, 36, 106);
                continue;
            }
            if (b.level == 3) {
                if (s % 4 == 0) add(DRUMS, s0 + s, 1, 51, rng_.around(s % 8 ? 44 : 54, 3));
                if (s % 4 == 2) add(DRUMS, s0 + s, 1, 42, rng_.around(40, 3));
                continue;
            }
            bool kick = b.level == 2 ? k.kick[s] == 'x' : s % 8 == 0;
            if (kick && bassed(s)) add(DRUMS, s0 + s, 1, 36, s % 4 ? 92 : 108);
            if (b.level == 2 && k.snare[s] == 'x') add(DRUMS, s0 + s, 1, s % 4 ? 38 : 40, s % 4 ? 74 : 100);
            if (k.hat[s] == 'x') add(DRUMS, s0 + s, 1, 42, rng_.around(s % 4 ? 58 : 74, 5));
            if (b.level == 2 && k.open[s] == 'x') add(DRUMS, s0 + s, 1, 46, 68);
            if (b.level == 2 && t_.percussion && s % 4 == 2) add(DRUMS, s0 + s, 1, t_.percussion, 58);
        }
    }

    void ending(int bar)
    {
        Chord home{0, MIN};
        pad(bar, home, 60);
        add(BASS, bar * BAR, BAR, bass_key(t_, 0), 108);
        add(DRUMS, bar * BAR, 2, 49, 104);
        add(DRUMS, bar * BAR, 1, 36, 112);
        add(BELL, bar * BAR, BAR, 60 + t_.tonic, 76);
        std::vector<int> tonics;
        for (int k = t_.lead_low; k <= t_.lead_high; k++)
            if (k % 12 == t_.tonic) tonics.push_back(k);
        int top = tonics.back();
        program_changes.push_back({bar * BAR, LEAD, t_.lead});
        int fifth = top - 5 >= t_.lead_low ? top - 5 : top + 7;
        add(LEAD, bar * BAR, 4, fifth, 96);
        add(LEAD, bar * BAR + 4, 12, top, 100);
        const int fall[] = {12, 7, 3, 0};  // a last broken chord down to the tonic
        int low = t_.lead_low < 70 ? 72 : 64;
        for (int i = 0; i < 4; i++) add(ARP, bar * BAR + 2 * i, 2, low + (t_.tonic + 12 - low % 12) % 12 + fall[i], 60 - i * 6);
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
    Score score{t.title, t.bpm, PPQ, BAR * STEP, 0, t.lead_low, t.lead_high, "", {}, {}, {}, {}};
    score.notes = composer.compose(score.end_tick);
    score.bars = composer.bars;
    const int programs[] = {t.lead, t.counter, t.bass, t.pad, t.arp, 14};
    for (int ch = 0; ch < 6; ch++) score.programs.push_back({0, ch, programs[ch]});
    for (const auto &pc : composer.program_changes)
        if (pc.step > 0) score.programs.push_back({composer.tick(pc.step), pc.channel, pc.program});
    const char *basses[] = {"octave", "driving", "galloping", "walking", "pulsing"};
    const char *figures[] = {"up-down arpeggio", "broken chords", "alberti", "off-beat stabs", "sixteenth pedal"};
    score.figure = std::string(basses[(int)t.bass_style]) + " bass, " + figures[(int)t.figure];
    score.volumes.assign(16, 100);
    double trim = std::pow(10, t.trim_db / 20);
    const int channels[] = {LEAD, COUNTER, BASS, PAD, ARP, BELL, DRUMS};
    for (int i = 0; i < 7; i++) {
        double level = t.volumes[i] * trim;
        score.volumes[channels[i]] = std::min(127, (int)std::lround(level));
        if (level <= 127) continue;
        // past the top of the volume control the notes are played harder
        for (ScoreNote &n : score.notes)
            if (n.channel == channels[i]) n.velocity = std::min(127, (int)std::lround(n.velocity * level / 127));
    }
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

    const int pans[] = {60, 40, 64, 84, 96, 30, 0, 0, 0, 64};
    for (int ch : channels) {
        std::vector<Event> ev;
        ev.push_back({0, 0, {uint8_t(0xb0 | ch), 7, uint8_t(score.volumes[ch])}});
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
