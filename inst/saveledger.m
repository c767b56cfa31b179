## Copyright (C) 2026 ledgerkit developers
##
## This file is part of ledgerkit, free software under the GNU General
## Public License, version 3 or later; see the file COPYING.

## -*- texinfo -*-
## @deftypefn  {} {} saveledger (@var{value}, @var{file})
## @deftypefnx {} {} saveledger (@var{value}, @var{file}, @var{name}, @var{val}, @dots{})
## @deftypefnx {} {@var{errmsg} =} saveledger (@dots{})
## Write a tree or an ordinary value @var{value} to the file @var{file} as
## JSON text.
##
## A tree has the form that @code{loadledger} returns, so a tree read
## and written back gives the same JSON values: an object is a scalar
## structure with the fields @qcode{keys} and @qcode{values} (column cell
## arrays of the member names and their values), an array a cell array, text
## a character row, a number or logical value a scalar, and @code{null} a
## structure with no fields.  Trees built by hand may also use numbers or
## logical values as keys and numeric or logical arrays, which are written
## as JSON arrays of their elements, in column order.
##
## An ordinary value is written as @code{ledgertree} lays it out, as
## @code{jsonencode} does: a structure is an object of its fields, a
## structure array an array of objects, a matrix nested arrays by rows, a
## @code{containers.Map} an object (see @code{ledgertree}); a tree inside
## it is written as it stands.  No tree is made on the way.
##
## Every double is written as its correctly rounded decimal digits at the
## fewest count that reads back as the same double, with a decimal point or
## an exponent (@code{1.0}, @code{0.1}, @code{1e21}); integer classes are
## written exactly.
##
## The file holds exactly the JSON text: no byte-order mark and no line
## feed at the end.  Text is written as its bytes, taken as UTF-8.
##
## The options are name/value pairs after @var{file}, their names in any
## case; but for @qcode{"WholeNumbers"} and @qcode{"Indent"}, each value
## is anything with a logical value, false by default.
##
## @table @asis
## @item @qcode{"Pretty"}
## Put each member on a line of its own, indented by four spaces per level
## (see @qcode{"Indent"}).  MATLAB's name @qcode{"PrettyPrint"} is taken
## as well.
##
## @item @qcode{"Indent"}
## The indentation of one level of @qcode{"Pretty"} text: a whole number
## of spaces from 0 to 8, or @qcode{"\t"} for one tab per level; 4 by
## default.  With 0 each member is still on a line of its own.  Compact
## text is not changed by it.
##
## @item @qcode{"WholeNumbers"}
## @qcode{"point"} (the default) writes a whole double with @code{.0}
## (@code{1.0}), so that it reads back as a double; @qcode{"plain"} writes
## it as an integer (@code{1}), as @code{jsonencode} does.
##
## @item @qcode{"SortKeys"}
## Write the members of each object, and the fields of each structure, in
## the order of their keys' code points (the order of their UTF-8 bytes);
## members with equal keys keep their order.
##
## @item @qcode{"Canonical"}
## Write the one canonical text of the value (RFC 8785, the JSON
## Canonicalization Scheme), for hashing and signing: no blanks, the
## members of each object in the order of the UTF-16 code units of their
## keys, numbers as ECMAScript writes them (@code{1}, @code{0.000001},
## @code{1e-7}, @code{1e+21}; @code{-0} is @code{0}), strings with the
## fewest escapes.  What canonical JSON cannot hold raises an error
## @qcode{"ledgerkit:tree"} naming its place, and nothing is written:
## @code{NaN} and the infinities, a key twice in one object, an integer
## that no double holds exactly (@code{int64 (2)^53 + 1}), text that is
## not UTF-8.  It cannot be used with @qcode{"Pretty"} or
## @qcode{"Preserve"}; with @qcode{"Lines"} each line is canonical.
##
## @item @qcode{"Preserve"}
## Write @code{NaN}, @code{Infinity} and @code{-Infinity} as these words,
## which @code{loadledger} reads back with its option @qcode{"InfNaN"},
## instead of @code{null}.  MATLAB's @qcode{"ConvertInfAndNaN"} says the
## opposite: @code{false} there is @code{true} here.
##
## @item @qcode{"Lines"}
## JSON Lines: @var{value} is a cell array (or a value that
## @code{ledgertree} makes an array of, such as a structure array), and
## each element is written as
## one compact document on a line of its own, in column order, each line
## ending in a line feed.  It cannot be used with @qcode{"Pretty"}.
##
## @item @qcode{"Sync"}
## True by default: the new text is forced to disk (the file, then its
## folder) before it replaces the old file, so that even a power cut
## leaves either the old file or the new one.  @code{false} skips the
## forcing, for bulk writes of many small files: the file is still
## replaced as a whole by a rename, so a program that stops never leaves
## half a file, but after a power cut or a crash of the system the file
## may be the old one, or empty.
## @end table
##
## The file is replaced as a whole: the text goes to a new file in the same
## folder, named after @var{file} with @qcode{".saveledger-"} and six
## characters appended, which is flushed to disk and then renamed over
## @var{file}.  So @var{file} holds, at every moment, its old content or the
## whole new text, whatever happens to the process.  A symbolic link is
## followed: the file it points to is replaced and the link stays.  An
## existing file keeps its permissions (and its owner, where the process
## may give it); a new one gets them from the umask.  A file that is not a
## regular file (a device, a pipe), an existing file whose folder takes no
## new file (no write permission there) and one whose owner cannot be kept
## are written in place instead, which is not atomic.  Other hard links to
## the file keep the old text, and extended attributes are not carried
## over.  The new file of a process that is killed may be left behind; no
## other way leaves it.
##
## A file that cannot be written raises an error with the identifier
## @qcode{"ledgerkit:io"} that gives the system's reason, for example
## @code{saveledger: unable to open the file 'out/conf.json' for writing
## (No such file or directory).}.  With an output @var{errmsg} that message
## is returned instead, and it is empty on success.  A value that cannot be
## written as JSON (a tree not exactly as it stands, or what
## @code{ledgertree} refuses) raises an error with the identifier
## @qcode{"ledgerkit:tree"} that says what is wrong and where (a JSON
## Pointer such as @code{/servers/2/port}); that error, and a wrong call,
## are raised whether or not @var{errmsg} is asked for, and then no file is
## touched.
##
## Example:
##
## @example
## @group
## conf = loadledger ("conf.json", "Comments", true);
## conf.values@{1@} = "new name";
## saveledger (conf, "conf.json", "Pretty", true);
## err = saveledger (conf, "/read-only/conf.json");
##   @result{} err = saveledger: unable to open the file '/read-only/conf.json' for writing (Permission denied).
## saveledger (@{struct([]); @{1@}@}, "log.jsonl", "Lines", true);
## saveledger (struct ("run", @{1, 2@}, "grid", [1 2; 3 4]), "runs.json");
## @end group
## @end example
##
## @seealso{ledgerencode, ledgertree, loadledger, ledgerdecode, jsonencode}
## @end deftypefn

function errmsg = saveledger (value, file, varargin)

  if (nargin < 2)
    print_usage ();
  endif
  ## The module reads the options and names this function in its errors; a
  ## file that cannot be written is raised there unless ERRMSG is asked for.
  if (nargout > 0)
    errmsg = __ledgersave__ (value, file, varargin{:});
  else
    __ledgersave__ (value, file, varargin{:});
  endif

endfunction

%!function bytes = read_bytes (file)
%!  fid = fopen (file, "r");
%!  bytes = fread (fid, Inf, "*char").';
%!  fclose (fid);
%!endfunction

%!function t = object (varargin)
%!  t = struct ("keys", {varargin(1:2:end).'}, "values", {varargin(2:2:end).'});
%!endfunction

%!test
%! ## Compact and pretty text, and NaN with and without "Preserve".
%! f = tempname ();
%! unwind_protect
%!   t = object ("id", intmax ("uint64"), "n", {1; 0.1; NaN},
%!               "e", struct ([]), "o", object (), "s", "a\"b");
%!   saveledger (t, f);
%!   assert (read_bytes (f),
%!           '{"id":18446744073709551615,"n":[1.0,0.1,null],"e":null,"o":{},"s":"a\"b"}');
%!   saveledger (t, f, "Preserve", true);
%!   assert (read_bytes (f),
%!           '{"id":18446744073709551615,"n":[1.0,0.1,NaN],"e":null,"o":{},"s":"a\"b"}');
%!   assert (read_bytes (f), ledgerencode (t, "Preserve", true));
%!   saveledger (t, f, "Pretty", true);
%!   assert (read_bytes (f), ledgerencode (t, "Pretty", true));
%!   assert (read_bytes (f),
%!           sprintf (['{\n    "id": 18446744073709551615,\n    "n": [\n' ...
%!                     '        1.0,\n        0.1,\n        null\n    ],\n' ...
%!                     '    "e": null,\n    "o": {},\n    "s": "a\\"b"\n}']));
%! unwind_protect_cleanup
%!   delete (f);
%! end_unwind_protect

%!test
%! ## Ordinary values: the file holds ledgerencode's text, also where the
%! ## value goes through ledgertree's conversion (a containers.Map).
%! f = tempname ();
%! unwind_protect
%!   values = {struct("run", {1, 2}, "grid", [1 2; 3 4]), ["ab"; "cd"], ...
%!             {int8([1 2; 3 4]), containers.Map({"k"}, {[1 2; 3 4]})}};
%!   for i = 1:numel (values)
%!     for opts = {{}, {"Pretty", true}, {"Lines", true}}
%!       saveledger (values{i}, f, opts{1}{:});
%!       assert (read_bytes (f), ledgerencode (values{i}, opts{1}{:}));
%!     endfor
%!   endfor
%!   saveledger (values{1}, f);
%!   assert (read_bytes (f), '[{"run":1.0,"grid":[[1.0,2.0],[3.0,4.0]]},{"run":2.0,"grid":[[1.0,2.0],[3.0,4.0]]}]');
%! unwind_protect_cleanup
%!   delete (f);
%! end_unwind_protect

%!test
%! ## Option names in any case, values with a logical value; an existing
%! ## longer file is replaced whole.
%! f = tempname ();
%! unwind_protect
%!   t = {[1, Inf]};
%!   cases = {
%!     {},                              "[[1.0,null]]"
%!     {"PRETTY", 0, "preserve", 1},    "[[1.0,Infinity]]"
%!     {"pretty", int8(1)},             "[\n    [\n        1.0,\n        null\n    ]\n]"
%!     {"Preserve", true, "Preserve", false}, "[[1.0,null]]"
%!   };
%!   for i = 1:rows (cases)
%!     saveledger (repmat ("x", 1, 100), f);
%!     saveledger (t, f, cases{i,1}{:});
%!     assert (read_bytes (f), sprintf (cases{i,2}));
%!   endfor
%! unwind_protect_cleanup
%!   delete (f);
%! end_unwind_protect

%!test
%! ## A tree read from a file and written back gives the same bytes, UTF-8
%! ## and bytes that are not UTF-8 included; written and read, the same tree.
%! f = tempname ();
%! unwind_protect
%!   text = ['{"a":[1.5,-0.0,1e-7,1e21,9007199254740993,-9007199254740993],' ...
%!           '"a":"' char([195 169 226 130 172 255 128]) '","b":[{},[],null,true]}'];
%!   t = ledgerdecode (text);
%!   saveledger (t, f);
%!   assert (double (read_bytes (f)), double (text));
%!   assert (loadledger (f), t);
%!   saveledger (t, f, "Pretty", true);
%!   assert (loadledger (f), t);
%! unwind_protect_cleanup
%!   delete (f);
%! end_unwind_protect

%!test
%! ## A file that cannot be written: an error, or the message with an output.
%! f = fullfile (tempname (), "no", "such", "dir.json");
%! msg = ["saveledger: unable to open the file '" f "' for writing (No such file or directory)."];
%! try
%!   saveledger ({}, f);
%!   error ("no error was raised");
%! catch err
%!   assert (err.identifier, "ledgerkit:io");
%!   assert (err.message, msg);
%! end_try_catch
%! assert (saveledger ({}, f), msg);
%! g = tempname ();
%! unwind_protect
%!   err = saveledger ({}, g);
%!   assert (err, "");
%!   assert (ischar (err));
%!   assert (read_bytes (g), "[]");
%! unwind_protect_cleanup
%!   delete (g);
%! end_unwind_protect

%!test
%! ## "~" stands for the home folder.
%! home = getenv ("HOME");
%! d = tempname ();
%! mkdir (d);
%! unwind_protect
%!   setenv ("HOME", d);
%!   saveledger (true, "~/t.json");
%!   assert (read_bytes (fullfile (d, "t.json")), "true");
%! unwind_protect_cleanup
%!   setenv ("HOME", home);
%!   delete (fullfile (d, "t.json"));
%!   rmdir (d);
%! end_unwind_protect

%!test
%! ## Wrong calls and trees that cannot be written leave the file alone,
%! ## byte for byte, with or without an output asked for; a refused tree
%! ## raises "ledgerkit:tree".
%! f = tempname ();
%! unwind_protect
%!   saveledger ("keep", f);
%!   bad = {
%!     {{}, f, "Pretty"},                                   ""
%!     {{}, f, "Spacing", 4},                               ""
%!     {{}, f, "Pretty", "yes"},                            ""
%!     {{}, f, "Pretty", true, "Lines", true},              ""
%!     {{}, f, "PrettyPrint", true, "Lines", true},         ""
%!     {struct("keys", {{1}}, "values", {{1, 2}}), f},      "ledgerkit:tree"
%!     {object("a", @sin), f},                              "ledgerkit:tree"
%!     {{1, {containers.Map({"k"}, {@sin})}}, f},           "ledgerkit:tree"
%!     {struct("keys", {{[1 2]}}, "values", {{1}}), f},      "ledgerkit:tree"
%!     {struct("keys", {{"a"}}, "values", {{1; 2}}), f},     "ledgerkit:tree"
%!     {{1+2i}, f},                                         "ledgerkit:tree"
%!     {object("a", ["ab"; "cd"]), f},                      "ledgerkit:tree"
%!     {object("a", 1), f, "Lines", true},                  "ledgerkit:tree"
%!     {{1, @sin}, f, "Lines", true},                       "ledgerkit:tree"
%!   };
%!   for i = 1:rows (bad)
%!     for n = 0:1
%!       try
%!         if (n == 0)
%!           saveledger (bad{i,1}{:});
%!         else
%!           e = saveledger (bad{i,1}{:});
%!         endif
%!         error ("no error was raised");
%!       catch err
%!         assert (! strcmp (err.message, "no error was raised"));
%!         assert (strncmp (err.message, "saveledger: ", 12));
%!         if (! isempty (bad{i,2}))
%!           assert (err.identifier, bad{i,2});
%!         endif
%!       end_try_catch
%!       assert (read_bytes (f), '"keep"');
%!     endfor
%!   endfor
%!   assert (isempty (glob ([f ".saveledger-*"])));
%! unwind_protect_cleanup
%!   delete (f);
%! end_unwind_protect

%!test
%! ## The file is replaced by a new one: a link is followed and stays a
%! ## link, the permission bits are kept, a new file takes the umask, and
%! ## no new file is left beside it.
%! d = tempname ();
%! mkdir (d);
%! mkdir (fullfile (d, "sub"));
%! old_mask = umask (027);
%! unwind_protect
%!   f = fullfile (d, "sub", "conf.json");
%!   saveledger (1, f);
%!   assert (stat (f).mode, bin2dec ("1000000110100000"));   # 0640
%!   umask (022);
%!   chmod = @(file, mode) system (sprintf ("chmod %s '%s'", mode, file));
%!   chmod (f, "0604");
%!   inode = stat (f).ino;
%!   saveledger (2, f);
%!   assert (stat (f).ino != inode);                          # a new file
%!   assert (stat (f).mode, bin2dec ("1000000110000100"));   # 0604 kept
%!   ## a relative link in another folder, a link to that link, and a link
%!   ## to a file that is not there yet
%!   links = {fullfile(d, "link.json"), "sub/conf.json", f
%!            fullfile(d, "link2.json"), fullfile(d, "link.json"), f
%!            fullfile(d, "dangling.json"), "sub/new.json", fullfile(d, "sub", "new.json")};
%!   for i = 1:rows (links)
%!     symlink (links{i,2}, links{i,1});
%!     saveledger ({i}, links{i,1});
%!     assert (readlink (links{i,1}), links{i,2});
%!     assert (read_bytes (links{i,3}), sprintf ("[%d.0]", i));
%!   endfor
%!   assert (stat (f).mode, bin2dec ("1000000110000100"));
%!   assert (sort ({dir(fullfile (d, "sub")).name}),
%!           {".", "..", "conf.json", "new.json"});
%!   ## the owner is kept where the process may give it
%!   if (getuid () == 0)
%!     system (sprintf ("chown 65534:65534 '%s'", f));
%!     saveledger (3, f);
%!     assert ([stat(f).uid, stat(f).gid], [65534, 65534]);
%!     assert (read_bytes (f), "3.0");
%!   endif
%! unwind_protect_cleanup
%!   umask (old_mask);
%!   confirm_recursive_rmdir (false, "local");
%!   rmdir (d, "s");
%! end_unwind_protect

%!test
%! ## Faults of the file name, each with the system's reason; nothing is
%! ## made or changed.
%! d = tempname ();
%! mkdir (d);
%! unwind_protect
%!   symlink (tempdir (), fullfile (d, "folder-link"));
%!   cases = {
%!     d,                           "open", "Is a directory"
%!     fullfile(d, "folder-link"),  "open", "Is a directory"
%!     fullfile(d, "no", "x.json"), "open", "No such file or directory"
%!     "",                          "open", "No such file or directory"
%!     [d "/x" char(0) "y"],        "open", "a file name cannot hold a NUL byte"
%!   };
%!   for i = 1:rows (cases)
%!     msg = saveledger ({}, cases{i,1});
%!     assert (msg, sprintf ("saveledger: unable to open the file '%s' for writing (%s).",
%!                           strrep (cases{i,1}, char (0), "\\0"), cases{i,3}));
%!   endfor
%!   assert ({dir(d).name}, {".", "..", "folder-link"});
%!   assert (isempty (glob (fullfile (tempdir (), "*.saveledger-*"))));
%! unwind_protect_cleanup
%!   confirm_recursive_rmdir (false, "local");
%!   rmdir (d, "s");
%! end_unwind_protect

%!testif ; exist ("/dev/null", "file")
%! ## What is not a regular file is written in place, never replaced.
%! assert (saveledger ({1}, "/dev/null"), "");
%! assert (S_ISCHR (stat ("/dev/null").mode));

%!test
%! ## A folder that takes no new file: an existing file there is written in
%! ## place; a new one cannot be made.
%! d = tempname ();
%! mkdir (d);
%! f = fullfile (d, "conf.json");
%! saveledger ("old", f);
%! if (getuid () == 0)
%!   lock = @(on) system (sprintf ("chattr %si '%s' 2>/dev/null", "-+"(on+1), d));
%! else
%!   lock = @(on) system (sprintf ("chmod %s '%s'", {"0755", "0555"}{on+1}, d));
%! endif
%! unwind_protect
%!   if (lock (true) == 0)
%!     inode = stat (f).ino;
%!     saveledger ({"new text"}, f);
%!     assert (read_bytes (f), '["new text"]');
%!     assert (stat (f).ino, inode);
%!     assert (strncmp (saveledger (1, fullfile (d, "other.json")),
%!                      "saveledger: unable to open the file", 35));
%!     assert (sort ({dir(d).name}), {".", "..", "conf.json"});
%!   endif
%! unwind_protect_cleanup
%!   lock (false);
%!   confirm_recursive_rmdir (false, "local");
%!   rmdir (d, "s");
%! end_unwind_protect

%!test
%! ## MATLAB's option names, and JSON Lines.
%! f = tempname ();
%! unwind_protect
%!   cases = {
%!     {"PrettyPrint", true},                        "[\n    null\n]"
%!     {"ConvertInfAndNaN", true},                   "[null]"
%!     {"ConvertInfAndNaN", false, "Pretty", false}, "[NaN]"
%!     {"Preserve", true, "ConvertInfAndNaN", true}, "[null]"
%!     {"convertinfandnan", 0, "Preserve", false},   "[null]"
%!     {"Lines", true, "Preserve", true},            "NaN\n"
%!     {"Lines", true, "PrettyPrint", false},        "null\n"
%!   };
%!   for i = 1:rows (cases)
%!     saveledger ({NaN}, f, cases{i,1}{:});
%!     assert (read_bytes (f), sprintf (cases{i,2}));
%!   endfor
%! unwind_protect_cleanup
%!   delete (f);
%! end_unwind_protect

%!error <saveledger: an object needs the fields 'keys' and 'values' and no others \(at /0/a\)\.> saveledger ({struct("keys", {{"a"}}, "values", {{struct("key", 1)}})}, tempname ())
## "Sync", false writes the same file, replaced as a whole.
%!test
%! f = tempname ();
%! unwind_protect
%!   saveledger (struct ("a", 1), f, "Sync", false);
%!   assert (fileread (f), '{"a":1.0}');
%!   saveledger ({1, 2}, f, "Sync", false, "Lines", true);
%!   assert (fileread (f), sprintf ("1.0\n2.0\n"));
%! unwind_protect_cleanup
%!   unlink (f);
%! end_unwind_protect
%!error <the value of 'Sync' must be true or false> saveledger (1, tempname (), "Sync", "no")
%!error <saveledger: the options 'Pretty' and 'Lines' cannot be used together> saveledger ({}, tempname (), "Lines", 1, "PrettyPrint", 1)
%!error <^saveledger: an object has fewer values than keys \(keys: 1, values: 0\) \(at the top of the tree\)\.$> saveledger (struct ("keys", {{"a"}}, "values", {{}}), tempname ())
%!error <^saveledger: > saveledger ({1+2i}, tempname ())
%!error <Invalid call to saveledger> saveledger ()
%!error <Invalid call to saveledger> saveledger ({})
%!error <saveledger: FILE must be a character row, not double> saveledger ({}, 1)
%!error <FILE must be a character row, not a 2x1 char array> saveledger ({}, ["a"; "b"])
%!error <saveledger: unknown option 'Comments'> saveledger ({}, "/nonexistent/x.json", "Comments", true)
%!error <saveledger: the option 'Preserve' needs a value> saveledger ({}, "/nonexistent/x.json", "preserve")
%!error <saveledger: the value of 'Pretty' must be true or false> e = saveledger ({}, "/nonexistent/x.json", "Pretty", [])

%!testif ; exist ("/proc/self/comm", "file")
%! ## A file that no new file can replace, and whose room cannot be
%! ## reserved for writing it in place, is left as it was.
%! before = fileread ("/proc/self/comm");
%! msg = saveledger (1, "/proc/self/comm");
%! assert (regexp (msg, "^saveledger: unable to write the file '/proc/self/comm' \\(no new file can be made in its folder: .*; nor can its room be reserved to write it in place: .*; it is left as it was\\)\\.$", "once"), 1);
%! assert (fileread ("/proc/self/comm"), before);
