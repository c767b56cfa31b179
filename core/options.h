// Options: the one table of the reading and writing options, their
// settings and defaults, and the reading of name/value pairs with every
// fault worded once.  A module entry takes the pairs as the user gave them.
//
// Copyright (C) 2026 ledgerkit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#ifndef LEDGERKIT_CORE_OPTIONS_H
#define LEDGERKIT_CORE_OPTIONS_H

#include <octave/oct.h>

#include <cmath>
#include <string>

#include "tree.h"

namespace ledger
{
  // Every setting of a read or a write; the defaults are those of a call
  // without options.
  struct settings
  {
    // Reading.
    bool comments = false;      // "Comments": // and /* */ where blanks may be
    bool commas = false;        // "TrailingCommas": a comma before ] or }
    bool infnan = false;        // "InfNaN": NaN, Infinity and Inf
    int max_depth = default_depth;  // "MaxDepth": the deepest nesting read
    // Reading and writing: JSON Lines, one document per line.
    bool lines = false;
    // Reading a stream of records.
    bool array = false;         // "Array": the elements of one array
    bool plain = false;         // "Plain": ordinary values, not trees
    // Writing.
    bool pretty = false;        // line feeds and indentation
    bool preserve = false;      // NaN and the infinities as words, not null
    bool append = false;        // "Append": JSON Lines added to a file
  };

  // One option: its name as the help texts spell it, the setting it makes,
  // and for a flag whether the setting is the opposite of its value.
  struct option
  {
    const char *name;
    bool settings::*flag;
    int settings::*count;
    bool inverted;
  };

  // The reading options, in the order the help texts list them.
  static const option reading_options[] = {
    { "Comments", &settings::comments, nullptr, false },
    { "TrailingCommas", &settings::commas, nullptr, false },
    { "InfNaN", &settings::infnan, nullptr, false },
    { "Lines", &settings::lines, nullptr, false },
    { "MaxDepth", nullptr, &settings::max_depth, false },
  };

  // The options of a stream of records: the reading options, and the form
  // of the file and of its records.
  static const option stream_options[] = {
    { "Comments", &settings::comments, nullptr, false },
    { "TrailingCommas", &settings::commas, nullptr, false },
    { "InfNaN", &settings::infnan, nullptr, false },
    { "Lines", &settings::lines, nullptr, false },
    { "MaxDepth", nullptr, &settings::max_depth, false },
    { "Array", &settings::array, nullptr, false },
    { "Plain", &settings::plain, nullptr, false },
  };

  // The writing options; MATLAB's names are taken too.
  static const option writing_options[] = {
    { "Pretty", &settings::pretty, nullptr, false },
    { "Preserve", &settings::preserve, nullptr, false },
    { "Lines", &settings::lines, nullptr, false },
    { "PrettyPrint", &settings::pretty, nullptr, false },
    { "ConvertInfAndNaN", &settings::preserve, nullptr, true },
  };

  // The options of writing a file: the writing options, and adding JSON
  // Lines to its end.
  static const option saving_options[] = {
    { "Pretty", &settings::pretty, nullptr, false },
    { "Preserve", &settings::preserve, nullptr, false },
    { "Lines", &settings::lines, nullptr, false },
    { "PrettyPrint", &settings::pretty, nullptr, false },
    { "ConvertInfAndNaN", &settings::preserve, nullptr, true },
    { "Append", &settings::append, nullptr, false },
  };

  // What X is, as a message about a wrong argument names it: its class, and
  // for a character array its size ("a 2x3 char array").
  inline std::string
  argument_kind (const octave_value& x)
  {
    if (x.is_string ())
      return describe (x);
    return x.class_name ();
  }

  [[noreturn]] inline void
  argument_error (const char *who, const std::string& what)
  {
    error_with_id ("Octave:invalid-input-arg", "%s: %s", who, what.c_str ());
  }

  // The text of the argument NAME (TEXT, FILE) of WHO: a character row, or
  // an empty character array of any size.
  inline std::string
  text_argument (const char *who, const char *name, const octave_value& x)
  {
    if (x.is_string () && x.isempty () && x.ndims () == 2)
      return "";
    if (! is_text_row (x))
      argument_error (who, std::string (name) + " must be a character row, "
                           "not " + argument_kind (x));
    const charNDArray c = chars_of (x);
    return std::string (c.data (), c.numel ());
  }

  // The settings that the name/value pairs ARGS (FIRST), (FIRST + 1), ...
  // of WHO make, from the table TABLE of N options.  Names match whatever
  // their case; of options that make the same setting the last holds.
  template <std::size_t N>
  settings
  read_options (const char *who, const option (&table)[N],
                const octave_value_list& args, int first)
  {
    settings s;
    const int n = args.length ();
    for (int i = first; i < n; i += 2)
      {
        const octave_value& name = args(i);
        if (! is_text_row (name))
          argument_error (who, "an option name must be a character row, not "
                               + argument_kind (name));
        const std::string given = name.string_value ();
        const option *o = nullptr;
        for (const option& candidate : table)
          if (given.size () == std::strlen (candidate.name)
              && strncasecmp (given.c_str (), candidate.name,
                              given.size ()) == 0)
            o = &candidate;
        if (! o)
          {
            std::string known;
            for (const option& candidate : table)
              known += (known.empty () ? "" : ", ")
                       + std::string (candidate.name);
            argument_error (who, "unknown option '" + given + "' (known: "
                                 + known + ")");
          }
        if (i + 1 == n)
          argument_error (who, "the option '" + std::string (o->name)
                               + "' needs a value");
        const octave_value& x = args(i + 1);
        // Anything the interpreter itself takes as one number will do:
        // true, 1, int8 (0), sparse (true) ...; a NaN, a text or an array
        // will not.
        const bool scalar = x.numel () == 1 && x.ndims () == 2
                            && (x.islogical ()
                                || (x.isnumeric () && ! x.iscomplex ()));
        const double v = scalar ? x.double_value () : 0;
        if (o->flag)
          {
            if (! scalar || std::isnan (v))
              argument_error (who, "the value of '" + std::string (o->name)
                                   + "' must be true or false");
            s.*(o->flag) = (v != 0) != o->inverted;
          }
        else
          {
            if (! scalar || ! (v >= 1 && v <= depth_limit)
                || v != std::floor (v))
              argument_error (who, "the value of '" + std::string (o->name)
                                   + "' must be a whole number from 1 to "
                                   + std::to_string (depth_limit));
            s.*(o->count) = static_cast<int> (v);
          }
      }
    if (s.pretty && s.lines)
      argument_error (who, "the options 'Pretty' and 'Lines' cannot be used "
                           "together: JSON Lines are compact");
    if (s.append && ! s.lines)
      argument_error (who, "the option 'Append' needs 'Lines': records are "
                           "added to the end of a JSON Lines file");
    return s;
  }
}

#endif
