# Two commands do everything on a fresh machine: `make demo` and `make test`.
# Each installs the Debian packages it needs when they are missing.

PRESETS := linux win32 win64
WINE32 := /usr/lib/wine/wine
WINE64 := /usr/lib/wine/wine64
export WINEDEBUG := -all
export WINEDLLOVERRIDES := mscoree,mshtml=

.PHONY: all deps $(PRESETS) asan test test-native test-asan test-headers test-win64 test-win32 wine demo clean

all: $(PRESETS)

deps:
	@bash scripts/install-deps.sh

$(PRESETS) asan: deps
	@cmake --preset $@ > build-$@.log 2>&1 || { cat build-$@.log; rm -f build-$@.log; exit 1; }
	@rm -f build-$@.log
	@cmake --build --preset $@

wine: deps
	@bash scripts/setup-wine.sh

test: all asan wine
	@bash scripts/run-tests.sh

demo: all
	@bash tools/demo.sh

clean:
	rm -rf build out
