#!/usr/bin/env bash
# A short run of the fuzz harnesses, about a minute in all: any crash,
# leak, time-out or sanitizer report fails the check.  `make fuzz` runs
# them longer.
exec bash "$(dirname "$0")/../fuzz/run.sh" "${LEDGER_FUZZ_CHECK_SECONDS:-60}"
