// The fixed-step heartbeat: timer, logic step, music and random numbers.
#pragma once

// Timer callback, 60 times a second.
void timer_tick();

// One pass of the endless main loop: a sleep until a tick is due, the pending logic steps, then one frame.
void main_loop_pass();

// One fixed step of play.
void logic_step();

// Starts one of the five music tracks at random, played once.
void play_random_track();

// Sleeps until the timer has counted a tick that has not been run; a closed window ends the game.
void sleep_until_tick();

// One tick's sleep in a wait that runs no ticks, between two looks at the keys.
void rest_a_moment();

// base + rand() % span: span counts the possible values.
int rand_from(int base, int span);
