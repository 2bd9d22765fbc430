# A thin front for CMake. The two commands a newcomer needs: make run, make check.
BUILD := build
# CMake's own progress lines are the build's progress; the nested makes'
# "Entering directory" chatter is not.
MAKEFLAGS += --no-print-directory
JOBS ?= $(shell nproc)
CMAKE_CONFIGURE = cmake -S . -B $(BUILD)/$(1) -DCMAKE_BUILD_TYPE=Release $(2) >/dev/null
# ctest in tree $(1) with options $(2). ctest counts skipped tests but does not
# say why; every test that skips prints "skipped: <reason>" (after its case's
# name), and those lines are shown once the run has passed.
CTEST = cd $(BUILD)/$(1) && ctest --output-on-failure --no-tests=error $(2) && \
  { grep -hE '^([^ :]+: )?skipped: ' Testing/Temporary/LastTest.log | sed 's/^/$(1): /'; }

.PHONY: run native check deps check-native check-sanitize format clean bench plot

run: native
	@./$(BUILD)/native/strcycles

native:
	@$(call CMAKE_CONFIGURE,native)
	@cmake --build $(BUILD)/native -j $(JOBS) --target strcycles

check: deps
	$(MAKE) check-native
	$(MAKE) check-windows
	$(MAKE) check-m32
	$(MAKE) check-sanitize
	$(MAKE) check-fuzz
	$(MAKE) check-lint

deps:
	tools/install-deps.sh

check-native:
	$(call CMAKE_CONFIGURE,native,-DSTRCYCLES_TESTS=ON)
	cmake --build $(BUILD)/native -j $(JOBS)
	$(call CTEST,native)

# The unit tests again under AddressSanitizer and UndefinedBehaviorSanitizer,
# and the whole program's run under them.
check-sanitize:
	$(call CMAKE_CONFIGURE,sanitize,-DSTRCYCLES_SANITIZE=ON)
	cmake --build $(BUILD)/sanitize -j $(JOBS)
	$(call CTEST,sanitize,-L 'unit|sanitize')

# The Windows program, cross-built with mingw-w64: build/win32/strcycles.exe is
# the one to ship (32-bit x86), build/win64/strcycles.exe its x86-64 twin. Both
# are checked statically, by their machine code, for reproducibility and end to
# end under wine; the 32-bit one's wine cases need a kernel that runs 32-bit
# programs and are skipped, with the reason, elsewhere.
WINDOWS_CONFIGURE = $(call CMAKE_CONFIGURE,$(1),-DCMAKE_TOOLCHAIN_FILE=$(CURDIR)/cmake/$(2).toolchain.cmake)
.PHONY: windows check-windows

windows:
	$(call WINDOWS_CONFIGURE,win32,mingw-i686)
	cmake --build $(BUILD)/win32 -j $(JOBS) --target strcycles
	$(call WINDOWS_CONFIGURE,win64,mingw-x86_64)
	cmake --build $(BUILD)/win64 -j $(JOBS) --target strcycles

check-windows: windows
	cmake --build $(BUILD)/win32 -j $(JOBS)
	cmake --build $(BUILD)/win64 -j $(JOBS)
	$(call CTEST,win32)
	$(call CTEST,win64)

# The program's own processor as a Linux program: 32-bit x86 code built with
# -m32 (cmake/linux-i386.toolchain.cmake), its unit tests and machine-code
# check, plain and under AddressSanitizer and UndefinedBehaviorSanitizer. The
# tests run natively where the kernel runs 32-bit programs (tools/runs-i386.sh),
# else under qemu-i386; what cannot run here is skipped, and why is printed.
M32_TOOLCHAIN = -DCMAKE_TOOLCHAIN_FILE=$(CURDIR)/cmake/linux-i386.toolchain.cmake
M32_CONFIGURE = $(call CMAKE_CONFIGURE,$(1),$(M32_TOOLCHAIN) -DSTRCYCLES_BENCH=OFF $(2))
.PHONY: check-m32

check-m32:
	$(call M32_CONFIGURE,m32,-DSTRCYCLES_TESTS=ON)
	cmake --build $(BUILD)/m32 -j $(JOBS)
	$(call CTEST,m32)
	$(call M32_CONFIGURE,m32-sanitize,-DSTRCYCLES_SANITIZE=ON)
	cmake --build $(BUILD)/m32-sanitize -j $(JOBS)
	$(call CTEST,m32-sanitize,-L 'unit|sanitize')

# libFuzzer targets (fuzz/), built with clang in a tree of their own.
# make fuzz runs each for FUZZ_SECONDS; make check runs each briefly.
FUZZ_SECONDS ?= 300
FUZZ_CHECK_SECONDS ?= 6
.PHONY: fuzz fuzz-build check-fuzz check-lint

fuzz-build:
	cmake -S fuzz -B $(BUILD)/fuzz -DCMAKE_CXX_COMPILER=clang++ >/dev/null
	cmake --build $(BUILD)/fuzz -j $(JOBS)

fuzz: deps fuzz-build
	tools/run-fuzzers.sh $(FUZZ_SECONDS) $(BUILD)

check-fuzz: fuzz-build
	tools/run-fuzzers.sh $(FUZZ_CHECK_SECONDS) $(BUILD)

# clang-tidy (.clang-tidy) and cppcheck over the program's code and fuzz/.
check-lint: fuzz-build
	$(call CMAKE_CONFIGURE,native)
	tools/lint.sh $(BUILD)

# The speed suite (Google Benchmark): a console table, and JSON for make plot.
# A few seconds per routine; BENCH_MIN_TIME is each case's least run time.
BENCH_MIN_TIME ?= 0.05
bench: deps
	$(call CMAKE_CONFIGURE,bench,-DSTRCYCLES_TESTS=OFF)
	cmake --build $(BUILD)/bench -j $(JOBS) --target strcycles_bench
	./$(BUILD)/bench/strcycles_bench --benchmark_min_time=$(BENCH_MIN_TIME) \
	  --benchmark_out=$(BUILD)/bench/results.json --benchmark_out_format=json

# The 32-bit programs beside the 64-bit ones on this processor: the Windows
# pair under wine, the Linux pair natively, alternately, BENCH_HOME_ROUNDS
# runs each. Where the kernel runs no 32-bit programs it says so instead.
BENCH_HOME_ROUNDS ?= 5
.PHONY: bench-home
bench-home: deps windows native
	@$(call M32_CONFIGURE,m32,-DSTRCYCLES_TESTS=ON)
	@cmake --build $(BUILD)/m32 -j $(JOBS) --target strcycles
	@$(call CMAKE_CONFIGURE,bench,-DSTRCYCLES_TESTS=OFF)
	@cmake --build $(BUILD)/bench -j $(JOBS) --target strcycles_bench
	@tools/bench_home.py $(BUILD) --rounds $(BENCH_HOME_ROUNDS) --bench $(BUILD)/bench/strcycles_bench

# docs/scaling.png from the last make bench (running it when there is none).
plot:
	test -f $(BUILD)/bench/results.json || $(MAKE) bench
	tools/plot_scaling.sh $(BUILD)/bench/results.json docs/scaling.png

format:
	clang-format -i $$(git ls-files '*.h' '*.cpp')

clean:
	rm -rf $(BUILD)
