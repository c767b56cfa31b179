# src/Makefile of the ledgerkit package: the package manager runs `make`
# here with MKOCTFILE set, then installs the .oct files it finds.
MKOCTFILE ?= mkoctfile
include flags.mk

# Every module source of the package.
MODULES = $(patsubst %.cc,%.oct,$(wildcard *.cc))

all: $(MODULES)

%.oct: %.cc
	CXXFLAGS="$(LEDGER_CXXFLAGS)" $(MKOCTFILE) -o $@ $<
	@rm -f $(@:.oct=.o)

clean:
	rm -f $(MODULES) *.o

.PHONY: all clean
