#include <quarvel/format.hpp>

#include <quarvel_toolkit/posix.hpp>

namespace quarvel {

namespace {

// A stream sink gets laid-out bytes in pieces of about this size even within one long line stretch, so the
// buffer stays bounded; handing bytes to a stdio stream is not a flush.
constexpr std::size_t stream_spill_size = 64 * 1024;

}  // namespace

formatter::formatter(std::string& sink, int margin)
    : kind_(sink_kind::string), out_(&sink), margin_(margin) {}

formatter::formatter(std::FILE* sink, int margin)
    : kind_(sink_kind::file), out_(&buffer_), file_(sink), margin_(margin) {}

formatter::formatter(file_descriptor sink, int margin)
    : kind_(sink_kind::descriptor), out_(&buffer_), fd_(sink.fd), margin_(margin) {}

formatter::~formatter() { finish(); }

void formatter::text(std::string_view s) {
    if (!hint_open_) {
        out_->append(s);
        column_ += static_cast<std::int64_t>(s.size());
        spill_if_large();
        return;
    }
    pending_text_.append(s);
    const auto pending_width = hint_width_ + static_cast<std::int64_t>(pending_text_.size());
    if (pending_width >= margin_ - column_) lay_out_pending(false);
}

void formatter::space() { hint(1); }

void formatter::cut() { hint(0); }

void formatter::hint(int width) {
    if (hint_open_) {
        const auto size = hint_width_ + static_cast<std::int64_t>(pending_text_.size()) + width;
        lay_out_pending(size <= margin_ - column_);
    }
    hint_open_ = true;
    hint_width_ = width;
}

// Lays out the open hint (as its width in spaces when it fits, else as a line feed to indentation 0) and the
// text pending behind it.
void formatter::lay_out_pending(bool hint_fits) {
    if (hint_fits) {
        out_->append(static_cast<std::size_t>(hint_width_), ' ');
        column_ += hint_width_;
    } else {
        out_->push_back('\n');
        column_ = 0;
    }
    out_->append(pending_text_);
    column_ += static_cast<std::int64_t>(pending_text_.size());
    pending_text_.clear();
    hint_open_ = false;
    spill_if_large();
}

void formatter::spill_if_large() {
    if (kind_ == sink_kind::file && buffer_.size() >= stream_spill_size) hand_over(false);
}

void formatter::line_end() {
    if (hint_open_) lay_out_pending(false);
    out_->push_back('\n');
    column_ = 0;
    hand_over(true);
}

void formatter::finish() {
    if (hint_open_) lay_out_pending(false);
    hand_over(false);
}

void formatter::hand_over(bool flush) {
    switch (kind_) {
    case sink_kind::string:
        return;
    case sink_kind::file:
        if (!buffer_.empty() && !failed_ && std::fwrite(buffer_.data(), 1, buffer_.size(), file_) != buffer_.size())
            failed_ = true;
        buffer_.clear();
        if (flush && !failed_ && std::fflush(file_) != 0) failed_ = true;
        return;
    case sink_kind::descriptor: {
        if (!failed_ && posix::write_all(fd_, buffer_) != 0) failed_ = true;
        buffer_.clear();
        return;
    }
    }
}

std::string render(const std::function<void(formatter&)>& print) {
    std::string out;
    {
        formatter f(out);
        print(f);
        f.finish();
    }
    return out;
}

}  // namespace quarvel
