# Two commands do everything on a fresh machine: `make demo` and `make test`.
# Each target installs the Debian packages of its own need when they are
# missing (scripts/install-deps.sh: build, test, bench, ardour, dist, validate).

PRESETS := linux win32 win64
WINE32 := /usr/lib/wine/wine
WINE64 := /usr/lib/wine/wine64
export WINEDEBUG := -all
export WINEDLLOVERRIDES := mscoree,mshtml=

.PHONY: all deps deps-build deps-test deps-bench deps-ardour deps-dist deps-validate $(PRESETS) asan fuzz-build test wine demo bench fuzz fuzz-plugins soak extremes clean plugins ardour-test \
        install uninstall dist dist-test validate

# The third-party plug-in validators (prebuilt, not part of the project): `make validate`.
VALIDATORS ?= ../shared/validators

# How long `make fuzz` runs (and `make fuzz-plugins` each of its two), in seconds; how many minutes of audio `make soak` plays.
FUZZ_SECONDS ?= 600
SOAK_MINUTES ?= 10

all: $(PRESETS)

deps: deps-build

deps-build:
	@bash scripts/install-deps.sh build

# After the build need, so that two package installs never run at once (make -j).
deps-test deps-bench deps-ardour deps-dist deps-validate: deps-build
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
# The release files are tested as a user installs them (scripts/dist-test.sh), among the suites.
test: deps-test all asan fuzz-build dist
	@bash scripts/run-tests.sh

bench: deps-bench all
	@bash scripts/run-benchmarks.sh

fuzz: fuzz-build
	@bash scripts/run-fuzzer.sh $(FUZZ_SECONDS)

# The CLAP and then the VST3 plug-ins, FUZZ_SECONDS each.
fuzz-plugins: fuzz-build
	@bash scripts/run-fuzzer.sh $(FUZZ_SECONDS) clap_plugin
	@bash scripts/run-fuzzer.sh $(FUZZ_SECONDS) vst3_plugin

soak: linux
	@build/linux/soak --minutes=$(SOAK_MINUTES)

# Every configuration with every input at its extremes, the whole grid (about ten minutes).
extremes: linux
	@build/linux/extremes --full

# The LV2 and VST3 plug-ins in Ardour's headless session tool; not in `make test`:
# even with three attempts a run, 2 of 20 runs failed on a busy machine (docs/plugins.md).
ardour-test: deps-ardour linux
	@ctest --test-dir build/linux -L ardour --output-on-failure

# The validators in $(VALIDATORS) (see their README) on every Linux plug-in; not in `make test`,
# which passes without them. CI runs it after `make test` where the folder is.
validate: deps-validate linux
	@bash scripts/validate-plugins.sh $(VALIDATORS)

demo: all
	@bash tools/demo.sh

# The Linux plug-ins (LV2, VST3, CLAP) and vexa-host into your own folders (~/.lv2, ~/.vst3, ~/.clap,
# ~/.local/bin), or with PREFIX=/usr into the system's (/usr/lib/lv2, /usr/lib/vst3, /usr/lib/clap,
# /usr/bin); DESTDIR is honoured. `make uninstall` removes what the last install wrote (cmake/Install.cmake).
install: linux
	@cmake $(if $(PREFIX),-DCMAKE_INSTALL_PREFIX=$(PREFIX),-DCMAKE_INSTALL_PREFIX=$(HOME) -DVEXA_USER_FOLDERS=ON) \
	  -P build/linux/cmake_install.cmake

uninstall:
	@cmake -DBUILD=build/linux -P cmake/Uninstall.cmake

# The release files, named with the version, in dist/ (scripts/dist.sh): the Debian package, the Linux
# archive, the Windows installer, the modular host's zip and SHA256SUMS. `make dist-test` installs each
# as a user would and runs what it installed.
dist: deps-dist all
	@bash scripts/dist.sh

dist-test: deps-test dist
	@bash scripts/dist-test.sh

clean:
	rm -rf build out dist
