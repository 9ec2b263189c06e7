// The music as the game sounds, without a sound card or a clock: the library's DIGMID synth and
// its mixer run on a timer and a sound driver of our own, stepped one mixing buffer at a time.
#include "lab.h"

#include <allegro.h>

#include <allegro/internal/aintern.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <numeric>
#include <pthread.h>
#include <unistd.h>

namespace lab {
namespace {

constexpr int FRAMES = 512;  // per mixing buffer

int no_retrace() { return 0; }
void no_simulate(int) {}
int timer_init() { return 0; }
void timer_exit() {}
TIMER_DRIVER stepped_timer = {AL_ID('S', 'T', 'E', 'P'), "stepped", "stepped", "stepped", timer_init, timer_exit,
                              nullptr, nullptr, nullptr, nullptr, no_retrace, no_simulate, nullptr};

DIGI_DRIVER stepped_digi;
int digi_detect(int input) { return !input; }
int digi_init(int input, int voices)
{
    if (input) return -1;
    stepped_digi.voices = voices;
    return _mixer_init(FRAMES * 2, RATE, TRUE, TRUE, &stepped_digi.voices);
}
void digi_exit(int) { _mixer_exit(); }
int digi_buffer_size() { return FRAMES; }

_DRIVER_INFO timer_list[] = {{AL_ID('S', 'T', 'E', 'P'), &stepped_timer, TRUE}, {0, nullptr, 0}};
_DRIVER_INFO digi_list[] = {{AL_ID('S', 'T', 'E', 'P'), &stepped_digi, TRUE}, {0, nullptr, 0}};
_DRIVER_INFO midi_list[] = {{MIDI_DIGMID, &midi_digmid, TRUE}, {0, nullptr, 0}};
_DRIVER_INFO *timers() { return timer_list; }
_DRIVER_INFO *digis() { return digi_list; }
_DRIVER_INFO *midis() { return midi_list; }

// The library nests its own locks: a timer callback may install another timer.
void *mutex_new()
{
    auto *m = new pthread_mutex_t;
    pthread_mutexattr_t recursive;
    pthread_mutexattr_init(&recursive);
    pthread_mutexattr_settype(&recursive, PTHREAD_MUTEX_RECURSIVE);
    pthread_mutex_init(m, &recursive);
    return m;
}
void mutex_delete(void *m)
{
    pthread_mutex_destroy(static_cast<pthread_mutex_t *>(m));
    delete static_cast<pthread_mutex_t *>(m);
}
void mutex_lock(void *m) { pthread_mutex_lock(static_cast<pthread_mutex_t *>(m)); }
void mutex_unlock(void *m) { pthread_mutex_unlock(static_cast<pthread_mutex_t *>(m)); }

// K-weighting and band filters: one biquad, direct form I.
struct Biquad {
    double b0, b1, b2, a1, a2, x1 = 0, x2 = 0, y1 = 0, y2 = 0;
    double operator()(double x)
    {
        double y = b0 * x + b1 * x1 + b2 * x2 - a1 * y1 - a2 * y2;
        x2 = x1;
        x1 = x;
        y2 = y1;
        y1 = y;
        return y;
    }
};

Biquad high_pass(double hz, double q)
{
    double w = 2 * M_PI * hz / RATE, alpha = std::sin(w) / (2 * q), c = std::cos(w), a0 = 1 + alpha;
    return {(1 + c) / 2 / a0, -(1 + c) / a0, (1 + c) / 2 / a0, -2 * c / a0, (1 - alpha) / a0};
}

Biquad low_pass(double hz, double q)
{
    double w = 2 * M_PI * hz / RATE, alpha = std::sin(w) / (2 * q), c = std::cos(w), a0 = 1 + alpha;
    return {(1 - c) / 2 / a0, (1 - c) / a0, (1 - c) / 2 / a0, -2 * c / a0, (1 - alpha) / a0};
}

Biquad high_shelf(double hz, double q, double gain_db)
{
    double a = std::pow(10, gain_db / 40), w = 2 * M_PI * hz / RATE, c = std::cos(w);
    double alpha = std::sin(w) / (2 * q), k = 2 * std::sqrt(a) * alpha;
    double a0 = (a + 1) - (a - 1) * c + k;
    return {a * ((a + 1) + (a - 1) * c + k) / a0, -2 * a * ((a - 1) + (a + 1) * c) / a0,
            a * ((a + 1) + (a - 1) * c - k) / a0, 2 * ((a - 1) - (a + 1) * c) / a0, ((a + 1) - (a - 1) * c - k) / a0};
}

}  // namespace

bool start_render(const std::string &patches)
{
    stepped_digi = DIGI_DRIVER{AL_ID('S', 'T', 'E', 'P'), "stepped", "stepped", "stepped", 0, 0, DIGI_VOICES, 32,
                               digi_detect, digi_init, digi_exit, nullptr, nullptr, nullptr, nullptr,
                               digi_buffer_size, _mixer_init_voice, _mixer_release_voice, _mixer_start_voice,
                               _mixer_stop_voice, _mixer_loop_voice, _mixer_get_position, _mixer_set_position,
                               _mixer_get_volume, _mixer_set_volume, _mixer_ramp_volume, _mixer_stop_volume_ramp,
                               _mixer_get_frequency, _mixer_set_frequency, _mixer_sweep_frequency,
                               _mixer_stop_frequency_sweep, _mixer_get_pan, _mixer_set_pan, _mixer_sweep_pan,
                               _mixer_stop_pan_sweep, _mixer_set_echo, _mixer_set_tremolo, _mixer_set_vibrato,
                               0, 0, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr};
    system_none.create_mutex = mutex_new;
    system_none.destroy_mutex = mutex_delete;
    system_none.lock_mutex = mutex_lock;
    system_none.unlock_mutex = mutex_unlock;
    system_none.timer_drivers = timers;
    system_none.digi_drivers = digis;
    system_none.midi_drivers = midis;
    if (install_allegro(SYSTEM_NONE, &errno, atexit) != 0 || install_timer() != 0) return false;
    std::string settings = "[sound]\npatches = " + patches + "\n";
    override_config_data(settings.c_str(), (int)settings.size());
    // the game's own mix
    reserve_voices(32, -1);
    set_volume_per_voice(2);
    if (install_sound(DIGI_AUTODETECT, MIDI_DIGMID, nullptr) != 0) return false;
    set_volume(255, 200);
    return true;
}

void stop_render() { allegro_exit(); }

std::vector<int16_t> render(const std::vector<uint8_t> &midi_file, double seconds, const std::vector<int16_t> *zap,
                            int zap_rate)
{
    MIDI *midi = nullptr;
    if (!midi_file.empty()) {
        char path[] = "/tmp/music-render-XXXXXX";
        int fd = mkstemp(path);
        if (fd < 0) return {};
        bool written = write(fd, midi_file.data(), midi_file.size()) == (ssize_t)midi_file.size();
        close(fd);
        midi = written ? load_midi(path) : nullptr;
        unlink(path);
        if (!midi) return {};
    }
    SAMPLE *sample = nullptr;
    int voice = -1;
    if (zap) {
        sample = create_sample(16, FALSE, zap_rate, (int)zap->size());
        auto *to = static_cast<uint16_t *>(sample->data);
        for (size_t i = 0; i < zap->size(); i++) to[i] = uint16_t((*zap)[i] ^ 0x8000);  // the library's unsigned form
        voice = allocate_voice(sample);
    }
    std::vector<int16_t> out;
    std::vector<int16_t> buffer(FRAMES * 2);
    if (midi) play_midi(midi, FALSE);
    long long frames = 0, ticks = 0, logic_steps = -1;
    while (frames < seconds * RATE) {
        // the beam's check runs once a logic step, and starts the zap again once it has ended
        long long step = frames * 60 / RATE;
        if (voice >= 0 && step != logic_steps && voice_get_position(voice) == -1) {
            voice_set_position(voice, 0);
            voice_set_volume(voice, 255);
            voice_start(voice);
        }
        logic_steps = step;
        _mix_some_samples(reinterpret_cast<uintptr_t>(buffer.data()), 0, TRUE);
        out.insert(out.end(), buffer.begin(), buffer.end());
        frames += FRAMES;
        long long due = frames * TIMERS_PER_SECOND / RATE;
        _handle_timer_tick((int)(due - ticks));
        ticks = due;
    }
    if (midi) {
        stop_midi();
        destroy_midi(midi);
    }
    if (sample) {
        deallocate_voice(voice);
        destroy_sample(sample);
    }
    return out;
}

double loudness_lufs(const std::vector<int16_t> &stereo, double from, double to)
{
    size_t first = std::min(stereo.size() / 2, (size_t)std::max(0.0, from * RATE));
    size_t last = std::min(stereo.size() / 2, (size_t)std::max(0.0, to * RATE));
    Biquad shelf[2] = {high_shelf(1681.97, 0.7072, 4.0), high_shelf(1681.97, 0.7072, 4.0)};
    Biquad rumble[2] = {high_pass(38.135, 0.5003), high_pass(38.135, 0.5003)};
    std::vector<double> power;  // per 100 ms
    double sum = 0;
    const size_t hop = RATE / 10;
    for (size_t i = first; i < last; i++) {
        for (int c = 0; c < 2; c++) {
            double y = rumble[c](shelf[c](stereo[2 * i + c] / 32768.0));
            sum += y * y;
        }
        if ((i - first + 1) % hop == 0) {
            power.push_back(sum / hop);
            sum = 0;
        }
    }
    // 400 ms blocks overlapping by three quarters, gated at -70 LUFS and then 10 LU under their mean
    std::vector<double> blocks;
    for (size_t i = 3; i < power.size(); i++) blocks.push_back((power[i] + power[i - 1] + power[i - 2] + power[i - 3]) / 4);
    auto lufs = [](double p) { return -0.691 + 10 * std::log10(std::max(p, 1e-12)); };
    double gate = -70;
    for (int pass = 0; pass < 2; pass++) {
        double total = 0;
        int n = 0;
        for (double p : blocks)
            if (lufs(p) > gate) {
                total += p;
                n++;
            }
        if (!n) return -70;
        if (pass == 1) return lufs(total / n);
        gate = lufs(total / n) - 10;
    }
    return -70;
}

std::vector<double> band_frames(const std::vector<int16_t> &stereo, double low_hz, double high_hz)
{
    // fourth-order Butterworth edges on either side
    Biquad low[2] = {high_pass(low_hz, 0.5412), high_pass(low_hz, 1.3066)};
    Biquad high[2] = {low_pass(high_hz, 0.5412), low_pass(high_hz, 1.3066)};
    std::vector<double> out;
    const size_t hop = RATE / 10;
    double sum = 0;
    for (size_t i = 0; i + 1 < stereo.size(); i += 2) {
        double y = (stereo[i] + stereo[i + 1]) / 65536.0;
        if (low_hz > 0) y = low[1](low[0](y));
        if (high_hz < RATE / 2) y = high[1](high[0](y));
        sum += y * y;
        if ((i / 2 + 1) % hop == 0) {
            out.push_back(sum);
            sum = 0;
        }
    }
    return out;
}

double energy_between(const std::vector<int16_t> &stereo, double low_hz, double high_hz)
{
    std::vector<double> band = band_frames(stereo, low_hz, high_hz), all = band_frames(stereo, 0, RATE);
    double b = std::accumulate(band.begin(), band.end(), 0.0), a = std::accumulate(all.begin(), all.end(), 0.0);
    return a > 0 ? 100 * b / a : 0;
}

double peak_dbfs(const std::vector<int16_t> &stereo)
{
    int peak = 1;
    for (int16_t x : stereo) peak = std::max(peak, std::abs((int)x));
    return 20 * std::log10(peak / 32768.0);
}

double zap_over_music(const std::vector<int16_t> &music, const std::vector<int16_t> &zap)
{
    std::vector<double> m = band_frames(music, 400, 2000), z = band_frames(zap, 400, 2000), ratio;
    for (size_t i = 0; i < std::min(m.size(), z.size()); i++)
        ratio.push_back(10 * std::log10(std::max(z[i], 1e-12) / std::max(m[i], 1e-12)));
    if (ratio.empty()) return -99;
    std::nth_element(ratio.begin(), ratio.begin() + ratio.size() / 2, ratio.end());
    return ratio[ratio.size() / 2];
}

bool write_wav(const std::string &path, const std::vector<int16_t> &samples)
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
    u32(RATE);
    u32(RATE * 4);
    u16(4);
    u16(16);
    std::fwrite("data", 1, 4, f);
    u32(bytes);
    std::fwrite(samples.data(), 2, samples.size(), f);
    return std::fclose(f) == 0;
}

}  // namespace lab
