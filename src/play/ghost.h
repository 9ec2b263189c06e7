// The ghost record, the program-wide ghost list and the pass over it.
#pragma once

#include <allegro.h>
#include <cstddef>
#include <vector>

struct Ghost {
    int x;
    int y;
    int speed;
    int visible;        // -1 shown or fading, 0 hidden
    int moving_left;    // 1 or 0
    int moving_up;      // 1 or 0
    int phase_timer;
    int hidden_ticks;
    int shown_ticks;
    int fading;
    int fading_in;
    int fading_out;
    int alpha;
    int fade_step;
    int health;
    int carries_shard;  // -1 on the one ghost that holds the level's shard
    BITMAP* sprite;     // owned by game_data

    // A new ghost with random position, speed, timers, health and picture.
    Ghost();

    // This tick's fade, beam test and movement, in that order.
    void update();
    void update_fade();
    void fade_in_step();
    void fade_out_step();
    void move();
    // The beam's test against this ghost (see beam.cpp).
    void check_beam();
    // Translucent drawing into back_buffer (see ghost_draw.cpp).
    void draw();
};

extern std::vector<Ghost> ghosts;

extern int score_per_kill;
extern int time_per_kill;

// Every ghost's update for one tick, with destruction and the shard sequence.
void update_ghosts();

// Destroys an ordinary ghost: vanish effect, erase, points and time.
void destroy_ghost(std::size_t index);

// Draws every ghost into back_buffer, first to last.
void draw_ghosts();
