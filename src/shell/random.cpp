// Random numbers from the standard generator, seeded once at start-up.
#include "shell/random.h"

#include <cstdlib>

int rand_from(int base, int span) { return base + rand() % span; }
