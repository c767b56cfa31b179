## Copyright (C) 2026 ledgerkit developers
##
## This file is part of ledgerkit, free software under the GNU General
## Public License, version 3 or later; see the file COPYING.

## -*- texinfo -*-
## @deftypefn {} {} put_file (@var{file}, @var{text})
## Write @var{text} to @var{file}, replacing it; an error if it cannot be
## opened.
## @end deftypefn

function put_file (f, text)
  fid = fopen (f, "w");
  if (fid < 0)
    error ("bench: cannot write '%s'", f);
  endif
  fwrite (fid, text);
  fclose (fid);
endfunction
