// Replays inputs through a fuzz target's entry point without libFuzzer, for builds that have no
// libFuzzer (Windows): every file in each folder given, in name order, goes once to
// LLVMFuzzerTestOneInput (after LLVMFuzzerInitialize, where the target has one). A failing check
// aborts, as under libFuzzer, so the input's path is printed before it runs; so does an input
// after which the heaps are not intact (tests/support/heap_check.h).
//
//   TARGET_replay FOLDER... [--optional FOLDER...]
//
// Folders after --optional may be missing (the corpora scripts/fuzz.sh grows exist only where it
// ran); any other missing or unreadable folder or file fails the replay.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "tests/support/heap_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);
#ifdef ZELPACK_REPLAY_INITIALIZE
extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv);
#endif

namespace {

namespace fs = std::filesystem;

bool ReadAll(const fs::path& path, std::vector<std::uint8_t>& bytes) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return false;
    }
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

}  // namespace

int main(int argc, char** argv) {
#ifdef ZELPACK_REPLAY_INITIALIZE
    LLVMFuzzerInitialize(&argc, &argv);
#endif
    bool optional = false;
    std::size_t total = 0;
    int folders = 0;
    for (int i = 1; i < argc; ++i) {
        if (std::string_view(argv[i]) == "--optional") {
            optional = true;
            continue;
        }
        const fs::path folder(argv[i]);
        std::error_code error;
        if (optional && !fs::exists(folder, error)) {
            std::printf("replay: %s: not there, skipped\n", argv[i]);
            continue;
        }
        std::vector<fs::path> inputs;
        for (fs::directory_iterator it(folder, error), end; !error && it != end;
             it.increment(error)) {
            if (it->is_regular_file(error)) {
                inputs.push_back(it->path());
            }
        }
        if (error) {
            std::fprintf(stderr, "replay: cannot list %s: %s\n", argv[i], error.message().c_str());
            return 1;
        }
        std::sort(inputs.begin(), inputs.end());
        std::vector<std::uint8_t> bytes;
        for (const fs::path& input : inputs) {
            if (!ReadAll(input, bytes)) {
                std::fprintf(stderr, "replay: cannot read %s\n", input.string().c_str());
                return 1;
            }
            std::fprintf(stderr, "replay: %s\n", input.string().c_str());
            LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
            if (!zelpack::testing::HeapsAreIntact()) {
                std::fprintf(stderr, "replay: the heap was damaged by %s\n",
                             input.string().c_str());
                return 1;
            }
        }
        std::printf("replay: %zu inputs from %s\n", inputs.size(), argv[i]);
        total += inputs.size();
        ++folders;
    }
    if (folders == 0 || total == 0) {
        std::fprintf(stderr, "replay: no inputs\n");
        return 1;
    }
    std::printf("replay: %zu inputs in all, every one passed\n", total);
    return 0;
}
