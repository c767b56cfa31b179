## Copyright (C) 2026 ledgerkit developers
##
## This file is part of ledgerkit, free software under the GNU General
## Public License, version 3 or later; see the file COPYING.

## -*- texinfo -*-
## @deftypefn {} {@var{s} =} describe_value (@var{x})
## Name what @var{x} is in an error about a wrong argument: its class, and
## for a character array that is not a row also its size ("a 2x3 char array").
## @end deftypefn

function s = describe_value (x)
  if (ischar (x))
    dims = arrayfun (@num2str, size (x), "uniformoutput", false);
    s = sprintf ("a %s char array", strjoin (dims, "x"));
  else
    s = class (x);
  endif
endfunction
