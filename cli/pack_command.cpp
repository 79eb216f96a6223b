#include "cli/pack_command.h"

#include <atomic>
#include <chrono>
#include <iomanip>
#include <ostream>
#include <sstream>

#include "cli/exit_codes.h"
#include "cli/path_pattern.h"
#include "cli/walk_report.h"
#include "filelist/default_ticks.h"
#include "filelist/folder_walker.h"
#include "packager/plugin_packager.h"
#include "platform/file.h"
#include "platform/listing.h"
#include "platform/path.h"
#include "platform/process.h"
#include "platform/text.h"
#include "zip/zip_result.h"

namespace zelpack {

namespace {

using platform::FromNative;
using platform::ToNative;

struct Candidate {
    FileEntry entry;
    bool ticked;
};

struct Selection {
    std::vector<std::u16string> files;  // as Pack takes them in
    bool listed = true;                 // whether the folder itself could be listed
};

// The walk in walk order with its ticks, the patterns applied in order, the archive left out.
// What the user should know about the walk goes to `err` as it comes.
Selection SelectFiles(const PackCommand& command, std::u16string_view folder,
                      std::u16string_view archive, std::ostream& err) {
    Selection selection;
    std::vector<Candidate> candidates;
    FolderWalker walker;
    if (!walker.Start(folder, u"*.*")) {
        err << "打包失败，无法列出插件文件夹 " << ToNative(folder) << "："
            << ToNative(platform::ErrorText(walker.Error())) << '\n';
        selection.listed = false;
        return selection;
    }
    UnfollowedLinkReport links;
    FileEntry entry;
    while (walker.Next(entry)) {
        const bool ticked = command.all || IsCheckedByDefault(entry);
        candidates.push_back({std::move(entry), ticked});
        links.Update(walker, err);
    }
    for (const auto& [ticks, pattern] : command.patterns) {
        const std::u16string wide = FromNative(pattern);
        for (Candidate& candidate : candidates) {
            if (MatchesPathPattern(wide, platform::PortablePath(candidate.entry.cFileName))) {
                candidate.ticked = ticks;
            }
        }
    }
    std::vector<std::u16string> ticked;
    for (Candidate& candidate : candidates) {
        const std::string path = ToNative(platform::PortablePath(candidate.entry.cFileName));
        if (candidate.entry.outside_link) {
            err << "警告：" << path << " 是指向插件文件夹以外的文件的链接，"
                << (candidate.ticked ? "按要求打包\n" : "未打包\n");
        } else if (candidate.entry.error && !candidate.ticked) {
            err << "警告：";
            ReportUnreadable(candidate.entry, err);
        }
        if (candidate.ticked) {
            ticked.push_back(std::move(candidate.entry.cFileName));
        }
    }
    selection.files = PluginPackager::PackedSelection(folder, ticked, archive);
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
    err << ToNative(packager.DescribeFailure()) << '\n';
    const zip::ZipResult result = packager.GetZipResult();
    if (result != zip::Success) {
        char text[128];
        zip::DescribeZipResult(result, text, sizeof text);
        err << text << '\n';
    }
}

}  // namespace

int RunPack(const PackCommand& command, std::ostream& out, std::ostream& err, bool show_progress) {
    const platform::Result<std::u16string> folder =
        platform::AbsolutePath(FromNative(command.folder));
    if (!folder || !PluginPackager::PluginName(*folder)) {
        err << ToNative(kFailurePrefix) << "插件文件夹无效！\n";
        return kExitFailure;
    }
    const platform::Result<std::u16string> archive = platform::AbsolutePath(
        command.archive.empty() ? PluginPackager::ProposedArchivePath(*folder)
                                : FromNative(command.archive));
    if (!archive) {
        err << ToNative(kFailurePrefix) << "压缩包路径无效：" << command.archive << '\n';
        return kExitFailure;
    }
    const Selection selection = SelectFiles(command, *folder, *archive, err);
    if (!selection.listed) {
        return kExitFailure;
    }

    if (command.dry_run) {
        const std::optional<std::u16string> config =
            PluginPackager::FindConfigFileIn(selection.files);
        if (!config) {
            err << ToNative(kFailurePrefix) << ToNative(kNoConfigFileMessage) << '\n';
            return kExitFailure;
        }
        const std::u16string prefix = *PluginPackager::EntryPrefix(*folder);
        out << "配置文件：" << ToNative(platform::PortablePath(*config)) << '\n'
            << ToNative(kDescriptorEntryName) << '\n';
        for (const std::u16string& path : selection.files) {
            out << ToNative(platform::PortablePath(prefix + path)) << '\n';
        }
        return kExitSuccess;
    }

    if (!command.force && platform::QueryFile(*archive)) {
        err << ToNative(kFailurePrefix) << "压缩包已存在：" << ToNative(*archive)
            << "（用 --force 覆盖）\n";
        return kExitFailure;
    }

    std::atomic<bool> cancel{false};
    if (const platform::Status handled = platform::CancelOnInterrupt(cancel); !handled) {
        err << "警告：无法接管中断信号，Ctrl+C 会留下临时文件："
            << ToNative(platform::ErrorText(handled.error())) << '\n';
    }
    ProgressLine line(err);
    PackOptions options;
    options.cancel = &cancel;
    options.jobs = command.jobs != 0 ? command.jobs : DefaultJobs();
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
    const bool packed = packager.Pack(*folder, selection.files, *archive, options);
    const platform::Interruption interruption = platform::ReceivedInterruption();
    platform::RestoreInterruptHandling();
    line.Clear();
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();

    // A request that came once the archive was in place changes nothing: the run succeeded.
    if (!packed && cancel.load()) {
        err << "打包已取消\n";
        return interruption == platform::Interruption::Terminate ? kExitTerminated
                                                                 : kExitInterrupted;
    }
    if (!packed) {
        PrintFailure(packager, err);
        return kExitFailure;
    }
    const platform::Result<platform::FindData> record = platform::QueryFile(*archive);
    const std::uint64_t bytes_out = record ? platform::FileSizeOf(*record) : 0;
    std::ostringstream ratio;
    ratio << std::fixed << std::setprecision(1)
          << (bytes_in == 0
                  ? 0.0
                  : 100.0 * static_cast<double>(bytes_out) / static_cast<double>(bytes_in));
    std::ostringstream time;
    time << std::fixed << std::setprecision(2) << seconds;
    out << "已打包 " << ToNative(*archive) << "：" << selection.files.size() + 1 << " 个条目，读入 "
        << bytes_in << " 字节，写出 " << bytes_out << " 字节（" << ratio.str() << "%），用时 "
        << time.str() << " 秒\n";
    return kExitSuccess;
}

}  // namespace zelpack
