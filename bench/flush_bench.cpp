// zelpack-flush-bench FOLDER ARCHIVE [RUNS]: what making the archive reach the disk before it
// takes its name costs. Packs every file of FOLDER into ARCHIVE RUNS times (default 5) with the
// flushes and as often without, alternating, and prints "flushed SECONDS", "unflushed SECONDS"
// (medians) and "cost SECONDS".
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "filelist/folder_walker.h"
#include "packager/plugin_packager.h"
#include "platform/text.h"

namespace {

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: zelpack-flush-bench FOLDER ARCHIVE [RUNS]\n");
        return 2;
    }
    const std::u16string folder = zelpack::platform::FromNative(argv[1]);
    const std::u16string archive = zelpack::platform::FromNative(argv[2]);
    const int runs = argc > 3 ? std::max(1, std::atoi(argv[3])) : 5;
    std::vector<zelpack::FileEntry> files;
    zelpack::FolderWalker walker;
    if (!walker.Start(folder, u"*.*")) {
        std::fprintf(stderr, "cannot list %s\n", argv[1]);
        return 1;
    }
    for (zelpack::FileEntry entry; walker.Next(entry);) {
        files.push_back(entry);
    }
    std::vector<double> seconds[2];
    for (int run = 0; run < runs; ++run) {
        for (const bool flush : {true, false}) {
            zelpack::PackOptions options;
            options.jobs = zelpack::DefaultJobs();
            options.flush = flush;
            zelpack::PluginPackager packager;
            const auto start = std::chrono::steady_clock::now();
            if (!packager.Pack(folder, files, archive, options)) {
                std::fprintf(stderr, "%s\n",
                             zelpack::platform::ToNative(packager.DescribeFailure()).c_str());
                return 1;
            }
            seconds[flush ? 0 : 1].push_back(
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        }
    }
    const double flushed = Median(seconds[0]);
    const double unflushed = Median(seconds[1]);
    std::printf("flushed %.3f\nunflushed %.3f\ncost %.3f\n", flushed, unflushed,
                flushed - unflushed);
    return 0;
}
