## Copyright (C) 2026 ledgerkit developers
##
## This file is part of ledgerkit, free software under the GNU General
## Public License, version 3 or later; see the file COPYING.

## -*- texinfo -*-
## @deftypefn {} {@var{ok} =} reset_hwm ()
## Reset this process's peak resident size (VmHWM) to its present one:
## Linux does so when "5" is written to /proc/self/clear_refs.  False where
## it cannot be reset.
## @end deftypefn

function ok = reset_hwm ()
  ok = false;
  fid = fopen ("/proc/self/clear_refs", "w");
  if (fid >= 0)
    ok = fprintf (fid, "5") == 1;
    ok = fclose (fid) == 0 && ok;
  endif
endfunction
