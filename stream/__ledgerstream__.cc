// __ledgerstream__: read the records of a file a batch at a time, in
// bounded memory: JSON Lines, the elements of one top-level array, or
// documents one after another; plain or gzip.
//
// Copyright (C) 2026 ledgerkit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include <octave/oct.h>
#include <octave/file-ops.h>
#include <octave/quit.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <zlib.h>

// The reader's grammar: beside this source in the package, in reader/
// (on the include path) in the work tree.
#include "parser.h"


namespace
{
  const char *const who = "ledgerstream";

  // The text of a file, plain or gzip (by its magic bytes), a piece at a
  // time.  Every fault comes back as a message.
  class text_source
  {
  public:
    text_source () = default;
    text_source (const text_source&) = delete;
    text_source& operator = (const text_source&) = delete;
    ~text_source ()
    {
      if (inflating)
        inflateEnd (&z);
      if (fd >= 0)
        ::close (fd);
    }

    // Opens NAME; the fault, or an empty text.
    std::string open (const std::string& name)
    {
      if (name.find ('\0') != std::string::npos)
        return "a file name cannot hold a NUL byte";
      while ((fd = ::open (name.c_str (), O_RDONLY | O_NONBLOCK | O_NOCTTY
                                          | O_CLOEXEC)) < 0
             && errno == EINTR)
        octave_quit ();
      if (fd < 0)
        return std::strerror (errno);
      struct stat st;
      if (::fstat (fd, &st) != 0)
        return std::strerror (errno);
      if (S_ISDIR (st.st_mode))
        return std::strerror (EISDIR);
      pipe = S_ISFIFO (st.st_mode);
      if (! pipe && ! S_ISREG (st.st_mode))
        return "a device, not a file";
      raw.resize (std::size_t (1) << 20);
      return "";
    }

    // Up to ROOM bytes of text into TO: their count in GOT, 0 at the end
    // of the text for now (a file still being written may grow).
    std::string get (char *to, std::size_t room, std::size_t& got)
    {
      got = 0;
      room = std::min (room, std::size_t (1) << 30);
      if (! decided)
        {
          // The first bytes tell gzip from plain text.
          std::string fault = load ();
          if (! fault.empty () || raw_len == 0)
            return fault;
          if (raw_len < 2 && ledger::is_gzip (raw.data (), raw_len))
            {
              fault = load ();
              if (! fault.empty ())
                return fault;
            }
          decided = true;
          if (raw_len >= 2 && ledger::is_gzip (raw.data (), raw_len))
            {
              z = z_stream ();
              if (inflateInit2 (&z, 15 + 16) != Z_OK)
                return "out of memory";
              inflating = true;
            }
        }
      if (! inflating)
        {
          if (raw_at < raw_len)
            {
              got = std::min (room, raw_len - raw_at);
              std::memcpy (to, raw.data () + raw_at, got);
              raw_at += got;
              return "";
            }
          return read_some (to, room, got);
        }
      return inflate_some (to, room, got);
    }

  private:
    int fd = -1;
    bool pipe = false;
    bool decided = false;
    bool inflating = false;
    bool member_done = false;
    z_stream z;
    std::vector<char> raw;
    std::size_t raw_at = 0;
    std::size_t raw_len = 0;

    // Bytes of the file into TO, waiting on a pipe with Ctrl-C looked at.
    std::string read_some (char *to, std::size_t room, std::size_t& got)
    {
      for (;;)
        {
          if (pipe)
            ledger::wait_readable (fd);
          const ssize_t n = ::read (fd, to, room);
          if (n >= 0)
            {
              got = n;
              return "";
            }
          if (errno != EINTR && errno != EAGAIN)
            return std::strerror (errno);
          octave_quit ();
        }
    }

    // The raw buffer, refilled where it is used up, kept where it is not.
    std::string load ()
    {
      if (raw_at == raw_len)
        raw_at = raw_len = 0;
      if (raw_at > 0)
        {
          std::memmove (raw.data (), raw.data () + raw_at, raw_len - raw_at);
          raw_len -= raw_at;
          raw_at = 0;
        }
      std::size_t n = 0;
      const std::string fault = read_some (raw.data () + raw_len,
                                           raw.size () - raw_len, n);
      raw_len += n;
      return fault;
    }

    std::string inflate_some (char *to, std::size_t room, std::size_t& got)
    {
      while (got == 0)
        {
          if (raw_at == raw_len)
            {
              const std::string fault = load ();
              if (! fault.empty ())
                return fault;
              if (raw_len == 0)
                return member_done ? "" : "the gzip data is cut short";
            }
          if (member_done)
            {
              // Another member, or padding after the last one.
              if (! ledger::is_gzip (raw.data () + raw_at, raw_len - raw_at))
                {
                  raw_at = raw_len;
                  continue;
                }
              inflateReset (&z);
              member_done = false;
            }
          z.next_in = reinterpret_cast<Bytef *> (raw.data () + raw_at);
          z.avail_in = raw_len - raw_at;
          z.next_out = reinterpret_cast<Bytef *> (to);
          z.avail_out = room;
          const int rc = inflate (&z, Z_NO_FLUSH);
          raw_at = raw_len - z.avail_in;
          got = room - z.avail_out;
          if (rc == Z_STREAM_END)
            member_done = true;
          else if (rc != Z_OK && rc != Z_BUF_ERROR)
            return std::string ("the gzip data is damaged: ")
                   + (z.msg ? z.msg : "no reason given");
        }
      return "";
    }
  };

  // The form of a file's records.
  enum class form { lines, array, documents };

  // Where an array's reading is: before its "[", among its elements, or
  // after its "]".
  enum class array_phase { before, first, elements, after };

  // One open stream: its file, its buffer of text from the next record on,
  // and the places of that text in the file.
  struct stream
  {
    text_source source;
    std::string shown;        // the file's name as messages show it
    ledger::settings options;
    form shape = form::lines;

    // The text from buf[0] to buf[filled]; the next record starts at AT.
    char *buf = nullptr;
    std::size_t capacity = 0;
    std::size_t filled = 0;
    std::size_t at = 0;
    // Line at AT; file offset, line and column of buf[0].
    double at_line = 1;
    double base_offset = 0;
    double base_line = 1;
    double base_column = 1;

    bool ended = false;        // the text has ended (for now)
    bool opened = false;       // the byte-order mark has been looked at
    bool finished = false;     // nothing more to read
    array_phase phase = array_phase::before;

    // The first line and byte offset of each record of the last batch.
    Matrix lines;
    Matrix offsets;

    ~stream () { std::free (buf); }
  };

  std::map<double, std::unique_ptr<stream>>&
  open_streams ()
  {
    static std::map<double, std::unique_ptr<stream>> table;
    return table;
  }

  double next_id = 1;

  stream&
  stream_of (const octave_value& id)
  {
    auto& table = open_streams ();
    const auto it = id.is_real_scalar () ? table.find (id.double_value ())
                                         : table.end ();
    if (it == table.end ())
      error_with_id ("ledgerkit:io", "%s: the stream is closed.", who);
    return *it->second;
  }

  // The characters of TEXT from FROM to TO, as a column counts them.
  double
  chars (std::string_view text, std::size_t from, std::size_t to)
  {
    double n = 0;
    for (std::size_t i = from; i < to; n++)
      {
        if (static_cast<unsigned char> (text[i]) < 0x80)
          i++;
        else
          i += json_parser::char_size (text, i);
        if ((i & (ledger::bytes_per_check - 1)) == 0)
          octave_quit ();
      }
    return n;
  }

  // Drops the text before the next record; what stays moves to buf[0].
  void
  compact (stream& s)
  {
    if (s.at == 0)
      return;
    const std::string_view text (s.buf, s.at);
    const std::size_t lf = text.rfind ('\n');
    if (lf == std::string_view::npos)
      s.base_column += chars (text, 0, s.at);
    else
      s.base_column = 1 + chars (text, lf + 1, s.at);
    s.base_line = s.at_line;
    s.base_offset += s.at;
    std::memmove (s.buf, s.buf + s.at, s.filled - s.at);
    s.filled -= s.at;
    s.at = 0;
  }

  // More text at the end of the buffer, which grows when it is full; false
  // at the end of the text, or with FAULT set.
  bool
  more (stream& s, std::string& fault)
  {
    if (s.ended)
      return false;
    const std::size_t piece = std::size_t (4) << 20;
    if (s.capacity - s.filled < piece / 4)
      {
        const std::size_t grown = std::max (piece, 2 * s.capacity);
        char *b = static_cast<char *> (std::realloc (s.buf, grown));
        if (! b)
          {
            fault = "out of memory for the text of the records";
            return false;
          }
        s.buf = b;
        s.capacity = grown;
      }
    std::size_t got = 0;
    const std::string why = s.source.get (s.buf + s.filled,
                                          s.capacity - s.filled, got);
    if (! why.empty ())
      {
        fault = "unable to read the file '" + s.shown + "' (" + why + ").";
        return false;
      }
    s.filled += got;
    if (got == 0)
      s.ended = true;
    return got > 0;
  }

  // True when the fault of PARSER in TEXT is that TEXT ends inside a value:
  // a value cut short, not a wrong one.
  bool
  ends_inside (const json_parser& parser, std::string_view text)
  {
    const std::size_t at = parser.cursor ();
    switch (parser.error_code ())
      {
      case scan_error::unterminated_comment:
      case scan_error::unterminated_string:
      case scan_error::unexpected_end:
        return true;
      case scan_error::invalid_value:
      case scan_error::invalid_u_escape:
      case scan_error::invalid_number:
      case scan_error::missing_key:
      case scan_error::missing_colon:
      case scan_error::missing_object_separator:
      case scan_error::missing_array_separator:
        break;
      default:
        return false;
      }
    if (at >= text.size ())
      return true;
    // What is left is the start of a word or of an escape.
    const std::string_view rest = text.substr (at);
    if (parser.error_code () == scan_error::invalid_u_escape)
      return rest.size () < 10
             && rest.find_first_not_of ("0123456789abcdefABCDEF\\u")
                == std::string_view::npos;
    for (const char *word : { "true", "false", "null", "NaN", "Infinity",
                              "-Infinity", "Inf", "-Inf", "-" })
      if (rest.size () < std::strlen (word)
          && std::string_view (word).substr (0, rest.size ()) == rest)
        return true;
    return false;
  }

  // The message of PARSER's fault, a text cut short named as such.
  std::string
  fault_message (stream& s, json_parser& parser, std::string_view text,
                 bool at_end)
  {
    if (at_end && ends_inside (parser, text))
      {
        parser.forget_fault ();
        parser.fail_at (std::min (parser.cursor (), text.size ()),
                        scan_error::cut_short);
      }
    return s.shown + ": " + parser.error_message ();
  }

  // Skips the rest of a bad element of an array from FROM: up to the comma
  // after it or the array's "]", over texts, comments and nested brackets.
  // The place after it, or npos when the text ends first.
  std::size_t
  skip_element (stream& s, std::size_t from, std::string& fault)
  {
    int depth = 0;
    bool in_text = false;
    for (std::size_t i = from; ; i++)
      {
        if (i >= s.filled)
          {
            if (! more (s, fault))
              return std::string::npos;
          }
        if ((i & 0xFFFFF) == 0)
          octave_quit ();
        const char c = s.buf[i];
        if (in_text)
          {
            if (c == '\\')
              i++;
            else if (c == '"' || c == '\n')
              in_text = false;
            continue;
          }
        switch (c)
          {
          case '"': in_text = true; break;
          case '[': case '{': depth++; break;
          case ']': case '}':
            if (depth == 0)
              return i;
            depth--;
            break;
          case ',':
            if (depth == 0)
              return i + 1;
            break;
          default: break;
          }
      }
  }

  // Reads up to N records of S into RECORDS (with their lines and offsets);
  // the fault that stops the batch in FAULT.  Nothing of S is changed but
  // its buffer's end until the batch is whole: then the records are
  // consumed when the fault is to be REPORTED with them or there is none,
  // and with SKIP the bad record too; with DRY none is.
  void
  read_batch (stream& s, double n, std::vector<octave_value>& records,
              std::vector<double>& lines, std::vector<double>& offsets,
              std::string& fault, bool report, bool skip, bool dry = false)
  {
    compact (s);
    // A file still being written may have grown since its end was met.
    s.ended = false;
    json_parser parser (std::string_view (), s.options);
    parser.set_origin (s.base_line, s.base_column);
    std::size_t cur = s.at;
    double line = s.at_line;
    array_phase phase = s.phase;
    bool opened = s.opened;
    bool finished = s.finished;
    // Where the stream goes on after a bad record, when it is skipped.
    std::size_t resume = std::string::npos;
    double resume_line = 0;
    int countdown = 4096;

    auto view = [&] (std::size_t end) { return std::string_view (s.buf, end); };

    // Until the buffer holds the byte at I (or the text has ended).
    auto need = [&] (std::size_t i) -> bool
      {
        while (i >= s.filled)
          if (! more (s, fault))
            return false;
        return true;
      };

    // The byte-order mark, or a text in another encoding, at the start.
    auto open_text = [&] () -> bool
      {
        if (opened)
          return true;
        need (3);
        if (! fault.empty ())
          return false;
        parser.point (view (s.filled), cur);
        if (! parser.open_text ())
          {
            fault = s.shown + ": " + parser.error_message ();
            return false;
          }
        cur = parser.cursor ();
        opened = true;
        return true;
      };

    // Blanks (and comments) from CUR on, the buffer grown until something
    // else follows them or the text ends; false after a fault.
    auto blanks = [&] () -> bool
      {
        for (;;)
          {
            parser.point (view (s.filled), cur);
            parser.forget_fault ();
            const bool ok = parser.blanks ();
            const std::size_t stop = parser.cursor ();
            // A comment or a blank run may go on past the buffer's end.
            const bool open_end = ! ok ? ends_inside (parser, view (s.filled))
                                  : stop + 1 >= s.filled;
            if (open_end && ! s.ended && more (s, fault))
              continue;
            if (! fault.empty ())
              return false;
            if (! ok)
              {
                fault = fault_message (s, parser, view (s.filled), s.ended);
                return false;
              }
            line += std::count (s.buf + cur, s.buf + stop, '\n');
            cur = stop;
            return true;
          }
      };

    // One value at CUR nested DEPTH deep, the buffer grown until it is
    // whole; a top-level number or word must be followed by something.
    auto one_value = [&] (int depth, octave_value& v) -> bool
      {
        for (;;)
          {
            parser.point (view (s.filled), cur);
            parser.forget_fault ();
            v = parser.value_at (depth);
            const bool ok = parser.error_message ().empty ();
            const bool open_end
              = ok ? parser.cursor () >= s.filled
                : ends_inside (parser, view (s.filled));
            if (open_end && ! s.ended && more (s, fault))
              continue;
            if (! fault.empty ())
              return false;
            if (! ok)
              {
                fault = fault_message (s, parser, view (s.filled), s.ended);
                return false;
              }
            return true;
          }
      };

    while (static_cast<double> (records.size ()) < n && ! finished)
      {
        if (--countdown == 0)
          {
            countdown = 4096;
            octave_quit ();
          }
        if (s.shape == form::lines)
          {
            if (! open_text ())
              break;
            // The line from CUR: up to its line feed, or the text's end.
            std::size_t end;
            for (std::size_t from = cur; ; )
              {
                const void *lf = std::memchr (s.buf + from, '\n',
                                              s.filled - from);
                if (lf)
                  {
                    end = static_cast<const char *> (lf) - s.buf;
                    break;
                  }
                from = s.filled;
                if (! more (s, fault))
                  {
                    end = s.filled;
                    break;
                  }
              }
            if (! fault.empty ())
              break;
            if (cur == s.filled)
              break;
            const bool last = end == s.filled;
            parser.point (view (end), cur);
            parser.forget_fault ();
            if (parser.blanks () && parser.cursor () < end)
              {
                const std::size_t start = parser.cursor ();
                octave_value v = parser.last_value ();
                if (parser.error_message ().empty ())
                  {
                    records.push_back (std::move (v));
                    lines.push_back (line);
                    offsets.push_back (s.base_offset + start);
                  }
              }
            if (! parser.error_message ().empty ())
              {
                fault = fault_message (s, parser, view (end), last);
                // A record cut short stays for a later read.
                if (parser.error_code () != scan_error::cut_short)
                  {
                    resume = last ? end : end + 1;
                    resume_line = line + 1;
                  }
                break;
              }
            cur = last ? end : end + 1;
            line++;
            continue;
          }

        if (! open_text () || ! blanks ())
          break;
        const bool at_end = cur >= s.filled && s.ended;

        if (s.shape == form::documents)
          {
            if (at_end)
              break;
            const std::size_t start = cur;
            octave_value v;
            if (! one_value (0, v))
              break;
            records.push_back (std::move (v));
            lines.push_back (line);
            offsets.push_back (s.base_offset + start);
            line += std::count (s.buf + start, s.buf + parser.cursor (), '\n');
            cur = parser.cursor ();
            // Documents are set apart by blanks, or by brackets or quotes
            // that end or start one.
            if (cur < s.filled)
              {
                const char c = s.buf[cur];
                const char p = s.buf[cur - 1];
                if (! (c == ' ' || c == '\n' || c == '\r' || c == '\t'
                       || c == '/' || c == '[' || c == '{' || c == '"'
                       || p == ']' || p == '}' || p == '"'))
                  {
                    parser.point (view (s.filled), cur);
                    parser.fail_at (cur, scan_error::text_after_value);
                    fault = s.shown + ": " + parser.error_message ();
                    records.pop_back ();
                    lines.pop_back ();
                    offsets.pop_back ();
                    break;
                  }
              }
            continue;
          }

        // The elements of one array.
        if (phase == array_phase::after)
          {
            if (! at_end)
              {
                parser.point (view (s.filled), cur);
                parser.fail_at (cur, scan_error::text_after_value);
                fault = s.shown + ": " + parser.error_message ();
              }
            finished = fault.empty ();
            break;
          }
        if (phase == array_phase::before)
          {
            if (at_end || s.buf[cur] != '[')
              {
                parser.point (view (s.filled), cur);
                parser.fail_at (cur, at_end && cur > 0 ? scan_error::no_value
                                : scan_error::not_an_array);
                fault = s.shown + ": " + parser.error_message ();
                break;
              }
            cur++;
            phase = array_phase::first;
            continue;
          }
        if (at_end)
          {
            parser.point (view (s.filled), cur);
            parser.fail_at (cur, scan_error::cut_short);
            fault = s.shown + ": " + parser.error_message ();
            break;
          }
        const char c = s.buf[cur];
        if (phase == array_phase::first ? c == ']' : c == ']' || c == ',')
          {
            if (c == ']')
              {
                cur++;
                phase = array_phase::after;
                continue;
              }
            // A comma after an element: another one, or with trailing
            // commas allowed the end.
            cur++;
            if (! blanks ())
              break;
            if (s.options.commas && cur < s.filled && s.buf[cur] == ']')
              {
                cur++;
                phase = array_phase::after;
                continue;
              }
            phase = array_phase::first;
            if (cur < s.filled && s.buf[cur] == ']')
              {
                parser.point (view (s.filled), cur);
                parser.fail_at (cur, scan_error::trailing_comma);
                fault = s.shown + ": " + parser.error_message ();
                resume = cur;
                resume_line = line;
                break;
              }
            if (cur >= s.filled)
              continue;
          }
        else if (phase == array_phase::elements)
          {
            parser.point (view (s.filled), cur);
            parser.fail_at (cur, scan_error::missing_array_separator);
            fault = s.shown + ": " + parser.error_message ();
            std::string more_fault;
            const std::size_t next = skip_element (s, cur, more_fault);
            if (next != std::string::npos)
              {
                resume = next;
                resume_line = line + std::count (s.buf + cur, s.buf + next,
                                                 '\n');
              }
            break;
          }
        const std::size_t start = cur;
        octave_value v;
        if (! one_value (1, v))
          {
            if (parser.error_code () != scan_error::cut_short)
              {
                std::string more_fault;
                const std::size_t next = skip_element (s, start, more_fault);
                if (next != std::string::npos)
                  {
                    resume = next;
                    resume_line = line + std::count (s.buf + start,
                                                     s.buf + next, '\n');
                  }
              }
            break;
          }
        records.push_back (std::move (v));
        lines.push_back (line);
        offsets.push_back (s.base_offset + start);
        line += std::count (s.buf + start, s.buf + parser.cursor (), '\n');
        cur = parser.cursor ();
        phase = array_phase::elements;
      }

    // The batch is whole: its records are consumed, and the bad one when
    // it is skipped.  A fault that is raised consumes nothing.
    if (dry || (! fault.empty () && ! report))
      return;
    s.at = cur;
    s.at_line = line;
    s.phase = phase;
    s.opened = opened;
    s.finished = finished;
    if (! fault.empty () && skip)
      {
        if (resume != std::string::npos)
          {
            s.at = resume;
            s.at_line = resume_line;
            if (s.shape == form::array)
              s.phase = s.buf[resume - 1] == ',' ? array_phase::first
                        : array_phase::elements;
          }
        else if (s.shape == form::documents
                 || (s.shape == form::array
                     && parser.error_code () != scan_error::cut_short))
          s.finished = true;
      }
  }

  octave_value
  column_of (const std::vector<double>& v)
  {
    Matrix m (v.size (), 1);
    std::copy (v.begin (), v.end (), m.fortran_vec ());
    return m;
  }
}

DEFUN_DLD (__ledgerstream__, args, nargout,
  "-*- texinfo -*-\n"
  "  @deftypefn {ledgerkit} {@var{id} =} __ledgerstream__ "
  "(\"open\", @var{file}, @var{name}, @var{setting}, @dots{})\n"
  "@deftypefnx {ledgerkit} {[@var{recs}, @var{errmsg}] =} __ledgerstream__ "
  "(\"read\", @var{id}, @var{n}, @var{skip})\n"
  "@deftypefnx {ledgerkit} {@var{tf} =} __ledgerstream__ (\"done\", @var{id})\n"
  "@deftypefnx {ledgerkit} {[@var{lines}, @var{offsets}] =} __ledgerstream__ "
  "(\"places\", @var{id})\n"
  "@deftypefnx {ledgerkit} {} __ledgerstream__ (\"close\", @var{id})\n"
  "@deftypefnx {ledgerkit} {@var{n} =} __ledgerstream__ (\"count\")\n"
  "\n"
  "\n"
  "The streams of @qcode{ledgerstream}: open a file with its options "
  "(@var{id} names the stream), read the next @var{n} records as a column "
  "cell of trees, tell whether all was read, give the first line and byte "
  "offset of each record of the last batch, close it; \"count\" is the "
  "number of open streams.  A fault raises an error in the name of "
  "@qcode{ledgerstream}, unless @var{errmsg} is asked for; with @var{skip} "
  "the bad record is then passed over.\n"
  "\n"
  "This is a helper function for @qcode{ledgerstream}.  "
  "Do NOT call it directly.\n"
  "\n"
  "@end deftypefn")
{
  const int nargs = args.length ();
  if (nargs < 1 || ! args(0).is_string ())
    error ("__ledgerstream__: an action is required.");
  const std::string action = args(0).string_value ();
  auto& table = open_streams ();

  if (action == "count")
    return ovl (static_cast<double> (table.size ()));
  if (nargs < 2)
    error ("__ledgerstream__: %s needs a stream.", action.c_str ());

  if (action == "open")
    {
      const std::string given = ledger::text_argument (who, "FILE", args(1));
      // JSON Lines unless the options say otherwise.
      ledger::settings lines;
      lines.lines = true;
      auto s = std::make_unique<stream> ();
      s->options = ledger::read_options (who, ledger::to_stream, args, 2,
                                         lines);
      s->shape = s->options.array ? form::array
                 : s->options.lines ? form::lines : form::documents;
      s->shown = ledger::shown_name (given);
      const std::string name = octave::sys::file_ops::tilde_expand (given);
      const std::string fault = s->source.open (name);
      if (! fault.empty ())
        error_with_id ("ledgerkit:io", "%s: unable to open the file '%s' for "
                       "reading (%s).", who, s->shown.c_str (),
                       fault.c_str ());
      const double id = next_id++;
      table.emplace (id, std::move (s));
      return ovl (id, table[id]->options.plain);
    }

  if (action == "close")
    {
      if (args(1).is_real_scalar ())
        table.erase (args(1).double_value ());
      return octave_value_list ();
    }
  if (action != "read" && action != "done" && action != "places")
    error ("__ledgerstream__: unknown action '%s'.", action.c_str ());
  stream& s = stream_of (args(1));
  if (action == "read")
    {
      if (nargs < 3)
        error ("__ledgerstream__: read needs a count.");
      const octave_value& count = args(2);
      const double n = count.is_real_scalar () ? count.double_value () : -1;
      if (! (n >= 0) || n != std::floor (n))
        ledger::argument_error (who, "N must be a whole number of records, "
                                     "0 or more");
      const bool skip = nargs > 3 && args(3).bool_value ();
      std::vector<octave_value> records;
      std::vector<double> lines, offsets;
      std::string fault;
      read_batch (s, n, records, lines, offsets, fault, nargout >= 2,
                  skip && nargout >= 2);
      if (! fault.empty () && nargout < 2)
        error_with_id ("ledgerkit:parse", "%s: %s", who, fault.c_str ());
      s.lines = column_of (lines).matrix_value ();
      s.offsets = column_of (offsets).matrix_value ();
      Cell c = ledger::take_cell (records, 0, dim_vector (records.size (), 1));
      octave_value_list out (2);
      out(0) = c;
      out(1) = fault.empty () ? octave_value (charNDArray (), '\'')
               : octave_value (std::string (who) + ": " + fault, '\'');
      return out;
    }
  if (action == "done")
    {
      // The end is known once it is met: a record is looked for, and left
      // in place.
      std::vector<octave_value> next;
      std::vector<double> l, o;
      std::string fault;
      read_batch (s, 1, next, l, o, fault, false, false, true);
      return ovl (next.empty () && fault.empty ());
    }
  return ovl (s.lines, s.offsets);
}

/*
## The entry's own checks; its reading is tested in tests/stream.tst.
%!error <an action is required> __ledgerstream__ ()
%!error <an action is required> __ledgerstream__ (1)
%!error <read needs a stream> __ledgerstream__ ("read")
%!error <unknown action 'nothing'> __ledgerstream__ ("nothing", 1, 2)
%!error <the stream is closed> __ledgerstream__ ("read", -1, 1)
%!error <FILE must be a character row> __ledgerstream__ ("open", 1)
%!error <the value of 'Array' must be true or false> __ledgerstream__ ("open", "/dev/null", "Array", "yes")
%!test
%! f = [tempname() ".jsonl"];
%! fid = fopen (f, "w");
%! fputs (fid, "1\n2\n");
%! fclose (fid);
%! unwind_protect
%!   [id, plain] = __ledgerstream__ ("open", f, "Plain", true);
%!   assert (plain);
%!   assert (__ledgerstream__ ("read", id, 0), cell (0, 1));
%!   assert (! __ledgerstream__ ("done", id));
%!   assert (__ledgerstream__ ("read", id, 5), {1; 2});
%!   [l, o] = __ledgerstream__ ("places", id);
%!   assert ([l, o], [1 0; 2 2]);
%!   assert (__ledgerstream__ ("done", id));
%!   __ledgerstream__ ("close", id);
%!   __ledgerstream__ ("close", id);
%! unwind_protect_cleanup
%!   delete (f);
%! end_unwind_protect
*/
