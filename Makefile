# Two commands do everything on a fresh machine: `make demo` and `make test`.
# Each installs the Debian packages it needs when they are missing.

PRESETS := linux win32 win64
WINE32 := /usr/lib/wine/wine
WINE64 := /usr/lib/wine/wine64
export WINEDEBUG := -all
export WINEDLLOVERRIDES := mscoree,mshtml=

.PHONY: all deps $(PRESETS) asan fuzz-build test wine demo bench fuzz soak extremes clean plugins ardour-test

# How long `make fuzz` runs, in seconds; how many minutes of audio `make soak` plays.
FUZZ_SECONDS ?= 600
SOAK_MINUTES ?= 10

all: $(PRESETS)

deps:
	@bash scripts/install-deps.sh

$(PRESETS) asan fuzz-build: deps
	@preset=$(@:-build=); cmake --preset $$preset > build-$$preset.log 2>&1 || { cat build-$$preset.log; rm -f build-$$preset.log; exit 1; }; \
	  rm -f build-$$preset.log; cmake --build --preset $$preset

# The LV2, VST3 and CLAP plug-ins come with the linux and win64 builds, into build/plugins/.
plugins: linux win64

wine: deps
	@bash scripts/setup-wine.sh

test: all asan fuzz-build wine
	@bash scripts/run-tests.sh

bench: all
	@bash scripts/run-benchmarks.sh

fuzz: fuzz-build
	@bash scripts/run-fuzzer.sh $(FUZZ_SECONDS)

soak: linux
	@build/linux/soak --minutes=$(SOAK_MINUTES)

# Every configuration with every input at its extremes, the whole grid (about ten minutes).
extremes: linux
	@build/linux/extremes --full

# The LV2 and VST3 plug-ins in Ardour's headless session tool; not in `make test`:
# even with three attempts a run, 2 of 20 runs failed on a busy machine (README).
ardour-test: linux
	@bash scripts/install-deps.sh ardour
	@ctest --test-dir build/linux -L ardour --output-on-failure

demo: all
	@bash tools/demo.sh

clean:
	rm -rf build out
