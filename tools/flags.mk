# The compiler flags of every module build: the work tree's and the installed
# package's.  Optimised, with warnings on; mkoctfile takes CXXFLAGS from here.
LEDGER_CXXFLAGS ?= -O2 -g -Wall -Wextra -Wshadow -std=gnu++17
# The libraries every module links: zlib, for gzip files.
LEDGER_LIBS ?= -lz
