// The fixed-step heartbeat: logic step and music.
#pragma once

// One pass of the endless main loop: a sleep until a tick is due, the pending logic steps, then one frame.
void main_loop_pass();

// One fixed step of play.
void logic_step();

// Starts one of the five music tracks at random, played once.
void play_random_track();
