// __ledgerconvert__: reach into a ledgerkit tree by a path, and convert
// between trees and the ordinary values of jsondecode and jsonencode.
//
// Copyright (C) 2026 ledgerkit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include <octave/oct.h>
#include <octave/oct-map.h>
#include <octave/ov-dld-fcn.h>
#include <octave/ov-cell.h>
#include <octave/ov-str-mat.h>
#include <octave/ov-scalar.h>
#include <octave/ov-bool.h>
#include <octave/parse.h>
#include <octave/lo-ieee.h>

#include <charconv>
#include <cmath>
#include <cstdarg>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "../core/portable.h"

// Every message.  The first %s is the caller; "at %s" is a JSON Pointer.
namespace msg
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
    = "%s: the JSON Pointer \"%s\" has a \"~\" that is not \"~0\" or \"~1\"";
  static const char *const bad_step
    = "%s: step %ld of the path must be a text key or a positive whole "
      "number, not %s";
  static const char *const bad_path
    = "%s: PATH must be a JSON Pointer text or a cell array of steps, not %s";
  static const char *const cannot_hold
    = "%s: JSON cannot hold the %s value at %s";
  static const char *const imaginary
    = "%s: JSON cannot hold the complex %s at %s: its imaginary part is not "
      "zero";
  static const char *const unequal
    = "%s: the object at %s has %ld keys but %ld values";
  static const char *const bad_key
    = "%s: key %ld of the object at %s is %s, not a text";
  static const char *const not_node
    = "%s: the struct at %s is not a tree node (an object has the fields "
      "\"keys\" and \"values\")";
  static const char *const too_deep
    = "%s: the value at %s is nested deeper than %d levels";
}

static const char *const path_id = "ledgerkit:path";
static const char *const tree_id = "ledgerkit:tree";

class tree_convert
{
public:
  // The function named in messages.
  std::string caller;

  // One step of a path.  A JSON Pointer token is a key to an object and a
  // position to an array; a step of a cell path is one or the other.
  struct step
  {
    std::string key;
    octave_idx_type index = -1;    // from 0; -1 when the step is no position
    bool pointer = false;
    bool is_key = false;
    bool end = false;              // "-": the place after the last element
  };
  std::vector<step> steps;

  // The way down to the value being worked on, one crumb per level: a key
  // of the tree, a name, or a position.  Only read to say where an error is.
  struct crumb
  {
    const octave_value *key;
    const std::string *name;
    octave_idx_type index;
  };
  std::vector<crumb> where;

  // Results for the containers being made, innermost last; a finished
  // container takes its slice off the top.
  std::vector<octave_value> stack;

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

  // Key cells of plain structs made into objects, by their field names.
  struct key_entry
  {
    std::vector<std::string> names;
    Cell keys;
  };
  std::unordered_multimap<std::size_t, key_entry> key_cells;
  // The field names of the structs being converted, innermost last,
  // pointing into the structs' own field lists.
  std::vector<const std::string *> names;

  octave_fields object_fields;
  octave_value null_node;

  static const int max_depth = 1000;
  // 2^53: every whole number below it is exact in a double.
  static constexpr double two53 = 9007199254740992.0;

  explicit tree_convert (const std::string& name)
    : caller (name), object_fields (field_names ()),
      null_node (octave_map (dim_vector (0, 0)))
  { }

  static const char *const *field_names ()
  {
    static const char *const names[] = { "keys", "values", nullptr };
    return names;
  }

  // ---- messages -----------------------------------------------------------

  [[noreturn]] void fail (const char *id, const char *fmt, ...) const
  {
    va_list args;
    va_start (args, fmt);
    verror_with_id (id, fmt, args);
  }

  // The JSON Pointer of the value the crumbs lead to.
  std::string place () const
  {
    if (where.empty ())
      return "the root";
    std::string out;
    for (const crumb& c : where)
      {
        std::string token;
        if (c.key)
          key_text (*c.key, token);
        else if (c.name)
          token = *c.name;
        else
          token = std::to_string (c.index);
        out += '/';
        for (char b : token)
          out += b == '~' ? "~0" : b == '/' ? "~1" : std::string (1, b);
      }
    return out;
  }

  // A step as the user wrote it.
  static std::string shown (const step& s)
  {
    if (s.pointer)
      return "\"" + s.key + "\"" + (s.index >= 0 ? " (counted from 0)" : "");
    if (s.is_key)
      return "\"" + s.key + "\"";
    return std::to_string (s.index + 1);
  }

  static std::string class_of (const octave_value& v)
  {
    const dim_vector dv = v.dims ();
    if (dv.numel () == 1)
      return "a " + v.class_name ();
    return "a " + dv.str ('x') + " " + v.class_name () + " array";
  }

  // ---- telling nodes apart ------------------------------------------------

  static bool is_double_scalar (const octave_value& v)
  {
    return v.type_id () == octave_scalar::static_type_id ();
  }

  static bool is_text (const octave_value& v)
  {
    const int t = v.type_id ();
    return t == octave_char_matrix_str::static_type_id ()
           || t == octave_char_matrix_sq_str::static_type_id ();
  }

  static const charNDArray& chars_of (const octave_value& v)
  {
    return static_cast<const octave_char_matrix_str&> (v.get_rep ())
           .matrix_ref ();
  }

  static bool is_cell (const octave_value& v)
  {
    return v.type_id () == octave_cell::static_type_id ();
  }

  // The cell that V holds, read in place.
  static const Cell& cell_of (const octave_value& v)
  {
    return static_cast<const octave_cell&> (v.get_rep ()).matrix_ref ();
  }

  // A numeric or logical array read as an array of its elements.
  static bool is_numbers (const octave_value& v)
  {
    return (v.isnumeric () || v.islogical ()) && v.numel () != 1;
  }

  // The key and value cells of an object node: a structure whose (first)
  // element has the fields keys and values, both cells.
  static bool object_cells (const octave_value& v, octave_value& keys,
                            octave_value& values)
  {
    if (! v.isstruct () || v.numel () < 1 || v.nfields () < 2)
      return false;
    if (v.numel () == 1)
      {
        // The fields are found by name in the map's own sorted list.
        const octave_scalar_map m = v.scalar_map_value ();
        for (auto p = m.begin (); p != m.end (); ++p)
          if (p->first == "keys")
            keys = m.contents (p->second);
          else if (p->first == "values")
            values = m.contents (p->second);
      }
    else
      {
        const octave_map m = v.map_value ();
        if (! m.isfield ("keys") || ! m.isfield ("values"))
          return false;
        keys = m.contents ("keys")(0);
        values = m.contents ("values")(0);
      }
    return is_cell (keys) && is_cell (values);
  }

  static const char *leaf_kind (const octave_value& v)
  {
    if (v.isstruct ())
      return v.nfields () == 0 ? "null" : "a struct that is no tree node";
    if (v.is_string ())
      return "text";
    if (v.islogical ())
      return "true or false";
    if (v.isnumeric ())
      return "a number";
    return "no JSON value";
  }

  // ---- key text -----------------------------------------------------------

  // The text of a key as the writer gives it: text as it is, a logical or
  // number as the text of its value.  False for anything else.
  static bool key_text (const octave_value& k, std::string& out)
  {
    if (k.is_string ())
      {
        if (k.rows () > 1 || k.ndims () > 2)
          return false;
        const charNDArray c = k.char_array_value ();
        out.assign (c.data (), c.numel ());
        return true;
      }
    if (k.numel () != 1 || ! (k.isnumeric () || k.islogical ()))
      return false;
    if (k.islogical ())
      out = k.bool_value () ? "true" : "false";
    else if (k.is_uint64_type ())
      out = std::to_string (k.uint64_scalar_value ().value ());
    else if (k.isinteger ())
      out = std::to_string (k.int64_scalar_value ().value ());
    else if (k.iscomplex ())
      {
        const Complex c = k.complex_value ();
        if (c.imag () != 0)
          return false;
        out = number_text (c.real ());
      }
    else
      out = number_text (k.double_value ());
    return true;
  }

  // The shortest text of X that reads back as X, positional for decimal
  // exponents from -6 to 20 and in exponent form outside, as keys are
  // written.
  static std::string number_text (double x)
  {
    if (std::isnan (x))
      return "NaN";
    if (std::isinf (x))
      return x > 0 ? "Inf" : "-Inf";
    if (x == 0)
      return std::signbit (x) ? "-0" : "0";
    char sci[40];
    const char *end = ledgerkit::shortest_scientific (sci, sci + sizeof sci, x);
    std::string s (static_cast<const char *> (sci), end);
    std::string sign;
    if (s[0] == '-')
      {
        sign = "-";
        s.erase (0, 1);
      }
    const std::size_t e = s.find ('e');
    std::string d = s.substr (0, e);
    if (d.size () > 1)
      d.erase (1, 1);
    const int E = std::stoi (s.substr (e + 1));
    const int n = d.size ();
    if (E >= 0 && E <= 20)
      return sign + (n <= E + 1 ? d + std::string (E + 1 - n, '0')
                                : d.substr (0, E + 1) + "." + d.substr (E + 1));
    if (E >= -6 && E < 0)
      return sign + "0." + std::string (-E - 1, '0') + d;
    return sign + d.substr (0, 1) + (n > 1 ? "." + d.substr (1) : "") + "e"
           + std::to_string (E);
  }

  static bool same_key (const octave_value& k, const std::string& key)
  {
    if (is_text (k))
      {
        const charNDArray& c = chars_of (k);
        return c.numel () == static_cast<octave_idx_type> (key.size ())
               && c.rows () <= 1
               && (key.empty ()
                   || std::memcmp (c.data (), key.data (), key.size ()) == 0);
      }
    std::string key_str;
    return key_text (k, key_str) && key_str == key;
  }

  // ---- cells --------------------------------------------------------------

  // The values on the stack from BASE as a cell of DV, which holds them
  // all.  They are moved into the cell by the cell allocation rule
  // (core/portable.h).
  Cell take (std::size_t base, const dim_vector& dv)
  {
    Cell c = ledgerkit::cell_of_size (
      dv, [&] (octave_idx_type i) -> octave_value&&
      { return std::move (stack[base + i]); });
    stack.resize (base);
    return c;
  }

  Cell take (std::size_t base)
  {
    return take (base, dim_vector (stack.size () - base, 1));
  }

  octave_value object_node (const octave_value& keys,
                            const octave_value& values) const
  {
    octave_scalar_map m (object_fields);
    m.contents (0) = keys;
    m.contents (1) = values;
    return octave_value (m);
  }

  // A copy of C with element I replaced by X.  Each element is copied once,
  // by the cell allocation rule (core/portable.h): copying the cell and
  // then assigning would copy the whole storage for one element.
  static Cell replaced (const Cell& c, octave_idx_type i, const octave_value& x)
  {
    const octave_value *from = c.data ();
    return ledgerkit::cell_of_size (
      c.dims (), [&] (octave_idx_type k) -> const octave_value&
      { return k == i ? x : from[k]; });
  }

  // C with room for one more element at its end: a row stays a row,
  // anything else becomes a column.
  static Cell grown (const Cell& c)
  {
    const octave_idx_type n = c.numel ();
    Cell out = c;
    if (c.rows () == 1 && c.ndims () == 2 && n > 0)
      out.resize (dim_vector (1, n + 1));
    else
      {
        out = out.reshape (dim_vector (n, 1));
        out.resize (dim_vector (n + 1, 1));
      }
    return out;
  }

  // ---- paths --------------------------------------------------------------

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
      fail (path_id, msg::bad_path, caller.c_str (), class_of (path).c_str ());
  }

  void read_pointer (const std::string& p)
  {
    if (p.empty ())
      return;
    if (p[0] != '/')
      fail (path_id, msg::pointer_start, caller.c_str (), p.c_str ());
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
              fail (path_id, msg::pointer_escape, caller.c_str (), p.c_str ());
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
        if (! (x >= 1 && x == std::floor (x) && x < two53))
          fail (path_id, msg::bad_step, caller.c_str (), long (nth),
                (v.isinteger () ? std::to_string (v.int64_value ())
                                : number_text (x)).c_str ());
        s.index = static_cast<octave_idx_type> (x) - 1;
      }
    else
      fail (path_id, msg::bad_step, caller.c_str (), long (nth),
            class_of (v).c_str ());
    steps.push_back (s);
  }

  // Where step S leads from NODE.
  struct spot
  {
    enum { object, cell, numbers } kind;
    octave_value keys, values;
    octave_idx_type n, i;          // i: -1 for a missing member
  };

  spot locate (const octave_value& node, const step& s) const
  {
    spot p;
    if (object_cells (node, p.keys, p.values))
      {
        if (! s.pointer && ! s.is_key)
          fail (path_id, msg::position_into_object, caller.c_str (),
                shown (s).c_str (), place ().c_str ());
        const Cell& k = cell_of (p.keys);
        p.kind = spot::object;
        p.n = std::min (k.numel (), p.values.numel ());
        p.i = -1;
        for (octave_idx_type j = p.n - 1; j >= 0; j--)
          if (same_key (k.xelem (j), s.key))
            {
              p.i = j;
              break;
            }
        return p;
      }
    if (is_cell (node))
      p.kind = spot::cell;
    else if (is_numbers (node))
      p.kind = spot::numbers;
    else
      fail (path_id, msg::into_leaf, caller.c_str (), shown (s).c_str (),
            place ().c_str (), leaf_kind (node));
    if (s.is_key || (s.pointer && s.index < 0 && ! s.end))
      fail (path_id, msg::not_position, caller.c_str (), shown (s).c_str (),
            place ().c_str ());
    p.n = node.numel ();
    p.i = s.end ? p.n : s.index;
    return p;
  }

  [[noreturn]] void missing (const spot& p, const step& s, bool last) const
  {
    const char *why = last ? "" : msg::not_last;
    if (p.kind == spot::object)
      fail (path_id, msg::no_member, caller.c_str (), s.key.c_str (),
            place ().c_str (), why);
    fail (path_id, msg::no_element, caller.c_str (), shown (s).c_str (),
          long (p.n), place ().c_str (), why);
  }

  static const octave_value& member (const spot& p, const octave_value& node,
                                     octave_value& scratch)
  {
    if (p.kind == spot::object)
      return cell_of (p.values).xelem (p.i);
    if (p.kind == spot::cell)
      return cell_of (node).xelem (p.i);
    scratch = node.fast_elem_extract (p.i);
    return scratch;
  }

  crumb crumb_of (const spot& p, const step& s) const
  {
    if (p.kind == spot::object)
      return crumb { &cell_of (p.keys).xelem (p.i), nullptr, 0 };
    if (s.pointer)
      return crumb { nullptr, &s.key, 0 };
    return crumb { nullptr, nullptr, p.i };
  }

  octave_value get (const octave_value& tree, bool quiet, bool& found)
  {
    found = true;
    octave_value node = tree;
    for (const step& s : steps)
      {
        const spot p = locate (node, s);
        if (p.i < 0 || p.i >= p.n)
          {
            if (! quiet)
              missing (p, s, true);
            found = false;
            return Matrix ();
          }
        where.push_back (crumb_of (p, s));
        octave_value scratch;
        octave_value next = member (p, node, scratch);
        node = next;
      }
    return node;
  }

  // NODE with the value at steps K and after replaced by VALUE.  Only the
  // containers on the way are new; everything else is shared.
  octave_value set (const octave_value& node, std::size_t k,
                    const octave_value& value)
  {
    if (k == steps.size ())
      return value;
    const step& s = steps[k];
    const bool last = (k + 1 == steps.size ());
    const spot p = locate (node, s);
    const bool found = p.i >= 0 && p.i < p.n;
    if (! found && ! (last && (p.kind == spot::object || p.i == p.n)))
      missing (p, s, last);
    if (p.kind == spot::object)
      {
        if (! found)
          {
            Cell keys = grown (cell_of (p.keys).index (ledgerkit::idx_vector (0, p.n)));
            Cell values = grown (cell_of (p.values).index (ledgerkit::idx_vector (0, p.n)));
            keys(p.n) = octave_value (s.key, '\'');
            values(p.n) = value;
            return object_node (keys, values);
          }
        where.push_back (crumb_of (p, s));
        const octave_value child = set (cell_of (p.values).xelem (p.i),
                                        k + 1, value);
        where.pop_back ();
        return object_node (p.keys, replaced (cell_of (p.values), p.i, child));
      }
    Cell items;
    if (p.kind == spot::cell)
      items = cell_of (node);
    else
      {
        const std::size_t base = stack.size ();
        for (octave_idx_type j = 0; j < p.n; j++)
          stack.push_back (node.fast_elem_extract (j));
        items = take (base);
      }
    if (! found)
      {
        items = grown (items);
        items(p.n) = value;
        return items;
      }
    where.push_back (crumb_of (p, s));
    const octave_value child = set (items.xelem (p.i), k + 1, value);
    where.pop_back ();
    return replaced (items, p.i, child);
  }

  // The crumbs of the whole path, for converting the value set there.
  void path_crumbs ()
  {
    where.clear ();
    for (const step& s : steps)
      where.push_back (s.pointer || s.is_key ? crumb { nullptr, &s.key, 0 }
                                             : crumb { nullptr, nullptr, s.index });
  }

  // ---- tree to plain values -----------------------------------------------

  enum kind { k_double, k_null, k_bool, k_int64, k_uint64, k_text,
              k_object, k_array, k_other };

  static kind kind_of (const octave_value& v)
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

  octave_value plain (const octave_value& v, int depth)
  {
    if (is_double_scalar (v))
      return v;
    if (depth > max_depth)
      fail (tree_id, msg::too_deep, caller.c_str (), place ().c_str (),
            max_depth);
    if (is_cell (v))
      return array (cell_of (v), depth);
    if (v.isstruct ())
      {
        if (v.nfields () == 0)
          return Matrix ();
        octave_value keys, values;
        if (! object_cells (v, keys, values))
          fail (tree_id, msg::not_node, caller.c_str (), place ().c_str ());
        return object (cell_of (keys), cell_of (values), depth);
      }
    if (is_text (v))
      return chars_of (v).isempty () ? octave_value (std::string (), '\'') : v;
    if (v.is_string ())
      return v.isempty () ? octave_value (std::string (), '\'') : v;
    if (is_numbers (v))
      {
        if (v.isempty ())
          return Matrix ();
        const octave_value full = v.issparse () ? v.full_value () : v;
        return full.reshape (dim_vector (v.numel (), 1));
      }
    return v;
  }

  octave_value object (const Cell& keys, const Cell& values, int depth)
  {
    if (values.numel () != keys.numel ())
      fail (tree_id, msg::unequal, caller.c_str (), place ().c_str (),
            long (keys.numel ()), long (values.numel ()));
    const layout& l = layout_of (keys);
    octave_scalar_map m (l.fields);
    const octave_idx_type n = keys.numel ();
    for (octave_idx_type i = 0; i < n; i++)
      {
        where.push_back (crumb { &keys.xelem (i), nullptr, 0 });
        m.contents (l.slot[i]) = plain (values.xelem (i), depth + 1);
        where.pop_back ();
      }
    return octave_value (m);
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
    for (octave_idx_type i = 0; i < keys.numel (); i++)
      {
        const octave_value& k = keys.xelem (i);
        if (! key_text (k, name))
          fail (tree_id, msg::bad_key, caller.c_str (), long (i + 1),
                place ().c_str (), class_of (k).c_str ());
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

  octave_value array (const Cell& c, int depth)
  {
    const octave_idx_type n = c.numel ();
    if (n == 0)
      return Matrix ();
    unsigned seen = 0;
    for (octave_idx_type i = 0; i < n; i++)
      seen |= 1u << kind_of (c.xelem (i));
    if ((seen & ~((1u << k_double) | (1u << k_null))) == 0)
      return doubles (c);
    if (seen == 1u << k_bool)
      return column<boolNDArray> (c, [] (const octave_value& v)
                                  { return v.bool_value (); });
    if (seen == 1u << k_int64)
      return column<int64NDArray> (c, [] (const octave_value& v)
                                   { return v.int64_scalar_value (); });
    if (seen == 1u << k_uint64)
      return column<uint64NDArray> (c, [] (const octave_value& v)
                                    { return v.uint64_scalar_value (); });
    if (seen == 1u << k_object)
      return objects (c, depth);
    if (seen == 1u << k_array)
      return arrays (c, depth);
    return mixed (c, depth);
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

  octave_value mixed (const Cell& c, int depth)
  {
    const std::size_t base = stack.size ();
    for (octave_idx_type i = 0; i < c.numel (); i++)
      {
        where.push_back (crumb { nullptr, nullptr, i });
        stack.push_back (plain (c.xelem (i), depth + 1));
        where.pop_back ();
      }
    return octave_value (take (base));
  }

  // Objects with the same fields in the same order make a struct array;
  // any others a cell of structs.
  octave_value objects (const Cell& c, int depth)
  {
    const octave_idx_type n = c.numel ();
    std::vector<const layout *> ls (n);
    std::vector<octave_value> values (n);
    octave_value keys;
    bool same = true;
    for (octave_idx_type i = 0; i < n; i++)
      {
        where.push_back (crumb { nullptr, nullptr, i });
        if (! object_cells (c.xelem (i), keys, values[i]))
          fail (tree_id, msg::not_node, caller.c_str (), place ().c_str ());
        const Cell& k = cell_of (keys);
        if (values[i].numel () != k.numel ())
          fail (tree_id, msg::unequal, caller.c_str (), place ().c_str (),
                long (k.numel ()), long (values[i].numel ()));
        ls[i] = &layout_of (k);
        where.pop_back ();
        same = same && (ls[i] == ls[0] || same_names (*ls[i], *ls[0]));
      }
    if (! same)
      return mixed (c, depth);
    const octave_fields& fields = ls[0]->fields;
    const octave_idx_type nf = fields.nfields ();
    std::vector<Cell> cols (nf);
    for (octave_idx_type j = 0; j < nf; j++)
      {
        const std::size_t base = stack.size ();
        for (octave_idx_type i = 0; i < n; i++)
          {
            const layout& l = *ls[i];
            where.push_back (crumb { nullptr, nullptr, i });
            stack.push_back (plain (cell_of (values[i]).xelem (l.last[j]),
                                    depth + 2));
            where.pop_back ();
          }
        cols[j] = take (base);
      }
    octave_map out (dim_vector (n, 1), fields);
    for (octave_idx_type j = 0; j < nf; j++)
      out.contents (j) = cols[j];
    return octave_value (out);
  }

  static bool same_names (const layout& a, const layout& b)
  {
    return a.fields.is_same (b.fields)
           || same_strings (a.fields.fieldnames (), b.fields.fieldnames ());
  }

  // An array of arrays.  Arrays of one size and kind (numbers, logical
  // arrays or structs with the same fields) make one array with a first
  // dimension more; anything else a cell.
  octave_value arrays (const Cell& c, int depth)
  {
    const octave_idx_type n = c.numel ();
    octave_value joined_numbers;
    if (number_rows (c, joined_numbers))
      return joined_numbers;
    const std::size_t base = stack.size ();
    for (octave_idx_type i = 0; i < n; i++)
      {
        where.push_back (crumb { nullptr, nullptr, i });
        stack.push_back (plain (c.xelem (i), depth + 1));
        where.pop_back ();
      }
    const octave_value& first = stack[base];
    const dim_vector dv = first.dims ();
    bool joined = ! (dv.ndims () == 2 && dv(0) == 0 && dv(1) == 0);
    const bool logical = first.is_bool_matrix ();
    const bool structs = first.isstruct ();
    const builtin_type_t type = first.builtin_type ();
    const string_vector fnames = structs ? first.map_keys () : string_vector ();
    for (octave_idx_type i = 0; joined && i < n; i++)
      {
        const octave_value& s = stack[base + i];
        joined = ! s.iscell () && s.dims () == dv
                 && s.is_bool_matrix () == logical && s.isstruct () == structs
                 && (! structs || same_strings (s.map_keys (), fnames))
                 && (structs || logical || s.builtin_type () == type
                     || ! (wide (type) || wide (s.builtin_type ())));
      }
    if (! joined)
      return octave_value (take (base));
    dim_vector rd;
    if (dv.ndims () == 2 && dv(1) == 1)
      rd = dim_vector (n, dv(0));
    else
      {
        rd.resize (dv.ndims () + 1);
        rd(0) = n;
        for (int j = 0; j < dv.ndims (); j++)
          rd(j+1) = dv(j);
      }
    octave_value out;
    if (structs)
      out = join_structs (base, rd, fnames);
    else if (logical)
      out = join<boolNDArray> (base, rd, [] (const octave_value& v)
                               { return v.bool_array_value (); });
    else if (type == btyp_int64)
      out = join<int64NDArray> (base, rd, [] (const octave_value& v)
                                { return v.int64_array_value (); });
    else if (type == btyp_uint64)
      out = join<uint64NDArray> (base, rd, [] (const octave_value& v)
                                 { return v.uint64_array_value (); });
    else
      out = join<NDArray> (base, rd, [] (const octave_value& v)
                           { return v.array_value (); });
    stack.resize (base);
    return out;
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
            const octave_value& x = r.xelem (k);
            if (! is_double_scalar (x) && kind_of (x) != k_null
                && kind_of (x) != k_double)
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

  // A class whose values no double holds exactly.
  static bool wide (builtin_type_t t)
  {
    return t == btyp_int64 || t == btyp_uint64;
  }

  static bool same_strings (const string_vector& a, const string_vector& b)
  {
    if (a.numel () != b.numel ())
      return false;
    for (octave_idx_type i = 0; i < a.numel (); i++)
      if (a(i) != b(i))
        return false;
    return true;
  }

  // Element K of part I goes to I + N * K.
  template <typename A, typename F>
  octave_value join (std::size_t base, const dim_vector& rd, F value_of)
  {
    const octave_idx_type n = rd(0);
    A out (rd);
    for (octave_idx_type i = 0; i < n; i++)
      {
        const A part = value_of (stack[base + i]);
        const octave_idx_type m = part.numel ();
        for (octave_idx_type k = 0; k < m; k++)
          out.xelem (i + n * k) = part.xelem (k);
      }
    return octave_value (out);
  }

  octave_value join_structs (std::size_t base, const dim_vector& rd,
                             const string_vector& fnames)
  {
    const octave_idx_type n = rd(0);
    octave_map out (rd, octave_fields (fnames));
    for (octave_idx_type j = 0; j < fnames.numel (); j++)
      {
        Cell col (rd);
        for (octave_idx_type i = 0; i < n; i++)
          {
            const Cell part = stack[base + i].map_value ().contents (j);
            for (octave_idx_type k = 0; k < part.numel (); k++)
              col.xelem (i + n * k) = part.xelem (k);
          }
        out.contents (j) = col;
      }
    return octave_value (out);
  }

  // ---- ordinary values to a tree ------------------------------------------

  // Converts V; true with the result in OUT, false when V is a tree node
  // as it is, whose whole content is then shared.
  bool tree (const octave_value& v, octave_value& out, int depth)
  {
    if (is_double_scalar (v))
      return false;
    if (depth > max_depth)
      fail (tree_id, msg::too_deep, caller.c_str (), place ().c_str (),
            max_depth);
    if (is_cell (v))
      return cell_tree (cell_of (v), out, depth);
    if (v.is_string ())
      return text_tree (v, out);
    if (v.type_id () == octave_bool::static_type_id ())
      return false;
    if (v.isstruct ())
      return struct_tree (v, out, depth);
    if (v.isnumeric () || v.islogical ())
      return number_tree (v, out);
    if (v.is_classdef_object () && v.class_name () == "containers.Map")
      {
        out = map_tree (v, depth);
        return true;
      }
    fail (tree_id, msg::cannot_hold, caller.c_str (), v.class_name ().c_str (),
          place ().c_str ());
  }

  bool cell_tree (const Cell& c, octave_value& out, int depth)
  {
    Cell copy;
    bool changed = false;
    const octave_idx_type n = c.numel ();
    octave_value y;
    for (octave_idx_type i = 0; i < n; i++)
      {
        const octave_value& x = c.xelem (i);
        if (is_double_scalar (x))
          continue;
        where.push_back (crumb { nullptr, nullptr, i });
        if (tree (x, y, depth + 1))
          {
            if (! changed)
              copy = c;
            changed = true;
            copy(i) = y;
          }
        where.pop_back ();
      }
    if (changed)
      out = copy;
    return changed;
  }

  // A row is text as it is; any other vector is its characters in order,
  // a matrix an array of its rows, as jsonencode writes them.
  bool text_tree (const octave_value& v, octave_value& out)
  {
    if (is_text (v))
      {
        const charNDArray& c = chars_of (v);
        if (c.ndims () == 2
            && (c.rows () == 1 || (c.rows () == 0 && c.columns () == 0)))
          return false;
      }
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

  octave_value real_part (const octave_value& v) const
  {
    if (v.is_single_type ())
      {
        const FloatComplexNDArray z = v.float_complex_array_value ();
        if (! imag (z).all_elements_are_zero ())
          fail (tree_id, msg::imaginary, caller.c_str (),
                v.class_name ().c_str (), place ().c_str ());
        return octave_value (real (z));
      }
    const ComplexNDArray z = v.complex_array_value ();
    if (! imag (z).all_elements_are_zero ())
      fail (tree_id, msg::imaginary, caller.c_str (), v.class_name ().c_str (),
            place ().c_str ());
    return octave_value (real (z));
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
    const std::size_t base = stack.size ();
    for (octave_idx_type i = 0; i < dv(d); i++)
      stack.push_back (nested (a, dv, outer, stride, leaf, level + 1,
                               offset + i * stride[d]));
    return octave_value (take (base));
  }

  template <typename A>
  static octave_value leaf_value (const A& row) { return octave_value (row); }
  static octave_value leaf_value (const charNDArray& row)
  {
    return octave_value (row, '\'');
  }

  bool struct_tree (const octave_value& v, octave_value& out, int depth)
  {
    const octave_idx_type n = v.numel ();
    if (v.nfields () == 0)
      {
        const dim_vector dv = v.dims ();
        if (n == 0 && dv.ndims () == 2 && dv(0) == 0 && dv(1) == 0)
          return false;
        if (n == 0)
          out = null_node;
        else if (n == 1)
          out = empty_object ();
        else
          {
            const std::size_t base = stack.size ();
            for (octave_idx_type i = 0; i < n; i++)
              stack.push_back (empty_object ());
            out = take (base);
          }
        return true;
      }
    if (n == 1)
      {
        const octave_scalar_map m = v.scalar_map_value ();
        if (m.nfields () == 2)
          {
            const octave_value keys = m.getfield ("keys");
            const octave_value values = m.getfield ("values");
            if (is_cell (keys) && is_cell (values))
              {
                node_check (keys, values);
                return false;
              }
          }
        out = struct_object (m, depth);
        return true;
      }
    out = struct_array (v.map_value (), depth);
    return true;
  }

  // A struct array, read field by field: an array of objects.
  octave_value struct_array (const octave_map& m, int depth)
  {
    const octave_idx_type nf = m.nfields ();
    const octave_idx_type n = m.numel ();
    const bool node = nf == 2 && m.isfield ("keys") && m.isfield ("values");
    const std::size_t nb = names.size ();
    names.resize (nb + nf);
    for (auto p = m.begin (); p != m.end (); ++p)
      names[nb + p->second] = &p->first;
    const Cell keys = key_cell (nb);
    std::vector<Cell> fields (nf);
    for (octave_idx_type j = 0; j < nf; j++)
      fields[j] = m.contents (j);
    const std::size_t base = stack.size ();
    octave_value y;
    for (octave_idx_type i = 0; i < n; i++)
      {
        where.push_back (crumb { nullptr, nullptr, i });
        if (node)
          {
            const octave_value e (m.checkelem (i));
            stack.push_back (struct_tree (e, y, depth + 1) ? y : e);
            where.pop_back ();
            continue;
          }
        const std::size_t row = stack.size ();
        for (octave_idx_type j = 0; j < nf; j++)
          {
            const octave_value& f = fields[j].xelem (i);
            where.push_back (crumb { nullptr, names[nb + j], 0 });
            stack.push_back (tree (f, y, depth + 2) ? y : f);
            where.pop_back ();
          }
        const octave_value values (take (row));
        stack.push_back (object_node (keys, values));
        where.pop_back ();
      }
    names.resize (nb);
    return octave_value (take (base));
  }

  octave_value empty_object () const
  {
    return object_node (Cell (0, 1), Cell (0, 1));
  }

  // An object node is a tree as it is, whatever it holds: its values are
  // read as tree values, as the writer reads them.  Only its two cells
  // are checked, so that a tree costs next to nothing to recognise.
  void node_check (const octave_value& keys, const octave_value& values) const
  {
    const octave_idx_type n = cell_of (keys).numel ();
    if (cell_of (values).numel () != n)
      fail (tree_id, msg::unequal, caller.c_str (), place ().c_str (),
            long (n), long (cell_of (values).numel ()));
  }

  // A struct's fields as the members of an object, in order.
  octave_value struct_object (const octave_scalar_map& m, int depth)
  {
    const octave_idx_type n = m.nfields ();
    const std::size_t nb = names.size ();
    names.resize (nb + n);
    for (auto p = m.begin (); p != m.end (); ++p)
      names[nb + p->second] = &p->first;
    const std::size_t base = stack.size ();
    octave_value y;
    for (octave_idx_type j = 0; j < n; j++)
      {
        where.push_back (crumb { nullptr, names[nb + j], 0 });
        const octave_value& f = m.contents (j);
        stack.push_back (tree (f, y, depth + 1) ? y : f);
        where.pop_back ();
      }
    const octave_value values (take (base));
    const octave_value keys (key_cell (nb));
    names.resize (nb);
    return object_node (keys, values);
  }

  // One key cell for all structs with the field names from NB on.
  const Cell& key_cell (std::size_t nb)
  {
    const std::size_t n = names.size () - nb;
    std::size_t h = n;
    for (std::size_t j = nb; j < names.size (); j++)
      h = h * 1000003u ^ std::hash<std::string> () (*names[j]);
    auto range = key_cells.equal_range (h);
    for (auto it = range.first; it != range.second; ++it)
      {
        const std::vector<std::string>& known = it->second.names;
        bool same = known.size () == n;
        for (std::size_t j = 0; same && j < n; j++)
          same = known[j] == *names[nb + j];
        if (same)
          return it->second.keys;
      }
    key_entry e;
    const std::size_t base = stack.size ();
    for (std::size_t j = nb; j < names.size (); j++)
      {
        e.names.push_back (*names[j]);
        stack.push_back (octave_value (*names[j], '\''));
      }
    e.keys = take (base);
    return key_cells.emplace (h, std::move (e))->second.keys;
  }

  // A containers.Map: an object of its keys in the map's order.
  octave_value map_tree (const octave_value& v, int depth)
  {
    const Cell keys = octave::feval ("keys", ovl (v), 1)(0).cell_value ();
    const Cell values = octave::feval ("values", ovl (v), 1)(0).cell_value ();
    const octave_idx_type n = keys.numel ();
    const std::size_t base = stack.size ();
    std::string key_str;
    for (octave_idx_type i = 0; i < n; i++)
      {
        key_text (keys(i), key_str);
        stack.push_back (octave_value (key_str, '\''));
      }
    const Cell k = take (base);
    for (octave_idx_type i = 0; i < n; i++)
      {
        where.push_back (crumb { &k.xelem (i), nullptr, 0 });
        octave_value y;
        stack.push_back (tree (values(i), y, depth + 1) ? y : values(i));
        where.pop_back ();
      }
    return object_node (k, take (base));
  }
};

DEFUN_DLD (__ledgerconvert__, args, ,
  "-*- texinfo -*-\n"
  "  @deftypefn  {ledgerkit} {[@var{value}, @var{found}] =} __ledgerconvert__ "
  "(\"get\", @var{caller}, @var{tree}, @var{path}, @var{quiet})\n"
  "  @deftypefnx {ledgerkit} {@var{tree} =} __ledgerconvert__ "
  "(\"set\", @var{caller}, @var{tree}, @var{path}, @var{value})\n"
  "  @deftypefnx {ledgerkit} {@var{value} =} __ledgerconvert__ "
  "(\"plain\", @var{caller}, @var{tree})\n"
  "  @deftypefnx {ledgerkit} {@var{tree} =} __ledgerconvert__ "
  "(\"tree\", @var{caller}, @var{value})\n"
  "\n"
  "\n"
  "Read or replace one value of a JSON tree by its path, or convert a tree "
  "to and from ordinary values.\n"
  "\n"
  "@var{path} is a JSON Pointer text or a cell array of text keys and "
  "positive whole-number positions.  Errors are prefixed with "
  "@var{caller} and have the identifiers @qcode{\"ledgerkit:path\"} and "
  "@qcode{\"ledgerkit:tree\"}.  With @var{quiet} true a missing step "
  "gives @var{found} false instead of an error.\n"
  "\n"
  "This is a helper function for @qcode{ledgerget}, @qcode{ledgerset}, "
  "@qcode{ledgerplain} and @qcode{ledgertree}.  Do NOT call it directly.\n"
  "\n"
  "@end deftypefn")
{
  const int nargin = args.length ();
  if (nargin < 3 || ! args(0).is_string () || ! args(1).is_string ())
    error ("__ledgerconvert__: OP and CALLER texts and a value are required.");
  const std::string op = args(0).string_value ();
  tree_convert work (args(1).string_value ());
  if (op == "get" && nargin == 5)
    {
      work.read_path (args(3));
      bool found;
      const octave_value v = work.get (args(2), args(4).bool_value (), found);
      return ovl (v, found);
    }
  if (op == "set" && nargin == 5)
    {
      work.read_path (args(3));
      work.path_crumbs ();
      octave_value value;
      if (! work.tree (args(4), value, 0))
        value = args(4);
      work.where.clear ();
      return ovl (work.set (args(2), 0, value));
    }
  if (op == "plain" && nargin == 3)
    return ovl (work.plain (args(2), 0));
  if (op == "tree" && nargin == 3)
    {
      octave_value out;
      return ovl (work.tree (args(2), out, 0) ? out : args(2));
    }
  error ("__ledgerconvert__: unknown operation or wrong number of arguments.");
}

#if 0
%!error <OP and CALLER> __ledgerconvert__ ()
%!error <unknown operation> __ledgerconvert__ ("copy", "f", 1)
%!error <unknown operation> __ledgerconvert__ ("get", "f", 1)
#endif
