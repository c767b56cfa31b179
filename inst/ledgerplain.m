## Copyright (C) 2026 ledgerkit developers
##
## This file is part of ledgerkit, free software under the GNU General
## Public License, version 3 or later; see the file COPYING.

## -*- texinfo -*-
## @deftypefn {} {@var{value} =} ledgerplain (@var{tree})
## Return the JSON tree @var{tree} as ordinary values, as @code{jsondecode}
## makes them.
##
## @var{value} is what @code{jsondecode (@var{text}, "makeValidName",
## false)} gives for the text the tree was read from: an object is a scalar
## structure, null is @code{[]}, an array of numbers a column vector (null
## inside it is @code{NaN}), an array of true and false a logical column,
## arrays of equal length nested in an array a matrix or N-d array, an
## array of objects with the same keys in the same order a struct array,
## and any other array a cell column.  Where @code{jsondecode} would lose
## something, @code{ledgerplain} keeps it:
##
## @itemize
## @item object keys are field names exactly as they are, whatever their
## characters; of a key that occurs more than once the last member is kept
## (as @code{jsondecode} does);
##
## @item integers beyond 2^53 keep their class, @code{int64} or
## @code{uint64}; an array of them alone is an array of that class, an
## array that mixes them with other numbers is a cell of its values, never
## a converted array;
##
## @item every double is the one the text stands for: @code{jsondecode}
## reads some long numbers a unit or two in the last place off.
## @end itemize
##
## A tree made by hand may also hold numeric arrays (each a column of its
## elements), cells of any shape (their elements in column order) and keys
## that are numbers or logical values (the text of the value, as
## @code{ledgerencode} writes it).  What @code{ledgerencode} refuses to
## write (a structure that is no tree node, a struct array, a function
## handle, a complex number with a non-zero imaginary part) raises an error
## with the identifier @qcode{"ledgerkit:tree"} in the same words, with its
## place as a JSON Pointer.
##
## Examples:
##
## @example
## @group
## p = ledgerplain (ledgerdecode ('@{"m": [[1, 2], [3, 4]], "s": [@{"a": 1@}, @{"a": null@}]@}'))
##   @result{} p =
##        scalar structure containing the fields:
##          m =
##             1   2
##             3   4
##          s =
##            2x1 struct array containing the fields:
##              a
## ledgerplain (ledgerdecode ("[1, 9007199254740993]"))
##   @result{} @{[1,1] = 1; [2,1] = 9007199254740993@}
## @end group
## @end example
##
## @seealso{ledgertree, ledgerdecode, ledgerget, jsondecode}
## @end deftypefn

function value = ledgerplain (tree)

  if (nargin != 1)
    print_usage ();
  endif
  value = __ledgerconvert__ ("plain", "ledgerplain", tree);

endfunction

%!demo
%! ## A tree as the structs, matrices and cells jsondecode makes; the
%! ## integer beyond 2^53 stays exact, the array mixing it with other
%! ## numbers becomes a cell.
%! t = ledgerdecode (['{"name": "run 1", "grid": [[1, 2], [3, 4]], ' ...
%!                    '"trials": [{"rt": 0.5, "ok": true}, {"rt": null, "ok": false}], ' ...
%!                    '"ids": [1, 9007199254740993]}']);
%! p = ledgerplain (t)
%! rt = p.trials(2).rt         # null is []
%! p.ids

## The same value: class, size, field names in order, and every element.
## TOL > 0 lets doubles differ by that many units in the last place.
%!function same (a, b, tol = 0, where = "")
%!  if (! strcmp (class (a), class (b)))
%!    error ("at %s: class %s, not %s", where, class (a), class (b));
%!  elseif (! isequal (size (a), size (b)))
%!    error ("at %s: size %s, not %s", where, mat2str (size (a)), mat2str (size (b)));
%!  elseif (isstruct (a))
%!    if (! isequal (fieldnames (a), fieldnames (b)))
%!      error ("at %s: fields %s, not %s", where, strjoin (fieldnames (a)', ","),
%!             strjoin (fieldnames (b)', ","));
%!    endif
%!    f = fieldnames (a);
%!    for i = 1:numel (a)
%!      for j = 1:numel (f)
%!        same (a(i).(f{j}), b(i).(f{j}), tol, sprintf ("%s(%d).%s", where, i, f{j}));
%!      endfor
%!    endfor
%!  elseif (iscell (a))
%!    for i = 1:numel (a)
%!      same (a{i}, b{i}, tol, sprintf ("%s{%d}", where, i));
%!    endfor
%!  elseif (tol > 0 && isfloat (a))
%!    if (! isequal (isnan (a), isnan (b))
%!        || any (abs (a(:) - b(:)) > tol * eps (max (abs (a(:)), abs (b(:))))))
%!      error ("at %s: values differ beyond %d units in the last place", where, tol);
%!    endif
%!  elseif (! isequaln (a, b))
%!    error ("at %s: values differ", where);
%!  endif
%!endfunction

## The tests against jsondecode run where the interpreter has it (Octave 7
## on) and are skipped elsewhere.

## Against jsondecode on documents of every shape it tells apart.
%!testif ; __ledgerhasjson__ ()
%! docs = {'null', '[]', '[null]', '[null,null]', '[1,null]', '[true,false]', ...
%!   '[true]', '[true,1]', '[true,null]', '["a","b"]', '["a",null]', '["a",1]', ...
%!   '[[]]', '[[],[]]', '[[1],[]]', '[[1,2],[3,4]]', '[[1,2],[3]]', ...
%!   '[[1,2],[3,null]]', '[[null,null],[null,null]]', '[[true,false],[true,true]]', ...
%!   '[[true],[1]]', '[[true],[null]]', '[[true,false],[1,2]]', '[[[true]],[[false]]]', ...
%!   '[[true],[true,false]]', '[[1,2],"a"]', '[[1,2],null]', '[[1,2],[[3,4],[5,6]]]', ...
%!   '[[[1,2],[3,4]],[[5,6],[7,8]]]', '[[[1,2],[3,4]],[[5,6],[7]]]', '[[[1,2]],[[3,4]]]', ...
%!   '[[[1,2]],[[3],[4]]]', '[[[[1,2]]]]', '[[1],[2],[3]]', '[[[1]],[[[2]]]]', ...
%!   '[[1,2,3],[4,5,6]]', '[[[1,2],[3,4]],[[5,6],[7,8]],[[9,10],[11,12]]]', ...
%!   '{}', '[{}]', '[{},{}]', '[{}, {"a":1}]', '[{"a":1},{"a":2}]', '[{"a":1},{"b":2}]', ...
%!   '[{"a":1,"b":2},{"b":3,"a":4}]', '[{"a":1},null]', '[{"a":1},[]]', '[{"a":1},1]', ...
%!   '[{"a":null},{"a":1}]', '[{"a":[1,2]},{"a":"x"}]', '[{"a":{"b":1}},{"a":{"c":1}}]', ...
%!   '[[{"a":1}],[{"a":2}]]', '[[{"a":1},{"a":2}],[{"a":3},{"a":4}]]', ...
%!   '[[{"a":1},{"a":2}],[{"a":3}]]', '[[{"a":1}],[{"b":2}]]', '[[{}],[{}]]', ...
%!   '[[[{"a":1},{"a":2}]],[[{"a":3},{"a":4}]]]', '[[{"a":1}],{"a":2}]', ...
%!   '{"a":[]}', '{"a":{}}', '""', '"abc"', '[""]', '["",""]', '1', 'true', ...
%!   '{"a":1,"b":2,"a":3}', '[{"a":1,"a":2},{"a":3}]', '[{"b":1,"a":2,"b":3},{"a":4,"b":5}]', ...
%!   '{"":1, "1a":2, "a b":3, "\u00e9":4}', '[[],{}]', '[[[]]]', '[[1],[true]]', ...
%!   '[["a"],["b"]]', '[[1,true]]', '[[null]]', '[-0.5,1e300,2.5e-300]'};
%! for i = 1:numel (docs)
%!   same (ledgerplain (ledgerdecode (docs{i})), jsondecode (docs{i}, "makeValidName", false),
%!         0, docs{i});
%! endfor

## Where ledgerplain differs from jsondecode on purpose, rule by rule.
%!test
%! ## Rule: integers beyond 2^53 keep their class...
%! assert (ledgerplain (ledgerdecode ("9007199254740993")), uint64 (2)^53 + 1);
%! assert (ledgerplain (ledgerdecode ("[-9007199254740993, -9007199254740995]")),
%!         -(int64 (2)^53 + [1; 3]));
%! assert (ledgerplain (ledgerdecode ("[[9007199254740993], [9007199254740995]]")),
%!         uint64 (2)^53 + [1; 3]);
%! assert (ledgerplain (ledgerdecode ('{"id": 12345678901234567890}')).id,
%!         uint64 (12345678901) * 1e9 + 234567890);
%! ## ... and an array mixing them with other numbers is a cell, never a
%! ## converted array (cell2mat would give uint64 [1; 2^53+1; 0; 3]).
%! same (ledgerplain (ledgerdecode ("[1, 9007199254740993, -9007199254740993, 2.5]")),
%!       {1; uint64(2)^53+1; -int64(2)^53-1; 2.5});
%! same (ledgerplain (ledgerdecode ("[[1], [9007199254740993]]")),
%!       {1; uint64(2)^53+1});
%! same (ledgerplain (ledgerdecode ("[9007199254740993, null]")),
%!       {uint64(2)^53+1; []});
%! ## Rule: the last of equal keys, also in a struct array of such objects.
%! same (ledgerplain (ledgerdecode ('[{"a":1,"a":2},{"a":3,"b":4,"b":5}]')),
%!       {struct("a", 2); struct("a", 3, "b", 5)});
%! ## jsondecode refuses numbers beyond the doubles; the reader makes them
%! ## infinite.
%! assert (ledgerplain (ledgerdecode ("[1e400, -1e400]")), [Inf; -Inf]);

%!test
%! ## Trees made by hand: numeric arrays, cells of any shape, other keys.
%! h = struct ("keys", {{"v", 2, true, "c", "n", "s"}},
%!             "values", {{[1 2 3], int8([4 5]), {1, "a"; 2, "b"}, {}, NaN, ''}});
%! same (ledgerplain (h), struct ("v", [1; 2; 3], "2", int8([4; 5]),
%!                                "true", {{1; 2; "a"; "b"}}, "c", [],
%!                                "n", NaN, "s", ""));

%!testif ; __ledgerhasjson__ ()
%! ## A tree ledgertree makes from jsondecode's value comes back to it.
%! v = jsondecode ('{"m": [[1,2],[3,4]], "s": [{"a":1},{"a":2}], "c": ["x", 1]}');
%! same (ledgerplain (ledgertree (v)), v);

## VALUE with every int64 and uint64 made a double, and cells of numbers
## that only held them apart made the column jsondecode makes.
%!function v = doubled (v)
%!  if (isinteger (v))
%!    v = double (v);
%!  elseif (isstruct (v))
%!    f = fieldnames (v);
%!    for i = 1:numel (v)
%!      for j = 1:numel (f)
%!        v(i).(f{j}) = doubled (v(i).(f{j}));
%!      endfor
%!    endfor
%!  elseif (iscell (v))
%!    v = cellfun (@doubled, v, "uniformoutput", false);
%!    if (! isempty (v) && all (cellfun (@(x) isnumeric (x) && isscalar (x), v(:))))
%!      v = cell2mat (v);
%!    endif
%!  endif
%!endfunction

## Against jsondecode on the documents of make bench, when they are here.
## jsondecode reads some long numbers one or two units in the last place
## off (ledgerdecode reads every double correctly rounded), so doubles may
## differ by 2 units; twitter.json has ids beyond 2^53, which keep their
## class (the rule above), so those are compared as doubles there.
%!testif ; __ledgerhasjson__ ()
%! ## The folder make bench reads, beside the work tree or one level up.
%! top = fileparts (fileparts (mfilename ("fullpath")));
%! data = fullfile (top, {"..", fullfile("..", "..")}, "shared", "bench-data");
%! data = data(cellfun (@isfolder, data));
%! names = {"canada.json", "citm_catalog.json", "twitter.json"};
%! if (isempty (data))
%!   return;
%! endif
%! data = data{1};
%! for i = 1:numel (names)
%!   file = fullfile (data, names{i});
%!   if (! isfile (file))
%!     continue;
%!   endif
%!   text = fileread (file);
%!   ours = ledgerplain (ledgerdecode (text));
%!   theirs = jsondecode (text, "makeValidName", false);
%!   same (doubled (ours), theirs, 2, names{i});
%! endfor


%!function t = random_json (depth)
%!  r = rand ();
%!  if (depth == 0 || r < 0.3)
%!    atoms = {"null", "true", "false", "1", "-2.5", "0", '"x"', '""', "1e5", "0.125"};
%!    t = atoms{randi (numel (atoms))};
%!  elseif (r < 0.55)
%!    ## Arrays of one kind repeated make the shapes jsondecode joins.
%!    n = randi ([0, 4]);
%!    proto = random_json (depth - 1);
%!    parts = cell (1, n);
%!    for k = 1:n
%!      if (rand () < 0.8)
%!        parts{k} = proto;
%!      else
%!        parts{k} = random_json (depth - 1);
%!      endif
%!    endfor
%!    t = ["[" strjoin(parts, ",") "]"];
%!  elseif (r < 0.75)
%!    n = randi ([1, 4]);
%!    parts = arrayfun (@(k) random_json (depth - 1), 1:n, "uniformoutput", false);
%!    t = ["[" strjoin(parts, ",") "]"];
%!  else
%!    keys = {"a", "b", "c"};
%!    n = randi ([0, 3]);
%!    parts = cell (1, n);
%!    for k = 1:n
%!      parts{k} = sprintf ('"%s":%s', keys{k}, random_json (depth - 1));
%!    endfor
%!    t = ["{" strjoin(parts, ",") "}"];
%!  endif
%!endfunction

## Against jsondecode on generated documents: random nesting of every kind,
## arrays of equal and unequal lengths, objects with shared keys.
%!testif ; __ledgerhasjson__ ()
%! rand ("seed", 7);
%! for i = 1:300
%!   text = random_json (4);
%!   same (ledgerplain (ledgerdecode (text)), jsondecode (text, "makeValidName", false),
%!         0, text);
%! endfor


%!error <ledgerplain: an object needs the fields 'keys' and 'values' and no others \(at /a\)\.> ledgerplain (struct ("keys", {{"a"}}, "values", {{struct("x", 1)}}))
%!error <ledgerplain: an object has more values than keys \(keys: 1, values: 2\) \(at the top of the tree\)\.> ledgerplain (struct ("keys", {{"a"}}, "values", {{1, 2}}))
%!error <ledgerplain: a key must be one text, one number or one logical value, not a 1x1 cell \(key 1 of the object at /0\)\.> ledgerplain ({struct("keys", {{{1}}}, "values", {{1}})})
%!error <Invalid call to ledgerplain> ledgerplain ()
%!test
%! try
%!   ledgerplain (struct ("x", 1));
%! catch err
%!   assert (err.identifier, "ledgerkit:tree");
%! end_try_catch
