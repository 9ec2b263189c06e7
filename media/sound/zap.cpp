// The X-Beam's zap: a fast falling chirp with a buzzing edge, and its WAV file.
#include "media.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace media {

// Its energy stays between 400 Hz and 2 kHz, and at a steady level: held on a ghost it stands about
// 7 dB over the loudest track in those bands, where the music leaves it room.
std::vector<int16_t> make_zap(int rate)
{
    const double length = 0.10;  // seconds; sets the beam's rate of fire
    const int n = (int)(rate * length);
    std::vector<int16_t> out(n);
    double phase = 0, buzz = 0;
    uint32_t noise = 12345;
    for (int i = 0; i < n; i++) {
        double t = i / (double)n;
        double freq = 1500 * std::pow(520.0 / 1500.0, t);  // exponential fall
        phase += freq / rate;
        buzz += freq * 0.5 / rate;
        double saw = 2 * (phase - std::floor(phase)) - 1;
        double square = (buzz - std::floor(buzz)) < 0.5 ? 1 : -1;
        noise = noise * 1664525u + 1013904223u;
        double hiss = ((noise >> 9) / 4194304.0 - 1) * (1 - t) * (1 - t);
        // driven hard into a soft clip: a dense buzz with little more peak than loudness
        double s = std::tanh(2.4 * (0.7 * saw + 0.45 * square * (saw > 0 ? 1 : 0.5) + 0.12 * hiss)) / std::tanh(2.4);
        double attack = std::min(1.0, i / (rate * 0.002));
        double release = std::min(1.0, (n - 1 - i) / (rate * 0.010));
        double env = attack * release * (0.8 + 0.2 * std::exp(-4.0 * t));
        out[i] = (int16_t)std::lround(std::clamp(s * env, -1.0, 1.0) * 19000);
    }
    return out;
}

bool write_wav(const std::string &path, const std::vector<int16_t> &samples, int rate)
{
    FILE *f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    auto u32 = [f](uint32_t v) {
        uint8_t b[4] = {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
        std::fwrite(b, 1, 4, f);
    };
    auto u16 = [f](uint16_t v) {
        uint8_t b[2] = {uint8_t(v), uint8_t(v >> 8)};
        std::fwrite(b, 1, 2, f);
    };
    const uint32_t bytes = samples.size() * 2;
    std::fwrite("RIFF", 1, 4, f);
    u32(36 + bytes);
    std::fwrite("WAVEfmt ", 1, 8, f);
    u32(16);
    u16(1);  // PCM
    u16(1);  // mono
    u32(rate);
    u32(rate * 2);
    u16(2);
    u16(16);
    std::fwrite("data", 1, 4, f);
    u32(bytes);
    for (int16_t s : samples) u16((uint16_t)s);
    return std::fclose(f) == 0;
}

}  // namespace media
