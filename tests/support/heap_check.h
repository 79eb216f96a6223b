// Whether every heap of the process is intact: Windows checks only the pointers a heap call is
// given, so a block written past its end shows only when the heap is validated (under Wine's heap
// checking, which also keeps guard bytes after each block and names a damaged one on standard
// error). Elsewhere AddressSanitizer watches every access instead.
#pragma once

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <vector>
#endif

namespace zelpack::testing {

inline bool HeapsAreIntact() {
#ifdef _WIN32
    std::vector<HANDLE> heaps(GetProcessHeaps(0, nullptr) + 8);
    const DWORD count = GetProcessHeaps(static_cast<DWORD>(heaps.size()), heaps.data());
    bool intact = true;
    for (DWORD i = 0; i < count && i < heaps.size(); ++i) {
        intact = HeapValidate(heaps[i], 0, nullptr) != 0 && intact;
    }
    return intact;
#else
    return true;
#endif
}

}  // namespace zelpack::testing
