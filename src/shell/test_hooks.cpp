// The tests' hooks, read from the environment; absent from the game itself.
#include "shell/test_hooks.h"

#ifdef VORN_TEST_HOOKS
#include <cstdio>
#include <cstdlib>

int hooked_first_level() {
    const char* first = getenv("VORN_FIRST_LEVEL");
    return first ? atoi(first) : 0;
}

bool hooked_ghost_place(int& x, int& y) {
    const char* at = getenv("VORN_GHOST_AT");
    return at && sscanf(at, "%d,%d", &x, &y) == 2;
}
#endif
