// The size and date texts under which a file is shown in the list and by `zelpack list`.
#pragma once

#include <string>

#include "filelist/file_entry.h"

namespace zelpack {

// "%dK": the size in kilobytes of 1024 bytes, rounded up as file managers show it
// (0 bytes: 0K, 1 to 1024 bytes: 1K, 1025 bytes: 2K). All 64 bits of the size count.
std::u16string SizeText(const FileEntry& entry);

// "%d-%d-%d %d:%d": year, month, day, hour and minute of the last write, in UTC, without leading
// zeros ("2009-3-5 7:4").
std::u16string DateText(const FileEntry& entry);

}  // namespace zelpack
