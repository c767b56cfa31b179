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
#include <octave/file-ops.h>

#include <sys/mman.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <type_traits>
#include <vector>

#include "../core/tree.h"
#include "../core/number_text.h"
#include "../core/files.h"
#include "../core/options.h"

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
  // again through the conversion to a tree (see render).
  bool from_values;
  struct redo { };
  ledger::object_rule objects;

  json_writer (bool pretty_arg, bool preserve_arg, const char *who_arg,
               bool from_values_arg = false)
    : output (), pretty (pretty_arg), preserve (preserve_arg), who (who_arg),
      line (0), stack (), names (), maps (), from_values (from_values_arg),
      objects ()
  { }

  // Back to the start, to write a tree.
  void reset ()
  {
    output.clear ();
    stack.clear ();
    names.clear ();
    maps.clear ();
    line = 0;
    from_values = false;
  }

  // ---------------------------------------------------------------- faults
  // Every tree that cannot be written as it stands is refused with the
  // core's text of its fault, the place of the value after it.

  [[noreturn]] void fail (ledger::tree_fault f, const octave_value& v,
                          const std::string& place) const
  {
    if (from_values)
      throw redo ();
    ledger::tree_error (who, ledger::fault_text (f, v), place);
  }

  [[noreturn]] void fail_imaginary (double imag,
                                    const std::string& place) const
  {
    if (from_values)
      throw redo ();
    ledger::tree_error (who, ledger::fault_text (
                               ledger::tree_fault::not_real, octave_value (),
                               number_text::double_string (imag, false)),
                        place);
  }

  // The place of the value being written: the path of the open containers
  // (the first FRAMES of them) as a JSON Pointer, and the line with JSON
  // Lines.
  std::string place (std::size_t frames, const std::string& tail = "") const
  {
    std::string pointer;
    for (std::size_t k = 0; k < frames; k++)
      {
        const frame& f = stack[k];
        if (! f.is_object ())
          ledger::append_index (pointer, f.next - 1);
        else if (f.what == tree_object)
          {
            std::string key;
            double imag;
            ledger::key_text (f.keys[f.next - 1], key, imag);
            ledger::append_token (pointer, key);
          }
        else
          ledger::append_token (pointer, field (k, f.next - 1));
      }
    pointer += tail;
    return ledger::place_text (pointer, line);
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
    return ledger::key_place (stack.back ().next - 1,
                              place (stack.size () - 1));
  }

  // ---------------------------------------------------------------- walker

  // Writes V and everything below it; V is an ordinary value while PLAIN
  // is set, at the LEVEL of nesting ledgertree would give it.
  void value (const octave_value& v, int depth, int level = 0)
  {
    const std::size_t base = stack.size ();
    if (from_values)
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
    if (! tree.iscell () && from_values)
      throw redo ();
    if (! tree.iscell ())
      error_with_id ("ledgerkit:tree", "%s: %s.", who,
                     ledger::fault_text (ledger::tree_fault::not_documents,
                                         tree).c_str ());
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
    return ledger::cell_of (v);
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
          fail (ledger::tree_fault::not_a_row, v, here ());
      }
    else if (! v.isnumeric () && ! v.islogical ())
      fail (ledger::tree_fault::not_a_value, v, here ());
    else if (v.numel () == 1)
      {
        const double imag = scalar (v);
        if (imag != 0)
          fail_imaginary (imag, here ());
      }
    else
      numbers (v, depth);
  }

  void structure (const octave_value& v, int depth)
  {
    if (v.nfields () == 0)
      {
        output += "null";
        return;
      }
    const Cell *keys = nullptr;
    const Cell *values = nullptr;
    octave_value bad;
    const ledger::tree_fault f = objects.cells (v, keys, values, bad);
    if (f == ledger::tree_fault::unpaired)
      {
        if (from_values)
          throw redo ();
        ledger::tree_error (who, ledger::fault_text (f, bad, "",
                                                     keys->numel (),
                                                     values->numel ()),
                            here ());
      }
    if (f != ledger::tree_fault::none)
      fail (f, bad, here ());
    // The cells stay alive in the tree after a copy of a map is gone.
    open (tree_object, keys->data (), values->data (), keys->numel (), depth);
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
    room_below (depth, 1);
    output += what & 1 ? '{' : '[';
    stack.push_back (frame {{keys}, {items}, 0, n, depth, level, what});
    return &stack.back ();
  }

  // Refuses LEVELS more levels of nesting below a container at DEPTH that
  // no reading could take back.
  hot void room_below (int depth, int levels)
  {
    if (__builtin_expect (depth + levels > ledger::depth_limit, 0))
      fail (ledger::tree_fault::too_deep, octave_value (), here ());
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
    room_below (depth, 1);
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
              const double imag = scalar (whole.index_op (index));
              if (imag != 0)
                fail_imaginary (imag, element (i));
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
        if (objects.is_node (*m))
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
    if (ledger::object_rule::node_fields (m))
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
    room_below (depth, dv.ndims ());
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
  // logical value written as the core's text of its value.
  void key (const octave_value& v)
  {
    if (v.is_string () && characters (v))
      return;
    std::string key_str;
    double imag;
    const ledger::tree_fault f = ledger::key_text (v, key_str, imag);
    if (f == ledger::tree_fault::not_real)
      fail_imaginary (imag, key_place ());
    if (f != ledger::tree_fault::none)
      fail (f, v, key_place ());
    string_literal (key_str);
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
// The writer of an entry for the user function WHO: the name/value pairs
// of ARGS from FIRST on, read with the core's table of writing options.
static json_writer
writer_for (const char *who, const octave_value_list& args, int first,
            bool& lines)
{
  const ledger::settings s
    = args.length () == first ? ledger::settings ()
      : ledger::read_options (who, ledger::writing_options, args, first);
  lines = s.lines;
  return json_writer (s.pretty, s.preserve, who, true);
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

  const std::size_t n = w.output.size ();
  charNDArray chars (dim_vector (1, n));
  if (n > 0)
    std::memcpy (chars.fortran_vec (), w.output.data (), n);
  return octave_value_list (octave_value (chars, '\''));
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
  "and renamed over @var{file}.  The options are those of "
  "@qcode{saveledger}.  A file that cannot be written raises an error "
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
  bool lines;
  json_writer w = writer_for (who, args, 2, lines);
  render (w, args(0), lines);
  std::string fault = ledger::replace_file (name, w.output.data (),
                                            w.output.size ());
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
*/
