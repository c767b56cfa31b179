// Trees checked and made: the check of a tree as the writer reads it, and
// the tree that an ordinary value (the structs, matrices and cells of
// jsondecode) is laid out as.  Both walk from a stack on the heap, so that
// no depth of nesting can exhaust the call stack, and both let the user
// interrupt them.
//
// Copyright (C) 2026 ledgerkit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#ifndef LEDGERKIT_CORE_TO_TREE_H
#define LEDGERKIT_CORE_TO_TREE_H

#include <octave/oct.h>
#include <octave/oct-map.h>
#include <octave/ov-bool.h>
#include <octave/ov-cell.h>
#include <octave/parse.h>
#include <octave/quit.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "number_text.h"
#include "tree.h"

namespace ledger
{
  // Nodes walked between looks for Ctrl-C.
  constexpr unsigned quit_every = 4096;

  // A fault found in one value, with what its message needs.  The place is
  // the caller's: the value's pointer, then ELEMENT (an element of a flat
  // array) or KEY (a key of an object) when set.
  struct fault_at
  {
    tree_fault what = tree_fault::none;
    octave_value bad;
    std::string imag;
    octave_idx_type keys = 0;
    octave_idx_type values = 0;
    octave_idx_type element = -1;
    octave_idx_type key = -1;
  };

  // Raises F in WHO's name at the value of the JSON Pointer POINTER.
  [[noreturn]] inline void
  raise_fault (const std::string& who, const fault_at& f, std::string pointer,
               octave_idx_type line = 0)
  {
    if (f.element >= 0)
      append_index (pointer, f.element);
    std::string place = place_text (pointer, line);
    if (f.key >= 0)
      place = key_place (f.key, place);
    tree_error (who, fault_text (f.what, f.bad, f.imag, f.keys, f.values),
                place);
  }

  // The first element of the complex array V whose imaginary part is not
  // zero into F, as the writer finds it; nothing when there is none.
  inline void
  complex_fault (const octave_value& v, fault_at& f)
  {
    const bool one = v.numel () == 1;
    auto found = [&] (octave_idx_type i, double imag)
      {
        f.what = tree_fault::not_real;
        f.imag = number_text::double_string (imag, false);
        f.element = one ? -1 : i;
      };
    if (v.is_single_type ())
      {
        const FloatComplexNDArray z = v.float_complex_array_value ();
        for (octave_idx_type i = 0; i < z.numel (); i++)
          if (z.xelem (i).imag () != 0)
            return found (i, z.xelem (i).imag ());
      }
    else
      {
        const ComplexNDArray z = v.complex_array_value ();
        for (octave_idx_type i = 0; i < z.numel (); i++)
          if (z.xelem (i).imag () != 0)
            return found (i, z.xelem (i).imag ());
      }
  }

  // What one tree value is to a walk.
  enum class node_kind { leaf, object, array };

  // Checks the tree value V alone, not what it holds: a leaf whole, an
  // object node's cells (into KEYS and VALUES, not its keys), an array's
  // cell (into VALUES).  A fault goes into F.
  inline node_kind
  check_node (object_rule& rule, const octave_value& v, const Cell *& keys,
              const Cell *& values, fault_at& f)
  {
    if (is_double_scalar (v))
      return node_kind::leaf;
    if (is_cell (v))
      {
        values = &cell_of (v);
        return node_kind::array;
      }
    if (v.isstruct ())
      {
        if (v.nfields () == 0)
          return node_kind::leaf;
        f.what = rule.cells (v, keys, values, f.bad);
        if (f.what == tree_fault::unpaired)
          {
            f.keys = keys->numel ();
            f.values = values->numel ();
          }
        return node_kind::object;
      }
    if (v.is_string ())
      {
        if (! is_text_row (v))
          {
            f.what = tree_fault::not_a_row;
            f.bad = v;
          }
        return node_kind::leaf;
      }
    if (! v.isnumeric () && ! v.islogical ())
      {
        f.what = tree_fault::not_a_value;
        f.bad = v;
      }
    else if (v.iscomplex ())
      complex_fault (v, f);
    return node_kind::leaf;
  }

  // Checks key I of an object, K, as the writer reads it; its text into
  // TEXT.  False with the fault in F.
  inline bool
  check_key (const octave_value& k, octave_idx_type i, std::string& text,
             fault_at& f)
  {
    // A text key is one whatever its text: only other keys need theirs.
    if (is_text_row (k))
      return true;
    double imag;
    f.what = key_text (k, text, imag);
    if (f.what == tree_fault::none)
      return true;
    f.key = i;
    f.bad = k;
    if (f.what == tree_fault::not_real)
      f.imag = number_text::double_string (imag, false);
    return false;
  }

  // The check of a whole tree: refuses what the writer refuses, with its
  // words, at the same place, the first fault in the order of writing.
  class tree_checker
  {
  public:
    std::string who;
    octave_idx_type line;

    explicit tree_checker (const std::string& who_arg,
                           octave_idx_type line_arg = 0)
      : who (who_arg), line (line_arg)
    { }

    // Checks V, whose JSON Pointer in a greater value is POINTER_OF_V.
    void check (const octave_value& v, const std::string& pointer_of_v = "")
    {
      stack.clear ();
      base = &pointer_of_v;
      visit (v);
      while (! stack.empty ())
        {
          if (++ticks % quit_every == 0)
            octave_quit ();
          frame& f = stack.back ();
          if (f.next == f.count)
            {
              stack.pop_back ();
              continue;
            }
          const octave_idx_type i = f.next++;
          if (f.keys)
            {
              fault_at bad;
              if (! check_key (f.keys->xelem (i), i, token, bad))
                raise_fault (who, bad, pointer (stack.size () - 1), line);
            }
          visit (f.items->xelem (i));
        }
    }

    object_rule rule;

  private:
    struct frame
    {
      const Cell *keys;
      const Cell *items;
      octave_idx_type next;
      octave_idx_type count;
    };
    std::vector<frame> stack;
    const std::string *base = nullptr;
    std::string token;
    unsigned ticks = 0;

    void visit (const octave_value& v)
    {
      const Cell *keys = nullptr;
      const Cell *values = nullptr;
      fault_at f;
      const node_kind k = check_node (rule, v, keys, values, f);
      if (f.what != tree_fault::none)
        raise_fault (who, f, pointer (stack.size ()), line);
      if (k == node_kind::leaf || values->numel () == 0)
        return;
      stack.push_back (frame { k == node_kind::object ? keys : nullptr,
                               values, 0, values->numel () });
    }

    // The pointer of the member being checked in each of the first FRAMES.
    std::string pointer (std::size_t frames)
    {
      std::string p = *base;
      double imag;
      for (std::size_t k = 0; k < frames; k++)
        {
          const frame& f = stack[k];
          if (f.keys)
            {
              key_text (f.keys->xelem (f.next - 1), token, imag);
              append_token (p, token);
            }
          else
            append_index (p, f.next - 1);
        }
      return p;
    }
  };

  // Lays out an ordinary value as a tree: a struct is an object of its
  // fields, a struct array and a cell an array, a matrix nested arrays of
  // its rows, text a row; a containers.Map an object of its keys.  An
  // object node found in it is a tree as it stands, checked as one.
  // Whatever is already a tree is shared, not copied.
  class tree_maker
  {
  public:
    std::string who;
    octave_idx_type line;

    explicit tree_maker (const std::string& who_arg,
                         octave_idx_type line_arg = 0)
      : who (who_arg), line (line_arg), checker (who_arg, line_arg),
        fields (object_fields ())
    { }

    // The tree of V, whose JSON Pointer in a greater tree is POINTER_OF_V.
    octave_value make (const octave_value& v,
                       const std::string& pointer_of_v = "")
    {
      base = &pointer_of_v;
      stack.clear ();
      frames.clear ();
      names.clear ();
      octave_value out;
      bool changed = open (v, out);
      while (! frames.empty ())
        {
          if (++ticks % quit_every == 0)
            octave_quit ();
          frame& f = frames.back ();
          if (f.next < f.count)
            {
              const octave_value child = member (f, f.next++);
              octave_value y;
              if (is_double_scalar (child))
                deliver (false, y, child);
              else
                {
                  const std::size_t depth = frames.size ();
                  const bool c = open (child, y);
                  if (frames.size () == depth)
                    deliver (c, y, child);
                }
              continue;
            }
          changed = finish (frames.back (), out);
          const octave_value self = frames.back ().self;
          frames.pop_back ();
          if (frames.empty ())
            break;
          deliver (changed, out, self);
        }
      return changed ? out : v;
    }

  private:
    enum kind : unsigned char
    {
      cells,      // a cell: ITEMS, a copy made at the first change
      fields_of,  // a struct: its field values, names from FIRST
      records,    // a struct array: element by element, field by field
      map_of      // a containers.Map: its values, its keys' texts in KEYS
    };
    struct frame
    {
      kind what;
      octave_idx_type next;
      octave_idx_type count;
      Cell items;
      Cell copy;
      bool changed;
      // A struct's fields: its map in place (MAP, held alive by HELD), or
      // a copy of it (ONE), which moves with the frame.
      octave_scalar_map one;
      const octave_scalar_map *map = nullptr;
      octave_value held;
      octave_map many;
      std::vector<Cell> columns;
      std::size_t first;
      std::size_t base;
      Cell keys;
      // The cell walked, for its parent when nothing in it changed.
      octave_value self;
    };
    std::vector<frame> frames;
    // Results for the frames, innermost last.
    std::vector<octave_value> stack;
    // The field names of the structs open, pointing into their own lists.
    std::vector<const std::string *> names;

    // Key cells of structs made into objects, by their field names.
    struct key_entry
    {
      std::vector<std::string> names;
      Cell keys;
    };
    std::unordered_multimap<std::size_t, key_entry> key_cells;

    tree_checker checker;
    octave_fields fields;
    const std::string *base = nullptr;
    unsigned ticks = 0;

    // ---- where -------------------------------------------------------

    std::string pointer () const
    {
      std::string p = *base;
      for (const frame& f : frames)
        {
          const octave_idx_type i = f.next - 1;
          switch (f.what)
            {
            case cells:
              append_index (p, i);
              break;
            case fields_of:
              append_token (p, *names[f.first + i]);
              break;
            case records:
              {
                const octave_idx_type nf = f.columns.size ();
                append_index (p, i / nf);
                append_token (p, *names[f.first + i % nf]);
              }
              break;
            case map_of:
              {
                const charNDArray c = f.keys.xelem (i).char_array_value ();
                append_token (p, c.data (), c.numel ());
              }
              break;
            }
        }
      return p;
    }

    [[noreturn]] void fail (const fault_at& f) const
    {
      raise_fault (who, f, pointer (), line);
    }

    [[noreturn]] void fail (tree_fault what, const octave_value& v) const
    {
      fault_at f;
      f.what = what;
      f.bad = v;
      fail (f);
    }

    // ---- the walk ----------------------------------------------------

    const octave_value member (const frame& f, octave_idx_type i) const
    {
      switch (f.what)
        {
        case cells:
        case map_of:
          return f.items.xelem (i);
        case fields_of:
          return fields_map (f).contents (i);
        case records:
          {
            const octave_idx_type nf = f.columns.size ();
            return f.columns[i % nf].xelem (i / nf);
          }
        }
      return octave_value ();
    }

    // The result of the member just walked of the frame on top: OUT when
    // CHANGED, else the member X itself.
    void deliver (bool changed, const octave_value& out, const octave_value& x)
    {
      frame& f = frames.back ();
      if (f.what == cells)
        {
          if (changed)
            {
              if (! f.changed)
                f.copy = f.items;
              f.changed = true;
              f.copy(f.next - 1) = out;
            }
          return;
        }
      stack.push_back (changed ? out : x);
    }

    // The result of the frame F, all its members walked, into OUT; false
    // when that is the cell the frame walked, unchanged.
    bool finish (frame& f, octave_value& out)
    {
      if (f.what == cells)
        {
          if (f.changed)
            out = octave_value (f.copy);
          return f.changed;
        }
      out = result (f);
      return true;
    }

    octave_value result (frame& f)
    {
      switch (f.what)
        {
        case cells:
          return octave_value (f.copy);
        case fields_of:
          {
            const octave_value values (take_column (stack, f.base));
            const octave_value keys (key_cell (f.first));
            names.resize (f.first);
            return object_node (fields, keys, values);
          }
        case records:
          {
            const octave_idx_type nf = f.columns.size ();
            const octave_idx_type n = nf ? f.count / nf : 0;
            const octave_value keys (key_cell (f.first));
            names.resize (f.first);
            // One object per element, made in place of its first value;
            // millions of them take a while, so Ctrl-C is looked for.
            for (octave_idx_type i = 0; i < n; i++)
              {
                if (i % quit_every == 0)
                  octave_quit ();
                const octave_value values
                  (take_cell (stack, f.base + i * nf, dim_vector (nf, 1)));
                stack[f.base + i * nf] = object_node (fields, keys, values);
              }
            Cell out = take_cell (stack, f.base, dim_vector (n, 1), nf);
            stack.resize (f.base);
            return octave_value (out);
          }
        case map_of:
          return object_node (fields, octave_value (f.keys),
                              octave_value (take_column (stack, f.base)));
        }
      return octave_value ();
    }

    static const octave_scalar_map& fields_map (const frame& f)
    {
      return f.map ? *f.map : f.one;
    }

    frame& push (kind what, octave_idx_type count)
    {
      frames.emplace_back ();
      frame& f = frames.back ();
      f.what = what;
      f.next = 0;
      f.count = count;
      f.changed = false;
      f.first = names.size ();
      f.base = stack.size ();
      return f;
    }

    // Starts on V: true with its tree in OUT when that is done at once or
    // V is not a tree as it stands, false when V is a tree as it stands.
    // A container opens a frame instead (and the result is the frame's).
    bool open (const octave_value& v, octave_value& out)
    {
      if (is_double_scalar (v))
        return false;
      if (is_cell (v))
        {
          const Cell& c = cell_of (v);
          if (c.numel () > 0)
            {
              frame& f = push (cells, c.numel ());
              f.items = c;
              f.self = v;
            }
          return false;
        }
      if (v.is_string ())
        return text_tree (v, out);
      if (v.type_id () == octave_bool::static_type_id ())
        return false;
      if (v.isstruct ())
        return struct_tree (v, out);
      if (v.isnumeric () || v.islogical ())
        return number_tree (v, out);
      if (v.is_classdef_object () && v.class_name () == "containers.Map")
        {
          map_tree (v);
          return true;
        }
      fail (tree_fault::not_a_value, v);
    }

    bool struct_tree (const octave_value& v, octave_value& out)
    {
      const octave_idx_type n = v.numel ();
      if (v.nfields () == 0)
        {
          const dim_vector dv = v.dims ();
          if (n == 0 && dv.ndims () == 2 && dv(0) == 0 && dv(1) == 0)
            return false;
          if (n == 0)
            out = null_value ();
          else if (n == 1)
            out = empty_object ();
          else
            out = cell_of_size (dim_vector (n, 1), [&] (std::size_t)
                             { return empty_object (); });
          return true;
        }
      if (n == 1)
        {
          // The map is read in place where the value hands it out.
          const octave_scalar_map *in_place = scalar_map_of (v);
          octave_scalar_map copy;
          if (! in_place)
            {
              copy = v.scalar_map_value ();
              in_place = &copy;
            }
          if (checker.rule.is_node (*in_place))
            {
              checker.check (v, pointer ());
              return false;
            }
          const octave_idx_type nf = in_place->nfields ();
          frame& f = push (fields_of, nf);
          if (in_place == &copy)
            f.one = std::move (copy);
          else
            {
              // The value holds the map alive while the frame is open.
              f.held = v;
              f.map = in_place;
            }
          names.resize (f.first + nf);
          const octave_scalar_map& m = fields_map (f);
          for (auto p = m.begin (); p != m.end (); ++p)
            names[f.first + m.index (p)] = &p->first;
          return true;
        }
      const octave_map m = v.map_value ();
      if (object_rule::node_fields (m))
        fail (tree_fault::struct_array, v);
      const octave_idx_type nf = m.nfields ();
      frame& f = push (records, n * nf);
      f.many = m;
      f.columns.resize (nf);
      for (octave_idx_type j = 0; j < nf; j++)
        f.columns[j] = f.many.contents (j);
      names.resize (f.first + nf);
      for (auto p = f.many.begin (); p != f.many.end (); ++p)
        names[f.first + f.many.index (p)] = &p->first;
      if (n * nf == 0)
        {
          // No member to walk: done at once.
          out = result (f);
          frames.pop_back ();
        }
      return true;
    }

    octave_value empty_object () const
    {
      return object_node (fields, Cell (0, 1), Cell (0, 1));
    }

    // One key cell for all structs with the field names from FIRST on.
    Cell key_cell (std::size_t first)
    {
      const std::size_t n = names.size () - first;
      std::size_t h = n;
      for (std::size_t j = first; j < names.size (); j++)
        h = h * 1000003u ^ std::hash<std::string> () (*names[j]);
      auto range = key_cells.equal_range (h);
      for (auto it = range.first; it != range.second; ++it)
        {
          const std::vector<std::string>& known = it->second.names;
          bool same = known.size () == n;
          for (std::size_t j = 0; same && j < n; j++)
            same = known[j] == *names[first + j];
          if (same)
            return it->second.keys;
        }
      key_entry e;
      for (std::size_t j = first; j < names.size (); j++)
        e.names.push_back (*names[j]);
      e.keys = cell_of_size (dim_vector (n, 1), [&] (std::size_t j)
                          { return octave_value (e.names[j], '\''); });
      return key_cells.emplace (h, std::move (e))->second.keys;
    }

    // A containers.Map: an object of its keys in the map's order.
    void map_tree (const octave_value& v)
    {
      const Cell keys = octave::feval ("keys", ovl (v), 1)(0).cell_value ();
      const Cell values
        = octave::feval ("values", ovl (v), 1)(0).cell_value ();
      const octave_idx_type n = keys.numel ();
      std::string text;
      double imag;
      Cell k = cell_of_size (dim_vector (n, 1), [&] (std::size_t i)
        {
          key_text (keys(i), text, imag);
          return octave_value (text, '\'');
        });
      frame& f = push (map_of, n);
      f.keys = k;
      f.items = values;
    }

    // A row is text as it is; any other vector is its characters in order,
    // a matrix an array of its rows, as jsonencode writes them.
    bool text_tree (const octave_value& v, octave_value& out)
    {
      const dim_vector dv = v.dims ();
      const octave_idx_type n = dv.numel ();
      if (dv.ndims () == 2 && (dv(0) == 1 || (dv(0) == 0 && dv(1) == 0)))
        return false;
      if (n == 0)
        out = octave_value (std::string (), '\'');
      else if (is_vector (dv))
        out = octave_value (v.char_array_value ().reshape (dim_vector (1, n)),
                            '\'');
      else
        out = nest (v, dv, 1);
      return true;
    }

    static bool is_vector (const dim_vector& dv)
    {
      octave_idx_type big = 0;
      for (int j = 0; j < dv.ndims (); j++)
        big = std::max (big, dv(j));
      return dv.numel () == big;
    }

    bool number_tree (const octave_value& v, octave_value& out)
    {
      if (! v.issparse () && ! v.iscomplex () && ! v.is_range ()
          && v.numel () <= 1)
        return false;
      octave_value x = v;
      bool changed = false;
      if (x.issparse ())
        {
          x = x.full_value ();
          changed = true;
        }
      if (x.iscomplex ())
        {
          x = real_part (x);
          changed = true;
        }
      if (x.is_range ())
        {
          x = octave_value (x.array_value ());
          changed = true;
        }
      const dim_vector dv = x.dims ();
      if (! (dv.numel () <= 1 || is_vector (dv)))
        {
          x = nest (x, dv, dv.ndims () - 1);
          changed = true;
        }
      if (changed)
        out = x;
      return changed;
    }

    // The real part of V, refused when an imaginary part is not zero.  The
    // element at fault is named where the tree puts it: a vector's by its
    // position, a matrix's by its place in the nested arrays, which run
    // along the dimensions in order.
    octave_value real_part (const octave_value& v) const
    {
      fault_at f;
      complex_fault (v, f);
      if (f.what != tree_fault::none)
        {
          std::string p = pointer ();
          const dim_vector dv = v.dims ();
          if (f.element >= 0 && ! is_vector (dv))
            {
              octave_idx_type i = f.element;
              for (int j = 0; j < dv.ndims (); j++)
                {
                  append_index (p, i % dv(j));
                  i /= dv(j);
                }
            }
          else if (f.element >= 0)
            append_index (p, f.element);
          f.element = -1;
          raise_fault (who, f, p, line);
        }
      if (v.is_single_type ())
        return octave_value (real (v.float_complex_array_value ()));
      return octave_value (real (v.complex_array_value ()));
    }

    // An array of more than one dimension as nested arrays: the first
    // dimension outermost, then the others in order but LEAF, along which
    // the innermost values run.
    octave_value nest (const octave_value& v, const dim_vector& dv, int leaf)
    {
      std::vector<int> outer;
      for (int j = 0; j < dv.ndims (); j++)
        if (j != leaf)
          outer.push_back (j);
      std::vector<octave_idx_type> stride (dv.ndims (), 1);
      for (int j = 1; j < dv.ndims (); j++)
        stride[j] = stride[j-1] * dv(j-1);
      switch (v.builtin_type ())
        {
        case btyp_double: return nested (v.array_value (), dv, outer, stride, leaf);
        case btyp_float: return nested (v.float_array_value (), dv, outer, stride, leaf);
        case btyp_bool: return nested (v.bool_array_value (), dv, outer, stride, leaf);
        case btyp_char: return nested (v.char_array_value (), dv, outer, stride, leaf);
        case btyp_int8: return nested (v.int8_array_value (), dv, outer, stride, leaf);
        case btyp_int16: return nested (v.int16_array_value (), dv, outer, stride, leaf);
        case btyp_int32: return nested (v.int32_array_value (), dv, outer, stride, leaf);
        case btyp_int64: return nested (v.int64_array_value (), dv, outer, stride, leaf);
        case btyp_uint8: return nested (v.uint8_array_value (), dv, outer, stride, leaf);
        case btyp_uint16: return nested (v.uint16_array_value (), dv, outer, stride, leaf);
        case btyp_uint32: return nested (v.uint32_array_value (), dv, outer, stride, leaf);
        case btyp_uint64: return nested (v.uint64_array_value (), dv, outer, stride, leaf);
        default:
          return nested (v.array_value (), dv, outer, stride, leaf);
        }
    }

    // The levels of nesting are the array's dimensions, of which an array
    // of more than one element has few that are not 1: this recursion is
    // as deep as the dimensions, not as the data.
    template <typename A>
    octave_value nested (const A& a, const dim_vector& dv,
                         const std::vector<int>& outer,
                         const std::vector<octave_idx_type>& stride, int leaf,
                         std::size_t level = 0, octave_idx_type offset = 0)
    {
      if (level == outer.size ())
        {
          const octave_idx_type m = dv(leaf);
          A row (dim_vector (1, m));
          for (octave_idx_type k = 0; k < m; k++)
            row.xelem (k) = a.xelem (offset + k * stride[leaf]);
          return leaf_value (row);
        }
      const int d = outer[level];
      const std::size_t at = stack.size ();
      for (octave_idx_type i = 0; i < dv(d); i++)
        stack.push_back (nested (a, dv, outer, stride, leaf, level + 1,
                                 offset + i * stride[d]));
      return octave_value (take_column (stack, at));
    }

    template <typename A>
    static octave_value leaf_value (const A& row) { return octave_value (row); }
    static octave_value leaf_value (const charNDArray& row)
    {
      return octave_value (row, '\'');
    }
  };

  // The tree of the ordinary value V, faults raised in WHO's name; LINE
  // from 1 names the JSON Lines line in their places.
  inline octave_value
  to_tree (const octave_value& v, const std::string& who,
           octave_idx_type line = 0)
  {
    tree_maker maker (who, line);
    return maker.make (v);
  }

  // Checks the tree V as the writer reads it, faults raised in WHO's name.
  inline void
  check_tree (const octave_value& v, const std::string& who,
              octave_idx_type line = 0)
  {
    tree_checker checker (who, line);
    checker.check (v);
  }
}

#endif
