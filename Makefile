# The two entry points: `make run` and `make check`.  Both install the Debian
# packages they need first (scripts/install-deps.sh, idempotent).
JOBS ?= $(shell nproc)
CHECK := build/check
ASAN := build/asan
FUZZ := build/fuzz
FUZZ_SECONDS ?= 12
RUN := build/run
# X servers the GUI tests under the sanitizers run on side by side.
GUI_SHARDS ?= 4
# Every sanitizer report fails the run: each process writes its own file
# under $(ASAN)/sanitizer, which is swept at the end; leaks are looked for
# at every exit, but those of the toolkit and X libraries listed in
# tests/lsan.supp (the stacks are unwound fully, so that the toolkit's
# frames, built without frame pointers, are there to match).
SANITIZER_ENV = ASAN_OPTIONS=detect_leaks=1:fast_unwind_on_malloc=0:log_path=$(CURDIR)/$(ASAN)/sanitizer/report \
	UBSAN_OPTIONS=print_stacktrace=1:log_path=$(CURDIR)/$(ASAN)/sanitizer/report \
	LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan.supp:print_suppressions=0

.PHONY: all deps run check unit asan fuzz clean

all: $(RUN)/Makefile
	cmake --build $(RUN) -j$(JOBS)

deps:
	sh scripts/install-deps.sh

$(RUN)/Makefile:
	cmake -S . -B $(RUN) -DQIR_TESTS=OFF -DQIR_BENCH=OFF

run: deps
	cmake -S . -B $(RUN) -DQIR_TESTS=OFF -DQIR_BENCH=OFF
	cmake --build $(RUN) -j$(JOBS)
	cmake --install $(RUN)
	$(RUN)/app/qir

check: deps
	cmake -S . -B $(CHECK) -DQIR_DATA_PREFIX=$(CURDIR)/$(CHECK)/data
	cmake --build $(CHECK) -j$(JOBS)
	cd $(CHECK) && ctest -j$(JOBS) -LE gui --output-on-failure --timeout 600
	# Synthetic pointer input through XTEST is now and then not delivered to
	# the window under test; such a test gets a second and third try.
	cd $(CHECK) && ctest -L gui --repeat until-pass:3 --output-on-failure --timeout 300
	$(MAKE) asan
	$(MAKE) fuzz

# The whole program, windows and all, under AddressSanitizer,
# UndefinedBehaviorSanitizer and LeakSanitizer: the unit tests, then every
# GUI and end-to-end test, GUI_SHARDS of them at a time on X servers of
# their own.  A second try for the XTEST flake never hides a report: the
# sweep fails the run on any.
asan: deps
	cmake -S . -B $(ASAN) -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DQIR_SANITIZE=ON -DQIR_BENCH=OFF \
	  -DQIR_GUI_DISPLAYS=$(GUI_SHARDS) -DQIR_DATA_PREFIX=$(CURDIR)/$(ASAN)/data
	cmake --build $(ASAN) -j$(JOBS)
	rm -rf $(ASAN)/sanitizer && mkdir -p $(ASAN)/sanitizer
	cd $(ASAN) && $(SANITIZER_ENV) ctest -j$(JOBS) -L unit --output-on-failure --timeout 600; \
	  unit=$$?; \
	  $(SANITIZER_ENV) ctest -j$(GUI_SHARDS) -L gui \
	    --repeat until-pass:3 --output-on-failure --timeout 600; \
	  gui=$$?; \
	  sh $(CURDIR)/tests/sanitizer-reports.sh sanitizer && [ $$unit -eq 0 ] && [ $$gui -eq 0 ]

# Bounded libFuzzer runs of the parsers and decoders under AddressSanitizer.
fuzz:
	CC=clang CXX=clang++ cmake -S . -B $(FUZZ) -DQIR_FUZZ=ON -DQIR_SANITIZE=ON -DQIR_GUI=OFF -DQIR_TESTS=OFF -DQIR_BENCH=OFF
	cmake --build $(FUZZ) -j$(JOBS)
	sh tests/fuzz/run.sh $(FUZZ) $(FUZZ_SECONDS)

clean:
	rm -rf build
