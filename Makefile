# Top-level driver: CMake does the building, this file installs what is missing and runs things.
BUILD ?= build
# The same code built with AddressSanitizer and UndefinedBehaviorSanitizer
ASAN_BUILD ?= $(BUILD)/asan
# The libFuzzer targets, built with clang
FUZZ_BUILD ?= $(BUILD)/fuzz
FUZZ_TARGETS := high_scores datapath
FUZZ_SECONDS ?= 60
FUZZ_MAX_LEN ?= 1024
# Building and playing need only these; `make test`, `make bench` and `make fuzz` add the rest.
PLAY_DEPS := g++ cmake make pkg-config liballegro4-dev libx11-dev libxrandr-dev freepats libfreetype-dev libpng-dev abcmidi \
             fonts-dejavu-core x11-utils
DEB_DEPS := $(PLAY_DEPS) dpkg-dev
TEST_DEPS := $(DEB_DEPS) python3 python3-xlib python3-pil allegro4-doc xvfb xauth xdotool imagemagick openbox x11-xserver-utils \
             libgtest-dev libgmock-dev python3-pytest libbenchmark-dev alsa-utils clang libclang-rt-14-dev \
             lintian desktop-file-utils appstream man-db abcm2ps ghostscript
# `make windows`: the game cross-built for 64-bit Windows with mingw-w64, beside the native build.
WINDOWS_DEPS := $(PLAY_DEPS) g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix mingw-w64-x86-64-dev \
                icoutils patch
WINDOWS_BUILD = $(BUILD)/windows
# `make web`: the game for the browser with Debian's emscripten, its media from the native build.
WEB_DEPS := $(PLAY_DEPS) emscripten
WEB_CHECK_DEPS := $(WEB_DEPS) chromium chromium-driver python3-selenium python3-pytest python3-pil python3-xlib \
                  xvfb xauth x11-xserver-utils
WEB_OUT = $(BUILD)/web
WEB_PORT ?= 8000
# Where `make install` puts the game; DESTDIR is put in front of every path.
PREFIX ?= /usr/local
# make play runs the game from an install inside the build folder, through the same launcher.
STAGE = $(abspath $(BUILD))/stage
DEB_VERSION = $(shell sed -n 's/^version=//p' $(BUILD)/dist/release 2>/dev/null)
DEB_FILE = $(BUILD)/ghosts-of-vorn_$(DEB_VERSION)_$(shell dpkg --print-architecture).deb

.PHONY: all deps play-deps deb-deps test-deps build test-build asan-build play install uninstall deb \
        deb-check test bench fuzz soak media-preview music-report clean windows-deps windows windows-installer windows-check \
        web-deps web web-play web-check

all: build

# Installs only the Debian packages that are missing; a complete machine is left alone.
define install_missing
	@missing=""; for p in $(1); do \
	  dpkg-query -W -f='$${Status}\n' $$p 2>/dev/null | grep -q 'install ok installed' || missing="$$missing $$p"; \
	done; \
	if [ -n "$$missing" ]; then \
	  sudo=""; [ "$$(id -u)" -eq 0 ] || sudo=sudo; \
	  echo "Installing:$$missing"; \
	  $$sudo apt-get update && DEBIAN_FRONTEND=noninteractive $$sudo apt-get install -y $$missing; \
	fi
endef

play-deps:
	$(call install_missing,$(PLAY_DEPS))
deb-deps:
	$(call install_missing,$(DEB_DEPS))
test-deps deps:
	$(call install_missing,$(TEST_DEPS))
windows-deps:
	$(call install_missing,$(WINDOWS_DEPS))
web-deps:
	$(call install_missing,$(WEB_DEPS))

$(BUILD)/CMakeCache.txt:
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo

build: $(BUILD)/CMakeCache.txt
	@cmake --build $(BUILD) -j2

# The same tree with the tests and the benchmark switched on.
test-build: $(BUILD)/CMakeCache.txt
	@cmake -S . -B $(BUILD) -DVORN_TESTS=ON >/dev/null
	@cmake --build $(BUILD) -j2

$(ASAN_BUILD)/CMakeCache.txt:
	cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVORN_SANITIZE=ON -DVORN_TESTS=ON

asan-build: $(ASAN_BUILD)/CMakeCache.txt
	@cmake --build $(ASAN_BUILD) -j2

# The launcher runs the game in the player's data folder, where the high scores outlive rebuilds,
# and silently when there is no sound card. "Quit" ends the game with status 1, a normal end here.
play: play-deps build
	@cmake --install $(BUILD) --prefix $(STAGE) >/dev/null
	@$(STAGE)/games/ghosts-of-vorn; st=$$?; \
	if [ $$st -ne 0 ] && [ $$st -ne 1 ]; then echo "ghosts-of-vorn ended with status $$st"; exit $$st; fi

install: play-deps build
	DESTDIR="$(DESTDIR)" cmake --install $(BUILD) --prefix $(PREFIX)

uninstall: build
	@DESTDIR="$(DESTDIR)" dist/uninstall.sh $(BUILD) $(PREFIX)

deb: deb-deps build
	@dist/make-deb.sh $(BUILD) $(BUILD)

# Installs the package on this machine, plays it as a player would, and removes it again (root).
deb-check: test-deps deb
	/usr/bin/python3 -B dist/deb_check.py $(DEB_FILE)

# Everything on the plain build, then the unit tests and the fuzz corpus on the sanitized one.
test: test-deps test-build asan-build
	cd $(BUILD) && xvfb-run -a -s "-screen 0 640x480x24" ctest --output-on-failure
	cd $(ASAN_BUILD) && xvfb-run -a -s "-screen 0 640x480x24" ctest --output-on-failure

$(FUZZ_BUILD)/CMakeCache.txt:
	CXX=clang++ cmake -S . -B $(FUZZ_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVORN_FUZZ=ON

# Each fuzz target for FUZZ_SECONDS from its corpus in tests/corpus/, the corpus then merged.
fuzz: test-deps $(FUZZ_BUILD)/CMakeCache.txt
	@cmake --build $(FUZZ_BUILD) -j2 --target $(addprefix fuzz_,$(FUZZ_TARGETS))
	@tools/fuzz.sh $(FUZZ_BUILD) $(FUZZ_SECONDS) $(FUZZ_MAX_LEN) $(FUZZ_TARGETS)

# Timings with up to 1000 ghosts and their targets (silent sound, its own X display), then the
# real game running: its CPU, frames, logic steps and key taps on each screen, against their targets.
bench: test-deps test-build
	cd $(BUILD)/tests && xvfb-run -a -s "-screen 0 640x480x24" ./game-bench --benchmark_repetitions=5
	/usr/bin/python3 -B bench/live_bench.py $(BUILD)

media-preview: test-deps test-build
	@cmake --build $(BUILD) --target media-preview

# Each track's figures from its notes and from a render through the library's synth with the game's
# patch set, and the first 30 s of each as a WAV file in $(BUILD)/music.
music-report: play-deps build
	@cmake --build $(BUILD) --target music-report
	@$(BUILD)/media/music-report $(abspath $(BUILD))/patches/default.cfg $(BUILD)/music $(BUILD)/music/tracks.list

# SOAK_SECONDS of the sanitized game under random keys and mouse, for crashes, reports and hangs;
# alongside, the plain hooked build played by an aiming player from level 18, for its memory and the
# late levels (flash bombs, the win screen). Not part of `make test`: it keeps both cores busy throughout.
SOAK_SECONDS ?= 600
soak: test-deps test-build asan-build
	/usr/bin/python3 -B tests/soak/soak.py --seconds $(SOAK_SECONDS) $(BUILD) $(ASAN_BUILD)

# ---- Windows: cross-built with mingw-w64, checked under Wine ----

# The media come from the native build; Allegro (kept built in $(WINDOWS_BUILD)/allegro) and the game
# are cross-built. Leaves the zip, the installer, the staged folder $(WINDOWS_BUILD)/stage and the
# test build with the hooks in $(WINDOWS_BUILD)/hooked.
windows: windows-deps build
	@dist/windows/build-allegro.sh $(WINDOWS_BUILD)/allegro
	@cmake -S . -B $(WINDOWS_BUILD)/game -DCMAKE_TOOLCHAIN_FILE=$(abspath dist/windows/mingw-w64.cmake) \
	  -DCMAKE_BUILD_TYPE=Release -DVORN_ALLEGRO_DIR=$(abspath $(WINDOWS_BUILD))/allegro/install \
	  -DVORN_ALLEGRO_LICENCE=$(abspath $(WINDOWS_BUILD))/allegro/install/license.txt \
	  -DVORN_MEDIA_DIR=$(abspath $(BUILD)) -DVORN_WINDOWS_OUT=$(abspath $(WINDOWS_BUILD)) >/dev/null
	@cmake --build $(WINDOWS_BUILD)/game -j2
	@$(MAKE) --no-print-directory windows-installer
	@ls -l $(WINDOWS_BUILD)/*.zip $(WIN_SETUP)

# The Windows game's installer, from the staged folder the zip holds and the game's icon (WIN_ICON=
# for the installer's own); `make windows` calls it.
WIN_VERSION ?= $(shell sed -n 's/^project.* VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
WIN_STAGE ?= $(WINDOWS_BUILD)/stage
WIN_ZIP ?= $(WINDOWS_BUILD)/ghosts-of-vorn-$(WIN_VERSION)-windows-x64.zip
WIN_HOOKED ?= $(WINDOWS_BUILD)/hooked/ghosts-of-vorn.exe
WIN_ICON ?= $(WINDOWS_BUILD)/game/dist/windows/ghosts-of-vorn.ico
WIN_SETUP = $(WINDOWS_BUILD)/ghosts-of-vorn-$(WIN_VERSION)-setup.exe

windows-installer:
	$(call install_missing,nsis)
	@dist/windows/make-installer.sh $(WIN_STAGE) $(WIN_VERSION) $(WIN_SETUP) $(WIN_ICON)

# The zip, the test build and the installer under Wine, on a private X server with a fresh prefix.
windows-check: windows
	$(call install_missing,$(WIN_CHECK_DEPS))
	VORN_WIN_ZIP=$(WIN_ZIP) VORN_WIN_HOOKED=$(WIN_HOOKED) VORN_WIN_SETUP=$(WIN_SETUP) VORN_WIN_WORK=$(WINDOWS_BUILD)/check \
	  /usr/bin/python3 -B -m pytest -p no:cacheprovider -v -rP tests/windows

# ---- The browser: the library's core and the game built by emscripten, checked in Chromium ----

# The library's core (kept built in $(BUILD)/web-allegro) and the game compiled by emscripten:
# $(WEB_OUT) holds the page and its zip, $(BUILD)/web-hooked the test page. emcc's minifier needs
# Debian's node modules whichever node comes first on PATH.
web: export NODE_PATH = /usr/share/nodejs
web: web-deps build
	@dist/web/build-allegro.sh $(BUILD)/web-allegro
	@emcmake cmake -S . -B $(BUILD)/web-game -DCMAKE_BUILD_TYPE=Release \
	  -DVORN_ALLEGRO_DIR=$(abspath $(BUILD))/web-allegro/install -DVORN_MEDIA_DIR=$(abspath $(BUILD)) \
	  -DVORN_WEB_OUT=$(abspath $(BUILD)) >/dev/null
	@cmake --build $(BUILD)/web-game -j2
	@ls -l $(WEB_OUT)

web-play: web
	@echo "The Ghosts of Vorn: open http://127.0.0.1:$(WEB_PORT)/ in a browser; Ctrl+C stops the server"
	@cd $(WEB_OUT) && /usr/bin/python3 -m http.server $(WEB_PORT) --bind 127.0.0.1 >/dev/null

# The page and the hooked page in headless Chromium through Selenium, beside the desktop game.
web-check: web test-build
	$(call install_missing,$(WEB_CHECK_DEPS))
	VORN_WEB_PAGE=$(WEB_OUT) VORN_WEB_HOOKED=$(BUILD)/web-hooked VORN_BUILD=$(BUILD) \
	  /usr/bin/python3 -B -m pytest -p no:cacheprovider -v -rP tests/web

clean:
	rm -rf $(BUILD)
