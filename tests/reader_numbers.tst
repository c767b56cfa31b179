## The reader's number conversion against strtod, the plain reference, on
## many literals: every literal must give the very same double, bit for bit.

%!function check_against_strtod (lits, what)
%!  text = strjoin (lits, ",");
%!  tree = __ledgerscan__ (["[", text, "]"], false, false, false);
%!  assert (iscell (tree), [what ": the literals did not read"]);
%!  ## Whole numbers beyond 2^53 read as 64-bit integers; the rest as doubles.
%!  isdbl = cellfun ("isclass", tree, "double");
%!  assert (all (cellfun (@isempty, regexp (lits(! isdbl), "[.eE]", "once"))));
%!  got = [tree{isdbl}](:);
%!  want = __ledgeroracle__ ("strtod", text)(isdbl);
%!  lits = lits(isdbl);
%!  bad = find (typecast (got, "uint64") != typecast (want, "uint64"), 1);
%!  if (! isempty (bad))
%!    error ("%s: literal %s reads %.17g, strtod %.17g", what, lits{bad},
%!           got(bad), want(bad));
%!  endif
%!endfunction
%!function x = random_doubles (n, subnormal = false)
%!  bits = randi ([0, 2^32 - 1], 2 * n, 1, "uint32");
%!  if (subnormal)
%!    bits(2:2:end) = bitand (bits(2:2:end), uint32 (2^20 - 1));
%!  endif
%!  x = typecast (bits, "double");
%!  x = x(isfinite (x));
%!endfunction
%!function c = lines (s)
%!  c = strsplit (s(1:end-1), ",");
%!endfunction

%!test
%! rand ("seed", 1); randn ("seed", 1);
%! x = random_doubles (2e5);
%! check_against_strtod (lines (sprintf ("%.17g,", x)), "17 digits");
%! check_against_strtod (lines (sprintf ("%.16g,", x(1:5e4))), "16 digits");
%! check_against_strtod (lines (sprintf ("%.15e,", x(1:5e4))), "15 digits");

%!test
%! ## Short decimals, and whole numbers written as doubles.
%! check_against_strtod (lines (sprintf ("%.3f,", 1000 * rand (5e4, 1))), "short decimals");
%! check_against_strtod (lines (sprintf ("%.1f,", randi (1e6, 5e4, 1) / 10)), "tenths");
%! check_against_strtod (lines (sprintf ("%de0,", randi (1e9, 2e4, 1))), "whole numbers");
%! check_against_strtod ({"0.1", "0.2", "0.3", "-0.0", "0e0", "0.0e-999", "1e0", "-1.5E+2"}, "simple");

%!test
%! ## Long mantissas: the exact expansions of doubles, and digits beyond them.
%! x = random_doubles (300);
%! check_against_strtod (lines (sprintf ("%.767e,", x)), "exact expansions");
%! x = random_doubles (2e4);
%! check_against_strtod (lines (sprintf ("%.40e,", x)), "40 digits");
%! long = arrayfun (@(k) ["0.", char(47 + randi (10, 1, k))], randi ([20 400], 1, 500), "uniformoutput", false);
%! check_against_strtod (long, "long fractions");
%! long = arrayfun (@(k) [char(48 + randi (9, 1, 1)), char(47 + randi (10, 1, k)), ".5"], randi ([20 330], 1, 500), "uniformoutput", false);
%! check_against_strtod (long, "long integer parts");

%!test
%! ## Exponents at both ends of the range, beyond it, and subnormals.
%! m = randi (999999, 2e4, 1);
%! check_against_strtod (lines (sprintf ("%de%d,", [m, randi([-345, -290], 2e4, 1)]')), "low exponents");
%! check_against_strtod (lines (sprintf ("%de%d,", [m, randi([290, 320], 2e4, 1)]')), "high exponents");
%! check_against_strtod (lines (sprintf ("%.6fe-%d,", [rand(2e3, 1), randi([400 99999], 2e3, 1)]')), "below the range");
%! s = random_doubles (2e4, true);
%! check_against_strtod (lines (sprintf ("%.17g,", s)), "subnormals");
%! check_against_strtod (lines (sprintf ("%.25e,", s(1:5e3))), "subnormals, 26 digits");
%! check_against_strtod ({"2.2250738585072011e-308", "2.2250738585072012e-308", ...
%!                        "2.2250738585072014e-308", "4.9406564584124654e-324", ...
%!                        "2.4703282292062327e-324", "2.4703282292062328e-324", ...
%!                        "1.7976931348623157e308", "1.7976931348623158e308", ...
%!                        "1.7976931348623159e308", "-1e400", "1e-400", "-1e-400"}, "edges");

%!test
%! ## Halfway cases: exactly between two doubles, rounding to the even one.
%! lits = {};
%! for k = 0:9
%!   step = uint64 (2) ^ k;
%!   base = uint64 (2) ^ (53 + k) + uint64 (randi (2^30, 300, 1)) * 2 * step;
%!   mid = base + step;
%!   lits = [lits, lines(sprintf ("%d.0,", mid)), lines(sprintf ("%de0,", mid))];
%! endfor
%! check_against_strtod (lits, "halfway");
%! ## Integers too big for 64 bits become doubles by the same rounding.
%! check_against_strtod (lines (sprintf ("%d%03d,", [randi(2^31, 5e3, 1), randi(999, 5e3, 1)]')), "whole numbers");
%! big = lines (sprintf ("18446744073709551%03d,", 616:999));
%! check_against_strtod (big, "just above 2^64");
