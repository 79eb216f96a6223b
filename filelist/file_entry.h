// One file found by the folder walk.
#pragma once

#include "platform/listing.h"

namespace zelpack {

// The listing record, copied whole, with cFileName holding the path relative to the plug-in
// folder: sub-folder names joined by the native separator, no leading separator. The field is
// not capped at 259 units here; a path too long to pack is refused when packing.
using FileEntry = platform::FindData;

}  // namespace zelpack
