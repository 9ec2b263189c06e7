// The waits every loop and screen is made of: for the next tick, for a moment, for a key; and the
// window's close button, acted on at each of them.
#pragma once

// What quitting does, given by start-up: a wait ends the game through it once the window is closed.
void set_quit_action(void (*quit)());

// Timer callback, 60 times a second: counts a tick for the loops to run.
void timer_tick();

// Ends the game through the quit action, as the menu's Quit does.
void quit_game();

// Notes that the window's close button was pressed; called on the library's input thread.
void close_button_pressed();

// Quits through the quit action once the window's close button was pressed.
void quit_if_closed();

// Sleeps until the timer has counted a tick that has not been run.
void sleep_until_tick();

// One tick's sleep in a wait that runs no ticks, between two looks at the keys.
void rest_a_moment();

// Waits, running no ticks, until the key is down; then until it is up.
void wait_for_key_press(int scancode);
void wait_for_key_release(int scancode);

// For the tests: called on the game's thread at every look of a wait, with the key awaited and
// whether its press or its release is (0 for the wait for a tick), so that a test can play the
// keys in step with the game instead of on a clock.
extern void (*wait_hook)(int scancode, bool press);
