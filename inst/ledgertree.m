## Copyright (C) 2026 ledgerkit developers
##
## This file is part of ledgerkit, free software under the GNU General
## Public License, version 3 or later; see the file COPYING.

## -*- texinfo -*-
## @deftypefn {} {@var{tree} =} ledgertree (@var{value})
## Return the JSON tree of the ordinary value @var{value}, laid out as
## @code{jsonencode} writes it.
##
## A structure is an object of its fields in order, a structure array an
## array of objects, a @code{containers.Map} an object of its keys (numeric
## keys as the text of their value); a cell array is an array of its
## elements in column order; a character row is text, a character matrix an
## array of its rows; a numeric or logical scalar is a number or true or
## false, a vector a flat array, a matrix nested arrays by rows
## (@code{[1 2; 3 4]} is @code{[[1,2],[3,4]]}) and an N-d array nested
## arrays with the first dimension outermost; @code{[]} is an empty array.
## Integers of class @code{int64} and @code{uint64} keep their class, so
## they are written exactly.  Complex values with a zero imaginary part are
## their real part, sparse matrices are full.  The result is what
## @code{saveledger} and @code{ledgerencode} write.
##
## A value that is already a tree is returned as it is: a 1-by-1 structure
## with exactly the fields @qcode{keys} and @qcode{values}, both cells, is
## an object node, taken with all it holds as a tree (a matrix in it is
## written as @code{saveledger} writes a tree's matrix, in column order),
## and @code{struct ([])} is null.  So a tree costs next to nothing to
## convert, and a value that holds trees keeps them; everything that needs
## no change is shared, not copied.
##
## A value that JSON cannot hold (a function handle, a complex number with
## a non-zero imaginary part, an object other than a @code{containers.Map})
## raises an error with the identifier @qcode{"ledgerkit:tree"} that names
## its class and where it is, as a JSON Pointer (@qcode{/servers/1/port}),
## in the words of @code{ledgerencode}.  So does an object node that
## @code{ledgerencode} would refuse, and a struct array with exactly the
## fields @qcode{keys} and @qcode{values}, which is no object node.
##
## Examples:
##
## @example
## @group
## ledgerencode (ledgertree (struct ("m", [1 2; 3 4], "s", @{@{"a", true@}@})))
##   @result{} @{"m":[[1.0,2.0],[3.0,4.0]],"s":["a",true]@}
## ledgerencode (ledgertree (containers.Map (@{"b", "a"@}, @{1, int64(2)^62@})))
##   @result{} @{"a":4611686018427387904,"b":1.0@}
## ledgertree (struct ("f", @{@{1, @@sin@}@}))
##   @error{} ledgertree: a 1x1 function_handle cannot be written as JSON (at /f/1).
## @end group
## @end example
##
## @seealso{ledgerplain, ledgerencode, saveledger, ledgerset, jsonencode}
## @end deftypefn

function tree = ledgertree (value)

  if (nargin != 1)
    print_usage ();
  endif
  tree = __ledgerconvert__ ("tree", "ledgertree", value);

endfunction

%!demo
%! ## Ordinary values become a tree that keeps what jsonencode keeps, and
%! ## writes 64-bit integers exactly.
%! s.name = "run 1";
%! s.grid = [1 2; 3 4];
%! s.trials = struct ("rt", {0.5, 0.7});
%! s.id = uint64 (2)^60 + 1;
%! t = ledgertree (s);
%! disp (ledgerencode (t, "Pretty", true))

## ledgerencode of an ordinary value lays it out itself: its text, with
## each option, is that of the value's tree written by the writer, and its
## faults are those of ledgertree and writing, in its own name.
%!function same_as_tree (v)
%!  for o = [0 0 0; 1 0 0; 0 1 0; 0 0 1; 1 1 0].'
%!    try
%!      ours = ledgerencode (v, "Pretty", o(1), "Preserve", o(2), "Lines", o(3));
%!    catch err
%!      ours = err;
%!    end_try_catch
%!    try
%!      theirs = __ledgertreetext__ (ledgertree (v), "Pretty", o(1),
%!                                   "Preserve", o(2), "Lines", o(3));
%!    catch err
%!      theirs = err;
%!    end_try_catch
%!    if (ischar (theirs))
%!      assert (ours, theirs);
%!    else
%!      assert (! ischar (ours), "no error: %s", theirs.message);
%!      assert (ours.identifier, theirs.identifier);
%!      ours = regexprep (ours.message, '^ledgerencode: ', '');
%!      theirs = regexprep (theirs.message, '^(ledgertree|__ledgertreetext__): ', '');
%!      if (o(3))
%!        ## With JSON Lines the writer names the line of the document,
%!        ## the first step of the reference's place, counted from 1.
%!        t = regexp (theirs, '^(.*) \(at /(\d+)(/.*)?\)\.$', "tokens", "once");
%!        if (! isempty (t))
%!          k = str2double (t{2}) + 1;
%!          if (numel (t) < 3 || isempty (t{3}))
%!            theirs = sprintf ("%s (at the top of line %d).", t{1}, k);
%!          else
%!            theirs = sprintf ("%s (at %s in line %d).", t{1}, t{3}, k);
%!          endif
%!        endif
%!      endif
%!      assert (ours, theirs);
%!    endif
%!  endfor
%!endfunction

## A random ordinary value nested at most 4 levels below DEPTH.
%!function v = random_value (depth)
%!  kinds = 10;
%!  if (depth >= 4)
%!    kinds = 6;
%!  endif
%!  switch (randi (kinds))
%!    case 1
%!      v = randn () * 10 ^ randi ([-8 8]);
%!    case 2
%!      v = rand (randi ([0 3]), randi ([0 3])) > 0.5;
%!    case 3
%!      v = round (randn (randi ([1 3]), randi ([1 3]), randi ([1 2])) * 100) / 4;
%!    case 4
%!      v = char (randi ([32 126], randi ([0 2]), randi ([0 4])));
%!    case 5
%!      v = int32 (randi ([-9 9], randi ([0 3]), randi ([1 3])));
%!    case 6
%!      v = single (randn (1, randi ([0 3])));
%!    case 7
%!      v = cell (randi ([0 2]), randi ([0 3]));
%!      for i = 1:numel (v)
%!        v{i} = random_value (depth + 1);
%!      endfor
%!    case 8
%!      v = struct ();
%!      for f = {"a", "b", "c/d"}(randperm (3, randi ([0 3])))
%!        v.(f{1}) = random_value (depth + 1);
%!      endfor
%!    case 9
%!      v = struct ("x", cell (randi ([0 2]), randi ([1 3])), "y", 1);
%!      for i = 1:numel (v)
%!        v(i).x = random_value (depth + 1);
%!      endfor
%!    otherwise
%!      v = struct ("keys", {{"k"; "l"}}, "values", {{random_value(4); random_value(4)}});
%!  endswitch
%!endfunction

## Values of every kind that jsonencode writes.
%!function values = encoded_values ()
%! m = containers.Map ({"b", "a"}, {1, [1 2; 3 4]});
%! values = {1, -0.5, NaN, Inf, true, false, [], zeros(0, 3), zeros(3, 0), "", "abc", ...
%!   char(zeros(0, 3)), char(zeros(3, 0)), char(zeros(0, 0, 2)), ["ab"; "cd"; "ef"], ["a"; "b"], reshape("abcdefgh", 2, 2, 2), ...
%!   [1 2 3], [1; 2; 3], [1 2; 3 4], [1 NaN; Inf 4], ones(3, 1, 2), reshape(1:6, 1, 3, 2), ...
%!   reshape(1:8, 2, 2, 2), ones(1, 1, 3), reshape(1:6, 1, 1, 3, 2), true(2, 2), ...
%!   [true false], int8([1 2; 3 4]), uint16(7), int32([1 2 3]), int64(5), 1:4, ...
%!   {}, {1, "a"}, {1; "a"}, {1, 2; 3, 4}, {[], {}, ""}, {[1 2; 3 4]}, {{{}}}, ...
%!   struct(), struct("a", 1), struct("a", {1, 2}), struct("a", {1; 2}), ...
%!   struct("a", {1, 2; 3, 4}), repmat(struct(), 1, 2), struct("a", struct("b", {1, 2})), ...
%!   struct("a", {{1, 2}}, "b", "x", "c", [1 2; 3 4]), struct("keys", 1, "values", 2), ...
%!   struct("keys", {{"a"}}, "values", {{1}}, "other", 1), m, containers.Map(), ...
%!   sparse([1 0; 0 2]), sparse([true false]), eye(3), complex([1 2], [0 0]), ...
%!   {struct("x", {1, 2}), m}};
%!endfunction

## Against jsonencode: written and read back by jsondecode, each value
## gives what jsonencode's text gives, written whole or as its tree.  Runs
## where the interpreter has them (Octave 7 on).
%!testif ; __ledgerhasjson__ ()
%! values = encoded_values ();
%! for i = 1:numel (values)
%!   v = values{i};
%!   theirs = jsondecode (jsonencode (v));
%!   for text = {ledgerencode(ledgertree (v)), ledgerencode(v)}
%!     ours = jsondecode (text{1});
%!     if (! (isequaln (ours, theirs) && strcmp (class (ours), class (theirs))))
%!       error ("value %d (%s): %s, not %s", i, class (v), text{1}, jsonencode (v));
%!     endif
%!   endfor
%! endfor

## The same values: ledgerencode lays each out as its tree is written.
%!test
%! values = encoded_values ();
%! for i = 1:numel (values)
%!   same_as_tree (values{i});
%! endfor

%!test
%! ## More values of every kind, faults included, against the tree written.
%! t = ledgerdecode ('{"a": [1, "x", {"b": null}, [], {}], "a": 9007199254740993}');
%! h = struct ("keys", {{"m", 2}}, "values", {{[1 2; 3 4], {1}}});
%! bad = struct ("keys", {{"a"}}, "values", {{@sin}});
%! deep = {};
%! for i = 1:999
%!   deep = {deep};
%! endfor
%! s.("a/b~c") = 1;
%! s.("") = "x";
%! values = {t, h, {t, h}, struct("t", t, "m", [1 2; 3 4]), struct("keys", {{"a"}}, "values", 1), ...
%!   struct("keys", {{"a"}}, "values", {{1}}, "other", 1), struct("keys", {"a", "b"}, "values", {{1}, {2}}), ...
%!   struct("keys", {{"a"}, {"b"}}, "values", {{1}, 2}), struct("a", {}), struct("a", cell(0, 3)), ...
%!   repmat(struct(), 0, 3), repmat(struct(), 2, 2), repmat(struct("a", 1, "b", {{}}), 2, 2), ...
%!   repmat(struct("a", 1), 1, 1, 2), struct("a", {struct("b", {1, [2 3]})}), s, ...
%!   int8([1 -2; 3 4]), uint64([1 2; 3 4]) * 2^62, intmin("int64") * [1; 1], single([0.1 NaN; Inf 2]), ...
%!   [true false; false true], [NaN -Inf; -0 1e21], ones(2, 1, 1, 3), zeros(2, 0, 3), reshape(1:6, 3, 1, 2), ...
%!   1:0, (1:3).', 0:0.1:0.3, [0:2; 3:5], 7:7, reshape(int16(1:8), 2, 2, 2), ...
%!   char(zeros(3, 0)), reshape("abcdef", 1, 2, 3), ["a\"b"; "\t\n"], char([1; 34; 92]), ...
%!   {1, 2; 3, 4}, reshape({1, "a", [], {}}, 1, 2, 2), {{}, {{}}, cell(2, 0)}, ...
%!   containers.Map({"x"}, {struct("a", {1, 2})}), {1, containers.Map([2 1], {[1 2; 3 4], "y"})}, ...
%!   sparse([0 1; 2 0]), sparse(true(2, 2)), sparse([0 1.5 0; -2 0 NaN]), sparse(2, 3), ...
%!   sparse([0 3]), sparse(1, 1), {sparse(true)}, sparse(complex([1 0; 0 2], [0 0; 0 1e-300])), ...
%!   complex([1 2; 3 4], 0), complex(single(1), 0), ...
%!   {1, @sin}, struct("f", {{1, @sin}}), containers.Map({"k"}, {@sin}), [1 2i; 3 4], ...
%!   {bad}, struct("x", {1, bad}), {1; struct("keys", {{"a"; "b"}}, "values", {{1}})}, ...
%!   struct("keys", {{"a"}}, "values", {{1, 2}}), struct("keys", {"a", "b"}, "values", {{1}, {1, 2}}), ...
%!   inputParser(), {{inline("x")}}, deep, {deep}, {{deep}}, {1, {2, {3, {}}}}};
%! for i = 1:numel (values)
%!   same_as_tree (values{i});
%! endfor
%! rand ("seed", 11);
%! randn ("seed", 11);
%! for i = 1:300
%!   same_as_tree (random_value (0));
%! endfor

## Where ledgertree differs from jsonencode on purpose: 64-bit integers
## written exactly (jsonencode refuses those beyond 2^53 and single values
## here); struct ([]) is null and a struct array without elements an empty
## array (jsonencode writes no text at all); a complex or sparse scalar is
## a number (jsonencode writes an array of one); numeric Map keys are the
## text of their value (jsonencode writes the bits of the double).
%!test
%! cases = {
%!   intmax("uint64"),                      "18446744073709551615"
%!   -int64(2)^53 - 1,                      "-9007199254740993"
%!   int64([1 2; 3 4]) * 2^60,              "[[1152921504606846976,2305843009213693952],[3458764513820540928,4611686018427387904]]"
%!   single(0.5),                           "0.5"
%!   single([1.5 2]),                       "[1.5,2.0]"
%!   struct([]),                            "null"
%!   struct("a", {}),                       "[]"
%!   repmat(struct(), 0, 1),                "null"
%!   complex(1, 0),                         "1.0"
%!   sparse(5),                             "5.0"
%!   containers.Map([3 1.5], {"x", "y"}),   '{"1.5":"y","3":"x"}'
%!   containers.Map("KeyType", "int64", "ValueType", "any"), "{}"
%! };
%! for i = 1:rows (cases)
%!   assert (ledgerencode (ledgertree (cases{i,1})), cases{i,2});
%!   assert (ledgerencode (cases{i,1}), cases{i,2});
%! endfor

%!test
%! ## A tree is returned as it is, and so are the trees inside a value.
%! t = ledgerdecode ('{"a": [1, "x", {"b": null}, [], {}], "a": 9007199254740993}');
%! assert (ledgertree (t), t);
%! assert (ledgertree ({t, t}), {t, t});
%! assert (ledgertree (struct ([])), struct ([]));
%! e = struct ("keys", {cell(0, 1)}, "values", {cell(0, 1)});
%! assert (ledgertree (e), e);
%! assert (ledgertree (struct ()), e);
%! ## An object node is taken as it is, with all it holds: its values are
%! ## tree values, as the writer reads them.
%! h = struct ("keys", {{"m", 2}}, "values", {{[1 2; 3 4], {1}}});
%! assert (ledgertree (h), h);
%! assert (ledgertree ({h}), {h});
%! assert (ledgertree (struct ("s", h)).values, {h});

%!test
%! ## Faults name the value and its place in the tree being made.
%! fh = "a 1x1 function_handle cannot be written as JSON";
%! cases = {
%!   @sin,                                     [fh " (at the top of the tree)."]
%!   struct("servers", {{struct("port", 1), struct("port", @cos)}}), [fh " (at /servers/1/port)."]
%!   struct("a", {1, @sin}),                  [fh " (at /1/a)."]
%!   containers.Map({"k"}, {@sin}),           [fh " (at /k)."]
%!   struct("x", [1 2i]),                     "a complex number with the imaginary part 2 cannot be written (at /x/1)."
%!   struct("x", [1 2; 3 4i]),                "a complex number with the imaginary part 4 cannot be written (at /x/1/1)."
%!   single(1i),                              "a complex number with the imaginary part 1 cannot be written (at the top of the tree)."
%!   {inline("x")},                            "a 1x1 inline cannot be written as JSON (at /0)."
%!   {struct("keys", {{"a"}}, "values", {{1, 2}})}, "an object has more values than keys (keys: 1, values: 2) (at /0)."
%!   struct("a", {{1, struct("keys", {{"x", "y"}}, "values", {{1}})}}), "an object has fewer values than keys (keys: 2, values: 1) (at /a/1)."
%!   ## a tree inside an ordinary value is checked as a tree
%!   {1, struct("keys", {{"k"}}, "values", {{{2, @sin}}})}, [fh " (at /1/k/1)."]
%!   struct("s", struct("keys", {{"k"}}, "values", {{struct("x", 1)}})), "an object needs the fields 'keys' and 'values' and no others (at /s/k)."
%!   ## a struct array with the fields of an object node is none
%!   struct("keys", {{"a"}, {"b"}}, "values", {{1}, {2}}), "a 1x2 struct array is not an object: an object is one struct with the fields 'keys' and 'values' (at the top of the tree)."
%!   {1, struct("values", {}, "keys", {})},   "a 0x0 struct array is not an object: an object is one struct with the fields 'keys' and 'values' (at /1)."
%! };
%! for i = 1:rows (cases)
%!   try
%!     ledgertree (cases{i,1});
%!     error ("case %d: no error", i);
%!   catch err
%!     assert (err.identifier, "ledgerkit:tree");
%!     assert (err.message, ["ledgertree: " cases{i,2}]);
%!   end_try_catch
%! endfor
%!error <Invalid call to ledgertree> ledgertree ()

%!test
%! ## Any depth converts, from a stack on the heap: cells, structs and
%! ## struct arrays as deep as the interpreter can hold them.
%! n = 30000;
%! c = {};
%! s = 1;
%! r = 1;
%! for i = 1:n
%!   c = {c};
%!   s = struct ("a", s);
%!   r = struct ("a", {r, 2});
%! endfor
%! t = ledgertree (c);
%! p = ledgerplain (t);
%! for i = 1:n
%!   p = p{1};
%! endfor
%! assert (p, []);
%! t = ledgertree (s);
%! for i = 1:n
%!   assert (t.keys, {"a"});
%!   t = t.values{1};
%! endfor
%! assert (t, 1);
%! t = ledgertree (r);
%! for i = 1:n
%!   assert (size (t), [2 1]);
%!   assert (t{2}.values, {2});
%!   t = t{1}.values{1};
%! endfor
%! assert (t, 1);
