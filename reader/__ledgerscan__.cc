// __ledgerscan__: read JSON text into a tree of interpreter values that keeps
// the kind, order and digits of every JSON value.
//
// Copyright (C) 2026 ledgerkit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include <octave/oct.h>
#include <octave/oct-map.h>
#include <octave/ov-dld-fcn.h>
#include <octave/lo-ieee.h>
#include <octave/quit.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include "../core/portable.h"

// PKG_ADD: autoload ("__ledgerdecode__", "__ledgerscan__.oct");
// PKG_ADD: autoload ("__ledgerlines__", "__ledgerscan__.oct");
// PKG_ADD: autoload ("__ledgerload__", "__ledgerscan__.oct");
// PKG_ADD: autoload ("__ledgermessages__", "__ledgerscan__.oct");

// The reading options, named as loadledger and ledgerdecode name them.
struct read_options
{
  bool comments = false;        // "Comments": // and /* */ where blanks may be
  bool commas = false;          // "TrailingCommas": a comma before ] or }
  bool infnan = false;          // "InfNaN": NaN, Infinity and Inf
};

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
  count
};

static const char *const scan_error_text[] = {
  "comments are not allowed",
  "unterminated comment",
  "the text holds no value",
  "unexpected text after the value",
  "nesting too deep",
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
};

static_assert (sizeof (scan_error_text) / sizeof (*scan_error_text)
               == static_cast<std::size_t> (scan_error::count),
               "one text for each scan_error");

static const char *
text_of (scan_error code)
{
  return scan_error_text[static_cast<int> (code)];
}

// One parse: the borrowed text, the cursor, the options and the first error.
// The rest is scratch shared by the whole call so that reading a container
// allocates only the node it returns; what a tiny text never needs (the
// null node, the shared empty containers, the field list of an object) is
// made on first use.
class json_parser
{
public:
  static constexpr int max_depth = 64;
  // Integers beyond this magnitude are kept as int64 or uint64.
  static constexpr uint64_t two53 = uint64_t (1) << 53;

  json_parser (std::string_view document, const read_options& options)
    : source (document), allow (options)
  { }

  // The outcome, for the entries and the fuzz harnesses: the first fault's
  // message (empty while none), its code and place, and the cursor.
  const std::string& error_message () const { return message; }
  scan_error error_code () const { return code; }
  std::size_t error_line () const { return fault_line; }
  std::size_t error_column () const { return fault_column; }
  std::size_t cursor () const { return pos; }

  // A fault of the file, not of its text: no code and no place.
  void refuse (const std::string& why) { message = why; }

private:
  std::string_view source;
  std::size_t pos = 0;
  read_options allow;
  std::string message;
  scan_error code = scan_error::count;
  std::size_t fault_line = 0;
  std::size_t fault_column = 0;

  // Members of the containers being read, innermost last; a finished
  // container takes its slice off the top.
  std::vector<octave_value> stack;
  // Decoded bytes of the text being read when it holds escapes.
  std::string scratch;
  // One host value per distinct short key: repeated keys share it.  The
  // first few keys of a text are not looked up, so that a small text pays
  // nothing for the table.
  std::unordered_map<std::string, octave_value> keys_seen;
  std::size_t keys_read = 0;
  octave_fields object_fields;
  // Values are copy-on-write: one null, one {} and one [] serve the call.
  octave_value null_node;
  octave_value no_members;
  octave_value no_elements;
  // Values (or escapes, comments, lines) left before Ctrl-C is looked at.
  int countdown = values_per_check;

  static constexpr std::size_t key_cache_limit = 4096;
  static constexpr std::size_t key_cache_length = 64;
  static constexpr std::size_t key_cache_after = 16;
  static constexpr int values_per_check = 4096;
  static constexpr std::size_t bytes_per_check = std::size_t (1) << 20;

  static const char *const *field_names ()
  {
    static const char *const names[] = { "keys", "values", nullptr };
    return names;
  }

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
  octave_value parse ()
  {
    if (! start ())
      return octave_value ();
    if (! skip_space ())
      return octave_value ();
    if (at_end ())
      {
        fail (scan_error::no_value);
        return octave_value ();
      }
    return last_value ();
  }

  // A value and the blanks after it, which must end the text.
  octave_value last_value ()
  {
    octave_value root = value (0);
    if (! message.empty () || ! skip_space ())
      return octave_value ();
    if (! at_end ())
      {
        fail (scan_error::text_after_value);
        return octave_value ();
      }
    return root;
  }

  // JSON Lines: each line holds one value or nothing but blanks (and
  // comments, where allowed); the values as a column cell.  The text is cut
  // short at the end of each line in turn, so that a line is read as a text
  // of its own while the cursor keeps its place in the whole text.
  octave_value lines ()
  {
    const std::string_view all = source;
    if (! start ())
      return octave_value ();
    std::size_t from = 0;
    while (from <= all.size ())
      {
        tick ();
        std::size_t end = all.find ('\n', from);
        if (end == std::string_view::npos)
          end = all.size ();
        source = all.substr (0, end);
        if (! skip_space ())
          return drop (0);
        if (! at_end ())
          {
            octave_value root = last_value ();
            if (! message.empty ())
              return drop (0);
            stack.push_back (std::move (root));
          }
        from = end + 1;
        pos = from;
      }
    source = all;
    return octave_value (column (0, 1));
  }

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

  // The number of bytes of the character at I, as an editor shows it: a
  // well-formed UTF-8 sequence is one character, any other byte one of its
  // own (a stray continuation byte, a lead byte cut short).
  static std::size_t char_size (std::string_view text, std::size_t i)
  {
    const unsigned char b = text[i];
    if (b < 0xC2 || b > 0xF4)
      return 1;
    const std::size_t size = b < 0xE0 ? 2 : b < 0xF0 ? 3 : 4;
    // The second byte's range excludes overlong forms and surrogates.
    const unsigned char low = b == 0xE0 ? 0xA0 : b == 0xF0 ? 0x90 : 0x80;
    const unsigned char high = b == 0xED ? 0x9F : b == 0xF4 ? 0x8F : 0xBF;
    if (text.size () - i < size)
      return 1;
    const unsigned char second = text[i+1];
    if (second < low || second > high)
      return 1;
    for (std::size_t k = 2; k < size; k++)
      if ((static_cast<unsigned char> (text[i+k]) & 0xC0) != 0x80)
        return 1;
    return size;
  }

  // Line and column of POS: lines counted by line feeds, columns in
  // characters from the line's start; a character that POS falls inside
  // is the one named.
  void place (std::size_t& line, std::size_t& column) const
  {
    const char *b = source.data ();
    line = 1;
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
    column = 1;
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

  octave_value value (int depth)
  {
    if (depth > max_depth)
      {
        fail (scan_error::too_deep);
        return octave_value ();
      }
    if (at_end ())
      {
        fail (scan_error::unexpected_end);
        return octave_value ();
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
        return octave_value (true);
      }
    if (starts_with ("false"))
      {
        pos += 5;
        return octave_value (false);
      }
    if (starts_with ("null"))
      {
        pos += 4;
        if (null_node.is_undefined ())
          null_node = octave_map (dim_vector (0, 0));
        return null_node;
      }
    unsigned char b = byte ();
    if (b == '-' || is_digit (b) || b == 'N' || b == 'I')
      return number ();
    fail (scan_error::invalid_value);
    return octave_value ();
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

  static octave_value char_row (const char *bytes, std::size_t n)
  {
    if (n == 0)
      return octave_value (std::string (), '\'');
    charNDArray row (dim_vector (1, n));
    // A long text is copied a stretch at a time, looking at Ctrl-C between.
    char *to = row.fortran_vec ();
    for (std::size_t done = 0; done < n; done += bytes_per_check)
      {
        if (done)
          octave_quit ();
        std::memcpy (to + done, bytes + done,
                     std::min (bytes_per_check, n - done));
      }
    return octave_value (row, '\'');
  }

  // A text value; one without escapes is made straight from the source.
  octave_value string_node ()
  {
    std::size_t run = plain_run (pos + 1);
    if (run < source.size () && source[run] == '"')
      {
        octave_value node = char_row (source.data () + pos + 1, run - pos - 1);
        pos = run + 1;
        return node;
      }
    scratch.clear ();
    if (! string_value (scratch))
      return octave_value ();
    return char_row (scratch.data (), scratch.size ());
  }

  // A member name; short names are made once per call and shared.
  octave_value key_node ()
  {
    scratch.clear ();
    if (! string_value (scratch))
      return octave_value ();
    if (scratch.size () > key_cache_length || keys_read++ < key_cache_after)
      return char_row (scratch.data (), scratch.size ());
    auto hit = keys_seen.find (scratch);
    if (hit != keys_seen.end ())
      return hit->second;
    octave_value node = char_row (scratch.data (), scratch.size ());
    if (keys_seen.size () < key_cache_limit)
      keys_seen.emplace (scratch, node);
    return node;
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

  octave_value number ()
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
            return octave_value (lo_ieee_nan_value ());
          }
        std::size_t word = starts_with ("Infinity") ? 8
                           : starts_with ("Inf") ? 3 : 0;
        if (word)
          {
            pos += word;
            double inf = lo_ieee_inf_value ();
            return octave_value (negative ? -inf : inf);
          }
      }
    if (at_end () || ! is_digit (byte ()))
      {
        pos = start;
        fail (scan_error::invalid_value);
        return octave_value ();
      }
    if (byte () == '0' && pos + 1 < source.size ()
        && is_digit (source[pos+1]))
      {
        pos = start;
        fail (scan_error::invalid_number);
        return octave_value ();
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
          return octave_value ();
      }
    if (! at_end () && (byte () == 'e' || byte () == 'E'))
      {
        integer = false;
        pos++;
        if (! at_end () && (byte () == '+' || byte () == '-'))
          pos++;
        if (! more_digits ())
          return octave_value ();
      }
    if (integer && digits <= 15)
      return octave_value (small_integer (digits_start, negative));
    double d = to_double (start);
    if (integer && std::fabs (d) >= static_cast<double> (two53))
      return big_integer (start, negative, d);
    return octave_value (d);
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

  // The correctly rounded double of the literal from START to POS; beyond
  // the double range an infinity of its sign, below it zero or a subnormal.
  double to_double (std::size_t start) const
  {
    return ledgerkit::to_double (source.data () + start, source.data () + pos);
  }

  // An integer literal of magnitude 2^53 or more: exact when a 64-bit
  // integer holds it and a double would not be enough.
  octave_value big_integer (std::size_t start, bool negative, double d) const
  {
    const char *first = source.data () + start;
    const char *last = source.data () + pos;
    if (negative)
      {
        long long v;
        std::from_chars_result r = std::from_chars (first, last, v);
        if (r.ec != std::errc () || v >= -static_cast<long long> (two53))
          return octave_value (d);
        return octave_value (octave_int64 (static_cast<int64_t> (v)));
      }
    unsigned long long v;
    std::from_chars_result r = std::from_chars (first, last, v);
    if (r.ec != std::errc () || v <= two53)
      return octave_value (d);
    return octave_value (octave_uint64 (static_cast<uint64_t> (v)));
  }

  // ---- containers ---------------------------------------------------------

  octave_value array (int depth)
  {
    pos++;
    const std::size_t base = stack.size ();
    if (! skip_space ())
      return octave_value ();
    if (! at_end () && byte () == ']')
      {
        pos++;
        if (no_elements.is_undefined ())
          no_elements = Cell (dim_vector (0, 1));
        return no_elements;
      }
    for (;;)
      {
        if (! at_end () && byte () == ']')
          return drop (base, scan_error::trailing_comma);
        octave_value element = value (depth + 1);
        if (! message.empty ())
          return drop (base);
        stack.push_back (std::move (element));
        const member_end next
          = after_member (']', scan_error::missing_array_separator);
        if (next == member_end::fault)
          return drop (base);
        if (next == member_end::closed)
          break;
      }
    return octave_value (column (base, 1));
  }

  octave_value object (int depth)
  {
    pos++;
    const std::size_t base = stack.size ();
    if (! skip_space ())
      return octave_value ();
    if (! at_end () && byte () == '}')
      {
        pos++;
        if (no_members.is_undefined ())
          no_members = make_object (base);
        return no_members;
      }
    for (;;)
      {
        if (at_end ())
          return drop (base, scan_error::missing_key);
        if (byte () != '"')
          return drop (base, byte () == '}' ? scan_error::trailing_comma
                                            : scan_error::missing_key);
        octave_value key = key_node ();
        if (! message.empty () || ! skip_space ())
          return drop (base);
        if (at_end () || byte () != ':')
          return drop (base, scan_error::missing_colon);
        pos++;
        if (! skip_space ())
          return drop (base);
        octave_value member = value (depth + 1);
        if (! message.empty ())
          return drop (base);
        stack.push_back (std::move (key));
        stack.push_back (std::move (member));
        const member_end next
          = after_member ('}', scan_error::missing_object_separator);
        if (next == member_end::fault)
          return drop (base);
        if (next == member_end::closed)
          break;
      }
    return make_object (base);
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
  octave_value drop (std::size_t base)
  {
    stack.resize (base);
    return octave_value ();
  }

  // The same after recording WHY.
  octave_value drop (std::size_t base, scan_error why)
  {
    fail (why);
    return drop (base);
  }

  // Every STRIDE-th value of the stack from BASE + OFFSET, as a column
  // cell; the caller releases the slice.
  Cell column (std::size_t base, std::size_t stride, std::size_t offset = 0)
  {
    const std::size_t n = (stack.size () - base) / stride;
    // The members are moved in by the cell allocation rule
    // (core/portable.h): where the interpreter allows, into raw storage of
    // the cell's own allocator, which the cell then owns.
    Cell c = ledgerkit::cell_of_size (
      dim_vector (n, 1), [&] (octave_idx_type i) -> octave_value&&
      { return std::move (stack[base + offset + i * stride]); });
    if (offset + 1 == stride)
      stack.resize (base);
    return c;
  }

  // The keys and values on the stack from BASE, interleaved, as an object.
  octave_value make_object (std::size_t base)
  {
    if (object_fields.nfields () == 0)
      object_fields = octave_fields (field_names ());
    octave_scalar_map m (object_fields);
    m.contents (0) = column (base, 2, 0);
    m.contents (1) = column (base, 2, 1);
    return octave_value (m);
  }

  // ---- files --------------------------------------------------------------

public:
  // Bytes that the allocator of the C library owns, grown in place.
  typedef std::unique_ptr<char, void (*) (void *)> byte_buffer;

  // A text may take half of the memory: its tree needs room of its own.
  static std::size_t text_limit ()
  {
    const long pages = sysconf (_SC_PHYS_PAGES);
    const long page = sysconf (_SC_PAGESIZE);
    if (pages <= 0 || page <= 0)
      return SIZE_MAX / 2;
    return static_cast<std::size_t> (pages) / 2 * page;
  }

  // The name as a message shows it: a NUL byte written \0.
  static std::string shown_name (const std::string& name)
  {
    std::string shown;
    for (char c : name)
      if (c)
        shown += c;
      else
        shown += "\\0";
    return shown;
  }

  // Read the file NAME whole into TEXT (SIZE bytes).  Returns the fault
  // with the system's reason, or an empty text.  A regular file is read up
  // to its end, a pipe or a file whose size the system does not give (as
  // under /proc) up to the end or the limit; a device is refused.  With
  // STOP_AT_NUL, reading such a stream stops after a NUL byte: no JSON text
  // holds one outside a comment, so the rest could not change the outcome.
  static std::string read_file (const std::string& name, bool stop_at_nul,
                                byte_buffer& text, std::size_t& size)
  {
    const std::string opening = "unable to open the file '"
                                + shown_name (name) + "' for reading (";
    if (name.find ('\0') != std::string::npos)
      return opening + "a file name cannot hold a NUL byte).";
    int fd;
    while ((fd = ::open (name.c_str (), O_RDONLY | O_NONBLOCK | O_NOCTTY
                                        | O_CLOEXEC)) < 0
           && errno == EINTR)
      octave_quit ();
    if (fd < 0)
      return opening + std::strerror (errno) + ").";
    std::string fault;
    bool refused = false;
    try
      {
        fault = read_open (fd, stop_at_nul, text, size, refused);
      }
    catch (...)
      {
        ::close (fd);
        throw;
      }
    ::close (fd);
    if (fault.empty ())
      return fault;
    if (refused)
      return opening + fault + ").";
    return "unable to read the file '" + shown_name (name) + "' (" + fault
           + ").";
  }

  // The reading itself; REFUSED tells a file that is not read at all.
  static std::string read_open (int fd, bool stop_at_nul, byte_buffer& text,
                                std::size_t& size, bool& refused)
  {
    struct stat st;
    if (fstat (fd, &st) != 0)
      return std::strerror (errno);
    const bool pipe = S_ISFIFO (st.st_mode);
    refused = ! pipe && ! S_ISREG (st.st_mode);
    if (S_ISDIR (st.st_mode))
      return std::strerror (EISDIR);
    if (refused)
      return "a device, not a file";
    const std::size_t limit = text_limit ();
    const char *too_large = "larger than half of the memory";
    if (static_cast<uint64_t> (st.st_size) > limit)
      return too_large;
    const bool stream = pipe || st.st_size == 0;
    // One byte more than the size, to see the end (or that the file grew).
    std::size_t capacity = stream ? bytes_per_check : st.st_size + 1;
    size = 0;
    text.reset (static_cast<char *> (std::malloc (capacity)));
    if (! text)
      return "out of memory";
    for (;;)
      {
        if (size == capacity)
          {
            if (capacity >= limit)
              return too_large;
            capacity = std::min (limit, 2 * capacity);
            char *more = static_cast<char *> (std::realloc (text.get (),
                                                            capacity));
            if (! more)
              return "out of memory";
            text.release ();
            text.reset (more);
          }
        if (pipe)
          wait_readable (fd);
        const ssize_t got = ::read (fd, text.get () + size,
                                    std::min (capacity - size,
                                              bytes_per_check));
        if (got == 0)
          return "";
        if (got < 0)
          {
            if (errno != EINTR && errno != EAGAIN)
              return std::strerror (errno);
          }
        else
          {
            const void *nul = stream && stop_at_nul
                              ? std::memchr (text.get () + size, 0, got)
                              : nullptr;
            if (nul)
              {
                size = static_cast<const char *> (nul) - text.get () + 1;
                return "";
              }
            size += got;
          }
        octave_quit ();
      }
  }

  // A pipe: wait for bytes or its end, looking at Ctrl-C 20 times a second.
  static void wait_readable (int fd)
  {
    for (;;)
      {
        pollfd want = { fd, POLLIN, 0 };
        if (::poll (&want, 1, 50) > 0)
          return;
        octave_quit ();
      }
  }
};

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

// The options COMMENTS, COMMAS and INFNAN, the arguments after the first.
static read_options
options_of (const octave_value_list& args)
{
  read_options options;
  options.comments = args(1).bool_value ();
  options.commas = args(2).bool_value ();
  options.infnan = args(3).bool_value ();
  return options;
}

// The line and column of a fault in the text as a 1-by-2 row, or an empty
// matrix when there is none.
static octave_value
place_of (const json_parser& parser)
{
  if (parser.error_line () == 0)
    return Matrix ();
  Matrix place (1, 2);
  place(0) = parser.error_line ();
  place(1) = parser.error_column ();
  return place;
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
                      options_of (args));
  const octave_value root = lines ? parser.lines () : parser.parse ();
  return read_results (parser, root, nargout);
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
  "  @deftypefn {ledgerkit} {[@var{tree}, @var{errmsg}] =} __ledgerdecode__ "
  "(@var{args})\n"
  "\n"
  "\n"
  "Parse the text as @qcode{__ledgerscan__} does with every option off, "
  "when the cell @var{args}, the arguments of a call of "
  "@qcode{ledgerdecode}, holds a character row and nothing else: the "
  "common call, read with no checks in the host language.  Any other call "
  "is not read: @var{tree} is empty and @var{errmsg} is true, and the "
  "caller checks the call itself.\n"
  "\n"
  "This is a helper IO function for the @qcode{ledgerdecode} function.  "
  "Do NOT call it directly.\n"
  "\n"
  "@end deftypefn")
{
  if (args.length () != 1 || ! args(0).iscell ())
    error ("__ledgerdecode__: ARGS must be a cell array.");
  const Cell call = args(0).cell_value ();
  if (call.numel () != 1 || ! call(0).is_string () || call(0).rows () > 1
      || call(0).ndims () != 2)
    return octave_value_list ({ Matrix (), octave_value (true) });
  const charNDArray chars = call(0).char_array_value ();
  json_parser parser (std::string_view (chars.data (), chars.numel ()),
                      read_options ());
  const octave_value root = parser.parse ();
  return read_results (parser, root, nargout);
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
  "This is a helper IO function for the @qcode{ledgerdecode} function.  "
  "Do NOT call it directly.\n"
  "\n"
  "@end deftypefn")
{
  return read_text (args, nargout, true,
                    "__ledgerlines__: four input arguments are required.",
                    "__ledgerlines__: TEXT must be a character vector.");
}

DEFUN_DLD (__ledgerload__, args, nargout,
  "-*- texinfo -*-\n"
  "  @deftypefn {ledgerkit} {[@var{tree}, @var{errmsg}, @var{id}, "
  "@var{where}] =} __ledgerload__ (@var{file}, @var{comments}, @var{commas}, "
  "@var{infnan}, @var{lines})\n"
  "\n"
  "\n"
  "Read the file @var{file} and parse it as @qcode{__ledgerscan__} does, or "
  "as @qcode{__ledgerlines__} does when @var{lines} is true.\n"
  "\n"
  "On a fault @var{tree} is empty, @var{errmsg} holds the message and "
  "@var{id} its identifier: @qcode{\"ledgerkit:io\"} when the file cannot "
  "be read, with the system's reason, or @qcode{\"ledgerkit:parse\"} for a "
  "fault in the text, with its line and column, which @var{where} gives "
  "as the row [@var{line}, @var{column}] (empty for any other outcome).\n"
  "\n"
  "This is a helper IO function for the @qcode{loadledger} function.  "
  "Do NOT call it directly.\n"
  "\n"
  "@end deftypefn")
{
  if (args.length () != 5)
    error ("__ledgerload__: five input arguments are required.");
  const octave_value& arg = args(0);
  if (! is_char_vector (arg))
    error ("__ledgerload__: FILE must be a character vector.");
  const charNDArray chars = arg.char_array_value ();
  const std::string name (chars.data (), chars.numel ());
  const read_options options = options_of (args);
  const bool lines = args(4).bool_value ();

  json_parser::byte_buffer text (nullptr, std::free);
  std::size_t size = 0;
  const std::string fault = json_parser::read_file (name, ! options.comments,
                                                    text, size);
  json_parser parser (std::string_view (text.get (), size), options);
  octave_value root;
  if (fault.empty ())
    root = lines ? parser.lines () : parser.parse ();
  else
    parser.refuse (fault);
  text.reset ();

  octave_value_list result = read_results (parser, root, nargout);
  if (nargout >= 3)
    result(2) = octave_value (parser.error_message ().empty () ? ""
                              : fault.empty () ? "ledgerkit:parse"
                              : "ledgerkit:io", '\'');
  if (nargout >= 4)
    result(3) = place_of (parser);
  return result;
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
%! assert (scanmsg (nest ("[", "]", 65, "[]")), "nesting too deep at line 1, column 66.");
%! assert (numel (scan (nest ("[", "]", 64, "[]"))), 1);
%! [t, m] = scan (nest ("[", "]", 64, "1"));
%! assert (m, "");
%! assert (scanmsg (nest ("[", "]", 65, "1")), "nesting too deep at line 1, column 66.");
%! o = '{"k":';
%! assert (isstruct (scan (nest (o, "}", 64, "{}"))));
%! assert (isstruct (scan (nest (o, "}", 64, "1"))));
%! assert (scanmsg (nest (o, "}", 65, "1")), "nesting too deep at line 1, column 326.");
%! assert (scanmsg (nest (o, "}", 64, "[[]]")), "nesting too deep at line 1, column 322.");
%! ## Mixtures count alike.
%! assert (iscell (scan (nest ('[{"k":', "}]", 32, "[]"))));
%! assert (scanmsg (nest ('[{"k":', "}]", 32, "[[]]")), "nesting too deep at line 1, column 194.");
%! ## The depth test comes before the end test, and stops a million brackets at once.
%! assert (scanmsg (repmat ("[", 1, 65)), "nesting too deep at line 1, column 66.");
%! assert (scanmsg (repmat ("[", 1, 1e6)), "nesting too deep at line 1, column 66.");

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
