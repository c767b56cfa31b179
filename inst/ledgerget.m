## Copyright (C) 2026 ledgerkit developers
##
## This file is part of ledgerkit, free software under the GNU General
## Public License, version 3 or later; see the file COPYING.

## -*- texinfo -*-
## @deftypefn  {} {@var{value} =} ledgerget (@var{tree}, @var{path})
## @deftypefnx {} {[@var{value}, @var{found}] =} ledgerget (@var{tree}, @var{path})
## Return the value that @var{path} names in the JSON tree @var{tree}.
##
## @var{path} is either a JSON Pointer (RFC 6901) text or a cell array of
## steps.  In a pointer, @qcode{""} is the whole document, each step
## follows a @qcode{"/"}, @qcode{"~0"} and @qcode{"~1"} stand for @qcode{"~"}
## and @qcode{"/"}, and array positions count from 0: @qcode{"/servers/0/port"}.
## In a cell array, text steps are keys and positive whole numbers are array
## positions counted from 1: @code{@{"servers", 1, "port"@}}.  Of a key that
## occurs more than once in an object, the last member is the one read, as
## every common JSON reader keeps the last.
##
## @var{value} is the part of the tree there, itself a tree (an object is
## a structure with the fields @qcode{keys} and @qcode{values}, an array a
## cell); @code{ledgerplain} makes ordinary values of it.  Only the path is
## followed: the tree is not copied, so this takes the same time in a large
## document as in a small one.
##
## A missing key or position raises an error with the identifier
## @qcode{"ledgerkit:path"} that names the step and where it is missing.
## Asked for @var{found}, @code{ledgerget} returns @var{found} false and
## @var{value} @code{[]} instead.  A wrong step raises the same error in
## both forms: a position into an object, a key into an array, a step into
## a number, text, true, false or null, a malformed pointer such as
## @qcode{"a/b"} or @qcode{"/~2"}, or a position 0 or 1.5.
##
## Examples:
##
## @example
## @group
## t = ledgerdecode ('@{"servers": [@{"port": 80@}, @{"port": 8080, "port": 8081@}]@}');
## ledgerget (t, "/servers/1/port")
##   @result{} 8081
## ledgerget (t, @{"servers", 1, "port"@})
##   @result{} 80
## [v, found] = ledgerget (t, "/servers/2/port")
##   @result{} v = [](0x0)
##   @result{} found = 0
## @end group
## @end example
##
## @seealso{ledgerset, ledgerplain, ledgertree, ledgerdecode}
## @end deftypefn

function [value, found] = ledgerget (tree, path)

  if (nargin != 2)
    print_usage ();
  endif
  [value, found] = __ledgerconvert__ ("get", "ledgerget", tree, path,
                                      nargout > 1);

endfunction

%!demo
%! ## Read one value out of a document, by pointer or by steps.
%! t = ledgerdecode (['{"study": {"subjects": [' ...
%!                    '{"id": "s1", "scans": [{"task": "rest"}]}, ' ...
%!                    '{"id": "s2", "scans": [{"task": "rest"}, {"task": "motor"}]}]}}']);
%! task = ledgerget (t, "/study/subjects/1/scans/1/task")
%! same = ledgerget (t, {"study", "subjects", 2, "scans", 2, "task"})
%! [v, found] = ledgerget (t, "/study/subjects/5")

%!shared t
%! t = ledgerdecode (['{"a": {"b": [10, {"c": "x"}, [true, null]]}, ' ...
%!                    '"d": 1, "d": 2, "a/b": 3, "m~n": 4, "": 5, "0": 6}']);

%!test
%! ## Pointers and cell paths reach the same values; the last of equal keys.
%! cases = {
%!   "/a/b/0",         {"a", "b", 1},           10
%!   "/a/b/1/c",       {"a", "b", 2, "c"},      "x"
%!   "/a/b/2/0",       {"a", "b", 3, 1},        true
%!   "/a/b/2/1",       {"a", "b", 3, 2},        struct([])
%!   "/d",             {"d"},                   2
%!   "/a~1b",          {"a/b"},                 3
%!   "/m~0n",          {"m~n"},                 4
%!   "/",              {""},                    5
%!   "/0",             {"0"},                   6
%! };
%! for i = 1:rows (cases)
%!   assert (ledgerget (t, cases{i,1}), cases{i,3});
%!   assert (ledgerget (t, cases{i,2}), cases{i,3});
%!   [v, found] = ledgerget (t, cases{i,1});
%!   assert (found, true);
%! endfor
%! assert (ledgerget (t, ""), t);
%! assert (ledgerget (t, {}), t);
%! ## A container comes back as a tree; positions of any whole-number class.
%! assert (ledgerget (t, "/a/b/2"), {true; struct([])});
%! assert (ledgerget (t, {"a", "b", int8(1)}), 10);
%! assert (ledgerget (t, {"a"; "b"; uint64(2); "c"}), "x");

%!test
%! ## A missing step: found false and [], or an error naming it.
%! for p = {"/x", "/a/b/3", "/a/b/-", "/a/x/y", "/a/b/99999999999999999999", ...
%!          {"a", "b", 4}, {"a", "c"}}
%!   [v, found] = ledgerget (t, p{1});
%!   assert (found, false);
%!   assert (v, []);
%! endfor
%! ## The values of hand-made trees: numeric arrays, row cells, any keys.
%! h = struct ("keys", {{"v", 2, true}}, "values", {{[5 6 7], {1, "r"}, 9}});
%! assert (ledgerget (h, "/v/2"), 7);
%! assert (ledgerget (h, {"2", 2}), "r");
%! assert (ledgerget (h, "/true"), 9);

%!error <ledgerget: no member "x" in the object at the root> ledgerget (t, "/x")
%!error <ledgerget: no element "3" \(counted from 0\) in the array of 3 elements at /a/b> ledgerget (t, "/a/b/3")
%!error <ledgerget: no element 4 in the array of 3 elements at /a/b> ledgerget (t, {"a", "b", 4})
%!error <ledgerget: no element "-" in the array of 3 elements at /a/b> ledgerget (t, "/a/b/-")
%!error <ledgerget: no member "x" in the object at /a> ledgerget (t, "/a/x/y")
%!error <the step "c" is not a position, but the value at /a/b is an array> ledgerget (t, "/a/b/c")
%!error <the step "01" is not a position, but the value at /a/b is an array> ledgerget (t, "/a/b/01")
%!error <the step "c" is not a position, but the value at /a/b is an array> ledgerget (t, {"a", "b", "c"})
%!error <the step 1 is a position, but the value at /a is an object> ledgerget (t, {"a", 1})
%!error <the step "x" goes into the value at /d, which is a number, not an object or array> ledgerget (t, "/d/x")
%!error <the step 1 goes into the value at /a/b/1/c, which is text> ledgerget (t, {"a", "b", 2, "c", 1})
%!error <the step "0" \(counted from 0\) goes into the value at /a/b/2/1, which is null> ledgerget (t, "/a/b/2/1/0")
%!error <the step "x" goes into the value at /a/b/2/0, which is true or false> ledgerget (t, "/a/b/2/0/x")
%!error <the JSON Pointer "a/b" must be empty or start with "/"> ledgerget (t, "a/b")
%!error <the JSON Pointer "/~2" has a "~" that is not "~0" or "~1"> ledgerget (t, "/~2")
%!error <the JSON Pointer "/a~" has a "~"> ledgerget (t, "/a~")
%!error <step 2 of the path must be a text key or a positive whole number, not 0> ledgerget (t, {"a", 0})
%!error <step 3 of the path must be a text key or a positive whole number, not 1.5> ledgerget (t, {"a", "b", 1.5})
%!error <step 1 of the path must be a text key or a positive whole number, not -1> ledgerget (t, {int8(-1)})
%!error <step 1 of the path must be a text key or a positive whole number, not a 1x2 double array> ledgerget (t, {[1 2]})
%!error <step 1 of the path must be a text key or a positive whole number, not a logical> ledgerget (t, {true})
%!error <PATH must be a JSON Pointer text or a cell array of steps, not a double> ledgerget (t, 1)
%!error <PATH must be a JSON Pointer text or a cell array of steps, not a 2x2 char array> ledgerget (t, ["ab"; "cd"])
%!error <the step "x" is not a position> [v, found] = ledgerget (t, "/a/b/x")
%!error <the JSON Pointer> [v, found] = ledgerget (t, "x")
%!error <Invalid call to ledgerget> ledgerget (t)
%!test
%! ## Every path error has the identifier ledgerkit:path.
%! try
%!   ledgerget (t, "/a/q");
%! catch err
%!   assert (err.identifier, "ledgerkit:path");
%! end_try_catch
%! try
%!   ledgerget (t, {0});
%! catch err
%!   assert (err.identifier, "ledgerkit:path");
%! end_try_catch
