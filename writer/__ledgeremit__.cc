// __ledgeremit__: write a tree of interpreter values to a file as JSON, with
// every double as its correctly rounded decimal digits at the fewest count
// that reads back as the same double.
//
// Copyright (C) 2026 ledgerkit developers
// SPDX-License-Identifier: GPL-3.0-or-later

// PKG_ADD: autoload ("__ledgertext__", "__ledgeremit__.oct");
// PKG_ADD: autoload ("__ledgersave__", "__ledgeremit__.oct");
// PKG_ADD: autoload ("__ledgertreetext__", "__ledgeremit__.oct");

#include <octave/oct.h>
#include <octave/file-ops.h>

#include <cstring>
#include <fstream>
#include <string>

#include "writer.h"
#include "core/files.h"
#include "core/options.h"

// Renders TREE, JSON Lines with LINES, into W's output.  A fault of the
// tree is raised in W's name; so is running out of memory for the text.
static void
render (json_writer& w, const octave_value& tree, bool lines)
{
  try
    {
      if (lines)
        w.documents (tree);
      else
        w.document (tree, 0);
    }
  catch (const std::bad_alloc&)
    {
      w.output.clear ();
      error_with_id ("Octave:bad-alloc", "%s: out of memory for the JSON "
                     "text of the tree.", w.who);
    }
}

// The name of a file: the caller's text, as a number or a matrix of
// several rows would name some other file.
static std::string
file_name (const octave_value& file, const char *who)
{
  const dim_vector dv = file.dims ();
  if (! file.is_string () || dv.ndims () > 2 || dv(0) > 1)
    error ("%s: FILE must be a character vector.", who);
  return file.string_value ();
}

DEFUN_DLD (__ledgeremit__, args, nargout,
  "-*- texinfo -*-\n"
  "  @deftypefn {ledgerkit} {@var{errmsg} =} __ledgeremit__ "
  "(@var{tree}, @var{file}, @var{pretty}, @var{preserve})\n"
  "\n"
  "\n"
  "Write a tree of JSON values to a file.\n"
  "\n"
  "@var{tree} has the form @qcode{__ledgerscan__} returns: an object is a "
  "scalar structure with the fields @qcode{keys} and @qcode{values}, the keys "
  "text, numbers or logical values; an array a cell array; text a character "
  "row; a number or logical value a scalar, a vector of them an array; and "
  "@qcode{null} a 0-by-0 structure array with no fields.  @var{pretty} "
  "indents by four spaces, @var{preserve} writes @code{NaN} and @code{Inf} "
  "rather than @qcode{null}.  @var{errmsg} is empty, or names the file that "
  "could not be written.\n"
  "\n"
  "This is a helper IO function for the @qcode{saveledger} method.  "
  "Do NOT call it directly.\n"
  "\n"
  "@end deftypefn")
{
  if (args.length () != 4)
    error ("__ledgeremit__: four input arguments are required.");
  const bool pretty = args(2).bool_value ();
  const bool preserve = args(3).bool_value ();

  json_writer w (pretty, preserve, "__ledgeremit__");
  render (w, args(0), false);
  const std::string name = file_name (args(1), "__ledgeremit__");

  std::string errmsg;
  // A zero byte would end the path early and name another file.
  std::ofstream out;
  if (name.find ('\0') == std::string::npos)
    out.open (name, std::ios::out | std::ios::binary | std::ios::trunc);
  if (! out.is_open ())
    errmsg = "unable to open the file '" + name + "' for writing.";
  else
    {
      out.write (w.output.data (), w.output.size ());
      out.close ();
      if (out.fail ())
        errmsg = "unable to write the file '" + name + "'.";
    }

  if (nargout < 1)
    return octave_value_list ();
  return octave_value_list (octave_value (errmsg, '\''));
}

// The writer of an entry for the user function WHO: the name/value pairs
// of ARGS from FIRST on, read with the core's table of options.
// VALUES: an ordinary value, in which a tree is a tree; else a tree.
static json_writer
writer_for (const char *who, const octave_value_list& args, int first,
            bool& lines, bool values = true)
{
  const ledger::settings s
    = args.length () == first ? ledger::settings ()
      : ledger::read_options (who, ledger::to_write, args, first);
  lines = s.lines;
  return json_writer (s, who, values);
}

// The text of W's output as a character row.
static octave_value
text_of (const json_writer& w)
{
  const std::size_t n = w.output.size ();
  charNDArray chars (dim_vector (1, n));
  if (n > 0)
    std::memcpy (chars.fortran_vec (), w.output.data (), n);
  return octave_value (chars, '\'');
}

DEFUN_DLD (__ledgertext__, args, ,
  "-*- texinfo -*-\n"
  "  @deftypefn {ledgerkit} {@var{text} =} __ledgertext__ "
  "(@var{value}, @var{name}, @var{setting}, @dots{})\n"
  "\n"
  "Return the JSON text of an ordinary value or a tree as a character row.\n"
  "\n"
  "The options are those of @qcode{ledgerencode}, and so are the errors, "
  "which name @qcode{ledgerencode}.  With the option @qcode{\"Lines\"}, "
  "@var{value} is a cell array and each element is written compact on a "
  "line of its own, each line ending in a line feed.\n"
  "\n"
  "This is a helper function for @qcode{ledgerencode}.  "
  "Do NOT call it directly.\n"
  "\n"
  "@end deftypefn")
{
  if (args.length () < 1)
    error ("__ledgertext__: VALUE is required.");
  bool lines;
  json_writer w = writer_for ("ledgerencode", args, 1, lines);
  render (w, args(0), lines);
  return octave_value_list (text_of (w));
}

DEFUN_DLD (__ledgertreetext__, args, ,
  "-*- texinfo -*-\n"
  "  @deftypefn {ledgerkit} {@var{text} =} __ledgertreetext__ "
  "(@var{tree}, @var{name}, @var{setting}, @dots{})\n"
  "\n"
  "Return the JSON text of a tree as @qcode{__ledgeremit__} writes it to a "
  "file (a numeric array a flat array of its elements), with the options "
  "of @qcode{ledgerencode}.\n"
  "\n"
  "This is a helper function for the tests.  Do NOT call it directly.\n"
  "\n"
  "@end deftypefn")
{
  if (args.length () < 1)
    error ("__ledgertreetext__: TREE is required.");
  bool lines;
  json_writer w = writer_for ("__ledgertreetext__", args, 1, lines, false);
  render (w, args(0), lines);
  return octave_value_list (text_of (w));
}

DEFUN_DLD (__ledgersave__, args, nargout,
  "-*- texinfo -*-\n"
  "  @deftypefn {ledgerkit} {@var{errmsg} =} __ledgersave__ "
  "(@var{value}, @var{file}, @var{name}, @var{setting}, @dots{})\n"
  "\n"
  "Replace a file by the JSON text of an ordinary value or a tree.\n"
  "\n"
  "The text, as @qcode{__ledgertext__} makes it, goes to a new file in the "
  "folder of @var{file} (after symbolic links), which is flushed to disk "
  "and renamed over @var{file}; with @qcode{\"Append\"} it is added to the "
  "end of @var{file}.  A name that ends in @file{.gz} is written as gzip.  "
  "The options are those of @qcode{saveledger}.  A file that cannot be written raises an error "
  "@qcode{\"ledgerkit:io\"}, or, when @var{errmsg} is asked for, is "
  "reported there.\n"
  "\n"
  "This is a helper IO function for @qcode{saveledger}.  "
  "Do NOT call it directly.\n"
  "\n"
  "@end deftypefn")
{
  const char *who = "saveledger";
  if (args.length () < 2)
    error ("__ledgersave__: VALUE and FILE are required.");
  const std::string name
    = octave::sys::file_ops::tilde_expand (
        ledger::text_argument (who, "FILE", args(1)));
  const ledger::settings s
    = args.length () == 2 ? ledger::settings ()
      : ledger::read_options (who, ledger::to_save, args, 2);
  json_writer w (s, who, true);
  // The whole text is made before the file is touched: a value that cannot
  // be written leaves it as it was.
  render (w, args(0), s.lines);
  const char *data = w.output.data ();
  std::size_t size = w.output.size ();
  std::string packed;
  if (ledger::gzip_name (name))
    {
      if (! ledger::deflate_text (data, size, packed))
        error_with_id ("Octave:bad-alloc", "%s: out of memory for the gzip "
                       "data of the text.", who);
      w.output.clear ();
      data = packed.data ();
      size = packed.size ();
    }
  std::string fault = s.append ? ledger::append_file (name, data, size)
                      : ledger::replace_file (name, data, size, s.sync);
  if (! fault.empty ())
    {
      fault = std::string (who) + ": " + fault;
      if (nargout < 1)
        error_with_id ("ledgerkit:io", "%s", fault.c_str ());
    }
  return octave_value_list (octave_value (fault, '\''));
}

/*
## Render TREE through a file and return the text written.
%!function txt = emit (tree, pretty, preserve)
%!  if (nargin < 2)
%!    pretty = false;
%!  endif
%!  if (nargin < 3)
%!    preserve = false;
%!  endif
%!  f = [tempname() ".json"];
%!  unwind_protect
%!    err = __ledgeremit__ (tree, f, pretty, preserve);
%!    assert (err, "");
%!    fid = fopen (f, "r");
%!    txt = char (fread (fid, [1, Inf], "uint8"));
%!    fclose (fid);
%!  unwind_protect_cleanup
%!    [~] = unlink (f);
%!  end_unwind_protect
%!endfunction

## An object node from the cells K and V.
%!function s = obj (k, v)
%!  s = struct ();
%!  s.keys = k(:);
%!  s.values = v(:);
%!endfunction

## The tree of the document with the members id 7, tags [a, 2.5],
## id 9007199254740993, ok true, none null, empty {} and list [].
%!function t = members_tree ()
%!  t = obj ({"id"; "tags"; "id"; "ok"; "none"; "empty"; "list"},
%!           {7; {"a"; 2.5}; uint64(9007199254740992) + uint64(1); true;
%!            struct([]); obj(cell(0,1), cell(0,1)); cell(0,1)});
%!endfunction

%!function c = by_index (v)
%!  c = arrayfun (@(i) v(i), 1:numel (v), "uniformoutput", false);
%!endfunction

## Layout
%!test
%! assert (emit (members_tree ()),
%!         ['{"id":7.0,"tags":["a",2.5],"id":9007199254740993,"ok":true,', ...
%!          '"none":null,"empty":{},"list":[]}']);
%!test
%! expected = strjoin ({"{",
%!                      '    "id": 7.0,',
%!                      '    "tags": [',
%!                      '        "a",',
%!                      '        2.5',
%!                      '    ],',
%!                      '    "id": 9007199254740993,',
%!                      '    "ok": true,',
%!                      '    "none": null,',
%!                      '    "empty": {},',
%!                      '    "list": []',
%!                      "}"}, "\n");
%! assert (emit (members_tree (), true), expected);
%!test
%! m = [1.5 2.5; 3.5 4.5];
%! assert (emit (m), "[1.5,3.5,2.5,4.5]");
%! assert (emit (m, true), "[\n    1.5,\n    3.5,\n    2.5,\n    4.5\n]");

%!test
%! ## tree, compact text, pretty text
%! cases = {
%!   struct([]),                 "null", "null"
%!   struct(),                   "null", "null"
%!   repmat(struct(), 3, 1),     "null", "null"
%!   obj(cell(0,1), cell(0,1)),  "{}", "{}"
%!   cell(0,1),                  "[]", "[]"
%!   {},                         "[]", "[]"
%!   cell(0,3),                  "[]", "[]"
%!   zeros(0,0),                 "[]", "[]"
%!   zeros(0,3),                 "[]", "[]"
%!   true(0,1),                  "[]", "[]"
%!   "",                         '""', '""'
%!   "x",                        '"x"', '"x"'
%!   5,                          "5.0", "5.0"
%!   {5},                        "[5.0]", "[\n    5.0\n]"
%!   [true false],               "[true,false]", "[\n    true,\n    false\n]"
%!   {cell(0,1)},                "[[]]", "[\n    []\n]"
%!   {{{1}}},                    "[[[1.0]]]", ...
%!     "[\n    [\n        [\n            1.0\n        ]\n    ]\n]"
%!   {1, "a"; 2, "b"},           '[1.0,2.0,"a","b"]', ...
%!     "[\n    1.0,\n    2.0,\n    \"a\",\n    \"b\"\n]"
%!   reshape({1,2,3,4}, 1,1,4),  "[1.0,2.0,3.0,4.0]", ...
%!     "[\n    1.0,\n    2.0,\n    3.0,\n    4.0\n]"
%!   reshape(1:8, 2,2,2),        "[1.0,2.0,3.0,4.0,5.0,6.0,7.0,8.0]", ...
%!     "[\n    1.0,\n    2.0,\n    3.0,\n    4.0,\n    5.0,\n    6.0,\n    7.0,\n    8.0\n]"
%!   obj({"k","k"}, {{}, obj({"x"}, {[]})}), '{"k":[],"k":{"x":[]}}', ...
%!     "{\n    \"k\": [],\n    \"k\": {\n        \"x\": []\n    }\n}"
%! };
%! for i = 1:rows (cases)
%!   assert (emit (cases{i,1}), cases{i,2});
%!   assert (emit (cases{i,1}, true), cases{i,3});
%! endfor

## The order of the fields does not matter; a field beyond keys and values
## would be lost, and so would the elements of a struct array after its
## first: both are refused.
%!test
%! s = struct ("values", {{1}}, "keys", {{"a"}});
%! assert (emit (s), '{"a":1.0}');
%!error <an object needs the fields 'keys' and 'values' and no others \(at the top of the tree\)\.> emit (struct ("values", {{1}}, "other", 3, "keys", {{"a"}}))
%!error <a 2x1 struct array is not an object: an object is one struct with the fields 'keys' and 'values' \(at /x\)\.> emit (obj ({"x"}, {struct("keys", {{"a"}; {"b"}}, "values", {{1}; {2}})}))

## Scalars, keys and integers
%!test
%! ## value, its text as a value, its text as a key
%! cases = {
%!   true,                    "true",                 "true"
%!   false,                   "false",                "false"
%!   int8(-128),              "-128",                 "-128"
%!   int8(127),               "127",                  "127"
%!   uint8(255),              "255",                  "255"
%!   int16(-32768),           "-32768",               "-32768"
%!   uint16(65535),           "65535",                "65535"
%!   int32(-2147483648),      "-2147483648",          "-2147483648"
%!   uint32(4294967295),      "4294967295",           "4294967295"
%!   intmin("int64"),         "-9223372036854775808", "-9223372036854775808"
%!   intmax("int64"),         "9223372036854775807",  "9223372036854775807"
%!   intmax("uint64"),        "18446744073709551615", "18446744073709551615"
%!   intmax("uint64") - 1,    "18446744073709551614", "18446744073709551614"
%!   intmin("int64") + 1,     "-9223372036854775807", "-9223372036854775807"
%!   uint64(0),               "0",                    "0"
%!   single(0.1),             "0.10000000149011612",  "0.10000000149011612"
%!   single(3),               "3.0",                  "3"
%!   complex(2, 0),           "2.0",                  "2"
%! };
%! for i = 1:rows (cases)
%!   assert (emit (cases{i,1}), cases{i,2});
%!   assert (emit (obj (cases(i,1), {1})), ['{"' cases{i,3} '":1.0}']);
%! endfor

%!test
%! ## value, without preserve, with preserve, as a key
%! cases = {
%!   NaN,   "null", "NaN",       "NaN"
%!   -NaN,  "null", "NaN",       "NaN"
%!   Inf,   "null", "Infinity",  "Inf"
%!   -Inf,  "null", "-Infinity", "-Inf"
%!   single(Inf), "null", "Infinity", "Inf"
%!   1,     "1.0",  "1.0",       "1"
%! };
%! for i = 1:rows (cases)
%!   assert (emit (cases{i,1}, false, false), cases{i,2});
%!   assert (emit (cases{i,1}, false, true), cases{i,3});
%!   for preserve = [false true]
%!     assert (emit (obj (cases(i,1), {1}), false, preserve),
%!             ['{"' cases{i,4} '":1.0}']);
%!   endfor
%! endfor
%! assert (emit ([NaN 1 -Inf], false, true), "[NaN,1.0,-Infinity]");
%! assert (emit ([NaN 1 -Inf], false, false), "[null,1.0,null]");

%!test
%! ## Text keys are escaped; a number key is a text, never a bare number.
%! k = {"a\"b", char([9 1]), "", "é"};
%! assert (emit (obj (k, {1, 2, 3, 4})),
%!         '{"a\"b":1.0,"\t\u0001":2.0,"":3.0,"é":4.0}');

## Shortest number text
%!test
%! ## x, as a value (".0" on whole numbers), as a key
%! cases = {
%!   1,                      "1.0",                      "1"
%!   100,                    "100.0",                    "100"
%!   -2.5,                   "-2.5",                     "-2.5"
%!   0.1,                    "0.1",                      "0.1"
%!   0.3,                    "0.3",                      "0.3"
%!   0.1 + 0.2,              "0.30000000000000004",      "0.30000000000000004"
%!   123.456,                "123.456",                  "123.456"
%!   2^53,                   "9007199254740992.0",       "9007199254740992"
%!   1e20,                   "100000000000000000000.0",  "100000000000000000000"
%!   1.2345678901234568e20,  "123456789012345680000.0",  "123456789012345680000"
%!   1e21,                   "1e21",                     "1e21"
%!   1.5e21,                 "1.5e21",                   "1.5e21"
%!   -1e21,                  "-1e21",                    "-1e21"
%!   1e-6,                   "0.000001",                 "0.000001"
%!   1.5e-6,                 "0.0000015",                "0.0000015"
%!   1e-7,                   "1e-7",                     "1e-7"
%!   -1e-7,                  "-1e-7",                    "-1e-7"
%!   1.5e-7,                 "1.5e-7",                   "1.5e-7"
%!   -0.5,                   "-0.5",                     "-0.5"
%!   2^-1074,                "5e-324",                   "5e-324"
%!   realmin,                "2.2250738585072014e-308",  "2.2250738585072014e-308"
%!   realmax,                "1.7976931348623157e308",   "1.7976931348623157e308"
%!   2^-44,                  "5.6843418860808015e-14",   "5.6843418860808015e-14"
%!   0,                      "0.0",                      "0"
%!   -0,                     "-0.0",                     "-0"
%! };
%! for i = 1:rows (cases)
%!   assert (emit (cases{i,1}), cases{i,2});
%!   assert (emit (obj (cases(i,1), {[]})), ['{"' cases{i,3} '":[]}']);
%! endfor

## String escaping
%!test
%! assert (emit (""), '""');
%! assert (emit (["\t" char(1) "\"\\"]), '"\t\u0001\"\\"');
%! assert (emit (["a" char(0) "b"]), '"a\u0000b"');
%! assert (emit ("/"), '"/"');
%! assert (emit (char ([127 195 169 255])), ['"' char([127 195 169 255]) '"']);
%! assert (emit (repmat ("ab\n", 1, 3)), '"ab\nab\nab\n"');
%!test
%! short = {8, '\b'; 9, '\t'; 10, '\n'; 12, '\f'; 13, '\r'};
%! expected = "";
%! for b = 0:31
%!   k = find ([short{:,1}] == b);
%!   if (isempty (k))
%!     expected = [expected sprintf('\\u%04x', b)];
%!   else
%!     expected = [expected short{k,2}];
%!   endif
%! endfor
%! assert (emit (char (0:31)), ['"' expected '"']);

## Bulk numbers give the text of indexing element by element.
%!test
%! rand ("seed", 7);
%! randn ("seed", 7);
%! x = [randn(1, 300) .* 10 .^ randi([-40 40], 1, 300), ...
%!      NaN, Inf, -Inf, 0, -0, 2^-1074, realmax, 127.5, -128.5, 2^64];
%! cases = {x, single(x), x > 0, int8(x), uint8(x), int16(x), uint16(x), ...
%!          int32(x), uint32(x), int64(x), uint64(x), ...
%!          reshape(x(1:24), 2, 3, 4), ...
%!          [intmin("int64"), intmax("int64")] + int64([1; 0; -1]), ...
%!          intmax("uint64") - uint64([0 1 2]), 0:0.1:1, 1:-0.3:-2, -0:3, ...
%!          diag([1.5 2 -0])};
%! for i = 1:numel (cases)
%!   v = cases{i};
%!   for opts = [0 0; 0 1; 1 0; 1 1]'
%!     assert (emit (v, opts(1), opts(2)),
%!             emit (by_index (v), opts(1), opts(2)));
%!   endfor
%! endfor
%!test
%! ## sparse values take the per-element path
%! m = sparse ([0 1.5; -2 0; 0 NaN]);
%! assert (emit (m, false, true), "[0.0,-2.0,0.0,1.5,0.0,NaN]");
%! assert (emit (m, true, true), emit (full (m), true, true));
%! assert (emit (sparse ([true false true])), "[true,false,true]");
%! assert (emit (sparse (4)), "4.0");
%! assert (emit (sparse (true)), "true");
%! assert (emit (obj ({sparse(false)}, {1})), '{"false":1.0}');

## Trees that cannot be written as they stand are refused, naming what is
## wrong and where.  An object with more values than keys was written
## without them; a key of several elements was written as its first.
%!test
%! ## tree, message after "__ledgeremit__: "
%! servers = obj ({"servers"}, {{obj({"port"}, {1}), obj({"port"}, {@sin})}});
%! top = "(at the top of the tree).";
%! nokey = "a key must be one text, one number or one logical value, not";
%! cases = {
%!   @sin,                        ["a 1x1 function_handle cannot be written as JSON " top]
%!   {1, @sin},                   "a 1x1 function_handle cannot be written as JSON (at /1)."
%!   servers,                     "a 1x1 function_handle cannot be written as JSON (at /servers/1/port)."
%!   obj({"a/b", "c~"}, {1, {inputParser()}}), "a 1x1 inputParser cannot be written as JSON (at /c~0/0)."
%!   {containers.Map()},          "a 1x1 containers.Map cannot be written as JSON (at /0)."
%!   obj({"a/b"}, {1+2i}),        "a complex number with the imaginary part 2 cannot be written (at /a~1b)."
%!   [1 2+1i],                    "a complex number with the imaginary part 1 cannot be written (at /1)."
%!   complex(0, NaN),            ["a complex number with the imaginary part NaN cannot be written " top]
%!   {sparse([0 0 1i])},          "a complex number with the imaginary part 1 cannot be written (at /0/2)."
%!   obj({1i}, {1}),              ["a complex number with the imaginary part 1 cannot be written (key 1 of the object " top(2:end)]
%!   ["ab"; "cd"],                ["a 2x2 char array is not one row of text " top]
%!   {"ab"; ["a"; "b"]},          "a 2x1 char array is not one row of text (at /1)."
%!   char(zeros(2, 0)),         ["a 2x0 char array is not one row of text " top]
%!   char(zeros(1, 1, 2)),      ["a 1x1x2 char array is not one row of text " top]
%!   char(zeros(0, 0, 2)),      ["a 0x0x2 char array is not one row of text " top]
%!   obj({"a", [1 2]}, {1, 2}),   [nokey " a 1x2 double (key 2 of the object " top(2:end)]
%!   obj({int8([5 6 7])}, {1}),   [nokey " a 1x3 int8 (key 1 of the object " top(2:end)]
%!   obj({[1 NaN]}, {1}),         [nokey " a 1x2 double (key 1 of the object " top(2:end)]
%!   obj({true(1, 3)}, {1}),      [nokey " a 1x3 logical (key 1 of the object " top(2:end)]
%!   obj({"x"}, {obj({{}}, {1})}), [nokey " a 0x0 cell (key 1 of the object at /x)."]
%!   obj({["ab"; "cd"]}, {1}),    [nokey " a 2x2 char array (key 1 of the object " top(2:end)]
%!   obj({@sin}, {1}),            [nokey " a 1x1 function_handle (key 1 of the object " top(2:end)]
%!   obj({zeros(1, 0)}, {1}),     [nokey " a 1x0 double (key 1 of the object " top(2:end)]
%!   obj({"a"}, {1, 2}),          ["an object has more values than keys (keys: 1, values: 2) " top]
%!   obj({"a", "b"}, {1}),        ["an object has fewer values than keys (keys: 2, values: 1) " top]
%!   {obj({"a","b","c"}, {1,2,3,4})}, "an object has more values than keys (keys: 3, values: 4) (at /0)."
%!   struct("keys", {{"a"}}),    ["an object needs the fields 'keys' and 'values' and no others " top]
%!   struct("key", {{"a"}}, "values", {{1}}), ["an object needs the fields 'keys' and 'values' and no others " top]
%!   struct("keys", 1, "values", {{1}}), ["the field 'keys' of an object must be a cell array, not a 1x1 double " top]
%!   struct("keys", {{"a"}}, "values", 1), ["the field 'values' of an object must be a cell array, not a 1x1 double " top]
%!   {struct("keys", {}, "values", {})}, "a 0x0 struct array is not an object: an object is one struct with the fields 'keys' and 'values' (at /0)."
%! };
%! for i = 1:rows (cases)
%!   for pretty = [false true]
%!     try
%!       emit (cases{i,1}, pretty);
%!       error ("case %d: no error", i);
%!     catch err
%!       assert (err.identifier, "ledgerkit:tree");
%!       assert (err.message, ["__ledgeremit__: " cases{i,2}]);
%!     end_try_catch
%!   endfor
%! endfor
%!assert (emit (complex ([1 2], [0 -0])), "[1.0,2.0]")
%!assert (emit (obj ({complex(1, 0)}, {1})), '{"1":1.0}')

## Deep trees are written from a stack of their own, as deep as a reading
## can be asked to take back, and no deeper.
%!test
%! c = {};
%! for i = 1:10000
%!   c = {c};
%! endfor
%! assert (emit (c), [repmat("[", 1, 10001), repmat("]", 1, 10001)]);
%! try
%!   emit ({c});
%!   error ("no error was raised");
%! catch err
%!   assert (err.identifier, "ledgerkit:tree");
%!   assert (err.message, ["__ledgeremit__: the value is nested deeper than 10000 levels, more than can be read back (at " repmat("/0", 1, 10000) ")."]);
%! end_try_catch
%!test
%! s = struct ([]);
%! for i = 1:10000
%!   s = obj ({"a"}, {s});
%! endfor
%! assert (emit (s), [repmat('{"a":', 1, 10000), "null", repmat("}", 1, 10000)]);
%! try
%!   emit (obj ({"a"}, {s}));
%!   error ("no error was raised");
%! catch err
%!   assert (err.message, ["__ledgeremit__: the value is nested deeper than 10000 levels, more than can be read back (at " repmat("/a", 1, 10000) ")."]);
%! end_try_catch
%!test
%! c = 1;
%! for i = 1:200
%!   c = {c};
%! endfor
%! lines = strsplit (emit (c, true), "\n");
%! assert (numel (lines), 401);
%! assert (lines{201}, [repmat(" ", 1, 800), "1.0"]);
%! assert (lines{end}, "]");

## Entry and file output
%!error <four input arguments are required> __ledgeremit__ (1, "x.json", false)
%!error <four input arguments are required> __ledgeremit__ (1, "x.json", false, false, false)
%!error <FILE must be a character vector> __ledgeremit__ (1, 65, false, false)
%!error <FILE must be a character vector> __ledgeremit__ (1, ["ab"; "cd"], false, false)
%!error __ledgeremit__ (1, "x.json", {}, false)
%!error __ledgeremit__ (1, "x.json", false, "abc")
%!test
%! f = [tempname() ".json"];
%! unwind_protect
%!   fid = fopen (f, "w");
%!   fprintf (fid, "old text that is longer than the new");
%!   fclose (fid);
%!   ## nothing is written when the call fails
%!   fails = {@() __ledgeremit__ (1, f, false),
%!            @() __ledgeremit__ (struct ("keys", 1, "values", {{1}}), f, false, false),
%!            @() __ledgeremit__ (1+1i, f, false, false),
%!            @() __ledgeremit__ ({1, @sin}, f, true, false)};
%!   for i = 1:numel (fails)
%!     failed = false;
%!     try
%!       fails{i} ();
%!     catch
%!       failed = true;
%!     end_try_catch
%!     assert (failed);
%!     assert (fileread (f), "old text that is longer than the new");
%!   endfor
%!   ## a shorter text truncates the file
%!   assert (__ledgeremit__ (struct ([]), f, true, true), "");
%!   assert (fileread (f), "null");
%!   ## no line feed at the end, single line feeds inside
%!   assert (__ledgeremit__ ({1}, f, true, false), "");
%!   assert (double (fileread (f)), double ("[\n    1.0\n]"));
%! unwind_protect_cleanup
%!   unlink (f);
%! end_unwind_protect
%!test
%! d = tempname ();
%! below = [tempname() ".json"];
%! fid = fopen (below, "w");
%! fclose (fid);
%! unwind_protect
%!   paths = {fullfile(d, "x.json"), "", fullfile(below, "x.json")};
%!   for i = 1:numel (paths)
%!     p = paths{i};
%!     assert (__ledgeremit__ (1, p, false, false),
%!             ["unable to open the file '" p "' for writing."]);
%!   endfor
%!   assert (! exist (d, "file"));
%!   ## a path with a zero byte in it names no file
%!   p = [d char(0) "x"];
%!   assert (__ledgeremit__ (1, p, false, false),
%!           ["unable to open the file '" p "' for writing."]);
%!   assert (! exist (d, "file"));
%! unwind_protect_cleanup
%!   unlink (below);
%! end_unwind_protect
%!test
%! ## with no result asked for, a fault passes silently
%! __ledgeremit__ (1, fullfile (tempname (), "x.json"), false, false);
%! assert (! exist ("ans", "var"));
## The text and file entries take an ordinary value and the options of
## ledgerencode and saveledger, whose names their errors give.
%!error <VALUE is required> __ledgertext__ ()
%!error <VALUE and FILE are required> __ledgersave__ (1)
%!error <ledgerencode: an option name must be a character row, not logical> __ledgertext__ (1, false, false)
%!error <saveledger: the option 'Pretty' needs a value> __ledgersave__ (1, "x.json", "pretty")
%!test
%! m = [1 2; 3 4];
%! assert (__ledgertext__ (m), "[[1.0,2.0],[3.0,4.0]]");
%! assert (__ledgertext__ ({m}, "Lines", true), "[[1.0,2.0],[3.0,4.0]]\n");
%! f = [tempname() ".json"];
%! unwind_protect
%!   assert (__ledgersave__ (m, f, "Pretty", true), "");
%!   assert (fileread (f), __ledgertext__ (m, "Pretty", true));
%!   ## a value the writer hands to the conversion part way through
%!   v = {1:3, containers.Map({"a"}, {m})};
%!   assert (__ledgersave__ (v, f), "");
%!   assert (fileread (f), '[[1.0,2.0,3.0],{"a":[[1.0,2.0],[3.0,4.0]]}]');
%! unwind_protect_cleanup
%!   [~] = unlink (f);
%! end_unwind_protect
%!error <^ledgerencode: a 1x1 function_handle cannot be written as JSON \(at /1/x\)\.$> __ledgertext__ ({1, struct("x", @sin)})

%!testif ; exist ("/dev/full", "file")
%! assert (__ledgeremit__ (1, "/dev/full", false, false),
%!         "unable to write the file '/dev/full'.");
%! big = repmat ({"a fairly long text"}, 1, 100000);
%! assert (__ledgeremit__ (big, "/dev/full", false, false),
%!         "unable to write the file '/dev/full'.");

## The writing options' values: each kind checked with its own message;
## the names of the known options listed once.
%!test
%! cases = {
%!   {"Indent", 9},          "the value of 'Indent' must be a whole number from 0 to 8 or \"\\t\""
%!   {"Indent", -1},         "'Indent' must be a whole number from 0 to 8"
%!   {"Indent", 2.5},        "'Indent' must be a whole number from 0 to 8"
%!   {"Indent", "  "},       "'Indent' must be a whole number from 0 to 8"
%!   {"Indent", NaN},        "'Indent' must be a whole number from 0 to 8"
%!   {"Indent", [2 2]},      "'Indent' must be a whole number from 0 to 8"
%!   {"WholeNumbers", true}, "the value of 'WholeNumbers' must be \"point\" or \"plain\""
%!   {"WholeNumbers", "pt"}, "'WholeNumbers' must be \"point\" or \"plain\""
%!   {"SortKeys", "yes"},    "the value of 'SortKeys' must be true or false"
%!   {"Canonical", NaN},     "the value of 'Canonical' must be true or false"
%!   {"Canonical", true, "Pretty", true},   "the options 'Canonical' and 'Pretty' cannot be used together"
%!   {"Canonical", true, "Preserve", true}, "the options 'Canonical' and 'Preserve' cannot be used together"
%!   {"Sorted", true},       "unknown option 'Sorted' (known: Pretty, Preserve, Lines, WholeNumbers, Indent, SortKeys, Canonical, PrettyPrint, ConvertInfAndNaN)"
%! };
%! for i = 1:rows (cases)
%!   try
%!     __ledgertext__ (1, cases{i,1}{:});
%!     error ("case %d was taken", i);
%!   catch err
%!     assert (err.identifier, "Octave:invalid-input-arg");
%!     assert (strncmp (err.message, "ledgerencode: ", 14));
%!     assert (! isempty (strfind (err.message, cases{i,2})), err.message);
%!   end_try_catch
%! endfor

## WholeNumbers: a whole double without ".0" as plain asks, in every
## place a double is written; other doubles as they were.
%!test
%! v = {1, -0, 0, 2.5, [1 2; 3 4], 1e21, single(3), 1e300, int8(5)};
%! assert (__ledgertext__ (v), ["[1.0,-0.0,0.0,2.5,[[1.0,2.0],[3.0,4.0]]," ...
%!                              "1e21,3.0,1e300,5]"]);
%! assert (__ledgertext__ (v, "WholeNumbers", "point"), __ledgertext__ (v));
%! assert (__ledgertext__ (v, "wholenumbers", "PLAIN"),
%!         "[1,-0,0,2.5,[[1,2],[3,4]],1e21,3,1e300,5]");
%! assert (__ledgertreetext__ ({1; [2 3]}, "WholeNumbers", "plain"),
%!         "[1,[2,3]]");

## SortKeys: members by the bytes of their keys, equal keys in their
## order, nested objects and structs too, numbers as keys by their text.
%!test
%! t = obj ({"b"; "a"; "b"; "A"; ""; "ab"},
%!          {1; obj({"z"; "y"}, {2; 3}); 4; 5; 6; 7});
%! assert (__ledgertext__ (t, "SortKeys", true, "WholeNumbers", "plain"),
%!         '{"":6,"A":5,"a":{"y":3,"z":2},"ab":7,"b":1,"b":4}');
%! assert (__ledgertext__ (obj ({10; 9; true}, {1; 2; 3}), "SortKeys", true),
%!         '{"10":1.0,"9":2.0,"true":3.0}');
%! s = struct ("b", {1, 2}, "a", {struct("d", 1, "c", 2), "x"});
%! assert (__ledgertext__ (s, "SortKeys", true, "WholeNumbers", "plain"),
%!         '[{"a":{"c":2,"d":1},"b":1},{"a":"x","b":2}]');
%! ## Objects read from one document share their keys; each is sorted by
%! ## its own.
%! t = ledgerdecode ('[{"b":1,"a":2},{"a":3,"b":4},{"b":5,"a":6},{"c":7,"a":8}]');
%! assert (__ledgertext__ (t, "SortKeys", true, "WholeNumbers", "plain"),
%!         '[{"a":2,"b":1},{"a":3,"b":4},{"a":6,"b":5},{"a":8,"c":7}]');
%! ## JSON Lines: each line sorted.
%! assert (__ledgertext__ (t, "Lines", true, "SortKeys", true,
%!                         "WholeNumbers", "plain"),
%!         sprintf ('{"a":2,"b":1}\n{"a":3,"b":4}\n{"a":6,"b":5}\n{"a":8,"c":7}\n'));
%! ## A fault below a sorted object names the member by its own key.
%! try
%!   __ledgertext__ (obj ({"z"; "a"}, {@sin; 1}), "SortKeys", true);
%!   error ("written");
%! catch err
%!   assert (err.message, ["ledgerencode: a 1x1 function_handle cannot be " ...
%!                         "written as JSON (at /z)."]);
%! end_try_catch
%! try
%!   __ledgertext__ (obj ({"z"; {}}, {1; 2}), "SortKeys", true);
%!   error ("written");
%! catch err
%!   assert (strfind (err.message, "(key 2 of the object at the top"));
%! end_try_catch

## Indent: the width of a pretty level; saveledger takes the options too.
%!test
%! t = obj ({"a"}, {{1}});
%! assert (__ledgertext__ (t, "Pretty", true, "Indent", 1),
%!         "{\n \"a\": [\n  1.0\n ]\n}");
%! assert (__ledgertext__ (t, "Pretty", true, "Indent", 0),
%!         "{\n\"a\": [\n1.0\n]\n}");
%! assert (__ledgertext__ (t, "Pretty", true),
%!         __ledgertext__ (t, "Pretty", true, "Indent", 4));
%! f = [tempname() ".json"];
%! unwind_protect
%!   __ledgersave__ (t, f, "Pretty", true, "Indent", "\t",
%!                   "WholeNumbers", "plain");
%!   assert (fileread (f), "{\n\t\"a\": [\n\t\t1\n\t]\n}");
%! unwind_protect_cleanup
%!   [~] = unlink (f);
%! end_unwind_protect
*/
