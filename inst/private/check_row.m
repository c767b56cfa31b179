## Copyright (C) 2026 ledgerkit developers
##
## This file is part of ledgerkit, free software under the GNU General
## Public License, version 3 or later; see the file COPYING.

## -*- texinfo -*-
## @deftypefn {} {} check_row (@var{fname}, @var{name}, @var{x})
## Raise an error of @var{fname} unless the argument @var{name}, whose value
## is @var{x}, is a character row; the error says what @var{x} is instead:
## its class, and for a character array that is not a row also its size
## ("a 2x3 char array").
## @end deftypefn

function check_row (fname, name, x)
  if (ischar (x) && rows (x) <= 1 && ndims (x) == 2)
    return;
  endif
  if (ischar (x))
    dims = arrayfun (@num2str, size (x), "uniformoutput", false);
    what = sprintf ("a %s char array", strjoin (dims, "x"));
  else
    what = class (x);
  endif
  error ("Octave:invalid-input-arg", "%s: %s must be a character row, not %s",
         fname, name, what);
endfunction
