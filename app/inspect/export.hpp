#pragma once
// The export of a record's output files below a directory (--output DIR).

#include <span>
#include <string>

#include <quarvel/basic.hpp>
#include <quarvel/model.hpp>

#include "file_input/read_file.hpp"

namespace inspect {

// Writes every output file entry, in stored order, below `directory`; a later entry with the same path
// replaces an earlier one. Each file is written to a new temporary file beside its target and renamed
// over it, so a target is either left as it was or holds the complete new contents. Nothing is ever
// written outside `directory`: an absolute path is written below it with its leading "/"s removed, a path
// with a ".." segment is refused, and no symbolic link met below `directory` is followed; each of the
// first two cases logs one warning. Any other failure skips the entry without a word; a file beyond the
// process's file-size limit is such a failure (SIGXFSZ is ignored while the export runs).
// Each file is written straight from where its contents lie, in the record's file, and `source` is asked
// before it is renamed over its target. A file that changed since it was read (file_input::source_check)
// ends the export with its failure: the entry's temporary file is removed, its target and those of the
// entries after it keep what they held, and nothing that was read from a changed file ever replaces a
// target.
quarvel::result<void> export_output(const std::string& directory, std::span<const quarvel::output_file_view> files,
                                    const file_input::source_check& source);

}  // namespace inspect
