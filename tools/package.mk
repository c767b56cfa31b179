# src/Makefile of the ledgerkit package: the package manager runs `make`
# here with MKOCTFILE set, then installs the .oct files it finds.
MKOCTFILE ?= mkoctfile
include flags.mk

# Every module source of the package.
MODULES = $(patsubst %.cc,%.oct,$(wildcard *.cc))

all: $(MODULES)

# The shared core is in core/, the modules' own headers beside them.
%.oct: %.cc $(wildcard *.h core/*.h)
	CXXFLAGS="$(LEDGER_CXXFLAGS)" $(MKOCTFILE) -I. -o $@ $< $(LEDGER_LIBS)
	@rm -f $(@:.oct=.o)

clean:
	rm -f $(MODULES) *.o

.PHONY: all clean
