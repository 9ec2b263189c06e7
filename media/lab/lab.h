// The music lab: the built tracks read back, rendered as the game plays them and measured.
#ifndef VORN_MEDIA_LAB_H
#define VORN_MEDIA_LAB_H

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace lab {

// A track as its MIDI file holds it, with the sections its score names.
struct Note {
    int tick, length, channel, key, velocity;
};
struct Section {
    std::string name;  // the score's part label: "Intro", "Theme A", "Bridge", "Ending"...
    int first_bar, bars;
};
struct Song {
    std::string title;
    int ppq = 480, bar_ticks = 1920, end_tick = 0;
    double quarter_seconds = 0.5;
    int tonic = 0;  // pitch class of the key's tonic
    std::vector<Note> notes;  // by start
    std::map<int, int> programs;  // channel (0-15) to its first program
    std::vector<Section> sections;
    double seconds(int tick) const { return tick * quarter_seconds / ppq; }
    double bar_seconds() const { return seconds(bar_ticks); }
};
// The channels the scores give each role; the rest accompany.
constexpr int LEAD = 0, BASS = 2, DRUMS = 9;

std::vector<uint8_t> read_bytes(const std::string &path);
// The build's list of the tracks in item order: each score and the MIDI file made from it.
std::vector<std::pair<std::string, std::string>> track_list(const std::string &path);
// A track ready to measure: its MIDI file read, its sections from its score.
bool load_track(const std::string &abc, const std::string &midi, Song &song);
// Reads a Standard MIDI File; false if it is not one.
bool read_midi(const std::vector<uint8_t> &file, Song &song);
// The score's part labels ("P:" lines) and the bars of its first voice under each.
std::vector<Section> score_sections(const std::string &abc_path);
// The same file with only the channels in the mask sounding.
std::vector<uint8_t> only_channels(const std::vector<uint8_t> &file, unsigned mask);

// The library's own software synth and mixer, as the game sets them up, run faster than real time
// on a private timer and sound driver: 44.1 kHz stereo. The library must not be installed yet.
bool start_render(const std::string &patches);
void stop_render();
constexpr int RATE = 44100;
// A MIDI file (none: silence) for the given seconds, with the beam held on a ghost when a zap is
// given: the game starts the zap again on the first 60 Hz tick after it ends.
std::vector<int16_t> render(const std::vector<uint8_t> &midi, double seconds,
                            const std::vector<int16_t> *zap = nullptr, int zap_rate = 22050);

// Integrated loudness (LUFS, K-weighted and gated) of stereo samples from..to seconds.
double loudness_lufs(const std::vector<int16_t> &stereo, double from = 0, double to = 1e9);
// The share of the energy between two frequencies, in percent.
double energy_between(const std::vector<int16_t> &stereo, double low_hz, double high_hz);
// Energy between two frequencies in each 100 ms frame.
std::vector<double> band_frames(const std::vector<int16_t> &stereo, double low_hz, double high_hz);
double peak_dbfs(const std::vector<int16_t> &stereo);

// The zap in its bands (400 Hz to 2 kHz) against the music: the median 100 ms frame, in dB.
double zap_over_music(const std::vector<int16_t> &music, const std::vector<int16_t> &zap);

// What the notes show: phrase endings and clashes, the figures the tests hold.
struct NoteFigures {
    int phrase_endings = 0, endings_on_chord_tones = 0;
    std::vector<int> off_chord_endings;  // bars, counted from 1
    int beats = 0, clash_beats = 0;  // beats where a new note is a semitone from one sounding
    std::vector<int> clash_bars;      // counted from 1
};
NoteFigures note_figures(const Song &song);

bool write_wav(const std::string &path, const std::vector<int16_t> &stereo);

}  // namespace lab

#endif
