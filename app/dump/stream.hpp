#pragma once
// quarvel-dump's writers: the values of one FILE in the form the settings ask for, written as they are
// produced through the run's one output buffer (output/buffer.hpp). The JSON of a value is never held
// whole as text, nor the text of a state; the frames of a capture leave in large writes, yet as soon as
// the input has nothing more ready.

#include <cstdint>
#include <expected>
#include <optional>
#include <string>

#include "output/buffer.hpp"
#include "run.hpp"

namespace dump {

// Why a FILE's values stopped: its open or read failed, and the message names it ("NAME: REASON"), or its
// contents are at fault (a decoder's message, a bad frame's), and the message does not.
struct file_fault {
    bool read = false;
    std::string message;
    // The same for a line of JSON: the message without the place, and the place where it is known.
    std::string error;
    std::optional<std::uint64_t> offset;
    std::string path;
    bool salvaged = false;  // what the FILE holds was written all the same (--salvage)
};

using file_result = std::expected<void, file_fault>;

// One FILE's values: one value read from the whole file (a regular file is mapped, and a record is written
// while its bytes are there; a state, checked whole, is written item by item, never held whole), the
// listing of its elements, or each frame of a capture as soon as it has
// been read and decoded. `named` is the FILE in a run over several, whose JSON objects then name it; null
// for one FILE alone. The first bad frame ends the FILE, and an output that failed ends it too.
file_result write_file(output::buffer& out, const settings& s, const std::string& file, const std::string* named);

}  // namespace dump
