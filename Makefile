# Front door of the project. `make run` builds and starts the game,
# `make test` builds and runs the whole test suite (under Xvfb when no
# display is present). Each target installs the missing Debian packages first.
JOBS ?= 2
CMAKE_FLAGS ?=

# Run a command on a display: the real one if there is one, else a virtual one.
# -noreset: by default the X server resets whenever its last client leaves,
# and a test connecting during that reset is refused ("no display available"),
# which parallel tests hit now and then.
ifeq ($(DISPLAY),)
ON_DISPLAY = xvfb-run -a -s "-screen 0 1920x1080x24 -noreset"
else
ON_DISPLAY =
endif

.PHONY: all deps build run web serve-web test-web test-web-desktop test test-m32 test-desktop test-asan test-tsan bench fuzz fuzz-ci fuzz-long fuzz-merge deb format clean
.PHONY: windows test-windows test-windows-standin
.PHONY: server serve-world test-server

all: build

deps:
	@scripts/deps.sh

build/CMakeCache.txt:
	cmake -S . -B build $(CMAKE_FLAGS)

build: deps build/CMakeCache.txt
	cmake --build build -j $(JOBS)

run: build
	cd build && ./qostarfold

test: build
	cd build && $(ON_DISPLAY) ctest --output-on-failure -j $(JOBS)

# The committed replays verified by a 32-bit x86 build (-m32, from Debian's
# g++-multilib): the game's simulation and the replay reader alone
# (QO_VERIFY_ONLY), as there is no 32-bit SDL or OpenGL to link.
test-m32:
	cmake -S . -B build-m32 -DQO_VERIFY_ONLY=ON -DCMAKE_CXX_FLAGS=-m32 -DCMAKE_C_FLAGS=-m32
	cmake --build build-m32 -j $(JOBS)
	build-m32/qostarfold-verify tests/replays/*.qoreplay

# The desktop tests on the real-desktop rig (Xorg with several modes,
# openbox, PulseAudio, PipeWire, weston, weston with Xwayland), started for the
# run and stopped by PID.
# DESKTOP_FILTER selects tests; QO_DESKTOP_MUSIC_SECONDS=60 records the
# whole minute of music.
DESKTOP_FILTER ?= *
test-desktop: build
	@set -e; rig=$$(mktemp -d /tmp/qo-rig.XXXXXX); \
	eval "$$(tests/desktop/rig.sh start $$rig)"; \
	status=0; build/test_desktop --gtest_filter='$(DESKTOP_FILTER)' || status=$$?; \
	tests/desktop/rig.sh stop $$rig; exit $$status

test-asan: deps
	cmake -S . -B build-asan -DQO_SANITIZE=address -DCMAKE_BUILD_TYPE=Debug
	cmake --build build-asan -j $(JOBS)
	cd build-asan && ASAN_OPTIONS=detect_leaks=0 UBSAN_OPTIONS=print_stacktrace=1 \
		$(ON_DISPLAY) ctest --output-on-failure -j $(JOBS)

test-tsan: deps
	cmake -S . -B build-tsan -DQO_SANITIZE=thread -DCMAKE_BUILD_TYPE=Debug
	cmake --build build-tsan -j $(JOBS)
	cd build-tsan && LP_NUM_THREADS=0 TSAN_OPTIONS="halt_on_error=1 suppressions=$(CURDIR)/tests/tsan.supp" \
		$(ON_DISPLAY) ctest --output-on-failure -j $(JOBS)

bench: build server
	@cd build && for b in ./bench_*; do [ -x "$$b" ] && $(ON_DISPLAY) "$$b"; done; true
	@/usr/bin/python3 bench/server.py build-server/qostarfold-server

fuzz: deps
	@server/deps.sh
	CC=clang CXX=clang++ cmake -S . -B build-fuzz -DQO_FUZZ=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build build-fuzz -j $(JOBS)

# Fuzzing. Each target writes its seeds (QO_FUZZ_WRITE_SEEDS) and runs from
# them together with its kept corpus (tests/fuzz/corpus/<target>, read only
# here) and its dictionary (tests/fuzz/dict/<target>.dict); what a run finds
# goes to build-fuzz/corpus-<target>. Any finding fails.
#   make fuzz-ci                      every target for FUZZ_SECONDS (60) each
#   make fuzz-long FUZZ_SECONDS=3600  the same, longer
#   make fuzz-merge                   folds the runs' finds into the kept corpora,
#                                     minimised with -merge=1
# FUZZ_TARGETS="fuzz_tga fuzz_wav" limits any of them to those targets.
FUZZ_SECONDS ?= 60
FUZZ_MAXLEN ?= 4096
FUZZ_TARGETS ?=
FUZZ_KEPT = tests/fuzz/corpus
FUZZ_EACH = for f in build-fuzz/fuzz_*; do \
		[ -x "$$f" ] || continue; name=$$(basename $$f); \
		if [ -n "$(strip $(FUZZ_TARGETS))" ]; then \
			case " $(FUZZ_TARGETS) " in *" $$name "*) ;; *) continue ;; esac; fi; \
		kept=$(FUZZ_KEPT)/$$name; corpus=build-fuzz/corpus-$$name; seeds=build-fuzz/seeds-$$name; \
		mkdir -p $$kept $$corpus $$seeds; \
		QO_FUZZ_WRITE_SEEDS=$$seeds $$f -runs=0 >/dev/null 2>&1 || true; \
		dict=; [ -f tests/fuzz/dict/$$name.dict ] && dict=-dict=tests/fuzz/dict/$$name.dict;
FUZZ_RUN = $(FUZZ_EACH) \
		echo "== $$name for $(FUZZ_SECONDS) s"; \
		$$f -max_total_time=$(FUZZ_SECONDS) -max_len=$(FUZZ_MAXLEN) -rss_limit_mb=2048 \
			-print_final_stats=1 $$dict $$corpus $$kept $$seeds; \
	done

fuzz-ci: fuzz
	@set -e; $(FUZZ_RUN)

fuzz-long: FUZZ_SECONDS = 600
fuzz-long: fuzz
	@set -e; $(FUZZ_RUN)

fuzz-merge: fuzz
	@set -e; $(FUZZ_EACH) \
		merged=build-fuzz/merged-$$name; rm -rf $$merged; mkdir -p $$merged; \
		echo "== merging $$name"; \
		$$f -merge=1 -max_len=$(FUZZ_MAXLEN) -rss_limit_mb=2048 $$merged $$kept $$corpus $$seeds \
			>$$merged.log 2>&1 || { tail -20 $$merged.log; exit 1; }; \
		grep "MERGE-OUTER: [0-9]* new files" $$merged.log || true; \
		find $$merged -type f -size +$(FUZZ_MAXLEN)c -delete; \
		rm -rf $$kept; mv $$merged $$kept; \
		echo "$$kept: $$(ls $$kept | wc -l) files, $$(du -sk $$kept | cut -f1) KB"; \
	done

# The examples, built from outside the tree as another project would
# (add_subdirectory and an installed package), one run under Xvfb.
.PHONY: check-examples
check-examples: build
	JOBS=$(JOBS) scripts/check-examples.sh

# The world tables' server (server/): build-server/qostarfold-server, built
# beside the verifier alone (QO_VERIFY_ONLY), so without SDL or OpenGL.
# `make serve-world` runs one on 127.0.0.1:$(WORLD_PORT) with its database
# in build/world.db, serving the browser build's page under /play/ when
# there is one (make web). `make test-server` starts servers of its own on
# free loopback ports (tests/server/test_server.py).
WORLD_PORT ?= 8090
server:
	@server/deps.sh
	@[ -f build-server/CMakeCache.txt ] || cmake -S . -B build-server -DQO_VERIFY_ONLY=ON -DQO_BUILD_SERVER=ON
	cmake --build build-server -j $(JOBS)

serve-world: server
	@mkdir -p build
	build-server/qostarfold-server --listen 127.0.0.1:$(WORLD_PORT) --db build/world.db \
		$$([ -f build-web/site/index.html ] && echo --site build-web/site)

test-server: server
	/usr/bin/python3 tests/server/test_server.py build-server/qostarfold-server

# The Debian package of the game: build/qostarfold_<version>_<arch>.deb.
deb: build
	cd build && cpack -G DEB

format:
	clang-format -i $$(git ls-files '*.cpp' '*.h')

clean:
	rm -rf build build-asan build-tsan build-fuzz build-web build-win build-m32 build-server

# The game in the browser: build-web/site/ (index.html and what it loads)
# and build-web/qostarfold-web.zip. SDL2 for the web is built once from
# Debian's source into build-web/sdl2 (scripts/web-deps.sh).
# WORLD=URL: a page that shows that world server's tables and sends it
# games (QO_WORLD_URL); `make web` without it builds the page without.
# WEB_CMAKE configures any project for the browser (emscripten's toolchain,
# build-time tools run by node).
WORLD ?=
WEB_ENV = . scripts/web-env.sh &&
WEB_CMAKE = cmake -DCMAKE_TOOLCHAIN_FILE=/usr/share/emscripten/cmake/Modules/Platform/Emscripten.cmake \
	-DCMAKE_CROSSCOMPILING_EMULATOR=$$(command -v node) -DCMAKE_BUILD_TYPE=Release \
	-DSDL2_DIR=$(CURDIR)/build-web/sdl2/lib/cmake/SDL2
web:
	@scripts/web-deps.sh build-web
	@$(WEB_ENV) [ -f build-web/CMakeCache.txt ] || $(WEB_CMAKE) -S . -B build-web
	@grep -qxF 'QO_WORLD_URL:STRING=$(WORLD)' build-web/CMakeCache.txt || \
		$(WEB_ENV) cmake '-DQO_WORLD_URL=$(WORLD)' build-web >/dev/null
	@$(WEB_ENV) cmake --build build-web -j $(JOBS)
	@rm -f build-web/qostarfold-web.zip
	@cd build-web/site && zip -q -9 -r ../qostarfold-web.zip index.html qostarfold.js qostarfold.wasm \
		qostarfold.data qostarfold.sw.js qostarfold.webmanifest icon-192.png icon-512.png
	@echo "build-web/site/ and build-web/qostarfold-web.zip: $$(du -k build-web/qostarfold-web.zip | cut -f1) KB"

# The browser tests: the engine's window-free tests compiled to WebAssembly
# under node, then the site in headless Chromium (tests/web/test_web.py,
# screens in build-web/web-screens/), and its page written for a world
# server started by the test. WEB_FILTER picks Chromium tests by name.
WEB_FILTER ?=
test-web: web server
	@$(WEB_ENV) cmake --build build-web -j $(JOBS) --target test_node qostarfold_node
	cd build-web && ctest --output-on-failure
	@$(WEB_ENV) $(WEB_CMAKE) -DCGL_SOURCE_DIR=$(CURDIR) -S examples -B build-web/examples >/dev/null
	@$(WEB_ENV) cmake --build build-web/examples -j $(JOBS)
	/usr/bin/python3 tests/web/test_web.py build-web/site build-web/qostarfold-web.zip \
		--examples build-web/examples --server build-server/qostarfold-server $(if $(WEB_FILTER),-k $(WEB_FILTER))

WEB_PORT ?= 8080
# Key -> sound of the browser build: Chromium with a window on the rig's X
# server, its sound recorded from the rig's PulseAudio (tests/desktop/rig.sh).
test-web-desktop: web
	@set -e; rig=$$(mktemp -d /tmp/qo-rig.XXXXXX); \
	eval "$$(tests/desktop/rig.sh start $$rig)"; \
	status=0; /usr/bin/python3 tests/web/test_web_desktop.py build-web/site build-web/assets || status=$$?; \
	tests/desktop/rig.sh stop $$rig; exit $$status

serve-web:
	@[ -f build-web/site/index.html ] || { echo "Run make web first"; exit 1; }
	@echo "Serving build-web/site/ at http://127.0.0.1:$(WEB_PORT)/ (Ctrl+C stops)"
	@cd build-web/site && python3 -m http.server $(WEB_PORT) --bind 127.0.0.1

# The game for Windows, cross-built with mingw-w64 (cmake/mingw-w64.cmake)
# against SDL2, GLEW and GoogleTest built once from Debian's sources into
# build-win/deps (scripts/win-deps.sh): build-win/qostarfold-windows.zip and
# the installer build-win/qostarfold-setup.exe. The build-time tools and the
# tests run under wine, in prefixes of their own under build-win/wine
# (tests/windows/wine.sh), on an Xvfb of their own when there is no display.
WIN_CMAKE = cmake -DCMAKE_TOOLCHAIN_FILE=$(CURDIR)/cmake/mingw-w64.cmake \
	-DQO_WIN_DEPS=$(CURDIR)/build-win/deps \
	-DCMAKE_CROSSCOMPILING_EMULATOR="$(CURDIR)/tests/windows/wine.sh;run"
WIN_DISPLAY = $(CURDIR)/tests/windows/wine.sh with-display
windows:
	@scripts/win-deps.sh build-win
	@[ -f build-win/Makefile ] || $(WIN_CMAKE) -S . -B build-win
	cmake --build build-win -j $(JOBS)
	@cmake --build build-win --target package_windows

# The cross-built tests under wine through CTest; the zip and the installer
# as a player meets them, the installed game verifying the replays
# (tests/windows/check-packages.sh); then the game itself under wine
# (tests/windows/test_wine.py): played on an Xvfb of its own, its saves,
# and full screen, endings, steps per second and key -> sound on the
# desktop rig (tests/desktop/rig.sh), started for the run and stopped by
# PID. Screens go to build-win/wine-screens/; WINE_FILTER=name picks tests.
# A CTest test that fails is run once more: now and then a wine process of
# a busy machine ends at its start without running a line of the test.
WINE_FILTER ?=
test-windows: windows
	cd build-win && $(WIN_DISPLAY) ctest --output-on-failure -j $(JOBS) --repeat until-pass:2
	tests/windows/check-packages.sh build-win/qostarfold-windows.zip build-win/qostarfold-setup.exe \
		tests/replays/*.qoreplay
	@set -e; rig=$$(mktemp -d /tmp/qo-rig.XXXXXX); \
	eval "$$(tests/desktop/rig.sh start $$rig)"; \
	status=0; /usr/bin/python3 tests/windows/test_wine.py build-win $(if $(WINE_FILTER),-k $(WINE_FILTER)) \
		|| status=$$?; \
	tests/desktop/rig.sh stop $$rig; exit $$status

# The same path with a stand-in for the game (tests/windows/standin): a bare
# SDL OpenGL program and a GoogleTest test built like the game, their
# imports, the test under wine (also as a user named outside ASCII), the
# stand-in packed into the zip and installer and checked, and its start-up
# to the first frame under wine, the baseline for the game's.
test-windows-standin:
	@scripts/win-deps.sh build-win
	@[ -f build-win/standin/Makefile ] || $(WIN_CMAKE) -S tests/windows/standin -B build-win/standin
	cmake --build build-win/standin -j $(JOBS)
	@cmake --build build-win/standin --target package_windows
	x86_64-w64-mingw32-objdump -p build-win/standin/bare_gl.exe | grep "DLL Name"
	cd build-win/standin && $(WIN_DISPLAY) ctest --output-on-failure -j $(JOBS)
	tests/windows/check-packages.sh build-win/standin/qostarfold-windows.zip build-win/standin/qostarfold-setup.exe
	$(WIN_DISPLAY) tests/windows/startup.py build-win/standin/bare_gl.exe
