## The writer's shortest number text against the plain precision search of
## __ledgeroracle__, on a million doubles and more, as values and as keys.

## Fails naming the first double whose texts differ when GOT and WANT,
## lists of texts joined by SEP, are not equal.
%!function same_texts (got, want, sep, x)
%!  if (strcmp (got, want))
%!    return;
%!  endif
%!  g = strsplit (got, sep);
%!  w = strsplit (want, sep);
%!  n = min (numel (g), numel (w));
%!  i = find (! strcmp (g(1:n), w(1:n)), 1);
%!  if (isempty (i))
%!    error ("the texts differ in length: %d and %d items", numel (g),
%!           numel (w));
%!  endif
%!  error ("double %d (bits %s) is written %s, the search gives %s", i,
%!         dec2hex (typecast (x(i), "uint64"), 16), g{i}, w{i});
%!endfunction

%!function x = by_bits (b)
%!  x = typecast (uint64 (b(:)), "double");
%!endfunction

## Neighbours of X, K doubles apart at most, as bit patterns.
%!function x = around (x, k)
%!  b = typecast (x(:), "uint64");
%!  x = [];
%!  for d = -k:k
%!    if (d < 0)
%!      x = [x; typecast(b - uint64 (-d), "double")];
%!    else
%!      x = [x; typecast(b + uint64 (d), "double")];
%!    endif
%!  endfor
%!endfunction

%!shared x
%! rand ("state", 42);
%! ## random bit patterns over the whole range of finite doubles
%! hi = uint64 (randi ([0, 2^32 - 1], 700000, 1));
%! lo = uint64 (randi ([0, 2^32 - 1], 700000, 1));
%! random = by_bits (bitor (bitshift (hi, 32), lo));
%! random = random(isfinite (random));
%! ## every power of two with its two neighbours
%! powers = around (2 .^ (-1074:1023)', 1);
%! ## subnormals
%! subnormal = by_bits (randi ([1, 2^52 - 1], 100000, 1));
%! ## whole numbers around 2^53 and 1e21, and the bounds of the layout
%! whole = [2^53 + (-5000:5000)'; 1e21 + 1e6 * (-2000:2000)';
%!          around([1e21; 1e20; 1e-6; 1e-7; 1], 1000)];
%! ## whole numbers of every length below 2^53, which have a path of their own
%! whole = [whole; floor(rand (100000, 1) .* 10 .^ randi ([1, 16], 100000, 1))];
%! ## few digits, the common case
%! short = round (rand (200000, 1) * 1e6) ./ 10 .^ randi ([0, 12], 200000, 1);
%! table = [1; 100; -2.5; 0.1; 0.3; 0.1 + 0.2; 123.456; 2^53; 1e20;
%!          1.2345678901234568e20; 1e21; 1.5e21; 1e-6; 1.5e-6; 1e-7;
%!          1.5e-7; 2^-1074; realmax; 2^-44; 0; -0];
%! x = [random; powers; subnormal; whole; short; table];
%! x = x(isfinite (x));
%! ## both signs in every group
%! x(2:2:end) = -x(2:2:end);

%!test
%! assert (numel (x) >= 1e6);
%! same_texts (emit_tree (x), ["[" __ledgeroracle__("shortest", x, true) "]"],
%!             ",", x);

%!test
%! ## as keys: no ".0" on whole numbers, and the words for non-finite ones
%! k = [x; NaN; -NaN; Inf; -Inf];
%! t = struct ();
%! t.keys = num2cell (k);
%! t.values = cell (numel (k), 1);
%! sep = '":[],"';
%! want = ['{"' strrep(__ledgeroracle__("shortest", k, false), ",", sep) ...
%!         '":[]}'];
%! same_texts (emit_tree (t), want, sep, k);

## The oracle itself
%!test
%! ## x, as a value, as a key
%! cases = {
%!   1,                      "1.0",                      "1"
%!   100,                    "100.0",                    "100"
%!   0.1 + 0.2,              "0.30000000000000004",      "0.30000000000000004"
%!   1e20,                   "100000000000000000000.0",  "100000000000000000000"
%!   1.2345678901234568e20,  "123456789012345680000.0",  "123456789012345680000"
%!   1e21,                   "1e21",                     "1e21"
%!   1e-6,                   "0.000001",                 "0.000001"
%!   -1.5e-7,                "-1.5e-7",                  "-1.5e-7"
%!   2^-1074,                "5e-324",                   "5e-324"
%!   realmax,                "1.7976931348623157e308",   "1.7976931348623157e308"
%!   2^-44,                  "5.6843418860808015e-14",   "5.6843418860808015e-14"
%!   -0,                     "-0.0",                     "-0"
%!   Inf,                    "Inf",                      "Inf"
%!   -Inf,                   "-Inf",                     "-Inf"
%!   NaN,                    "NaN",                      "NaN"
%! };
%! assert (__ledgeroracle__ ("shortest", [cases{:,1}], true),
%!         strjoin (cases(:,2)', ","));
%! assert (__ledgeroracle__ ("shortest", [cases{:,1}], false),
%!         strjoin (cases(:,3)', ","));
%! assert (__ledgeroracle__ ("shortest", [], true), "");
%!test
%! d = __ledgeroracle__ ("strtod", "1.5,-0,1e400,-1e400,1e-400,4.9e-324,0.1");
%! assert (d, [1.5; -0; Inf; -Inf; 0; 2^-1074; 0.1]);
%! assert (signbit (d(2)));
%! assert (__ledgeroracle__ ("strtod", "7"), 7);
%! assert (size (__ledgeroracle__ ("strtod", "")), [0, 1]);
%!error <unknown mode> __ledgeroracle__ ("neither", 1)
