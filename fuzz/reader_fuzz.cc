// reader_fuzz: coverage-guided fuzzing of the reader's json_parser.
//
// Byte 0 of an input holds the options (bit 0 comments, bit 1 trailing
// commas, bit 2 NaN and the infinities); the rest is the text.  Each input
// must give either a tree of reader kinds or one well-formed message whose
// line and column are those of the cursor, inside the text; a text that
// reads under some options reads the same with every option on; and the
// entry, called with the text as an argument, gives the same outcome.
//
// No interpreter is started: values are made without one.  The reader never
// raises an error for a fault in the text, and without an interpreter an
// error would abort, which the fuzzer then reports.
//
// Copyright (C) 2026 ledgerkit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "../reader/__ledgerscan__.cc"

#include "tree_check.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace
{
  const char *const short_messages[] = {
    "comments are not allowed",
    "unterminated comment",
    "the text holds no value",
    "unexpected text after the value",
    "nesting too deep",
    "unexpected end of the text",
    "invalid value",
    "unterminated text",
    "a control character in text must be escaped",
    "invalid escape in text",
    "invalid \\u escape",
    "invalid number",
    "missing object key",
    "missing ':' after an object key",
    "missing ',' or '}' in an object",
    "missing ',' or ']' in an array",
    "trailing commas are not allowed",
  };

  bool known_message (std::string_view what)
  {
    for (const char *m : short_messages)
      if (what == m)
        return true;
    return false;
  }

  // The message must be "WHAT at line L, column C." with WHAT one of the
  // reader's messages and L, C the place of the byte at POS.
  void check_message (const std::string& msg, std::string_view text,
                      std::size_t pos)
  {
    if (pos > text.size ())
      tree_check::fault ("the cursor is beyond the end of the text", msg);
    const std::size_t at = msg.rfind (" at line ");
    if (at == std::string::npos || msg.empty () || msg.back () != '.')
      tree_check::fault ("a malformed message", msg);
    if (! known_message (std::string_view (msg).substr (0, at)))
      tree_check::fault ("an unknown message", msg);
    std::size_t line = 1, column = 1;
    for (std::size_t i = 0; i < pos; i++)
      {
        const unsigned char b = text[i];
        if (b == '\n')
          {
            line++;
            column = 1;
          }
        else if ((b & 0xC0) != 0x80)
          column++;
      }
    const std::string tail = " at line " + std::to_string (line)
                             + ", column " + std::to_string (column) + ".";
    if (msg.compare (at, std::string::npos, tail) != 0)
      tree_check::fault ("the message names another place than the cursor",
                         msg + " (cursor" + tail + ")");
  }
}

extern "C" int
LLVMFuzzerTestOneInput (const uint8_t *data, std::size_t size)
{
  if (size == 0)
    return 0;
  const unsigned options = data[0];
  const std::string_view text (reinterpret_cast<const char *> (data + 1),
                               size - 1);

  json_parser p (text, options & 1, options & 2, options & 4);
  const octave_value root = p.parse ();

  if (p.message.empty ())
    {
      if (root.is_undefined ())
        tree_check::fault ("neither a tree nor a message", "");
      tree_check::reader_kinds (root, 0);

      // More options never refuse or change a text that reads without them.
      json_parser all (text, true, true, true);
      const octave_value again = all.parse ();
      if (! all.message.empty ())
        tree_check::fault ("refused with every option on", all.message);
      if (! tree_check::same (root, again))
        tree_check::fault ("another tree with every option on", "");
    }
  else
    {
      if (root.is_defined ())
        tree_check::fault ("both a tree and a message", p.message);
      check_message (p.message, text, p.pos);
    }

  octave_value_list args;
  args(0) = octave_value (std::string (text), '\'');
  args(1) = octave_value (static_cast<bool> (options & 1));
  args(2) = octave_value (static_cast<bool> (options & 2));
  args(3) = octave_value (static_cast<bool> (options & 4));
  const octave_value_list r = F__ledgerscan__ (args, 2);
  if (r.length () != 2 || ! r(1).is_sq_string ()
      || r(1).string_value () != p.message)
    tree_check::fault ("the entry gives another message", p.message);
  if (p.message.empty () ? ! tree_check::same (r(0), root)
                         : ! (r(0).is_double_type () && r(0).is_real_matrix ()
                              && tree_check::is_dims (r(0), 0, 0)))
    tree_check::fault ("the entry gives another tree", p.message);
  return 0;
}
