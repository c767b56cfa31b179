## Copyright (C) 2026 ledgerkit developers
##
## This file is part of ledgerkit, free software under the GNU General
## Public License, version 3 or later; see the file COPYING.

## -*- texinfo -*-
## @deftypefn {} {@var{tree} =} ledgerset (@var{tree}, @var{path}, @var{value})
## Return the JSON tree @var{tree} with the value at @var{path} replaced by
## @var{value}.
##
## @var{path} is a JSON Pointer text or a cell array of steps, as for
## @code{ledgerget}.  Of a key that occurs more than once in an object, the
## last member is the one replaced.  When the last step is missing, it is
## added: a key as a new member at the end of its object, a position one
## past the end of its array (or @qcode{"-"} in a pointer) as a new last
## element.  Any other missing step raises an error with the identifier
## @qcode{"ledgerkit:path"}, as do the wrong steps @code{ledgerget} refuses.
## Setting the whole document (@qcode{""} or @code{@{@}}) returns
## @var{value} as a tree.
##
## @var{value} may be a tree or an ordinary value: it is stored as
## @code{ledgertree} makes it, so @code{struct ("a", 1)} becomes an object
## and a matrix an array of its rows.  Only the objects and arrays along
## @var{path} are new in the result; everything else is shared with
## @var{tree}, which itself stays as it was.
##
## Examples:
##
## @example
## @group
## t = ledgerdecode ('@{"servers": [@{"port": 80@}]@}');
## t = ledgerset (t, "/servers/0/port", 8080);
## t = ledgerset (t, @{"servers", 2@}, struct ("port", 9090));
## t = ledgerset (t, "/servers/-", struct ("port", 7070));
## ledgerencode (t)
##   @result{} @{"servers":[@{"port":8080.0@},@{"port":9090.0@},@{"port":7070.0@}]@}
## @end group
## @end example
##
## @seealso{ledgerget, ledgertree, ledgerplain, ledgerencode}
## @end deftypefn

function tree = ledgerset (tree, path, value)

  if (nargin != 3)
    print_usage ();
  endif
  tree = __ledgerconvert__ ("set", "ledgerset", tree, path, value);

endfunction

%!demo
%! ## Change one nested value, add a member and an element.
%! t = ledgerdecode ('{"study": {"subjects": [{"id": "s1", "age": 30}]}}');
%! t = ledgerset (t, "/study/subjects/0/age", 31);
%! t = ledgerset (t, {"study", "subjects", 1, "site"}, "Oslo");
%! t = ledgerset (t, "/study/subjects/-", struct ("id", "s2", "age", 25));
%! disp (ledgerencode (t, "Pretty", true))

%!shared t
%! t = ledgerdecode ('{"a": {"b": [10, {"c": "x"}]}, "d": 1, "d": 2}');

%!test
%! ## Replace, add a member, add an element; the last of equal keys.
%! cases = {
%!   "/a/b/0",     {"a", "b", 1},       '{"a":{"b":[5.0,{"c":"x"}]},"d":1.0,"d":2.0}'
%!   "/a/b/1/c",   {"a", "b", 2, "c"},  '{"a":{"b":[10.0,{"c":5.0}]},"d":1.0,"d":2.0}'
%!   "/d",         {"d"},               '{"a":{"b":[10.0,{"c":"x"}]},"d":1.0,"d":5.0}'
%!   "/e",         {"e"},               '{"a":{"b":[10.0,{"c":"x"}]},"d":1.0,"d":2.0,"e":5.0}'
%!   "/a/b/2",     {"a", "b", 3},       '{"a":{"b":[10.0,{"c":"x"},5.0]},"d":1.0,"d":2.0}'
%!   "/a/b/-",     {"a", "b", 3},       '{"a":{"b":[10.0,{"c":"x"},5.0]},"d":1.0,"d":2.0}'
%!   "/a/b/1/~1",  {"a", "b", 2, "/"},  '{"a":{"b":[10.0,{"c":"x","/":5.0}]},"d":1.0,"d":2.0}'
%! };
%! for i = 1:rows (cases)
%!   assert (ledgerencode (ledgerset (t, cases{i,1}, 5)), cases{i,3});
%!   assert (ledgerencode (ledgerset (t, cases{i,2}, 5)), cases{i,3});
%! endfor
%! ## The tree given stays as it was.
%! assert (ledgerencode (t), '{"a":{"b":[10.0,{"c":"x"}]},"d":1.0,"d":2.0}');

%!test
%! ## The root is replaced by the value, made a tree.
%! assert (ledgerset (t, "", 7), 7);
%! assert (ledgerset (t, {}, {1, "a"}), {1, "a"});
%! assert (ledgerencode (ledgerset (t, "", struct ("k", [1 2; 3 4]))),
%!         '{"k":[[1.0,2.0],[3.0,4.0]]}');

%!test
%! ## Ordinary values are stored as trees; a set value reads back.
%! v = struct ("name", "n", "list", {{1, "two"}}, "m", true (2, 2));
%! u = ledgerset (t, "/a/v", v);
%! assert (ledgerencode (ledgerget (u, "/a/v")),
%!         '{"name":"n","list":[1.0,"two"],"m":[[true,true],[true,true]]}');
%! assert (ledgerplain (ledgerget (u, "/a/v/list")), {1; "two"});
%! assert (ledgerget (ledgerset (u, "/a/v/list/1", "three"), "/a/v/list/1"), "three");

%!test
%! ## Arrays of other shapes: rows stay rows, numbers become elements.
%! h = struct ("keys", {{"r"; "n"; "e"}}, "values", {{{1, 2}; [1 2 3]; {}}});
%! u = ledgerset (h, "/r/-", 3);
%! assert (ledgerget (u, "/r"), {1, 2, 3});
%! u = ledgerset (h, "/n/1", "x");
%! assert (ledgerget (u, "/n"), {1; "x"; 3});
%! assert (ledgerget (ledgerset (h, "/n/-", 4), "/n"), {1; 2; 3; 4});
%! assert (ledgerget (ledgerset (h, "/e/0", 1), "/e"), {1});
%! ## An object with keys of other classes and one built as a row.
%! h = struct ("keys", {{"a", 2}}, "values", {{1, 2}});
%! assert (ledgerencode (ledgerset (h, "/2", 3)), '{"a":1.0,"2":3.0}');
%! assert (ledgerencode (ledgerset (h, "/b", 3)), '{"a":1.0,"2":2.0,"b":3.0}');

%!error <ledgerset: no member "x" in the object at the root \(only the last step of a path can be added\)> ledgerset (t, "/x/y", 1)
%!error <ledgerset: no element 4 in the array of 2 elements at /a/b> ledgerset (t, {"a", "b", 4}, 1)
%!error <ledgerset: no element "3" \(counted from 0\) in the array of 2 elements at /a/b> ledgerset (t, "/a/b/3", 1)
%!error <ledgerset: no element "-" in the array of 2 elements at /a/b \(only the last> ledgerset (t, "/a/b/-/c", 1)
%!error <ledgerset: the step 1 is a position, but the value at /a is an object> ledgerset (t, {"a", 1}, 1)
%!error <ledgerset: the step "c" is not a position, but the value at /a/b is an array> ledgerset (t, "/a/b/c", 1)
%!error <ledgerset: the step "x" goes into the value at /d, which is a number> ledgerset (t, "/d/x", 1)
%!error <ledgerset: the JSON Pointer "a" must be empty> ledgerset (t, "a", 1)
%!error <ledgerset: step 3 of the path must be a text key or a positive whole number, not 0> ledgerset (t, {"a", "b", 0}, 1)
%!error <ledgerset: a 1x1 function_handle cannot be written as JSON \(at /a/b/1/f/0\)\.> ledgerset (t, "/a/b/1/f", {@sin})
%!error <ledgerset: a 1x1 function_handle cannot be written as JSON \(at /a/new\)\.> ledgerset (t, {"a", "new"}, @sin)
%!error <ledgerset: a 1x1 function_handle cannot be written as JSON \(at /a/b/2\)\.> ledgerset (t, "/a/b/-", @sin)
%!error <Invalid call to ledgerset> ledgerset (t, "/a")
%!test
%! try
%!   ledgerset (t, "/x/y", 1);
%! catch err
%!   assert (err.identifier, "ledgerkit:path");
%! end_try_catch
