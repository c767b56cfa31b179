// The tree's form and rules, once for every module: what each JSON kind is
// as an interpreter value, what an object node is and what a malformed one
// is, the limits, the null and empty values, how a Cell is made from values
// gathered on a stack, and how a fault and its place are worded.
//
// Copyright (C) 2026 ledgerkit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#ifndef LEDGERKIT_CORE_TREE_H
#define LEDGERKIT_CORE_TREE_H

#include <octave/oct.h>
#include <octave/oct-map.h>
#include <octave/ov-cell.h>
#include <octave/ov-scalar.h>
#include <octave/ov-str-mat.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "portable.h"

namespace ledger
{
  // 2^53: every whole number up to it is a double exactly; an integer
  // literal beyond it in magnitude is kept as int64 or uint64.
  constexpr double two53 = 9007199254740992.0;
  constexpr std::uint64_t two53_int = std::uint64_t (1) << 53;

  // Nesting: the reader's default limit (the option MaxDepth), and the
  // highest it may be set to.  The writer writes no deeper than that, so
  // that whatever the package writes it can read back.
  constexpr int default_depth = 64;
  constexpr int depth_limit = 10000;

  // ---- the values of the JSON kinds ---------------------------------------

  // An object node: a 1-by-1 struct with exactly these two fields, in this
  // order, each a cell of one member per row.
  inline const char *const *
  object_field_names ()
  {
    static const char *const names[] = { "keys", "values", nullptr };
    return names;
  }

  inline octave_fields
  object_fields ()
  {
    return octave_fields (object_field_names ());
  }

  inline octave_value
  object_node (const octave_fields& fields, const octave_value& keys,
               const octave_value& values)
  {
    octave_scalar_map m (fields);
    m.contents (0) = keys;
    m.contents (1) = values;
    return octave_value (m);
  }

  // null: a 0-by-0 struct array without fields.
  inline octave_value
  null_value ()
  {
    return octave_value (octave_map (dim_vector (0, 0)));
  }

  inline bool
  is_double_scalar (const octave_value& v)
  {
    return v.type_id () == octave_scalar::static_type_id ();
  }

  inline bool
  is_cell (const octave_value& v)
  {
    return v.type_id () == octave_cell::static_type_id ();
  }

  // The cell that V, a cell array, holds, read in place.
  inline const Cell&
  cell_of (const octave_value& v)
  {
    return static_cast<const octave_cell&> (v.get_rep ()).matrix_ref ();
  }

  // The map of a scalar struct, read in place; null for any other value.
  inline const octave_scalar_map *
  scalar_map_of (const octave_value& v)
  {
    const octave_scalar_map *m = nullptr;
    if (v.get_rep ().fast_elem_insert_self (&m, btyp_struct))
      return m;
    return nullptr;
  }

  // A character row as text: of one row (or 0-by-0) and two dimensions.
  // A string value's dimensions are read in place: every key of a tree is
  // asked this.
  inline bool
  is_text_row (const octave_value& v)
  {
    const int t = v.type_id ();
    if (t == octave_char_matrix_str::static_type_id ()
        || t == octave_char_matrix_sq_str::static_type_id ())
      {
        const dim_vector& dv = static_cast<const octave_char_matrix&>
                                 (v.get_rep ()).matrix_ref ().dims ();
        return dv.ndims () == 2 && dv(0) <= 1;
      }
    const dim_vector dv = v.dims ();
    return v.is_string () && dv.ndims () == 2 && dv(0) <= 1;
  }

  // The bytes of a character array, in place where it is a string value.
  inline charNDArray
  chars_of (const octave_value& v)
  {
    const int t = v.type_id ();
    if (t == octave_char_matrix_str::static_type_id ()
        || t == octave_char_matrix_sq_str::static_type_id ())
      return static_cast<const octave_char_matrix&> (v.get_rep ())
             .matrix_ref ();
    return v.char_array_value ();
  }

  // ---- faults -------------------------------------------------------------

  // Every way a value can fail to be a tree, worded once.  Each message is
  // "WHO: WHAT (PLACE)." with the identifier ledgerkit:tree.
  enum class tree_fault
  {
    none,
    not_a_value,        // a value of no JSON kind: a function handle, ...
    not_a_row,          // a character array of other than one row
    not_real,           // a complex number with an imaginary part
    not_a_key,          // a key that is no text, number or logical value
    keys_not_cell,      // the field keys of an object is no cell
    values_not_cell,    // the field values of an object is no cell
    wrong_fields,       // a struct of other fields than keys and values
    struct_array,       // a struct array where an object must stand
    unpaired,           // more keys than values, or fewer
    too_deep,           // nesting deeper than any reading can take
    not_documents,      // JSON Lines of something other than a cell
    // Canonical JSON holds one text per value, and so refuses:
    not_finite,         // NaN or an infinity
    inexact_integer,    // an integer that no double holds exactly
    duplicate_key,      // a key twice in one object
    not_utf8            // text that is not UTF-8
  };

  // "a 1x2 double", "a 2x3 char array", "a 1x1 function_handle".
  inline std::string
  describe (const octave_value& v)
  {
    const std::string c = v.class_name ();
    return "a " + v.dims ().str () + " " + c + (c == "char" ? " array" : "");
  }

  // The text of a fault about the value V; DETAIL is the imaginary part
  // of a complex number, the digits of an integer or the text of a key,
  // KEYS and VALUES the counts of an unpaired object.
  inline std::string
  fault_text (tree_fault f, const octave_value& v,
              const std::string& detail = "", octave_idx_type keys = 0,
              octave_idx_type values = 0)
  {
    const std::string& imag = detail;
    switch (f)
      {
      case tree_fault::not_a_value:
        return describe (v) + " cannot be written as JSON";
      case tree_fault::not_a_row:
        return describe (v) + " is not one row of text";
      case tree_fault::not_real:
        return "a complex number with the imaginary part " + imag
               + " cannot be written";
      case tree_fault::not_a_key:
        return "a key must be one text, one number or one logical value, "
               "not " + describe (v);
      case tree_fault::keys_not_cell:
        return "the field 'keys' of an object must be a cell array, not "
               + describe (v);
      case tree_fault::values_not_cell:
        return "the field 'values' of an object must be a cell array, not "
               + describe (v);
      case tree_fault::wrong_fields:
        return "an object needs the fields 'keys' and 'values' and no others";
      case tree_fault::struct_array:
        return describe (v) + " array is not an object: an object is one "
               "struct with the fields 'keys' and 'values'";
      case tree_fault::unpaired:
        return std::string ("an object has ")
               + (values < keys ? "fewer" : "more") + " values than keys "
               "(keys: " + std::to_string (keys) + ", values: "
               + std::to_string (values) + ")";
      case tree_fault::too_deep:
        return "the value is nested deeper than "
               + std::to_string (depth_limit)
               + " levels, more than can be read back";
      case tree_fault::not_documents:
        return "with JSON Lines the tree must be a cell array of documents, "
               "not " + describe (v);
      case tree_fault::not_finite:
        return "canonical JSON has no NaN or infinities";
      case tree_fault::inexact_integer:
        return "the integer " + detail + " is not a double exactly, as "
               "canonical JSON needs";
      case tree_fault::duplicate_key:
        return "the key \"" + detail + "\" is in the object twice; "
               "canonical JSON needs each key once";
      case tree_fault::not_utf8:
        return "text that is not UTF-8 cannot be written as canonical "
               "JSON";
      case tree_fault::none:
        break;
      }
    return "";
  }

  // ---- places -------------------------------------------------------------

  // TOKEN as one step of a JSON Pointer: "/" first, "~" and "/" escaped.
  inline void
  append_token (std::string& pointer, const char *token, std::size_t n)
  {
    pointer += '/';
    for (std::size_t i = 0; i < n; i++)
      {
        const char c = token[i];
        if (c == '~')
          pointer += "~0";
        else if (c == '/')
          pointer += "~1";
        else
          pointer += c;
      }
  }

  inline void
  append_token (std::string& pointer, const std::string& token)
  {
    append_token (pointer, token.data (), token.size ());
  }

  inline void
  append_index (std::string& pointer, octave_idx_type i)
  {
    pointer += '/';
    pointer += std::to_string (i);
  }

  // LINE for a value whose elements are the documents of JSON Lines: the
  // first step of a place is then its document's line.
  constexpr octave_idx_type lines_of_elements = -1;

  // The place of a value as a message names it: its JSON Pointer, and with
  // JSON Lines (LINE from 1) its line.
  inline std::string
  place_text (std::string pointer, octave_idx_type line = 0)
  {
    if (line == lines_of_elements)
      {
        const std::size_t end = std::min (pointer.find ('/', 1),
                                          pointer.size ());
        const std::string step = pointer.substr (std::min<std::size_t> (1, pointer.size ()), end - 1);
        line = 0;
        if (! step.empty ()
            && step.find_first_not_of ("0123456789") == std::string::npos)
          {
            line = std::stol (step) + 1;
            pointer.erase (0, end);
          }
      }
    if (line > 0)
      return (pointer.empty () ? "at the top of line "
                               : "at " + pointer + " in line ")
             + std::to_string (line);
    return pointer.empty () ? "at the top of the tree" : "at " + pointer;
  }

  // The place of key I (from 0) of the object at the place PLACE.
  inline std::string
  key_place (octave_idx_type i, const std::string& place)
  {
    return "key " + std::to_string (i + 1) + " of the object " + place;
  }

  [[noreturn]] inline void
  tree_error (const std::string& who, const std::string& what,
              const std::string& place)
  {
    error_with_id ("ledgerkit:tree", "%s: %s (%s).", who.c_str (),
                   what.c_str (), place.c_str ());
  }

  // ---- the object rule ----------------------------------------------------

  // Tells object nodes apart from other structs, and finds their cells.  A
  // tree's nodes share one field list, so the places of keys and values are
  // looked up once per list, not once per node.
  class object_rule
  {
  public:
    // The cells of the object node that the struct V (with fields) is, or
    // the fault that makes it none.  On a fault, BAD is the value that the
    // message describes.
    tree_fault cells (const octave_value& v, const Cell *& keys,
                      const Cell *& values, octave_value& bad)
    {
      const octave_scalar_map *m = scalar_map_of (v);
      if (! m)
        {
          if (v.numel () != 1)
            {
              bad = v;
              return tree_fault::struct_array;
            }
          held = v.scalar_map_value ();
          m = &held;
        }
      if (! find (*m))
        return tree_fault::wrong_fields;
      const octave_value& k = m->contents (at_keys);
      const octave_value& x = m->contents (at_values);
      if (! is_cell (k))
        {
          bad = k;
          return tree_fault::keys_not_cell;
        }
      if (! is_cell (x))
        {
          bad = x;
          return tree_fault::values_not_cell;
        }
      keys = &cell_of (k);
      values = &cell_of (x);
      if (keys->numel () != values->numel ())
        return tree_fault::unpaired;
      return tree_fault::none;
    }

    // True when the 1-by-1 struct M is an object node inside an ordinary
    // value: exactly the fields keys and values, both cells.
    bool is_node (const octave_scalar_map& m)
    {
      return find (m) && is_cell (m.contents (at_keys))
             && is_cell (m.contents (at_values));
    }

    // True when a struct array with the field names of M would be taken
    // for object nodes: exactly the fields keys and values.
    static bool node_fields (const octave_map& m)
    {
      return m.nfields () == 2 && m.isfield ("keys") && m.isfield ("values");
    }

  private:
    octave_scalar_map known;
    octave_scalar_map held;
    octave_idx_type at_keys = -1;
    octave_idx_type at_values = -1;

    // True when M has exactly the fields keys and values; their places
    // are then at_keys and at_values.
    bool find (const octave_scalar_map& m)
    {
      if (m.nfields () != 2)
        return false;
      if (m.begin () != known.begin ())
        {
          known = m;
          at_keys = index (m, "keys");
          at_values = index (m, "values");
        }
      return at_keys >= 0 && at_values >= 0;
    }

    static octave_idx_type index (const octave_scalar_map& m,
                                  const char *name)
    {
      const auto p = m.seek (name);
      return p == m.end () ? -1 : m.index (p);
    }
  };

  // ---- cells --------------------------------------------------------------

  // The values STACK[BASE + OFFSET], STACK[BASE + OFFSET + STRIDE], ... as
  // a cell of the dimensions DV, which must hold them all.  They are moved,
  // not copied; the caller releases the slice.
  inline Cell
  take_cell (std::vector<octave_value>& stack, std::size_t base,
             const dim_vector& dv, std::size_t stride = 1,
             std::size_t offset = 0)
  {
    return cell_of_size (dv, [&] (std::size_t i) -> octave_value&&
      {
        return std::move (stack[base + offset + i * stride]);
      });
  }

  // The same as a column, the slice released.
  inline Cell
  take_column (std::vector<octave_value>& stack, std::size_t base)
  {
    Cell c = take_cell (stack, base, dim_vector (stack.size () - base, 1));
    stack.resize (base);
    return c;
  }
}

#endif
