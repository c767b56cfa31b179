## Copyright (C) 2026 ledgerkit developers
##
## This file is part of ledgerkit, free software under the GNU General
## Public License, version 3 or later; see the file COPYING.

## -*- texinfo -*-
## @deftypefn {} {@var{recs} =} log_records (@var{n}, @var{seed})
## @var{n} JSON records of about 100 bytes, all different, of the kinds a
## log holds, as an n-by-1 cell of texts; @var{seed} the state of rand.
## @end deftypefn

function recs = log_records (n, seed)
  rand ("state", seed);
  ids = randi (1e9, n, 1);
  score = round (rand (n, 1) * 1e4) / 100;
  words = {"alpha", "beta", "gamma", "delta"};
  truth = {"false", "true"};
  recs = cell (n, 1);
  for i = 1:n
    recs{i} = sprintf (['{"id":%d,"user":"user%d","ok":%s,"score":%g,' ...
                        '"tags":["%s","%s"],"at":"2026-12-10T15:%02d:%02dZ"}'],
                       ids(i), mod (ids(i), 9973), truth{mod(ids(i), 2) + 1},
                       score(i), words{mod(i, 4) + 1}, words{mod(i, 3) + 1},
                       mod (i, 60), mod (i, 59));
  endfor
endfunction
