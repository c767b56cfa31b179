# ledgerkit: lossless JSON for the Octave interpreter.
#   make          build the modules
#   make check    install what is missing, build, run every test
#   make check-octave   the same on Octave 6.2, 9.4 and 11.3, in Debian chroots
#   make demo     a short tour on a shipped sample
#   make bench    compare with the interpreter's jsondecode/jsonencode

MKOCTFILE ?= mkoctfile
OCTAVE    ?= octave-cli
include tools/flags.mk

MODULES = reader/__ledgerscan__.oct writer/__ledgeremit__.oct \
          convert/__ledgerconvert__.oct stream/__ledgerstream__.oct
# Test-only helpers (reference implementations used as oracles).
TEST_MODULES = tests/__ledgeroracle__.oct

.PHONY: all deps check check-octave test clean bench demo dist install fuzz sanitize

# Plain `make` only builds; the targets that run something install what is
# missing first.
all: $(MODULES)

deps:
	@bash tools/deps.sh

# Every module includes the shared core from the top of the tree, and may
# have headers of its own beside its source: a change to any of them
# rebuilds it.
CORE = $(wildcard core/*.h)
.SECONDEXPANSION:
%.oct: %.cc $(CORE) $$(wildcard $$(dir $$@)*.h)
	CXXFLAGS="$(LEDGER_CXXFLAGS)" $(MKOCTFILE) -I. -Ireader -o $@ $< $(LEDGER_LIBS)
	@rm -f $(@:.oct=.o)

# The stream module reads records with the reader's grammar.
stream/__ledgerstream__.oct: reader/parser.h

check: deps all $(TEST_MODULES)
	@bash tools/run-tests.sh

test: check

# The suite on Octave 6.2 (Debian 11), 9.4 (Debian 13) and 11.3 (Debian
# testing), each in a
# Debian chroot cached outside the work tree; needs root.
#   make check-octave [RELEASES="bullseye trixie forky"] [LEDGER_CHECK_TARGET=sanitize]
RELEASES =
check-octave:
	@bash tools/check-octave.sh $(RELEASES)

clean:
	rm -f $(MODULES) $(TEST_MODULES) reader/*.o writer/*.o convert/*.o stream/*.o tests/*.o
	rm -rf build sanitize dist fuzz/out ledgerkit-*.tar.gz

dist:
	@bash tools/dist.sh

install: deps dist
	@bash tools/install.sh

demo: deps all
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
bench: deps all $(patsubst %.cc,%.oct,$(wildcard tests/__ledgeroracle__.cc))
	LEDGER_BENCH_DATA="$(DATA)" LEDGER_BENCH_ONLY="$(ONLY)" \
	$(OCTAVE) --no-gui --norc --no-history --quiet --no-window-system \
	  --eval 'addpath("bench"); bench(getenv("LEDGER_BENCH_DATA"), 7, 3, getenv("LEDGER_BENCH_ONLY"))'
