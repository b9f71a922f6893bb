# Two entry points for a newcomer on Debian 12:
#   make demo   builds tolvar, makes a sample RTCM recording and converts it to RINEX
#   make test   builds and runs every test suite (SANITIZE=1 adds ASan and UBSan)
# Both install the missing Debian packages first when run as root.

JOBS      ?= $(shell nproc 2>/dev/null || echo 2)
PACKAGES  := cmake g++ make libsqlite3-dev libgtest-dev libgmock-dev libbenchmark-dev python3
SANITIZE  ?= 0

ifeq ($(SANITIZE),1)
TEST_DIR  := build/test-asan
TEST_OPTS := -DTOLVAR_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug
else
TEST_DIR  := build/test
TEST_OPTS := -DCMAKE_BUILD_TYPE=RelWithDebInfo
endif

.PHONY: deps demo build test clean format format-check tidy fuzz fuzz-long fuzz-coverage fuzz-deps

# Installs the Debian packages of the list $(1) that are missing (as root), or names them.
define install_packages
	@missing=""; for p in $(1); do \
	  dpkg-query -W -f='$${Status}' $$p 2>/dev/null | grep -q 'install ok installed' || missing="$$missing $$p"; \
	done; \
	if [ -n "$$missing" ]; then \
	  if [ "$$(id -u)" = 0 ]; then \
	    echo "Installing:$$missing"; \
	    apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq $$missing; \
	  else \
	    echo "Missing Debian packages:$$missing (run as root, or install them)"; exit 1; \
	  fi; \
	fi
endef

deps:
	$(call install_packages,$(PACKAGES))

build: deps
	cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release -DTOLVAR_TESTS=OFF >/dev/null
	cmake --build build/release -j $(JOBS)

DEMO_DIR  := build/demo

# A sample recording made with the test encoder (ten minutes of a reference station, four
# systems, MSM7), converted into RINEX 3.04 observation and navigation files.
demo: build
	@mkdir -p $(DEMO_DIR)
	@rm -f $(DEMO_DIR)/SMPL_2024_03_05.*
	./build/release/tests/tools/make_sample_rtcm $(DEMO_DIR)
	./build/release/tolvar $(DEMO_DIR)/SMPL_2024_03_05.rtcm3 -o=$(DEMO_DIR) -v=3.04
	@echo; echo "RINEX files written to $(DEMO_DIR)/:"; \
	  ls -1 $(DEMO_DIR) | grep -v '\.rtcm3$$' | sed 's|^|  $(DEMO_DIR)/|'

test: deps
	cmake -S . -B $(TEST_DIR) $(TEST_OPTS) >/dev/null
	cmake --build $(TEST_DIR) -j $(JOBS)
	ASAN_OPTIONS=halt_on_error=1:detect_leaks=1 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
	  ctest --test-dir $(TEST_DIR) --output-on-failure -j $(JOBS)

clean:
	rm -rf build

# Formatting: the sources follow .clang-format (Debian's clang-format 14); CI runs the check.
FORMAT_FILES = $(shell git ls-files --cached --others --exclude-standard '*.cpp' '*.h')

format:
	clang-format -i $(FORMAT_FILES)

format-check:
	@command -v clang-format >/dev/null || { [ "$$(id -u)" = 0 ] && apt-get update -qq && \
	  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq clang-format; }
	@clang-format --dry-run --Werror $(FORMAT_FILES) && echo "Formatting: every source follows .clang-format"

# Static analysis: clang-tidy (Debian's clang-tidy 14, installed when missing as root) with the
# checks of .clang-tidy over the program's sources and headers; CI runs it. Any finding fails.
TIDY_DIR := build/tidy

tidy: deps
	$(call install_packages,clang-tidy)
	cmake -S . -B $(TIDY_DIR) -DCMAKE_BUILD_TYPE=Debug -DCMAKE_EXPORT_COMPILE_COMMANDS=ON \
	  -DTOLVAR_TESTS=OFF -DTOLVAR_BENCH=OFF >/dev/null
	cmake --build $(TIDY_DIR) -j $(JOBS) >/dev/null
	@run-clang-tidy -p $(TIDY_DIR) -j $(JOBS) -quiet \
	  '$(CURDIR)/(foundation|obsmodel|navigation|codecs|app)/' > $(TIDY_DIR)/tidy.log 2>&1 && \
	  echo "clang-tidy: no finding in the program's sources" || \
	  { grep -E -A3 '(warning|error): ' $(TIDY_DIR)/tidy.log; echo "clang-tidy: findings above"; exit 1; }

# Fuzzing with libFuzzer (Debian's clang and its fuzzer runtime, installed when missing as
# root): `make fuzz` runs each target for FUZZ_SECONDS (CI: a minute each), `make fuzz-long`
# for half an hour each; new inputs stay in build/fuzz/corpus for the next run.
# `make fuzz-coverage` reports the source coverage of every program file reached by the
# kept inputs.
FUZZ_PACKAGES := clang libclang-rt-14-dev llvm
FUZZ_DIR      := build/fuzz
FUZZ_TARGETS  := fuzz_rtcm_decoder fuzz_rtcm_import fuzz_rtcm_writer fuzz_rinex_reader fuzz_cmdline
FUZZ_SECONDS  ?= 60

fuzz-deps:
	$(call install_packages,$(FUZZ_PACKAGES))

fuzz: deps fuzz-deps
	cmake -S . -B $(FUZZ_DIR) -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DTOLVAR_FUZZ=ON -DTOLVAR_TESTS=OFF -DTOLVAR_BENCH=OFF >/dev/null
	cmake --build $(FUZZ_DIR) -j $(JOBS) --target $(FUZZ_TARGETS) fuzz_seeds
	tests/fuzz/run.sh $(FUZZ_DIR) $(FUZZ_SECONDS) $(FUZZ_TARGETS)

fuzz-long:
	$(MAKE) fuzz FUZZ_SECONDS=1800

fuzz-coverage: deps fuzz-deps
	cmake -S . -B build/fuzz-coverage -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=Debug \
	  -DTOLVAR_FUZZ=COVERAGE -DTOLVAR_TESTS=OFF -DTOLVAR_BENCH=OFF >/dev/null
	cmake --build build/fuzz-coverage -j $(JOBS) --target $(FUZZ_TARGETS)
	tests/fuzz/coverage.sh build/fuzz-coverage $(FUZZ_DIR) $(FUZZ_TARGETS)
