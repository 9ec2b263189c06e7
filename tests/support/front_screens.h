// Helpers for the front-end tests: screen shots, expected texts, answering A, small files.
#pragma once

#include <allegro.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "shell/data_items.h"

inline void sleep_ms(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

// Holds a key long enough for several 60 Hz ticks to see it, then lets go.
inline void press_key(int scancode, int hold_ms = 80, int after_ms = 80) {
    key[scancode] = 1;
    sleep_ms(hold_ms);
    key[scancode] = 0;
    sleep_ms(after_ms);
}

// A memory copy of the screen as it is now; the caller destroys it.
inline BITMAP* grab_screen() {
    BITMAP* shot = create_bitmap(SCREEN_W, SCREEN_H);
    acquire_screen();
    blit(screen, shot, 0, 0, 0, 0, SCREEN_W, SCREEN_H);
    release_screen();
    return shot;
}

struct TextAt {
    int font;  // datafile item
    int x;
    int y;
    std::string text;
    bool centred = false;
};

// Pixels of the whole shot that are lit where the texts alone would not light them, or the
// reverse: 0 means the screen holds exactly these texts at these places and nothing else.
inline int text_mismatches(BITMAP* shot, const std::vector<TextAt>& texts) {
    BITMAP* want = create_bitmap(shot->w, shot->h);
    clear_bitmap(want);
    for (const TextAt& t : texts) {
        if (t.centred)
            textout_centre_ex(want, item_font(t.font), t.text.c_str(), t.x, t.y, makecol(255, 255, 255), -1);
        else
            textout_ex(want, item_font(t.font), t.text.c_str(), t.x, t.y, makecol(255, 255, 255), -1);
    }
    int wrong = 0;
    for (int y = 0; y < shot->h; ++y)
        for (int x = 0; x < shot->w; ++x)
            if ((getpixel(shot, x, y) != 0) != (getpixel(want, x, y) != 0))
                ++wrong;
    destroy_bitmap(want);
    return wrong;
}

// Answers a chain of "Hit A" screens from its own thread, taking a shot of each one first.
// Presses past the expected count are still given, so a routine that waits once too often
// fails its test instead of hanging it.
class ScreenAnswerer {
public:
    explicit ScreenAnswerer(int screens, int settle_ms = 300) {
        thread_ = std::thread([this, screens, settle_ms] {
            for (int i = 0; running_; ++i) {
                sleep_ms(settle_ms);
                if (!running_)
                    break;
                if (i < screens)
                    shots_.push_back(grab_screen());
                else
                    extra_presses_++;
                press_key(KEY_A, 100, 0);
            }
        });
    }
    ~ScreenAnswerer() {
        stop();
        for (BITMAP* b : shots_)
            destroy_bitmap(b);
    }
    void stop() {
        running_ = false;
        if (thread_.joinable())
            thread_.join();
    }
    // Valid after stop().
    const std::vector<BITMAP*>& shots() const { return shots_; }
    int extra_presses() const { return extra_presses_; }

private:
    std::atomic<bool> running_{true};
    std::atomic<int> extra_presses_{0};
    std::vector<BITMAP*> shots_;
    std::thread thread_;
};

inline std::vector<unsigned char> read_bytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<unsigned char>(std::istreambuf_iterator<char>(in), {});
}

inline void write_bytes(const std::string& path, const std::vector<unsigned char>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// One 36-byte file entry: the name's bytes (no terminator added) and a little-endian score.
inline std::vector<unsigned char> entry_bytes(const std::string& name, std::int32_t score) {
    std::vector<unsigned char> e(36, 0);
    for (std::size_t i = 0; i < name.size() && i < 32; ++i)
        e[i] = static_cast<unsigned char>(name[i]);
    const std::uint32_t s = static_cast<std::uint32_t>(score);
    for (int b = 0; b < 4; ++b)
        e[32 + b] = static_cast<unsigned char>(s >> (8 * b));
    return e;
}
