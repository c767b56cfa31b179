## Copyright (C) 2026 ledgerkit developers
##
## This file is part of ledgerkit, free software under the GNU General
## Public License, version 3 or later; see the file COPYING.

## -*- texinfo -*-
## @deftypefn {} {@var{kb} =} status_kb (@var{field})
## The value in kB of the line @var{field} (VmHWM, VmRSS) of this process's
## /proc/self/status, or NaN where there is none.
## @end deftypefn

function kb = status_kb (field)
  kb = NaN;
  fid = fopen ("/proc/self/status", "r");
  if (fid < 0)
    return;
  endif
  s = fread (fid, [1, Inf], "char=>char");
  fclose (fid);
  v = regexp (s, [field ':\s*(\d+)\s*kB'], "tokens", "once");
  if (! isempty (v))
    kb = str2double (v{1});
  endif
endfunction
