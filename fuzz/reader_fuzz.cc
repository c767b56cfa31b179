// reader_fuzz: coverage-guided fuzzing of the reader's json_parser.
//
// Byte 0 of an input holds the options (bit 0 comments, bit 1 trailing
// commas, bit 2 NaN and the infinities, bit 3 JSON Lines); the rest is the
// text.  Each input must give either a tree of reader kinds or one
// well-formed message whose line and column are those of the cursor, inside
// the text; a text that reads under some options reads the same with every
// option on; and a plain reference reader, byte by byte with the C library's
// conversions and none of the reader's fast paths, gives the same tree or
// the same message.
//
// No interpreter is started: values are made without one.  The reader never
// raises an error for a fault in the text, and without an interpreter an
// error would abort, which the fuzzer then reports.
//
// Copyright (C) 2026 ledgerkit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "reader/parser.h"

#include "tree_check.h"

#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace
{
  // The size of a well-formed UTF-8 character at I, decoded plainly: its
  // code point must need exactly that many bytes and be no surrogate and
  // no more than U+10FFFF.  0 for any other byte.
  std::size_t plain_char (std::string_view text, std::size_t i)
  {
    const unsigned char b = text[i];
    std::size_t size;
    uint32_t cp;
    if (b >= 0xF0 && b < 0xF8)
      size = 4, cp = b & 0x07;
    else if (b >= 0xE0 && b < 0xF0)
      size = 3, cp = b & 0x0F;
    else if (b >= 0xC0 && b < 0xE0)
      size = 2, cp = b & 0x1F;
    else
      return 0;
    if (i + size > text.size ())
      return 0;
    for (std::size_t k = 1; k < size; k++)
      {
        const unsigned char c = text[i+k];
        if ((c & 0xC0) != 0x80)
          return 0;
        cp = cp << 6 | (c & 0x3F);
      }
    const uint32_t least[] = { 0, 0, 0x80, 0x800, 0x10000 };
    if (cp < least[size] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
      return 0;
    return size;
  }

  // Line and column of POS as an editor shows them: lines by line feeds,
  // columns in characters, every byte that is not part of a well-formed
  // character one column; POS inside a character names that character.
  void plain_place (std::string_view text, std::size_t pos,
                    std::size_t& line, std::size_t& column)
  {
    line = 1;
    column = 1;
    std::size_t i = 0;
    while (i < pos)
      {
        if (text[i] == '\n')
          {
            line++;
            column = 1;
            i++;
            continue;
          }
        std::size_t size = plain_char (text, i);
        if (size == 0)
          size = 1;
        if (i + size > pos)
          break;
        i += size;
        column++;
      }
  }

  bool known_message (std::string_view what)
  {
    for (const char *m : scan_error_text)
      if (what == m)
        return true;
    return false;
  }

  // The message must be "WHAT at line L, column C." with WHAT the text of
  // the parser's code and L, C the place of the byte at its cursor, which
  // the parser also gives as numbers.
  void check_message (const json_parser& p, std::string_view text)
  {
    const std::string& msg = p.error_message ();
    const std::size_t pos = p.cursor ();
    if (pos > text.size ())
      tree_check::fault ("the cursor is beyond the end of the text", msg);
    const std::size_t at = msg.rfind (" at line ");
    if (at == std::string::npos || msg.empty () || msg.back () != '.')
      tree_check::fault ("a malformed message", msg);
    if (! known_message (std::string_view (msg).substr (0, at)))
      tree_check::fault ("an unknown message", msg);
    if (std::string_view (msg).substr (0, at) != text_of (p.error_code ()))
      tree_check::fault ("the message is not the text of its code", msg);
    std::size_t line, column;
    plain_place (text, pos, line, column);
    if (p.error_line () != line || p.error_column () != column)
      tree_check::fault ("the place as numbers is not the cursor's", msg);
    const std::string tail = " at line " + std::to_string (line)
                             + ", column " + std::to_string (column) + ".";
    if (msg.compare (at, std::string::npos, tail) != 0)
      tree_check::fault ("the message names another place than the cursor",
                         msg + " (cursor" + tail + ")");
  }
}

namespace
{
  // The reference: the grammar read plainly, one byte at a time, every
  // number through strtod, strtoull or strtoll, every node built afresh.
  class plain_reader
  {
  public:
    std::string_view text;
    std::size_t pos = 0;
    bool comments, commas, infnan;
    std::string message;

    plain_reader (std::string_view t, bool c, bool k, bool i)
      : text (t), comments (c), commas (k), infnan (i) { }

    bool end () const { return pos >= text.size (); }
    char at () const { return text[pos]; }
    bool looking_at (const char *word) const
    {
      return text.substr (pos).rfind (word, 0) == 0;
    }

    void fail (scan_error what)
    {
      if (! message.empty ())
        return;
      std::size_t line, column;
      plain_place (text, pos, line, column);
      message = std::string (text_of (what)) + " at line "
                + std::to_string (line) + ", column " + std::to_string (column)
                + ".";
    }

    // A byte-order mark of UTF-16 or UTF-32 is named; a UTF-8 one skipped.
    bool start ()
    {
      const std::string_view marks[] = {
        std::string_view ("\xFF\xFE\0\0", 4),
        std::string_view ("\0\0\xFE\xFF", 4), "\xFF\xFE", "\xFE\xFF" };
      const scan_error names[] = { scan_error::utf32le, scan_error::utf32be,
                                   scan_error::utf16le, scan_error::utf16be };
      for (int k = 0; k < 4; k++)
        if (text.substr (0, marks[k].size ()) == marks[k])
          {
            fail (names[k]);
            return false;
          }
      if (text.rfind ("\xEF\xBB\xBF", 0) == 0)
        pos = 3;
      return true;
    }

    // JSON Lines: every line read on its own, as a text that ends there.
    octave_value lines ()
    {
      const std::string_view all = text;
      if (! start ())
        return octave_value ();
      std::vector<octave_value> rows;
      for (std::size_t from = 0; from <= all.size (); )
        {
          std::size_t stop = all.find ('\n', from);
          if (stop == std::string_view::npos)
            stop = all.size ();
          text = all.substr (0, stop);
          pos = std::max (pos, from);
          if (! skip ())
            return octave_value ();
          if (! end ())
            {
              octave_value v = last_value ();
              if (! message.empty ())
                return octave_value ();
              rows.push_back (v);
            }
          from = stop + 1;
        }
      return octave_value (column (rows));
    }

    octave_value parse ()
    {
      if (! start ())
        return octave_value ();
      if (! skip ())
        return octave_value ();
      if (end ())
        {
          fail (scan_error::no_value);
          return octave_value ();
        }
      return last_value ();
    }

    // A value, then nothing but blanks to the end of the text.
    octave_value last_value ()
    {
      octave_value v = value (0);
      if (! message.empty () || ! skip ())
        return octave_value ();
      if (! end ())
        {
          fail (scan_error::text_after_value);
          return octave_value ();
        }
      return v;
    }

    bool skip ()
    {
      while (! end ())
        {
          const char c = at ();
          if (c == ' ' || c == '\t' || c == '\n' || c == '\r')
            pos++;
          else if (c == '/' && pos + 1 < text.size ()
                   && (text[pos+1] == '/' || text[pos+1] == '*'))
            {
              if (! comments)
                {
                  fail (scan_error::comments_off);
                  return false;
                }
              if (text[pos+1] == '/')
                while (! end () && at () != '\n')
                  pos++;
              else
                {
                  const std::size_t e = text.find ("*/", pos + 2);
                  if (e == std::string_view::npos)
                    {
                      fail (scan_error::unterminated_comment);
                      return false;
                    }
                  pos = e + 2;
                }
            }
          else
            return true;
        }
      return true;
    }

    octave_value value (int depth)
    {
      if (depth > ledger::default_depth)
        {
          fail (scan_error::too_deep);
          return octave_value ();
        }
      if (end ())
        {
          fail (scan_error::unexpected_end);
          return octave_value ();
        }
      const char c = at ();
      if (c == '"')
        {
          std::string s;
          if (! string (s))
            return octave_value ();
          return octave_value (s, '\'');
        }
      if (c == '[')
        return array (depth);
      if (c == '{')
        return object (depth);
      if (looking_at ("true"))
        {
          pos += 4;
          return octave_value (true);
        }
      if (looking_at ("false"))
        {
          pos += 5;
          return octave_value (false);
        }
      if (looking_at ("null"))
        {
          pos += 4;
          return octave_value (octave_map (dim_vector (0, 0)));
        }
      if (c == '-' || (c >= '0' && c <= '9') || c == 'N' || c == 'I')
        return number ();
      fail (scan_error::invalid_value);
      return octave_value ();
    }

    long hex4 ()
    {
      if (text.size () - pos < 4)
        return -1;
      long v = 0;
      for (int i = 0; i < 4; i++)
        {
          const char c = text[pos+i];
          const char *digits = "0123456789abcdef";
          const char *d = std::strchr (digits, c >= 'A' && c <= 'F' ? c - 'A' + 'a' : c);
          if (! d || ! c)
            return -1;
          v = 16 * v + (d - digits);
        }
      pos += 4;
      return v;
    }

    static void utf8 (std::string& out, long cp)
    {
      if (cp < 0x80)
        out += static_cast<char> (cp);
      else if (cp < 0x800)
        {
          out += static_cast<char> (0xC0 | (cp >> 6));
          out += static_cast<char> (0x80 | (cp & 63));
        }
      else if (cp < 0x10000)
        {
          out += static_cast<char> (0xE0 | (cp >> 12));
          out += static_cast<char> (0x80 | ((cp >> 6) & 63));
          out += static_cast<char> (0x80 | (cp & 63));
        }
      else
        {
          out += static_cast<char> (0xF0 | (cp >> 18));
          out += static_cast<char> (0x80 | ((cp >> 12) & 63));
          out += static_cast<char> (0x80 | ((cp >> 6) & 63));
          out += static_cast<char> (0x80 | (cp & 63));
        }
    }

    bool string (std::string& out)
    {
      pos++;
      for (;;)
        {
          if (end ())
            {
              fail (scan_error::unterminated_string);
              return false;
            }
          const unsigned char c = at ();
          if (c == '"')
            {
              pos++;
              return true;
            }
          if (c < 0x20)
            {
              fail (scan_error::raw_control);
              return false;
            }
          if (c != '\\')
            {
              out += static_cast<char> (c);
              pos++;
              continue;
            }
          pos++;
          if (end ())
            {
              fail (scan_error::unterminated_string);
              return false;
            }
          const char e = text[pos++];
          const char *from = "\"\\/bfnrt";
          const char *to = "\"\\/\b\f\n\r\t";
          const char *hit = e ? std::strchr (from, e) : nullptr;
          if (hit)
            {
              out += to[hit - from];
              continue;
            }
          if (e != 'u')
            {
              pos--;
              fail (scan_error::invalid_escape);
              return false;
            }
          long cp = hex4 ();
          if (cp < 0)
            {
              fail (scan_error::invalid_u_escape);
              return false;
            }
          if (cp >= 0xDC00 && cp <= 0xDFFF)
            {
              fail (scan_error::invalid_u_escape);
              return false;
            }
          if (cp >= 0xD800 && cp <= 0xDBFF)
            {
              if (! looking_at ("\\u"))
                {
                  fail (scan_error::invalid_u_escape);
                  return false;
                }
              pos += 2;
              const long low = hex4 ();
              if (low < 0xDC00 || low > 0xDFFF)
                {
                  fail (scan_error::invalid_u_escape);
                  return false;
                }
              cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
            }
          utf8 (out, cp);
        }
    }

    bool digits ()
    {
      const std::size_t from = pos;
      while (! end () && at () >= '0' && at () <= '9')
        pos++;
      return pos > from;
    }

    octave_value number ()
    {
      const std::size_t start = pos;
      const bool negative = at () == '-';
      if (negative)
        pos++;
      if (infnan && ! negative && looking_at ("NaN"))
        {
          pos += 3;
          return octave_value (std::nan (""));
        }
      if (infnan && (looking_at ("Infinity") || looking_at ("Inf")))
        {
          pos += looking_at ("Infinity") ? 8 : 3;
          const double inf = HUGE_VAL;
          return octave_value (negative ? -inf : inf);
        }
      if (end () || at () < '0' || at () > '9')
        {
          pos = start;
          fail (scan_error::invalid_value);
          return octave_value ();
        }
      if (at () == '0' && pos + 1 < text.size ()
          && text[pos+1] >= '0' && text[pos+1] <= '9')
        {
          pos = start;
          fail (scan_error::invalid_number);
          return octave_value ();
        }
      digits ();
      bool integer = true;
      if (! end () && at () == '.')
        {
          integer = false;
          pos++;
          if (! digits ())
            {
              fail (scan_error::invalid_number);
              return octave_value ();
            }
        }
      if (! end () && (at () == 'e' || at () == 'E'))
        {
          integer = false;
          pos++;
          if (! end () && (at () == '+' || at () == '-'))
            pos++;
          if (! digits ())
            {
              fail (scan_error::invalid_number);
              return octave_value ();
            }
        }
      const std::string literal (text.substr (start, pos - start));
      if (integer)
        {
          errno = 0;
          const unsigned long long mag
            = std::strtoull (literal.c_str () + negative, nullptr, 10);
          const bool fits = errno != ERANGE;
          if (fits && mag <= ledger::two53_int)
            return octave_value (negative ? -static_cast<double> (mag)
                                          : static_cast<double> (mag));
          if (fits && ! negative)
            return octave_value (octave_uint64 (mag));
          if (fits && mag <= 9223372036854775808ULL)
            {
              errno = 0;
              const long long v = std::strtoll (literal.c_str (), nullptr, 10);
              return octave_value (octave_int64 (v));
            }
        }
      return octave_value (std::strtod (literal.c_str (), nullptr));
    }

    static Cell column (const std::vector<octave_value>& items)
    {
      Cell c (dim_vector (items.size (), 1));
      for (std::size_t i = 0; i < items.size (); i++)
        c(i) = items[i];
      return c;
    }

    octave_value array (int depth)
    {
      pos++;
      std::vector<octave_value> items;
      if (! skip ())
        return octave_value ();
      if (! end () && at () == ']')
        {
          pos++;
          return octave_value (column (items));
        }
      for (;;)
        {
          if (! end () && at () == ']')
            {
              fail (scan_error::trailing_comma);
              return octave_value ();
            }
          items.push_back (value (depth + 1));
          if (! message.empty () || ! skip ())
            return octave_value ();
          if (! end () && at () == ',')
            {
              pos++;
              if (! skip ())
                return octave_value ();
              if (commas && ! end () && at () == ']')
                {
                  pos++;
                  break;
                }
              continue;
            }
          if (! end () && at () == ']')
            {
              pos++;
              break;
            }
          fail (scan_error::missing_array_separator);
          return octave_value ();
        }
      return octave_value (column (items));
    }

    octave_value object (int depth)
    {
      pos++;
      std::vector<octave_value> keys, values;
      if (! skip ())
        return octave_value ();
      if (end () || at () != '}')
        for (;;)
          {
            if (end () || at () != '"')
              {
                fail (! end () && at () == '}' ? scan_error::trailing_comma
                                               : scan_error::missing_key);
                return octave_value ();
              }
            std::string k;
            if (! string (k) || ! skip ())
              return octave_value ();
            if (end () || at () != ':')
              {
                fail (scan_error::missing_colon);
                return octave_value ();
              }
            pos++;
            if (! skip ())
              return octave_value ();
            octave_value v = value (depth + 1);
            if (! message.empty ())
              return octave_value ();
            keys.push_back (octave_value (k, '\''));
            values.push_back (v);
            if (! skip ())
              return octave_value ();
            if (! end () && at () == ',')
              {
                pos++;
                if (! skip ())
                  return octave_value ();
                if (commas && ! end () && at () == '}')
                  break;
                continue;
              }
            if (! end () && at () == '}')
              break;
            fail (scan_error::missing_object_separator);
            return octave_value ();
          }
      pos++;
      octave_scalar_map m;
      m.setfield ("keys", column (keys));
      m.setfield ("values", column (values));
      return octave_value (m);
    }
  };
}

static bool
is_double_scalar (const octave_value& v)
{
  return ledger::is_double_scalar (v);
}

// A, read with "Integers", is B read without: the same tree but where B
// has a double of an integer literal, A may have an int64 or uint64 of
// the same literal, whose nearest double is B's.
static bool
same_but_integers (const octave_value& a, const octave_value& b)
{
  if ((a.is_int64_type () || a.is_uint64_type ()) && is_double_scalar (b))
    {
      const double x = a.is_int64_type ()
                       ? static_cast<double> (a.int64_scalar_value ().value ())
                       : static_cast<double> (a.uint64_scalar_value ().value ());
      // -0 stays a double.
      const double y = b.double_value ();
      return x == y && ! (y == 0 && std::signbit (y));
    }
  if (a.class_name () != b.class_name () || a.dims () != b.dims ())
    return false;
  if (a.iscell () || (a.isstruct () && a.nfields () == 2))
    {
      const Cell ca = a.iscell () ? a.cell_value ()
                      : a.scalar_map_value ().contents ("values").cell_value ();
      const Cell cb = b.iscell () ? b.cell_value ()
                      : b.scalar_map_value ().contents ("values").cell_value ();
      if (a.isstruct ()
          && ! tree_check::same (a.scalar_map_value ().contents ("keys"),
                                 b.scalar_map_value ().contents ("keys")))
        return false;
      if (ca.numel () != cb.numel ())
        return false;
      for (octave_idx_type i = 0; i < ca.numel (); i++)
        if (! same_but_integers (ca(i), cb(i)))
          return false;
      return true;
    }
  return tree_check::same (a, b);
}

extern "C" int
LLVMFuzzerTestOneInput (const uint8_t *data, std::size_t size)
{
  if (size == 0)
    return 0;
  const unsigned options = data[0];
  const bool lines = options & 8;
  const std::string_view text (reinterpret_cast<const char *> (data + 1),
                               size - 1);

  ledger::settings allow;
  allow.comments = options & 1;
  allow.commas = options & 2;
  allow.infnan = options & 4;
  json_parser p (text, allow);
  const octave_value root = lines ? p.lines () : p.parse ();

  plain_reader ref (text, allow.comments, allow.commas, allow.infnan);
  const octave_value want = lines ? ref.lines () : ref.parse ();
  if (p.error_message () != ref.message)
    tree_check::fault ("another outcome than the plain reader's",
                       "\"" + p.error_message () + "\" instead of \"" + ref.message
                       + "\"");
  if (p.error_message ().empty () && ! tree_check::same (root, want))
    tree_check::fault ("another tree than the plain reader's", "");

  if (p.error_message ().empty ())
    {
      if (root.is_undefined ())
        tree_check::fault ("neither a tree nor a message", "");
      if (lines)
        {
          const Cell rows = root.cell_value ();
          for (octave_idx_type i = 0; i < rows.numel (); i++)
            tree_check::reader_kinds (rows(i), 0);
        }
      else
        tree_check::reader_kinds (root, 0);

      // More options never refuse or change a text that reads without them.
      ledger::settings every;
      every.comments = every.commas = every.infnan = true;
      json_parser all (text, every);
      const octave_value again = lines ? all.lines () : all.parse ();
      if (! all.error_message ().empty ())
        tree_check::fault ("refused with every option on", all.error_message ());
      if (! tree_check::same (root, again))
        tree_check::fault ("another tree with every option on", "");

      // "Integers" reads the same texts, changing only integer literals.
      ledger::settings integers = allow;
      integers.integers = true;
      json_parser whole (text, integers);
      const octave_value ints = lines ? whole.lines () : whole.parse ();
      if (! whole.error_message ().empty ())
        tree_check::fault ("refused with Integers", whole.error_message ());
      if (! same_but_integers (ints, root))
        tree_check::fault ("another tree than Integers may make", "");
    }
  else
    {
      if (root.is_defined ())
        tree_check::fault ("both a tree and a message", p.error_message ());
      check_message (p, text);
    }

  return 0;
}
