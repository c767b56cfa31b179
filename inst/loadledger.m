## Copyright (C) 2026 ledgerkit developers
##
## This file is part of ledgerkit, free software under the GNU General
## Public License, version 3 or later; see the file COPYING.

## -*- texinfo -*-
## @deftypefn  {} {@var{tree} =} loadledger (@var{file})
## @deftypefnx {} {@var{tree} =} loadledger (@var{file}, @var{name}, @var{value}, @dots{})
## @deftypefnx {} {[@var{tree}, @var{errmsg}] =} loadledger (@dots{})
## @deftypefnx {} {[@var{tree}, @var{errmsg}, @var{where}] =} loadledger (@dots{})
## @deftypefnx {} {@var{trees} =} loadledger (@var{files}, @dots{})
## Read the JSON file @var{file} into a tree that keeps the kind of every
## value.
##
## The file's bytes are read as they are, with no change of encoding: text
## in the tree holds the UTF-8 bytes of the file, and bytes that are not
## valid UTF-8 pass through unchanged.  The tree is made of ordinary values:
##
## @itemize
## @item an object is a scalar structure with the two fields @qcode{keys} and
## @qcode{values}, column cell arrays holding the member names and their
## values in file order; members with the same name are all kept;
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
## The options are name/value pairs after @var{file}; their names may be
## written in any case and each value is anything with a logical value
## (@code{true}, @code{1}, @dots{}).  All are false by default.
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
## array of trees, one for each line that holds a value, by the rules that
## @code{help ledgerdecode} gives.
##
## @item @qcode{"Plain"}
## Read the file into ordinary values, what @code{ledgerplain} makes of its
## tree, with no tree made; @qcode{"makeValidName"},
## @qcode{"ReplacementStyle"} and @qcode{"Prefix"} then name the fields as
## @code{jsondecode} does (see @code{help ledgerdecode}).
## @end table
##
## With a cell array @var{files} of file names, all are read in one call
## with the same options: @var{trees} is a cell of the same size, the tree
## (or value) of each file.  The first file that cannot be read or holds a
## fault raises its error, which names it; with @var{errmsg} asked for
## nothing is raised: @var{errmsg} is then a cell of the same size holding
## @code{""} for each file read and the message for each that failed (whose
## tree is @code{[]}), and @var{where} a cell of the places
## [@var{line}, @var{column}] of faults in texts (@code{[]} for the others).
##
## A fault in the JSON text raises an error with the identifier
## @qcode{"ledgerkit:parse"} that names the file and the place of the fault,
## for example
## @code{loadledger: conf.json: missing ',' or '@}' in an object at line 3, column 5.};
## a file that cannot be read raises one with the identifier
## @qcode{"ledgerkit:io"} that names the file and gives the system's
## reason, for example
## @code{loadledger: unable to open the file 'conf.json' for reading (No such file or directory).}
## With two outputs neither is raised: @var{tree} is then @code{[]} and
## @var{errmsg} the message, which is empty on success.  A third output
## @var{where} gives the place of a fault in the text as numbers, the row
## @code{[@var{line}, @var{column}]} that the message names; it is empty on
## success and when the file cannot be read.
##
## Regular files and pipes are read; a device such as @file{/dev/zero} is
## refused, and so is a file of more than half of the memory, which could
## not be held with its tree.  Ctrl-C stops the reading at once.
##
## Example:
##
## @example
## @group
## conf = loadledger ("conf.json", "Comments", true, "TrailingCommas", true);
## conf.keys@{2@}
##   @result{} id
## class (conf.values@{2@})
##   @result{} uint64
## log = loadledger ("events.jsonl", "Lines", true);
## numel (log)
##   @result{} 3
## [tree, err] = loadledger ("broken.json");
## if (! isempty (err))
##   disp (err);
## endif
## @end group
## @end example
##
## @seealso{ledgerdecode, saveledger, ledgerencode, jsondecode}
## @end deftypefn

function [tree, errmsg, where] = loadledger (file, varargin)

  if (nargin < 1)
    print_usage ();
  endif
  ## The module reads the file itself and names this function in its
  ## errors; a fault is raised there unless ERRMSG is asked for.
  if (nargout < 2)
    tree = __ledgerload__ (file, varargin{:});
  else
    [tree, errmsg, where] = __ledgerload__ (file, varargin{:});
  endif

endfunction

## Tests write their own small files, byte for byte.
%!function write_bytes (file, bytes)
%!  fid = fopen (file, "w");
%!  fwrite (fid, bytes, "uint8");
%!  fclose (fid);
%!endfunction

%!function check_error (id, msg, fn, varargin)
%!  try
%!    fn (varargin{:});
%!    error ("no error was raised");
%!  catch err
%!    assert (err.identifier, id);
%!    assert (err.message, msg);
%!  end_try_catch
%!endfunction

%!test
%! ## Kinds of values, duplicate names kept, a large integer exact.
%! f = tempname ();
%! unwind_protect
%!   write_bytes (f, ['{"id": 18446744073709551615, "a": [1, "x", true],' ...
%!                    ' "a": null, "o": {}, "e": []}']);
%!   t = loadledger (f);
%!   assert (t.keys, {"id"; "a"; "a"; "o"; "e"});
%!   assert (t.values{1}, intmax ("uint64"));
%!   assert (t.values{2}, {1; "x"; true});
%!   assert (isstruct (t.values{3}) && isempty (fieldnames (t.values{3})));
%!   assert (size (t.values{3}), [0, 0]);
%!   assert (t.values{4}, struct ("keys", {cell(0, 1)}, "values", {cell(0, 1)}));
%!   assert (t.values{5}, cell (0, 1));
%! unwind_protect_cleanup
%!   delete (f);
%! end_unwind_protect

%!test
%! ## The bytes arrive unchanged: UTF-8, bytes that are not UTF-8 at all, a
%! ## byte-order mark, and line ends (a line feed after a carriage return
%! ## counts as the start of line 2).
%! f = tempname ();
%! unwind_protect
%!   bytes = [239 187 191, double('["'), 195 169 226 130 172 255 254 128 192, ...
%!            double('"]'), 13 10];
%!   write_bytes (f, bytes);
%!   t = loadledger (f);
%!   assert (double (t{1}), [195 169 226 130 172 255 254 128 192]);
%!   write_bytes (f, [bytes, double('x')]);
%!   [t, err] = loadledger (f);
%!   assert (err, ["loadledger: " f ": unexpected text after the value at line 2, column 1."]);
%! unwind_protect_cleanup
%!   delete (f);
%! end_unwind_protect

%!test
%! ## A file larger than any buffer comes through whole.
%! f = tempname ();
%! unwind_protect
%!   n = 300000;
%!   write_bytes (f, ["[" repmat('"abc\u00e9",', 1, n) "0]"]);
%!   t = loadledger (f);
%!   assert (numel (t), n + 1);
%!   assert (double (t{n}), [97 98 99 195 169]);
%! unwind_protect_cleanup
%!   delete (f);
%! end_unwind_protect

%!test
%! ## Each option opens its own extension, whatever the case of its name and
%! ## with any value that is true or false.
%! f = tempname ();
%! unwind_protect
%!   cases = {
%!     "[1, // one\n 2]",  "Comments",       {1; 2}
%!     '[1, /* one */ 2]',  "comments",       {1; 2}
%!     '[1, 2,]',           "TrailingCommas", {1; 2}
%!     '{"a": 1,}',         "TRAILINGCOMMAS", struct("keys", {{"a"}}, "values", {{1}})
%!     '[NaN, -Infinity]',  "InfNaN",         {NaN; -Inf}
%!     '[Inf]',             "infnan",         {Inf}
%!   };
%!   for i = 1:rows (cases)
%!     write_bytes (f, cases{i,1});
%!     [t, err] = loadledger (f);
%!     assert (isempty (t) && ! isempty (err), cases{i,1});
%!     for on = {true, 1, int8(1), single(2)}
%!       assert (loadledger (f, cases{i,2}, on{1}), cases{i,3});
%!     endfor
%!     [t, err] = loadledger (f, cases{i,2}, 0);
%!     assert (isempty (t) && ! isempty (err), cases{i,1});
%!   endfor
%!   ## The last of two values given for one option holds.
%!   write_bytes (f, "[1,]");
%!   assert (loadledger (f, "TrailingCommas", false, "trailingcommas", true),
%!           {1});
%! unwind_protect_cleanup
%!   delete (f);
%! end_unwind_protect

%!test
%! ## A JSON fault: an error that names the file, the fault and its place;
%! ## with two outputs the same message is returned and nothing is raised.
%! f = tempname ();
%! unwind_protect
%!   write_bytes (f, "{\n  \"a\": 1\n    \"b\": 2\n}");
%!   msg = ["loadledger: " f ": missing ',' or '}' in an object at line 3, column 5."];
%!   check_error ("ledgerkit:parse", msg, @loadledger, f);
%!   [t, err] = loadledger (f);
%!   assert (t, []);
%!   assert (err, msg);
%!   write_bytes (f, "");
%!   [t, err] = loadledger (f);
%!   assert (err, ["loadledger: " f ": the text holds no value at line 1, column 1."]);
%!   write_bytes (f, "[true]");
%!   [t, err] = loadledger (f);
%!   assert (t, {true});
%!   assert (err, "");
%!   assert (ischar (err));
%! unwind_protect_cleanup
%!   delete (f);
%! end_unwind_protect

%!test
%! ## The place of a fault in the text as numbers, the line and column that
%! ## the message names; empty when the text reads or the file does not.
%! ## {text, options, where}.
%! f = tempname ();
%! unwind_protect
%!   cases = {
%!     "{\n  \"a\": 1\n    \"b\": 2\n}", {},              [3 5]
%!     "",                                 {},              [1 1]
%!     "[\"\xC3\xA9\", x]",                {},              [1 7]
%!     "1\n[1 2]\n3",                      {"Lines", true}, [2 4]
%!     "[1]",                              {},              []
%!     "[1,]",                             {"TrailingCommas", true}, []
%!   };
%!   for i = 1:rows (cases)
%!     write_bytes (f, cases{i,1});
%!     [t, err, where] = loadledger (f, cases{i,2}{:});
%!     assert (where, cases{i,3});
%!     if (! isempty (where))
%!       assert (regexp (err, sprintf ("at line %d, column %d\\.$", where)));
%!     endif
%!   endfor
%!   [t, err, where] = loadledger ([f ".none"]);
%!   assert (! isempty (err) && isempty (where));
%! unwind_protect_cleanup
%!   delete (f);
%! end_unwind_protect

%!test
%! ## A file that cannot be read: the system's reason, "ledgerkit:io", the
%! ## same message returned with a second output.  Devices are refused
%! ## before a byte is read; a name with a NUL byte names no file.
%! d = tempname ();
%! mkdir (d);
%! unwind_protect
%!   ok = fullfile (d, "ok.json");
%!   write_bytes (ok, "[1]");
%!   opening = @(f, why) sprintf ("loadledger: unable to open the file '%s' for reading (%s).", f, why);
%!   cases = {
%!     fullfile(d, "missing.json"), opening(fullfile (d, "missing.json"), "No such file or directory")
%!     fullfile(d, "no", "x.json"), opening(fullfile (d, "no", "x.json"), "No such file or directory")
%!     "",                          opening("", "No such file or directory")
%!     d,                           opening(d, "Is a directory")
%!     "/dev/zero",                 opening("/dev/zero", "a device, not a file")
%!     "/dev/urandom",              opening("/dev/urandom", "a device, not a file")
%!     [ok "\0zz"],                 opening([ok '\0zz'], "a file name cannot hold a NUL byte")
%!     "/proc/self/mem",            "loadledger: unable to read the file '/proc/self/mem' (Input/output error)."
%!   };
%!   for i = 1:rows (cases)
%!     check_error ("ledgerkit:io", cases{i,2}, @loadledger, cases{i,1});
%!     check_error ("ledgerkit:io", cases{i,2}, @loadledger, cases{i,1}, "Lines", true);
%!     [t, err] = loadledger (cases{i,1});
%!     assert (t, []);
%!     assert (err, cases{i,2});
%!   endfor
%!   ## An empty name of any size is the empty name.
%!   [t, err] = loadledger (char (zeros (3, 0)));
%!   assert (err, cases{3,2});
%!   ## Without the right to read: the system's reason (root may read all).
%!   [~, uid] = system ("id -u");
%!   if (! strcmp (strtrim (uid), "0"))
%!     chmod = @(f, m) system (sprintf ("chmod %s '%s'", m, f));
%!     chmod (ok, "000");
%!     [t, err] = loadledger (ok);
%!     assert (err, opening (ok, "Permission denied"));
%!     chmod (ok, "644");
%!   endif
%! unwind_protect_cleanup
%!   confirm_recursive_rmdir (false, "local");
%!   rmdir (d, "s");
%! end_unwind_protect

%!test
%! ## Files of no size known beforehand and of more than can be held.  A
%! ## pseudo-file is read as a stream, and reading one stops at a NUL byte,
%! ## which no JSON text holds: the fault is the one the whole file would
%! ## give.  A pipe is read until its writer closes it.  A file larger than
%! ## half of the memory (here one with holes, taking no room) is refused
%! ## before it is read.
%! [t, err] = loadledger ("/proc/self/pagemap");
%! assert (err, "loadledger: /proc/self/pagemap: invalid value at line 1, column 1.");
%! [t, err] = loadledger ("/proc/self/pagemap", "Lines", true);
%! assert (err, "loadledger: /proc/self/pagemap: invalid value at line 1, column 1.");
%! d = tempname ();
%! mkdir (d);
%! unwind_protect
%!   fifo = fullfile (d, "fifo");
%!   if (system (sprintf ("mkfifo '%s'", fifo)) == 0)
%!     system (sprintf ("printf '{\"a\": [1, 2]}\\n' > '%s' &", fifo));
%!     t = loadledger (fifo);
%!     assert (t.keys, {"a"});
%!     assert (t.values, {{1; 2}});
%!     system (sprintf ("(printf '1\\n'; sleep 0.2; printf '[2]\\r\\n') > '%s' &", fifo));
%!     assert (loadledger (fifo, "Lines", true), {1; {2}});
%!   endif
%!   big = fullfile (d, "big.json");
%!   [~, mem] = system ("awk '/MemTotal/ { print $2 }' /proc/meminfo");
%!   if (system (sprintf ("truncate -s %dK '%s'", 2 * str2double (mem), big)) == 0)
%!     check_error ("ledgerkit:io", ["loadledger: unable to read the file '" big ...
%!                  "' (larger than half of the memory)."], @loadledger, big);
%!   endif
%! unwind_protect_cleanup
%!   confirm_recursive_rmdir (false, "local");
%!   rmdir (d, "s");
%! end_unwind_protect

%!test
%! ## JSON Lines from a file: CRLF, blank lines, no line feed at the end;
%! ## a fault names the file, its line and column; the other options apply
%! ## to every line.
%! f = tempname ();
%! unwind_protect
%!   write_bytes (f, "{\"id\": 1}\r\n\r\n[2, 3]\n\n\"x\"");
%!   t = loadledger (f, "Lines", true);
%!   assert (t, {struct("keys", {{"id"}}, "values", {{1}}); {2; 3}; "x"});
%!   write_bytes (f, "");
%!   assert (loadledger (f, "lines", 1), cell (0, 1));
%!   write_bytes (f, "[1,]\n// c\n[NaN]\n");
%!   assert (loadledger (f, "Lines", true, "TrailingCommas", true,
%!                       "Comments", true, "InfNaN", true), {{1}; {NaN}});
%!   cases = {"x\n1\n2", "line 1, column 1"; "1\n[1 2]\n3", "line 2, column 4";
%!            "1\r\n2\r\n3 4", "line 3, column 3"};
%!   for i = 1:rows (cases)
%!     write_bytes (f, cases{i,1});
%!     [t, err] = loadledger (f, "Lines", true);
%!     assert (t, []);
%!     assert (regexp (err, ["^loadledger: " regexptranslate("escape", f) ": .* at " cases{i,2} "\\.$"]));
%!     check_error ("ledgerkit:parse", err, @loadledger, f, "Lines", true);
%!   endfor
%!   ## A whole document over several lines is not JSON Lines.
%!   write_bytes (f, "[1,\n2]");
%!   [t, err] = loadledger (f, "Lines", true);
%!   assert (err, ["loadledger: " f ": unexpected end of the text at line 1, column 4."]);
%!   assert (loadledger (f), {1; 2});
%!   ## UTF-16 is named, not guessed.
%!   write_bytes (f, [255 254 double("[\0]\0")]);
%!   [t, err] = loadledger (f);
%!   assert (err, ["loadledger: " f ": the text is UTF-16LE, not UTF-8 at line 1, column 1."]);
%! unwind_protect_cleanup
%!   delete (f);
%! end_unwind_protect

%!test
%! ## A relative name is read from the current folder, never from the load
%! ## path; "~" stands for the home folder.
%! d = tempname ();
%! mkdir (d);
%! mkdir (fullfile (d, "sub"));
%! old = pwd ();
%! home = getenv ("HOME");
%! unwind_protect
%!   write_bytes (fullfile (d, "sub", "found.json"), "[1]");
%!   addpath (fullfile (d, "sub"));
%!   cd (d);
%!   [t, err] = loadledger ("found.json");
%!   assert (t, []);
%!   assert (strncmp (err, "loadledger: unable to open the file 'found.json'", 48));
%!   assert (loadledger (fullfile ("sub", "found.json")), {1});
%!   setenv ("HOME", d);
%!   assert (loadledger ("~/sub/found.json"), {1});
%! unwind_protect_cleanup
%!   setenv ("HOME", home);
%!   cd (old);
%!   rmpath (fullfile (d, "sub"));
%!   confirm_recursive_rmdir (false, "local");
%!   rmdir (d, "s");
%! end_unwind_protect

## Wrong calls are raised, also with two outputs, before the file is opened:
## a wrong option is reported even for a file that does not exist.
%!error <Invalid call to loadledger> loadledger ()
%!error <loadledger: FILE must be a character row, not double> loadledger (1)
%!error <FILE must be a character row> loadledger (["ab"; "cd"])
%!error <each name in FILES must be a character row, not double> [t, e] = loadledger ({"a.json", 1})
%!error <FILE must be a character row, not struct> loadledger (struct ())
%!error <loadledger: unknown option 'Bogus'> loadledger ("/nonexistent/x.json", "Bogus", true)
%!error <loadledger: the option 'Comments' needs a value> loadledger ("/nonexistent/x.json", "comments")
%!error <loadledger: the option 'InfNaN' needs a value> [t, e] = loadledger ("/nonexistent/x.json", "Comments", 1, "INFNAN")
%!error <loadledger: the value of 'Comments' must be true or false> loadledger ("/nonexistent/x.json", "Comments", "yes")
%!error <must be true or false> loadledger ("/nonexistent/x.json", "Comments", [true, true])
%!error <must be true or false> loadledger ("/nonexistent/x.json", "InfNaN", NaN)
%!error <must be true or false> loadledger ("/nonexistent/x.json", "InfNaN", {true})
%!error <loadledger: an option name must be a character row, not double> loadledger ("/nonexistent/x.json", 1, true)
%!error <loadledger: unknown option ''> loadledger ("/nonexistent/x.json", "", true)
%!error <loadledger: the value of 'Lines' must be true or false> loadledger ("/nonexistent/x.json", "Lines", "yes")
%!error id=Octave:invalid-input-arg loadledger ("/nonexistent/x.json", "Pretty", true)
