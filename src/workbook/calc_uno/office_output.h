// The office's own output (its standard output and error), kept in a file of the run's private
// temporary folder, so that an office that ends before it answers can say why in the log.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "platform/files.h"
#include "platform/posix/unique_fd.h"

namespace kovrisk {

class OfficeOutput {
public:
    // The file keeps at most about this much: whoever holds it (the office's keeper) empties it
    // once it has grown beyond, and only the last bytes are ever read.
    static constexpr long kBound = 1L << 20;

    // Makes the file in `folder`, which must be the user's alone: a new file (never one that was
    // there, never through a link), mode 0600.  When it cannot be made (or `folder` is empty)
    // the office's output goes nowhere and the tail is empty.
    explicit OfficeOutput(const NativePath& folder);
    OfficeOutput(OfficeOutput&&) = default;
    OfficeOutput& operator=(OfficeOutput&&) = default;

    // The descriptor the office writes to (appending); -1 when there is none.
    int fd() const { return file_.get(); }
    // The office's last words: the end of the file as one line of at most `bytes` (see lastWords).
    std::string tail(std::size_t bytes) const;

private:
    UniqueFd file_;
};

// The end of `output` as one line of at most `bytes`: control characters become spaces, runs of
// spaces one space, with none at either end, and a character cut at the start is dropped.
std::string lastWords(std::string_view output, std::size_t bytes);

}  // namespace kovrisk
