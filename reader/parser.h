// The reader's grammar: json_parser reads JSON text into a tree of
// interpreter values that keeps the kind, order and digits of every JSON
// value, and records the first fault with its line and column.  Shared by
// the reader module's entries and its fuzz harness.
//
// Copyright (C) 2026 ledgerkit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#ifndef LEDGERKIT_READER_PARSER_H
#define LEDGERKIT_READER_PARSER_H

#include <octave/oct.h>
#include <octave/oct-map.h>
#include <octave/lo-ieee.h>
#include <octave/quit.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "core/tree.h"
#include "core/number_text.h"
#include "core/utf8.h"
#include "core/files.h"
#include "core/options.h"

// The reader's faults in a text.  Each is reported as its text from
// scan_error_text, then " at line L, column C.".
enum class scan_error
{
  comments_off,
  unterminated_comment,
  no_value,
  text_after_value,
  too_deep,
  unexpected_end,
  invalid_value,
  unterminated_string,
  raw_control,
  invalid_escape,
  invalid_u_escape,
  invalid_number,
  missing_key,
  missing_colon,
  missing_object_separator,
  missing_array_separator,
  trailing_comma,
  utf32le,
  utf32be,
  utf16le,
  utf16be,
  not_an_array,
  cut_short,
  count
};

static const char *const scan_error_text[] = {
  "comments are not allowed",
  "unterminated comment",
  "the text holds no value",
  "unexpected text after the value",
  "nesting deeper than the option MaxDepth allows",
  "unexpected end of the text",
  "invalid value",
  "unterminated text",
  "a control character in text must be escaped",
  "invalid escape in text",
  "invalid \\u escape",
  "invalid number",
  "missing object key",
  "missing ':' after an object key",
  "missing ',' or '}' in an object",
  "missing ',' or ']' in an array",
  "trailing commas are not allowed",
  "the text is UTF-32LE, not UTF-8",
  "the text is UTF-32BE, not UTF-8",
  "the text is UTF-16LE, not UTF-8",
  "the text is UTF-16BE, not UTF-8",
  "with the option Array the text must be one array",
  "the last record is cut short: the text ends inside it",
};

static_assert (sizeof (scan_error_text) / sizeof (*scan_error_text)
               == static_cast<std::size_t> (scan_error::count),
               "one text for each scan_error");

static const char *
text_of (scan_error code)
{
  return scan_error_text[static_cast<int> (code)];
}

// A text value as a character row; a long one is copied a stretch at a
// time, looking at Ctrl-C between.
static octave_value
char_row (const char *bytes, std::size_t n)
{
  if (n == 0)
    return octave_value (std::string (), '\'');
  charNDArray row (dim_vector (1, n));
  char *to = row.fortran_vec ();
  for (std::size_t done = 0; done < n; done += ledger::bytes_per_check)
    {
      if (done)
        octave_quit ();
      std::memcpy (to + done, bytes + done,
                   std::min (ledger::bytes_per_check, n - done));
    }
  return octave_value (row, '\'');
}

// What the grammar builds: the tree.  Members of the containers being read
// sit on a stack, innermost last; a finished container takes its slice off
// the top, so that reading one allocates only the node it returns.  What a
// tiny text never needs (the null node, the shared empty containers, the
// field list of an object) is made on first use.
class tree_builder
{
public:
  using value = octave_value;
  using mark = std::size_t;

  explicit tree_builder (const ledger::settings&) { }

  value text (const char *bytes, std::size_t n) { return char_row (bytes, n); }

  // A member name; short names are made once per call and shared.
  value key (const std::string& name)
  {
    if (name.size () > key_cache_length || keys_read++ < key_cache_after)
      return char_row (name.data (), name.size ());
    auto hit = keys_seen.find (name);
    if (hit != keys_seen.end ())
      return hit->second;
    octave_value node = char_row (name.data (), name.size ());
    if (keys_seen.size () < key_cache_limit)
      keys_seen.emplace (name, node);
    return node;
  }

  value boolean (bool b) { return octave_value (b); }
  value real (double d) { return octave_value (d); }
  value int64 (int64_t v) { return octave_value (octave_int64 (v)); }
  value uint64 (uint64_t v) { return octave_value (octave_uint64 (v)); }
  // Values are copy-on-write: one null, one {} and one [] serve the call.
  value null ()
  {
    if (null_node.is_undefined ())
      null_node = ledger::null_value ();
    return null_node;
  }
  value empty_array ()
  {
    if (no_elements.is_undefined ())
      no_elements = Cell (dim_vector (0, 1));
    return no_elements;
  }
  value empty_object ()
  {
    if (no_members.is_undefined ())
      no_members = object (stack.size ());
    return no_members;
  }

  mark open () const { return stack.size (); }
  void push (value&& v) { stack.push_back (std::move (v)); }
  void drop (mark base) { stack.resize (base); }

  value array (mark base) { return octave_value (column (base, 1)); }

  // The keys and values on the stack from BASE, interleaved, as an object.
  value object (mark base)
  {
    if (object_fields.nfields () == 0)
      object_fields = ledger::object_fields ();
    octave_scalar_map m (object_fields);
    m.contents (0) = column (base, 2, 0);
    m.contents (1) = column (base, 2, 1);
    return octave_value (m);
  }

  // The values of JSON Lines from BASE, as a column.
  value lines (mark base) { return array (base); }

  // The host value of a result.
  static octave_value result (const value& v) { return v; }

private:
  std::vector<octave_value> stack;
  // One host value per distinct short key: repeated keys share it.  The
  // first few keys of a text are not looked up, so that a small text pays
  // nothing for the table.
  std::unordered_map<std::string, octave_value> keys_seen;
  std::size_t keys_read = 0;
  octave_fields object_fields;
  octave_value null_node;
  octave_value no_members;
  octave_value no_elements;

  static constexpr std::size_t key_cache_limit = 4096;
  static constexpr std::size_t key_cache_length = 64;
  static constexpr std::size_t key_cache_after = 16;

  // Every STRIDE-th value of the stack from BASE + OFFSET, as a column
  // cell; the caller releases the slice.
  Cell column (std::size_t base, std::size_t stride, std::size_t offset = 0)
  {
    const std::size_t n = (stack.size () - base) / stride;
    Cell c = ledger::take_cell (stack, base, dim_vector (n, 1), stride,
                                offset);
    if (offset + 1 == stride)
      stack.resize (base);
    return c;
  }
};

// One parse: the borrowed text, the cursor, the options and the first
// error; what it builds is BUILDER's (the tree, or ordinary values).  The
// rest is scratch shared by the whole call.
template <typename builder>
class basic_parser
{
public:
  using built = typename builder::value;

  basic_parser (std::string_view document, const ledger::settings& options)
    : source (document), allow (options), build (options)
  { }

  // The host value of a result of parse, lines or value_at.
  octave_value result (built& v) { return build.result (v); }

  // The outcome, for the entries and the fuzz harnesses: the first fault's
  // message (empty while none), its code and place, and the cursor.
  const std::string& error_message () const { return message; }
  scan_error error_code () const { return code; }
  std::size_t error_line () const { return fault_line; }
  std::size_t error_column () const { return fault_column; }
  std::size_t cursor () const { return pos; }

  // A fault of the file, not of its text: no code and no place.
  void refuse (const std::string& why) { message = why; }

  // For a reader of records from a buffer that moves along a file: the
  // text is now TEXT with the cursor at AT, and its first byte stands at
  // LINE and COLUMN of the file.  The fault of an earlier record is
  // forgotten; the caches stay, as within one text.
  void point (std::string_view text, std::size_t at)
  {
    source = text;
    pos = at;
  }
  void set_origin (std::size_t line, std::size_t column)
  {
    first_line = line;
    first_column = column;
  }
  void forget_fault ()
  {
    message.clear ();
    code = scan_error::count;
    fault_line = fault_column = 0;
  }
  // Records a fault of the text at the cursor AT.
  void fail_at (std::size_t at, scan_error what)
  {
    pos = at;
    fail (what);
  }

private:
  std::string_view source;
  std::size_t pos = 0;
  ledger::settings allow;
  std::string message;
  scan_error code = scan_error::count;
  std::size_t fault_line = 0;
  std::size_t fault_column = 0;
  // The place of the text's first byte in a larger one.
  std::size_t first_line = 1;
  std::size_t first_column = 1;

  builder build;
  // Decoded bytes of the text being read when it holds escapes.
  std::string scratch;
  // Values (or escapes, comments, lines) left before Ctrl-C is looked at.
  int countdown = values_per_check;

  static constexpr int values_per_check = 4096;
  static constexpr std::size_t bytes_per_check = ledger::bytes_per_check;

  bool at_end () const { return pos >= source.size (); }

  unsigned char byte () const { return source[pos]; }

  static bool is_digit (unsigned char b) { return b >= '0' && b <= '9'; }

  // Ctrl-C: the interpreter's own check, which throws out of the read; what
  // was built so far is released on the way out.
  void tick ()
  {
    if (--countdown == 0)
      {
        countdown = values_per_check;
        octave_quit ();
      }
  }

  // The end of the next stretch of at most BYTES_PER_CHECK bytes from FROM;
  // a loop over bytes stops there to look at Ctrl-C.
  std::size_t stretch (std::size_t from) const
  {
    return std::min (source.size (), from + bytes_per_check);
  }

public:
  built parse ()
  {
    if (! start ())
      return built ();
    if (! skip_space ())
      return built ();
    if (at_end ())
      {
        fail (scan_error::no_value);
        return built ();
      }
    return last_value ();
  }

  // A value and the blanks after it, which must end the text.
  built last_value ()
  {
    built root = value (0);
    if (! message.empty () || ! skip_space ())
      return built ();
    if (! at_end ())
      {
        fail (scan_error::text_after_value);
        return built ();
      }
    return root;
  }

  // JSON Lines: each line holds one value or nothing but blanks (and
  // comments, where allowed); the values as a column cell.  The text is cut
  // short at the end of each line in turn, so that a line is read as a text
  // of its own while the cursor keeps its place in the whole text.
  built lines ()
  {
    const std::string_view all = source;
    if (! start ())
      return built ();
    const auto base = build.open ();
    std::size_t from = 0;
    while (from <= all.size ())
      {
        tick ();
        std::size_t end = all.find ('\n', from);
        if (end == std::string_view::npos)
          end = all.size ();
        source = all.substr (0, end);
        if (! skip_space ())
          return drop (base);
        if (! at_end ())
          {
            built root = last_value ();
            if (! message.empty ())
              return drop (base);
            build.push (std::move (root));
          }
        from = end + 1;
        pos = from;
      }
    source = all;
    return build.lines (base);
  }

  // One value at the cursor, nested DEPTH deep: a member of a container
  // that a caller reads itself.
  built value_at (int depth) { return value (depth); }

  // The start of a whole text and the blanks (and comments) at the cursor;
  // false after a fault.
  bool open_text () { return start (); }
  bool blanks () { return skip_space (); }

private:
  // The start of the text: a UTF-8 byte-order mark is skipped; one of UTF-16
  // or UTF-32 is named, never guessed at without the mark.
  bool start ()
  {
    static const struct
    {
      const char *mark;
      std::size_t size;
      scan_error code;
    } marks[] = {
      { "\xFF\xFE\0\0", 4, scan_error::utf32le },
      { "\0\0\xFE\xFF", 4, scan_error::utf32be },
      { "\xFF\xFE", 2, scan_error::utf16le },
      { "\xFE\xFF", 2, scan_error::utf16be },
    };
    if (source.substr (0, 3) == "\xEF\xBB\xBF")
      {
        pos = 3;
        return true;
      }
    for (const auto& m : marks)
      if (source.substr (0, m.size) == std::string_view (m.mark, m.size))
        {
          fail (m.code);
          return false;
        }
    return true;
  }

  bool skip_space ()
  {
    const std::size_t n = source.size ();
    while (pos < n)
      {
        unsigned char b = source[pos];
        if (b == ' ' || b == '\n' || b == '\r' || b == '\t')
          {
            // Ctrl-C at every megabyte of the text that blanks pass.
            if ((++pos & (bytes_per_check - 1)) == 0)
              octave_quit ();
            continue;
          }
        if (b != '/' || pos + 1 >= n
            || (source[pos+1] != '/' && source[pos+1] != '*'))
          return true;
        if (! allow.comments)
          {
            fail (scan_error::comments_off);
            return false;
          }
        tick ();
        if (source[pos+1] == '/')
          skip_line_comment ();
        else if (! skip_block_comment ())
          return false;
      }
    return true;
  }

  // Up to the line feed that ends it, or the end of the text.
  void skip_line_comment ()
  {
    const std::size_t n = source.size ();
    std::size_t from = pos + 2;
    for (;;)
      {
        const std::size_t stop = stretch (from);
        const void *lf = std::memchr (source.data () + from, '\n',
                                      stop - from);
        if (lf)
          {
            pos = static_cast<const char *> (lf) - source.data ();
            return;
          }
        if (stop == n)
          {
            pos = n;
            return;
          }
        octave_quit ();
        from = stop;
      }
  }

  // The closing pair is searched from after the opening one, so "/*/" is
  // not a whole comment.
  bool skip_block_comment ()
  {
    const char *base = source.data ();
    const std::size_t n = source.size ();
    std::size_t from = pos + 2;
    std::size_t check = stretch (from);
    while (from < n)
      {
        if (from >= check)
          {
            octave_quit ();
            check = stretch (from);
          }
        const void *star = std::memchr (base + from, '*', check - from);
        if (! star)
          {
            from = check;
            continue;
          }
        std::size_t s = static_cast<const char *> (star) - base;
        if (s + 1 < n && base[s+1] == '/')
          {
            pos = s + 2;
            return true;
          }
        from = s + 1;
      }
    fail (scan_error::unterminated_comment);
    return false;
  }

  bool starts_with (const char *literal) const
  {
    std::size_t n = std::strlen (literal);
    return source.size () - pos >= n
           && std::memcmp (source.data () + pos, literal, n) == 0;
  }

public:
  // The number of bytes of the character at I, as an editor shows it: a
  // well-formed UTF-8 sequence is one character, any other byte one of its
  // own (a stray continuation byte, a lead byte cut short).
  static std::size_t char_size (std::string_view text, std::size_t i)
  {
    const std::size_t k = ledger::utf8_char (text.data () + i,
                                             text.size () - i);
    return k ? k : 1;
  }

private:
  // Line and column of POS: lines counted by line feeds, columns in
  // characters from the line's start; a character that POS falls inside
  // is the one named.
  void place (std::size_t& line, std::size_t& column) const
  {
    const char *b = source.data ();
    line = first_line;
    std::size_t line_start = 0;
    for (std::size_t from = 0; from < pos; )
      {
        const std::size_t stop = std::min (pos, from + bytes_per_check);
        const std::size_t feeds = std::count (b + from, b + stop, '\n');
        if (feeds)
          {
            line += feeds;
            line_start = from + std::string_view (b + from, stop - from)
                                .rfind ('\n') + 1;
          }
        from = stop;
        if (from < pos)
          octave_quit ();
      }
    column = line == first_line ? first_column : 1;
    for (std::size_t i = line_start; i < pos; column++)
      {
        const std::size_t size = char_size (source, i);
        if (i + size > pos)
          break;
        i += size;
        if ((column & 0xFFFFF) == 0)
          octave_quit ();
      }
  }

  // The first fault wins; its message and place are kept.
  void fail (scan_error what)
  {
    if (! message.empty ())
      return;
    code = what;
    place (fault_line, fault_column);
    message = std::string (text_of (what)) + " at line "
              + std::to_string (fault_line) + ", column "
              + std::to_string (fault_column) + ".";
  }

  built value (int depth)
  {
    if (depth > allow.max_depth)
      {
        fail (scan_error::too_deep);
        return built ();
      }
    if (at_end ())
      {
        fail (scan_error::unexpected_end);
        return built ();
      }
    tick ();
    switch (byte ())
      {
      case '"':
        return string_node ();
      case '[':
        return array (depth);
      case '{':
        return object (depth);
      default:
        break;
      }
    if (starts_with ("true"))
      {
        pos += 4;
        return build.boolean (true);
      }
    if (starts_with ("false"))
      {
        pos += 5;
        return build.boolean (false);
      }
    if (starts_with ("null"))
      {
        pos += 4;
        return build.null ();
      }
    unsigned char b = byte ();
    if (b == '-' || is_digit (b) || b == 'N' || b == 'I')
      return number ();
    fail (scan_error::invalid_value);
    return built ();
  }

  // ---- strings ----------------------------------------------------------

  static bool plain (unsigned char b)
  {
    return b >= 0x20 && b != '"' && b != '\\';
  }

  // Index of the first byte at or after FROM that is not plain text.
  std::size_t plain_run (std::size_t from) const
  {
    const unsigned char *p
      = reinterpret_cast<const unsigned char *> (source.data ());
    for (;;)
      {
        const std::size_t stop = stretch (from);
        while (from < stop && plain (p[from]))
          from++;
        if (from < stop || stop == source.size ())
          return from;
        octave_quit ();
      }
  }

  // A JSON string from its opening quote at POS; its decoded bytes go to
  // OUT.
  bool string_value (std::string& out)
  {
    pos++;
    const std::size_t n = source.size ();
    while (pos < n)
      {
        std::size_t run = plain_run (pos);
        out.append (source.data () + pos, run - pos);
        pos = run;
        if (pos >= n)
          break;
        unsigned char b = byte ();
        if (b == '"')
          {
            pos++;
            return true;
          }
        if (b < 0x20)
          {
            fail (scan_error::raw_control);
            return false;
          }
        if (! escape (out))
          return false;
      }
    fail (scan_error::unterminated_string);
    return false;
  }

  // POS on the reverse solidus.
  bool escape (std::string& out)
  {
    tick ();
    pos++;
    if (at_end ())
      {
        fail (scan_error::unterminated_string);
        return false;
      }
    char c;
    switch (source[pos++])
      {
      case '"': c = '"'; break;
      case '\\': c = '\\'; break;
      case '/': c = '/'; break;
      case 'b': c = '\b'; break;
      case 'f': c = '\f'; break;
      case 'n': c = '\n'; break;
      case 'r': c = '\r'; break;
      case 't': c = '\t'; break;
      case 'u': return unicode_escape (out);
      default:
        pos--;
        fail (scan_error::invalid_escape);
        return false;
      }
    out.push_back (c);
    return true;
  }

  // POS just past the "u".
  bool unicode_escape (std::string& out)
  {
    int64_t cp = hex4 ();
    if (cp < 0)
      {
        fail (scan_error::invalid_u_escape);
        return false;
      }
    if ((cp & ~0x3FF) == 0xD800)
      {
        if (source.size () - pos < 2 || source[pos] != '\\'
            || source[pos+1] != 'u')
          {
            fail (scan_error::invalid_u_escape);
            return false;
          }
        pos += 2;
        int64_t low = hex4 ();
        if (low < 0 || (low & ~0x3FF) != 0xDC00)
          {
            fail (scan_error::invalid_u_escape);
            return false;
          }
        cp = 0x10000 + (cp - 0xD800) * 1024 + (low - 0xDC00);
      }
    else if ((cp & ~0x3FF) == 0xDC00)
      {
        fail (scan_error::invalid_u_escape);
        return false;
      }
    put_utf8 (out, cp);
    return true;
  }

  int64_t hex4 ()
  {
    if (source.size () - pos < 4)
      return -1;
    int64_t v = 0;
    for (std::size_t i = 0; i < 4; i++)
      {
        unsigned char b = source[pos+i];
        int d;
        if (is_digit (b))
          d = b - '0';
        else if (b >= 'a' && b <= 'f')
          d = b - 'a' + 10;
        else if (b >= 'A' && b <= 'F')
          d = b - 'A' + 10;
        else
          return -1;
        v = v * 16 + d;
      }
    pos += 4;
    return v;
  }

  static void put_utf8 (std::string& out, uint64_t cp)
  {
    if (cp < 0x80)
      out.push_back (static_cast<char> (cp));
    else if (cp < 0x800)
      {
        out.push_back (static_cast<char> (0xC0 + (cp >> 6)));
        out.push_back (static_cast<char> (0x80 + (cp & 0x3F)));
      }
    else if (cp < 0x10000)
      {
        out.push_back (static_cast<char> (0xE0 + (cp >> 12)));
        out.push_back (static_cast<char> (0x80 + ((cp >> 6) & 0x3F)));
        out.push_back (static_cast<char> (0x80 + (cp & 0x3F)));
      }
    else
      {
        out.push_back (static_cast<char> (0xF0 + (cp >> 18)));
        out.push_back (static_cast<char> (0x80 + ((cp >> 12) & 0x3F)));
        out.push_back (static_cast<char> (0x80 + ((cp >> 6) & 0x3F)));
        out.push_back (static_cast<char> (0x80 + (cp & 0x3F)));
      }
  }

  // A text value; one without escapes is made straight from the source.
  built string_node ()
  {
    std::size_t run = plain_run (pos + 1);
    if (run < source.size () && source[run] == '"')
      {
        built node = build.text (source.data () + pos + 1, run - pos - 1);
        pos = run + 1;
        return node;
      }
    scratch.clear ();
    if (! string_value (scratch))
      return built ();
    return build.text (scratch.data (), scratch.size ());
  }

  // A member name.
  built key_node ()
  {
    scratch.clear ();
    if (! string_value (scratch))
      return built ();
    return build.key (scratch);
  }

  // ---- numbers ------------------------------------------------------------

  // Not looked at for Ctrl-C: converting the literal takes longer than
  // this, and it cannot be stopped either.
  std::size_t skip_digits (std::size_t from) const
  {
    const std::size_t n = source.size ();
    while (from < n && is_digit (source[from]))
      from++;
    return from;
  }

  built number ()
  {
    const std::size_t start = pos;
    const bool negative = (byte () == '-');
    if (negative)
      pos++;
    if (allow.infnan)
      {
        if (! negative && starts_with ("NaN"))
          {
            pos += 3;
            return build.real (lo_ieee_nan_value ());
          }
        std::size_t word = starts_with ("Infinity") ? 8
                           : starts_with ("Inf") ? 3 : 0;
        if (word)
          {
            pos += word;
            double inf = lo_ieee_inf_value ();
            return build.real (negative ? -inf : inf);
          }
      }
    if (at_end () || ! is_digit (byte ()))
      {
        pos = start;
        fail (scan_error::invalid_value);
        return built ();
      }
    if (byte () == '0' && pos + 1 < source.size ()
        && is_digit (source[pos+1]))
      {
        pos = start;
        fail (scan_error::invalid_number);
        return built ();
      }
    const std::size_t digits_start = pos;
    pos = skip_digits (pos);
    const std::size_t digits = pos - digits_start;
    bool integer = true;
    if (! at_end () && byte () == '.')
      {
        integer = false;
        pos++;
        if (! more_digits ())
          return built ();
      }
    if (! at_end () && (byte () == 'e' || byte () == 'E'))
      {
        integer = false;
        pos++;
        if (! at_end () && (byte () == '+' || byte () == '-'))
          pos++;
        if (! more_digits ())
          return built ();
      }
    if (integer && allow.integers)
      return whole_number (start, digits_start, negative);
    if (integer && digits <= 15)
      return build.real (small_integer (digits_start, negative));
    double d = to_double (start);
    if (integer && std::fabs (d) >= ledger::two53)
      return big_integer (start, negative, d);
    return build.real (d);
  }

  // After "." or an exponent mark: at least one digit must follow.
  bool more_digits ()
  {
    if (at_end () || ! is_digit (byte ()))
      {
        fail (scan_error::invalid_number);
        return false;
      }
    pos = skip_digits (pos);
    return true;
  }

  // Up to 15 digits: exact in a double, so no conversion is needed.
  double small_integer (std::size_t from, bool negative) const
  {
    uint64_t v = 0;
    for (std::size_t i = from; i < pos; i++)
      v = v * 10 + (source[i] - '0');
    double d = static_cast<double> (v);
    return negative ? -d : d;
  }

  // With "Integers": the integer literal from START to POS (its digits
  // from FROM) as an int64, as a uint64 above the range of int64, and
  // as a double beyond that; "-0" stays the double -0, the only value
  // of its own that no integer holds.
  built whole_number (std::size_t start, std::size_t from,
                      bool negative)
  {
    if (pos - from <= 18)
      {
        int64_t v = 0;
        for (std::size_t i = from; i < pos; i++)
          v = v * 10 + (source[i] - '0');
        if (v == 0 && negative)
          return build.real (-0.0);
        return build.int64 (negative ? -v : v);
      }
    const char *first = source.data () + start;
    const char *last = source.data () + pos;
    long long v;
    std::from_chars_result r = std::from_chars (first, last, v);
    if (r.ec == std::errc () && r.ptr == last)
      return build.int64 (static_cast<int64_t> (v));
    unsigned long long u;
    r = std::from_chars (first, last, u);
    if (! negative && r.ec == std::errc () && r.ptr == last)
      return build.uint64 (static_cast<uint64_t> (u));
    return build.real (to_double (start));
  }

  // The correctly rounded double of the literal from START to POS; beyond
  // the double range an infinity of its sign, below it zero or a subnormal.
  double to_double (std::size_t start) const
  {
    return read_double (source.data () + start, source.data () + pos);
  }

  // An integer literal of magnitude 2^53 or more: exact when a 64-bit
  // integer holds it and a double would not be enough.
  built big_integer (std::size_t start, bool negative, double d)
  {
    const char *first = source.data () + start;
    const char *last = source.data () + pos;
    if (negative)
      {
        long long v;
        std::from_chars_result r = std::from_chars (first, last, v);
        if (r.ec != std::errc () || v >= -static_cast<long long> (ledger::two53_int))
          return build.real (d);
        return build.int64 (static_cast<int64_t> (v));
      }
    unsigned long long v;
    std::from_chars_result r = std::from_chars (first, last, v);
    if (r.ec != std::errc () || v <= ledger::two53_int)
      return build.real (d);
    return build.uint64 (static_cast<uint64_t> (v));
  }

  // ---- containers ---------------------------------------------------------

  built array (int depth)
  {
    pos++;
    const auto base = build.open ();
    if (! skip_space ())
      return built ();
    if (! at_end () && byte () == ']')
      {
        pos++;
        return build.empty_array ();
      }
    for (;;)
      {
        if (! at_end () && byte () == ']')
          return drop (base, scan_error::trailing_comma);
        built element = value (depth + 1);
        if (! message.empty ())
          return drop (base);
        build.push (std::move (element));
        const member_end next
          = after_member (']', scan_error::missing_array_separator);
        if (next == member_end::fault)
          return drop (base);
        if (next == member_end::closed)
          break;
      }
    return build.array (base);
  }

  built object (int depth)
  {
    pos++;
    const auto base = build.open ();
    if (! skip_space ())
      return built ();
    if (! at_end () && byte () == '}')
      {
        pos++;
        return build.empty_object ();
      }
    for (;;)
      {
        if (at_end ())
          return drop (base, scan_error::missing_key);
        if (byte () != '"')
          return drop (base, byte () == '}' ? scan_error::trailing_comma
                                            : scan_error::missing_key);
        built key = key_node ();
        if (! message.empty () || ! skip_space ())
          return drop (base);
        if (at_end () || byte () != ':')
          return drop (base, scan_error::missing_colon);
        pos++;
        if (! skip_space ())
          return drop (base);
        built member = value (depth + 1);
        if (! message.empty ())
          return drop (base);
        build.push (std::move (key));
        build.push (std::move (member));
        const member_end next
          = after_member ('}', scan_error::missing_object_separator);
        if (next == member_end::fault)
          return drop (base);
        if (next == member_end::closed)
          break;
      }
    return build.object (base);
  }

  // What follows a member of a container.
  enum class member_end { another, closed, fault };

  // After a member of a container closed by CLOSE: another member after a
  // comma, the container closed here (after a last comma too, if those are
  // allowed), or a fault recorded.
  member_end after_member (char close, scan_error missing)
  {
    if (! skip_space ())
      return member_end::fault;
    if (! at_end () && byte () == ',')
      {
        pos++;
        if (! skip_space ())
          return member_end::fault;
        if (allow.commas && ! at_end () && byte () == close)
          {
            pos++;
            return member_end::closed;
          }
        return member_end::another;
      }
    if (! at_end () && byte () == close)
      {
        pos++;
        return member_end::closed;
      }
    fail (missing);
    return member_end::fault;
  }

  // Abandon a container and release its members.
  built drop (typename builder::mark base)
  {
    build.drop (base);
    return built ();
  }

  // The same after recording WHY.
  built drop (typename builder::mark base, scan_error why)
  {
    fail (why);
    return drop (base);
  }
};

// The reader of trees, as every entry and harness has used it.
using json_parser = basic_parser<tree_builder>;

#endif
