// The tests' own build (VORN_TEST_HOOKS) reaches states that take long to reach by playing; in
// the game itself these answer "no hook" and the compiler drops what they guard.
#pragma once

#ifdef VORN_TEST_HOOKS
// VORN_FIRST_LEVEL=N: the level "New Game" introduces, or 0.
int hooked_first_level();
// VORN_GHOST_AT=X,Y: where every ghost is put, still, always shown and one hit from death.
bool hooked_ghost_place(int& x, int& y);
#else
inline int hooked_first_level() { return 0; }
inline bool hooked_ghost_place(int&, int&) { return false; }
#endif
