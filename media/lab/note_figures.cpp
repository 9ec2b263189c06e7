// The rules every track's notes keep: phrases end on a tone of the chord under them, and no note
// starts on a beat a semitone from another.
#include "lab.h"

#include <algorithm>

namespace lab {
namespace {

bool sounding_at(const Note &n, int tick) { return n.tick <= tick && tick < n.tick + n.length; }

}  // namespace

NoteFigures note_figures(const Song &song)
{
    NoteFigures f;
    // a phrase ends with the last lead note of every fourth bar of a section, on a tone of a chord
    // sounding while it does
    for (const Section &s : song.sections)
        for (int bar = s.first_bar + 3; bar < s.first_bar + s.bars; bar += 4) {
            const Note *last = nullptr;
            for (const Note &n : song.notes)
                if (n.channel == LEAD && n.tick / song.bar_ticks == bar) last = &n;
            if (!last) continue;
            bool accompanied = false, chord_tone = false;
            for (const Note &n : song.notes)
                if (n.channel != LEAD && n.channel != DRUMS && n.tick < last->tick + last->length &&
                    last->tick < n.tick + n.length) {
                    accompanied = true;
                    chord_tone |= (n.key - last->key) % 12 == 0;
                }
            if (!accompanied) continue;
            f.phrase_endings++;
            f.endings_on_chord_tones += chord_tone;
            if (!chord_tone) f.off_chord_endings.push_back(bar + 1);
        }
    const int beat = song.ppq;
    for (int tick = 0; tick < song.end_tick; tick += beat) {
        bool fresh = false, clash = false;
        for (const Note &a : song.notes) {
            if (a.tick > tick) break;
            if (a.tick != tick || a.channel == DRUMS) continue;
            fresh = true;
            for (const Note &b : song.notes) {
                if (b.tick > tick) break;
                int apart = (a.key - b.key + 120) % 12;
                clash |= b.channel != DRUMS && sounding_at(b, tick) && (apart == 1 || apart == 11);
            }
        }
        f.beats += fresh;
        f.clash_beats += clash;
        if (clash && (f.clash_bars.empty() || f.clash_bars.back() != tick / song.bar_ticks + 1))
            f.clash_bars.push_back(tick / song.bar_ticks + 1);
    }
    return f;
}

}  // namespace lab
