// One file found by the folder walk.
#pragma once

#include <optional>
#include <string>
#include <system_error>

#include "platform/listing.h"

namespace zelpack {

// The rule of the plug-in folder's ignore file that leaves an entry out: its pattern as written
// and its line, counted from 1.
struct IgnoreMatch {
    std::u16string pattern;
    int line = 0;
    bool operator==(const IgnoreMatch&) const = default;
};

// The listing record, copied whole, with cFileName holding the path relative to the plug-in
// folder: sub-folder names joined by the native separator, no leading separator. The field is
// not capped at 259 units here; a path too long to pack is refused when packing.
struct FileEntry : platform::FindData {
    // Why the walk could not read this entry whole: a folder it could not list (reported in its
    // own place, like a file), or a name whose status it could not read. Empty for every other
    // entry. Such an entry is listed so that it cannot go missing unseen; packing it fails.
    std::error_code error;
    // A symbolic link to a file outside the plug-in folder: listed, but never ticked by default,
    // so that nothing from elsewhere on the machine is packed unseen.
    bool outside_link = false;
    // Reached through a symbolic link: the entry itself is one, or a folder above it is. Packing
    // opens every other entry without following any link, so that a name swapped for a link after
    // the walk cannot lead elsewhere.
    bool via_link = false;
    // The file a default pack of this folder writes, NAME.zip at its top: zelpack's own earlier
    // output, which starts unticked so that a pack elsewhere does not take it in.
    bool previous_archive = false;
    // The ignore-file rule that the entry, or a folder above it, matches: it starts unticked.
    std::optional<IgnoreMatch> ignored;
};

}  // namespace zelpack
