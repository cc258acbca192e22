# proj2wav — the two commands a fresh machine needs:
#   make test   installs what is missing, builds, runs the whole suite, then again
#               under AddressSanitizer + UndefinedBehaviorSanitizer
# Build trees live in build/ (release) and build-asan/ (sanitizers).

BUILD      ?= build
ASAN_BUILD ?= build-asan
GENERATOR  := $(shell command -v ninja >/dev/null 2>&1 && echo Ninja || echo "Unix Makefiles")
JOBS       ?= $(shell nproc 2>/dev/null || echo 2)
CTEST      := ctest --output-on-failure -j $(JOBS)

.PHONY: all deps build test test-release test-asan clean

all: build

deps:
	@scripts/install-deps.sh

build: deps
	cmake -S . -B $(BUILD) -G "$(GENERATOR)" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPROJ2WAV_WERROR=ON
	cmake --build $(BUILD) -j $(JOBS)

test-release: build
	cd $(BUILD) && $(CTEST)

test-asan: deps
	cmake -S . -B $(ASAN_BUILD) -G "$(GENERATOR)" -DCMAKE_BUILD_TYPE=Debug -DPROJ2WAV_WERROR=ON \
	      -DPROJ2WAV_SANITIZE=address,undefined
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	cd $(ASAN_BUILD) && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 $(CTEST)

test: test-release test-asan

clean:
	rm -rf $(BUILD) $(ASAN_BUILD)
