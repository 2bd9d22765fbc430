# A thin front for CMake's presets (CMakePresets.json), which put each tree in
# build/<preset>. The two commands a newcomer needs: make run, make check.
BUILD := build
# CMake's own progress lines are the build's progress; the nested makes'
# "Entering directory" chatter is not.
MAKEFLAGS += --no-print-directory
JOBS ?= $(shell nproc)
REQUIRE = tools/requirements.sh
# cmake --preset $(1) with options $(2); the presets hold the trees' flags.
CONFIGURE = cmake --preset $(1) $(2) >/dev/null
BUILD_TREE = cmake --build --preset $(1) -j $(JOBS)
# What make check did, line by line, for its summary at the end
# (tools/check_summary.py): the trees tested, the legs skipped, what could not
# be installed.
RECORD = $(abspath $(BUILD))/check-record
# ctest in tree $(1) with options $(2), recorded once it has passed.
CTEST = ctest --preset $(1) $(2) && echo "tree $(1)" >> $(RECORD)

# CXX=clang++ make run (or make check-native): the native tree with that
# compiler; otherwise CMake's own choice. CLANG names the Clang leg's.
ifneq ($(origin CXX),default)
NATIVE_COMPILER = -DCMAKE_CXX_COMPILER=$(CXX)
endif
ifdef CLANG
CLANG_COMPILER = -DCMAKE_CXX_COMPILER=$(CLANG)
endif

.PHONY: run native check deps check-native check-clang check-sanitize format clean bench plot

run: native
	@./$(BUILD)/native/strcycles

native:
	@$(REQUIRE) install run >&2 && $(REQUIRE) need run >&2
	@$(call CONFIGURE,native,$(NATIVE_COMPILER))
	@$(call BUILD_TREE,native) --target strcycles

# Every leg whose tools are here; one whose tools are missing, where they
# cannot be installed, is skipped and says which tools and packages it needs.
LEG = status=0; why=$$($(REQUIRE) have $(1)) || status=$$?; \
  if [ $$status = 0 ]; then $(MAKE) check-$(1); \
  elif [ $$status = 1 ]; then echo "$$why"; echo "leg $(1) $$why" >> $(RECORD); else exit $$status; fi

# Ends with one summary: each tree's test count, the legs skipped, and each
# case skipped here with its reason.
check: deps
	@$(call LEG,native)
	@$(call LEG,clang)
	@$(call LEG,windows)
	@$(call LEG,m32)
	@$(call LEG,sanitize)
	@$(call LEG,fuzz)
	@$(call LEG,lint)
	@python3 tools/check_summary.py $(BUILD) $(RECORD)

# Starts make check's record with what the install could not bring.
deps:
	@mkdir -p $(BUILD) && : > $(RECORD)
	@STRCYCLES_CHECK_RECORD=$(RECORD) $(REQUIRE) install check

check-native:
	$(call CONFIGURE,native,$(NATIVE_COMPILER))
	$(call BUILD_TREE,native)
	$(call CTEST,native)

# The native tree again, built with Clang: every test, the machine-code
# check and its planted faults among them.
check-clang:
	$(call CONFIGURE,clang,$(CLANG_COMPILER))
	$(call BUILD_TREE,clang)
	$(call CTEST,clang)

# The unit, end-to-end and hostile-environment tests again under
# AddressSanitizer and UndefinedBehaviorSanitizer: the program's terminal,
# signal and priority paths among them.
check-sanitize:
	$(call CONFIGURE,sanitize)
	$(call BUILD_TREE,sanitize)
	$(call CTEST,sanitize)

# The Windows program, cross-built with mingw-w64: build/win32/strcycles.exe is
# the one to ship (32-bit x86), build/win64/strcycles.exe its x86-64 twin. Both
# are checked statically, by their machine code, for reproducibility and end to
# end under wine; the 32-bit one's wine cases need a kernel that runs 32-bit
# programs and are skipped, with the reason, elsewhere.
.PHONY: windows windows-build check-windows

windows:
	@$(REQUIRE) install windows --hard >&2 && $(REQUIRE) need windows >&2
	@$(MAKE) windows-build

windows-build:
	$(call CONFIGURE,win32)
	$(call BUILD_TREE,win32) --target strcycles
	$(call CONFIGURE,win64)
	$(call BUILD_TREE,win64) --target strcycles

check-windows: windows-build
	$(call BUILD_TREE,win32)
	$(call BUILD_TREE,win64)
	$(call CTEST,win32)
	$(call CTEST,win64)

# The release in dist/ (tools/dist.sh): the Windows programs zipped with a
# README.txt and the licence, the source at HEAD, and SHA256SUMS; the same
# commit gives the same bytes in any clone.
.PHONY: dist
dist:
	@$(REQUIRE) install dist >&2 && $(REQUIRE) need dist >&2
	@$(MAKE) windows-build
	@tools/dist.sh $(BUILD) dist

# The program's own processor as a Linux program: 32-bit x86 code built with
# -m32 (cmake/linux-i386.toolchain.cmake), its unit, end-to-end and
# machine-code tests, plain and under AddressSanitizer and
# UndefinedBehaviorSanitizer. The tests, and the program they start, run
# natively where the kernel runs 32-bit programs (tools/runs-i386.sh), else
# under qemu-i386; what cannot run here is skipped, and why is printed.
.PHONY: check-m32

check-m32:
	$(call CONFIGURE,m32)
	$(call BUILD_TREE,m32)
	$(call CTEST,m32)
	$(call CONFIGURE,m32-sanitize)
	$(call BUILD_TREE,m32-sanitize)
	$(call CTEST,m32-sanitize)

# libFuzzer targets (fuzz/), built with clang in a tree of their own.
# make fuzz runs each for FUZZ_SECONDS; make check runs each briefly.
FUZZ_SECONDS ?= 300
FUZZ_CHECK_SECONDS ?= 6
.PHONY: fuzz fuzz-build check-fuzz check-lint

fuzz-build:
	cmake -S fuzz -B $(BUILD)/fuzz -DCMAKE_CXX_COMPILER=clang++ >/dev/null
	cmake --build $(BUILD)/fuzz -j $(JOBS)

fuzz:
	@$(REQUIRE) install fuzz >&2 && $(REQUIRE) need fuzz >&2
	$(MAKE) fuzz-build
	tools/run-fuzzers.sh $(FUZZ_SECONDS) $(BUILD)

check-fuzz: fuzz-build
	tools/run-fuzzers.sh $(FUZZ_CHECK_SECONDS) $(BUILD)
	@echo "clean fuzz" >> $(RECORD)

# clang-tidy (.clang-tidy) and cppcheck over the program's code and fuzz/.
check-lint: fuzz-build
	$(call CONFIGURE,native,$(NATIVE_COMPILER))
	tools/lint.sh $(BUILD)
	@echo "clean lint" >> $(RECORD)

# The speed suite (Google Benchmark): a console table, and JSON for make plot.
# A few seconds per routine; BENCH_MIN_TIME is each case's least run time.
BENCH_MIN_TIME ?= 0.05
bench:
	@$(REQUIRE) install bench >&2 && $(REQUIRE) need bench >&2
	$(call CONFIGURE,bench)
	$(call BUILD_TREE,bench)
	./$(BUILD)/bench/strcycles_bench --benchmark_min_time=$(BENCH_MIN_TIME) \
	  --benchmark_out=$(BUILD)/bench/results.json --benchmark_out_format=json

# The 32-bit programs beside the 64-bit ones on this processor: the Windows
# pair under wine, the Linux pair natively, alternately, BENCH_HOME_ROUNDS
# runs each. Where the kernel runs no 32-bit programs it says so instead.
BENCH_HOME_ROUNDS ?= 5
.PHONY: bench-home
bench-home: deps windows native
	@$(call CONFIGURE,m32)
	@$(call BUILD_TREE,m32) --target strcycles
	@$(call CONFIGURE,bench)
	@$(call BUILD_TREE,bench)
	@tools/bench_home.py $(BUILD) --rounds $(BENCH_HOME_ROUNDS) --bench $(BUILD)/bench/strcycles_bench

# The fixed calls built by every GCC and Clang on PATH (each in
# build/compilers/<compiler>), timed in turn BENCH_COMPILERS_ROUNDS times: one
# table of the report's figure, the step and the latency per compiler. Why 80
# rounds: docs/tuning.md#the-speed-suites-loops.
BENCH_COMPILERS_ROUNDS ?= 80
.PHONY: bench-compilers
bench-compilers:
	@$(REQUIRE) install bench-compilers >&2 && $(REQUIRE) need bench-compilers >&2
	@python3 tools/bench_compilers.py $(BUILD) --rounds $(BENCH_COMPILERS_ROUNDS)

# docs/scaling.png from the last make bench (running it when there is none).
plot:
	@$(REQUIRE) install plot >&2 && $(REQUIRE) need plot >&2
	test -f $(BUILD)/bench/results.json || $(MAKE) bench
	tools/plot_scaling.sh $(BUILD)/bench/results.json docs/scaling.png

format:
	@$(REQUIRE) install format >&2 && $(REQUIRE) need format >&2
	clang-format -i $$(git ls-files '*.h' '*.cpp')

clean:
	rm -rf $(BUILD)
