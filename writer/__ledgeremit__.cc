// __ledgeremit__: write a tree of interpreter values to a file as JSON, with
// every double in the fewest digits that read back as the same double.
//
// Copyright (C) 2026 ledgerkit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include <octave/oct.h>
#include <octave/oct-map.h>
#include <octave/ov-dld-fcn.h>

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <type_traits>
#include <vector>

static const char *const emit_help =
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
  "@end deftypefn";

class json_writer
{
public:
  std::string output;
  bool pretty;
  bool preserve;

  // An object or array that is open: its members are written one by one
  // from the loop in value, so that the depth of a tree costs heap, not
  // call stack.
  struct frame
  {
    Cell keys;
    Cell items;
    octave_idx_type next;
    octave_idx_type count;
    int depth;
    bool is_object;
  };
  std::vector<frame> stack;

  json_writer (bool pretty_arg, bool preserve_arg)
    : output (), pretty (pretty_arg), preserve (preserve_arg), stack ()
  { }

  // Writes V and everything below it.
  void value (const octave_value& v, int depth)
  {
    const std::size_t base = stack.size ();
    node (v, depth);
    while (stack.size () > base)
      {
        frame& top = stack.back ();
        if (top.next == top.count)
          {
            close (top.depth, top.is_object ? '}' : ']');
            stack.pop_back ();
            continue;
          }
        const octave_idx_type i = top.next++;
        const frame& f = top;
        member (i, f.depth);
        if (f.is_object)
          {
            key (f.keys(i));
            output += pretty ? ": " : ":";
          }
        // A copy of the handle: node may grow the stack and move F.
        const octave_value item = f.items(i);
        node (item, f.depth + 1);
      }
  }

  // Writes a leaf, or opens a container on the stack.
  void node (const octave_value& v, int depth)
  {
    if (v.isstruct ())
      structure (v, depth);
    else if (v.iscell ())
      array (v.cell_value (), depth);
    else if (v.is_string ())
      characters (v);
    else if (v.numel () == 1)
      scalar (v);
    else
      numbers (v, depth);
  }

  void structure (const octave_value& v, int depth)
  {
    octave_value keys_field, values_field;
    if (v.numel () == 1)
      {
        // A scalar structure is read in place, not as a structure array.
        const octave_scalar_map m = v.scalar_map_value ();
        if (m.nfields () == 0)
          {
            output += "null";
            return;
          }
        keys_field = m.getfield ("keys");
        values_field = m.getfield ("values");
      }
    else
      {
        const octave_map m = v.map_value ();
        if (m.nfields () == 0)
          {
            output += "null";
            return;
          }
        if (m.numel () == 0)
          error ("__ledgeremit__: a structure array with fields but no "
                 "elements cannot be written.");
        const Cell k = m.getfield ("keys");
        const Cell x = m.getfield ("values");
        if (k.numel () > 0)
          keys_field = k(0);
        if (x.numel () > 0)
          values_field = x(0);
      }
    if (keys_field.is_undefined () || values_field.is_undefined ())
      error ("__ledgeremit__: an object needs the fields 'keys' and "
             "'values'.");
    object (keys_field.cell_value (), values_field.cell_value (), depth);
  }

  void object (const Cell& keys, const Cell& values, int depth)
  {
    const octave_idx_type n = keys.numel ();
    if (values.numel () < n)
      error ("__ledgeremit__: an object has fewer values than keys.");
    open (keys, values, n, depth, true);
  }

  void array (const Cell& items, int depth)
  {
    open (Cell (), items, items.numel (), depth, false);
  }

  void open (const Cell& keys, const Cell& items, octave_idx_type n,
             int depth, bool is_object)
  {
    if (n == 0)
      {
        output += is_object ? "{}" : "[]";
        return;
      }
    output += is_object ? '{' : '[';
    stack.push_back (frame {keys, items, 0, n, depth, is_object});
  }

  // The separator and line start before member I of a container at DEPTH.
  void member (octave_idx_type i, int depth)
  {
    if (i > 0)
      output += ',';
    if (pretty)
      {
        output += '\n';
        output.append (4 * (static_cast<std::size_t> (depth) + 1), ' ');
      }
  }

  void close (int depth, char bracket)
  {
    if (pretty)
      {
        output += '\n';
        output.append (4 * static_cast<std::size_t> (depth), ' ');
      }
    output += bracket;
  }

  // A value of other than one element, as a flat array.  The common classes
  // are read straight from their arrays; the text is the same as indexing
  // element by element, which every other class still does.
  void numbers (const octave_value& v, int depth)
  {
    const octave_idx_type n = v.numel ();
    if (n == 0)
      {
        output += "[]";
        return;
      }
    output += '[';
    const builtin_type_t type = v.issparse () ? btyp_unknown
                                               : v.builtin_type ();
    switch (type)
      {
      case btyp_double:
        doubles (v.array_value (), depth);
        break;
      case btyp_float:
        doubles (v.float_array_value (), depth);
        break;
      case btyp_bool:
        {
          const boolNDArray a = v.bool_array_value ();
          for (octave_idx_type i = 0; i < n; i++)
            {
              member (i, depth);
              output += a.xelem (i) ? "true" : "false";
            }
        }
        break;
      case btyp_int8: integers (v.int8_array_value (), depth); break;
      case btyp_int16: integers (v.int16_array_value (), depth); break;
      case btyp_int32: integers (v.int32_array_value (), depth); break;
      case btyp_int64: integers (v.int64_array_value (), depth); break;
      case btyp_uint8: integers (v.uint8_array_value (), depth); break;
      case btyp_uint16: integers (v.uint16_array_value (), depth); break;
      case btyp_uint32: integers (v.uint32_array_value (), depth); break;
      case btyp_uint64: integers (v.uint64_array_value (), depth); break;
      default:
        {
          // Indexing needs a handle of its own; it shares the caller's data.
          octave_value whole = v;
          for (octave_idx_type i = 0; i < n; i++)
            {
              member (i, depth);
              const octave_value_list index (octave_value (i + 1));
              scalar (whole.index_op (index));
            }
        }
        break;
      }
    close (depth, ']');
  }

  template <typename A>
  void doubles (const A& a, int depth)
  {
    const octave_idx_type n = a.numel ();
    for (octave_idx_type i = 0; i < n; i++)
      {
        member (i, depth);
        floating (static_cast<double> (a.xelem (i)));
      }
  }

  template <typename A>
  void integers (const A& a, int depth)
  {
    const octave_idx_type n = a.numel ();
    for (octave_idx_type i = 0; i < n; i++)
      {
        member (i, depth);
        char buf[32];
        const auto x = a.xelem (i).value ();
        char *end;
        if constexpr (std::is_signed_v<decltype (x)>)
          end = digits (buf, static_cast<long long> (x));
        else
          end = digits (buf, static_cast<unsigned long long> (x));
        output.append (buf, end - buf);
      }
  }

  // One value of one element: a logical, an integer or a double.
  void scalar (const octave_value& v)
  {
    if (v.islogical ())
      output += v.bool_value () ? "true" : "false";
    else if (v.isinteger ())
      output += integer (v);
    else
      floating (real_value (v));
  }

  void floating (double x)
  {
    if (std::isnan (x))
      output += preserve ? "NaN" : "null";
    else if (std::isinf (x))
      output += ! preserve ? "null" : x > 0 ? "Infinity" : "-Infinity";
    else
      {
        char buf[40];
        output.append (buf, shortest_chars (buf, x, true));
      }
  }

  // An object key, always a JSON string.
  void key (const octave_value& v)
  {
    if (v.is_string ())
      characters (v);
    else if (v.islogical ())
      text (v.bool_value () ? "true" : "false");
    else if (v.isinteger ())
      text (integer (v));
    else
      text (shortest (real_value (v), false));
  }

  // The double of a value; a complex value must not lose its imaginary
  // part on the way.
  static double real_value (const octave_value& v)
  {
    if (v.iscomplex ())
      {
        const Complex c = v.complex_value ();
        if (c.imag () != 0)
          error ("__ledgeremit__: a complex value with a non-zero imaginary "
                 "part cannot be written.");
        return c.real ();
      }
    return v.double_value ();
  }

  static std::string integer (const octave_value& v)
  {
    char buf[32];
    char *end;
    if (v.is_uint64_type ())
      end = digits (buf, static_cast<unsigned long long> (v.uint64_value ()));
    else if (v.is_int64_type ())
      end = digits (buf, static_cast<long long> (v.int64_value ()));
    else if (v.is_uint32_type () || v.is_uint16_type () || v.is_uint8_type ())
      end = digits (buf, static_cast<unsigned long long> (v.uint_value ()));
    else
      end = digits (buf, static_cast<long long> (v.int_value ()));
    return std::string (buf, end - buf);
  }

  // Plain decimal digits, "-" in front of a negative number.
  template <typename T>
  static char * digits (char *buf, T x)
  {
    return std::to_chars (buf, buf + 32, x).ptr;
  }

  static std::string shortest (double x, bool point)
  {
    char buf[40];
    return std::string (buf, shortest_chars (buf, x, point));
  }

  // The text of X into BUF (40 bytes); returns its length.  The digits are
  // those of the correctly rounded scientific form at the smallest precision
  // that reads back as X.  No precision below the shortest round-trip digit
  // count reads back, so the search starts there.  The shortest digits are
  // the nearest of their length to X, so they are the correctly rounded
  // ones whenever the doubles around X are evenly spaced; only at a power
  // of two, where the gap below is half the gap above, can the correctly
  // rounded digits of that length fall outside and need more digits.
  static std::size_t shortest_chars (char *buf, double x, bool point)
  {
    if (std::isnan (x))
      return put (buf, "NaN");
    if (std::isinf (x))
      return put (buf, x > 0 ? "Inf" : "-Inf");
    char *p = buf;
    if (std::signbit (x))
      *p++ = '-';
    const double m = std::fabs (x);
    if (m == 0)
      return p - buf + put (p, point ? "0.0" : "0");

    char sci[32];
    char *sci_end
      = std::to_chars (sci, sci + sizeof sci, m,
                       std::chars_format::scientific).ptr;
    if (lopsided (m))
      sci_end = round_back (sci, sci_end, m);
    return p - buf + layout (p, sci, sci_end, point);
  }

  // True when the gap to the next double below M is narrower than the gap
  // above: M is a power of two above the smallest normal.
  static bool lopsided (double m)
  {
    std::uint64_t bits;
    std::memcpy (&bits, &m, sizeof bits);
    return (bits & 0xfffffffffffffULL) == 0 && (bits >> 52) > 1;
  }

  // The correctly rounded text of M at the fewest digits, from the count of
  // the shortest text S up, that reads back as M; written over S.
  static char * round_back (char *s, char *end, double m)
  {
    const char *e = static_cast<const char *> (std::memchr (s, 'e',
                                                            end - s));
    const int least = e - s > 1 ? e - s - 1 : 1;
    char t[32];
    char *t_end = t;
    for (int k = least; k <= 17; k++)
      {
        t_end = std::to_chars (t, t + sizeof t, m,
                               std::chars_format::scientific, k - 1).ptr;
        if (reads_back (t, t_end, m))
          break;
      }
    std::memcpy (s, t, t_end - t);
    return s + (t_end - t);
  }

  static std::size_t put (char *buf, const char *s)
  {
    const std::size_t n = std::strlen (s);
    std::memcpy (buf, s, n);
    return n;
  }

  static bool reads_back (const char *s, const char *end, double m)
  {
    double back = 0;
    if (std::from_chars (s, end, back).ec == std::errc ())
      return back == m;
    // Out of the range of doubles: the platform reading decides.
    const std::string copy (s, end);
    return std::strtod (copy.c_str (), nullptr) == m;
  }

  // Lays out the digits and exponent of the scientific text S: positional
  // for exponents from -6 to 20, exponent form outside.
  static std::size_t layout (char *out, const char *s, const char *end,
                             bool point)
  {
    const char *e = static_cast<const char *> (std::memchr (s, 'e',
                                                            end - s));
    char d[20];
    int n = 0;
    for (const char *q = s; q < e; q++)
      if (*q != '.')
        d[n++] = *q;
    while (n > 1 && d[n-1] == '0')
      n--;
    int E = 0;
    std::from_chars (e + 1 + (e[1] == '+'), end, E);

    char *p = out;
    if (E >= 0 && E <= 20)
      {
        if (n <= E + 1)
          {
            p = copy (p, d, n);
            p = fill (p, '0', E + 1 - n);
            if (point)
              p = copy (p, ".0", 2);
          }
        else
          {
            p = copy (p, d, E + 1);
            *p++ = '.';
            p = copy (p, d + E + 1, n - E - 1);
          }
      }
    else if (E >= -6 && E <= -1)
      {
        p = copy (p, "0.", 2);
        p = fill (p, '0', -E - 1);
        p = copy (p, d, n);
      }
    else
      {
        *p++ = d[0];
        if (n > 1)
          {
            *p++ = '.';
            p = copy (p, d + 1, n - 1);
          }
        *p++ = 'e';
        p = std::to_chars (p, p + 8, E).ptr;
      }
    return p - out;
  }

  static char * copy (char *p, const char *s, int n)
  {
    std::memcpy (p, s, n);
    return p + n;
  }

  static char * fill (char *p, char c, int n)
  {
    std::memset (p, c, n);
    return p + n;
  }

  // A character array as one string literal.  Its bytes are read in place;
  // an array of several rows is not one text, and its string value would
  // keep only the first row.
  void characters (const octave_value& v)
  {
    const dim_vector dv = v.dims ();
    if (dv.ndims () > 2 || dv(0) > 1)
      error ("__ledgeremit__: a character array of more than one row cannot "
             "be written as text.");
    const charNDArray a = v.char_array_value ();
    text (a.data (), a.numel ());
  }

  void text (const std::string& s)
  {
    text (s.data (), s.size ());
  }

  // Runs of bytes that need no escape are appended in one piece.
  void text (const char *s, std::size_t n)
  {
    output += '"';
    std::size_t run = 0;
    for (std::size_t i = 0; i < n; i++)
      {
        const unsigned char b = s[i];
        if (b >= 0x20 && b != '"' && b != '\\')
          continue;
        output.append (s + run, i - run);
        escape (b);
        run = i + 1;
      }
    output.append (s + run, n - run);
    output += '"';
  }

  void escape (unsigned char b)
  {
    switch (b)
      {
      case '\b': output += "\\b"; break;
      case '\t': output += "\\t"; break;
      case '\n': output += "\\n"; break;
      case '\f': output += "\\f"; break;
      case '\r': output += "\\r"; break;
      case '"': output += "\\\""; break;
      case '\\': output += "\\\\"; break;
      default:
        {
          static const char hex[] = "0123456789abcdef";
          const char u[6] = {'\\', 'u', '0', '0', hex[b >> 4], hex[b & 15]};
          output.append (u, 6);
        }
        break;
      }
  }
};

octave_value_list
F__ledgeremit__ (const octave_value_list& args, int nargout)
{
  if (args.length () != 4)
    error ("__ledgeremit__: four input arguments are required.");
  const bool pretty = args(2).bool_value ();
  const bool preserve = args(3).bool_value ();

  json_writer w (pretty, preserve);
  w.value (args(0), 0);

  // The name must be the caller's text: a number or a matrix of several
  // rows would name some other file.
  const octave_value& file = args(1);
  const dim_vector dv = file.dims ();
  if (! file.is_string () || dv.ndims () > 2 || dv(0) > 1)
    error ("__ledgeremit__: FILE must be a character vector.");
  const std::string name = file.string_value ();

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

extern "C" OCTAVE_EXPORT octave_function *
G__ledgeremit__ (const octave::dynamic_library& shl, bool relative)
{
  // The API version is the one of the headers this module is built with;
  // the interpreter refuses any other.
  octave::check_version (OCTAVE_API_VERSION, "__ledgeremit__");
  octave_dld_function *fcn
    = octave_dld_function::create (F__ledgeremit__, shl, "__ledgeremit__",
                                   emit_help);
  if (relative)
    fcn->mark_relative ();
  return fcn;
}

/*
*/
