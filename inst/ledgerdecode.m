## Copyright (C) 2026 ledgerkit developers
##
## This file is part of ledgerkit, free software under the GNU General
## Public License, version 3 or later; see the file COPYING.

## -*- texinfo -*-
## @deftypefn  {} {@var{tree} =} ledgerdecode (@var{text})
## @deftypefnx {} {@var{tree} =} ledgerdecode (@var{text}, @var{name}, @var{value}, @dots{})
## @deftypefnx {} {[@var{tree}, @var{errmsg}] =} ledgerdecode (@dots{})
## Read the JSON text @var{text}, a character row, into a tree that keeps
## the kind of every value.
##
## This is @code{loadledger} for text already in memory, for example what
## @code{webread} or @code{fileread} returns.  The characters of @var{text}
## are taken as UTF-8 bytes.  The tree has the same form:
##
## @itemize
## @item an object is a scalar structure with the two fields @qcode{keys} and
## @qcode{values}, column cell arrays holding the member names and their
## values in text order; members with the same name are all kept;
##
## @item an array is a column cell array, empty for @code{[]};
##
## @item text is a character row;
##
## @item a number is a @code{double}, or an @code{int64} or @code{uint64}
## for an integer beyond 2^53 that one of them holds exactly;
##
## @item @code{true} and @code{false} are logical scalars;
##
## @item @code{null} is a 0-by-0 structure array with no fields.
## @end itemize
##
## The options are name/value pairs after @var{text}, their names in any
## case, each value anything with a logical value; all are false by default.
##
## @table @asis
## @item @qcode{"Comments"}
## Allow @code{//} line comments and @code{/* */} block comments.
##
## @item @qcode{"TrailingCommas"}
## Allow a comma after the last member of an object or array.
##
## @item @qcode{"InfNaN"}
## Allow the numbers @code{NaN}, @code{Infinity}, @code{-Infinity},
## @code{Inf} and @code{-Inf}.
##
## @item @qcode{"Integers"}
## Read an integer literal (no fraction, no exponent) as an @code{int64}
## when @code{int64} holds it, as a @code{uint64} above that, so that it is
## written back without @code{.0}: @code{8080} stays @code{8080}.  @code{-0}
## stays the double @code{-0}; an integer beyond @code{uint64} is a double
## as without the option.  Without it, every number is a double but for
## integer literals beyond 2^53.
##
## @item @qcode{"Lines"}
## Read JSON Lines, one value per line: @var{tree} is then an n-by-1 cell
## array of trees, one for each line that holds a value.  Lines end in a
## line feed (a @qcode{"\r\n"} ending and a last line without one are
## fine); a line of only blanks, and with @qcode{"Comments"} of only
## comments, holds no value; each line is read as a text of its own, with
## the other options; an empty text gives a 0-by-1 cell.  A fault names
## its line and column in the whole text.
##
## @item @qcode{"Plain"}
## Read the text into the ordinary values that @code{ledgerplain} makes of
## its tree (structs, numeric and logical arrays, cells, as
## @code{jsondecode} gives them), straight from the text with no tree
## between: @code{ledgerdecode (@var{text}, "Plain", true)} is
## @code{ledgerplain (ledgerdecode (@var{text}))}, made faster and in less
## memory.  With @qcode{"Lines"} @var{tree} is a column cell of the values
## of the lines, each line's value made on its own.
##
## @item @qcode{"makeValidName"}
## With @qcode{"Plain"}, make each key that is no valid name one as
## @code{matlab.lang.makeValidName} does, as @code{jsondecode} does by
## default (@code{"a b"} becomes @code{aB}, @code{"1x"} @code{x1x}); keys
## that then make the same name are one field, the last member kept.
## Without it keys are field names exactly as written.
##
## @item @qcode{"ReplacementStyle"}
## With @qcode{"makeValidName"}: what stands for a character no name may
## hold, @qcode{"underscore"} (the default), @qcode{"delete"} or
## @qcode{"hex"}, as for @code{matlab.lang.makeValidName}.
##
## @item @qcode{"Prefix"}
## With @qcode{"makeValidName"}: what is put before a key that does not
## start with a letter, @qcode{"x"} by default.
## @end table
##
## @code{ledgerdecode (@var{text}, "Plain", true, "makeValidName", true)}
## can stand for @code{jsondecode (@var{text})}; it differs only where
## @code{jsondecode} loses something: integers beyond 2^53 stay exact
## (@code{int64} or @code{uint64}), every double is the correctly rounded
## one, and of a repeated key the last member is kept.
##
## A fault in the text raises an error with the identifier
## @qcode{"ledgerkit:parse"} that names the fault and its place, for example
## @code{ledgerdecode: unexpected end of the text at line 1, column 2.}.
## With two outputs nothing is raised: @var{tree} is then @code{[]} and
## @var{errmsg} the message, which is empty on success.
##
## Examples:
##
## @example
## @group
## t = ledgerdecode ('@{"id": 9007199254740993, "id": null@}');
## t.keys
##   @result{} @{ [1,1] = id
##        [2,1] = id @}
## class (t.values@{1@})
##   @result{} uint64
## ledgerdecode ("[1, 2,]", "TrailingCommas", true)
##   @result{} @{ [1,1] = 1
##        [2,1] = 2 @}
## ledgerdecode (sprintf ("1\n\n[2]\n"), "Lines", true)
##   @result{} @{ [1,1] = 1
##        [2,1] = @{ [1,1] = 2 @} @}
## p = ledgerdecode ('@{"m": [[1, 2], [3, 4]], "id": 9007199254740993@}', "Plain", true)
##   @result{} p =
##        scalar structure containing the fields:
##          m =
##             1   2
##             3   4
##          id = 9007199254740993
## [t, err] = ledgerdecode ("[1 2]")
##   @result{} t = [](0x0)
##   @result{} err = ledgerdecode: missing ',' or ']' in an array at line 1, column 4.
## @end group
## @end example
##
## @seealso{loadledger, ledgerencode, saveledger, jsondecode}
## @end deftypefn

function [tree, errmsg, where] = ledgerdecode (text, varargin)

  if (nargin < 1)
    print_usage ();
  endif
  ## The module reads the options and names this function in its errors; a
  ## fault in the text is raised there unless ERRMSG is asked for.
  if (nargout < 2)
    tree = __ledgerdecode__ (text, varargin{:});
  else
    [tree, errmsg, where] = __ledgerdecode__ (text, varargin{:});
  endif

endfunction

%!test
%! ## The kinds of values and their shapes.
%! t = ledgerdecode (['{"id": 7, "tags": ["a", 2.5], "id": 9007199254740993,' ...
%!                    ' "ok": true, "none": null, "empty": {}, "list": []}']);
%! assert (fieldnames (t), {"keys"; "values"});
%! assert (t.keys, {"id"; "tags"; "id"; "ok"; "none"; "empty"; "list"});
%! v = t.values;
%! assert (v{1}, 7);
%! assert (v{2}, {"a"; 2.5});
%! assert (v{3}, uint64 (2^53) + 1);
%! assert (v{4}, true);
%! assert (class (v{5}), "struct");
%! assert (size (v{5}), [0, 0]);
%! assert (isempty (fieldnames (v{5})));
%! assert (v{6}, struct ("keys", {cell(0, 1)}, "values", {cell(0, 1)}));
%! assert (v{7}, cell (0, 1));

%!test
%! ## Integers keep their class only beyond 2^53.
%! cases = {
%!   "9007199254740992",     9007199254740992
%!   "9007199254740993",     uint64(2^53) + 1
%!   "-9007199254740993",    -int64(2^53) - 1
%!   "-9223372036854775808", intmin("int64")
%!   "18446744073709551616", 18446744073709551616
%!   "9007199254740993.0",   9007199254740992
%! };
%! for i = 1:rows (cases)
%!   t = ledgerdecode (cases{i,1});
%!   assert (class (t), class (cases{i,2}), cases{i,1});
%!   assert (t, cases{i,2}, cases{i,1});
%! endfor

%!test
%! ## Text is UTF-8 bytes both ways: escapes give UTF-8, other bytes pass.
%! assert (double (ledgerdecode ('"\u00e9\ud83d\ude00"')),
%!         [195 169 240 159 152 128]);
%! assert (double (ledgerdecode (char ([34 255 192 128 34]))), [255 192 128]);
%! assert (ledgerdecode ('""'), "");

%!test
%! ## Options, whatever the case of their names, with any logical value.
%! cases = {
%!   "[1, // one\n 2]",   "Comments",       {1; 2}
%!   "/* c */ true",      "COMMENTS",       true
%!   "[1, 2, ]",          "TrailingCommas", {1; 2}
%!   '{"a": [],}',        "trailingCommas", struct("keys", {{"a"}}, "values", {{cell(0, 1)}})
%!   "[NaN, Infinity, -Inf]", "InfNaN",     {NaN; Inf; -Inf}
%! };
%! for i = 1:rows (cases)
%!   [t, err] = ledgerdecode (cases{i,1});
%!   assert (t, []);
%!   assert (! isempty (err));
%!   for on = {true, 1, uint8(1), -3}
%!     assert (ledgerdecode (cases{i,1}, cases{i,2}, on{1}), cases{i,3});
%!   endfor
%!   [t, err] = ledgerdecode (cases{i,1}, cases{i,2}, 0);
%!   assert (t, []);
%! endfor
%! ## All three at once, and each call on its own: nothing carries over.
%! assert (ledgerdecode ("[NaN, /**/ 1,]", "infnan", 1, "comments", 1,
%!                       "trailingcommas", 1), {NaN; 1});
%! [t, err] = ledgerdecode ("[NaN]");
%! assert (err, "ledgerdecode: invalid value at line 1, column 2.");

%!test
%! ## Faults: raised with the identifier, or returned with two outputs.
%! cases = {
%!   "[",          "unexpected end of the text at line 1, column 2."
%!   "",           "the text holds no value at line 1, column 1."
%!   "[1 2]",      "missing ',' or ']' in an array at line 1, column 4."
%!   "{\n  \"a\": 1\n    \"b\": 2\n}", "missing ',' or '}' in an object at line 3, column 5."
%!   "[1,]",       "trailing commas are not allowed at line 1, column 4."
%!   "true // c",  "comments are not allowed at line 1, column 6."
%! };
%! for i = 1:rows (cases)
%!   msg = ["ledgerdecode: " cases{i,2}];
%!   try
%!     ledgerdecode (cases{i,1});
%!     error ("no error was raised");
%!   catch err
%!     assert (err.identifier, "ledgerkit:parse");
%!     assert (err.message, msg);
%!   end_try_catch
%!   [t, e] = ledgerdecode (cases{i,1});
%!   assert (t, []);
%!   assert (e, msg);
%! endfor
%! [t, e] = ledgerdecode ("null");
%! assert (e, "");
%! assert (ischar (e));

%!test
%! ## The common call, read straight by the module, gives exactly what the
%! ## checked way gives (taken here by naming an option), on many texts.
%! texts = {"", " ", "1", "[1, 2.5, \"x\"]", "{\"a\": {}, \"a\": []}", "null", ...
%!          "[1 2]", "{", "\"\\u00e9\"", "tru", "[NaN]", "// c\n1", "1 2", ...
%!          char([34 255 34]), char([239 187 191 49]), char([255 254 49 0]), ...
%!          char(zeros (1, 0)), ["[" repmat("[", 1, 70)]};
%! for i = 1:numel (texts)
%!   [t1, e1] = ledgerdecode (texts{i});
%!   [t2, e2] = ledgerdecode (texts{i}, "Comments", false);
%!   assert (isequaln (t1, t2) && strcmp (e1, e2) && ischar (e1), texts{i});
%! endfor
%! ## A 0-by-N and an N-by-0 character array are both the empty text.
%! msg = "ledgerdecode: the text holds no value at line 1, column 1.";
%! for empty = {"", char(zeros (1, 0)), char(zeros (0, 3)), char(zeros (3, 0))}
%!   [t, e] = ledgerdecode (empty{1});
%!   assert (e, msg);
%! endfor

%!test
%! ## JSON Lines: one tree per line that holds a value, in an n-by-1 cell.
%! assert (ledgerdecode ("1\n\n[2]\r\n\"x\"", "Lines", true), {1; {2}; "x"});
%! assert (ledgerdecode ("", "Lines", true), cell (0, 1));
%! assert (ledgerdecode ("\n\r\n", "Lines", true), cell (0, 1));
%! assert (ledgerdecode ("1\n2\n", "Lines", false, "lines", true), {1; 2});
%! assert (ledgerdecode ("[1,]\n/* c */\nInf", "Lines", true, "Comments", true,
%!                       "TrailingCommas", true, "InfNaN", true), {{1}; Inf});
%! cases = {
%!   "{]\n1\n2",     "missing object key at line 1, column 2."
%!   "1\n[1,,2]\n2", "invalid value at line 2, column 4."
%!   "1\r\n2\r\n3x", "unexpected text after the value at line 3, column 2."
%!   "1\n2 // c\n",  "comments are not allowed at line 2, column 3."
%! };
%! for i = 1:rows (cases)
%!   msg = ["ledgerdecode: " cases{i,2}];
%!   [t, e] = ledgerdecode (cases{i,1}, "Lines", true);
%!   assert (t, []);
%!   assert (e, msg);
%!   try
%!     ledgerdecode (cases{i,1}, "Lines", true);
%!     error ("no error was raised");
%!   catch err
%!     assert (err.identifier, "ledgerkit:parse");
%!     assert (err.message, msg);
%!   end_try_catch
%! endfor

%!test
%! ## Option values are made plain logical values before any module sees
%! ## them: a sparse or an integer true will do.
%! assert (ledgerdecode ("[1,]", "TrailingCommas", sparse (true)), {1});
%! assert (ledgerdecode ("1\n2", "Lines", int8 (1)), {1; 2});
%! assert (ledgerdecode ("[1,]", "TrailingCommas", sparse (1)), {1});

%!error <Invalid call to ledgerdecode> ledgerdecode ()
%!error <ledgerdecode: unknown option ''> ledgerdecode ("[]", "", true)
%!error <ledgerdecode: an option name must be a character row, not a 2x1 char array> ledgerdecode ("[]", ["a"; "b"], true)
%!error <the value of 'Lines' must be true or false> ledgerdecode ("[]", "Lines", sparse ([true true]))
%!error <the value of 'Comments' must be true or false> ledgerdecode ("[]", "Comments", complex (1, 1))
%!error <TEXT must be a character row, not a 1x2x2 char array> ledgerdecode (repmat ("a", [1 2 2]))
%!error <TEXT must be a character row, not a 2x1 char array> ledgerdecode (["1"; "2"])
%!error <ledgerdecode: TEXT must be a character row, not double> ledgerdecode (5)
%!error <TEXT must be a character row, not a 2x2 char array> ledgerdecode (["[1"; "2]"])
%!error <TEXT must be a character row, not cell> [t, e] = ledgerdecode ({"[]"})
%!error <ledgerdecode: unknown option 'Pretty'> ledgerdecode ("[]", "Pretty", true)
%!error <ledgerdecode: the option 'Comments' needs a value> ledgerdecode ("[]", "comments")
%!error <ledgerdecode: the value of 'TrailingCommas' must be true or false> ledgerdecode ("[]", "TrailingCommas", "on")
