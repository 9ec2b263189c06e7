// The focus on Windows: the library's own pause (SWITCH_PAUSE) stops the game in the background.
#include "platform/focus.h"

bool in_background() { return false; }

void window_remade() {}
