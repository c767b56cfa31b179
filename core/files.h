// Files: reading one whole (files, devices, pipes, limits, the system's
// reasons, gzip by its magic bytes), replacing one so that it holds the old
// text or the whole new one at every moment, and adding to the end of one
// so that a fault leaves it as it was.  Every fault comes back as a
// message; nothing here raises an error but Ctrl-C.
//
// Copyright (C) 2026 ledgerkit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#ifndef LEDGERKIT_CORE_FILES_H
#define LEDGERKIT_CORE_FILES_H

#include <octave/oct.h>
#include <octave/quit.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <zlib.h>

namespace ledger
{
  // Bytes between looks for Ctrl-C in a loop over a text or a file.
  constexpr std::size_t bytes_per_check = std::size_t (1) << 20;

  // A file name as a message shows it: a NUL byte written \0.
  inline std::string
  shown_name (const std::string& name)
  {
    std::string shown;
    for (char c : name)
      if (c)
        shown += c;
      else
        shown += "\\0";
    return shown;
  }

  // ---- reading ------------------------------------------------------------

  // Bytes that the allocator of the C library owns, grown in place.
  typedef std::unique_ptr<char, void (*) (void *)> byte_buffer;

  // A text may take half of the memory: its tree needs room of its own.
  inline std::size_t
  text_limit ()
  {
    const long pages = sysconf (_SC_PHYS_PAGES);
    const long page = sysconf (_SC_PAGESIZE);
    if (pages <= 0 || page <= 0)
      return SIZE_MAX / 2;
    return static_cast<std::size_t> (pages) / 2 * page;
  }

  // A pipe: wait for bytes or its end, looking at Ctrl-C 20 times a second.
  inline void
  wait_readable (int fd)
  {
    for (;;)
      {
        pollfd want = { fd, POLLIN, 0 };
        if (::poll (&want, 1, 50) > 0)
          return;
        octave_quit ();
      }
  }

  // ---- gzip -------------------------------------------------------------

  // gzip's magic bytes, as far as SIZE bytes show them: no JSON text starts
  // with the control byte 0x1F, so they tell a compressed file whatever its
  // name.
  inline bool
  is_gzip (const char *bytes, std::size_t size)
  {
    return size >= 1 && static_cast<unsigned char> (bytes[0]) == 0x1F
           && (size < 2 || static_cast<unsigned char> (bytes[1]) == 0x8B);
  }

  // The text of the gzip data TEXT (SIZE bytes), every member of it, in
  // place of the data; the fault, or an empty text.
  inline std::string
  inflate_text (byte_buffer& text, std::size_t& size)
  {
    const std::size_t limit = text_limit ();
    std::size_t capacity = std::max<std::size_t> (4 * size, bytes_per_check);
    capacity = std::min (capacity, limit);
    byte_buffer out (static_cast<char *> (std::malloc (capacity)), std::free);
    if (! out)
      return "out of memory";
    z_stream z = z_stream ();
    if (inflateInit2 (&z, 15 + 16) != Z_OK)
      return "out of memory";
    struct ender
    {
      z_stream *z;
      ~ender () { inflateEnd (z); }
    } end_at_exit { &z };
    z.next_in = reinterpret_cast<Bytef *> (text.get ());
    std::size_t in_left = size;
    std::size_t done = 0;
    for (;;)
      {
        if (done == capacity)
          {
            if (capacity >= limit)
              return "its text is larger than half of the memory";
            capacity = std::min (limit, 2 * capacity);
            char *more = static_cast<char *> (std::realloc (out.get (),
                                                            capacity));
            if (! more)
              return "out of memory";
            out.release ();
            out.reset (more);
          }
        // zlib counts in 32 bits: at most a megabyte each way per step.
        const uInt in_step = std::min (in_left, bytes_per_check);
        z.avail_in = in_step;
        z.next_out = reinterpret_cast<Bytef *> (out.get () + done);
        z.avail_out = std::min (capacity - done, bytes_per_check);
        const uInt out_step = z.avail_out;
        const int rc = inflate (&z, Z_NO_FLUSH);
        in_left -= in_step - z.avail_in;
        done += out_step - z.avail_out;
        if (rc == Z_STREAM_END)
          {
            // Another member may follow; blanks or zeros after the last
            // one are padding, as gzip itself takes them.
            if (in_left == 0)
              break;
            if (! is_gzip (reinterpret_cast<const char *> (z.next_in),
                           in_left))
              break;
            inflateReset (&z);
          }
        else if (rc == Z_BUF_ERROR && in_left == 0)
          return "the gzip data is cut short";
        else if (rc != Z_OK && rc != Z_BUF_ERROR)
          return std::string ("the gzip data is damaged: ")
                 + (z.msg ? z.msg : "no reason given");
        octave_quit ();
      }
    text.reset (out.release ());
    size = done;
    return "";
  }

  // The gzip data (one member) of the SIZE bytes of DATA into OUT; false
  // when memory runs out.
  inline bool
  deflate_text (const char *data, std::size_t size, std::string& out)
  {
    z_stream z = z_stream ();
    if (deflateInit2 (&z, 6, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY)
        != Z_OK)
      return false;
    struct ender
    {
      z_stream *z;
      ~ender () { deflateEnd (z); }
    } end_at_exit { &z };
    out.clear ();
    z.next_in = reinterpret_cast<Bytef *> (const_cast<char *> (data));
    std::size_t in_left = size;
    int rc = Z_OK;
    while (rc != Z_STREAM_END)
      {
        const uInt in_step = std::min (in_left, bytes_per_check);
        z.avail_in = in_step;
        const int flush = in_left == in_step ? Z_FINISH : Z_NO_FLUSH;
        const std::size_t at = out.size ();
        out.resize (at + bytes_per_check);
        z.next_out = reinterpret_cast<Bytef *> (&out[at]);
        z.avail_out = bytes_per_check;
        rc = deflate (&z, flush);
        out.resize (out.size () - z.avail_out);
        in_left -= in_step - z.avail_in;
        if (rc != Z_OK && rc != Z_STREAM_END && rc != Z_BUF_ERROR)
          return false;
        octave_quit ();
      }
    return true;
  }

  // True when the file NAME is to be written as gzip: its name ends in
  // ".gz".
  inline bool
  gzip_name (const std::string& name)
  {
    return name.size () > 3 && name.compare (name.size () - 3, 3, ".gz") == 0;
  }

  // The reading of the open file FD; REFUSED tells a file that is not read
  // at all.
  inline std::string
  read_open (int fd, bool stop_at_nul, byte_buffer& text, std::size_t& size,
             bool& refused)
  {
    struct stat st;
    if (fstat (fd, &st) != 0)
      return std::strerror (errno);
    const bool pipe = S_ISFIFO (st.st_mode);
    refused = ! pipe && ! S_ISREG (st.st_mode);
    if (S_ISDIR (st.st_mode))
      return std::strerror (EISDIR);
    if (refused)
      return "a device, not a file";
    const std::size_t limit = text_limit ();
    const char *too_large = "larger than half of the memory";
    if (static_cast<uint64_t> (st.st_size) > limit)
      return too_large;
    const bool stream = pipe || st.st_size == 0;
    // One byte more than the size, to see the end (or that the file grew).
    std::size_t capacity = stream ? bytes_per_check : st.st_size + 1;
    size = 0;
    text.reset (static_cast<char *> (std::malloc (capacity)));
    if (! text)
      return "out of memory";
    for (;;)
      {
        if (size == capacity)
          {
            if (capacity >= limit)
              return too_large;
            capacity = std::min (limit, 2 * capacity);
            char *more = static_cast<char *> (std::realloc (text.get (),
                                                            capacity));
            if (! more)
              return "out of memory";
            text.release ();
            text.reset (more);
          }
        if (pipe)
          wait_readable (fd);
        const ssize_t got = ::read (fd, text.get () + size,
                                    std::min (capacity - size,
                                              bytes_per_check));
        if (got == 0)
          return "";
        if (got < 0)
          {
            if (errno != EINTR && errno != EAGAIN)
              return std::strerror (errno);
          }
        else
          {
            // Compressed bytes hold NULs of their own.
            const void *nul = stream && stop_at_nul
                              && ! (size + got >= 1
                                    && is_gzip (text.get (), size + got))
                              ? std::memchr (text.get () + size, 0, got)
                              : nullptr;
            if (nul)
              {
                size = static_cast<const char *> (nul) - text.get () + 1;
                return "";
              }
            size += got;
          }
        octave_quit ();
      }
  }

  // Read the file NAME whole into TEXT (SIZE bytes); a gzip file is read as
  // its text.  Returns the fault with the system's reason, or an empty
  // text.  A regular file is read up
  // to its end, a pipe or a file whose size the system does not give (as
  // under /proc) up to the end or the limit; a device is refused.  With
  // STOP_AT_NUL, reading such a stream stops after a NUL byte: no JSON text
  // holds one outside a comment, so the rest could not change the outcome.
  inline std::string
  read_file (const std::string& name, bool stop_at_nul, byte_buffer& text,
             std::size_t& size)
  {
    const std::string opening = "unable to open the file '"
                                + shown_name (name) + "' for reading (";
    if (name.find ('\0') != std::string::npos)
      return opening + "a file name cannot hold a NUL byte).";
    int fd;
    while ((fd = ::open (name.c_str (), O_RDONLY | O_NONBLOCK | O_NOCTTY
                                        | O_CLOEXEC)) < 0
           && errno == EINTR)
      octave_quit ();
    if (fd < 0)
      return opening + std::strerror (errno) + ").";
    std::string fault;
    bool refused = false;
    try
      {
        fault = read_open (fd, stop_at_nul, text, size, refused);
      }
    catch (...)
      {
        ::close (fd);
        throw;
      }
    ::close (fd);
    if (fault.empty () && is_gzip (text.get (), size) && size >= 2)
      fault = inflate_text (text, size);
    if (fault.empty ())
      return fault;
    if (refused)
      return opening + fault + ").";
    return "unable to read the file '" + shown_name (name) + "' (" + fault
           + ").";
  }

  // ---- replacing ----------------------------------------------------------
  // The whole text goes to a new file beside the target, flushed to disk and
  // renamed over it.  Where no new file can take the target's place (a
  // folder that takes no new file, an owner this process cannot give), the
  // text is written over the old one, but only once its room on the disk is
  // reserved: a full disk then refuses the text before a byte of the old one
  // is lost.

  // A new file that is removed again unless it was renamed into place,
  // however the call ends (a fault, Ctrl-C).
  struct temp_file
  {
    std::string path;
    int fd = -1;

    temp_file () = default;
    temp_file (const temp_file&) = delete;
    temp_file& operator = (const temp_file&) = delete;
    ~temp_file ()
    {
      if (fd >= 0)
        ::close (fd);
      if (! path.empty ())
        ::unlink (path.c_str ());
    }
  };

  inline std::string
  open_fault (const std::string& name, const std::string& why)
  {
    return "unable to open the file '" + shown_name (name)
           + "' for writing (" + why + ").";
  }

  inline std::string
  write_fault (const std::string& name, const std::string& why)
  {
    return "unable to write the file '" + shown_name (name) + "' (" + why
           + ").";
  }

  // Writes all SIZE bytes of DATA to FD; false with errno set on a fault.
  // With QUIT, Ctrl-C is looked for between pieces.
  inline bool
  write_all (int fd, const char *data, std::size_t size, bool quit)
  {
    const std::size_t piece = std::size_t (8) << 20;
    while (size > 0)
      {
        if (quit)
          octave_quit ();
        const ssize_t n = ::write (fd, data, std::min (size, piece));
        if (n < 0 && errno == EINTR)
          continue;
        if (n <= 0)
          {
            if (n == 0)
              errno = EIO;
            return false;
          }
        data += n;
        size -= n;
      }
    return true;
  }

  // Turns the name TARGET into the file it stands for after symbolic
  // links; ST is its status and EXISTS says whether there is one.  False
  // with errno set when the name cannot be followed.
  inline bool
  follow (std::string& target, struct stat& st, bool& exists)
  {
    for (int hops = 0; hops < 40; hops++)
      {
        if (::lstat (target.c_str (), &st) != 0)
          {
            exists = false;
            return errno == ENOENT;
          }
        exists = true;
        if (! S_ISLNK (st.st_mode))
          return true;
        std::vector<char> link (st.st_size > 0 ? st.st_size + 1 : 4096);
        const ssize_t n = ::readlink (target.c_str (), link.data (),
                                      link.size ());
        if (n < 0)
          return false;
        const std::string to (link.data (), n);
        const std::size_t slash = target.rfind ('/');
        if (to[0] == '/' || slash == std::string::npos)
          target = to;
        else
          target = target.substr (0, slash + 1) + to;
      }
    errno = ELOOP;
    return false;
  }

  // Writes the text over what is not a regular file (a device, a pipe).
  inline std::string
  write_stream (const std::string& name, const std::string& target,
                const char *data, std::size_t size)
  {
    const int fd = ::open (target.c_str (),
                           O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0)
      return open_fault (name, std::strerror (errno));
    const bool ok = write_all (fd, data, size, true);
    const int fault = errno;
    ::close (fd);
    return ok ? "" : write_fault (name, std::strerror (fault));
  }

  // Writes the text over the regular file TARGET in place, where no new
  // file can take its place (WHY says what the new file met).  The room is
  // reserved first; where it cannot be, the file is left as it was.
  inline std::string
  write_in_place (const std::string& name, const std::string& target,
                  const char *data, std::size_t size, bool sync,
                  const std::string& why)
  {
    const int fd = ::open (target.c_str (), O_WRONLY | O_CLOEXEC);
    if (fd < 0)
      return open_fault (name, std::strerror (errno));
    const int room = size > 0 ? ::posix_fallocate (fd, 0, size) : 0;
    if (room != 0)
      {
        ::close (fd);
        return write_fault (name, why + "; nor can its room be reserved to "
                                  "write it in place: "
                                  + std::string (std::strerror (room))
                                  + "; it is left as it was");
      }
    bool ok = write_all (fd, data, size, false)
              && ::ftruncate (fd, size) == 0
              && (! sync || ::fsync (fd) == 0);
    const int fault = errno;
    if (::close (fd) != 0 && ok)
      return write_fault (name, std::strerror (errno));
    return ok ? "" : write_fault (name, std::strerror (fault));
  }

  // Replaces the file NAME by the SIZE bytes of DATA; returns the fault,
  // empty on success.  With SYNC the new text and its name are forced to
  // the disk before the call returns.
  inline std::string
  replace_file (const std::string& name, const char *data, std::size_t size,
                bool sync = true)
  {
    if (name.empty ())
      return open_fault (name, std::strerror (ENOENT));
    if (name.find ('\0') != std::string::npos)
      return open_fault (name, "a file name cannot hold a NUL byte");
    std::string target = name;
    struct stat st;
    bool exists;
    if (! follow (target, st, exists))
      return open_fault (name, std::strerror (errno));
    if (exists && S_ISDIR (st.st_mode))
      return open_fault (name, std::strerror (EISDIR));
    if (exists && ! S_ISREG (st.st_mode))
      return write_stream (name, target, data, size);

    const std::size_t slash = target.rfind ('/');
    const std::string folder = slash == std::string::npos ? "."
                               : slash == 0 ? "/" : target.substr (0, slash);
    // The new file's name says whose it is, and stays within the length
    // of a name.
    std::string base = target.substr (slash == std::string::npos ? 0
                                      : slash + 1);
    if (base.size () > 200)
      base.resize (200);
    temp_file tmp;
    std::string path = folder + "/" + base + ".saveledger-XXXXXX";
    tmp.fd = ::mkostemp (&path[0], O_CLOEXEC);
    if (tmp.fd < 0)
      {
        const std::string why
          = std::string ("no new file can be made in its folder: ")
            + std::strerror (errno);
        if (exists)
          return write_in_place (name, target, data, size, sync, why);
        return open_fault (name, std::strerror (errno));
      }
    tmp.path = path;

    if (exists)
      {
        // The file keeps its owner where this process may give it; where
        // it may not, the file is written in place rather than taken over.
        if ((st.st_uid != ::geteuid () || st.st_gid != ::getegid ())
            && ::fchown (tmp.fd, st.st_uid, st.st_gid) != 0)
          {
            const std::string why
              = std::string ("a new file cannot be given its owner: ")
                + std::strerror (errno);
            ::close (tmp.fd);
            tmp.fd = -1;
            ::unlink (tmp.path.c_str ());
            tmp.path.clear ();
            return write_in_place (name, target, data, size, sync, why);
          }
        ::fchmod (tmp.fd, st.st_mode & 07777);
      }
    else
      {
        const mode_t mask = ::umask (0);
        ::umask (mask);
        ::fchmod (tmp.fd, 0666 & ~mask);
      }

    if (! write_all (tmp.fd, data, size, true)
        || (sync && ::fsync (tmp.fd) != 0))
      return write_fault (name, std::strerror (errno));
    const int fd = tmp.fd;
    tmp.fd = -1;
    if (::close (fd) != 0)
      return write_fault (name, std::strerror (errno));
    if (::rename (tmp.path.c_str (), target.c_str ()) != 0)
      return write_fault (name, std::strerror (errno));
    tmp.path.clear ();

    // The rename itself reaches the disk with the folder.
    if (sync)
      {
        const int dir = ::open (folder.c_str (), O_RDONLY | O_DIRECTORY
                                                 | O_CLOEXEC);
        if (dir >= 0)
          {
            ::fsync (dir);
            ::close (dir);
          }
      }
    return "";
  }

  // ---- appending ----------------------------------------------------------

  // Adds the SIZE bytes of DATA to the end of the file NAME, made when it
  // is missing; returns the fault, empty on success.  A regular file is cut
  // back to its old length on any fault (Ctrl-C too), and one that was made
  // here is removed, so that a failure leaves it as it was.  When the file
  // does not end in a line feed, one is written first, so that the text
  // added starts a line of its own; a gzip file's text is not looked at.
  inline std::string
  append_file (const std::string& name, const char *data, std::size_t size,
               bool sync = true)
  {
    if (name.empty ())
      return open_fault (name, std::strerror (ENOENT));
    if (name.find ('\0') != std::string::npos)
      return open_fault (name, "a file name cannot hold a NUL byte");
    int fd;
    bool made = false;
    // Read too where allowed, to see the file's last byte.
    bool readable = true;
    while ((fd = ::open (name.c_str (), O_RDWR | O_APPEND | O_CLOEXEC)) < 0
           && errno == EINTR)
      ;
    if (fd < 0 && errno == EACCES)
      {
        readable = false;
        fd = ::open (name.c_str (), O_WRONLY | O_APPEND | O_CLOEXEC);
      }
    if (fd < 0 && errno == ENOENT)
      {
        fd = ::open (name.c_str (),
                     O_WRONLY | O_APPEND | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        made = fd >= 0;
      }
    if (fd < 0)
      return open_fault (name, std::strerror (errno));
    struct stat st;
    if (::fstat (fd, &st) != 0)
      {
        const int fault = errno;
        ::close (fd);
        return open_fault (name, std::strerror (fault));
      }
    if (S_ISDIR (st.st_mode))
      {
        ::close (fd);
        return open_fault (name, std::strerror (EISDIR));
      }
    const bool regular = S_ISREG (st.st_mode);
    const off_t old = regular ? st.st_size : 0;
    // Undoes what was written: the old length back, a new file removed.
    auto undo = [&] ()
      {
        if (! regular)
          return;
        if (made)
          ::unlink (name.c_str ());
        else
          while (::ftruncate (fd, old) != 0 && errno == EINTR)
            ;
      };
    bool ok = true;
    try
      {
        char last = '\n';
        if (regular && readable && old > 0 && ! is_gzip (data, size)
            && ::pread (fd, &last, 1, old - 1) != 1)
          ok = false;
        if (ok && last != '\n')
          ok = write_all (fd, "\n", 1, false);
        ok = ok && write_all (fd, data, size, true)
             && (! sync || ! regular || ::fsync (fd) == 0);
      }
    catch (...)
      {
        undo ();
        ::close (fd);
        throw;
      }
    int fault = errno;
    if (! ok)
      undo ();
    if (::close (fd) != 0 && ok)
      {
        fault = errno;
        ok = false;
        // The text may not have reached the file whole: cut it back.
        if (regular && ! made)
          {
            const int again = ::open (name.c_str (), O_WRONLY | O_CLOEXEC);
            if (again >= 0)
              {
                if (::ftruncate (again, old) != 0)
                  fault = errno;
                ::close (again);
              }
          }
        else if (made)
          ::unlink (name.c_str ());
      }
    return ok ? "" : write_fault (name, std::strerror (fault));
  }
}

#endif
