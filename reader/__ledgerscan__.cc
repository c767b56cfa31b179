// __ledgerscan__: read JSON text into a tree of interpreter values that keeps
// the kind, order and digits of every JSON value.
//
// Copyright (C) 2026 ledgerkit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include <octave/oct.h>
#include <octave/ov-dld-fcn.h>
#include <octave/file-ops.h>

#include <cstdlib>
#include <string>
#include <string_view>

#include "parser.h"
#include "plain.h"

// The reader of ordinary values.
using plain_parser = basic_parser<plain_builder>;

// PKG_ADD: autoload ("__ledgerdecode__", "__ledgerscan__.oct");
// PKG_ADD: autoload ("__ledgerlines__", "__ledgerscan__.oct");
// PKG_ADD: autoload ("__ledgerload__", "__ledgerscan__.oct");
// PKG_ADD: autoload ("__ledgermessages__", "__ledgerscan__.oct");

// What a read gives: the tree, or the empty matrix after a fault, and the
// message when it is asked for.
static octave_value_list
read_results (const json_parser& parser, const octave_value& root,
              int nargout)
{
  octave_value_list result (nargout < 2 ? 1 : 2);
  if (parser.error_message ().empty ())
    result(0) = root;
  else
    result(0) = Matrix ();
  // The empty character value, made the cheap way: 0-by-0 either way.
  if (nargout >= 2)
    result(1) = parser.error_message ().empty ()
                ? octave_value (charNDArray (), '\'')
                : octave_value (parser.error_message (), '\'');
  return result;
}

// The options COMMENTS, COMMAS and INFNAN of the helpers' own calls, the
// arguments after the first.
static ledger::settings
flags_of (const octave_value_list& args)
{
  ledger::settings options;
  options.comments = args(1).bool_value ();
  options.commas = args(2).bool_value ();
  options.infnan = args(3).bool_value ();
  return options;
}

// The line and column of a fault in the text as a 1-by-2 row, or an empty
// matrix when there is none.
template <typename parser_type>
static octave_value
fault_place (const parser_type& parser)
{
  if (parser.error_line () == 0)
    return Matrix ();
  Matrix where (1, 2);
  where(0) = parser.error_line ();
  where(1) = parser.error_column ();
  return where;
}

// A character vector, of either orientation.  A character matrix of several
// rows is not one text: the conversion to one string would keep only its
// first row.
static bool
is_char_vector (const octave_value& arg)
{
  return arg.is_string () && (arg.rows () <= 1 || arg.columns () <= 1)
         && arg.ndims () == 2;
}

// The entries that read a text argument: one document, or JSON Lines.
static octave_value_list
read_text (const octave_value_list& args, int nargout, bool lines,
           const char *count_fault, const char *type_fault)
{
  if (args.length () != 4)
    error ("%s", count_fault);
  const octave_value& arg = args(0);
  if (! is_char_vector (arg))
    error ("%s", type_fault);
  // The text is borrowed from the argument, not copied.
  const charNDArray chars = arg.char_array_value ();
  json_parser parser (std::string_view (chars.data (), chars.numel ()),
                      flags_of (args));
  const octave_value root = lines ? parser.lines () : parser.parse ();
  return read_results (parser, root, nargout);
}

// The outcome of a read for the user function WHO: the tree, or after a
// fault the empty matrix and the message, raised with the identifier ID
// unless NARGOUT asks for it.  WHERE, the third result, is the fault's line
// and column in the text.
template <typename parser_type>
static octave_value_list
user_results (const char *who, const parser_type& parser,
              const octave_value& root, int nargout, const char *id,
              const std::string& prefix = "")
{
  if (parser.error_message ().empty ())
    {
      if (nargout < 2)
        return octave_value_list (root);
      return octave_value_list ({ root, octave_value (charNDArray (), '\''),
                                  Matrix () });
    }
  const std::string message = std::string (who) + ": " + prefix
                              + parser.error_message ();
  if (nargout < 2)
    error_with_id (id, "%s", message.c_str ());
  return octave_value_list ({ Matrix (), octave_value (message, '\''),
                              fault_place (parser) });
}

// A text read by WHO with the parser of trees or of ordinary values; a
// fault's message starts with PREFIX.
template <typename parser_type>
static octave_value_list
read_with (const char *who, std::string_view doc,
           const ledger::settings& options, int nargout,
           const std::string& prefix = "")
{
  parser_type parser (doc, options);
  auto root = options.lines ? parser.lines () : parser.parse ();
  const octave_value value = parser.result (root);
  return user_results (who, parser, value, nargout, "ledgerkit:parse",
                       prefix);
}

// The file GIVEN read by WHO: its tree or value, and with NARGOUT of two
// or more, its message ("" after a read) and the place of a fault in its
// text, raised instead when NARGOUT is below two.
static octave_value_list
load_one (const char *who, const std::string& given,
          const ledger::settings& options, int nargout)
{
  // A relative name is taken from the current folder, never from the load
  // path; "~" is the home folder, as to fopen.
  const std::string name = octave::sys::file_ops::tilde_expand (given);
  ledger::byte_buffer bytes (nullptr, std::free);
  std::size_t size = 0;
  const std::string fault = ledger::read_file (name, ! options.comments,
                                               bytes, size);
  if (! fault.empty ())
    {
      json_parser parser (std::string_view (), options);
      parser.refuse (fault);
      return user_results (who, parser, octave_value (), nargout,
                           "ledgerkit:io");
    }
  const std::string_view view (bytes.get (), size);
  const std::string prefix = ledger::shown_name (given) + ": ";
  if (options.plain)
    return read_with<plain_parser> (who, view, options, nargout, prefix);
  return read_with<json_parser> (who, view, options, nargout, prefix);
}

// The settings of the name/value pairs of ARGS after the first, from the
// table of reading options.
static ledger::settings
reading_settings (const char *who, const octave_value_list& args)
{
  if (args.length () == 1)
    return ledger::settings ();
  return ledger::read_options (who, ledger::to_read, args, 1);
}

DEFUN_DLD (__ledgerscan__, args, nargout,
  "-*- texinfo -*-\n"
  "  @deftypefn {ledgerkit} {[@var{tree}, @var{errmsg}] =} __ledgerscan__ "
  "(@var{text}, @var{comments}, @var{commas}, @var{infnan})\n"
  "\n"
  "\n"
  "Parse JSON text into a tree that keeps the kinds of JSON values.\n"
  "\n"
  "An object is a scalar structure with the fields @qcode{keys} and "
  "@qcode{values}, two column cell arrays in file order, duplicate keys "
  "kept.  An array is a column cell array, text a character row, a number a "
  "@code{double}, or an @code{int64} or @code{uint64} for an integer beyond "
  "2^53 that one holds exactly, @qcode{true} and @qcode{false} logical "
  "scalars, and @qcode{null} a 0-by-0 structure array with no fields.  "
  "@var{comments}, @var{commas} and @var{infnan} allow comments, trailing "
  "commas and the non-finite numbers.  On an error @var{tree} is empty and "
  "@var{errmsg} names it with its line and column.\n"
  "\n"
  "This is a helper IO function for the @qcode{loadledger} function.  "
  "Do NOT call it directly.\n"
  "\n"
  "@end deftypefn")
{
  return read_text (args, nargout, false,
                    "__ledgerscan__: four input arguments are required.",
                    "__ledgerscan__: TEXT must be a character vector.");
}

DEFUN_DLD (__ledgerdecode__, args, nargout,
  "-*- texinfo -*-\n"
  "  @deftypefn {ledgerkit} {[@var{tree}, @var{errmsg}, @var{where}] =} "
  "__ledgerdecode__ (@var{text}, @var{name}, @var{setting}, @dots{})\n"
  "\n"
  "\n"
  "Parse JSON text, or JSON Lines, with the options of "
  "@qcode{ledgerdecode}, whose name its errors give.  A fault in the text "
  "raises an error @qcode{\"ledgerkit:parse\"} unless @var{errmsg} is "
  "asked for; @var{where} is then its line and column.\n"
  "\n"
  "This is a helper IO function for the @qcode{ledgerdecode} function.  "
  "Do NOT call it directly.\n"
  "\n"
  "@end deftypefn")
{
  const char *who = "ledgerdecode";
  if (args.length () < 1)
    error ("__ledgerdecode__: TEXT is required.");
  const octave_value& arg = args(0);
  // The text is borrowed from the argument, not copied; an empty text is
  // empty whatever its size, 3-by-0 as 0-by-3.
  charNDArray chars;
  if (ledger::is_text_row (arg))
    chars = ledger::chars_of (arg);
  else if (! (arg.is_string () && arg.isempty () && arg.ndims () == 2))
    ledger::argument_error (who, "TEXT must be a character row, not "
                                 + ledger::argument_kind (arg));
  const ledger::settings options = reading_settings (who, args);
  const std::string_view doc (chars.data (), chars.numel ());
  if (options.plain)
    return read_with<plain_parser> (who, doc, options, nargout);
  return read_with<json_parser> (who, doc, options, nargout);
}

DEFUN_DLD (__ledgerlines__, args, nargout,
  "-*- texinfo -*-\n"
  "  @deftypefn {ledgerkit} {[@var{trees}, @var{errmsg}] =} __ledgerlines__ "
  "(@var{text}, @var{comments}, @var{commas}, @var{infnan})\n"
  "\n"
  "\n"
  "Parse JSON Lines text, one JSON value per line, into a column cell array "
  "of trees, one for each line that holds a value.\n"
  "\n"
  "Each line is read as @qcode{__ledgerscan__} reads a whole text, with the "
  "same options; a line of only blanks (and comments, where allowed) holds "
  "no value.  On an error @var{trees} is empty and @var{errmsg} names it "
  "with its line and column in the whole text.\n"
  "\n"
  "This is a helper function for the tests.  Do NOT call it directly.\n"
  "\n"
  "@end deftypefn")
{
  return read_text (args, nargout, true,
                    "__ledgerlines__: four input arguments are required.",
                    "__ledgerlines__: TEXT must be a character vector.");
}

DEFUN_DLD (__ledgerload__, args, nargout,
  "-*- texinfo -*-\n"
  "  @deftypefn {ledgerkit} {[@var{tree}, @var{errmsg}, @var{where}] =} "
  "__ledgerload__ (@var{file}, @var{name}, @var{setting}, @dots{})\n"
  "\n"
  "\n"
  "Read the file @var{file} and parse it with the options of "
  "@qcode{loadledger}, whose name its errors give.\n"
  "\n"
  "A file that cannot be read raises an error @qcode{\"ledgerkit:io\"} "
  "with the system's reason, a fault in its text one "
  "@qcode{\"ledgerkit:parse\"} with its line and column, unless "
  "@var{errmsg} is asked for; @var{where} is then the row "
  "[@var{line}, @var{column}] of a fault in the text (empty for any other "
  "outcome).\n"
  "\n"
  "This is a helper IO function for the @qcode{loadledger} function.  "
  "Do NOT call it directly.\n"
  "\n"
  "@end deftypefn")
{
  const char *who = "loadledger";
  if (args.length () < 1)
    error ("__ledgerload__: FILE is required.");
  const ledger::settings options = reading_settings (who, args);
  if (! args(0).iscell ())
    return load_one (who, ledger::text_argument (who, "FILE", args(0)),
                     options, nargout);
  // Many files in one call: every name is checked before any is read.
  const Cell files = args(0).cell_value ();
  std::vector<std::string> names (files.numel ());
  for (octave_idx_type i = 0; i < files.numel (); i++)
    names[i] = ledger::text_argument (who, "each name in FILES", files(i));
  Cell values (files.dims ()), messages (files.dims ()), places (files.dims ());
  for (octave_idx_type i = 0; i < files.numel (); i++)
    {
      octave_quit ();
      const octave_value_list r = load_one (who, names[i], options,
                                            nargout < 2 ? 1 : 3);
      values(i) = r(0);
      if (nargout >= 2)
        {
          messages(i) = r(1);
          places(i) = r(2);
        }
    }
  if (nargout < 2)
    return ovl (values);
  return ovl (values, messages, places);
}

DEFUN_DLD (__ledgermessages__, args, ,
  "-*- texinfo -*-\n"
  "  @deftypefn {ledgerkit} {@var{texts} =} __ledgermessages__ ()\n"
  "\n"
  "\n"
  "The texts of the reader's messages about a fault in the text, as a "
  "column cell array; each message is one of them followed by "
  "@qcode{\" at line @var{l}, column @var{c}.\"}.\n"
  "\n"
  "This is a helper function for the tests.  Do NOT call it directly.\n"
  "\n"
  "@end deftypefn")
{
  if (args.length () != 0)
    error ("__ledgermessages__: no input arguments are taken.");
  Cell texts (dim_vector (static_cast<int> (scan_error::count), 1));
  for (octave_idx_type i = 0; i < texts.numel (); i++)
    texts(i) = octave_value (scan_error_text[i], '\'');
  return ovl (texts);
}

// Tests, run by the interpreter's test function.
#if 0
## Helpers: read with all options off, or with the options given.
%!function [t, m] = scan (text, comments = false, commas = false, infnan = false)
%!  [t, m] = __ledgerscan__ (text, comments, commas, infnan);
%!endfunction
%!function m = scanmsg (text, varargin)
%!  [t, m] = scan (text, varargin{:});
%!  if (isempty (m) || ! isequal (t, zeros (0, 0)))
%!    error ("no error for: %s", text);
%!  endif
%!endfunction
%!function [t, m] = lines (text, comments = false, commas = false, infnan = false)
%!  [t, m] = __ledgerlines__ (text, comments, commas, infnan);
%!endfunction
%!function same (got, want, what)
%!  if (! isequal (got, want) || ! strcmp (class (got), class (want)))
%!    error ("%s: got %s, want %s", what, disp (got), disp (want));
%!  endif
%!endfunction

## The worked example: every kind, duplicate keys kept in order.
%!test
%! t = scan ('{"id":7,"tags":["a",2.5],"id":9007199254740993,"ok":true,"none":null,"empty":{},"list":[]}');
%! assert (isstruct (t) && isscalar (t));
%! assert (fieldnames (t), {"keys"; "values"});
%! assert (t.keys, {"id"; "tags"; "id"; "ok"; "none"; "empty"; "list"});
%! v = t.values;
%! assert (size (v), [7 1]);
%! assert (class (v{1}), "double");  assert (v{1}, 7);
%! assert (v{2}, {"a"; 2.5});
%! assert (class (v{3}), "uint64");
%! assert (v{3} == uint64 (2)^53 + 1);
%! assert (v{4}, true);
%! assert (isstruct (v{5}) && isempty (fieldnames (v{5})) && all (size (v{5}) == [0 0]));
%! assert (fieldnames (v{6}), {"keys"; "values"});
%! assert (size (v{6}.keys), [0 1]);  assert (size (v{6}.values), [0 1]);
%! assert (iscell (v{7}) && all (size (v{7}) == [0 1]));

## Kinds of top-level values and of the host values made for them.
%!test
%! assert (scan ("5"), 5);
%! assert (scan ("true"), true);
%! assert (scan ("false"), false);
%! assert (class (scan ("true")), "logical");
%! n = scan ("null");
%! assert (isstruct (n) && all (size (n) == [0 0]) && isempty (fieldnames (n)));
%! assert (scan ("[[]]"), {cell(0, 1)});
%! assert (scan ("[5]"), {5});
%! s = scan ('"abc"');
%! assert (s, "abc");
%! assert (typeinfo (s), "sq_string");
%! e = scan ('""');
%! assert (size (e), [0 0]);
%! assert (typeinfo (e), "sq_string");
%! assert (typeinfo (scan ('{"":1}').keys{1}), "sq_string");
%! t = scan ('{"k":[1,2],"":""}');
%! assert (t.keys, {"k"; ""});
%! assert (t.values, {{1; 2}; ""});

## Results and argument checks of the entry.
%!test
%! [t, m] = __ledgerscan__ ("[1]", 0, 0, 0);
%! assert (t, {1});
%! assert (m, "");
%! assert (ischar (m));
%! t = __ledgerscan__ ("[", 0, 0, 0);
%! assert (t, zeros (0, 0));
%! [t, m] = __ledgerscan__ ("[", 0, 0, 0);
%! assert (m, "unexpected end of the text at line 1, column 2.");
%! ## Options take any value that has a logical value.
%! assert (__ledgerscan__ ("[1,]", 0, 2, int8 (0)), {1});
%! assert (__ledgerscan__ ("[1,]", 0, single (1), 0), {1});
%! ## A column of characters is a text too, read in order.
%! assert (__ledgerscan__ (transpose ("[1,2]"), 0, 0, 0), {1; 2});
%!error <four input arguments are required> __ledgerscan__ ("1", 0, 0)
%!error <four input arguments are required> __ledgerscan__ ("1", 0, 0, 0, 0)
%!error <four input arguments are required> __ledgerscan__ ()
%!error <TEXT must be a character vector> __ledgerscan__ (1, 0, 0, 0)
%!error <TEXT must be a character vector> __ledgerscan__ ({"1"}, 0, 0, 0)
%!error <TEXT must be a character vector> __ledgerscan__ (["[1]"; "[2]"], 0, 0, 0)
%!error __ledgerscan__ ("1", {}, 0, 0)
%!error __ledgerscan__ ("1", 0, [1 1], 0)

## Every message, with its line and column: {text, comments, commas, infnan, message}.
%!test
%! cases = {
%!   "",                 0, 0, 0, "the text holds no value at line 1, column 1."
%!   "  \n  ",           0, 0, 0, "the text holds no value at line 2, column 3."
%!   "\xEF\xBB\xBF",     0, 0, 0, "the text holds no value at line 1, column 2."
%!   " \xEF\xBB\xBFtrue", 0, 0, 0, "invalid value at line 1, column 2."
%!   "true // c",        0, 0, 0, "comments are not allowed at line 1, column 6."
%!   "/* c */ 1",        0, 0, 0, "comments are not allowed at line 1, column 1."
%!   "// c\rtrue",       1, 0, 0, "the text holds no value at line 1, column 10."
%!   "/*/ true",         1, 0, 0, "unterminated comment at line 1, column 1."
%!   "[1, /* x",         1, 0, 0, "unterminated comment at line 1, column 5."
%!   "/x",               0, 0, 0, "invalid value at line 1, column 1."
%!   "/x",               1, 0, 0, "invalid value at line 1, column 1."
%!   "1 /",              1, 0, 0, "unexpected text after the value at line 1, column 3."
%!   "trueabc",          0, 0, 0, "unexpected text after the value at line 1, column 5."
%!   "true false",       0, 0, 0, "unexpected text after the value at line 1, column 6."
%!   "1 /* c */ 2",      1, 0, 0, "unexpected text after the value at line 1, column 11."
%!   "tru",              0, 0, 0, "invalid value at line 1, column 1."
%!   "nul",              0, 0, 0, "invalid value at line 1, column 1."
%!   "True",             0, 0, 0, "invalid value at line 1, column 1."
%!   "\n\n  x",          0, 0, 0, "invalid value at line 3, column 3."
%!   "\r\n x",           0, 0, 0, "invalid value at line 2, column 2."
%!   "\t\vx",            0, 0, 0, "invalid value at line 1, column 2."
%!   "\"\xC3\xA9\" x",   0, 0, 0, "unexpected text after the value at line 1, column 5."
%!   "[\"\xE2\x82\xAC\", x]", 0, 0, 0, "invalid value at line 1, column 7."
%!   "\"\x80\x80\" x",    0, 0, 0, "unexpected text after the value at line 1, column 6."
%!   "\"\xC0\x80\" x",    0, 0, 0, "unexpected text after the value at line 1, column 6."
%!   "\"\xE2\x82\" x",    0, 0, 0, "unexpected text after the value at line 1, column 6."
%!   "\"\xED\xA0\x80\" x", 0, 0, 0, "unexpected text after the value at line 1, column 7."
%!   "\"\xF0\x9F\x98\x80\xBF\" x", 0, 0, 0, "unexpected text after the value at line 1, column 6."
%!   "[\xF0\x9F\x98\x80]", 0, 0, 0, "invalid value at line 1, column 2."
%!   ["\xFF\xFE[\x00" "1\x00]\x00"], 0, 0, 0, "the text is UTF-16LE, not UTF-8 at line 1, column 1."
%!   ["\xFE\xFF\x00[\x00" "1\x00]"], 0, 0, 0, "the text is UTF-16BE, not UTF-8 at line 1, column 1."
%!   "\xFF\xFE\x00\x00[\x00\x00\x00", 0, 0, 0, "the text is UTF-32LE, not UTF-8 at line 1, column 1."
%!   "\x00\x00\xFE\xFF\x00\x00\x00[", 0, 0, 0, "the text is UTF-32BE, not UTF-8 at line 1, column 1."
%!   "\xFF\xFE",         1, 1, 1, "the text is UTF-16LE, not UTF-8 at line 1, column 1."
%!   ["[\x00" "1\x00]\x00"], 0, 0, 0, "invalid value at line 1, column 2."
%!   "\xFF[]",           0, 0, 0, "invalid value at line 1, column 1."
%!   "\"ab",             0, 0, 0, "unterminated text at line 1, column 4."
%!   "\"",               0, 0, 0, "unterminated text at line 1, column 2."
%!   "\"ab\\",           0, 0, 0, "unterminated text at line 1, column 5."
%!   "\"a\tb\"",         0, 0, 0, "a control character in text must be escaped at line 1, column 3."
%!   "\"a\nb\"",         0, 0, 0, "a control character in text must be escaped at line 1, column 3."
%!   "\"a\0b\"",         0, 0, 0, "a control character in text must be escaped at line 1, column 3."
%!   "\"\\\n\"",         0, 0, 0, "invalid escape in text at line 1, column 3."
%!   "\"\\U0041\"",      0, 0, 0, "invalid escape in text at line 1, column 3."
%!   "\"\\x41\"",        0, 0, 0, "invalid escape in text at line 1, column 3."
%!   "\"\\'\"",          0, 0, 0, "invalid escape in text at line 1, column 3."
%!   "\"\\0\"",          0, 0, 0, "invalid escape in text at line 1, column 3."
%!   "\"\\\xC3\xA9\"",   0, 0, 0, "invalid escape in text at line 1, column 3."
%!   "\"\\u12",          0, 0, 0, "invalid \\u escape at line 1, column 4."
%!   "\"\\u12G4\"",      0, 0, 0, "invalid \\u escape at line 1, column 4."
%!   "\"\\uDE00\"",      0, 0, 0, "invalid \\u escape at line 1, column 8."
%!   "\"\\uD83D\"",      0, 0, 0, "invalid \\u escape at line 1, column 8."
%!   "\"\\uD83Dx\"",     0, 0, 0, "invalid \\u escape at line 1, column 8."
%!   "\"\\uD83D\\n\"",   0, 0, 0, "invalid \\u escape at line 1, column 8."
%!   "\"\\uD83D\\",      0, 0, 0, "invalid \\u escape at line 1, column 8."
%!   "\"\\uD83D\\u0041\"", 0, 0, 0, "invalid \\u escape at line 1, column 14."
%!   "\"\\uD83D\\uD83D\"", 0, 0, 0, "invalid \\u escape at line 1, column 14."
%!   "\"\\uD83D\\uDE0\"",  0, 0, 0, "invalid \\u escape at line 1, column 10."
%!   "01",               0, 0, 0, "invalid number at line 1, column 1."
%!   "-01",              0, 0, 0, "invalid number at line 1, column 1."
%!   "[1, 00]",          0, 0, 0, "invalid number at line 1, column 5."
%!   "1.",               0, 0, 0, "invalid number at line 1, column 3."
%!   "1.x",              0, 0, 0, "invalid number at line 1, column 3."
%!   "1e",               0, 0, 0, "invalid number at line 1, column 3."
%!   "1e+",              0, 0, 0, "invalid number at line 1, column 4."
%!   "1ex",              0, 0, 0, "invalid number at line 1, column 3."
%!   "-",                0, 0, 0, "invalid value at line 1, column 1."
%!   "-a",               0, 0, 0, "invalid value at line 1, column 1."
%!   "--1",              0, 0, 0, "invalid value at line 1, column 1."
%!   "+1",               0, 0, 0, "invalid value at line 1, column 1."
%!   ".5",               0, 0, 0, "invalid value at line 1, column 1."
%!   "-NaN",             0, 0, 1, "invalid value at line 1, column 1."
%!   "NaN",              0, 0, 0, "invalid value at line 1, column 1."
%!   "Infinity",         0, 0, 0, "invalid value at line 1, column 1."
%!   "[-Inf]",           0, 0, 0, "invalid value at line 1, column 2."
%!   "Infinit",          0, 0, 1, "unexpected text after the value at line 1, column 4."
%!   "NaNs",             0, 0, 1, "unexpected text after the value at line 1, column 4."
%!   "123abc",           0, 0, 0, "unexpected text after the value at line 1, column 4."
%!   "0x1F",             0, 0, 0, "unexpected text after the value at line 1, column 2."
%!   "1.5.2",            0, 0, 0, "unexpected text after the value at line 1, column 4."
%!   "{",                0, 0, 0, "missing object key at line 1, column 2."
%!   "{,}",              0, 0, 0, "missing object key at line 1, column 2."
%!   "{\"a\":1,,}",      0, 1, 0, "missing object key at line 1, column 8."
%!   "{1:2}",            0, 0, 0, "missing object key at line 1, column 2."
%!   "{\"a\":1,}",       0, 0, 0, "trailing commas are not allowed at line 1, column 8."
%!   "{\"a\":1, /**/ }", 1, 0, 0, "trailing commas are not allowed at line 1, column 14."
%!   "[1,2,]",           0, 0, 0, "trailing commas are not allowed at line 1, column 6."
%!   "[1,2,\n]",         0, 0, 0, "trailing commas are not allowed at line 2, column 1."
%!   "[[1],[2,]]",       0, 0, 0, "trailing commas are not allowed at line 1, column 9."
%!   "[,]",              0, 1, 0, "invalid value at line 1, column 2."
%!   "[,1]",             0, 0, 0, "invalid value at line 1, column 2."
%!   "[1,,2]",           0, 1, 0, "invalid value at line 1, column 4."
%!   "[1 2]",            0, 0, 0, "missing ',' or ']' in an array at line 1, column 4."
%!   "[1",               0, 0, 0, "missing ',' or ']' in an array at line 1, column 3."
%!   "[",                0, 0, 0, "unexpected end of the text at line 1, column 2."
%!   "[1,",              0, 0, 0, "unexpected end of the text at line 1, column 4."
%!   "{\"a\" 1}",        0, 0, 0, "missing ':' after an object key at line 1, column 6."
%!   "{\"a\"",           0, 0, 0, "missing ':' after an object key at line 1, column 5."
%!   "{\"a\":1 \"b\":2}", 0, 0, 0, "missing ',' or '}' in an object at line 1, column 8."
%!   "{\"a\":1",         0, 0, 0, "missing ',' or '}' in an object at line 1, column 7."
%!   "{\"a\":}",         0, 0, 0, "invalid value at line 1, column 6."
%!   "{\"a\":",          0, 0, 0, "unexpected end of the text at line 1, column 6."
%!   "{\"a\\q\":1}",     0, 0, 0, "invalid escape in text at line 1, column 5."
%!   "[1, // c\n 2 x]",  1, 0, 0, "missing ',' or ']' in an array at line 2, column 4."
%!   "{\"a\":1}\n/* c */ {",  1, 0, 0, "unexpected text after the value at line 2, column 9."
%! };
%! for i = 1:rows (cases)
%!   [t, m] = scan (cases{i, 1:4});
%!   same (m, cases{i, 5}, sprintf ("case %d: %s", i, cases{i, 1}));
%!   assert (t, zeros (0, 0));
%! endfor

## The table of message texts: each text once, and each message one of them.
%!test
%! texts = __ledgermessages__ ();
%! assert (iscellstr (texts) && columns (texts) == 1);
%! assert (numel (unique (texts)), numel (texts));
%! for text = {"", "[1 2]", "{\"a\" 1}", "\"\\u12\"", "\xFE\xFF", "01"}
%!   m = scanmsg (text{1});
%!   assert (any (strcmp (regexprep (m, " at line \\d+, column \\d+\\.$", ""), texts)));
%! endfor
%!error <no input arguments> __ledgermessages__ (1)

## Only the first error is reported.
%!assert (scanmsg ("[1 2, 01, \"\\x\"]"), "missing ',' or ']' in an array at line 1, column 4.")

## The nesting limit: a value may stand at depth 64, not 65.
%!test
%! nest = @(o, c, k, inner) [repmat(o, 1, k), inner, repmat(c, 1, k)];
%! assert (scanmsg (nest ("[", "]", 65, "[]")), "nesting deeper than the option MaxDepth allows at line 1, column 66.");
%! assert (numel (scan (nest ("[", "]", 64, "[]"))), 1);
%! [t, m] = scan (nest ("[", "]", 64, "1"));
%! assert (m, "");
%! assert (scanmsg (nest ("[", "]", 65, "1")), "nesting deeper than the option MaxDepth allows at line 1, column 66.");
%! o = '{"k":';
%! assert (isstruct (scan (nest (o, "}", 64, "{}"))));
%! assert (isstruct (scan (nest (o, "}", 64, "1"))));
%! assert (scanmsg (nest (o, "}", 65, "1")), "nesting deeper than the option MaxDepth allows at line 1, column 326.");
%! assert (scanmsg (nest (o, "}", 64, "[[]]")), "nesting deeper than the option MaxDepth allows at line 1, column 322.");
%! ## Mixtures count alike.
%! assert (iscell (scan (nest ('[{"k":', "}]", 32, "[]"))));
%! assert (scanmsg (nest ('[{"k":', "}]", 32, "[[]]")), "nesting deeper than the option MaxDepth allows at line 1, column 194.");
%! ## The depth test comes before the end test, and stops a million brackets at once.
%! assert (scanmsg (repmat ("[", 1, 65)), "nesting deeper than the option MaxDepth allows at line 1, column 66.");
%! assert (scanmsg (repmat ("[", 1, 1e6)), "nesting deeper than the option MaxDepth allows at line 1, column 66.");

## The byte-order mark is skipped only at the very start.
%!test
%! assert (scan ("\xEF\xBB\xBFtrue"), true);
%! assert (scan ("\xEF\xBB\xBF [1]"), {1});
%! assert (scanmsg ("\xEF\xBB\xBF"), "the text holds no value at line 1, column 2.");
%! assert (scanmsg ("\xEF\xBB\xBF x"), "invalid value at line 1, column 3.");
%! assert (scanmsg ("\xEF\xBB"), "invalid value at line 1, column 1.");
%! assert (double (scan ("\"\xEF\xBB\xBF\"")), [239 187 191]);
%! assert (scanmsg ("[\xEF\xBB\xBF]"), "invalid value at line 1, column 2.");

## Comments, when allowed, stand wherever whitespace may.
%!test
%! assert (scan ("true // c", true), true);
%! assert (scan ("// c\ntrue", true), true);
%! assert (scan ("/**/true", true), true);
%! assert (scan ("/* a */ [ /* b */ 1 /* c */ , // d\n 2 /* e */ ] // f", true), {1; 2});
%! t = scan ("{ /* a */ \"k\" /* b */ : /* c */ 1 /* d */ }", true);
%! assert (t.keys, {"k"});
%! assert (scan ("/* a /* b */ 1", true), 1);
%! assert (scan ("/* ** / */ 1", true), 1);
%! assert (scan ("/* \n */ 1 // no line feed at the end", true), 1);
%! assert (scanmsg ("/* a */ */ 1", true), "invalid value at line 1, column 9.");
%! assert (scan ("[\"// not a comment\", \"/* nor this */\"]"), {"// not a comment"; "/* nor this */"});

## Trailing commas, when allowed, only right before the closing bracket.
%!test
%! assert (scan ("[1,2,]", 0, 1), {1; 2});
%! assert (scan ("[1,2, \n ]", 0, 1), {1; 2});
%! assert (scan ("[1,2, /* c */ ]", 1, 1), {1; 2});
%! t = scan ('{"a":1,}', 0, 1);
%! assert (t.keys, {"a"});  assert (t.values, {1});
%! assert (scan ("[[1,],[2,],]", 0, 1), {{1}; {2}});
%! assert (scanmsg ("[,]", 0, 1), "invalid value at line 1, column 2.");
%! assert (scanmsg ("{,}", 0, 1), "missing object key at line 1, column 2.");

## The same text under other options: no memory of earlier calls.
%!test
%! text = "[NaN, 1, /* c */ ]";
%! assert (scanmsg (text), "invalid value at line 1, column 2.");
%! t = scan (text, 1, 1, 1);
%! assert (isnan (t{1}) && t{2} == 1 && numel (t) == 2);
%! assert (scanmsg (text, 0, 1, 1), "comments are not allowed at line 1, column 10.");
%! assert (scanmsg (text, 1, 0, 1), "trailing commas are not allowed at line 1, column 18.");
%! assert (scanmsg (text), "invalid value at line 1, column 2.");

## Every escape, and raw bytes passed through unchanged.
%!test
%! cases = {
%!   '"\""',                   '"'
%!   '"\\"',                   "\\"
%!   '"\/"',                   "/"
%!   '"/"',                    "/"
%!   '"\b\f\n\r\t"',           "\b\f\n\r\t"
%!   '"\u0041"',               "A"
%!   '"\u00e9\u00E9"',         "\xC3\xA9\xC3\xA9"
%!   '"\u20AC"',               "\xE2\x82\xAC"
%!   '"\u07FF\u0800\uFFFF"',   "\xDF\xBF\xE0\xA0\x80\xEF\xBF\xBF"
%!   '"\uD7FF\uE000"',         "\xED\x9F\xBF\xEE\x80\x80"
%!   '"\uD83D\uDE00"',         "\xF0\x9F\x98\x80"
%!   '"\ud800\udc00"',         "\xF0\x90\x80\x80"
%!   '"\uDBFF\uDFFF"',         "\xF4\x8F\xBF\xBF"
%!   '"a\u0000b"',             "a\0b"
%!   "\"\x7F\xFF\xC0\x80\"",   "\x7F\xFF\xC0\x80"
%!   '"a\"b\\c\\\"d"',         'a"b\c\"d'
%! };
%! for i = 1:rows (cases)
%!   s = scan (cases{i, 1});
%!   same (double (s), double (cases{i, 2}), sprintf ("case %d: %s", i, cases{i, 1}));
%! endfor
%! t = scan ('{"k\u00e9\n":1}');
%! assert (double (t.keys{1}), double ("k\xC3\xA9\n"));

## Numbers: {literal, infnan, class, value}.
%!test
%! cases = {
%!   "0",                      0, "double", 0
%!   "0.5",                    0, "double", 0.5
%!   "-1.25e+3",               0, "double", -1250
%!   "1E-2",                   0, "double", 0.01
%!   "10e2",                   0, "double", 1000
%!   "123456789012345",        0, "double", 123456789012345
%!   "-1234567890123456",      0, "double", -1234567890123456
%!   "9007199254740992",       0, "double", 2^53
%!   "9007199254740993",       0, "uint64", uint64(2)^53+1
%!   "9007199254740994",       0, "uint64", uint64(2)^53+2
%!   "18446744073709551615",   0, "uint64", intmax("uint64")
%!   "18446744073709551616",   0, "double", 2^64
%!   "-9007199254740992",      0, "double", -2^53
%!   "-9007199254740993",      0, "int64", -int64(2)^53-1
%!   "-9223372036854775808",   0, "int64", intmin("int64")
%!   "-9223372036854775809",   0, "double", -2^63
%!   "9007199254740993.0",     0, "double", 2^53
%!   "9007199254740993e0",     0, "double", 2^53
%!   "1e400",                  0, "double", Inf
%!   "-1e400",                 0, "double", -Inf
%!   "1e-400",                 0, "double", 0
%!   "4.9e-324",               0, "double", 4.9406564584124654e-324
%!   "2.2250738585072011e-308", 0, "double", 2.2250738585072011e-308
%!   "NaN",                    1, "double", NaN
%!   "Infinity",               1, "double", Inf
%!   "Inf",                    1, "double", Inf
%!   "-Infinity",              1, "double", -Inf
%!   "-Inf",                   1, "double", -Inf
%!   [repmat("9", 1, 400)],    0, "double", Inf
%!   ["0.", repmat("0", 1, 9998), "1"], 0, "double", 0
%!   ["1", repmat("0", 1, 10000)], 0, "double", Inf
%! };
%! for i = 1:rows (cases)
%!   x = scan (cases{i, 1}, 0, 0, cases{i, 2});
%!   what = sprintf ("case %d: %s", i, cases{i, 1}(1:min (end, 30)));
%!   same (class (x), cases{i, 3}, what);
%!   if (! isequaln (x, cases{i, 4}))
%!     error ("%s: wrong value", what);
%!   endif
%! endfor
%! assert (1 / scan ("-0"), -Inf);
%! assert (1 / scan ("-0.0e5"), -Inf);
%! assert (1 / scan ("0"), Inf);
%! x = scan ("-1e-400");
%! assert (x == 0 && 1 / x == -Inf);

## Large documents and hostile bytes give a tree or a message, never a crash.
%!test
%! n = 1e6;
%! t = scan (["[", repmat("1,", 1, n - 1), "1]"]);
%! assert (size (t), [n 1]);
%! t = scan (["{", repmat('"k":0,', 1, n - 1), '"k":1}']);
%! assert (size (t.keys), [n 1]);
%! assert (t.values{end}, 1);
%! big = repmat ("abcdefghij", 1, 1e6);
%! assert (scan (["\"", big, "\""]), big);
%! assert (scanmsg (["\"", big]), sprintf ("unterminated text at line 1, column %d.", 1e7 + 2));
%! ## Every byte value, raw and escaped.
%! bytes = char (0:255);
%! esc = strjoin (arrayfun (@(b) sprintf ("\\u%04x", b), 0:127, "uniformoutput", false), "");
%! assert (double (scan (['"', esc, char(128:255), '"'])), 0:255);
%! for b = 0:255
%!   [t, m] = scan (["[", char(b), "]"]);
%!   if (isempty (m) != any (b == [9 10 13 32 48:57]))
%!     error ("byte %d: %s", b, m);
%!   endif
%! endfor
%! assert (scanmsg ("[1, \0]"), "invalid value at line 1, column 5.");
%! assert (scanmsg ("1\0"), "unexpected text after the value at line 1, column 2.");

## Every prefix of a document gives a tree or a message within the text.
%!test
%! doc = "{\"a\": [1, -2.5e3, true, null, {\"b\": \"x\\u00e9\\n\"}], \"c\": {}, \"d\": []} ";
%! for k = 0:numel (doc) - 2
%!   [t, m] = scan (doc(1:k), 1, 1, 1);
%!   if (isempty (m))
%!     error ("prefix %d read as a whole document", k);
%!   endif
%!   col = sscanf (regexp (m, "column (\\d+)", "tokens", "once"){1}, "%d");
%!   assert (col <= k + 1);
%! endfor
%! [t, m] = scan (doc);
%! assert (m, "");
## Columns count characters as an editor shows them, on long lines and
## after many lines too.
%!test
%! assert (scanmsg ([repmat(" ", 1, 3e6) "x"]), "invalid value at line 1, column 3000001.");
%! assert (scanmsg ([repmat("\n", 1, 3e6) "x"]), "invalid value at line 3000001, column 1.");
%! assert (scanmsg (["\"" repmat("\xC3\xA9", 1, 2e6) "\" x"]), "unexpected text after the value at line 1, column 2000004.");
%! assert (scanmsg (["\"" repmat("\x80", 1, 2e6) "\"\n\n  x"]), "unexpected text after the value at line 3, column 3.");

## Runs of bytes longer than the stretch between two looks at Ctrl-C read
## as any other: blanks, comments, text, escapes, digits.
%!test
%! m = 2.5e6;
%! assert (scan ([repmat(" \t\r\n", 1, m / 4) "1" repmat(" ", 1, m)]), 1);
%! assert (scan (["//" repmat("x", 1, m) "\n1"], true), 1);
%! assert (scan (["/*" repmat("*", 1, m) "*/1"], true), 1);
%! assert (scan (["/*" repmat("a*", 1, m) "/1"], true), 1);
%! assert (scanmsg (["/*" repmat("*", 1, m)], true), "unterminated comment at line 1, column 1.");
%! long = repmat ("abc\xC3\xA9", 1, m / 5);
%! assert (scan (["\"" long "\""]), long);
%! assert (scan (["\"" repmat('\n', 1, m) "\""]), repmat ("\n", 1, m));
%! assert (scan (["0." repmat("0", 1, m) "1"]), 0);
%! assert (scan (["1" repmat("0", 1, m)]), Inf);
%! assert (scanmsg (["[" repmat("1,", 1, m) "x]"]), sprintf ("invalid value at line 1, column %d.", 2 * m + 2));

## One {} and one [] serve a whole call; a change to one changes no other.
%!test
%! t = scan ("[{}, [], {}, [], {\"a\": {}, \"b\": []}]");
%! assert (t{1}, struct ("keys", {cell(0, 1)}, "values", {cell(0, 1)}));
%! assert (t{2}, cell (0, 1));
%! assert (t{5}.values, {t{1}; t{2}});
%! a = t{1};
%! a.keys{end+1} = "k";
%! b = t{2};
%! b{end+1} = 1;
%! assert (t{3}, t{1});
%! assert (t{4}, cell (0, 1));
%! assert (isempty (t{1}.keys) && isempty (t{5}.values{1}.keys));
%! t = scan (["[" repmat("{},[],null,", 1, 1e5) "{}]"]);
%! assert (numel (t), 3e5 + 1);
%! assert (t{end-1}, struct ([]));

## JSON Lines: one value per line; blank lines (and comments, where
## allowed) hold none; every option applies to each line; a fault names
## its line and column in the whole text.  {text, comments, commas, infnan,
## the trees or the message}.
%!test
%! cases = {
%!   "",                      0, 0, 0, cell(0, 1)
%!   "\n\n \t \r\n",          0, 0, 0, cell(0, 1)
%!   "1",                     0, 0, 0, {1}
%!   "1\n",                   0, 0, 0, {1}
%!   "1\n[2]\n{\"a\":3}",     0, 0, 0, {1; {2}; struct("keys", {{"a"}}, "values", {{3}})}
%!   "\n\n1\n\n\n\"x\"\n\n",  0, 0, 0, {1; "x"}
%!   "1\r\n[2]\r\n",          0, 0, 0, {1; {2}}
%!   "  true  \r\n\t null",   0, 0, 0, {true; struct([])}
%!   ["\xEF\xBB\xBF" "1\n2"], 0, 0, 0, {1; 2}
%!   "// c\n1 // d\n/* e */\n  /**/ 2", 1, 0, 0, {1; 2}
%!   "[1,]\n{\"a\":NaN,}",    0, 1, 1, {{1}; struct("keys", {{"a"}}, "values", {{NaN}})}
%!   "x\n1\n2",               0, 0, 0, "invalid value at line 1, column 1."
%!   "1\n[1 2]\n3",           0, 0, 0, "missing ',' or ']' in an array at line 2, column 4."
%!   "1\n2\n{",               0, 0, 0, "missing object key at line 3, column 2."
%!   "1\r\n2 3\r\n4",         0, 0, 0, "unexpected text after the value at line 2, column 3."
%!   "1\r\n2\r\n[\r\n",       0, 0, 0, "unexpected end of the text at line 3, column 3."
%!   "[1,\n2]",               0, 0, 0, "unexpected end of the text at line 1, column 4."
%!   "{\"a\":\n1}",           0, 0, 0, "unexpected end of the text at line 1, column 6."
%!   "\"a\nb\"",              0, 0, 0, "unterminated text at line 1, column 3."
%!   "1 2",                   0, 0, 0, "unexpected text after the value at line 1, column 3."
%!   "1\r2",                  0, 0, 0, "unexpected text after the value at line 1, column 3."
%!   "1\n\xEF\xBB\xBF2",      0, 0, 0, "invalid value at line 2, column 1."
%!   "/* a\n b */ 1",         1, 0, 0, "unterminated comment at line 1, column 1."
%!   "1\n// c",               0, 0, 0, "comments are not allowed at line 2, column 1."
%!   "[1,]\n[2,]",            0, 0, 0, "trailing commas are not allowed at line 1, column 4."
%!   "1\n\n\"\xC3\xA9\" x",   0, 0, 0, "unexpected text after the value at line 3, column 5."
%!   ["\xFF\xFE" "1\x00\n\x00"], 0, 0, 0, "the text is UTF-16LE, not UTF-8 at line 1, column 1."
%! };
%! for i = 1:rows (cases)
%!   [t, m] = lines (cases{i, 1:4});
%!   want = cases{i, 5};
%!   what = sprintf ("case %d: %s", i, undo_string_escapes (cases{i, 1}));
%!   if (ischar (want))
%!     same (m, want, what);
%!     same (t, [], what);
%!   else
%!     same (m, "", what);
%!     if (! isequaln (t, want) || ! isequal (size (t), size (want)))
%!       error ("%s: another tree", what);
%!     endif
%!   endif
%! endfor
%! assert (lines ("[1]\n2", 0, 0, 0), {{1}; 2});
%!error <four input arguments are required> __ledgerlines__ ("1", 0, 0)
%!error <TEXT must be a character vector> __ledgerlines__ (1, 0, 0, 0)

## JSON Lines against the plain way: each line read as a text of its own,
## a line that holds no value skipped, the line of a fault counted.
%!function [t, m] = lines_plain (text, varargin)
%!  t = {};
%!  m = "";
%!  parts = strsplit (text, "\n", "collapsedelimiters", false);
%!  for k = 1:numel (parts)
%!    [v, m] = scan (parts{k}, varargin{:});
%!    if (strncmp (m, "the text holds no value", 23))
%!      m = "";
%!    elseif (! isempty (m))
%!      m = regexprep (m, "at line 1,", sprintf ("at line %d,", k));
%!      t = [];
%!      return;
%!    else
%!      t{end+1, 1} = v;
%!    endif
%!  endfor
%!  if (isempty (t))
%!    t = cell (0, 1);
%!  endif
%!endfunction
%!test
%! rand ("state", 7);
%! pieces = {"1", "-2.5e3", "\"a\\u00e9\"", "[1,[2,{}]]", "{\"k\":[true,null]}", ...
%!           "", " ", "\t\r", "// c", "/* c */", "1 2", "[1,]", "NaN", "{", ...
%!           "\"x", "tru", "[1 /* c */ ]", "\xC3\xA9", "01"};
%! for round = 1:300
%!   n = randi (6);
%!   text = strjoin (pieces(randi (numel (pieces), 1, n)), "\n");
%!   if (rand () < 0.3)
%!     text(end+1) = "\n";
%!   endif
%!   opts = num2cell (rand (1, 3) < 0.5);
%!   [t, m] = lines (text, opts{:});
%!   [tp, mp] = lines_plain (text, opts{:});
%!   if (! strcmp (m, mp) || ! isequaln (t, tp))
%!     error ("%s: \"%s\" instead of \"%s\"", undo_string_escapes (text), m, mp);
%!   endif
%! endfor
#endif
