// The converter's walks: a value of a tree by its path, read or replaced,
// and a tree as the ordinary values of jsondecode.  Trees are checked by
// the core's rules, with the writer's words; every walk runs from a stack
// on the heap and looks for Ctrl-C.
//
// Copyright (C) 2026 ledgerkit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#ifndef LEDGERKIT_CONVERT_H
#define LEDGERKIT_CONVERT_H

#include <octave/oct.h>
#include <octave/oct-map.h>
#include <octave/ov-cell.h>
#include <octave/ov-str-mat.h>
#include <octave/ov-scalar.h>
#include <octave/lo-ieee.h>
#include <octave/quit.h>

#include <cmath>
#include <cstdarg>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "core/number_text.h"
#include "core/plain.h"
#include "core/to_tree.h"
#include "core/tree.h"

namespace ledger
{
  // Path messages.  The first %s is the caller; "at %s" is a JSON Pointer.
  namespace path_msg
  {
    static const char *const no_member
      = "%s: no member \"%s\" in the object at %s%s";
    static const char *const no_element
      = "%s: no element %s in the array of %ld elements at %s%s";
    static const char *const not_last
      = " (only the last step of a path can be added)";
    static const char *const not_position
      = "%s: the step %s is not a position, but the value at %s is an array";
    static const char *const position_into_object
      = "%s: the step %s is a position, but the value at %s is an object";
    static const char *const into_leaf
      = "%s: the step %s goes into the value at %s, which is %s, not an "
        "object or array";
    static const char *const pointer_start
      = "%s: the JSON Pointer \"%s\" must be empty or start with \"/\"";
    static const char *const pointer_escape
      = "%s: the JSON Pointer \"%s\" has a \"~\" that is not \"~0\" or "
        "\"~1\"";
    static const char *const bad_step
      = "%s: step %ld of the path must be a text key or a positive whole "
        "number, not %s";
    static const char *const bad_path
      = "%s: PATH must be a JSON Pointer text or a cell array of steps, not "
        "%s";
  }

  // Reaching one value of a tree by a path: ledgerget and ledgerset.
  class path_walk
  {
  public:
    std::string who;

    explicit path_walk (const std::string& who_arg)
      : who (who_arg), maker (who_arg)
    { }

    // One step of a path.  A JSON Pointer token is a key to an object and a
    // position to an array; a step of a cell path is one or the other.
    struct step
    {
      std::string key;
      std::string text;              // a cell path's number as given
      octave_idx_type index = -1;    // from 0; -1 when the step is no position
      bool pointer = false;
      bool is_key = false;
      bool end = false;              // "-": the place after the last element
    };
    std::vector<step> steps;

    // A position beyond any array.
    static constexpr octave_idx_type beyond
      = std::numeric_limits<octave_idx_type>::max () / 2;

    [[noreturn]] void fail (const char *fmt, ...) const
    {
      va_list args;
      va_start (args, fmt);
      verror_with_id ("ledgerkit:path", fmt, args);
    }

    // A pointer as path messages name it.
    static std::string at (const std::string& pointer)
    {
      return pointer.empty () ? "the root" : pointer;
    }

    // A step as the user wrote it.
    static std::string shown (const step& s)
    {
      if (s.pointer)
        return "\"" + s.key + "\"" + (s.index >= 0 ? " (counted from 0)" : "");
      if (s.is_key)
        return "\"" + s.key + "\"";
      return s.text;
    }

    static std::string class_of (const octave_value& v)
    {
      const dim_vector dv = v.dims ();
      if (dv.numel () == 1)
        return "a " + v.class_name ();
      return "a " + dv.str ('x') + " " + v.class_name () + " array";
    }

    // ---- paths ------------------------------------------------------------

    void read_path (const octave_value& path)
    {
      steps.clear ();
      if (path.is_string () && path.rows () <= 1 && path.ndims () == 2)
        read_pointer (path.string_value ());
      else if (path.iscell () && path.ndims () == 2
               && (path.rows () <= 1 || path.columns () <= 1))
        {
          const Cell c = path.cell_value ();
          for (octave_idx_type i = 0; i < c.numel (); i++)
            read_step (c(i), i + 1);
        }
      else
        fail (path_msg::bad_path, who.c_str (), class_of (path).c_str ());
    }

    void read_pointer (const std::string& p)
    {
      if (p.empty ())
        return;
      if (p[0] != '/')
        fail (path_msg::pointer_start, who.c_str (), p.c_str ());
      std::size_t i = 1;
      for (;;)
        {
          std::size_t j = p.find ('/', i);
          if (j == std::string::npos)
            j = p.size ();
          step s;
          s.pointer = true;
          for (std::size_t k = i; k < j; k++)
            {
              if (p[k] != '~')
                s.key += p[k];
              else if (k + 1 < j && (p[k+1] == '0' || p[k+1] == '1'))
                s.key += p[++k] == '0' ? '~' : '/';
              else
                fail (path_msg::pointer_escape, who.c_str (), p.c_str ());
            }
          s.end = s.key == "-";
          s.index = position (s.key);
          steps.push_back (s);
          if (j == p.size ())
            break;
          i = j + 1;
        }
    }

    // The array position a pointer token stands for: digits without a
    // leading zero; -1 for anything else.  One too large for any array is
    // past the end of every one.
    static octave_idx_type position (const std::string& t)
    {
      if (t.empty () || (t[0] == '0' && t.size () > 1))
        return -1;
      octave_idx_type v = 0;
      for (char c : t)
        {
          if (c < '0' || c > '9')
            return -1;
          v = v > 100000000000000 ? v : 10 * v + (c - '0');
        }
      return v;
    }

    // A step of a cell path: a text key, or a whole number from 1 of any
    // class.  A whole number too large for any array is a position past
    // the end of every one, not a fault.
    void read_step (const octave_value& v, octave_idx_type nth)
    {
      step s;
      if (v.is_string () && v.rows () <= 1 && v.ndims () == 2)
        {
          s.is_key = true;
          s.key = v.string_value ();
        }
      else if (v.numel () == 1 && (v.isnumeric () && ! v.iscomplex ()))
        {
          const double x = v.double_value ();
          s.text = v.isinteger () ? integer_text (v)
                                  : number_text::double_string (x, false);
          if (! (x >= 1 && std::isfinite (x) && x == std::floor (x)))
            fail (path_msg::bad_step, who.c_str (), long (nth),
                  s.text.c_str ());
          s.index = x < 1e15 ? static_cast<octave_idx_type> (x) - 1 : beyond;
        }
      else
        fail (path_msg::bad_step, who.c_str (), long (nth),
              class_of (v).c_str ());
      steps.push_back (s);
    }

    // ---- one level --------------------------------------------------------

    // Where step S leads from NODE.
    struct spot
    {
      enum { object, cell, numbers } kind;
      const Cell *keys = nullptr;
      const Cell *values = nullptr;
      octave_idx_type n = 0;
      octave_idx_type i = -1;      // -1 for a missing member
    };

    static const char *leaf_kind (const octave_value& v)
    {
      if (v.isstruct ())
        return "null";
      if (v.is_string ())
        return "text";
      if (v.islogical ())
        return "true or false";
      return "a number";
    }

    // Where step S leads from NODE, at POINTER.  NODE is checked as the
    // writer reads it, and so are all the keys of an object.
    spot locate (const octave_value& node, const step& s,
                 const std::string& pointer)
    {
      spot p;
      const node_kind k = check_here (node, pointer, p, &s.key);
      if (k == node_kind::object)
        {
          if (! s.pointer && ! s.is_key)
            fail (path_msg::position_into_object, who.c_str (),
                  shown (s).c_str (), at (pointer).c_str ());
          return p;
        }
      if (k == node_kind::array)
        p.kind = spot::cell;
      else if ((node.isnumeric () || node.islogical ()) && node.numel () != 1)
        p.kind = spot::numbers;
      else
        fail (path_msg::into_leaf, who.c_str (), shown (s).c_str (),
              at (pointer).c_str (), leaf_kind (node));
      if (s.is_key || (s.pointer && s.index < 0 && ! s.end))
        fail (path_msg::not_position, who.c_str (), shown (s).c_str (),
              at (pointer).c_str ());
      p.n = node.numel ();
      p.i = s.end ? p.n : s.index;
      return p;
    }

    // Checks NODE at POINTER alone, with all its keys when it is an object,
    // as the writer reads it; its cells into P, and the last member of the
    // key KEY, if any, into P.i.
    node_kind check_here (const octave_value& node, const std::string& pointer,
                          spot& p, const std::string *key = nullptr)
    {
      fault_at f;
      const node_kind k = check_node (rule, node, p.keys, p.values, f);
      if (f.what != tree_fault::none)
        raise_fault (who, f, pointer);
      if (k != node_kind::object)
        return k;
      const Cell& keys = *p.keys;
      p.kind = spot::object;
      p.n = keys.numel ();
      for (octave_idx_type j = 0; j < p.n; j++)
        {
          const octave_value& x = keys.xelem (j);
          bool same;
          if (is_text_row (x))
            {
              if (! key)
                continue;
              const charNDArray c = chars_of (x);
              same = c.numel () == static_cast<octave_idx_type> (key->size ())
                     && (key->empty ()
                         || std::memcmp (c.data (), key->data (),
                                         key->size ()) == 0);
            }
          else
            {
              if (! check_key (x, j, text, f))
                raise_fault (who, f, pointer);
              same = key && text == *key;
            }
          if (same)
            p.i = j;
        }
      return k;
    }

    [[noreturn]] void missing (const spot& p, const step& s, bool last,
                               const std::string& pointer) const
    {
      const char *why = last ? "" : path_msg::not_last;
      if (p.kind == spot::object)
        fail (path_msg::no_member, who.c_str (), s.key.c_str (),
              at (pointer).c_str (), why);
      fail (path_msg::no_element, who.c_str (), shown (s).c_str (),
            long (p.n), at (pointer).c_str (), why);
    }

    static octave_value member (const spot& p, const octave_value& node)
    {
      if (p.kind == spot::object)
        return p.values->xelem (p.i);
      if (p.kind == spot::cell)
        return cell_of (node).xelem (p.i);
      return node.fast_elem_extract (p.i);
    }

    // The pointer of the member P leads to, after POINTER.
    static void append (std::string& pointer, const spot& p, const step& s)
    {
      if (p.kind == spot::object)
        append_token (pointer, s.key);
      else
        append_index (pointer, p.i);
    }

    // ---- get --------------------------------------------------------------

    octave_value get (const octave_value& tree, bool quiet, bool& found)
    {
      found = true;
      octave_value node = tree;
      std::string pointer;
      for (const step& s : steps)
        {
          octave_quit ();
          const spot p = locate (node, s, pointer);
          if (p.i < 0 || p.i >= p.n)
            {
              if (! quiet)
                missing (p, s, true, pointer);
              found = false;
              return Matrix ();
            }
          append (pointer, p, s);
          node = member (p, node);
        }
      // The value found is a node on the path too.
      spot here;
      check_here (node, pointer, here);
      return node;
    }

    // ---- set --------------------------------------------------------------

    // TREE with the value at the path replaced by VALUE, an ordinary value
    // made a tree.  Only the containers on the way are new; everything
    // else is shared.  The way down is kept on the heap, then each level is
    // made again from the bottom up.
    octave_value set (const octave_value& tree, const octave_value& value)
    {
      struct level
      {
        octave_value node;
        spot p;
        bool found;
      };
      std::vector<level> down;
      down.reserve (steps.size ());
      octave_value node = tree;
      std::string pointer;
      for (std::size_t k = 0; k < steps.size (); k++)
        {
          octave_quit ();
          const step& s = steps[k];
          const bool last = k + 1 == steps.size ();
          const spot p = locate (node, s, pointer);
          const bool found = p.i >= 0 && p.i < p.n;
          if (! found && ! (last && (p.kind == spot::object || p.i == p.n)))
            missing (p, s, last, pointer);
          if (p.kind == spot::object && ! found)
            append_token (pointer, s.key);
          else
            append (pointer, p, s);
          down.push_back (level { node, p, found });
          if (found)
            node = member (p, node);
        }
      octave_value child = maker.make (value, pointer);
      for (std::size_t k = down.size (); k-- > 0; )
        {
          octave_quit ();
          const level& l = down[k];
          child = rebuilt (l.node, l.p, l.found, steps[k], child);
          // The level's cells are held by its node, released here.
          down.pop_back ();
        }
      return child;
    }

    // NODE with the member at P replaced by CHILD, or CHILD added.  An
    // object's keys and values are columns.
    octave_value rebuilt (const octave_value& node, const spot& p, bool found,
                          const step& s, const octave_value& child)
    {
      if (p.kind == spot::object)
        {
          const dim_vector column (p.n, 1);
          Cell keys = p.keys->reshape (column);
          Cell values = p.values->reshape (column);
          if (found)
            values = replaced (values, p.i, child);
          else
            {
              keys.resize (dim_vector (p.n + 1, 1));
              values.resize (dim_vector (p.n + 1, 1));
              keys(p.n) = octave_value (s.key, '\'');
              values(p.n) = child;
            }
          return object_node (object_fields (), octave_value (keys),
                              octave_value (values));
        }
      Cell items;
      if (p.kind == spot::cell)
        items = cell_of (node);
      else
        items = cell_of_size (dim_vector (p.n, 1), [&] (std::size_t j)
                           { return node.fast_elem_extract (j); });
      if (! found)
        {
          items = grown (items);
          items(p.n) = child;
          return items;
        }
      return replaced (items, p.i, child);
    }

    // A copy of C with element I replaced by X, each element copied once.
    static Cell replaced (const Cell& c, octave_idx_type i,
                          const octave_value& x)
    {
      const octave_value *from = c.data ();
      return cell_of_size (c.dims (), [&] (std::size_t k) -> octave_value
                        {
                          return octave_idx_type (k) == i ? x : from[k];
                        });
    }

    // C with room for one more element at its end: a row of two or more,
    // which can only be made by hand, stays a row; anything else becomes
    // the column the reader makes.
    static Cell grown (const Cell& c)
    {
      const octave_idx_type n = c.numel ();
      Cell out = c;
      if (c.rows () == 1 && c.ndims () == 2 && n > 1)
        out.resize (dim_vector (1, n + 1));
      else
        {
          out = out.reshape (dim_vector (n, 1));
          out.resize (dim_vector (n + 1, 1));
        }
      return out;
    }

  private:
    object_rule rule;
    tree_maker maker;
    std::string text;
  };

  // A tree as the ordinary values of jsondecode: an object a struct, an
  // array of numbers a column, of objects with the same keys a struct array,
  // of arrays of one size a matrix.  The tree is checked first, whole, as
  // the writer reads it.
  class plain_maker
  {
  public:
    std::string who;

    explicit plain_maker (const std::string& who_arg) : who (who_arg) { }

    // The tree is checked as it is converted, each node where it is met.
    // On a fault, the check of the whole tree in the writer's order names
    // the first one, as every function that takes a tree names it.
    octave_value make (const octave_value& tree)
    {
      try
        {
          return convert (tree);
        }
      catch (const fault_seen&)
        {
          check_tree (tree, who);
          trusted = true;
          return convert (tree);
        }
    }

  private:
    struct fault_seen { };
    // True once the check found sound what the conversion took for a fault.
    bool trusted = false;

    void seen ()
    {
      if (! trusted)
        throw fault_seen ();
    }

    octave_value convert (const octave_value& tree)
    {
      frames.clear ();
      stack.clear ();
      octave_value out;
      if (open (tree, out))
        return out;
      for (;;)
        {
          if (++ticks % quit_every == 0)
            octave_quit ();
          frame& f = frames.back ();
          if (f.next < f.count)
            {
              const octave_value& child = member (f, f.next++);
              octave_value y;
              if (open (child, y))
                deliver (y);
              continue;
            }
          octave_value r = finish (frames.back ());
          frames.pop_back ();
          if (frames.empty ())
            return r;
          deliver (r);
        }
    }

    enum kind_of_value { k_double, k_null, k_bool, k_int64, k_uint64, k_text,
                         k_object, k_array, k_other };

    enum kind : unsigned char
    {
      object,    // an object: its values into MAP by LAYOUT
      mixed,     // an array made a cell
      records,   // an array of objects of the same fields: a struct array
      arrays     // an array of arrays, joined when they agree
    };
    struct layout;
    struct frame
    {
      kind what;
      octave_idx_type next;
      octave_idx_type count;
      const Cell *items;
      const layout *shape;
      octave_scalar_map map;
      std::size_t base;
      // records: each element's layout and values
      std::vector<const layout *> shapes;
      std::vector<const Cell *> values;
    };
    std::vector<frame> frames;
    std::vector<octave_value> stack;
    unsigned ticks = 0;

    // The fields of a plain struct made from an object, by its keys.
    struct layout
    {
      std::vector<const octave_base_value *> reps;
      octave_fields fields;
      std::vector<octave_idx_type> slot;   // the field of each member
      std::vector<octave_idx_type> last;   // the last member of each field
    };
    // Trees from the reader share one host value per repeated key, so the
    // keys' identities find an object's layout without reading their text.
    std::unordered_multimap<std::size_t, std::unique_ptr<layout>> layouts;
    const layout *last_layout = nullptr;
    object_rule rule;

    static bool is_numbers (const octave_value& v)
    {
      return (v.isnumeric () || v.islogical ()) && v.numel () != 1;
    }

    static kind_of_value kind_of (const octave_value& v)
    {
      if (is_double_scalar (v))
        return k_double;
      if (is_cell (v))
        return k_array;
      if (v.is_string ())
        return k_text;
      if (v.isstruct ())
        return v.nfields () == 0 ? k_null : k_object;
      if (v.numel () != 1)
        return is_numbers (v) ? k_array : k_other;
      if (v.islogical ())
        return k_bool;
      if (v.is_int64_type ())
        return k_int64;
      if (v.is_uint64_type ())
        return k_uint64;
      if (v.is_double_type () && ! v.iscomplex ())
        return k_double;
      return k_other;
    }

    // The cells of the object node V, which the check found sound.
    void cells (const octave_value& v, const Cell *& keys,
                const Cell *& values)
    {
      octave_value bad;
      if (rule.cells (v, keys, values, bad) != tree_fault::none)
        seen ();
    }

    const octave_value& member (const frame& f, octave_idx_type i) const
    {
      if (f.what != records)
        return f.items->xelem (i);
      // Field by field, element by element.
      const octave_idx_type n = f.shapes.size ();
      const octave_idx_type e = i % n;
      return f.values[e]->xelem (f.shapes[e]->last[i / n]);
    }

    void deliver (const octave_value& y)
    {
      frame& f = frames.back ();
      if (f.what == object)
        f.map.contents (f.shape->slot[f.next - 1]) = y;
      else
        stack.push_back (y);
    }

    frame& push (kind what, const Cell *items, octave_idx_type count)
    {
      frames.emplace_back ();
      frame& f = frames.back ();
      f.what = what;
      f.next = 0;
      f.count = count;
      f.items = items;
      f.shape = nullptr;
      f.base = stack.size ();
      return f;
    }

    // Starts on V: true with its value in OUT when that is done at once,
    // false when a frame was opened for it.
    bool open (const octave_value& v, octave_value& out)
    {
      if (is_double_scalar (v))
        {
          out = v;
          return true;
        }
      if (is_cell (v))
        return array (cell_of (v), out);
      if (v.isstruct ())
        {
          if (v.nfields () == 0)
            {
              out = Matrix ();
              return true;
            }
          const Cell *keys, *values;
          cells (v, keys, values);
          const layout& l = layout_of (*keys);
          frame& f = push (object, values, values->numel ());
          f.shape = &l;
          f.map = octave_scalar_map (l.fields);
          if (f.count == 0)
            {
              out = octave_value (f.map);
              frames.pop_back ();
              return true;
            }
          return false;
        }
      if (v.is_string ())
        {
          if (! is_text_row (v))
            seen ();
          out = v.isempty () ? octave_value (std::string (), '\'') : v;
          return true;
        }
      if (! v.isnumeric () && ! v.islogical ())
        seen ();
      else if (v.iscomplex ())
        {
          fault_at f;
          f.what = tree_fault::none;
          complex_fault (v, f);
          if (f.what != tree_fault::none)
            seen ();
        }
      if (is_numbers (v))
        {
          if (v.isempty ())
            out = Matrix ();
          else
            {
              const octave_value full = v.issparse () ? v.full_value () : v;
              out = full.reshape (dim_vector (v.numel (), 1));
            }
        }
      else
        out = v;
      return true;
    }

    octave_value finish (frame& f)
    {
      switch (f.what)
        {
        case object:
          return octave_value (f.map);
        case mixed:
          return octave_value (take_column (stack, f.base));
        case records:
          {
            const octave_idx_type n = f.shapes.size ();
            const octave_fields& fields = f.shapes[0]->fields;
            const octave_idx_type nf = fields.nfields ();
            octave_map out (dim_vector (n, 1), fields);
            for (octave_idx_type j = 0; j < nf; j++)
              out.contents (j) = take_cell (stack, f.base + j * n,
                                            dim_vector (n, 1));
            stack.resize (f.base);
            return octave_value (out);
          }
        case arrays:
          return joined (f.base, f.count);
        }
      return octave_value ();
    }

    static bool same_reps (const layout& l, const Cell& keys)
    {
      const octave_idx_type n = keys.numel ();
      if (static_cast<octave_idx_type> (l.reps.size ()) != n)
        return false;
      for (octave_idx_type i = 0; i < n; i++)
        if (l.reps[i] != &keys.xelem (i).get_rep ())
          return false;
      return true;
    }

    // The fields of a struct made from an object with KEYS, in the order of
    // their first occurrence; a repeated key's member goes to its field.
    // A field is named by the key's text as the writer writes it.
    const layout& layout_of (const Cell& keys)
    {
      if (last_layout && same_reps (*last_layout, keys))
        return *last_layout;
      std::size_t h = keys.numel ();
      for (octave_idx_type i = 0; i < keys.numel (); i++)
        h = h * 1000003u
            ^ reinterpret_cast<std::uintptr_t> (&keys.xelem (i).get_rep ());
      auto range = layouts.equal_range (h);
      for (auto it = range.first; it != range.second; ++it)
        if (same_reps (*it->second, keys))
          return *(last_layout = it->second.get ());
      std::unique_ptr<layout> l (new layout ());
      std::string name;
      double imag;
      for (octave_idx_type i = 0; i < keys.numel (); i++)
        {
          const octave_value& k = keys.xelem (i);
          if (key_text (k, name, imag) != tree_fault::none)
            seen ();
          l->reps.push_back (&k.get_rep ());
          l->slot.push_back (l->fields.getfield (name));
        }
      l->last.resize (l->fields.nfields ());
      for (octave_idx_type i = 0; i < keys.numel (); i++)
        l->last[l->slot[i]] = i;
      last_layout = l.get ();
      layouts.emplace (h, std::move (l));
      return *last_layout;
    }

    bool array (const Cell& c, octave_value& out)
    {
      const octave_idx_type n = c.numel ();
      if (n == 0)
        {
          out = Matrix ();
          return true;
        }
      unsigned seen = 0;
      for (octave_idx_type i = 0; i < n; i++)
        seen |= 1u << kind_of (c.xelem (i));
      if ((seen & ~((1u << k_double) | (1u << k_null))) == 0)
        out = doubles (c);
      else if (seen == 1u << k_bool)
        out = column<boolNDArray> (c, [] (const octave_value& v)
                                   { return truth (v); });
      else if (seen == 1u << k_int64)
        out = column<int64NDArray> (c, [] (const octave_value& v)
                                    { return v.int64_scalar_value (); });
      else if (seen == 1u << k_uint64)
        out = column<uint64NDArray> (c, [] (const octave_value& v)
                                     { return v.uint64_scalar_value (); });
      else if (seen == 1u << k_object)
        return objects (c);
      else if (seen == 1u << k_array)
        {
          if (number_rows (c, out))
            return true;
          push (arrays, &c, n);
          return false;
        }
      else
        {
          push (mixed, &c, n);
          return false;
        }
      return true;
    }

    static octave_value doubles (const Cell& c)
    {
      const octave_idx_type n = c.numel ();
      NDArray out (dim_vector (n, 1));
      double *p = out.fortran_vec ();
      for (octave_idx_type i = 0; i < n; i++)
        {
          const octave_value& v = c.xelem (i);
          p[i] = is_double_scalar (v) ? v.scalar_value ()
                 : v.isstruct () ? lo_ieee_nan_value () : v.double_value ();
        }
      return octave_value (out);
    }

    template <typename A, typename F>
    static octave_value column (const Cell& c, F value_of)
    {
      const octave_idx_type n = c.numel ();
      A out (dim_vector (n, 1));
      for (octave_idx_type i = 0; i < n; i++)
        out.xelem (i) = value_of (c.xelem (i));
      return octave_value (out);
    }

    // Objects with the same fields in the same order make a struct array;
    // any others a cell of structs.
    bool objects (const Cell& c)
    {
      const octave_idx_type n = c.numel ();
      std::vector<const layout *> ls (n);
      std::vector<const Cell *> vs (n);
      bool same = true;
      for (octave_idx_type i = 0; i < n; i++)
        {
          const Cell *keys;
          cells (c.xelem (i), keys, vs[i]);
          ls[i] = &layout_of (*keys);
          // A struct array takes the last of duplicate keys only: the
          // members it passes over are not met, so the whole check runs.
          if (ls[i]->fields.nfields () != keys->numel ())
            seen ();
          same = same && (ls[i] == ls[0] || same_names (*ls[i], *ls[0]));
        }
      if (! same)
        {
          push (mixed, &c, n);
          return false;
        }
      const octave_idx_type nf = ls[0]->fields.nfields ();
      frame& f = push (records, &c, n * nf);
      f.shapes = std::move (ls);
      f.values = std::move (vs);
      return false;
    }

    static bool same_names (const layout& a, const layout& b)
    {
      return a.fields.is_same (b.fields)
             || same_strings (a.fields.fieldnames (), b.fields.fieldnames ());
    }

    // An array of arrays, its parts made on the stack from BASE.
    octave_value joined (std::size_t base, octave_idx_type n)
    {
      return join_arrays (stack, base, n);
    }

    // Arrays of numbers and nulls, all of one length, as a matrix of a row
    // each: the most common array of arrays, made without a value per row.
    static bool number_rows (const Cell& c, octave_value& out)
    {
      const octave_idx_type n = c.numel ();
      octave_idx_type m = -1;
      for (octave_idx_type i = 0; i < n; i++)
        {
          const octave_value& row = c.xelem (i);
          if (! is_cell (row))
            return false;
          const Cell& r = cell_of (row);
          if (m < 0)
            m = r.numel ();
          if (r.numel () != m || m == 0)
            return false;
          for (octave_idx_type k = 0; k < m; k++)
            {
              // Nearly every element is a double scalar: known at once.
              const octave_value& x = r.xelem (k);
              if (is_double_scalar (x))
                continue;
              const kind_of_value t = kind_of (x);
              if (t != k_null && t != k_double)
                return false;
            }
        }
      NDArray a (dim_vector (n, m));
      double *p = a.fortran_vec ();
      for (octave_idx_type i = 0; i < n; i++)
        {
          const Cell& r = cell_of (c.xelem (i));
          for (octave_idx_type k = 0; k < m; k++)
            {
              const octave_value& x = r.xelem (k);
              p[i + n * k] = is_double_scalar (x) ? x.scalar_value ()
                             : x.isstruct () ? lo_ieee_nan_value ()
                             : x.double_value ();
            }
        }
      out = octave_value (a);
      return true;
    }

  };
}

#endif
