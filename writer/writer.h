// The writer's walker: json_writer lays a tree, or an ordinary value,
// out as JSON text in memory.  Shared by the writer module's entries and
// its fuzz harness.
//
// Copyright (C) 2026 ledgerkit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#ifndef LEDGERKIT_WRITER_WRITER_H
#define LEDGERKIT_WRITER_WRITER_H

#include <octave/oct.h>
#include <octave/oct-map.h>
#include <octave/ov-cell.h>
#include <octave/ov-ch-mat.h>
#include <octave/ov-str-mat.h>
#include <octave/ov-scalar.h>
#include <octave/ov-struct.h>
#include <octave/ov-bool.h>

#include <sys/mman.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <type_traits>
#include <vector>

#include "core/tree.h"
#include "core/number_text.h"
#include "core/to_tree.h"
#include "core/options.h"
#include "core/utf8.h"

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
  byte_string output;
  bool pretty;
  bool preserve;
  // A whole double with ".0" (the default) or without ("WholeNumbers").
  bool point = true;
  // One level of pretty indentation: STEP times the byte FILL.
  std::size_t indent_step = ledger::settings ().indent;
  char indent_fill = ' ';
  // "SortKeys": the members of each object in the byte order of their
  // keys; "Canonical": in the order of their UTF-16 code units, and the
  // faults of what canonical JSON cannot hold.
  bool sorting = false;
  bool canonical = false;
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
    plain_record = 5,    // the element of the records frame below it
    // Added to an object's kind when its members are written in the order
    // of the top slice of orders: such a frame goes the way of the frames
    // of ordinary values, leaving the loop over trees as it is.
    sorted = 8
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
    kind base () const { return static_cast<kind> (what & 7); }
  };
  std::vector<frame> stack;
  // The field names of the structs being written, by frame, in field
  // order; they point into the structs' own field lists.
  std::vector<const std::string *> names;
  // The struct arrays being written.
  std::vector<octave_map> maps;
  // The order of the members of each sorted frame, innermost last: the
  // slice of a frame of COUNT members is COUNT indices of its members.
  std::vector<octave_idx_type> orders;
  // True while an ordinary value is being written: then anything the
  // writer does not lay out itself, and any fault, starts the whole value
  // again through the conversion to a tree (see document).
  bool from_values;
  struct redo { };
  ledger::object_rule objects;

  json_writer (bool pretty_arg, bool preserve_arg, const char *who_arg,
               bool from_values_arg = false)
    : output (), pretty (pretty_arg), preserve (preserve_arg), who (who_arg),
      line (0), stack (), names (), maps (), orders (),
      from_values (from_values_arg), objects ()
  { }

  // A writer of the writing settings S.
  json_writer (const ledger::settings& s, const char *who_arg,
               bool from_values_arg = false)
    : json_writer (s.pretty, s.preserve, who_arg, from_values_arg)
  {
    point = ! s.plain_whole && ! s.canonical;
    if (s.indent == ledger::indent_tab)
      {
        indent_step = 1;
        indent_fill = '\t';
      }
    else
      indent_step = s.indent;
    sorting = s.sort_keys || s.canonical;
    canonical = s.canonical;
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
    std::size_t slice = 0;
    for (std::size_t k = 0; k < frames; k++)
      {
        const frame& f = stack[k];
        // The member being written, through the frame's order if sorted.
        octave_idx_type i = f.next - 1;
        if (f.what & sorted)
          {
            i = orders[slice + i];
            slice += f.count;
          }
        if (! f.is_object ())
          ledger::append_index (pointer, i);
        else if (f.base () == tree_object)
          {
            std::string key;
            double imag;
            ledger::key_text (f.keys[i], key, imag);
            ledger::append_token (pointer, key);
          }
        else
          ledger::append_token (pointer, field (k, i));
      }
    pointer += tail;
    return ledger::place_text (pointer, line);
  }

  std::string here () const { return place (stack.size ()); }

  // The name of field I of the struct or record open at K on the stack.
  const std::string& field (std::size_t k, octave_idx_type i) const
  {
    const frame& f = stack[stack[k].base () == plain_record ? k - 1 : k];
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
    const octave_idx_type i = f.next - 1;
    return ledger::key_place (f.what & sorted
                              ? orders[orders.size () - f.count + i] : i,
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
    if (f.base () == plain_object || f.base () == plain_records)
      names.resize (f.first);
    if (f.base () == plain_records)
      maps.pop_back ();
    if (f.what & sorted)
      orders.resize (orders.size () - f.count);
    stack.pop_back ();
  }

  // JSON Lines: each element of the cell TREE as a compact document on a
  // line of its own.
  void documents (const octave_value& tree)
  {
    if (! tree.iscell ())
      {
        // An ordinary value that ledgertree makes a cell of: rare here.
        if (from_values)
          {
            from_values = false;
            documents (ledger::to_tree (tree, who,
                                        ledger::lines_of_elements));
            return;
          }
        error_with_id ("ledgerkit:tree", "%s: %s.", who,
                       ledger::fault_text (ledger::tree_fault::not_documents,
                                           tree).c_str ());
      }
    const Cell& docs = cell_ref (tree);
    each (docs.numel (), [&] (octave_idx_type i)
      {
        line = i + 1;
        document (docs.xelem (i), 1);
        output += '\n';
      });
  }

  // One document V at the LEVEL of nesting ledgertree would give it.  An
  // ordinary value that the writer does not lay out itself, or that holds
  // a fault, is written again from the start of the document as the tree
  // that the core's conversion makes of it, whose faults are then raised.
  void document (const octave_value& v, int level)
  {
    if (! from_values)
      {
        value (v, 0);
        return;
      }
    const std::size_t start = output.size ();
    try
      {
        value (v, 0, level);
      }
    catch (const redo&)
      {
        output.length = start;
        stack.clear ();
        names.clear ();
        maps.clear ();
        orders.clear ();
        const octave_value tree = ledger::to_tree (v, who, line);
        from_values = false;
        value (tree, 0);
        from_values = true;
      }
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
    if (open (tree_object, keys->data (), values->data (), keys->numel (),
              depth) && sorting)
      sort_members ();
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

  // The bytes that start a pretty line at DEPTH.
  hot std::size_t indent (int depth) const
  {
    return indent_step * static_cast<std::size_t> (depth);
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
        output.append (indent (depth + 1), indent_fill);
      }
  }

  hot void close (int depth, char bracket)
  {
    if (pretty)
      {
        output += '\n';
        output.append (indent (depth), indent_fill);
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
              const double imag = scalar (ledger::index_op (whole, index));
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
        if (canonical)
          vet (a.xelem (i), i);
        number (a.xelem (i));
      });
  }

  // Canonical: refuses element I of an array when canonical JSON cannot
  // hold it, with the element's place.
  void vet (double x, octave_idx_type i)
  {
    if (! std::isfinite (x))
      fail (ledger::tree_fault::not_finite, octave_value (), element (i));
  }
  void vet (float x, octave_idx_type i) { vet (double (x), i); }
  void vet (bool, octave_idx_type) { }
  template <typename T>
  void vet (const octave_int<T>& x, octave_idx_type i)
  {
    double d;
    if (! number_text::exact_double (x.value (), d))
      fail_inexact (x.value (), element (i));
  }

  template <typename T>
  [[noreturn]] void fail_inexact (T x, const std::string& place) const
  {
    if (from_values)
      throw redo ();
    char buf[32];
    ledger::tree_error (who, ledger::fault_text (
                               ledger::tree_fault::inexact_integer,
                               octave_value (),
                               std::string (buf, number_text::digits (buf, x))),
                        place);
  }

  // One element of a numeric or logical array, by its class.
  void number (double x) { floating (x); }
  void number (float x) { floating (x); }
  void number (bool x) { output += x ? "true" : "false"; }
  template <typename T>
  void number (const octave_int<T>& x)
  {
    char buf[40];
    const T y = x.value ();
    char *end;
    double d;
    if (canonical)
      {
        // Elements of flat arrays are vetted with their own places first.
        if (! number_text::exact_double (y, d))
          fail_inexact (y, here ());
        output.append (buf, number_text::canonical_chars (buf, d));
        return;
      }
    if constexpr (std::is_signed_v<T>)
      end = number_text::digits (buf, static_cast<long long> (y));
    else
      end = number_text::digits (buf, static_cast<unsigned long long> (y));
    output.append (buf, end - buf);
  }

  // ------------------------------------------------------ ordinary values
  // Laid out as ledgertree lays them out, without making its tree.  What
  // is rare (a containers.Map, a complex array, a struct array with the
  // fields of an object node) or cannot be written starts the whole value
  // again by redo.

  void ordinary (const octave_value& v, int depth, int level)
  {
    const int type = v.type_id ();
    if (type == octave_scalar::static_type_id ())
      floating (v.double_value ());
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

  // Member I of the container F of an ordinary value, or of a sorted
  // object; the member written is the Ith of its order.  F is a copy: the
  // stack may grow.
  __attribute__ ((noinline))
  void ordinary_member (const frame f, octave_idx_type i)
  {
    separate (i, f.depth);
    if (f.what & sorted)
      i = orders[orders.size () - f.count + i];
    switch (f.base ())
      {
      case tree_object:
        key (f.keys[i]);
        output += pretty ? ": " : ":";
        node (f.items[i], f.depth + 1);
        break;
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
        if (sorting)
          sort_members ();
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

  // ------------------------------------------------------------ sorting

  // A key being sorted: its bytes, in place in the tree or in key_bytes
  // (from AT) for a key that is a number or a logical value.
  struct sort_key
  {
    const char *bytes;
    std::size_t at;
    std::size_t size;
    // The first eight bytes as one number, zeros after a shorter key: two
    // keys whose heads differ are in the order of their heads.
    std::uint64_t head;
  };
  std::vector<sort_key> sort_scratch;
  std::string key_bytes;
  struct rank
  {
    std::uint64_t head;
    octave_idx_type at;
  };
  std::vector<rank> ranks;

  // Orders the members of the object just opened on top of the stack by
  // their keys: a stable sort, so that equal keys keep their order.  The
  // order goes on orders; with Canonical, a key that is not UTF-8 or is
  // twice in the object is refused.
  __attribute__ ((noinline)) void sort_members ()
  {
    frame& top = stack.back ();
    const octave_idx_type n = top.count;
    if (top.base () == tree_object && reuse_order (top))
      return;
    sort_scratch.resize (n);
    key_bytes.clear ();
    for (octave_idx_type i = 0; i < n; i++)
      {
        sort_key& k = sort_scratch[i];
        if (top.base () != tree_object)
          {
            const std::string& name = field (stack.size () - 1, i);
            k = sort_key {name.data (), 0, name.size (), 0};
          }
        else if (! key_in_place (top.keys[i], k))
          {
            std::string spelled;
            double imag;
            const ledger::tree_fault f = ledger::key_text (top.keys[i], spelled,
                                                           imag);
            if (f == ledger::tree_fault::not_real)
              fail_imaginary (imag, member_place (i));
            if (f != ledger::tree_fault::none)
              fail (f, top.keys[i], member_place (i));
            k = sort_key {nullptr, key_bytes.size (), spelled.size (), 0};
            key_bytes += spelled;
          }
      }
    for (octave_idx_type i = 0; i < n; i++)
      {
        sort_key& k = sort_scratch[i];
        if (! k.bytes)
          k.bytes = key_bytes.data () + k.at;
        unsigned char h[8] = {0, 0, 0, 0, 0, 0, 0, 0};
        std::memcpy (h, k.bytes, std::min<std::size_t> (k.size, 8));
        k.head = std::uint64_t (h[0]) << 56 | std::uint64_t (h[1]) << 48
                 | std::uint64_t (h[2]) << 40 | std::uint64_t (h[3]) << 32
                 | std::uint64_t (h[4]) << 24 | std::uint64_t (h[5]) << 16
                 | std::uint64_t (h[6]) << 8 | std::uint64_t (h[7]);
        if (canonical && ! ledger::is_utf8 (k.bytes, k.size))
          fail (ledger::tree_fault::not_utf8, octave_value (),
                member_place (i));
      }
    // The keys' heads and places sorted together: ties of the heads are
    // rare and go to the whole keys, ties of those to the places, which
    // keeps equal keys in their order with the library's unstable sort.
    ranks.resize (n);
    for (octave_idx_type i = 0; i < n; i++)
      ranks[i] = rank {canonical ? 0 : sort_scratch[i].head, i};
    const sort_key *keys = sort_scratch.data ();
    if (canonical)
      std::sort (ranks.begin (), ranks.end (), [keys] (const rank& x,
                                                       const rank& y)
        {
          const sort_key& a = keys[x.at];
          const sort_key& b = keys[y.at];
          if (ledger::utf16_less (a.bytes, a.size, b.bytes, b.size))
            return true;
          if (ledger::utf16_less (b.bytes, b.size, a.bytes, a.size))
            return false;
          return x.at < y.at;
        });
    else
      std::sort (ranks.begin (), ranks.end (), [keys] (const rank& x,
                                                       const rank& y)
        {
          if (x.head != y.head)
            return x.head < y.head;
          const sort_key& a = keys[x.at];
          const sort_key& b = keys[y.at];
          const int c = std::memcmp (a.bytes, b.bytes,
                                     std::min (a.size, b.size));
          if (c != 0)
            return c < 0;
          return a.size != b.size ? a.size < b.size : x.at < y.at;
        });
    const std::size_t base = orders.size ();
    orders.resize (base + n);
    octave_idx_type *order = orders.data () + base;
    for (octave_idx_type i = 0; i < n; i++)
      order[i] = ranks[i].at;
    if (canonical)
      for (octave_idx_type i = 1; i < n; i++)
        {
          const sort_key& a = keys[order[i-1]];
          const sort_key& b = keys[order[i]];
          if (a.size != b.size || std::memcmp (a.bytes, b.bytes, a.size))
            continue;
          if (from_values)
            throw redo ();
          ledger::tree_error (who, ledger::fault_text (
                                       ledger::tree_fault::duplicate_key,
                                       octave_value (),
                                       std::string (b.bytes, b.size)),
                                member_place (order[i]));
        }
    if (top.base () == tree_object && n < known_limit)
      {
        // Kept for the next object of as many keys (see reuse_order).
        if (known.size () <= static_cast<std::size_t> (n))
          known.resize (n + 1);
        known_order& k = known[n];
        k.reps.resize (n);
        for (octave_idx_type i = 0; i < n; i++)
          k.reps[i] = &top.keys[i].get_rep ();
        k.order.assign (orders.end () - n, orders.end ());
      }
    top.what = static_cast<kind> (top.what | sorted);
  }

  // The reader gives equal keys one value, so the objects of one shape
  // (the records of a list) hold the very same keys in the same order:
  // the order of the last object sorted of each count of keys serves an
  // object whose keys are the same values, with nothing sorted.  The keys
  // stay alive in the tree while it is written.
  struct known_order
  {
    std::vector<const octave_base_value *> reps;
    std::vector<octave_idx_type> order;
  };
  std::vector<known_order> known;
  static const octave_idx_type known_limit = 256;

  bool reuse_order (frame& top)
  {
    const octave_idx_type n = top.count;
    if (n >= known_limit || known.size () <= static_cast<std::size_t> (n))
      return false;
    const known_order& k = known[n];
    if (k.reps.size () != static_cast<std::size_t> (n))
      return false;
    for (octave_idx_type i = 0; i < n; i++)
      if (k.reps[i] != &top.keys[i].get_rep ())
        return false;
    orders.insert (orders.end (), k.order.begin (), k.order.end ());
    top.what = static_cast<kind> (top.what | sorted);
    return true;
  }

  // The bytes of the key V in place when it is one row of text.
  static bool key_in_place (const octave_value& v, sort_key& k)
  {
    const int t = v.type_id ();
    if (t != octave_char_matrix_str::static_type_id ()
        && t != octave_char_matrix_sq_str::static_type_id ())
      return false;
    const charNDArray& c = static_cast<const octave_char_matrix&>
                             (v.get_rep ()).matrix_ref ();
    const dim_vector& dv = c.dims ();
    if (dv.ndims () > 2 || dv(0) > 1)
      return false;
    k = sort_key {c.data (), 0, static_cast<std::size_t> (c.numel ()), 0};
    return true;
  }

  // The place of key I of the object on top of the stack, before its
  // members are written.
  std::string member_place (octave_idx_type i) const
  {
    return ledger::key_place (i, place (stack.size () - 1));
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
            if (sorting)
              sort_members ();
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
    else if (canonical && v.isinteger ())
      canonical_integer (v);
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

  // An integer of any class as canonical JSON writes it: as the double
  // that holds it, refused when none holds it exactly.
  void canonical_integer (const octave_value& v)
  {
    double d;
    if (v.is_uint64_type ())
      {
        const std::uint64_t x = v.uint64_array_value ().xelem (0).value ();
        if (! number_text::exact_double (x, d))
          fail_inexact (x, here ());
      }
    else
      {
        const std::int64_t x = v.int64_array_value ().xelem (0).value ();
        if (! number_text::exact_double (x, d))
          fail_inexact (x, here ());
      }
    char buf[40];
    output.append (buf, number_text::canonical_chars (buf, d));
  }

  __attribute__ ((noinline)) void canonical_floating (double x)
  {
    if (! std::isfinite (x))
      fail (ledger::tree_fault::not_finite, octave_value (), here ());
    char *p = output.extend (40);
    output.length -= 40 - number_text::canonical_chars (p, x);
  }

  void floating (double x)
  {
    if (__builtin_expect (canonical, 0))
      {
        canonical_floating (x);
        return;
      }
    if (std::isnan (x))
      output += preserve ? "NaN" : "null";
    else if (std::isinf (x))
      output += ! preserve ? "null" : x > 0 ? "Infinity" : "-Infinity";
    else
      {
        // Written in place; the text takes at most 40 bytes.
        char *p = output.extend (40);
        output.length -= 40 - number_text::double_chars (p, x, point);
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
    if (canonical && ! ledger::is_utf8 (s, n))
      fail (ledger::tree_fault::not_utf8, octave_value (), here ());
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

#endif
