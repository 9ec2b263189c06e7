// Reads the tracks back from the MIDI files the scores became, and the sections from the scores.
#include "lab.h"

#include <algorithm>
#include <fstream>
#include <functional>
#include <iterator>

namespace lab {
namespace {

// One event of a file: its absolute tick, status byte and where its data bytes start.
using Visit = std::function<void(int tick, uint8_t status, size_t data, size_t size)>;

uint32_t be(const std::vector<uint8_t> &b, size_t at, int bytes)
{
    uint32_t v = 0;
    for (int i = 0; i < bytes; i++) v = v << 8 | b[at + i];
    return v;
}

bool walk(const std::vector<uint8_t> &b, int &ppq, const Visit &visit)
{
    if (b.size() < 14 || !std::equal(b.begin(), b.begin() + 4, "MThd")) return false;
    ppq = (int)be(b, 12, 2);
    for (size_t at = 8 + be(b, 4, 4); at + 8 <= b.size();) {
        size_t end = std::min(b.size(), at + 8 + be(b, at + 4, 4));
        bool track = std::equal(b.begin() + at, b.begin() + at + 4, "MTrk");
        size_t p = at + 8;
        int tick = 0;
        uint8_t running = 0;
        while (track && p < end) {
            uint32_t delta = 0;
            do delta = delta << 7 | (b[p] & 0x7f);
            while (b[p++] & 0x80 && p < end);
            tick += (int)delta;
            uint8_t status = b[p] & 0x80 ? b[p++] : running;
            size_t size = 0;
            if (status == 0xff || status == 0xf0 || status == 0xf7) {
                if (status == 0xff) p++;  // the meta type, handed over as the first data byte
                uint32_t n = 0;
                do n = n << 7 | (b[p] & 0x7f);
                while (b[p++] & 0x80 && p < end);
                size = n;
                visit(tick, status, status == 0xff ? p - 2 : p, size);  // a meta's data starts at its type
            } else {
                running = status;
                size = (status & 0xf0) == 0xc0 || (status & 0xf0) == 0xd0 ? 1 : 2;
                visit(tick, status, p, size);
            }
            p += size;
        }
        at = end;
    }
    return true;
}

}  // namespace

std::vector<uint8_t> read_bytes(const std::string &path)
{
    std::ifstream f(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

std::vector<std::pair<std::string, std::string>> track_list(const std::string &path)
{
    std::ifstream list(path);
    std::vector<std::pair<std::string, std::string>> out;
    for (std::string abc, midi; list >> abc >> midi;) out.push_back({abc, midi});
    return out;
}

bool load_track(const std::string &abc, const std::string &midi, Song &song)
{
    song.sections = score_sections(abc);
    return read_midi(read_bytes(midi), song) && !song.sections.empty();
}

bool read_midi(const std::vector<uint8_t> &b, Song &song)
{
    std::map<int, std::vector<size_t>> sounding;  // notes by channel * 128 + key
    song.notes.clear();
    bool ok = walk(b, song.ppq, [&](int tick, uint8_t status, size_t d, size_t size) {
        song.end_tick = std::max(song.end_tick, tick);
        if (status == 0xff) {
            uint8_t type = b[d];
            const uint8_t *data = &b[d + 2];
            if (type == 0x03 && song.title.empty()) song.title.assign(data, data + size);
            if (type == 0x51 && size == 3) song.quarter_seconds = be(b, d + 2, 3) / 1e6;
            if (type == 0x58 && size >= 2) song.bar_ticks = song.ppq * 4 * data[0] >> data[1];
            if (type == 0x59 && size == 2) song.tonic = ((int8_t)data[0] * 7 + (data[1] ? 9 : 0) + 120) % 12;
            return;
        }
        int channel = status & 0x0f, kind = status & 0xf0;
        if (kind == 0xc0 && !song.programs.count(channel)) song.programs[channel] = b[d];
        if (kind != 0x90 && kind != 0x80) return;
        int key = b[d], velocity = kind == 0x90 ? b[d + 1] : 0;
        // a note sounds until its key's next note-off, or next note-on, on its channel
        for (size_t i : sounding[channel * 128 + key]) song.notes[i].length = tick - song.notes[i].tick;
        sounding[channel * 128 + key].clear();
        if (!velocity) return;
        sounding[channel * 128 + key].push_back(song.notes.size());
        song.notes.push_back({tick, -1, channel, key, velocity});
    });
    // abc2midi spreads a chord's notes and leaves a tick between notes: read them as written,
    // to the nearest thirty-second
    const int grid = std::max(1, song.ppq / 8);
    auto snap = [grid](int tick) { return (tick + grid / 2) / grid * grid; };
    for (Note &n : song.notes) {
        int end = n.length < 0 ? song.end_tick : n.tick + n.length;
        n.tick = snap(n.tick);
        n.length = std::max(grid, snap(end) - n.tick);
    }
    std::stable_sort(song.notes.begin(), song.notes.end(), [](const Note &x, const Note &y) { return x.tick < y.tick; });
    return ok;
}

std::vector<uint8_t> only_channels(const std::vector<uint8_t> &file, unsigned mask)
{
    std::vector<uint8_t> out = file;
    int ppq;
    walk(file, ppq, [&](int, uint8_t status, size_t d, size_t) {
        if ((status & 0xf0) == 0x90 && !(mask >> (status & 0x0f) & 1)) out[d + 1] = 0;
    });
    return out;
}

std::vector<Section> score_sections(const std::string &abc_path)
{
    std::ifstream abc(abc_path);
    std::vector<Section> out;
    std::string line, voice;
    int bars = 0;
    while (std::getline(abc, line)) {
        if (line.rfind("P:", 0) == 0) {
            if (!out.empty()) out.back().bars = bars - out.back().first_bar;
            out.push_back({line.substr(2), bars, 0});
            continue;
        }
        if (line.rfind("V:", 0) == 0) voice = line.substr(2, line.find_first_of(" ]", 2) - 2);
        std::string music = line;
        if (line.rfind("[V:", 0) == 0) {
            voice = line.substr(3, line.find_first_of(" ]", 3) - 3);
            music = line.substr(line.find(']') + 1);
        } else if (line.size() > 1 && line[1] == ':') {
            continue;  // a header or field line
        }
        if (voice != "1") continue;
        music = music.substr(0, music.find('%'));
        std::string quoted;  // strip "..." annotations before counting bar lines
        bool in_quote = false;
        for (char c : music) {
            if (c == '"') in_quote = !in_quote;
            else if (!in_quote) quoted += c;
        }
        for (size_t i = 0; i < quoted.size(); i++)
            if (quoted[i] == '|' && (i + 1 == quoted.size() || (quoted[i + 1] != '|' && quoted[i + 1] != ']'))) bars++;
            else if (quoted[i] == '|') {
                bars++;
                i++;
            }
    }
    if (!out.empty()) out.back().bars = bars - out.back().first_bar;
    return out;
}

}  // namespace lab
