// Whether the game's window has the keyboard focus; one file a system answers it.
#pragma once

// True while another window has the keyboard focus: another program was activated, the desktop
// was switched or the game's window minimised. A system whose library pauses the game by itself
// while in the background answers false.
bool in_background();

// Called after each mode set, which makes the window anew: until the new window has had the
// focus once, its mapping is no loss of focus.
void window_remade();
