// The game's one random-number routine.
#pragma once

// base + rand() % span: span counts the possible values.
int rand_from(int base, int span);
