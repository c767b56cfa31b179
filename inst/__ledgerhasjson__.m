## Copyright (C) 2026 ledgerkit developers
##
## This file is part of ledgerkit, free software under the GNU General
## Public License, version 3 or later; see the file COPYING.

## -*- texinfo -*-
## @deftypefn {} {@var{tf} =} __ledgerhasjson__ ()
## True when this interpreter has @code{jsondecode} and @code{jsonencode}
## (built in from Octave 7; Octave 6 has neither).
##
## The tests, the demo and the benchmark that compare ledgerkit with them
## ask this, and say so and go on where it is false.
## @end deftypefn

function tf = __ledgerhasjson__ ()

  tf = any (exist ("jsondecode") == [2, 5]) && any (exist ("jsonencode") == [2, 5]);

endfunction

%!test
%! if (__ledgerhasjson__ ())
%!   assert (jsondecode (jsonencode ({1, "a"})), {1; "a"});
%! else
%!   assert (! any (exist ("jsondecode") == [2, 5]) || ! any (exist ("jsonencode") == [2, 5]));
%!   fail ("jsondecode ('[1]')", "undefined");
%! endif
