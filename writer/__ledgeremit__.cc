// __ledgeremit__: write a tree of interpreter values to a file as JSON, with
// every double as its correctly rounded decimal digits at the fewest count
// that reads back as the same double.
//
// Copyright (C) 2026 ledgerkit developers
// SPDX-License-Identifier: GPL-3.0-or-later

// PKG_ADD: autoload ("__ledgertext__", "__ledgeremit__.oct");
// PKG_ADD: autoload ("__ledgersave__", "__ledgeremit__.oct");

#include <octave/oct.h>
#include <octave/oct-map.h>
#include <octave/ov-cell.h>
#include <octave/ov-ch-mat.h>
#include <octave/ov-str-mat.h>
#include <octave/ov-scalar.h>
#include <octave/ov-struct.h>
#include <octave/ov-bool.h>
#include <octave/parse.h>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <type_traits>
#include <vector>

#include "../core/portable.h"

// The writer's smallest steps, inlined wherever they are used, whatever
// the size of the code around them.
#define hot __attribute__ ((always_inline)) inline

// The output buffer: the JSON text built so far.  The writer makes many
// appends of a few bytes each, so they are inline; the storage grows with
// realloc, which moves the pages of a large text instead of copying them.
struct byte_string
{
  char *bytes = nullptr;
  std::size_t length = 0;
  std::size_t room = 0;

  // A text of this size or more lives in pages of its own, aligned for
  // huge pages: this machine's kind faults fresh pages in one by one at a
  // cost that dwarfs writing them.
  static const std::size_t huge = std::size_t (1) << 21;
  bool mapped = false;

  byte_string () = default;
  byte_string (const byte_string&) = delete;
  byte_string& operator = (const byte_string&) = delete;
  ~byte_string () { release (); }

  const char * data () const { return bytes; }
  std::size_t size () const { return length; }

  void reserve (std::size_t n)
  {
    if (n <= room)
      return;
    char *grown = n < 2 * huge ? nullptr : map ((n + huge - 1) & ~(huge - 1));
    if (grown)
      {
        if (length)
          std::memcpy (grown, bytes, length);
        release ();
        bytes = grown;
        room = (n + huge - 1) & ~(huge - 1);
        mapped = true;
        return;
      }
    if (mapped)
      grown = static_cast<char *> (std::malloc (n));
    else
      grown = static_cast<char *> (std::realloc (bytes, n));
    if (! grown)
      throw std::bad_alloc ();
    if (mapped)
      {
        std::memcpy (grown, bytes, length);
        release ();
      }
    bytes = grown;
    room = n;
  }

  // SIZE bytes at a multiple of the huge page size, or null.  Huge pages
  // are only asked for; where there are none, small ones serve.
  static char * map (std::size_t size)
  {
#if defined (MAP_ANONYMOUS) && defined (MADV_HUGEPAGE)
    void *p = mmap (nullptr, size + huge, PROT_READ | PROT_WRITE,
                    MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED)
      return nullptr;
    const std::uintptr_t first = reinterpret_cast<std::uintptr_t> (p);
    const std::uintptr_t start = (first + huge - 1) & ~(huge - 1);
    if (start > first)
      munmap (p, start - first);
    if (first + huge > start)
      munmap (reinterpret_cast<void *> (start + size),
              first + huge - start);
    madvise (reinterpret_cast<void *> (start), size, MADV_HUGEPAGE);
    return reinterpret_cast<char *> (start);
#else
    (void) size;
    return nullptr;
#endif
  }

  void clear ()
  {
    release ();
    bytes = nullptr;
    length = room = 0;
    mapped = false;
  }

  void release ()
  {
#if defined (MAP_ANONYMOUS) && defined (MADV_HUGEPAGE)
    if (mapped)
      {
        munmap (bytes, room);
        return;
      }
#endif
    std::free (bytes);
  }

  // Room for N more bytes; returns where they go.
  hot char * extend (std::size_t n)
  {
    if (room - length < n)
      reserve (std::max (2 * room, length + n + 64));
    char *p = bytes + length;
    length += n;
    return p;
  }

  hot void append (const char *s, std::size_t n)
  {
    if (n)
      std::memcpy (extend (n), s, n);
  }
  hot void append (std::size_t n, char c)
  {
    if (n)
      std::memset (extend (n), c, n);
  }
  hot byte_string& operator += (char c) { *extend (1) = c; return *this; }
  hot byte_string& operator += (const char *s)
  {
    append (s, std::strlen (s));
    return *this;
  }
  hot byte_string& operator += (const std::string& s)
  {
    append (s.data (), s.size ());
    return *this;
  }
};

// The text of a number: an integer in plain digits, a double in its
// correctly rounded digits at the fewest count that reads back as the same
// double.  Written into a small buffer of the caller's.
struct number_text
{
  // 2^53: every whole number below it is a double exactly.
  static constexpr double two53 = 9007199254740992.0;

  // Plain decimal digits, "-" in front of a negative number.
  template <typename T>
  static char * digits (char *buf, T x)
  {
    return std::to_chars (buf, buf + 32, x).ptr;
  }

  static std::string double_string (double x, bool point)
  {
    char buf[40];
    return std::string (buf, double_chars (buf, x, point));
  }

  // The text of X into BUF (40 bytes); returns its length.  The digits are
  // those of the correctly rounded scientific form at the smallest precision
  // that reads back as X.  No precision below the shortest round-trip digit
  // count reads back, so the search starts there.  The shortest digits are
  // the nearest of their length to X, so they are the correctly rounded
  // ones whenever the doubles around X are evenly spaced; only at a power
  // of two, where the gap below is half the gap above, can the correctly
  // rounded digits of that length fall outside and need more digits.
  static std::size_t double_chars (char *buf, double x, bool point)
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

    char d[24];
    int n, E;
    if (m < two53 && m == std::trunc (m))
      {
        // A whole number below 2^53 is its own shortest text: any decimal
        // with fewer digits is a whole number at least 1 away, beyond the
        // half gap to its neighbours.
        n = std::to_chars (d, d + sizeof d,
                           static_cast<std::uint64_t> (m)).ptr - d;
        E = n - 1;
      }
    else
      {
        char sci[32];
        char *sci_end
          = ledgerkit::shortest_scientific (sci, sci + sizeof sci, m);
        if (lopsided (m))
          sci_end = round_back (sci, sci_end, m);
        n = split (sci, sci_end, d, E);
      }
    while (n > 1 && d[n-1] == '0')
      n--;
    return p - buf + layout (p, d, n, E, point);
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
        t_end = ledgerkit::scientific (t, t + sizeof t, m, k - 1);
        // The shortest digits read back: when they are also the correctly
        // rounded ones, nothing needs reading.
        if (k == least && t_end - t == end - s
            && std::memcmp (t, s, end - s) == 0)
          return end;
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
    return ledgerkit::to_double (s, end) == m;
  }

  // The digits D and decimal exponent E of the scientific text S, which
  // reads "d.ddde+XX" or "de-XX"; returns the number of digits.
  static int split (const char *s, const char *end, char *d, int& E)
  {
    int n = 0;
    const char *q = s;
    for (; *q != 'e'; q++)
      if (*q != '.')
        d[n++] = *q;
    const bool negative = (q[1] == '-');
    E = 0;
    for (q += 2; q < end; q++)
      E = 10 * E + (*q - '0');
    if (negative)
      E = -E;
    return n;
  }

  // Lays out the N digits D of a value of decimal exponent E: positional
  // for exponents from -6 to 20, exponent form outside.
  static std::size_t layout (char *out, const char *d, int n, int E,
                             bool point)
  {
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

  // Short copies, done in place rather than by a library call.
  static char * copy (char *p, const char *s, int n)
  {
    for (int i = 0; i < n; i++)
      p[i] = s[i];
    return p + n;
  }

  static char * fill (char *p, char c, int n)
  {
    for (int i = 0; i < n; i++)
      p[i] = c;
    return p + n;
  }
};

// The writer: walks a tree and appends its JSON text to its output.
class json_writer
{
public:
  // The spaces of one level of pretty indentation.
  static constexpr std::size_t indent_width = 4;

  byte_string output;
  bool pretty;
  bool preserve;
  // The name that the faults of the tree are raised under.
  const char *who;
  // With JSON Lines, the line (from 1) of the document being written.
  octave_idx_type line;

  // An object or array that is open: its members are written one by one
  // from the loop in value, so that the depth of a tree costs heap, not
  // call stack.
  // The members are read in place: the cells belong to the tree, which
  // outlives the call.
  //
  // An ordinary value is laid out as ledgertree lays it out: its cells,
  // structs and struct arrays are containers of their own kinds, whose
  // members are ordinary values again; a tree inside one is a tree.
  // The kinds of frame; an object's is odd, a tree's below plain_array.
  enum kind : unsigned char
  {
    tree_array = 0,      // ITEMS of a cell of a tree
    tree_object = 1,     // KEYS and ITEMS of an object node
    plain_array = 2,     // ITEMS of a cell of an ordinary value
    plain_object = 3,    // a struct: its values ITEMS, its names from FIRST
    plain_records = 4,   // a struct array, maps[MAP], names from FIRST
    plain_record = 5     // the element of the records frame below it
  };
  struct frame
  {
    union
    {
      const octave_value *keys;
      std::size_t first;
    };
    union
    {
      const octave_value *items;
      std::size_t map;
    };
    octave_idx_type next;
    octave_idx_type count;
    int depth;
    // Ordinary values: the level of nesting of the members, as ledgertree
    // counts it.
    int level;
    kind what;

    bool is_object () const { return what & 1; }
  };
  std::vector<frame> stack;
  // The field names of the structs being written, by frame, in field
  // order; they point into the structs' own field lists.
  std::vector<const std::string *> names;
  // The struct arrays being written.
  std::vector<octave_map> maps;
  // True while an ordinary value is being written: then anything the
  // writer does not lay out itself, and any fault, starts the whole value
  // again through ledgertree's conversion (see render).
  bool plain;
  struct redo { };
  // The last set of field names met, and the places of keys and values in
  // it (-1: none).
  octave_scalar_map known;
  octave_idx_type known_keys;
  octave_idx_type known_values;

  json_writer (bool pretty_arg, bool preserve_arg, const char *who_arg,
               bool plain_arg = false)
    : output (), pretty (pretty_arg), preserve (preserve_arg), who (who_arg),
      line (0), stack (), names (), maps (), plain (plain_arg), known (),
      known_keys (-1), known_values (-1)
  { }

  // Back to the start, to write a tree.
  void reset ()
  {
    output.clear ();
    stack.clear ();
    names.clear ();
    maps.clear ();
    line = 0;
    plain = false;
  }

  // ---------------------------------------------------------------- faults
  // Every tree that cannot be written as it stands is refused with one of
  // these texts, the place of the value after it.

  [[noreturn]] void fail (const std::string& what,
                          const std::string& place) const
  {
    if (plain)
      throw redo ();
    error_with_id ("ledgerkit:tree", "%s: %s (%s).", who, what.c_str (),
                   place.c_str ());
  }

  static std::string not_a_value (const octave_value& v)
  {
    return describe (v) + " cannot be written as JSON";
  }
  static std::string not_a_row (const octave_value& v)
  {
    return describe (v) + " is not one row of text";
  }
  static std::string not_a_key (const octave_value& v)
  {
    return "a key must be one text, one number or one logical value, not "
           + describe (v);
  }
  static std::string not_real (double imag)
  {
    return "a complex number with the imaginary part "
           + number_text::double_string (imag, false) + " cannot be written";
  }
  static std::string not_a_cell (const char *field, const octave_value& v)
  {
    return std::string ("the field '") + field + "' of an object must be a "
           "cell array, not " + describe (v);
  }
  static const char * no_fields ()
  {
    return "an object needs the fields 'keys' and 'values'";
  }
  static const char * no_elements ()
  {
    return "a structure array with fields but no elements cannot be written";
  }
  static std::string unpaired (octave_idx_type keys, octave_idx_type values)
  {
    return std::string ("an object has ")
           + (values < keys ? "fewer" : "more") + " values than keys (keys: "
           + std::to_string (keys) + ", values: " + std::to_string (values)
           + ")";
  }

  static std::string not_documents (const octave_value& v)
  {
    return "with JSON Lines the tree must be a cell array of documents, not "
           + describe (v);
  }

  // "a 1x2 double", "a 2x3 char array", "a 1x1 function_handle".
  static std::string describe (const octave_value& v)
  {
    const std::string c = v.class_name ();
    return "a " + v.dims ().str () + " " + c + (c == "char" ? " array" : "");
  }

  // The place of the value being written: the path of the open containers
  // (the first FRAMES of them) as a JSON Pointer, and the line with JSON
  // Lines.
  std::string place (std::size_t frames, const std::string& tail = "") const
  {
    std::string path;
    for (std::size_t k = 0; k < frames; k++)
      {
        const frame& f = stack[k];
        path += '/';
        if (! f.is_object ())
          path += std::to_string (f.next - 1);
        else
          for (char c : f.what == tree_object ? key_text (f.keys[f.next - 1])
                                              : field (k, f.next - 1))
            path += c == '~' ? "~0" : c == '/' ? "~1" : std::string (1, c);
      }
    path += tail;
    std::string s = path.empty () ? "at the top" : "at " + path;
    if (line > 0)
      s += (path.empty () ? " of line " : " in line ") + std::to_string (line);
    else if (path.empty ())
      s += " of the tree";
    return s;
  }

  std::string here () const { return place (stack.size ()); }

  // The name of field I of the struct or record open at K on the stack.
  const std::string& field (std::size_t k, octave_idx_type i) const
  {
    const frame& f = stack[stack[k].what == plain_record ? k - 1 : k];
    return *names[f.first + i];
  }

  std::string element (octave_idx_type i) const
  {
    return place (stack.size (), "/" + std::to_string (i));
  }

  // The key being written of the object open on top of the stack, counted
  // from 1.
  std::string key_place () const
  {
    const frame& f = stack.back ();
    return "key " + std::to_string (f.next) + " of the object "
           + place (stack.size () - 1);
  }

  // ---------------------------------------------------------------- walker

  // Writes V and everything below it; V is an ordinary value while PLAIN
  // is set, at the LEVEL of nesting ledgertree would give it.
  void value (const octave_value& v, int depth, int level = 0)
  {
    const std::size_t base = stack.size ();
    if (plain)
      ordinary (v, depth, level);
    else
      node (v, depth);
    while (stack.size () > base)
      {
        // A large tree can take a while: let the user interrupt it.
        octave_quit ();
        frame& top = stack.back ();
        if (top.next == top.count)
          {
            if (top.what >= plain_array)
              finish (top);
            else
              {
                close (top.depth, top.what == tree_object ? '}' : ']');
                stack.pop_back ();
              }
            continue;
          }
        const octave_idx_type i = top.next++;
        if (top.what >= plain_array)
          {
            ordinary_member (top, i);
            continue;
          }
        const frame& f = top;
        const bool is_object = f.what == tree_object;
        // The values of a tree lie all over memory: ask for the next
        // member's while this one is written.
        if (i + 1 < f.count)
          {
            __builtin_prefetch (&f.items[i + 1].get_rep ());
            if (is_object)
              __builtin_prefetch (&f.keys[i + 1].get_rep ());
          }
        separate (i, f.depth);
        if (is_object)
          {
            key (f.keys[i]);
            output += pretty ? ": " : ":";
          }
        // F may move when node grows the stack; the member stays in the tree.
        const octave_value& item = f.items[i];
        node (item, f.depth + 1);
      }
  }

  // Closes the container F of an ordinary value, on top of the stack, and
  // lets go of what it held.  Kept apart from the loop over trees.
  __attribute__ ((noinline)) void finish (const frame& f)
  {
    close (f.depth, f.is_object () ? '}' : ']');
    if (f.what == plain_object || f.what == plain_records)
      names.resize (f.first);
    if (f.what == plain_records)
      maps.pop_back ();
    stack.pop_back ();
  }

  // JSON Lines: each element of the cell TREE as a compact document on a
  // line of its own.
  void documents (const octave_value& tree)
  {
    // An ordinary value that ledgertree makes a cell of is rare here.
    if (! tree.iscell () && plain)
      throw redo ();
    if (! tree.iscell ())
      error_with_id ("ledgerkit:tree", "%s: %s.", who,
                     not_documents (tree).c_str ());
    const Cell& docs = cell_ref (tree);
    each (docs.numel (), [&] (octave_idx_type i)
      {
        line = i + 1;
        value (docs.xelem (i), 0, 1);
        output += '\n';
      });
  }

  // The cell that V, a cell array, holds, without a copy.
  static const Cell& cell_ref (const octave_value& v)
  {
    return static_cast<const octave_cell&> (v.get_rep ()).matrix_ref ();
  }

  // Writes a leaf, or opens a container on the stack.
  void node (const octave_value& v, int depth)
  {
    // A double scalar, the most common leaf, needs none of the tests below.
    if (v.type_id () == octave_scalar::static_type_id ())
      floating (v.double_value ());
    else if (v.isstruct ())
      structure (v, depth);
    else if (v.iscell ())
      array (cell_ref (v), depth);
    else if (v.is_string ())
      {
        if (! characters (v))
          fail (not_a_row (v), here ());
      }
    else if (! v.isnumeric () && ! v.islogical ())
      fail (not_a_value (v), here ());
    else if (v.numel () == 1)
      {
        const double imag = scalar (v);
        if (imag != 0)
          fail (not_real (imag), here ());
      }
    else
      numbers (v, depth);
  }

  void structure (const octave_value& v, int depth)
  {
    // The fields keys and values: of a scalar structure read in place where
    // the interpreter hands out its map, else of a copy of the first element.
    const octave_value *keys_field = nullptr;
    const octave_value *values_field = nullptr;
    const octave_scalar_map *in_place = nullptr;
    octave_scalar_map first;
    if (v.get_rep ().fast_elem_insert_self (&in_place, btyp_struct))
      ;
    else if (v.numel () == 1)
      {
        first = v.scalar_map_value ();
        in_place = &first;
      }
    else
      {
        const octave_map m = v.map_value ();
        if (m.nfields () > 0 && m.numel () == 0)
          fail (no_elements (), here ());
        if (m.nfields () > 0)
          first = m.checkelem (0);
        in_place = &first;
      }
    const octave_scalar_map& m = *in_place;
    if (m.nfields () == 0)
      {
        output += "null";
        return;
      }
    // The reader gives all its objects one set of field names: their places
    // are looked up once.  Holding that set keeps it, and so its identity.
    if (m.begin () != known.begin ())
      {
        known = m;
        known_keys = field_index (m, "keys");
        known_values = field_index (m, "values");
      }
    if (known_keys >= 0)
      keys_field = &m.contents (known_keys);
    if (known_values >= 0)
      values_field = &m.contents (known_values);
    if (! keys_field || ! values_field)
      fail (no_fields (), here ());
    if (! keys_field->iscell ())
      fail (not_a_cell ("keys", *keys_field), here ());
    if (! values_field->iscell ())
      fail (not_a_cell ("values", *values_field), here ());
    // The cells stay alive in the tree after the copy of a map is gone.
    const Cell& keys = cell_ref (*keys_field);
    const Cell& values = cell_ref (*values_field);
    const octave_idx_type n = keys.numel ();
    if (values.numel () != n)
      fail (unpaired (n, values.numel ()), here ());
    open (tree_object, keys.data (), values.data (), n, depth);
  }

  // True when M, of two fields, is an object node: its fields keys and
  // values both cells.  A tree's nodes share their field names, which are
  // looked up once.
  bool is_node (const octave_scalar_map& m)
  {
    if (m.begin () != known.begin ())
      {
        known = m;
        known_keys = field_index (m, "keys");
        known_values = field_index (m, "values");
      }
    return known_keys >= 0 && known_values >= 0
           && m.contents (known_keys).iscell ()
           && m.contents (known_values).iscell ();
  }

  static octave_idx_type field_index (const octave_scalar_map& m,
                                      const char *name)
  {
    const auto p = m.seek (name);
    return p == m.end () ? -1 : m.index (p);
  }

  void array (const Cell& items, int depth)
  {
    open (tree_array, nullptr, items.data (), items.numel (), depth);
  }

  // Opens a container of kind WHAT and N members at DEPTH on the stack,
  // and returns it; an empty one is written whole, and then null.
  hot frame * open (kind what, const octave_value *keys,
                const octave_value *items, octave_idx_type n, int depth,
                int level = 0)
  {
    if (n == 0)
      {
        output += what & 1 ? "{}" : "[]";
        return nullptr;
      }
    output += what & 1 ? '{' : '[';
    stack.push_back (frame {{keys}, {items}, 0, n, depth, level, what});
    return &stack.back ();
  }

  // The spaces that start a pretty line at DEPTH.
  hot static std::size_t indent (int depth)
  {
    return indent_width * static_cast<std::size_t> (depth);
  }

  // The bytes that separate and indent one member of a container at DEPTH.
  std::size_t separator_width (int depth) const
  {
    return 1 + (pretty ? 1 + indent (depth + 1) : 0);
  }

  // The separator and line start before member I of a container at DEPTH.
  hot void separate (octave_idx_type i, int depth)
  {
    if (i > 0)
      output += ',';
    if (pretty)
      {
        output += '\n';
        output.append (indent (depth + 1), ' ');
      }
  }

  hot void close (int depth, char bracket)
  {
    if (pretty)
      {
        output += '\n';
        output.append (indent (depth), ' ');
      }
    output += bracket;
  }

  // How many elements of an array are written between looks for Ctrl-C.
  static const octave_idx_type quit_every = 4096;

  // Runs BODY (I) for I from 0 to N - 1, looking for Ctrl-C every few
  // thousand elements.
  template <typename F>
  static void each (octave_idx_type n, F body)
  {
    for (octave_idx_type start = 0; start < n; start += quit_every)
      {
        octave_quit ();
        const octave_idx_type end = std::min (n, start + quit_every);
        for (octave_idx_type i = start; i < end; i++)
          body (i);
      }
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
    // Room for the usual length of an element, so that a long vector does
    // not copy the whole text each time the string grows.
    output.reserve (output.size () + n * (separator_width (depth) + 20));
    const builtin_type_t type = v.issparse () ? btyp_unknown
                                               : v.builtin_type ();
    switch (type)
      {
      case btyp_double: elements (v.array_value (), depth); break;
      case btyp_float: elements (v.float_array_value (), depth); break;
      case btyp_bool: elements (v.bool_array_value (), depth); break;
      case btyp_int8: elements (v.int8_array_value (), depth); break;
      case btyp_int16: elements (v.int16_array_value (), depth); break;
      case btyp_int32: elements (v.int32_array_value (), depth); break;
      case btyp_int64: elements (v.int64_array_value (), depth); break;
      case btyp_uint8: elements (v.uint8_array_value (), depth); break;
      case btyp_uint16: elements (v.uint16_array_value (), depth); break;
      case btyp_uint32: elements (v.uint32_array_value (), depth); break;
      case btyp_uint64: elements (v.uint64_array_value (), depth); break;
      default:
        {
          // Indexing needs a handle of its own; it shares the caller's data.
          octave_value whole = v;
          each (n, [&] (octave_idx_type i)
            {
              separate (i, depth);
              const octave_value_list index (octave_value (i + 1));
              const double imag = scalar (ledgerkit::index_op (whole, index));
              if (imag != 0)
                fail (not_real (imag), element (i));
            });
        }
        break;
      }
    close (depth, ']');
  }

  template <typename A>
  void elements (const A& a, int depth)
  {
    each (a.numel (), [&] (octave_idx_type i)
      {
        separate (i, depth);
        number (a.xelem (i));
      });
  }

  // One element of a numeric or logical array, by its class.
  void number (double x) { floating (x); }
  void number (float x) { floating (x); }
  void number (bool x) { output += x ? "true" : "false"; }
  template <typename T>
  void number (const octave_int<T>& x)
  {
    char buf[32];
    const T y = x.value ();
    char *end;
    if constexpr (std::is_signed_v<T>)
      end = number_text::digits (buf, static_cast<long long> (y));
    else
      end = number_text::digits (buf, static_cast<unsigned long long> (y));
    output.append (buf, end - buf);
  }

  // ------------------------------------------------------ ordinary values
  // Laid out as ledgertree lays them out, without making its tree.  What
  // is rare (a containers.Map, a complex array, a struct array with the
  // fields of an object node) or cannot be written, and nesting beyond
  // ledgertree's limit, start the whole value again by redo.

  // ledgertree's limit of nesting.
  static const int plain_levels = 1000;

  void ordinary (const octave_value& v, int depth, int level)
  {
    const int type = v.type_id ();
    if (type == octave_scalar::static_type_id ())
      floating (v.double_value ());
    else if (level > plain_levels)
      throw redo ();
    else if (type == octave_scalar_struct::static_type_id ())
      ordinary_struct (v, depth, level);
    else if (v.iscell ())
      {
        const Cell& c = cell_ref (v);
        open (plain_array, nullptr, c.data (), c.numel (), depth, level + 1);
      }
    else if (v.is_string ())
      ordinary_chars (v, depth);
    else if (v.type_id () == octave_bool::static_type_id ())
      output += v.bool_value () ? "true" : "false";
    else if (v.isstruct ())
      ordinary_struct (v, depth, level);
    else if (v.isnumeric () || v.islogical ())
      ordinary_numbers (v, depth);
    else
      throw redo ();
  }

  // Member I of the container F of an ordinary value.  F is a copy: the
  // stack may grow.
  __attribute__ ((noinline))
  void ordinary_member (const frame f, octave_idx_type i)
  {
    separate (i, f.depth);
    switch (f.what)
      {
      case plain_array:
        ordinary (f.items[i], f.depth + 1, f.level);
        break;
      case plain_object:
        name (i);
        ordinary (f.items[i], f.depth + 1, f.level);
        break;
      case plain_records:
        open (plain_record, nullptr, nullptr, maps[f.map].nfields (),
              f.depth + 1, f.level + 1);
        break;
      default:
        {
          name (i);
          // The element and the map from the records frame below; the
          // value held apart from maps, which may grow.
          const frame& records = stack[stack.size () - 2];
          const octave_value x
            = maps[records.map].contents (i).xelem (records.next - 1);
          ordinary (x, f.depth + 1, f.level);
        }
        break;
      }
  }

  // The key of member I of the struct or record on top of the stack: its
  // field name.
  void name (octave_idx_type i)
  {
    const std::string& s = field (stack.size () - 1, i);
    string_literal (s.data (), s.size ());
    output += pretty ? ": " : ":";
  }

  // The field names of a struct or struct array M, in field order, onto
  // names; returns where they start.
  template <typename M>
  std::size_t field_names (const M& m)
  {
    const std::size_t first = names.size ();
    names.resize (first + m.nfields ());
    for (auto p = m.begin (); p != m.end (); ++p)
      names[first + p->second] = &p->first;
    return first;
  }

  void ordinary_struct (const octave_value& v, int depth, int level)
  {
    const octave_idx_type n = v.numel ();
    const octave_idx_type nf = v.nfields ();
    if (nf == 0)
      {
        // null, an empty object, or an array of empty objects
        if (n == 0)
          output += "null";
        else if (n == 1)
          output += "{}";
        else
          {
            output += '[';
            each (n, [&] (octave_idx_type i)
              {
                separate (i, depth);
                output += "{}";
              });
            close (depth, ']');
          }
        return;
      }
    if (n == 1)
      {
        const octave_scalar_map *m = nullptr;
        if (! v.get_rep ().fast_elem_insert_self (&m, btyp_struct))
          throw redo ();
        if (nf == 2 && is_node (*m))
          structure (v, depth);
        else
          {
            const std::size_t first = field_names (*m);
            open (plain_object, nullptr, &m->contents (0), nf, depth,
                  level + 1)->first = first;
          }
        return;
      }
    const octave_map m = v.map_value ();
    if (nf == 2 && m.isfield ("keys") && m.isfield ("values"))
      throw redo ();
    if (n == 0)
      {
        output += "[]";
        return;
      }
    const std::size_t first = field_names (m);
    maps.push_back (m);
    frame *f = open (plain_records, nullptr, nullptr, n, depth, level + 1);
    f->first = first;
    f->map = maps.size () - 1;
  }

  // A row is text; any other vector its characters in order; a matrix an
  // array of its rows.
  void ordinary_chars (const octave_value& v, int depth)
  {
    const dim_vector dv = v.dims ();
    if (dv.ndims () == 2 && (dv(0) == 1 || (dv(0) == 0 && dv(1) == 0)))
      node (v, depth);
    else if (dv.numel () == 0)
      string_literal ("", 0);
    else if (is_vector (dv))
      {
        const charNDArray c = v.char_array_value ();
        string_literal (c.data (), c.numel ());
      }
    else
      nest (v.char_array_value (), dv, 1, depth);
  }

  static bool is_vector (const dim_vector& dv)
  {
    octave_idx_type big = 0;
    for (int j = 0; j < dv.ndims (); j++)
      big = std::max (big, dv(j));
    return dv.numel () == big;
  }

  // A scalar or vector as a tree writes it; a matrix nested arrays by
  // rows, an N-d array nested with the first dimension outermost.  A
  // sparse matrix is read in place, as large as it may be as a full one.
  void ordinary_numbers (const octave_value& v, int depth)
  {
    if (v.iscomplex ())
      throw redo ();
    const octave_value x = v.is_range () ? octave_value (v.array_value ()) : v;
    const dim_vector dv = x.dims ();
    if (dv.numel () <= 1 || is_vector (dv))
      {
        node (x, depth);
        return;
      }
    const int leaf = dv.ndims () - 1;
    if (x.issparse ())
      {
        if (x.islogical ())
          nest (x.sparse_bool_matrix_value (), dv, leaf, depth);
        else
          nest (x.sparse_matrix_value (), dv, leaf, depth);
        return;
      }
    switch (x.builtin_type ())
      {
      case btyp_double: nest (x.array_value (), dv, leaf, depth); break;
      case btyp_float: nest (x.float_array_value (), dv, leaf, depth); break;
      case btyp_bool: nest (x.bool_array_value (), dv, leaf, depth); break;
      case btyp_int8: nest (x.int8_array_value (), dv, leaf, depth); break;
      case btyp_int16: nest (x.int16_array_value (), dv, leaf, depth); break;
      case btyp_int32: nest (x.int32_array_value (), dv, leaf, depth); break;
      case btyp_int64: nest (x.int64_array_value (), dv, leaf, depth); break;
      case btyp_uint8: nest (x.uint8_array_value (), dv, leaf, depth); break;
      case btyp_uint16: nest (x.uint16_array_value (), dv, leaf, depth); break;
      case btyp_uint32: nest (x.uint32_array_value (), dv, leaf, depth); break;
      case btyp_uint64: nest (x.uint64_array_value (), dv, leaf, depth); break;
      default: nest (x.array_value (), dv, leaf, depth); break;
      }
  }

  // The array A of dimensions DV as nested arrays: the dimensions but LEAF
  // outermost first, the values along LEAF innermost.
  template <typename A>
  void nest (const A& a, const dim_vector& dv, int leaf, int depth)
  {
    // Room for the usual length of an element, as for a flat array; a
    // text too large for memory fails here, before it is written.
    output.reserve (output.size ()
                    + dv.numel ()
                      * (separator_width (depth + dv.ndims ()) + 20));
    std::vector<int> outer;
    std::vector<octave_idx_type> stride (dv.ndims (), 1);
    for (int j = 0; j < dv.ndims (); j++)
      {
        if (j != leaf)
          outer.push_back (j);
        if (j > 0)
          stride[j] = stride[j-1] * dv(j-1);
      }
    nested (a, dv, outer, stride, leaf, 0, 0, depth);
  }

  template <typename A>
  void nested (const A& a, const dim_vector& dv, const std::vector<int>& outer,
               const std::vector<octave_idx_type>& stride, int leaf,
               std::size_t level, octave_idx_type offset, int depth)
  {
    if (level == outer.size ())
      {
        row (a, dv(leaf), stride[leaf], offset, depth);
        return;
      }
    const int d = outer[level];
    output += '[';
    each (dv(d), [&] (octave_idx_type i)
      {
        separate (i, depth);
        nested (a, dv, outer, stride, leaf, level + 1, offset + i * stride[d],
                depth + 1);
      });
    close (depth, ']');
  }

  // M values of A from OFFSET, STEP apart: an array, or one value alone.
  template <typename A>
  void row (const A& a, octave_idx_type m, octave_idx_type step,
            octave_idx_type offset, int depth)
  {
    if (m == 1)
      {
        number (a.xelem (offset));
        return;
      }
    output += '[';
    each (m, [&] (octave_idx_type k)
      {
        separate (k, depth);
        number (a.xelem (offset + k * step));
      });
    close (depth, ']');
  }

  void row (const charNDArray& a, octave_idx_type m, octave_idx_type step,
            octave_idx_type offset, int)
  {
    std::string s (m, ' ');
    for (octave_idx_type k = 0; k < m; k++)
      s[k] = a.xelem (offset + k * step);
    string_literal (s);
  }

  // One numeric or logical value of one element.  Returns the imaginary
  // part of a complex value that has one, and then writes nothing.
  double scalar (const octave_value& v)
  {
    if (v.islogical ())
      output += truth (v) ? "true" : "false";
    else if (v.isinteger ())
      output += integer_text (v);
    else
      {
        double imag;
        const double x = real_value (v, imag);
        if (imag != 0)
          return imag;
        floating (x);
      }
    return 0;
  }

  void floating (double x)
  {
    if (std::isnan (x))
      output += preserve ? "NaN" : "null";
    else if (std::isinf (x))
      output += ! preserve ? "null" : x > 0 ? "Infinity" : "-Infinity";
    else
      {
        // Written in place; the text takes at most 40 bytes.
        char *p = output.extend (40);
        output.length -= 40 - number_text::double_chars (p, x, true);
      }
  }

  // An object key, always a JSON string: one text, or one number or
  // logical value written as a text.
  void key (const octave_value& v)
  {
    if (v.is_string ())
      {
        if (! characters (v))
          fail (not_a_key (v), key_place ());
        return;
      }
    if (v.numel () != 1 || ! (v.isnumeric () || v.islogical ()))
      fail (not_a_key (v), key_place ());
    double imag = 0;
    if (v.iscomplex ())
      real_value (v, imag);
    if (imag != 0)
      fail (not_real (imag), key_place ());
    string_literal (key_text (v));
  }

  // The text of a key that key accepts.
  static std::string key_text (const octave_value& v)
  {
    if (v.is_string ())
      {
        const charNDArray c = v.char_array_value ();
        return std::string (c.data (), c.numel ());
      }
    if (v.islogical ())
      return truth (v) ? "true" : "false";
    if (v.isinteger ())
      return integer_text (v);
    double imag;
    return number_text::double_string (real_value (v, imag), false);
  }

  // The logical value of a logical; the host has none for a sparse one.
  static bool truth (const octave_value& v)
  {
    if (v.issparse () && v.numel () == 1)
      return v.bool_array_value ().xelem (0);
    return v.bool_value ();
  }

  // The real part of a number, its imaginary part (0 for a real number) in
  // IMAG: the caller refuses a value that would lose it.
  static double real_value (const octave_value& v, double& imag)
  {
    if (v.iscomplex ())
      {
        const Complex c = v.complex_value ();
        imag = c.imag ();
        return c.real ();
      }
    imag = 0;
    return v.double_value ();
  }

  // The digits of one integer value of any class, as a string.
  static std::string integer_text (const octave_value& v)
  {
    char buf[32];
    char *end;
    // The 64-bit values are read as integers: the host's plain conversion
    // goes through a double and would round those beyond 2^53.
    if (v.is_uint64_type ())
      {
        const unsigned long long x
          = v.is_scalar_type () ? v.uint64_scalar_value ().value ()
          : v.numel () > 0 ? v.uint64_array_value ().xelem (0).value ()
          : v.uint64_value ();
        end = number_text::digits (buf, x);
      }
    else if (v.is_int64_type ())
      {
        const long long x
          = v.is_scalar_type () ? v.int64_scalar_value ().value ()
          : v.numel () > 0 ? v.int64_array_value ().xelem (0).value ()
          : v.int64_value ();
        end = number_text::digits (buf, x);
      }
    else if (v.is_uint32_type () || v.is_uint16_type () || v.is_uint8_type ())
      end = number_text::digits (buf, static_cast<unsigned long long>
                                        (v.uint_value ()));
    else
      end = number_text::digits (buf, static_cast<long long> (v.int_value ()));
    return std::string (buf, end - buf);
  }

  // A character array as one string literal, read in place.  Returns false,
  // writing nothing, for an array that is not one row: its string value
  // would keep only the first row.
  bool characters (const octave_value& v)
  {
    const int t = v.type_id ();
    if (t == octave_char_matrix_str::static_type_id ()
        || t == octave_char_matrix_sq_str::static_type_id ())
      return row_string (static_cast<const octave_char_matrix&>
                           (v.get_rep ()).matrix_ref ());
    return row_string (v.char_array_value ());
  }

  bool row_string (const charNDArray& chars)
  {
    const dim_vector& dv = chars.dims ();
    if (dv.ndims () > 2 || dv(0) > 1)
      return false;
    string_literal (chars.data (), chars.numel ());
    return true;
  }

  // S as one JSON string, quoted and escaped.
  void string_literal (const std::string& s)
  {
    string_literal (s.data (), s.size ());
  }

  // Runs of bytes that need no escape are appended in one piece; a long
  // text is read a megabyte at a time, with a look for Ctrl-C in between.
  void string_literal (const char *s, std::size_t n)
  {
    output += '"';
    std::size_t run = 0;
    for (std::size_t start = 0; start < n; start += quit_bytes)
      {
        if (start > 0)
          octave_quit ();
        const std::size_t end = std::min (n, start + quit_bytes);
        for (std::size_t i = start; i < end; i++)
          {
            const unsigned char b = s[i];
            if (b >= 0x20 && b != '"' && b != '\\')
              continue;
            output.append (s + run, i - run);
            escape (b);
            run = i + 1;
          }
      }
    output.append (s + run, n - run);
    output += '"';
  }

  static const std::size_t quit_bytes = std::size_t (1) << 20;

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

  // ------------------------------------------------------------ file output
  // saveledger's file: the whole text goes to a new file beside the target,
  // flushed to disk and renamed over it, so that the target holds the old
  // text or the whole new one at every moment.

  // A new file that is removed again unless it was renamed into place,
  // however the call ends (a fault, Ctrl-C).
  struct temp_file
  {
    std::string path;
    int fd = -1;

    temp_file () = default;
    temp_file (const temp_file&) = delete;
    temp_file& operator = (const temp_file&) = delete;
    ~temp_file ()
    {
      if (fd >= 0)
        ::close (fd);
      if (! path.empty ())
        ::unlink (path.c_str ());
    }
  };

  static std::string open_fault (const std::string& name, const char *why)
  {
    return "unable to open the file '" + name + "' for writing (" + why
           + ").";
  }

  static std::string write_fault (const std::string& name, const char *why)
  {
    return "unable to write the file '" + name + "' (" + why + ").";
  }

  // Writes all SIZE bytes of DATA to FD; false with errno set on a fault.
  // With QUIT, Ctrl-C is looked for between pieces.
  static bool write_all (int fd, const char *data, std::size_t size,
                         bool quit)
  {
    const std::size_t piece = std::size_t (8) << 20;
    while (size > 0)
      {
        if (quit)
          octave_quit ();
        const ssize_t n = ::write (fd, data, std::min (size, piece));
        if (n < 0 && errno == EINTR)
          continue;
        if (n <= 0)
          {
            if (n == 0)
              errno = EIO;
            return false;
          }
        data += n;
        size -= n;
      }
    return true;
  }

  // Turns the name TARGET into the file it stands for after symbolic
  // links; ST is its status and EXISTS says whether there is one.  False
  // with errno set when the name cannot be followed.
  static bool follow (std::string& target, struct stat& st, bool& exists)
  {
    for (int hops = 0; hops < 40; hops++)
      {
        if (::lstat (target.c_str (), &st) != 0)
          {
            exists = false;
            return errno == ENOENT;
          }
        exists = true;
        if (! S_ISLNK (st.st_mode))
          return true;
        std::vector<char> link (st.st_size > 0 ? st.st_size + 1 : 4096);
        const ssize_t n = ::readlink (target.c_str (), link.data (),
                                      link.size ());
        if (n < 0)
          return false;
        const std::string to (link.data (), n);
        const std::size_t slash = target.rfind ('/');
        if (to[0] == '/' || slash == std::string::npos)
          target = to;
        else
          target = target.substr (0, slash + 1) + to;
      }
    errno = ELOOP;
    return false;
  }

  // Writes the text in place: for what is not a regular file (a device, a
  // pipe), and for a file in a folder that takes no new file.
  static std::string write_in_place (const std::string& name,
                                     const std::string& target,
                                     const byte_string& json, bool regular)
  {
    const int fd = ::open (target.c_str (),
                           O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0)
      return open_fault (name, std::strerror (errno));
    bool ok = write_all (fd, json.data (), json.size (), false);
    if (ok && regular)
      ok = ::fsync (fd) == 0;
    const int fault = errno;
    if (::close (fd) != 0 && ok)
      return write_fault (name, std::strerror (errno));
    return ok ? "" : write_fault (name, std::strerror (fault));
  }

  // Replaces the file NAME by JSON; returns the fault, empty on success.
  static std::string save (const std::string& name, const byte_string& json)
  {
    if (name.empty ())
      return open_fault (name, std::strerror (ENOENT));
    if (name.find ('\0') != std::string::npos)
      return open_fault (name, "a file name cannot hold a zero byte");
    std::string target = name;
    struct stat st;
    bool exists;
    if (! follow (target, st, exists))
      return open_fault (name, std::strerror (errno));
    if (exists && S_ISDIR (st.st_mode))
      return open_fault (name, std::strerror (EISDIR));
    if (exists && ! S_ISREG (st.st_mode))
      return write_in_place (name, target, json, false);

    const std::size_t slash = target.rfind ('/');
    const std::string folder = slash == std::string::npos ? "."
                               : slash == 0 ? "/" : target.substr (0, slash);
    // The new file's name says whose it is, and stays within the length
    // of a name.
    std::string base = target.substr (slash == std::string::npos ? 0
                                      : slash + 1);
    if (base.size () > 200)
      base.resize (200);
    temp_file tmp;
    std::string path = folder + "/" + base + ".saveledger-XXXXXX";
    tmp.fd = ::mkostemp (&path[0], O_CLOEXEC);
    if (tmp.fd < 0)
      {
        if (exists && (errno == EACCES || errno == EPERM || errno == EROFS))
          return write_in_place (name, target, json, true);
        return open_fault (name, std::strerror (errno));
      }
    tmp.path = path;

    if (exists)
      {
        // The file keeps its owner where this process may give it; where
        // it may not, the file is written in place rather than taken over.
        if ((st.st_uid != ::geteuid () || st.st_gid != ::getegid ())
            && ::fchown (tmp.fd, st.st_uid, st.st_gid) != 0)
          return write_in_place (name, target, json, true);
        ::fchmod (tmp.fd, st.st_mode & 07777);
      }
    else
      {
        const mode_t mask = ::umask (0);
        ::umask (mask);
        ::fchmod (tmp.fd, 0666 & ~mask);
      }

    if (! write_all (tmp.fd, json.data (), json.size (), true)
        || ::fsync (tmp.fd) != 0)
      return write_fault (name, std::strerror (errno));
    const int fd = tmp.fd;
    tmp.fd = -1;
    if (::close (fd) != 0)
      return write_fault (name, std::strerror (errno));
    if (::rename (tmp.path.c_str (), target.c_str ()) != 0)
      return write_fault (name, std::strerror (errno));
    tmp.path.clear ();

    // The rename itself reaches the disk with the folder.
    const int dir = ::open (folder.c_str (), O_RDONLY | O_DIRECTORY
                                             | O_CLOEXEC);
    if (dir >= 0)
      {
        ::fsync (dir);
        ::close (dir);
      }
    return "";
  }
};

// Renders TREE, JSON Lines with LINES, into W's output.  A fault of the
// tree is raised in W's name; so is running out of memory for the text.
static void
render (json_writer& w, const octave_value& tree, bool lines)
{
  try
    {
      try
        {
          if (lines)
            w.documents (tree);
          else
            w.value (tree, 0);
        }
      catch (const json_writer::redo&)
        {
          // An ordinary value the writer does not lay out itself: the tree
          // ledgertree makes of it, written as a tree.  Its faults are
          // ledgertree's, named as W's.
          w.reset ();
          const octave_value t
            = octave::feval ("__ledgerconvert__", ovl ("tree", w.who, tree),
                             1)(0);
          if (lines)
            w.documents (t);
          else
            w.value (t, 0);
        }
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

// The options of the text and file entries: PRETTY, PRESERVE and LINES from
// ARGS (FIRST), (FIRST + 1) and (FIRST + 2).
static json_writer
options (const octave_value_list& args, int first, const char *who,
         bool& lines)
{
  if (args.length () != first + 3 && args.length () != first + 4)
    error ("%s: %s input arguments are required.", who,
           first == 1 ? "four or five" : "five or six");
  const bool pretty = args(first).bool_value ();
  const bool preserve = args(first + 1).bool_value ();
  lines = args(first + 2).bool_value ();
  if (pretty && lines)
    error ("%s: JSON Lines are compact: PRETTY and LINES cannot both be "
           "true.", who);
  return json_writer (pretty, preserve, who,
                      args.length () > first + 3
                      && args(first + 3).bool_value ());
}

DEFUN_DLD (__ledgertext__, args, ,
  "-*- texinfo -*-\n"
  "  @deftypefn {ledgerkit} {@var{text} =} __ledgertext__ "
  "(@var{tree}, @var{pretty}, @var{preserve}, @var{lines})\n"
  "  @deftypefnx {ledgerkit} {@var{text} =} __ledgertext__ "
  "(@var{value}, @var{pretty}, @var{preserve}, @var{lines}, @var{plain})\n"
  "\n"
  "Return the JSON text of a tree of JSON values as a character row.\n"
  "\n"
  "The text is what @qcode{__ledgeremit__} writes to a file.  With "
  "@var{lines}, @var{tree} is a cell array and each element is written "
  "compact on a line of its own, each line ending in a line feed.  With "
  "@var{plain} true, @var{value} is an ordinary value, written as "
  "@qcode{ledgertree} lays it out.\n"
  "\n"
  "This is a helper function for @qcode{ledgerencode}.  "
  "Do NOT call it directly.\n"
  "\n"
  "@end deftypefn")
{
  bool lines;
  json_writer w = options (args, 1, "__ledgertext__", lines);
  render (w, args(0), lines);

  const std::size_t n = w.output.size ();
  charNDArray chars (dim_vector (1, n));
  if (n > 0)
    std::memcpy (chars.fortran_vec (), w.output.data (), n);
  return octave_value_list (octave_value (chars, '\''));
}

DEFUN_DLD (__ledgersave__, args, ,
  "-*- texinfo -*-\n"
  "  @deftypefn {ledgerkit} {@var{errmsg} =} __ledgersave__ "
  "(@var{tree}, @var{file}, @var{pretty}, @var{preserve}, @var{lines})\n"
  "  @deftypefnx {ledgerkit} {@var{errmsg} =} __ledgersave__ "
  "(@var{value}, @var{file}, @var{pretty}, @var{preserve}, @var{lines}, "
  "@var{plain})\n"
  "\n"
  "Replace a file by the JSON text of a tree of JSON values.\n"
  "\n"
  "The text, as @qcode{__ledgertext__} makes it, goes to a new file in the "
  "folder of @var{file} (after symbolic links), which is flushed to disk "
  "and renamed over @var{file}.  @var{errmsg} is empty, or says why the "
  "file could not be written.\n"
  "\n"
  "This is a helper IO function for @qcode{saveledger}.  "
  "Do NOT call it directly.\n"
  "\n"
  "@end deftypefn")
{
  bool lines;
  json_writer w = options (args, 2, "__ledgersave__", lines);
  render (w, args(0), lines);
  const std::string name = file_name (args(1), "__ledgersave__");
  return octave_value_list (octave_value (json_writer::save (name, w.output),
                                          '\''));
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
%! s12 = struct ("keys", {{"a"}, {"b"}}, "values", {{1}, {2}});
%! cases = {
%!   struct([]),                 "null", "null"
%!   struct(),                   "null", "null"
%!   repmat(struct(), 3, 1),     "null", "null"
%!   s12,                        '{"a":1.0}', "{\n    \"a\": 1.0\n}"
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

## Fields beyond keys and values, and their order, do not matter.
%!test
%! s = struct ("values", {{1}}, "other", 3, "keys", {{"a"}});
%! assert (emit (s), '{"a":1.0}');

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
%!   struct("keys", {{"a"}}),    ["an object needs the fields 'keys' and 'values' " top]
%!   struct("key", {{"a"}}, "values", {{1}}), ["an object needs the fields 'keys' and 'values' " top]
%!   struct("keys", 1, "values", {{1}}), ["the field 'keys' of an object must be a cell array, not a 1x1 double " top]
%!   struct("keys", {{"a"}}, "values", 1), ["the field 'values' of an object must be a cell array, not a 1x1 double " top]
%!   {struct("keys", {}, "values", {})}, "a structure array with fields but no elements cannot be written (at /0)."
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

## Deep trees are written from a stack of their own.
%!test
%! c = {};
%! for i = 1:50000
%!   c = {c};
%! endfor
%! assert (emit (c), [repmat("[", 1, 50001), repmat("]", 1, 50001)]);
%!test
%! s = struct ([]);
%! for i = 1:20000
%!   s = obj ({"a"}, {s});
%! endfor
%! assert (emit (s), [repmat('{"a":', 1, 20000), "null", repmat("}", 1, 20000)]);
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
## The text and file entries take an ordinary value when their last
## argument says so; without it the value is a tree.
%!error <four or five input arguments are required> __ledgertext__ (1, false, false)
%!error <four or five input arguments are required> __ledgertext__ (1, false, false, false, true, 1)
%!error <five or six input arguments are required> __ledgersave__ (1, "x.json", false, false)
%!error <five or six input arguments are required> __ledgersave__ (1, "x.json", false, false, false, true, 1)
%!test
%! m = [1 2; 3 4];
%! assert (__ledgertext__ (m, false, false, false), "[1.0,3.0,2.0,4.0]");
%! assert (__ledgertext__ (m, false, false, false, false), "[1.0,3.0,2.0,4.0]");
%! assert (__ledgertext__ (m, false, false, false, true), "[[1.0,2.0],[3.0,4.0]]");
%! assert (__ledgertext__ ({m}, false, false, true, true), "[[1.0,2.0],[3.0,4.0]]\n");
%! f = [tempname() ".json"];
%! unwind_protect
%!   assert (__ledgersave__ (m, f, true, false, false, true), "");
%!   assert (fileread (f), __ledgertext__ (m, true, false, false, true));
%!   ## a value the writer hands to the conversion part way through
%!   v = {1:3, containers.Map({"a"}, {m})};
%!   assert (__ledgersave__ (v, f, false, false, false, true), "");
%!   assert (fileread (f), '[[1.0,2.0,3.0],{"a":[[1.0,2.0],[3.0,4.0]]}]');
%! unwind_protect_cleanup
%!   [~] = unlink (f);
%! end_unwind_protect
%!error <__ledgertext__: JSON cannot hold the function_handle value at /1/x> __ledgertext__ ({1, struct("x", @sin)}, false, false, false, true)

%!testif ; exist ("/dev/full", "file")
%! assert (__ledgeremit__ (1, "/dev/full", false, false),
%!         "unable to write the file '/dev/full'.");
%! big = repmat ({"a fairly long text"}, 1, 100000);
%! assert (__ledgeremit__ (big, "/dev/full", false, false),
%!         "unable to write the file '/dev/full'.");
*/
