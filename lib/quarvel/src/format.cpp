#include <quarvel/format.hpp>

#include <quarvel_toolkit/sink.hpp>

namespace quarvel {

namespace {

// A stream or descriptor gets laid-out bytes in pieces of about this size even within one long line stretch,
// so the buffer stays bounded; handing bytes to a stdio stream is not a flush.
constexpr std::size_t spill_size = 64 * 1024;

}  // namespace

// A string gets every laid-out byte as it is settled (a sink of no capacity), so that the caller may read it
// between tokens.
formatter::formatter(std::string& sink, int margin)
    : owned_(std::make_unique<quarvel::sink>(sink, 0)), out_(owned_.get()), margin_(margin) {}

formatter::formatter(std::FILE* sink, int margin)
    : owned_(std::make_unique<quarvel::sink>(sink, spill_size)), out_(owned_.get()), margin_(margin) {}

formatter::formatter(file_descriptor sink, int margin)
    : owned_(std::make_unique<quarvel::sink>(sink.fd, spill_size)), out_(owned_.get()), margin_(margin) {}

formatter::formatter(sink& out, int margin) : out_(&out), margin_(margin) {}

formatter::~formatter() { finish(); }

bool formatter::failed() const { return out_->error() != 0; }

void formatter::text(std::string_view s) {
    if (!hint_open_) {
        out_->write(s);
        column_ += static_cast<std::int64_t>(s.size());
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
    if (!hint_fits) {
        out_->put('\n');
        column_ = 0;
    } else if (hint_width_ > 0) {
        out_->put(' ');
        column_ += hint_width_;
    }
    out_->write(pending_text_);
    column_ += static_cast<std::int64_t>(pending_text_.size());
    pending_text_.clear();
    hint_open_ = false;
}

void formatter::line_end() {
    if (hint_open_) lay_out_pending(false);
    out_->put('\n');
    column_ = 0;
    out_->flush();
}

// The caller's own sink keeps what is laid out: its owner hands it on.
void formatter::finish() {
    if (hint_open_) lay_out_pending(false);
    if (owned_) out_->hand_on();
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
