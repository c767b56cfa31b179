// What the grammar builds for "Plain": the ordinary values of ledgerplain
// straight from the text, with no tree between.  The rules are ledgerplain's
// (convert/convert.h, plain_maker): an object a struct, keys as field names
// (the last member of a repeated key kept), an array of numbers and nulls a
// double column (null NaN), of true and false a logical column, of int64 or
// of uint64 alone a column of that class, of objects with the same fields
// in the same order a struct array, of arrays that agree an array with a
// first dimension more, anything else a cell column.
//
// Copyright (C) 2026 ledgerkit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#ifndef LEDGERKIT_READER_PLAIN_H
#define LEDGERKIT_READER_PLAIN_H

#include <octave/oct.h>
#include <octave/oct-map.h>
#include <octave/parse.h>
#include <octave/lo-ieee.h>

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "core/options.h"
#include "core/tree.h"
#include "core/plain.h"

// A member or element is a small record until its container is done: the
// scalars hold their number, the rest a place on one of the stacks.  An
// object keeps its field values on the value stack until its container
// takes them (a struct array takes them without a struct per element), and
// an array of numbers its doubles on the number stack (a matrix of rows is
// made without a column per row).
class plain_builder
{
public:
  enum kind : unsigned char
  {
    k_none, k_double, k_null, k_bool, k_int64, k_uint64, k_text, k_object,
    k_array, k_numbers, k_key
  };

  struct layout;

  struct value
  {
    kind k = k_none;
    union
    {
      double d;
      int64_t i;
      uint64_t u;
    };
    // k_text, k_array: the value's place on VALS; k_object: its first
    // field's; k_numbers: its first double's on NUMS; k_key: the key's id.
    std::size_t slot = 0;
    std::size_t count = 0;          // k_numbers: how many
    const layout *shape = nullptr;  // k_object

    value () : d (0) { }
  };

  struct mark
  {
    std::size_t items, vals, nums;
  };

  // The fields of the struct of an object whose keys, by id, are KEYS.
  struct layout
  {
    octave_fields fields;
    std::vector<int> names;                // each field's key name, by id
    std::vector<std::size_t> last;         // the last member of each field
  };

  explicit plain_builder (const ledger::settings& options)
    : valid_names (options.valid_name), style (options.replacement),
      prefix (options.prefix)
  { }

  value text (const char *bytes, std::size_t n)
  {
    value v;
    v.k = k_text;
    v.slot = vals.size ();
    vals.push_back (char_row (bytes, n));
    return v;
  }

  // A key by its id: one per distinct text in the call.
  value key (const std::string& name)
  {
    value v;
    v.k = k_key;
    auto hit = key_ids.find (name);
    if (hit != key_ids.end ())
      v.slot = hit->second;
    else
      {
        v.slot = field_names.size ();
        // Without makeValidName each key is a name of its own.
        field_names.push_back (valid_names ? valid_name (name) : name);
        name_ids.push_back (valid_names ? name_id (field_names.back ())
                                        : static_cast<int> (v.slot));
        key_ids.emplace (name, v.slot);
      }
    return v;
  }

  value boolean (bool b)
  {
    value v;
    v.k = k_bool;
    v.i = b;
    return v;
  }
  value real (double d)
  {
    value v;
    v.k = k_double;
    v.d = d;
    return v;
  }
  value int64 (int64_t i)
  {
    value v;
    v.k = k_int64;
    v.i = i;
    return v;
  }
  value uint64 (uint64_t u)
  {
    value v;
    v.k = k_uint64;
    v.u = u;
    return v;
  }
  value null ()
  {
    value v;
    v.k = k_null;
    return v;
  }
  value empty_array ()
  {
    value v;
    v.k = k_array;
    v.slot = vals.size ();
    vals.push_back (Matrix ());
    return v;
  }
  value empty_object () { return object (open ()); }

  mark open () const { return mark { items.size (), vals.size (),
                                     nums.size () }; }
  void push (value&& v) { items.push_back (v); }
  void drop (const mark& base)
  {
    items.resize (base.items);
    vals.resize (base.vals);
    nums.resize (base.nums);
  }

  // The keys and values on the stack from BASE, interleaved: a struct of
  // the fields in the order of their first key, each the last member's.
  value object (const mark& base)
  {
    const std::size_t n = (items.size () - base.items) / 2;
    ids.clear ();
    for (std::size_t m = 0; m < n; m++)
      ids.push_back (static_cast<int> (items[base.items + 2 * m].slot));
    const layout& l = layout_of ();
    const std::size_t nf = l.last.size ();
    fresh.clear ();
    for (std::size_t j = 0; j < nf; j++)
      fresh.push_back (take (items[base.items + 2 * l.last[j] + 1]));
    drop (base);
    value v;
    v.k = k_object;
    v.slot = vals.size ();
    v.shape = &l;
    for (octave_value& x : fresh)
      vals.push_back (std::move (x));
    fresh.clear ();
    return v;
  }

  value array (const mark& base)
  {
    const std::size_t n = items.size () - base.items;
    const value *e = items.data () + base.items;
    unsigned seen = 0;
    for (std::size_t i = 0; i < n; i++)
      seen |= 1u << (e[i].k == k_numbers ? k_array : e[i].k);
    value v;
    v.k = k_array;
    octave_value out;
    if ((seen & ~((1u << k_double) | (1u << k_null))) == 0)
      {
        // The elements are all scalars: nothing of theirs is on NUMS.
        v.k = k_numbers;
        v.slot = nums.size ();
        v.count = n;
        for (std::size_t i = 0; i < n; i++)
          nums.push_back (e[i].k == k_null ? lo_ieee_nan_value () : e[i].d);
        items.resize (base.items);
        return v;
      }
    else if (seen == 1u << k_bool)
      {
        boolNDArray a (dim_vector (n, 1));
        for (std::size_t i = 0; i < n; i++)
          a.xelem (i) = e[i].i;
        out = a;
      }
    else if (seen == 1u << k_int64)
      {
        int64NDArray a (dim_vector (n, 1));
        for (std::size_t i = 0; i < n; i++)
          a.xelem (i) = octave_int64 (e[i].i);
        out = a;
      }
    else if (seen == 1u << k_uint64)
      {
        uint64NDArray a (dim_vector (n, 1));
        for (std::size_t i = 0; i < n; i++)
          a.xelem (i) = octave_uint64 (e[i].u);
        out = a;
      }
    else if (seen == 1u << k_object && same_fields (e, n))
      out = records (e, n);
    else if (seen == 1u << k_array)
      out = arrays (e, n);
    else
      out = mixed (base);
    drop (base);
    v.slot = vals.size ();
    vals.push_back (std::move (out));
    return v;
  }

  // The values of JSON Lines from BASE, as a column.
  value lines (const mark& base)
  {
    octave_value out = mixed (base);
    drop (base);
    value v;
    v.k = k_array;
    v.slot = vals.size ();
    vals.push_back (std::move (out));
    return v;
  }

  // The host value of a result; the stacks are left empty.
  octave_value result (value& v)
  {
    if (v.k == k_none)
      return octave_value ();
    octave_value out = take (v);
    items.clear ();
    vals.clear ();
    nums.clear ();
    return out;
  }

private:
  std::vector<value> items;
  std::vector<octave_value> vals;
  std::vector<double> nums;
  std::vector<octave_value> fresh;

  // Keys by their text, made field names once.
  std::unordered_map<std::string, std::size_t> key_ids;
  std::vector<std::string> field_names;
  // The id of each key's field name: keys that make the same name share it.
  std::vector<int> name_ids;
  std::unordered_map<std::string, int> names_seen;
  bool valid_names;
  int style;
  std::string prefix;

  // Layouts by the ids of their objects' keys, in order.
  std::vector<int> ids;
  std::string ids_text;
  std::unordered_map<std::string, std::unique_ptr<layout>> layouts;
  const layout *last_layout = nullptr;
  std::string last_ids;

  int name_id (const std::string& name)
  {
    auto hit = names_seen.find (name);
    if (hit != names_seen.end ())
      return hit->second;
    const int id = names_seen.size ();
    names_seen.emplace (name, id);
    return id;
  }

  const layout& layout_of ()
  {
    ids_text.assign (reinterpret_cast<const char *> (ids.data ()),
                     ids.size () * sizeof (int));
    if (last_layout && ids_text == last_ids)
      return *last_layout;
    auto hit = layouts.find (ids_text);
    if (hit == layouts.end ())
      {
        std::unique_ptr<layout> l (new layout ());
        for (std::size_t m = 0; m < ids.size (); m++)
          {
            const std::size_t j
              = l->fields.getfield (field_names[ids[m]]);
            if (j == l->last.size ())
              {
                l->last.push_back (m);
                l->names.push_back (name_ids[ids[m]]);
              }
            else
              l->last[j] = m;
          }
        hit = layouts.emplace (ids_text, std::move (l)).first;
      }
    last_ids = ids_text;
    last_layout = hit->second.get ();
    return *last_layout;
  }

  // The host value of V, taken off the stacks (which its container
  // releases).
  octave_value take (value& v)
  {
    switch (v.k)
      {
      case k_double:
        return octave_value (v.d);
      case k_null:
        return Matrix ();
      case k_bool:
        return octave_value (v.i != 0);
      case k_int64:
        return octave_value (octave_int64 (v.i));
      case k_uint64:
        return octave_value (octave_uint64 (v.u));
      case k_numbers:
        {
          NDArray a (dim_vector (v.count, 1));
          std::copy (nums.begin () + v.slot, nums.begin () + v.slot + v.count,
                     a.fortran_vec ());
          return octave_value (a);
        }
      case k_object:
        {
          octave_scalar_map m (v.shape->fields);
          const std::size_t nf = v.shape->last.size ();
          for (std::size_t j = 0; j < nf; j++)
            m.contents (j) = std::move (vals[v.slot + j]);
          return octave_value (m);
        }
      default:
        return std::move (vals[v.slot]);
      }
  }

  // Objects with the same field names in the same order.
  static bool same_fields (const value *e, std::size_t n)
  {
    for (std::size_t i = 1; i < n; i++)
      if (e[i].shape != e[0].shape && e[i].shape->names != e[0].shape->names)
        return false;
    return true;
  }

  octave_value records (const value *e, std::size_t n)
  {
    const octave_fields& fields = e[0].shape->fields;
    const std::size_t nf = e[0].shape->last.size ();
    octave_map out (dim_vector (n, 1), fields);
    for (std::size_t j = 0; j < nf; j++)
      {
        Cell col (dim_vector (n, 1));
        for (std::size_t i = 0; i < n; i++)
          col.xelem (i) = std::move (vals[e[i].slot + j]);
        out.contents (j) = col;
      }
    return octave_value (out);
  }

  octave_value mixed (const mark& base)
  {
    const std::size_t n = items.size () - base.items;
    Cell c (dim_vector (n, 1));
    for (std::size_t i = 0; i < n; i++)
      c.xelem (i) = take (items[base.items + i]);
    return octave_value (c);
  }

  // An array of arrays: rows of numbers of one length make a matrix at
  // once; otherwise the arrays are made and joined as ledgerplain joins
  // them.
  octave_value arrays (const value *e, std::size_t n)
  {
    const std::size_t m = e[0].count;
    bool rows = m > 0;
    for (std::size_t i = 0; rows && i < n; i++)
      rows = e[i].k == k_numbers && e[i].count == m;
    if (rows)
      {
        NDArray a (dim_vector (n, m));
        double *p = a.fortran_vec ();
        for (std::size_t i = 0; i < n; i++)
          {
            const double *row = nums.data () + e[i].slot;
            for (std::size_t k = 0; k < m; k++)
              p[i + n * k] = row[k];
          }
        return octave_value (a);
      }
    fresh.clear ();
    for (std::size_t i = 0; i < n; i++)
      fresh.push_back (take (items[items.size () - n + i]));
    octave_value out = ledger::join_arrays (fresh, 0, n);
    fresh.clear ();
    return out;
  }

  // The field name MATLAB's rules make of NAME: the interpreter's own
  // function (matlab.lang.makeValidName, which every supported interpreter
  // has), for a name that is not one already.
  std::string valid_name (const std::string& name) const
  {
    if (is_valid_name (name))
      return name;
    // Only the options given: Octave 6.2's function answers otherwise for
    // a name that starts with a byte of UTF-8 when the default style is
    // named.
    octave_value_list args;
    args(0) = octave_value (name);
    if (style != 0)
      {
        args(args.length ()) = octave_value ("ReplacementStyle");
        args(args.length ()) = octave_value (ledger::replacement_styles[style]);
      }
    if (prefix != "x")
      {
        args(args.length ()) = octave_value ("Prefix");
        args(args.length ()) = octave_value (prefix);
      }
    octave_value_list r = octave::feval ("matlab.lang.makeValidName", args,
                                                1);
    return r(0).string_value ();
  }

  static bool is_valid_name (const std::string& name)
  {
    if (name.empty () || name.size () > 63
        || ! ((name[0] >= 'a' && name[0] <= 'z')
              || (name[0] >= 'A' && name[0] <= 'Z')))
      return false;
    for (char c : name)
      if (! ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')
             || (c >= '0' && c <= '9') || c == '_'))
        return false;
    static const char *const keywords[] = {
      "break", "case", "catch", "classdef", "continue", "do", "else",
      "elseif", "end", "end_try_catch", "end_unwind_protect", "endclassdef",
      "endenumeration", "endevents", "endfor", "endfunction", "endif",
      "endmethods", "endparfor", "endproperties", "endspmd", "endswitch",
      "endwhile", "enumeration", "events", "for", "function", "global", "if",
      "methods", "otherwise", "parfor", "persistent", "properties", "return",
      "spmd", "switch", "try", "until", "unwind_protect",
      "unwind_protect_cleanup", "while"
    };
    for (const char *k : keywords)
      if (name == k)
        return false;
    return true;
  }
};

#endif
