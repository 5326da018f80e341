# Two commands do everything on a fresh machine: `make demo` and `make test`.
# Each target installs the Debian packages of its own need when they are
# missing (scripts/install-deps.sh: build, test, bench, ardour).

PRESETS := linux win32 win64
WINE32 := /usr/lib/wine/wine
WINE64 := /usr/lib/wine/wine64
export WINEDEBUG := -all
export WINEDLLOVERRIDES := mscoree,mshtml=

.PHONY: all deps deps-build deps-test deps-bench deps-ardour $(PRESETS) asan fuzz-build test wine demo bench fuzz soak extremes clean plugins ardour-test

# How long `make fuzz` runs, in seconds; how many minutes of audio `make soak` plays.
FUZZ_SECONDS ?= 600
SOAK_MINUTES ?= 10

all: $(PRESETS)

deps: deps-build

deps-build:
	@bash scripts/install-deps.sh build

# After the build need, so that two package installs never run at once (make -j).
deps-test deps-bench deps-ardour: deps-build
	@bash scripts/install-deps.sh $(@:deps-%=%)

$(PRESETS) asan fuzz-build: deps-build
	@preset=$(@:-build=); cmake --preset $$preset > build-$$preset.log 2>&1 || { cat build-$$preset.log; rm -f build-$$preset.log; exit 1; }; \
	  rm -f build-$$preset.log; cmake --build --preset $$preset

# The LV2, VST3 and CLAP plug-ins come with the linux and win64 builds, into build/plugins/.
plugins: linux win64

wine: deps-test
	@bash scripts/setup-wine.sh

# Without a 32-bit Wine everything is still built and every other suite runs;
# run-tests.sh names the suites that did not run and fails.
test: deps-test all asan fuzz-build
	@bash scripts/run-tests.sh

bench: deps-bench all
	@bash scripts/run-benchmarks.sh

fuzz: fuzz-build
	@bash scripts/run-fuzzer.sh $(FUZZ_SECONDS)

soak: linux
	@build/linux/soak --minutes=$(SOAK_MINUTES)

# Every configuration with every input at its extremes, the whole grid (about ten minutes).
extremes: linux
	@build/linux/extremes --full

# The LV2 and VST3 plug-ins in Ardour's headless session tool; not in `make test`:
# even with three attempts a run, 2 of 20 runs failed on a busy machine (docs/plugins.md).
ardour-test: deps-ardour linux
	@ctest --test-dir build/linux -L ardour --output-on-failure

demo: all
	@bash tools/demo.sh

clean:
	rm -rf build out
