#pragma once
// Reading a tool's input file: the file named on the command line, or standard input for "-".

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include <quarvel/basic.hpp>

namespace file_input {

// Reads a whole file, or standard input for "-", in binary. Failures are "NAME: REASON", with runs of "/"
// in NAME collapsed to one. A regular file is read into a buffer of exactly its size. A stream (a pipe, a
// terminal, a device), which may never end, is read only as far as the first DER element it holds (as
// its header tells) and one octet more, which is all that a decoder of one element looks at; a header
// that cannot be valid ends the read at once, the decoder then telling what is wrong.
quarvel::result<std::string> read_whole_file(const std::string& name);

// Calls `use` once with the whole contents of the file, or of standard input for "-". A regular file is
// mapped read-only instead of copied, so the view is valid only during the call: keep copies, not views.
// Other files (standard input, pipes, devices, files that report no size) are read as by read_whole_file.
// Failures to open or read are the same "NAME: REASON" texts, and `use` is then not called. A file that
// another process shrinks while it is mapped reads as zero octets past its new end (instead of killing
// the process); a file that changes while it is mapped (shrunk, grown or written) makes the call fail with
// "NAME: file changed while being read".
quarvel::result<void> with_whole_file(const std::string& name, const std::function<void(std::string_view)>& use);

// Told that the first N octets of the contents are no longer needed: the memory behind them (the pages of
// a mapping) may be given up. Whatever is looked at again still reads the same bytes, only slower. Does
// nothing where giving memory up is not worth its cost: a file small against the memory the process may
// fill, or contents read into a buffer that goes as a whole.
using prefix_done = std::function<void(std::size_t)>;

// The same, with `use` also given the function to call as it is done with growing prefixes of the
// contents, so that a large file need not stay resident while it is copied into something else.
quarvel::result<void> with_whole_file(const std::string& name,
                                      const std::function<void(std::string_view, const prefix_done&)>& use,
                                      std::optional<std::uint64_t> release_above = std::nullopt);

// Asked while mapped contents are in use: success while the file is still what was mapped (the same size
// and modification time, no page lost to a truncation), else "NAME: file changed while being read". A user
// that writes the contents out asks before it lets what it wrote count (before a file is renamed over its
// target), and passes the error number of its write: EFAULT is what a write from the mapping fails with
// when its pages are gone past the file's new end (where a read would raise SIGBUS), so it means the file
// changed too. Contents read into a buffer of our own cannot change: always success for them.
using source_check = std::function<quarvel::result<void>(int write_error)>;

// The same, with `use` also given the check above. Every form of `with_whole_file` asks it once more after
// `use`, so a file that changed while it was used never ends in success.
// A mapped file's pages are given up when it is larger than `release_above` octets: by default a quarter
// of the memory the process may fill (memory_limit.hpp).
quarvel::result<void> with_whole_file(
    const std::string& name, const std::function<void(std::string_view, const prefix_done&, const source_check&)>& use,
    std::optional<std::uint64_t> release_above = std::nullopt);

// A descriptor to read the file from, for tools that read it piece by piece: standard input for "-" (not
// to be closed), else the named file opened read-only (the caller closes it). Failures as above.
quarvel::result<int> open_file_or_stdin(const std::string& name);

// "NAME: REASON" for a failed call on the file: NAME with runs of "/" collapsed, REASON the error's text.
std::string file_failure(const std::string& name, int error_number);

}  // namespace file_input
