// Timings of the game's own routines on the real datafile, and how they compare with what the
// library needs to draw the same ghosts. Each target is a ratio measured in the same run.
#include <allegro.h>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "play/beam.h"
#include "play/ghost.h"
#include "shell/frame.h"
#include "shell/game_state.h"
#include "shell/main_loop.h"
#include "shell/datapath.h"
#include "shell/startup.h"

namespace {

const int kCounts[] = {1, 20, 100, 1000};

// The same field of ghosts for every benchmark of a count: fixed seed, every ghost shown at its
// own alpha, and health enough that no carrier dies and no level screen waits for a key.
void fill_field(int count) {
    srand(1);
    ghosts.clear();
    for (int i = 0; i < count; ++i) {
        Ghost g;
        g.visible = -1;
        g.alpha = 1 + (i * 97) % 255;
        g.health = 1 << 30;
        ghosts.push_back(g);
    }
    ghosts.front().carries_shard = -1;
}

void BM_LogicStep(benchmark::State& state) {
    fill_field(state.range(0));
    position_mouse(320, 240);
    for (auto _ : state) {
        mouse_b = 1;  // held; a pointer event from the X server would clear it
        logic_step();
    }
    mouse_b = 0;
}

void BM_Frame(benchmark::State& state) {
    fill_field(state.range(0));
    for (auto _ : state) {
        compose_frame();
    }
}

// The library's floor: a cleared buffer and a bare loop over the same ghosts.
void BM_BareLoop(benchmark::State& state) {
    fill_field(state.range(0));
    for (auto _ : state) {
        clear_bitmap(back_buffer);
        for (const Ghost& g : ghosts) {
            set_trans_blender(255, 255, 255, g.alpha);
            draw_trans_sprite(back_buffer, g.sprite, g.x, g.y);
        }
    }
}

// The other floor: one clear and one full copy of a 640x480 buffer.
void BM_ClearCopy(benchmark::State& state) {
    BITMAP* target = create_bitmap(640, 480);
    for (auto _ : state) {
        clear_bitmap(back_buffer);
        blit(back_buffer, target, 0, 0, 0, 0, 640, 480);
    }
    destroy_bitmap(target);
}

// The beam spot over a ghost's solid middle, and over its transparent corner.
void BM_PixelCollide(benchmark::State& state) {
    BITMAP* sprite = ghosts.front().sprite;
    const int mask = bitmap_mask_color(sprite);
    int spot_x = 0, spot_y = 0;
    const bool want_hit = state.range(0) != 0;
    // Find a spot that hits (a solid pixel) or misses inside the bounding box (a clear corner).
    for (int y = 1; y < sprite->h - 2 && !spot_x; ++y)
        for (int x = 1; x < sprite->w - 2; ++x) {
            bool any_solid = false;
            for (int dy = 0; dy < 3; ++dy)
                for (int dx = 0; dx < 3; ++dx)
                    any_solid |= getpixel(sprite, x + dx, y + dy) != mask;
            if (any_solid == want_hit) {
                spot_x = x;
                spot_y = y;
                break;
            }
        }
    const int expected = want_hit ? -1 : 0;
    for (auto _ : state) {
        int hit = pixel_collide(beam_spot, spot_x, spot_y, sprite, 0, 0);
        benchmark::DoNotOptimize(hit);
        if (hit != expected)
            state.SkipWithError("pixel_collide gave the wrong answer");
    }
}

void BM_LoadData(benchmark::State& state) {
    const std::string path = datafile_path("data.dat");
    for (auto _ : state) {
        DATAFILE* data = load_game_data(path.c_str());
        if (!data)
            state.SkipWithError("data.dat did not load");
        unload_datafile(data);
    }
}

// Keeps the fastest repetition of each benchmark, in microseconds, and shows only that one:
// the fastest is the one least disturbed by whatever else the machine was doing. Times are the
// main thread's CPU time, so the library's input and timer threads are not counted.
class FastestReporter : public benchmark::ConsoleReporter {
public:
    std::map<std::string, double> micros;

    void ReportRuns(const std::vector<Run>& runs) override {
        std::vector<Run> shown;
        for (const Run& run : runs)
            if (run.repetitions <= 1 || run.aggregate_name == "min")
                shown.push_back(run);
        ConsoleReporter::ReportRuns(shown);
        for (const Run& run : runs) {
            if (run.run_type != Run::RT_Iteration || run.error_occurred)
                continue;
            const double us = run.GetAdjustedCPUTime() * 1e6 / benchmark::GetTimeUnitMultiplier(run.time_unit);
            const std::string name = run.run_name.str();
            auto found = micros.find(name);
            if (found == micros.end() || us < found->second)
                micros[name] = us;
        }
    }
};

// NaN for a benchmark that did not run, so that any figure made from it is no figure either.
double lookup(const FastestReporter& r, const std::string& name) {
    auto found = r.micros.find(name);
    return found == r.micros.end() ? std::nan("") : found->second;
}

// One target line: the figure, its limit and the verdict.
bool report_target(const char* what, double value, double limit, const char* unit) {
    const bool pass = value <= limit;
    printf("  %-58s %9.3f %-3s (limit %g) %s\n", what, value, unit, limit,
           pass ? "PASS" : std::isnan(value) ? "NOT RUN" : "MISS");
    return pass;
}

}  // namespace

int main(int argc, char** argv) {
    init_game();
    fill_field(1);

    std::vector<benchmark::internal::Benchmark*> registered;
    for (int n : kCounts) {
        registered.push_back(benchmark::RegisterBenchmark("logic_step", BM_LogicStep)->Arg(n));
        registered.push_back(benchmark::RegisterBenchmark("frame", BM_Frame)->Arg(n));
        registered.push_back(benchmark::RegisterBenchmark("bare_loop", BM_BareLoop)->Arg(n));
    }
    registered.push_back(benchmark::RegisterBenchmark("clear_copy", BM_ClearCopy));
    for (benchmark::internal::Benchmark* b : registered)
        b->Unit(benchmark::kMicrosecond);
    registered.push_back(benchmark::RegisterBenchmark("pixel_collide", BM_PixelCollide)->Arg(1)->Arg(0));
    registered.push_back(benchmark::RegisterBenchmark("load_data", BM_LoadData)->Unit(benchmark::kMillisecond));

    for (benchmark::internal::Benchmark* b : registered)
        b->ComputeStatistics("min", [](const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); });

    benchmark::Initialize(&argc, argv);
    FastestReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);

    const double floor_copy = lookup(reporter, "clear_copy");
    printf("\nFrames against the floors (fastest repetition of each):\n");
    for (int n : kCounts) {
        const std::string arg = "/" + std::to_string(n);
        const double frame = lookup(reporter, "frame" + arg), bare = lookup(reporter, "bare_loop" + arg);
        printf("  %4d ghosts: frame %8.1f us = %5.2fx the bare loop (%8.1f us), %6.1fx clear+copy (%.1f us)\n",
               n, frame, frame / bare, bare, frame / floor_copy, floor_copy);
    }

    printf("\nTargets:\n");
    bool all = true;
    all &= report_target("frame, 1000 ghosts, against the bare loop", lookup(reporter, "frame/1000") / lookup(reporter, "bare_loop/1000"), 1.2, "x");
    all &= report_target("frame, 20 ghosts, against the bare loop", lookup(reporter, "frame/20") / lookup(reporter, "bare_loop/20"), 1.5, "x");
    all &= report_target("logic_step, 1000 ghosts, beam test on each", lookup(reporter, "logic_step/1000"), 100, "us");
    all &= report_target("pixel_collide, beam spot on a ghost, hit", lookup(reporter, "pixel_collide/1") * 1000, 100, "ns");
    all &= report_target("pixel_collide, beam spot on a ghost, miss", lookup(reporter, "pixel_collide/0") * 1000, 100, "ns");
    printf("%s\n", all ? "All targets met." : "Some targets missed or not run.");
    ghosts.clear();
    return 0;
}
END_OF_MAIN()
