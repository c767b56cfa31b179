#!/usr/bin/env bash
# Run demo/demo.m with the modules and functions of this work tree.
set -eu
top=$(cd "$(dirname "$0")/.." && pwd)
OCTAVE=${OCTAVE:-octave-cli}
LEDGER_TOP=$top exec "$OCTAVE" --no-gui --norc --no-history --quiet \
  --no-window-system --eval '
  top = getenv ("LEDGER_TOP");
  addpath (fullfile (top, "reader"), fullfile (top, "writer"),
           fullfile (top, "convert"), fullfile (top, "inst"), fullfile (top, "tools"));
  ledger_autoload (top);
  run (fullfile (top, "demo", "demo.m"));'
