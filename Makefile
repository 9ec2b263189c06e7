# Top-level driver: CMake does the building, this file installs what is missing and runs things.
BUILD ?= build
# The same code built with AddressSanitizer and UndefinedBehaviorSanitizer
ASAN_BUILD ?= $(BUILD)/asan
# The libFuzzer targets, built with clang
FUZZ_BUILD ?= $(BUILD)/fuzz
FUZZ_TARGETS := high_scores datapath
FUZZ_SECONDS ?= 60
FUZZ_MAX_LEN ?= 1024
DEPS := g++ cmake make pkg-config python3 liballegro4-dev allegro4-doc freepats xvfb xauth x11-utils xdotool \
        imagemagick libgtest-dev libbenchmark-dev libfreetype-dev fonts-dejavu-core alsa-utils \
        clang libclang-rt-14-dev python3-xlib python3-pil
PLAY_DIR = $${XDG_DATA_HOME:-$$HOME/.local/share}/ghosts-of-vorn

.PHONY: all deps build asan-build play test bench fuzz soak media-preview clean

all: build

# Install only the Debian packages that are missing; a complete machine is left alone.
deps:
	@missing=""; for p in $(DEPS); do \
	  dpkg-query -W -f='$${Status}\n' $$p 2>/dev/null | grep -q 'install ok installed' || missing="$$missing $$p"; \
	done; \
	if [ -n "$$missing" ]; then \
	  sudo=""; [ "$$(id -u)" -eq 0 ] || sudo=sudo; \
	  echo "Installing:$$missing"; \
	  $$sudo apt-get update && DEBIAN_FRONTEND=noninteractive $$sudo apt-get install -y $$missing; \
	fi

$(BUILD)/CMakeCache.txt:
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo

build: $(BUILD)/CMakeCache.txt
	@cmake --build $(BUILD) -j2

$(ASAN_BUILD)/CMakeCache.txt:
	cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVORN_SANITIZE=ON

asan-build: $(ASAN_BUILD)/CMakeCache.txt
	@cmake --build $(ASAN_BUILD) -j2

# The game runs from its own data folder so that the high scores outlive rebuilds.
# "Quit" ends the game with status 1, which is a normal end here.
# Without a sound card the game could not start its sound, so it plays silently instead.
play: deps build
	@dir="$(PLAY_DIR)"; mkdir -p "$$dir"; \
	printf '[data]\npath = %s\n' "$(abspath $(BUILD))/data.dat" > "$$dir/datapath.cfg"; \
	game="$(abspath $(BUILD))/ghosts-of-vorn"; \
	if ! grep -qs '^ *[0-9]' /proc/asound/cards; then \
	  echo "No sound card found: playing without sound."; \
	  mkdir -p "$(BUILD)/silent" && cp --remove-destination "$$game" "$(BUILD)/tests/allegro.cfg" "$(BUILD)/silent/" || exit 1; \
	  game="$(abspath $(BUILD))/silent/ghosts-of-vorn"; \
	fi; \
	cd "$$dir" && "$$game"; st=$$?; \
	if [ $$st -ne 0 ] && [ $$st -ne 1 ]; then echo "ghosts-of-vorn ended with status $$st"; exit $$st; fi

# Everything on the plain build, then the unit tests and the fuzz corpus on the sanitized one.
test: deps build asan-build
	cd $(BUILD) && xvfb-run -a -s "-screen 0 640x480x24" ctest --output-on-failure
	cd $(ASAN_BUILD) && xvfb-run -a -s "-screen 0 640x480x24" ctest --output-on-failure

$(FUZZ_BUILD)/CMakeCache.txt:
	CXX=clang++ cmake -S . -B $(FUZZ_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVORN_FUZZ=ON

# Each fuzz target runs FUZZ_SECONDS from its corpus in tests/corpus/, working in tmpfs when there
# is one. The corpus and what was found are then merged, keeping the inputs that add coverage and
# every hand-named one (seed-*, regression-*). A crash stops here, its input kept in crashes/.
fuzz: deps $(FUZZ_BUILD)/CMakeCache.txt
	@cmake --build $(FUZZ_BUILD) -j2 --target $(addprefix fuzz_,$(FUZZ_TARGETS))
	@work="$(abspath $(FUZZ_BUILD))"; [ -d /dev/shm ] && export TMPDIR=/dev/shm; \
	for t in $(FUZZ_TARGETS); do \
	  fuzzer=$$work/tests/fuzz/fuzz_$$t; corpus=tests/corpus/$$t; log=$$work/fuzz_$$t.log; \
	  found=$$work/found/$$t; merged=$$work/merged/$$t; \
	  rm -rf $$found $$merged $$work/crashes/$$t-* && mkdir -p $$found $$merged $$corpus $$work/crashes || exit 1; \
	  echo "Fuzzing $$t for $(FUZZ_SECONDS) s"; \
	  $$fuzzer -max_total_time=$(FUZZ_SECONDS) -max_len=$(FUZZ_MAX_LEN) -timeout=10 -print_final_stats=1 \
	    -artifact_prefix=$$work/crashes/$$t- $$found $$corpus 2>$$log || { tail -40 $$log; exit 1; }; \
	  grep -E '^stat::(number_of_executed_units|new_units_added)' $$log; \
	  cp $$corpus/*-* $$merged/ 2>/dev/null; \
	  $$fuzzer -merge=1 $$merged $$corpus $$found 2>>$$log || { tail -20 $$log; exit 1; }; \
	  rm -rf $$corpus && mv $$merged $$corpus && echo "$$corpus: $$(ls $$corpus | wc -l) inputs"; \
	done

# Timings with up to 1000 ghosts and their targets (silent sound, its own X display), then the
# real game running: its CPU, frames, logic steps and key taps on each screen, against their targets.
bench: deps build
	cd $(BUILD)/tests && xvfb-run -a -s "-screen 0 640x480x24" ./game-bench --benchmark_repetitions=5
	/usr/bin/python3 -B bench/live_bench.py $(BUILD)

media-preview: build
	@cmake --build $(BUILD) --target media-preview

# Random keys and mouse for SOAK_SECONDS: the sanitized game for crashes, reports and hangs, the
# plain one alongside for its memory. Not part of `make test`: it keeps both cores busy throughout.
SOAK_SECONDS ?= 600
soak: deps build asan-build
	/usr/bin/python3 -B tests/soak/soak.py --seconds $(SOAK_SECONDS) $(BUILD) $(ASAN_BUILD)

clean:
	rm -rf $(BUILD)
