# Quick start on a fresh Debian 12 machine:  make demo  |  make check
# Both install the missing Debian packages, configure and build first.
#
#   make demo        build, then run the embedded start macro in batch mode
#   make check       build, then run every unit and macro test
#   make bench       Release build, then the side-by-side benchmarks (bench/run)
#   make fuzz        clang + libFuzzer build of the fuzz targets (fuzz/)
#   make fuzz-smoke  the fuzz build, then 15 seconds of each target
#   make install     build, then install under PREFIX (/usr/local; DESTDIR is honoured)
#   make deb         build, then the Debian package tolvex_<version>_<arch>.deb in BUILD_DIR
#   make deb-check   make deb, then its control data, contents and lintian's verdict
#
# Variables: BUILD_DIR (build), BUILD_TYPE (RelWithDebInfo), SANITIZE (OFF|ON: ASan+UBSan),
# WERROR (OFF|ON), PREFIX (/usr/local), DESTDIR.

BUILD_DIR  ?= build
BUILD_TYPE ?= RelWithDebInfo
SANITIZE   ?= OFF
WERROR     ?= OFF
JOBS       ?= $(shell nproc)
PREFIX     ?= /usr/local

CMAKE_FLAGS = -G Ninja -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) \
              -DTOLVEX_SANITIZE=$(SANITIZE) -DTOLVEX_WERROR=$(WERROR)

.PHONY: all deps configure build demo check bench fuzz fuzz-smoke install deb deb-check clean

all: build

deps:
	@tools/install-deps

configure: deps
	@cmake -S . -B $(BUILD_DIR) $(CMAKE_FLAGS) > $(BUILD_DIR).configure.log 2>&1 \
	  || { cat $(BUILD_DIR).configure.log; exit 1; }

build: configure
	@cmake --build $(BUILD_DIR) -j $(JOBS)

demo: build
	$(BUILD_DIR)/bin/tolvex --headless

check: build
	@cd $(BUILD_DIR) && ctest --output-on-failure -j $(JOBS)

install: build
	@DESTDIR=$(DESTDIR) cmake --install $(BUILD_DIR) --prefix $(PREFIX)

# A package holds what the build holds: build it without SANITIZE for others to install.
deb: build
	@tools/install-deps packaging/debian-packages.txt
	@cd $(BUILD_DIR) && cpack -G DEB

deb-check: deb
	@packaging/check-deb $(BUILD_DIR)

bench: deps
	@bench/run

fuzz: deps
	@cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DTOLVEX_FUZZ=ON > build-fuzz.configure.log 2>&1 \
	  || { cat build-fuzz.configure.log; exit 1; }
	@cmake --build build-fuzz -j $(JOBS) --target fuzzers

fuzz-smoke: fuzz
	@for target in build-fuzz/bin/*_fuzz build-fuzz/bin/fuzz_*; do \
	  [ -x "$$target" ] || continue; \
	  name=$$(basename $$target); corpus=build-fuzz/corpus/$$name; mkdir -p $$corpus; \
	  seeds=fuzz/interp/seeds/$${name%_fuzz}; [ -d $$seeds ] || seeds=; \
	  echo "fuzz-smoke: $$name"; \
	  $$target -max_total_time=15 -timeout=10 -dict=build-fuzz/resources/fuzz.dict \
	    $$corpus $$seeds > build-fuzz/$$name.log 2>&1 \
	    || { tail -40 build-fuzz/$$name.log; exit 1; }; \
	done

clean:
	rm -rf $(BUILD_DIR) build-fuzz build-release *.configure.log
