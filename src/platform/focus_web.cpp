// The focus in a browser: the library's driver pauses the game itself while its page is hidden.
#include "platform/focus.h"

bool in_background() { return false; }

void window_remade() {}
