#include "cli/pack_command.h"

#include <atomic>
#include <chrono>
#include <iomanip>
#include <ostream>
#include <sstream>

#include "cli/exit_codes.h"
#include "cli/path_pattern.h"
#include "filelist/default_ticks.h"
#include "filelist/folder_walker.h"
#include "packager/plugin_packager.h"
#include "platform/file.h"
#include "platform/listing.h"
#include "platform/process.h"
#include "platform/text.h"
#include "zip/zip_result.h"

namespace zelpack {

namespace {

using platform::FromNative;
using platform::ToNative;

struct Candidate {
    std::u16string path;
    bool ticked;
};

// The walk in walk order with its ticks, the patterns applied in order, the archive left out.
std::vector<std::u16string> SelectFiles(const PackCommand& command, std::u16string_view folder,
                                        std::u16string_view archive) {
    std::vector<Candidate> candidates;
    FolderWalker walker;
    walker.Start(folder, u"*.*");
    FileEntry entry;
    while (walker.Next(entry)) {
        const bool ticked = command.all || IsCheckedByDefault(entry.cFileName);
        candidates.push_back({std::move(entry.cFileName), ticked});
    }
    for (const auto& [ticks, pattern] : command.patterns) {
        const std::u16string wide = FromNative(pattern);
        for (Candidate& candidate : candidates) {
            if (MatchesPathPattern(wide, candidate.path)) {
                candidate.ticked = ticks;
            }
        }
    }
    std::u16string prefix(folder);
    prefix.push_back(platform::kPathSeparator);
    std::vector<std::u16string> selection;
    for (Candidate& candidate : candidates) {
        if (candidate.ticked && prefix + candidate.path != archive) {
            selection.push_back(std::move(candidate.path));
        }
    }
    return selection;
}

std::string Kilobytes(std::uint64_t bytes) {
    return std::to_string((bytes + 1023) / 1024) + "K";
}

// One line redrawn in place, at most ten times a second.
class ProgressLine {
  public:
    explicit ProgressLine(std::ostream& err) : err_(err) {}
    void Show(const PackProgress& progress) {
        const auto now = std::chrono::steady_clock::now();
        if (drawn_ && now - last_ < std::chrono::milliseconds(100)) {
            return;
        }
        last_ = now;
        drawn_ = true;
        err_ << "\r\x1b[K" << progress.files_done << '/' << progress.files_total << " 个文件，"
             << Kilobytes(progress.bytes_done) << '/' << Kilobytes(progress.bytes_total) << "  "
             << ToNative(progress.current_path) << std::flush;
    }
    void Clear() {
        if (drawn_) {
            err_ << "\r\x1b[K" << std::flush;
        }
    }

  private:
    std::ostream& err_;
    bool drawn_ = false;
    std::chrono::steady_clock::time_point last_;
};

void PrintFailure(const PluginPackager& packager, std::ostream& err) {
    std::u16string message;
    packager.GetErrorMessage(message);
    const zip::ZipResult result = packager.GetZipResult();
    if (message.empty() && result == zip::Success) {
        message = u"无法生成描述文件";
    }
    err << "打包失败，" << ToNative(message) << '\n';
    if (result != zip::Success) {
        char text[128];
        zip::DescribeZipResult(result, text, sizeof text);
        err << text << '\n';
    }
}

}  // namespace

int RunPack(const PackCommand& command, std::ostream& out, std::ostream& err, bool show_progress) {
    const std::optional<std::u16string> folder = platform::AbsolutePath(FromNative(command.folder));
    const std::optional<std::u16string> prefix =
        folder ? PluginPackager::EntryPrefix(*folder) : std::nullopt;
    if (!folder || !prefix) {
        err << "打包失败，插件文件夹无效！\n";
        return kExitFailure;
    }
    const std::u16string name = prefix->substr(0, prefix->size() - 1);
    const std::optional<std::u16string> archive = platform::AbsolutePath(
        command.archive.empty() ? *folder + platform::kPathSeparator + name + u".zip"
                                : FromNative(command.archive));
    if (!archive) {
        err << "打包失败，压缩包路径无效：" << command.archive << '\n';
        return kExitFailure;
    }
    const std::vector<std::u16string> selection = SelectFiles(command, *folder, *archive);

    if (command.dry_run) {
        const std::optional<std::u16string> config = PluginPackager::FindConfigFileIn(selection);
        if (!config) {
            err << "打包失败，" << ToNative(kNoConfigFileMessage) << '\n';
            return kExitFailure;
        }
        out << "配置文件：" << ToNative(*config) << '\n' << ToNative(kDescriptorEntryName) << '\n';
        for (const std::u16string& path : selection) {
            out << ToNative(*prefix + path) << '\n';
        }
        return kExitSuccess;
    }

    if (!command.force && platform::QueryFile(*archive)) {
        err << "打包失败，压缩包已存在：" << ToNative(*archive) << "（用 --force 覆盖）\n";
        return kExitFailure;
    }

    std::atomic<bool> cancel{false};
    platform::CancelOnInterrupt(cancel);
    ProgressLine line(err);
    PackOptions options;
    options.cancel = &cancel;
    std::uint64_t bytes_in = 0;
    if (show_progress && !command.quiet) {
        options.progress = [&](const PackProgress& progress) {
            line.Show(progress);
            bytes_in = progress.bytes_total;
        };
    } else {
        options.progress = [&](const PackProgress& progress) { bytes_in = progress.bytes_total; };
    }
    const auto started = std::chrono::steady_clock::now();
    PluginPackager packager;
    const bool packed = packager.Pack(*folder, selection, *archive, options);
    platform::RestoreInterruptHandling();
    line.Clear();
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();

    if (cancel.load()) {
        err << "打包已取消\n";
        return kExitInterrupted;
    }
    if (!packed) {
        PrintFailure(packager, err);
        return kExitFailure;
    }
    const std::optional<platform::FindData> record = platform::QueryFile(*archive);
    const std::uint64_t bytes_out = record ? platform::FileSizeOf(*record) : 0;
    std::ostringstream ratio;
    ratio << std::fixed << std::setprecision(1)
          << (bytes_in == 0
                  ? 0.0
                  : 100.0 * static_cast<double>(bytes_out) / static_cast<double>(bytes_in));
    std::ostringstream time;
    time << std::fixed << std::setprecision(2) << seconds;
    out << "已打包 " << ToNative(*archive) << "：" << selection.size() + 1 << " 个条目，读入 "
        << bytes_in << " 字节，写出 " << bytes_out << " 字节（" << ratio.str() << "%），用时 "
        << time.str() << " 秒\n";
    return kExitSuccess;
}

}  // namespace zelpack
