# proj2wav — the two commands a fresh machine needs:
#   make test   installs what is missing, builds, runs the whole suite, builds and
#               checks the Debian package, then runs the suite again under
#               AddressSanitizer + UndefinedBehaviorSanitizer, the threaded
#               conversion tests under ThreadSanitizer, and the take fuzzer for a
#               minute
#   make demo   installs what is missing, builds proj2wav, writes the sample project
#               to build/demo and converts it
#   make package  builds the Debian package build/proj2wav_<version>_amd64.deb
#   make bench  times proj2wav against cat and ffmpeg, its growth with the number
#               of takes, its instructions per frame, and the window with big
#               projects: several minutes and a few GB of projects in
#               build/bench/data; never part of make test
#   make web    builds the browser edition into build-web/site and serves it at
#               http://localhost:8080 until Ctrl-C (make web-site only builds it;
#               make bench-web times it against the command line)
# Build trees live in build/ (release), build-asan/, build-tsan/, build-fuzz/ and
# build-web/ (WebAssembly).

BUILD      ?= build
ASAN_BUILD ?= build-asan
TSAN_BUILD ?= build-tsan
FUZZ_BUILD ?= build-fuzz
WEB_BUILD  ?= build-web
WEB_PORT   ?= 8080
# How long `make test` fuzzes; `make fuzz FUZZ_SECONDS=3600` fuzzes for longer.
FUZZ_SECONDS ?= 60
GENERATOR  := $(shell command -v ninja >/dev/null 2>&1 && echo Ninja || echo "Unix Makefiles")
JOBS       ?= $(shell nproc 2>/dev/null || echo 2)
CTEST      := ctest --output-on-failure -j $(JOBS)
CONFIGURE  := cmake -S . -B $(BUILD) -G "$(GENERATOR)" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
              -DPROJ2WAV_WERROR=ON
DEMO_DIR   := $(BUILD)/demo
DEMO       := $(DEMO_DIR)/Sample Session
PROJ2WAV   := $(BUILD)/src/cli/proj2wav

.PHONY: all deps build test test-release test-package test-asan test-tsan test-fuzz fuzz demo \
        package bench clean web web-site web-deps test-web web-screenshot bench-web

all: build

deps:
	@scripts/install-deps.sh

build: deps
	$(CONFIGURE)
	cmake --build $(BUILD) -j $(JOBS)

test-release: build
	cd $(BUILD) && $(CTEST)

# The Debian package, with the programs, their manual pages, the desktop entry, the
# AppStream metainfo and the icons; a package of an older version is removed first.
package: build
	rm -f $(BUILD)/proj2wav_*.deb
	cmake --build $(BUILD) --target package

test-package: package
	packaging/check-package.sh $(BUILD)

test-asan: deps
	cmake -S . -B $(ASAN_BUILD) -G "$(GENERATOR)" -DCMAKE_BUILD_TYPE=Debug -DPROJ2WAV_WERROR=ON \
	      -DPROJ2WAV_SANITIZE=address,undefined
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	cd $(ASAN_BUILD) && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
	    $(CTEST) -LE large

# The threads of a conversion (the run, its block writer, the command line's
# progress and signals): progress, stop requests and the end of a run, under
# ThreadSanitizer.
test-tsan: deps
	cmake -S . -B $(TSAN_BUILD) -G "$(GENERATOR)" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	      -DPROJ2WAV_WERROR=ON -DPROJ2WAV_SANITIZE=thread
	cmake --build $(TSAN_BUILD) -j $(JOBS) --target engine_tests cli_tests proj2wav
	cd $(TSAN_BUILD) && TSAN_OPTIONS=halt_on_error=1 $(CTEST) -L 'engine|cli' -LE large

# The take fuzzer (clang's libFuzzer with ASan + UBSan): first every kept
# regression input, then new inputs grown from the seed corpus for FUZZ_SECONDS.
fuzz-build: deps
	cmake -S . -B $(FUZZ_BUILD) -G "$(GENERATOR)" -DCMAKE_CXX_COMPILER=clang++ \
	      -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPROJ2WAV_TESTS=OFF -DPROJ2WAV_FUZZ=ON \
	      -DPROJ2WAV_SANITIZE=address,undefined -DCMAKE_CXX_FLAGS=-fsanitize=fuzzer-no-link
	cmake --build $(FUZZ_BUILD) -j $(JOBS) --target take_fuzzer

fuzz test-fuzz: fuzz-build
	$(FUZZ_BUILD)/fuzz/take_fuzzer fuzz/regressions/*
	mkdir -p $(FUZZ_BUILD)/corpus $(FUZZ_BUILD)/findings
	$(FUZZ_BUILD)/fuzz/take_fuzzer -max_total_time=$(FUZZ_SECONDS) -print_final_stats=1 \
	    -artifact_prefix=$(FUZZ_BUILD)/findings/ $(FUZZ_BUILD)/corpus fuzz/corpus

test: test-release test-package test-web test-asan test-tsan test-fuzz

# The sample project: takes with punch-ins, a recording split over two files, a
# mono take and gaps; shown by `info`, then rendered as one 24-bit file.
demo: deps
	$(CONFIGURE)
	cmake --build $(BUILD) -j $(JOBS) --target proj2wav make-sample-project
	rm -rf "$(DEMO)"
	$(BUILD)/tools/make-sample-project "$(DEMO)"
	$(PROJ2WAV) info "$(DEMO)"
	$(PROJ2WAV) convert "$(DEMO)" -o "$(DEMO).wav" --bits 24 --force
	@echo
	@echo "The output: $(CURDIR)/$(DEMO).wav"
	@echo "  inspect it:  soxi \"$(DEMO).wav\""
	@echo "  listen:      play \"$(DEMO).wav\"   (sox, on a machine with sound)"

# The benchmarks (bench/README.md): they print figures and ratios, and pass or
# fail nothing.
bench: deps
	$(CONFIGURE)
	cmake --build $(BUILD) -j $(JOBS) --target proj2wav make-bench-project window-bench
	BUILD_DIR="$(abspath $(BUILD))" bench/throughput.sh
	BUILD_DIR="$(abspath $(BUILD))" bench/scale.sh
	BUILD_DIR="$(abspath $(BUILD))" bench/batch.sh
	BUILD_DIR="$(abspath $(BUILD))" bench/callgrind.sh
	BUILD_DIR="$(abspath $(BUILD))" bench/window.sh

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(TSAN_BUILD) $(FUZZ_BUILD) $(WEB_BUILD)

# The browser edition: the engine built by Debian's Emscripten into WebAssembly,
# with the page, as static files in build-web/site. (Emscripten's optimiser finds
# its JavaScript parser among Debian's Node.js modules.)
EMSCRIPTEN_ENV := NODE_PATH=/usr/share/nodejs

web-deps:
	@scripts/install-deps.sh web

web-site: web-deps
	$(EMSCRIPTEN_ENV) emcmake cmake -S . -B $(WEB_BUILD) -G "$(GENERATOR)" \
	    -DCMAKE_BUILD_TYPE=Release -DPROJ2WAV_WERROR=ON >/dev/null
	$(EMSCRIPTEN_ENV) cmake --build $(WEB_BUILD) -j $(JOBS)
	@echo "The site: $(CURDIR)/$(WEB_BUILD)/site"

web: web-site
	node scripts/serve-web.mjs $(WEB_BUILD)/site $(WEB_PORT)

# Playwright and puppeteer-core from npm, at the versions the lock file pins, drive
# Debian's Chromium and Firefox ESR (WebKitGTK is driven through its own WebDriver).
tests/web/node_modules/.package-lock.json: tests/web/package-lock.json | web-deps
	cd tests/web && npm ci --no-audit --no-fund

# The browser tests need the command line beside the page, to compare with.
test-web: build web-site tests/web/node_modules/.package-lock.json
	cd tests/web && BUILD_DIR="$(abspath $(BUILD))" WEB_SITE="$(abspath $(WEB_BUILD))/site" node --test

# The page against the command line on the one-hour bench project (bench/web.sh).
bench-web: build web-site tests/web/node_modules/.package-lock.json
	BUILD_DIR="$(abspath $(BUILD))" WEB_SITE="$(abspath $(WEB_BUILD))/site" bench/web.sh

# docs/web-screenshot.png: the page with the sample project loaded, as the tests
# see it in Chromium.
web-screenshot: build web-site tests/web/node_modules/.package-lock.json
	cd tests/web && BUILD_DIR="$(abspath $(BUILD))" WEB_SITE="$(abspath $(WEB_BUILD))/site" WEB_BROWSERS=chromium \
	    WEB_SCREENSHOT="$(abspath docs/web-screenshot.png)" \
	    node --test --test-name-pattern="status line"

# docs/screenshot.png: the window with the sample project loaded, its takes panel
# and its complete waveform, drawn under a virtual X server with settings of its
# own (the user's remembered choices neither show nor change).
SCREENSHOT_DIR := /tmp/proj2wav-screenshot
.PHONY: screenshot
screenshot: build
	rm -rf $(SCREENSHOT_DIR)
	$(BUILD)/tools/make-sample-project "$(SCREENSHOT_DIR)/Sample Session" >/dev/null
	XDG_CONFIG_HOME=$(SCREENSHOT_DIR)/config xvfb-run -a $(BUILD)/src/gui/proj2wav-gui \
	    --screenshot docs/screenshot.png "$(SCREENSHOT_DIR)/Sample Session"
