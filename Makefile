# Top-level driver: CMake does the building, this file installs what is missing and runs things.
BUILD ?= build
# The same code built with AddressSanitizer and UndefinedBehaviorSanitizer
ASAN_BUILD ?= $(BUILD)/asan
DEPS := g++ cmake make pkg-config python3 liballegro4-dev allegro4-doc freepats xvfb xauth x11-utils xdotool \
        imagemagick libgtest-dev libbenchmark-dev libfreetype-dev fonts-dejavu-core alsa-utils \
        clang libclang-rt-14-dev
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

# Timings with up to 1000 ghosts and their targets (silent sound, its own X display).
bench: deps build
	cd $(BUILD)/tests && xvfb-run -a -s "-screen 0 640x480x24" ./game-bench --benchmark_repetitions=5

media-preview: build
	@cmake --build $(BUILD) --target media-preview

clean:
	rm -rf $(BUILD)
