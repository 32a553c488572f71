# Quorvel: one-command install, build, run and test on Debian 12.
SHELL := /bin/bash
.DEFAULT_GOAL := build

# What the project needs from Debian. Later parts of the project add to it.
PACKAGES := g++ make cmake ninja-build pkg-config \
            qt6-base-dev qt6-qpa-plugins libx11-dev libgtest-dev libgmock-dev \
            fonts-dejavu-core clang libclang-rt-14-dev xvfb xauth x11-utils openbox xdotool python3 \
            lintian desktop-file-utils appstream dpkg-dev pmccabe \
            g++-mingw-w64-x86-64 wine64 wine libcli11-dev nlohmann-json3-dev \
            libxml2-utils socat
SUDO := $(shell [ "$$(id -u)" = 0 ] || echo sudo)
FUZZ_SECONDS ?= 30
BENCH_SECONDS ?= 3
JOBS ?= $(shell nproc)

.PHONY: deps build run run-check package package-check test complexity asan tsan fuzz windows windows-test bench clean

# Installs only what is missing; quiet and quick when everything is there.
deps:
	@missing=""; \
	for p in $(PACKAGES); do \
	  dpkg-query -W -f='$${Status}\n' "$$p" 2>/dev/null | grep -q '^install ok installed$$' \
	    || missing="$$missing $$p"; \
	done; \
	if [ -n "$$missing" ]; then \
	  echo "Installing:$$missing"; \
	  $(SUDO) apt-get update -qq && \
	  $(SUDO) env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends $$missing; \
	fi

build: deps
	cmake --preset dev >/dev/null
	cmake --build --preset dev -j $(JOBS)

run: build
	./build/dev/src/quorvel --simulated-card

test: build
	ctest --preset dev -j $(JOBS)

# The code stays readable: no function above a cyclomatic complexity of 20
# (pmccabe's modified count) and no source file of 600 lines or more.
complexity: deps
	@tooComplex=$$(find src -name '*.cpp' -o -name '*.h' | xargs pmccabe 2>/dev/null | awk '$$1 > 20'); \
	tooLong=$$(find src tests bench -name '*.cpp' -o -name '*.h' | xargs wc -l | awk '$$2 != "total" && $$1 >= 600'); \
	if [ -n "$$tooComplex$$tooLong" ]; then \
	  echo "Functions above a complexity of 20, files of 600 lines or more:"; \
	  echo "$$tooComplex"; echo "$$tooLong"; exit 1; \
	fi; echo "complexity: every function at most 20, every file under 600 lines"

# An unattended run on the simulated card, all eight ports at the card's
# highest rate, as a production line would run it: fails unless every port
# passes. Its own settings folder keeps the operator's records out of it.
RUN_CHECK_DIR := build/dev/run-check
run-check: build
	rm -rf $(RUN_CHECK_DIR) && mkdir -p $(RUN_CHECK_DIR)
	XDG_CONFIG_HOME=$(CURDIR)/$(RUN_CHECK_DIR)/config ./build/dev/src/quorvel-run \
	  --simulated-card --ports 1-8 --baud 921600 --seconds 10 \
	  --json $(RUN_CHECK_DIR)/report.json --junit $(RUN_CHECK_DIR)/report.xml

# The Debian packages, built from the release preset into build/release:
# quorvel (the GUI) and quorvel-cli (what needs no display); only what the
# packages hold is built (the benchmarks are left out).
package: deps
	cmake --preset release >/dev/null
	cmake --build --preset release -j $(JOBS) \
	  --target quorvel quorvel-run quorvel-cardsim quorvel_packaging
	cd build/release && cpack -G DEB

# Checks both packages as a user would meet them: lintian finds no error,
# the desktop entry and AppStream metadata validate, quorvel-cli needs no Qt,
# and the packaged programs answer --version and pass a short unattended run.
package-check: package
	packaging/check-package.sh build/release/quorvel_*.deb build/release/quorvel-cli_*.deb

asan: deps
	cmake --preset asan >/dev/null
	cmake --build --preset asan -j $(JOBS)
	ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
	  LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan.supp:print_suppressions=0 \
	  ctest --preset asan -j $(JOBS)

# TSan leaves out quorvel-run's process tests: they hold a whole run's counts to the card's at
# full line rates, which a program slowed tenfold by TSan cannot keep (its receive side overruns,
# as a UART's would). The same threads are under TSan in RunSessionTest and the engine's suites.
tsan: deps
	cmake --preset tsan >/dev/null
	cmake --build --preset tsan -j $(JOBS)
	TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 ctest --preset tsan -j $(JOBS) \
	  -E '^quorvel_run'

# Runs every fuzz target for FUZZ_SECONDS, starting from the seed corpus in
# the source tree and growing a working corpus under build/fuzz. Inputs run
# up to 64 KB, past any size the readers keep in one piece.
FUZZ_TARGETS := config_file device_map data_checker
fuzz: deps
	cmake --preset fuzz >/dev/null
	cmake --build --preset fuzz -j $(JOBS) --target $(FUZZ_TARGETS:%=%_fuzz)
	for target in $(FUZZ_TARGETS); do \
	  mkdir -p build/fuzz/corpus/$$target && \
	  ./build/fuzz/tests/fuzz/$${target}_fuzz -max_total_time=$(FUZZ_SECONDS) -max_len=65536 \
	    -print_final_stats=1 build/fuzz/corpus/$$target tests/fuzz/corpus/$$target || exit 1; \
	done

# Cross-builds the Qt-free layers for Windows with MinGW-w64 into build/windows.
windows: deps
	cmake --preset windows >/dev/null
	cmake --build --preset windows -j $(JOBS)

# Cross-builds the Qt-free layers and their suites for Windows into
# build/windows-test and runs the suites under Wine, in a fresh prefix under
# build/wine, with COM ports on the simulated card (the release build's, for
# Linux, which the package has built already when CI gets here).
windows-test: deps
	cmake --preset release >/dev/null
	cmake --build --preset release -j $(JOBS) --target quorvel-cardsim
	cmake --preset windows-test >/dev/null
	cmake --build --preset windows-test -j $(JOBS)
	JOBS=$(JOBS) tests/wine/run-under-wine.sh build/windows-test build/release/src/quorvel-cardsim

# Benchmarks on an optimised build; they print figures and never fail.
bench: deps
	cmake --preset release >/dev/null
	cmake --build --preset release -j $(JOBS)
	./build/release/bench/bench_throughput $(BENCH_SECONDS)
	./build/release/bench/bench_console $(BENCH_SECONDS)
	./build/release/bench/config_file_bench

clean:
	rm -rf build
