// Reads a composed score the way a listener would judge it: phrase endings, hooks, bridges,
// the voices against each other, and the form.
#include "media.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <map>

namespace media {
namespace {

bool in_chord(const ScoreBar &bar, int key)
{
    return std::find(bar.chord.begin(), bar.chord.end(), key % 12) != bar.chord.end();
}

double percent(int part, int whole) { return whole ? 100.0 * part / whole : 100.0; }

std::vector<ScoreNote> channel_notes(const Score &s, int channel)
{
    std::vector<ScoreNote> out;
    for (const ScoreNote &n : s.notes)
        if (n.channel == channel) out.push_back(n);
    std::stable_sort(out.begin(), out.end(), [](const ScoreNote &a, const ScoreNote &b) { return a.tick < b.tick; });
    return out;
}

// The lead's notes of one statement, as (tick from its start, key).
std::vector<std::pair<int, int>> statement(const Score &s, const std::vector<ScoreNote> &lead, const std::string &name)
{
    int first = -1;
    std::vector<std::pair<int, int>> out;
    for (int b = 0; b < (int)s.bars.size(); b++)
        if (s.bars[b].section == name && first < 0) first = b;
    for (const ScoreNote &n : lead)
        if (n.tick / s.bar_ticks < (int)s.bars.size() && s.bars[n.tick / s.bar_ticks].section == name)
            out.push_back({n.tick - first * s.bar_ticks, n.key});
    return out;
}

}  // namespace

MusicFigures music_figures(const Score &s)
{
    MusicFigures f{};
    const int beat = s.ppq;
    auto bar_of = [&](int tick) { return std::min(tick / s.bar_ticks, (int)s.bars.size() - 1); };
    std::vector<ScoreNote> lead = channel_notes(s, LEAD_CHANNEL), bass = channel_notes(s, BASS_CHANNEL);

    // Phrase endings
    int on_beat = 0, tones = 0, run = 1;
    for (size_t i = 0; i < lead.size(); i++) {
        const ScoreNote &n = lead[i];
        const ScoreBar &bar = s.bars[bar_of(n.tick)];
        bool same = i > 0 && lead[i - 1].key == n.key && bar_of(lead[i - 1].tick) == bar_of(n.tick);
        run = same ? run + 1 : 1;
        if (!bar.closing) continue;
        if (n.tick % beat == 0) {
            on_beat++;
            tones += in_chord(bar, n.key);
        }
        if (run == 3) f.closing_triples++;
        if (same && (n.key <= s.lead_low || n.key >= s.lead_high)) f.edge_pileups++;
    }
    f.closing_chord_tones = percent(tones, on_beat);

    // Themes and bridges, statement by statement
    std::vector<std::string> names;
    for (const ScoreBar &b : s.bars)
        if (names.empty() || names.back() != b.section) names.push_back(b.section);
    int steps = 0, leaps = 0, intervals = 0, follows = 0, directed = 0, repeats = 0, bridge_intervals = 0;
    int pitches = 0, bridge_bars = 0, themes = 0;
    std::vector<std::pair<int, int>> first_theme;
    for (int b = 0; b < (int)s.bars.size(); b++) {
        const std::string &name = s.bars[b].section;
        bool start = b == 0 || s.bars[b - 1].section != name;
        if (start && name[0] == 'A') {
            themes++;
            f.last_theme_bar = b;
            if (themes == 1) first_theme = statement(s, lead, name);
            if (themes == 3) f.third_varies = statement(s, lead, name) != first_theme;
        }
        if (start && name[0] == 'B' && !f.bridge_bar) f.bridge_bar = b;
        if (name[0] == 'B') {
            std::vector<int> seen;
            for (const ScoreNote &n : lead)
                if (bar_of(n.tick) == b && std::find(seen.begin(), seen.end(), n.key) == seen.end()) seen.push_back(n.key);
            pitches += (int)seen.size();
            bridge_bars++;
        }
    }
    for (size_t i = 1; i < lead.size(); i++) {
        const std::string &name = s.bars[bar_of(lead[i].tick)].section;
        if (name != s.bars[bar_of(lead[i - 1].tick)].section) continue;
        int d = lead[i].key - lead[i - 1].key;
        if (name[0] == 'A') {
            intervals++;
            steps += std::abs(d) <= 2;
            leaps += std::abs(d) >= 5;
        } else if (name[0] == 'B') {
            bridge_intervals++;
            repeats += d == 0;
            if (lead[i].dir && lead[i].tick % beat == 0) {
                directed++;
                follows += (d > 0) - (d < 0) == lead[i].dir;
            }
        }
    }
    f.theme_steps = percent(steps, intervals);
    f.theme_leaps = 100 - percent(intervals - leaps, intervals);
    f.bridge_follows = percent(follows, directed);
    f.bridge_repeats = 100 - percent(bridge_intervals - repeats, bridge_intervals);
    f.bridge_pitches = bridge_bars ? double(pitches) / bridge_bars : 0;

    // The hook: bar 5 against bar 1 of the first theme, the same rhythm at most a step away
    std::vector<std::pair<int, int>> bar1, bar5;
    for (auto [t, k] : first_theme) {
        if (t < s.bar_ticks) bar1.push_back({t, k});
        if (t >= 4 * s.bar_ticks && t < 5 * s.bar_ticks) bar5.push_back({t - 4 * s.bar_ticks, k});
    }
    f.hook_returns = !bar1.empty() && bar1.size() == bar5.size();
    int lo = 99, hi = -99;
    for (size_t i = 0; f.hook_returns && i < bar1.size(); i++) {
        int d = bar5[i].second - bar1[i].second;
        lo = std::min(lo, d);
        hi = std::max(hi, d);
        f.hook_returns = bar5[i].first == bar1[i].first && std::abs(d) <= 2 && hi - lo <= 1;
    }

    // The voices against each other
    std::vector<ScoreNote> counter = channel_notes(s, COUNTER_CHANNEL);
    int counter_beats = 0, counter_tones = 0;
    for (const ScoreNote &n : counter)
        if (n.tick % beat == 0) {
            counter_beats++;
            counter_tones += in_chord(s.bars[bar_of(n.tick)], n.key);
        }
    f.second_chord_tones = percent(counter_tones, counter_beats);
    std::map<int, std::vector<const ScoreNote *>> starting;
    for (const ScoreNote &n : s.notes)
        if (n.channel != DRUM_CHANNEL && n.tick % beat == 0) starting[n.tick].push_back(&n);
    f.beats = s.end_tick / beat;
    for (const auto &[tick, fresh] : starting) {
        bool clash = false;
        for (const ScoreNote &held : s.notes)
            if (held.channel != DRUM_CHANNEL && held.tick <= tick && tick < held.tick + held.length)
                for (const ScoreNote *n : fresh) clash |= (n->key - held.key + 120) % 12 == 1 || (n->key - held.key + 120) % 12 == 11;
        f.clash_beats += clash;
        if (clash && (f.clash_bars.empty() || f.clash_bars.back() != tick / s.bar_ticks + 1))
            f.clash_bars.push_back(tick / s.bar_ticks + 1);
    }

    // Bass: a note that leaves its chord at a bar's end should land a step away on the next chord
    for (size_t i = 0; i + 1 < bass.size(); i++) {
        int b = bar_of(bass[i].tick);
        if (bar_of(bass[i + 1].tick) != b + 1 || in_chord(s.bars[b], bass[i].key)) continue;
        f.approaches++;
        f.resolved += std::abs(bass[i + 1].key - bass[i].key) <= 2 && in_chord(s.bars[b + 1], bass[i + 1].key);
    }
    if (!bass.empty()) {
        auto [low, high] = std::minmax_element(bass.begin(), bass.end() - 1,
                                               [](const ScoreNote &a, const ScoreNote &b) { return a.key < b.key; });
        f.ending_bass_in_range = bass.back().key >= low->key && bass.back().key <= high->key;
    }
    int kicks = 0, on_bass = 0;
    for (const ScoreNote &n : s.notes)
        if (n.channel == DRUM_CHANNEL && (n.key == 35 || n.key == 36)) {
            kicks++;
            on_bass += std::any_of(bass.begin(), bass.end(), [&](const ScoreNote &b) { return b.tick == n.tick; });
        }
    f.kick_on_bass = percent(on_bass, kicks);

    // Form, fills and timing
    for (size_t i = 0; i < names.size(); i++) {
        int bars = (int)std::count_if(s.bars.begin(), s.bars.end(), [&](const ScoreBar &b) { return b.section == names[i]; });
        f.form += (i ? " " : "") + (names[i][0] == 'A' || names[i][0] == 'B' ? names[i].substr(0, 1) : names[i]) +
                  std::to_string(bars);
    }
    for (int b = 0; b < (int)s.bars.size(); b++)
        if (s.bars[b].fill) f.fill_bars.push_back(b + 1);
    f.bar_seconds = 60.0 * s.bar_ticks / s.ppq / s.bpm;
    f.seconds = 60.0 * s.end_tick / s.ppq / s.bpm;
    return f;
}

}  // namespace media
