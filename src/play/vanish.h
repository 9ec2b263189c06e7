// The five-picture animation left where an ordinary ghost was destroyed.
#pragma once

#include <vector>

struct VanishEffect {
    int x;
    int y;
    int frame_timer = 0;
    int frame_delay = 5;
    int frame = 0;  // 0..4 shown; 5 means finished

    VanishEffect(int x_, int y_) : x(x_), y(y_) {}

    // One tick: the picture changes after frame_delay + 1 ticks.
    void advance();
    // Draws the current picture into back_buffer.
    void draw();
};

// Never cleared as a whole: effects outlive levels and games.
extern std::vector<VanishEffect> vanish_effects;

// Advances every effect and removes the finished ones.
void update_vanish_effects();

// Draws every effect into back_buffer, first to last.
void draw_vanish_effects();
