## Canonical JSON ("Canonical", true) against a second writer of it made
## here, in the interpreter, from the text of the JSON Canonicalization
## Scheme (RFC 8785): numbers as ECMAScript's Number::toString writes them
## (found by a plain search over precisions with the C library's printf
## and the interpreter's str2double), strings with the minimal escapes,
## members in the order of the UTF-16 code units of their keys.  Compared
## on thousands of seeded random documents, the RFC's own examples and its
## table of numbers, and the values canonical JSON cannot hold.

## ---- the second writer --------------------------------------------------

## The canonical text of the tree T: an object a struct with the fields
## keys and values, an array a cell, text a char row, a double, a logical
## value, null a 0x0 struct without fields.
%!function s = oracle (t)
%!  if (isstruct (t) && isempty (fieldnames (t)))
%!    s = "null";
%!  elseif (isstruct (t))
%!    k = t.keys;
%!    order = zeros (1, 0);
%!    units = cellfun (@(x) sprintf ("%04x", utf16_units (x)), k,
%!                     "uniformoutput", false);
%!    [sorted, order] = sort (units);
%!    for i = 2:numel (sorted)
%!      if (strcmp (sorted{i}, sorted{i-1}))
%!        error ("oracle: duplicate key");
%!      endif
%!    endfor
%!    parts = cell (1, numel (k));
%!    for i = 1:numel (order)
%!      j = order(i);
%!      parts{i} = [es_string(k{j}) ":" oracle(t.values{j})];
%!    endfor
%!    s = ["{" strjoin(parts, ",") "}"];
%!  elseif (iscell (t))
%!    parts = cellfun (@oracle, t(:)', "uniformoutput", false);
%!    s = ["[" strjoin(parts, ",") "]"];
%!  elseif (ischar (t))
%!    s = es_string (t);
%!  elseif (islogical (t))
%!    if (t)
%!      s = "true";
%!    else
%!      s = "false";
%!    endif
%!  else
%!    s = es_number (double (t));
%!  endif
%!endfunction

## A string as ECMAScript's JSON.stringify quotes it: \b \t \n \f \r \" \\,
## other controls as \u00xx in lowercase hex, everything else as it is.
%!function s = es_string (t)
%!  b = double (t);
%!  utf16_units (t);
%!  s = '"';
%!  for c = b
%!    switch (c)
%!      case 8,  s = [s '\b'];
%!      case 9,  s = [s '\t'];
%!      case 10, s = [s '\n'];
%!      case 12, s = [s '\f'];
%!      case 13, s = [s '\r'];
%!      case 34, s = [s '\"'];
%!      case 92, s = [s '\\'];
%!      otherwise
%!        if (c < 32)
%!          s = [s sprintf('\\u%04x', c)];
%!        else
%!          s = [s char(c)];
%!        endif
%!    endswitch
%!  endfor
%!  s = [s '"'];
%!endfunction

## The UTF-16 code units of the UTF-8 text T; an error where T is not
## well-formed UTF-8.
%!function u = utf16_units (t)
%!  b = double (t);
%!  u = zeros (1, 0);
%!  i = 1;
%!  while (i <= numel (b))
%!    c = b(i);
%!    if (c < 128)
%!      n = 0; cp = c; least = 0;
%!    elseif (c >= 194 && c < 224)
%!      n = 1; cp = c - 192; least = 128;
%!    elseif (c >= 224 && c < 240)
%!      n = 2; cp = c - 224; least = 2048;
%!    elseif (c >= 240 && c < 245)
%!      n = 3; cp = c - 240; least = 65536;
%!    else
%!      error ("oracle: not UTF-8");
%!    endif
%!    if (i + n > numel (b))
%!      error ("oracle: not UTF-8");
%!    endif
%!    for k = 1:n
%!      d = b(i + k);
%!      if (d < 128 || d > 191)
%!        error ("oracle: not UTF-8");
%!      endif
%!      cp = cp * 64 + (d - 128);
%!    endfor
%!    if (cp < least || cp > 1114111 || (cp >= 55296 && cp <= 57343))
%!      error ("oracle: not UTF-8");
%!    endif
%!    if (cp >= 65536)
%!      u(end+1:end+2) = [55296 + floor((cp - 65536) / 1024), ...
%!                        56320 + mod(cp - 65536, 1024)];
%!    else
%!      u(end+1) = cp;
%!    endif
%!    i += n + 1;
%!  endwhile
%!endfunction

## Number::toString (x): the fewest digits s (k of them, n the position of
## the decimal point) such that s x 10^(n-k) reads back as x, of those the
## nearest to x; then laid out by the rules of k and n.
%!function t = es_number (x)
%!  if (! isfinite (x))
%!    error ("oracle: not finite");
%!  endif
%!  if (x == 0)
%!    t = "0";
%!    return;
%!  endif
%!  sign = "";
%!  if (x < 0)
%!    sign = "-";
%!    x = -x;
%!  endif
%!  for p = 1:17
%!    [d, e] = parts (sprintf ("%.*e", p - 1, x));
%!    ## The nearest p digits, or where they do not read back the p digits
%!    ## one above: the nearest of those that do.
%!    [u, eu] = up_one (d, e);
%!    if (reads_back (d, e, x))
%!      break;
%!    elseif (reads_back (u, eu, x))
%!      d = u; e = eu;
%!      break;
%!    endif
%!  endfor
%!  d = regexprep (d, "0+$", "");
%!  if (isempty (d))
%!    d = "0";
%!  endif
%!  k = numel (d);
%!  n = e + 1;
%!  if (k <= n && n <= 21)
%!    t = [d repmat("0", 1, n - k)];
%!  elseif (0 < n && n <= 21)
%!    t = [d(1:n) "." d(n+1:end)];
%!  elseif (-6 < n && n <= 0)
%!    t = ["0." repmat("0", 1, -n) d];
%!  else
%!    if (n - 1 >= 0)
%!      es = sprintf ("e+%d", n - 1);
%!    else
%!      es = sprintf ("e-%d", 1 - n);
%!    endif
%!    if (k == 1)
%!      t = [d es];
%!    else
%!      t = [d(1) "." d(2:end) es];
%!    endif
%!  endif
%!  t = [sign t];
%!endfunction

## The digits and the exponent of "d.ddde+XX".
%!function [d, e] = parts (s)
%!  m = find (s == "e");
%!  d = strrep (s(1:m-1), ".", "");
%!  e = str2double (s(m+1:end));
%!endfunction

%!function tf = reads_back (d, e, x)
%!  tf = str2double (sprintf ("%s.%se%d", d(1), d(2:end), e)) == x;
%!endfunction

## The digits D plus one in their last place; a carry out of the first
## digit moves the exponent.
%!function [d, e] = up_one (d, e)
%!  i = numel (d);
%!  while (i > 0 && d(i) == "9")
%!    d(i) = "0";
%!    i--;
%!  endwhile
%!  if (i == 0)
%!    d = ["1" d(1:end-1)];
%!    e++;
%!  else
%!    d(i) = d(i) + 1;
%!  endif
%!endfunction

## ---- documents ------------------------------------------------------------

%!function s = obj (k, v)
%!  s = struct ();
%!  s.keys = k(:);
%!  s.values = v(:);
%!endfunction

%!function c = pieces ()
%!  c = {"a", "b", "z", "A", "1", " ", "/", "\"", "\\", "\r", "\n", char(1), ...
%!       char(31), char(127), "é", "ö", "€", "ﬁ", "דּ", "", "😀", "𝄞", ...
%!       char([194 128])};
%!endfunction

%!function s = random_text (maxlen)
%!  c = pieces ();
%!  n = randi ([0 maxlen]);
%!  s = [c{randi(numel (c), 1, n)}];
%!  if (isempty (s))
%!    s = "";
%!  endif
%!endfunction

%!function x = random_number ()
%!  edges = [5e-324, 1.7976931348623157e308, 1e21, 1e-7, 1e-6, 0.000001, ...
%!           -0, 0, 2^53, 1e20, 999999999999999900000, 9.999999999999997e22, ...
%!           1e23, 333333333.33333329, 4.5, 2e-3, 1e-27, 1e30, 0.1, 1/3, ...
%!           2^-1022, 2^-1074 * 3, realmax / 2, 123456789012345680];
%!  switch (randi (7))
%!    case 1
%!      x = NaN;
%!      while (! isfinite (x))
%!        x = typecast (uint32 (randi ([0, 2^32 - 1], 1, 2)), "double");
%!      endwhile
%!    case 2
%!      x = randi ([-1e6, 1e6]);
%!    case 3
%!      x = (2 * randi ([0 1]) - 1) * 10 ^ randi ([-30, 30]);
%!    case 4
%!      x = round (randn () * 1e4) / 100;
%!    case 5
%!      x = edges(randi (numel (edges)));
%!    case 6
%!      ## Powers of two, where the doubles below are closer than above.
%!      x = pow2 (randi ([1, 9]), randi ([-1074, 1000]));
%!    otherwise
%!      x = randn () * 10 ^ randi ([-8, 22]);
%!  endswitch
%!endfunction

## A random tree of depth DEPTH at most; object keys unique.
%!function t = random_tree (depth)
%!  r = randi (10);
%!  if (depth > 0 && r <= 2)
%!    n = randi ([0 5]);
%!    k = {};
%!    while (numel (k) < n)
%!      key = random_text (4);
%!      if (! any (strcmp (k, key)))
%!        k{end+1} = key;
%!      endif
%!    endwhile
%!    v = cell (1, n);
%!    for i = 1:n
%!      v{i} = random_tree (depth - 1);
%!    endfor
%!    t = obj (k, v);
%!  elseif (depth > 0 && r <= 4)
%!    t = cell (randi ([0 5]), 1);
%!    for i = 1:numel (t)
%!      t{i} = random_tree (depth - 1);
%!    endfor
%!  elseif (r <= 5)
%!    t = random_text (6);
%!  elseif (r == 6)
%!    t = rand () < 0.5;
%!  elseif (r == 7)
%!    t = struct ([]);
%!  else
%!    t = random_number ();
%!  endif
%!endfunction

## ---- the second writer, checked on the RFC's own examples -------------

## The RFC's table of numbers: the bits of a double and its text.
%!shared table
%! table = {
%!   "0000000000000000", "0"
%!   "8000000000000000", "0"
%!   "0000000000000001", "5e-324"
%!   "8000000000000001", "-5e-324"
%!   "7fefffffffffffff", "1.7976931348623157e+308"
%!   "ffefffffffffffff", "-1.7976931348623157e+308"
%!   "4340000000000000", "9007199254740992"
%!   "c340000000000000", "-9007199254740992"
%!   "4430000000000000", "295147905179352830000"
%!   "44b52d02c7e14af5", "9.999999999999997e+22"
%!   "44b52d02c7e14af6", "1e+23"
%!   "44b52d02c7e14af7", "1.0000000000000001e+23"
%!   "444b1ae4d6e2ef4e", "999999999999999700000"
%!   "444b1ae4d6e2ef4f", "999999999999999900000"
%!   "444b1ae4d6e2ef50", "1e+21"
%!   "3eb0c6f7a0b5ed8c", "9.999999999999997e-7"
%!   "3eb0c6f7a0b5ed8d", "0.000001"
%!   "41b3de4355555553", "333333333.3333332"
%!   "41b3de4355555554", "333333333.33333325"
%!   "41b3de4355555555", "333333333.3333333"
%!   "41b3de4355555556", "333333333.3333334"
%!   "41b3de4355555557", "333333333.33333343"
%!   "becbf647612f3696", "-0.0000033333333333333333"
%!   "43143ff3c1cb0959", "1424953923781206.2"
%! };

%!test
%! for i = 1:rows (table)
%!   x = typecast (uint64 (hex2num (table{i,1}, "uint64")), "double");
%!   assert (es_number (x), table{i,2});
%!   assert (ledgerencode (x, "Canonical", true), table{i,2});
%!   assert (ledgerencode ({x}, "Canonical", true), ["[" table{i,2} "]"]);
%!   assert (ledgerencode (obj ({"n"}, {x}), "Canonical", true),
%!           ['{"n":' table{i,2} '}']);
%! endfor

## The numbers the issue names, as values and in a numeric array.
%!test
%! cases = {5e-324, "5e-324"; 1.7976931348623157e308, "1.7976931348623157e+308";
%!          1e21, "1e+21"; 1e-7, "1e-7"; 0.000001, "0.000001"; -0, "0";
%!          1e20, "100000000000000000000"; 1, "1"; -1.5, "-1.5";
%!          single(0.1), "0.10000000149011612"; int8(-7), "-7";
%!          uint64(2) ^ 60, "1152921504606847000";
%!          int64(-9007199254740992), "-9007199254740992";
%!          uint64(9007199254740992), "9007199254740992"};
%! for i = 1:rows (cases)
%!   assert (ledgerencode (cases{i,1}, "Canonical", true), cases{i,2});
%!   assert (ledgerencode ([cases{i,1} cases{i,1}], "Canonical", true),
%!           ["[" cases{i,2} "," cases{i,2} "]"]);
%! endfor

## The RFC's example of a whole document.
%!test
%! text = ['{"numbers": [333333333.33333329, 1E30, 4.50, 2e-3, ' ...
%!         '0.000000000000000000000000001], "string": ' ...
%!         '"\u20ac$\u000F\u000aA''\u0042\u0022\u005c\\\"\/", ' ...
%!         '"literals": [null, true, false]}'];
%! want = ['{"literals":[null,true,false],"numbers":[333333333.3333333,' ...
%!         '1e+30,4.5,0.002,1e-27],"string":"€$\u000f\nA''B\"\\\\\"/"}'];
%! t = ledgerdecode (text);
%! assert (ledgerencode (t, "Canonical", true), want);
%! assert (oracle (t), want);

## The RFC's example of the order of keys: by UTF-16 code units, so the
## emoji (a surrogate pair) comes before U+FB33.
%!test
%! text = ['{"\u20ac": "Euro Sign", "\r": "Carriage Return", ' ...
%!         '"\ufb33": "Hebrew Letter Dalet With Dagesh", "1": "One", ' ...
%!         '"\ud83d\ude00": "Emoji: Grinning Face", "\u0080": "Control", ' ...
%!         '"\u00f6": "Latin Small Letter O With Diaeresis"}'];
%! want = ['{"\r":"Carriage Return","1":"One","' char([194 128]) ...
%!         '":"Control","ö":"Latin Small Letter O With Diaeresis",' ...
%!         '"€":"Euro Sign","😀":"Emoji: Grinning Face",' ...
%!         '"דּ":"Hebrew Letter Dalet With Dagesh"}'];
%! t = ledgerdecode (text);
%! assert (ledgerencode (t, "Canonical", true), want);
%! assert (oracle (t), want);
%! ## SortKeys orders by code points, where U+FB33 comes first.
%! v = ledgerdecode (ledgerencode (t, "SortKeys", true));
%! assert (v.keys(end-1:end), {"דּ"; "😀"});

## ---- thousands of documents --------------------------------------------

%!test
%! rand ("state", 8785);
%! randn ("state", 8785);
%! n = 3000;
%! docs = cell (n, 1);
%! want = cell (1, n);
%! for i = 1:n
%!   docs{i} = random_tree (4);
%!   want{i} = oracle (docs{i});
%! endfor
%! got = strsplit (ledgerencode (docs, "Lines", true, "Canonical", true),
%!                 "\n");
%! assert (numel (got), n + 1);
%! bad = find (! strcmp (got(1:n), want), 1);
%! if (! isempty (bad))
%!   error ("document %d: canonical text\n%s\nthe second writer's\n%s",
%!          bad, got{bad}, want{bad});
%! endif
%! ## Each alone, as a tree and as an ordinary value, gives the same text.
%! for i = 1:200
%!   assert (__ledgertreetext__ (docs{i}, "Canonical", true), want{i});
%!   assert (ledgerencode (docs{i}, "Canonical", true), want{i});
%! endfor

## A struct is an object whose keys are its field names; a struct array an
## array of them; a matrix nested arrays.
%!test
%! s = struct ("zeta", {1, 2}, "alpha", {"x", true}, "Beta", {[], {}});
%! assert (ledgerencode (s, "Canonical", true),
%!         '[{"Beta":[],"alpha":"x","zeta":1},{"Beta":[],"alpha":true,"zeta":2}]');
%! assert (ledgerencode ([1 2; 3.5 4], "Canonical", true), "[[1,2],[3.5,4]]");
%! assert (ledgerencode (struct ("b", struct ("d", 1, "c", 2), "a", 0),
%!                       "Canonical", true), '{"a":0,"b":{"c":2,"d":1}}');

## ---- what canonical JSON cannot hold -------------------------------------

%!test
%! bad = char ([97 255]);
%! cases = {
%!   NaN,                              "no NaN or infinities (at the top"
%!   {1, -Inf},                        "no NaN or infinities (at /1)"
%!   obj({"a"}, {[1 NaN]}),           "no NaN or infinities (at /a/1)"
%!   single([Inf 1]),                 "no NaN or infinities (at /0)"
%!   uint64(2^53)+1,                  "the integer 9007199254740993 is not a double exactly"
%!   {-int64(2^53)-1},                "-9007199254740993 is not a double exactly, as canonical JSON needs (at /0)"
%!   obj({"x"}, {intmax("uint64")}),  "18446744073709551615 is not a double exactly, as canonical JSON needs (at /x)"
%!   [int64(1) int64(2^53)+1],        "9007199254740993 is not a double exactly, as canonical JSON needs (at /1)"
%!   {[int64(1) 2; 3 int64(2^53)+1]},  "9007199254740993 is not a double exactly, as canonical JSON needs (at /0/1/1)"
%!   obj({"a", "b", "a"}, {1, 2, 3}), 'the key "a" is in the object twice; canonical JSON needs each key once (key 3 of the object at the top of the tree)'
%!   {obj({"k", "k"}, {1, 1})},        'key 2 of the object at /0'
%!   {"ok", bad},                      "text that is not UTF-8 cannot be written as canonical JSON (at /1)"
%!   obj({bad}, {1}),                 "not UTF-8 cannot be written as canonical JSON (key 1 of the object at the top of the tree)"
%!   {char([237 160 128])},            "not UTF-8"
%!   {char([192 128])},                "not UTF-8"
%!   {char([240 159 152])},            "not UTF-8"
%! };
%! for i = 1:rows (cases)
%!   try
%!     ledgerencode (cases{i,1}, "Canonical", true);
%!     error ("case %d was written", i);
%!   catch err
%!     assert (err.identifier, "ledgerkit:tree", sprintf ("case %d", i));
%!     assert (! isempty (strfind (err.message, cases{i,2})),
%!             sprintf ("case %d: %s", i, err.message));
%!     assert (strncmp (err.message, "ledgerencode: ", 14));
%!   end_try_catch
%! endfor

## The integer 9007199254740993 read from a document, with Integers or
## without, is refused; 9007199254740992 is written.
%!test
%! for integers = [false true]
%!   t = ledgerdecode ("[9007199254740993]", "Integers", integers);
%!   assert (ledgerencode (ledgerdecode ("[9007199254740992]", "Integers",
%!                                       integers), "Canonical", true),
%!           "[9007199254740992]");
%!   try
%!     ledgerencode (t, "Canonical", true);
%!     error ("written");
%!   catch err
%!     assert (err.message, ["ledgerencode: the integer 9007199254740993 is " ...
%!                           "not a double exactly, as canonical JSON needs " ...
%!                           "(at /0)."]);
%!   end_try_catch
%! endfor

## Refused in saveledger too, and nothing is written.
%!test
%! f = [tempname() ".json"];
%! unwind_protect
%!   saveledger ({1, 2}, f, "Canonical", true, "Lines", true);
%!   assert (fileread (f), "1\n2\n");
%!   try
%!     saveledger ({NaN}, f, "Canonical", true);
%!     error ("written");
%!   catch err
%!     assert (err.identifier, "ledgerkit:tree");
%!   end_try_catch
%!   assert (fileread (f), "1\n2\n");
%! unwind_protect_cleanup
%!   [~] = unlink (f);
%! end_unwind_protect
