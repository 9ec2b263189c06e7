// Times a play frame and a logic step with a level's worth of ghosts on the field.
#include <allegro.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "play/ghost.h"
#include "shell/frame.h"
#include "shell/game_state.h"
#include "shell/main_loop.h"
#include "shell/startup.h"

namespace {

// Milliseconds per call of fn, averaged over count calls.
template <typename Fn>
double time_per_call(int count, Fn fn) {
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < count; ++i)
        fn();
    const std::chrono::duration<double, std::milli> spent = std::chrono::steady_clock::now() - start;
    return spent.count() / count;
}

}  // namespace

int main() {
    init_game();
    for (int ghost_count : {1, 20, 100, 1000}) {
        ghosts.clear();
        for (int i = 0; i < ghost_count; ++i) {
            Ghost g;
            g.visible = -1;
            g.alpha = 128;
            g.health = 1 << 30;  // nothing dies, so the field stays full
            ghosts.push_back(g);
        }
        const double frame_ms = time_per_call(200, draw_frame);
        const double step_ms = time_per_call(2000, logic_step);
        printf("%5d ghosts: draw_frame %.3f ms, logic_step %.4f ms\n", ghost_count, frame_ms, step_ms);
    }
    return 0;
}
END_OF_MAIN()
