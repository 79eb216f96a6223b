// A run's output file (an archive, a descriptor): written under a hidden temporary name beside
// its destination, flushed to the disk, and moved into place only once complete, so that neither
// a failure nor a signal leaves a partial file at the destination or loses what was there.
#pragma once

#include <atomic>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>

#include "platform/file.h"
#include "platform/result.h"

namespace zelpack {

// Why `destination` cannot take an output named `what` ("压缩包", "描述文件"): something other
// than a regular file is there (a folder, a pipe, a device...), or, unless `replace`, a file.
// The message the run fails with; nothing when the path can take it.
std::optional<std::u16string> RefuseDestination(std::u16string_view destination,
                                                std::u16string_view what, bool replace);

class OutputFile {
  public:
    // The step that failed, so that callers can name it.
    enum class Step { Create, Flush, Close, Cancelled, Move };

    OutputFile(OutputFile&&) noexcept = default;
    OutputFile& operator=(OutputFile&&) noexcept = default;
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;
    // Removes the temporary file unless it was moved into place.
    ~OutputFile();

    // Creates the temporary file, exclusively and under an unpredictable name, in the folder of
    // `destination`; readable as a new file of the user's would be.
    static platform::Result<OutputFile> Begin(std::u16string_view destination);

    platform::File& file() { return file_; }

    // Flushes the file to the disk (unless not `flush`), closes it, then moves it to the
    // destination: over a file there when `replace` (taking over its permission bits), else only
    // if nothing is there by then, even something that appeared a moment ago (file_exists). Once
    // `cancel` is set (a signal during the flush, say) nothing is moved. On failure `failed` names
    // the step, and the destination is as it was.
    platform::Status Commit(bool replace, bool flush, const std::atomic<bool>* cancel,
                            Step& failed);

    // Once committed: makes the move itself survive a power cut. A failure leaves the file in
    // place and complete; the caller warns.
    platform::Status FlushFolder() const;

  private:
    OutputFile() = default;

    std::u16string destination_;
    std::u16string temporary_;  // empty once moved into place
    platform::File file_;
};

}  // namespace zelpack
