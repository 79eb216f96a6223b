// What a listing keeps on every platform, beside what each keeps of its own. Internal to
// platform/.
#pragma once

#include <algorithm>
#include <cstddef>
#include <system_error>
#include <vector>

#include "platform/listing.h"

namespace zelpack::platform {

struct ListingState {
    FolderId folder;
    // The folders above it on the caller's walk: a folder entry leading to one is a cycle.
    std::vector<FolderId> enclosing;
    // "." and "..", looked at when the folder was opened, still to be handed out.
    std::vector<FindData> dot_records;
    std::size_t next_dot = 0;
    std::error_code record_error;

    bool IsCycle(const FolderId& id) const {
        return id == folder || std::find(enclosing.begin(), enclosing.end(), id) != enclosing.end();
    }

    // Hands out the next of "." and ".."; false once both are out.
    bool NextDotRecord(FindData& record) {
        if (next_dot >= dot_records.size()) {
            return false;
        }
        record = dot_records[next_dot++];
        return true;
    }
};

}  // namespace zelpack::platform
