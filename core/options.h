// Options: the one table of every option, the functions that take it and
// the setting it makes, the settings with their defaults, and the reading of name/value pairs with every
// fault worded once.  A module entry takes the pairs as the user gave them.
//
// Copyright (C) 2026 ledgerkit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#ifndef LEDGERKIT_CORE_OPTIONS_H
#define LEDGERKIT_CORE_OPTIONS_H

#include <octave/oct.h>

#include <cctype>
#include <cmath>
#include <cstring>
#include <string>

#include "tree.h"

namespace ledger
{
  // The indent setting that stands for one tab per level.
  constexpr int indent_tab = -1;

  // Every setting of a read or a write; the defaults are those of a call
  // without options.
  struct settings
  {
    // Reading.
    bool comments = false;      // "Comments": // and /* */ where blanks may be
    bool commas = false;        // "TrailingCommas": a comma before ] or }
    bool infnan = false;        // "InfNaN": NaN, Infinity and Inf
    bool integers = false;      // "Integers": integer literals as int64
    int max_depth = default_depth;  // "MaxDepth": the deepest nesting read
    // Reading and writing: JSON Lines, one document per line.
    bool lines = false;
    // Writing.
    bool pretty = false;        // line feeds and indentation
    bool preserve = false;      // NaN and the infinities as words, not null
    bool plain_whole = false;   // "WholeNumbers": 1 rather than 1.0
    int indent = 4;             // "Indent": spaces per level, or indent_tab
    bool sort_keys = false;     // "SortKeys": members in the order of keys
    bool canonical = false;     // "Canonical": the one text of a value
    // A stream of records.
    bool array = false;         // "Array": the elements of one array
    bool plain = false;         // "Plain": ordinary values, not trees
    // Field names of ordinary values, as matlab.lang.makeValidName makes
    // them: "makeValidName", "ReplacementStyle" (an index into
    // replacement_styles), "Prefix".
    bool valid_name = false;
    int replacement = 0;
    std::string prefix = "x";
    // Saving a file.
    bool append = false;        // "Append": JSON Lines added to a file
    bool sync = true;           // "Sync": forced to disk before the rename
  };

  // Which functions take an option: reading a text or a file, reading a
  // stream of records, writing a text, saving a file.
  enum option_use : unsigned
  {
    to_read = 1,
    to_stream = 2,
    to_write = 4,
    to_save = 8,
    reading = to_read | to_stream,
    writing = to_write | to_save
  };

  // What an option's value is and how it makes its setting.
  enum class option_kind
  {
    flag,           // true or false
    inverted,       // true or false, the setting its opposite
    depth,          // a whole number from 1 to depth_limit
    indent,         // a whole number from 0 to 8, or "\t"
    whole_numbers,  // "point" or "plain"
    replacement,    // "underscore", "delete" or "hex"
    prefix          // a valid name's first letters
  };

  // One option: its name as the help texts spell it, the functions that
  // take it, the kind of its value, and the setting it makes (a flag, or a
  // number).
  struct option
  {
    const char *name;
    unsigned use;
    option_kind kind;
    bool settings::*flag;
    int settings::*number;
  };

  // The values of "ReplacementStyle", as the settings number them.
  static const char *const replacement_styles[] = { "underscore", "delete",
                                                    "hex" };

  // Every option, in the order the help texts list them; MATLAB's names
  // for the writing options are taken too.
  static const option options[] = {
    { "Comments", reading, option_kind::flag, &settings::comments, nullptr },
    { "TrailingCommas", reading, option_kind::flag, &settings::commas,
      nullptr },
    { "InfNaN", reading, option_kind::flag, &settings::infnan, nullptr },
    { "Integers", reading, option_kind::flag, &settings::integers, nullptr },
    { "Lines", reading, option_kind::flag, &settings::lines, nullptr },
    { "MaxDepth", reading, option_kind::depth, nullptr, &settings::max_depth },
    { "Array", to_stream, option_kind::flag, &settings::array, nullptr },
    { "Plain", reading, option_kind::flag, &settings::plain, nullptr },
    { "makeValidName", to_read, option_kind::flag, &settings::valid_name,
      nullptr },
    { "ReplacementStyle", to_read, option_kind::replacement, nullptr,
      &settings::replacement },
    { "Prefix", to_read, option_kind::prefix, nullptr, nullptr },
    { "Pretty", writing, option_kind::flag, &settings::pretty, nullptr },
    { "Preserve", writing, option_kind::flag, &settings::preserve, nullptr },
    { "Lines", writing, option_kind::flag, &settings::lines, nullptr },
    { "WholeNumbers", writing, option_kind::whole_numbers,
      &settings::plain_whole, nullptr },
    { "Indent", writing, option_kind::indent, nullptr, &settings::indent },
    { "SortKeys", writing, option_kind::flag, &settings::sort_keys, nullptr },
    { "Canonical", writing, option_kind::flag, &settings::canonical,
      nullptr },
    { "PrettyPrint", writing, option_kind::flag, &settings::pretty, nullptr },
    { "ConvertInfAndNaN", writing, option_kind::inverted, &settings::preserve,
      nullptr },
    { "Append", to_save, option_kind::flag, &settings::append, nullptr },
    { "Sync", to_save, option_kind::flag, &settings::sync, nullptr },
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

  // True when X is "T" whatever its case.
  inline bool
  is_word (const octave_value& x, const char *t)
  {
    if (! is_text_row (x))
      return false;
    const std::string given = x.string_value ();
    return given.size () == std::strlen (t)
           && strncasecmp (given.c_str (), t, given.size ()) == 0;
  }

  // Sets in S what the value X of the option O of WHO says.
  inline void
  set_option (const char *who, const option& o, const octave_value& x,
              settings& s)
  {
    const std::string value_of = "the value of '" + std::string (o.name)
                                 + "' must be ";
    // Anything the interpreter itself takes as one number will do:
    // true, 1, int8 (0), sparse (true) ...; a NaN, a text or an array
    // will not.
    const bool scalar = x.numel () == 1 && x.ndims () == 2
                        && (x.islogical ()
                            || (x.isnumeric () && ! x.iscomplex ()));
    const double v = scalar ? x.double_value () : 0;
    const bool whole = scalar && v == std::floor (v);
    switch (o.kind)
      {
      case option_kind::flag:
      case option_kind::inverted:
        if (! scalar || std::isnan (v))
          argument_error (who, value_of + "true or false");
        s.*(o.flag) = (v != 0) != (o.kind == option_kind::inverted);
        break;
      case option_kind::depth:
        if (! whole || ! (v >= 1 && v <= depth_limit))
          argument_error (who, value_of + "a whole number from 1 to "
                               + std::to_string (depth_limit));
        s.*(o.number) = static_cast<int> (v);
        break;
      case option_kind::indent:
        // A tab, or the two characters of its escape as '\t' gives them.
        if (is_text_row (x) && (x.string_value () == "\t"
                                || x.string_value () == "\\t"))
          s.*(o.number) = indent_tab;
        else if (! x.is_string () && whole && v >= 0 && v <= 8)
          s.*(o.number) = static_cast<int> (v);
        else
          argument_error (who, value_of + "a whole number from 0 to 8 or "
                               "\"\\t\"");
        break;
      case option_kind::whole_numbers:
        if (is_word (x, "point"))
          s.*(o.flag) = false;
        else if (is_word (x, "plain"))
          s.*(o.flag) = true;
        else
          argument_error (who, value_of + "\"point\" or \"plain\"");
        break;
      case option_kind::replacement:
        {
          int k = -1;
          for (int j = 0; j < 3; j++)
            if (is_word (x, replacement_styles[j]))
              k = j;
          if (k < 0)
            argument_error (who, value_of + "\"underscore\", \"delete\" or "
                                 "\"hex\"");
          s.*(o.number) = k;
        }
        break;
      case option_kind::prefix:
        {
          // What makeValidName takes: a valid name's start, a letter
          // followed by letters, digits and underscores.
          const std::string p = is_text_row (x) ? x.string_value () : "";
          bool ok = ! p.empty () && std::isalpha (static_cast<unsigned char> (p[0]))
                    && p.size () < 64;
          for (char c : p)
            ok = ok && (std::isalnum (static_cast<unsigned char> (c))
                        || c == '_');
          if (! ok)
            argument_error (who, value_of + "a letter followed by letters, "
                                 "digits and underscores");
          s.prefix = p;
        }
        break;
      }
  }

  // The settings that the name/value pairs ARGS (FIRST), (FIRST + 1), ...
  // of WHO make, of the options that WHO's kind of call (USE) takes, over
  // the settings S.  Names match whatever their case; of options that make
  // the same setting the last holds.
  inline settings
  read_options (const char *who, unsigned use, const octave_value_list& args,
                int first, settings s = settings ())
  {
    const int n = args.length ();
    for (int i = first; i < n; i += 2)
      {
        const octave_value& name = args(i);
        if (! is_text_row (name))
          argument_error (who, "an option name must be a character row, not "
                               + argument_kind (name));
        const std::string given = name.string_value ();
        const option *o = nullptr;
        // The name is made a string once: a call pays little for options.
        for (const option& candidate : options)
          if ((candidate.use & use)
              && given.size () == std::strlen (candidate.name)
              && strncasecmp (given.c_str (), candidate.name,
                              given.size ()) == 0)
            o = &candidate;
        if (! o)
          {
            std::string known;
            for (const option& candidate : options)
              if (candidate.use & use)
                known += (known.empty () ? "" : ", ")
                         + std::string (candidate.name);
            argument_error (who, "unknown option '" + given + "' (known: "
                                 + known + ")");
          }
        if (i + 1 == n)
          argument_error (who, "the option '" + std::string (o->name)
                               + "' needs a value");
        set_option (who, *o, args(i + 1), s);
      }
    if (s.pretty && s.lines)
      argument_error (who, "the options 'Pretty' and 'Lines' cannot be used "
                           "together: JSON Lines are compact");
    if (s.canonical && s.pretty)
      argument_error (who, "the options 'Canonical' and 'Pretty' cannot be "
                           "used together: canonical JSON has no blanks");
    if (s.canonical && s.preserve)
      argument_error (who, "the options 'Canonical' and 'Preserve' cannot "
                           "be used together: canonical JSON has no NaN or "
                           "infinities");
    if ((s.valid_name || s.replacement != 0 || s.prefix != "x") && ! s.plain)
      argument_error (who, "the options 'makeValidName', 'ReplacementStyle' "
                           "and 'Prefix' need 'Plain': they name the fields "
                           "of ordinary values");
    if (s.append && ! s.lines)
      argument_error (who, "the option 'Append' needs 'Lines': records are "
                           "added to the end of a JSON Lines file");
    return s;
  }
}

#endif
