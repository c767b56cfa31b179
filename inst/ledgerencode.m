## Copyright (C) 2026 ledgerkit developers
##
## This file is part of ledgerkit, free software under the GNU General
## Public License, version 3 or later; see the file COPYING.

## -*- texinfo -*-
## @deftypefn  {} {@var{text} =} ledgerencode (@var{value})
## @deftypefnx {} {@var{text} =} ledgerencode (@var{value}, @var{name}, @var{val}, @dots{})
## Return the JSON text of a tree or an ordinary value @var{value} as a
## character row.
##
## This is @code{saveledger} without a file: the text is made in memory and
## is exactly what @code{saveledger} would write, with the same values
## and the same options (@qcode{"Pretty"} or @qcode{"PrettyPrint"} for
## indented text, @qcode{"Indent"} for its width: 0 to 8 spaces or
## @qcode{"\t"}, 4 by default; @qcode{"Preserve"} for @code{NaN},
## @code{Infinity} and @code{-Infinity} as words instead of @code{null} or
## @qcode{"ConvertInfAndNaN"} for the opposite; @qcode{"Lines"} for JSON
## Lines; @qcode{"WholeNumbers"}, @qcode{"point"} or @qcode{"plain"}, for
## whole doubles as @code{1.0} or @code{1}; @qcode{"SortKeys"} for the
## members of objects in the order of their keys; @qcode{"Canonical"} for
## canonical JSON (RFC 8785); names in any case; @code{help saveledger}
## says more of each).  Text
## is written as its bytes, taken as UTF-8, and @code{ledgerdecode} reads
## @var{text} of a tree back to an equal tree.
##
## An ordinary value is written as @code{ledgertree} lays it out, as
## @code{jsonencode} does: a structure is an object of its fields, a
## structure array an array of objects, a matrix nested arrays by rows
## (@code{[1 2; 3 4]} is @code{[[1.0,2.0],[3.0,4.0]]}), a character matrix
## an array of its rows, a @code{containers.Map} an object; the text is
## that of @code{ledgertree (@var{value})} written, but no tree is made.
## A tree in it, or a tree given whole, is written as it stands.
##
## With @qcode{"Lines"}, @var{value} is a cell array (or a value that
## @code{ledgertree} makes an array of, such as a structure array) and each
## element is one compact document on a line of its own, each line ending
## in a line feed; an empty cell gives empty text.
##
## A value that cannot be written as JSON raises an error with the
## identifier @qcode{"ledgerkit:tree"} that says what is wrong and where (a
## JSON Pointer such as @code{/servers/2/port}): @code{ledgertree}'s error
## for an ordinary value, the writer's for a tree that cannot be written
## exactly as it stands.
##
## Examples:
##
## @example
## @group
## ledgerencode (ledgerdecode ('@{"id": 9007199254740993, "x": 1, "x": 0.1@}'))
##   @result{} @{"id":9007199254740993,"x":1.0,"x":0.1@}
## ledgerencode (@{NaN; "a"@}, "Preserve", true)
##   @result{} [NaN,"a"]
## ledgerencode (struct ("keys", @{@{"a"@}@}, "values", @{@{[]@}@}), "Pretty", true)
##   @result{} @{
##       "a": []
##   @}
## ledgerencode ([1 2; 3 4], "WholeNumbers", "plain")
##   @result{} [[1,2],[3,4]]
## ledgerencode (struct ("b", 1e21, "a", -0), "Canonical", true)
##   @result{} @{"a":0,"b":1e+21@}
## ledgerencode (@{1; "a"@}, "Lines", true)
##   @result{} 1.0
##      "a"
## ledgerencode (struct ("m", [1 2; 3 4], "id", @{int64(2)^62, "x"@}))
##   @result{} [@{"m":[[1.0,2.0],[3.0,4.0]],"id":4611686018427387904@},
##      @{"m":[[1.0,2.0],[3.0,4.0]],"id":"x"@}]
## @end group
## @end example
##
## @seealso{saveledger, ledgertree, ledgerdecode, loadledger, jsonencode}
## @end deftypefn

function text = ledgerencode (value, varargin)

  if (nargin < 1)
    print_usage ();
  endif
  ## The module reads the options and names this function in its errors.
  text = __ledgertext__ (value, varargin{:});

endfunction

%!test
%! ## Compact, pretty and preserved text; top-level values of every kind.
%! t = struct ("keys", {{"a"; "b"; 2; true}},
%!             "values", {{{1; "x"}; struct([]); -Inf; uint8(7)}});
%! cases = {
%!   {},                  '{"a":[1.0,"x"],"b":null,"2":null,"true":7}'
%!   {"Preserve", true},  '{"a":[1.0,"x"],"b":null,"2":-Infinity,"true":7}'
%!   {"pretty", 1},       "{\n    \"a\": [\n        1.0,\n        \"x\"\n    ],\n    \"b\": null,\n    \"2\": null,\n    \"true\": 7\n}"
%! };
%! for i = 1:rows (cases)
%!   text = ledgerencode (t, cases{i,1}{:});
%!   assert (text, cases{i,2});
%!   assert (class (text), "char");
%!   assert (rows (text), 1);
%! endfor
%! scalars = {
%!   5,            "5.0"
%!   "",           '""'
%!   struct([]),   "null"
%!   {},           "[]"
%!   intmin("int64"), "-9223372036854775808"
%!   false,        "false"
%! };
%! for i = 1:rows (scalars)
%!   assert (ledgerencode (scalars{i,1}), scalars{i,2});
%!   assert (ledgerencode (scalars{i,1}, "Pretty", true), scalars{i,2});
%! endfor
%! assert (ledgerencode ([1 2], "Pretty", true), "[\n    1.0,\n    2.0\n]");

%!test
%! ## Ordinary values are written as ledgertree lays them out: a matrix by
%! ## rows.  A matrix inside an object node is a tree's, in column order.
%! s = struct ("id", {1, 2}, "m", {[1 2; 3 4], "ab"});
%! cases = {
%!   [1 2; 3 4],                   "[[1.0,2.0],[3.0,4.0]]"
%!   ["ab"; "cd"],                 '["ab","cd"]'
%!   s,                            '[{"id":1.0,"m":[[1.0,2.0],[3.0,4.0]]},{"id":2.0,"m":"ab"}]'
%!   {int8([1 2; 3 4]), true(1, 2)}, "[[[1,2],[3,4]],[true,true]]"
%!   struct("t", struct("keys", {{"m"}}, "values", {{[1 2; 3 4]}})), '{"t":{"m":[1.0,3.0,2.0,4.0]}}'
%!   containers.Map({"b", "a"}, {[1 2], "x"}), '{"a":"x","b":[1.0,2.0]}'
%! };
%! for i = 1:rows (cases)
%!   assert (ledgerencode (cases{i,1}), cases{i,2});
%! endfor
%! assert (ledgerencode (s(1), "Pretty", true),
%!         sprintf ('{\n    "id": 1.0,\n    "m": [\n        [\n            1.0,\n            2.0\n        ],\n        [\n            3.0,\n            4.0\n        ]\n    ]\n}'));
%! assert (ledgerencode (s, "Lines", true),
%!         sprintf ('{"id":1.0,"m":[[1.0,2.0],[3.0,4.0]]}\n{"id":2.0,"m":"ab"}\n'));

%!test
%! ## Bytes come back unchanged, including ones that are not UTF-8 and the
%! ## zero byte (escaped).
%! s = char ([195 169 240 159 152 128 255 0 10 127]);
%! assert (double (ledgerencode (s)),
%!         double (['"' char([195 169 240 159 152 128 255]) '\u0000\n' char(127) '"']));
%! assert (ledgerdecode (ledgerencode ({s})), {s});

%!test
%! ## Doubles round trip exactly; a tree read back is the same tree.
%! rand ("seed", 42);
%! x = rand (200, 1) .* 10 .^ randi ([-300, 300], 200, 1);
%! x = [x; -x; 0.1; 1/3; 5e-324; realmax; realmin; 2^53; 1e21; 1e-7];
%! t = num2cell (x);
%! assert (ledgerdecode (ledgerencode (t)), t);
%! u = ledgerdecode ('{"a":{"b":[[],{},null,"",0.5]},"a":-9007199254740993}');
%! assert (ledgerdecode (ledgerencode (u)), u);
%! assert (ledgerdecode (ledgerencode (u, "Pretty", true)), u);

%!test
%! ## Preserved non-finite numbers read back with "InfNaN".
%! t = {NaN; Inf; -Inf};
%! assert (ledgerdecode (ledgerencode (t, "Preserve", true), "InfNaN", true), t);

%!test
%! ## The text never touches a file, also when the tree is refused.
%! old = getenv ("TMPDIR");
%! d = tempname ();
%! mkdir (d);
%! unwind_protect
%!   setenv ("TMPDIR", d);
%!   ledgerencode ({1, "a"});
%!   try
%!     ledgerencode (struct ("keys", 1, "values", 2));
%!   end_try_catch
%!   assert (setdiff ({dir(d).name}, {".", ".."}), cell (1, 0));
%! unwind_protect_cleanup
%!   setenv ("TMPDIR", old);
%!   confirm_recursive_rmdir (false, "local");
%!   rmdir (d, "s");
%! end_unwind_protect

%!test
%! ## JSON Lines: each element of the cell, in column order, one compact
%! ## document on its own line, each line ending in a line feed.
%! o = struct ("keys", {{"a"; "b"}}, "values", {{{1; "x\ny"}; struct([])}});
%! cases = {
%!   {1, "a"; o, {}},              ['1.0\n{"a":[1.0,"x\\ny"],"b":null}\n"a"\n[]\n']
%!   {struct([]), NaN, [1 2]},     'null\nnull\n[1.0,2.0]\n'
%!   {{{}}},                       '[[]]\n'
%!   {""},                         '""\n'
%!   cell(0, 1),                   ''
%!   cell(3, 0),                   ''
%! };
%! for i = 1:rows (cases)
%!   text = ledgerencode (cases{i,1}, "Lines", true);
%!   assert (text, sprintf (cases{i,2}));
%!   ## the same as a loop over the elements
%!   each = cellfun (@(e) [ledgerencode(e) "\n"], cases{i,1}(:), "uniformoutput", false);
%!   assert (text, [sprintf(""), each{:}]);
%! endfor
%! assert (ledgerencode ({NaN; -Inf}, "Lines", true, "Preserve", true),
%!         sprintf ("NaN\n-Infinity\n"));
%! assert (ledgerencode ({NaN}, "lines", 1, "ConvertInfAndNaN", false), sprintf ("NaN\n"));
%! assert (ledgerencode ({1}, "Lines", false), "[1.0]");

%!test
%! ## A fault names the line and the place in its document, in a tree and
%! ## in an ordinary value alike.
%! o = struct ("keys", {{"a"}}, "values", {{@sin}});
%! tree = "a 1x1 function_handle cannot be written as JSON ";
%! cases = {
%!   {o},            [tree "(at /a in line 1)."]
%!   {1; 2; {1, o}}, [tree "(at /1/a in line 3)."]
%!   {1, @sin, 3},   [tree "(at the top of line 2)."]
%! };
%! for i = 1:rows (cases)
%!   try
%!     ledgerencode (cases{i,1}, "Lines", true);
%!     error ("no error");
%!   catch err
%!     assert (err.identifier, "ledgerkit:tree");
%!     assert (err.message, ["ledgerencode: " cases{i,2}]);
%!   end_try_catch
%! endfor

%!test
%! ## MATLAB's option names.
%! assert (ledgerencode ({1}, "PrettyPrint", true), "[\n    1.0\n]");
%! assert (ledgerencode ({Inf}, "ConvertInfAndNaN", false), "[Infinity]");
%! assert (ledgerencode ({Inf}, "ConvertInfAndNaN", true), "[null]");
%! assert (ledgerencode ({Inf}, "ConvertInfAndNaN", sparse (false)), "[Infinity]");
%! assert (ledgerencode ({Inf}, "ConvertInfAndNaN", false, "Preserve", false), "[null]");

%!error <ledgerencode: with JSON Lines the tree must be a cell array of documents, not a 1x1 struct\.> ledgerencode (struct ("keys", {{}}, "values", {{}}), "Lines", true)
%!error <ledgerencode: the options 'Pretty' and 'Lines' cannot be used together> ledgerencode ({}, "Lines", true, "Pretty", true)
%!error <ledgerencode: the options 'Pretty' and 'Lines' cannot be used together> ledgerencode ({}, "PrettyPrint", 1, "lines", 1)
%!error <Invalid call to ledgerencode> ledgerencode ()
%!error <ledgerencode: unknown option 'InfNaN'> ledgerencode ({}, "InfNaN", true)
%!error <ledgerencode: the option 'Pretty' needs a value> ledgerencode ({}, "PRETTY")
%!error <ledgerencode: the value of 'Preserve' must be true or false> ledgerencode ({}, "Preserve", "no")
%!error <^ledgerencode: an object has more values than keys \(keys: 1, values: 2\) \(at /x\)\.$> ledgerencode (struct ("x", struct ("keys", {{"a"}}, "values", {{1, 2}})))
%!error <^ledgerencode: a complex number with the imaginary part 1 cannot be written \(at /1\)\.$> ledgerencode ({1, 1i})
%!error <^ledgerencode: a 2x2 char array is not one row of text \(at /a\)\.$> ledgerencode (struct ("keys", {{"a"}}, "values", {{["ab"; "cd"]}}))
