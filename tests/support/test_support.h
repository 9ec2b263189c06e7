// Shared helpers for tests that run the game's code on the real library under Xvfb.
#pragma once

#include <allegro.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>

// Runs init_game once per test process; the working directory must hold data.dat.
void start_game();

// Puts the game-wide state back to its start values (lists emptied, buttons and keys up).
void reset_game_state();

// Holds a key from another thread until stop() is called; presses it each time it sees
// the game waiting, so blocking "Hit A" screens are answered as a player would.
class KeyAnswerer {
public:
    explicit KeyAnswerer(int scancode, int hold_ms = 40, int gap_ms = 40);
    ~KeyAnswerer();
    void stop();
    int presses() const { return presses_; }

private:
    std::atomic<bool> running_{true};
    std::atomic<int> presses_{0};
    std::thread thread_;
};

// True when the 16-bit colour c is within tol of (r, g, b) on every channel.
bool colour_near(int c, int r, int g, int b, int tol = 8);

// Number of pixels in the rectangle that differ from colour 0 (black).
int lit_pixels(BITMAP* bmp, int x, int y, int w, int h);

// A temporary folder made the working directory for the life of the object.
class TempWorkingDir {
public:
    TempWorkingDir();
    ~TempWorkingDir();
    const std::string& path() const { return path_; }

private:
    std::string path_;
    std::string previous_;
};
