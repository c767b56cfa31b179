# src/Makefile of the ledgerkit package: the package manager runs `make`
# here with MKOCTFILE set, then installs the .oct files it finds.
MKOCTFILE ?= mkoctfile
# Optimised; mkoctfile takes its compiler flags from CXXFLAGS.
LEDGER_CXXFLAGS ?= -O2 -std=gnu++17

MODULES = __ledgerscan__.oct __ledgeremit__.oct __ledgerconvert__.oct

all: $(MODULES)

%.oct: %.cc
	CXXFLAGS="$(LEDGER_CXXFLAGS)" $(MKOCTFILE) -o $@ $<
	@rm -f $(@:.oct=.o)

clean:
	rm -f $(MODULES) *.o

.PHONY: all clean
