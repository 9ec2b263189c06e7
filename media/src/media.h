// The media generator's parts: each makes one kind of item from code.
#ifndef VORN_MEDIA_H
#define VORN_MEDIA_H

#include <allegro.h>

#include "shell/data_items.h"

#include <cstdint>
#include <string>
#include <vector>

namespace media {

// Every index up to LAST_ITEM that the game does not read holds a small filler.
constexpr int LAST_ITEM = DATA_ITEM_COUNT - 1;

constexpr int GHOST_SIZE = 48;
constexpr int VANISH_SIZE = 128;

// Pictures: 16-bit memory bitmaps, mask colour around the shape. The caller destroys them.
BITMAP *make_ghost(int which);
BITMAP *make_vanish_frame(int frame);
BITMAP *make_shard();
BITMAP *make_filler(int index);

// The ghost drawn at size x size pixels for the desktop's icon: RGBA rows, transparent around it.
std::vector<uint8_t> make_ghost_icon(int which, int size);

// Renders printable ASCII from a TrueType file into the library's 8-bit font grid.
struct FontStyle {
    std::string ttf_path;
    int pixel_size;
    int max_height;   // cell height limit; glyph parts beyond it are cut
    bool drips;       // ghostly drips hanging from the letters' feet
};
// Returns an empty string on success, else the reason.
std::string write_font_grid(const FontStyle &style, const std::string &bmp_path);

// A track's notes as composed, with what the analysis needs to judge them.
struct ScoreNote {
    int tick, length, channel, key, velocity;
    int dir;  // lead: the direction the motif meant to move into this note (-1, 0, 1)
};
struct ScoreBar {
    std::vector<int> chord;  // pitch classes
    std::string section;     // "intro", a statement ("A1", "A2", "B1" for the bridge...), "end"
    bool closing;            // the last bar of a phrase
    bool fill;               // the drums fill its second half
};
struct ProgramChange {
    int tick, channel, program;
};
struct Score {
    std::string title;
    int bpm, ppq, bar_ticks, end_tick;
    int lead_low, lead_high;
    std::string figure;  // the accompaniment's pattern, by name
    std::vector<int> volumes;  // per channel
    std::vector<ScoreNote> notes;
    std::vector<ScoreBar> bars;
    std::vector<ProgramChange> programs;
};
enum MusicChannel { LEAD_CHANNEL, COUNTER_CHANNEL, BASS_CHANNEL, PAD_CHANNEL, ARP_CHANNEL, BELL_CHANNEL,
                    DRUM_CHANNEL = 9 };
constexpr unsigned ALL_CHANNELS = 0xffff;

// The given track, 0..MUSIC_TRACK_COUNT-1, as composed.
Score compose_track(int which);
// A Standard MIDI File (type 1) of a score, with only the channels in the mask.
std::vector<uint8_t> midi_file(const Score &score, unsigned channels = ALL_CHANNELS);
inline std::vector<uint8_t> make_track(int which) { return midi_file(compose_track(which)); }

// What a score's notes show against the rules its music keeps; percentages are 0..100.
struct MusicFigures {
    double closing_chord_tones;  // on-beat lead notes of closing bars that are chord tones
    int closing_triples;         // closing bars that play one pitch three times in a row
    int edge_pileups;            // closing-bar notes repeated at the edge of the lead's range
    bool hook_returns;           // bar 5 of the first theme restates its bar 1, perhaps a step away
    double theme_steps, theme_leaps;  // theme intervals of 0-2 and of 5 or more semitones
    bool third_varies;           // the third theme is not a copy of the first
    double bridge_follows, bridge_repeats, bridge_pitches;  // on-beat direction kept, repeats, pitches a bar
    double second_chord_tones;   // on-beat notes of the second voice that are chord tones
    int clash_beats, beats;      // beats where a new note is a semitone from one sounding
    std::vector<int> clash_bars;  // counted from 1
    int approaches, resolved;    // bass notes that lead out of their chord, and those that land
    bool ending_bass_in_range;
    double kick_on_bass;
    std::string form;
    std::vector<int> fill_bars;  // counted from 1
    double seconds, bar_seconds;
    int bridge_bar, last_theme_bar;  // where each starts, from 0; 8 bars long
};
MusicFigures music_figures(const Score &score);

// The library's own software synth and mixer, as the game sets them up, run faster than real time
// on a private timer and sound driver: 44.1 kHz stereo. The library must not be installed yet.
bool start_music_render(const std::string &patches);
std::vector<int16_t> render_music(const std::vector<uint8_t> &midi_file, double seconds);
void stop_music_render();
constexpr int RENDER_RATE = 44100;
// Integrated loudness (LUFS, K-weighted and gated) of stereo samples from..to seconds.
double loudness_lufs(const std::vector<int16_t> &stereo, double from = 0, double to = 1e9);
// The share of the energy above the given frequency, in percent.
double energy_above(const std::vector<int16_t> &stereo, double hz);

// The beam's zap as 16-bit mono samples at the given rate.
std::vector<int16_t> make_zap(int rate);
bool write_wav(const std::string &path, const std::vector<int16_t> &samples, int rate);

}  // namespace media

#endif
