#pragma once
/// \file
/// The formatter every printer writes to: it lays a stream of text tokens, space and cut hints and line ends
/// out into lines no wider than a right margin, inside the outermost filling box (indentation 0).
///
/// Layout of a hint: its size is its own width, plus the text after it, plus the next hint's width; the size is
/// settled when the next hint arrives. A settled hint is a space (or nothing, for a cut) when its size is at
/// most the room left on the line (margin minus column), else a line feed. Whenever, after a text token, the
/// pending material (the open hint's width and the text after it) is at least as wide as the room left, the
/// open hint is laid out as unbounded, that is as a line feed. A line end, and finishing, lay the open hint out
/// as unbounded too, so the last hint of a stretch always becomes a line feed.
///
/// The sink belongs to the caller: the formatter never creates or closes it, and flushes it only at a line end.

#include <quarvel/export.hpp>

#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace quarvel {

class sink;

/// A POSIX stream descriptor as a formatter's sink (kept apart from an int margin on purpose).
struct file_descriptor {
    int fd = -1;  ///< the descriptor; it stays the caller's
};

/// Lays printers' tokens out into lines and hands them to its sink. It belongs to one thread at a time.
/// Over a string it appends as it lays tokens out: what is pending reaches the string when `finish` runs
/// or when the formatter is destroyed, so read the string after either.
class formatter {
public:
    /// The right margin unless the owner sets another.
    static constexpr int default_margin = 78;

    /// Appends to the caller's string as tokens are laid out.
    QUARVEL_API explicit formatter(std::string& sink, int margin = default_margin);
    /// Buffers laid-out bytes; writes them to the stream and flushes it at each line end.
    QUARVEL_API explicit formatter(std::FILE* sink, int margin = default_margin);
    /// Buffers laid-out bytes; writes them to the descriptor (retrying EINTR, continuing partial writes) at
    /// each line end.
    QUARVEL_API explicit formatter(file_descriptor sink, int margin = default_margin);

    /// Lays bytes out into a sink of this tree's tools (not part of the installed interface): they stay in the
    /// sink, which is flushed at each line end; the sink stays the caller's.
    explicit formatter(sink& out, int margin = default_margin);

    /// Finishes (as `finish`), so that nothing written is lost; does not flush a stream.
    QUARVEL_API ~formatter();

    formatter(const formatter&) = delete;
    formatter& operator=(const formatter&) = delete;

    /// A text token: written unchanged, never split; its width is its length in bytes.
    QUARVEL_API void text(std::string_view s);
    /// The space hint "@ ": width 1, one space or a line feed.
    QUARVEL_API void space();
    /// The cut hint "@,": width 0, nothing or a line feed.
    QUARVEL_API void cut();
    /// "@.": lays out everything pending (the open hint becomes a line feed), writes a line feed, hands the
    /// bytes to the sink and flushes it; the column starts again at 0.
    QUARVEL_API void line_end();
    /// A line end without the line feed: everything pending is laid out (the open hint becomes a line feed)
    /// and handed to the sink, nothing is appended and the sink is not flushed.
    QUARVEL_API void finish();

    /// The right margin.
    int margin() const { return static_cast<int>(margin_); }
    /// Bytes laid out since the last line feed.
    std::int64_t column() const { return column_; }
    /// A write to the stream or descriptor failed; later bytes were dropped.
    QUARVEL_API bool failed() const;

private:
    // The public member functions are exported one by one; these are not, so they may change in a series.
    void hint(int width);
    void lay_out_pending(bool hint_fits);

    std::unique_ptr<sink> owned_;  ///< the sink over the string, stream or descriptor given, unless the caller's
    sink* out_;                    ///< where laid-out bytes go
    std::int64_t margin_;
    std::int64_t column_ = 0;
    bool hint_open_ = false;     ///< a hint whose size is still open heads the pending material
    int hint_width_ = 0;
    std::string pending_text_;   ///< text written after the open hint; reused, so no allocation per token
};

/// Prints into a fresh formatter over a string with margin 78, finishes it and returns the text.
QUARVEL_API std::string render(const std::function<void(formatter&)>& print);

}  // namespace quarvel
