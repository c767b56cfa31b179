# ledgerkit: lossless JSON for the Octave interpreter.
#   make          build the two modules
#   make check    install what is missing, build, run every test
#   make demo     a short tour on a shipped sample
#   make bench    compare with the interpreter's jsondecode/jsonencode

MKOCTFILE ?= mkoctfile
OCTAVE    ?= octave-cli
# Optimised, with warnings on; mkoctfile takes its compiler flags from here.
LEDGER_CXXFLAGS ?= -O2 -g -Wall -Wextra -Wshadow -std=gnu++17

MODULES = reader/__ledgerscan__.oct writer/__ledgeremit__.oct \
          convert/__ledgerconvert__.oct
# Test-only helpers (reference implementations used as oracles).
TEST_MODULES = tests/__ledgeroracle__.oct

.PHONY: all deps check test clean bench demo dist install fuzz sanitize

all: deps $(MODULES)

deps:
	@bash tools/deps.sh

%.oct: %.cc
	CXXFLAGS="$(LEDGER_CXXFLAGS)" $(MKOCTFILE) -o $@ $<
	@rm -f $(@:.oct=.o)

check: all $(TEST_MODULES)
	@bash tools/run-tests.sh

test: check

clean:
	rm -f $(MODULES) $(TEST_MODULES) reader/*.o writer/*.o convert/*.o tests/*.o
	rm -rf build sanitize dist fuzz/out ledgerkit-*.tar.gz

dist:
	@bash tools/dist.sh

install: deps dist
	@bash tools/install.sh

demo: all
	@bash tools/demo.sh

# Fuzzing and sanitizer runs: fuzz/run.sh, tools/sanitize.sh.
FUZZ_SECONDS ?= 600

fuzz: deps
	@bash fuzz/run.sh $(FUZZ_SECONDS)

sanitize: deps
	@bash tools/sanitize.sh

# Benchmark against jsondecode/jsonencode; not part of make check.
#   make bench [DATA=folder of *.json] [ONLY=regexp of document names]
DATA = $(wildcard ../shared/bench-data)
ONLY =
bench: all $(patsubst %.cc,%.oct,$(wildcard tests/__ledgeroracle__.cc))
	LEDGER_BENCH_DATA="$(DATA)" LEDGER_BENCH_ONLY="$(ONLY)" \
	$(OCTAVE) --no-gui --norc --no-history --quiet --no-window-system \
	  --eval 'addpath("bench"); bench(getenv("LEDGER_BENCH_DATA"), 7, 3, getenv("LEDGER_BENCH_ONLY"))'
