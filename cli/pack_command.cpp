#include "cli/pack_command.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <iomanip>
#include <ostream>
#include <sstream>

#include "cli/exit_codes.h"
#include "cli/json_output.h"
#include "cli/path_pattern.h"
#include "cli/walk_report.h"
#include "filelist/default_ticks.h"
#include "filelist/folder_walker.h"
#include "packager/output_file.h"
#include "packager/plugin_packager.h"
#include "packager/selection_warnings.h"
#include "platform/file.h"
#include "platform/listing.h"
#include "platform/path.h"
#include "platform/process.h"
#include "platform/text.h"
#include "zip/zip_result.h"
#include "zip/zip_writer.h"

namespace zelpack {

namespace {

using platform::FromNative;
using platform::ToNative;

struct Candidate {
    FileEntry entry;
    bool ticked;
    std::u16string reason;  // why it is left out, while it is
};

struct Selection {
    std::vector<FileEntry> files;  // as Pack takes them in, with the walk's records
    // What is left out, with why, and what the user should know about the walk, in walk order.
    std::vector<std::pair<std::u16string, std::u16string>> left_out;
    std::vector<std::u16string> warnings;
    std::u16string failure;  // why the folder itself could not be listed
};

// The walk in walk order with its ticks, the patterns applied in order, the archive left out.
Selection SelectFiles(const PackCommand& command, std::u16string_view folder,
                      std::u16string_view archive) {
    Selection selection;
    std::vector<Candidate> candidates;
    FolderWalker walker;
    if (!walker.Start(folder, u"*.*")) {
        selection.failure = std::u16string(kFailurePrefix) + u"无法列出插件文件夹 " +
                            std::u16string(folder) + u"：" + platform::ErrorText(walker.Error());
        return selection;
    }
    FileEntry entry;
    while (walker.Next(entry)) {
        const bool ticked = command.all || IsCheckedByDefault(entry);
        std::u16string reason = ticked ? std::u16string() : DefaultUntickReason(entry);
        candidates.push_back({std::move(entry), ticked, std::move(reason)});
    }
    for (const std::u16string& link : walker.UnfollowedLinks()) {
        selection.warnings.push_back(UnfollowedLinkWarning(link));
    }
    for (const auto& [ticks, pattern] : command.patterns) {
        const std::u16string wide = FromNative(pattern);
        for (Candidate& candidate : candidates) {
            if (MatchesPathPattern(wide, platform::PortablePath(candidate.entry.cFileName))) {
                candidate.ticked = ticks;
                candidate.reason = ticks ? std::u16string() : u"--exclude " + wide;
            }
        }
    }
    std::vector<FileEntry> ticked;
    for (Candidate& candidate : candidates) {
        const std::u16string path = platform::PortablePath(candidate.entry.cFileName);
        if (candidate.entry.outside_link) {
            selection.warnings.push_back(u"警告：" + path + u" 是指向插件文件夹以外的文件的链接，" +
                                         (candidate.ticked ? u"按要求打包" : u"未打包"));
        } else if (candidate.entry.error && !candidate.ticked) {
            selection.warnings.push_back(u"警告：" + UnreadableText(candidate.entry));
        }
        if (candidate.ticked) {
            ticked.push_back(std::move(candidate.entry));
        } else {
            selection.left_out.emplace_back(path, std::move(candidate.reason));
        }
    }
    // The selection keeps the ticked files' order, leaving out the archive itself (by whatever
    // name it lies in the folder).
    selection.files = PluginPackager::PackedSelection(folder, ticked, archive);
    std::size_t kept = 0;
    for (const FileEntry& entry : ticked) {
        if (kept < selection.files.size() && selection.files[kept].cFileName == entry.cFileName) {
            ++kept;
        } else {
            selection.left_out.emplace_back(platform::PortablePath(entry.cFileName), u"压缩包本身");
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
    // With --json every outcome ends in the one document, built up as the run goes.
    nlohmann::ordered_json result{{"folder", command.folder}};
    const auto finish = [&](int code, std::string_view outcome, const std::u16string& message) {
        if (command.json) {
            result["result"] = outcome;
            result["message"] = ToNative(message);
            WriteJson(result, out);
        }
        return code;
    };
    const auto fail = [&](const std::u16string& message) {
        err << ToNative(message) << '\n';
        return finish(kExitFailure, "failed", message);
    };

    const platform::Result<std::u16string> folder =
        platform::AbsolutePath(FromNative(command.folder));
    if (!folder || !PluginPackager::PluginName(*folder)) {
        return fail(std::u16string(kFailurePrefix) + u"插件文件夹无效！");
    }
    const platform::Result<std::u16string> archive = platform::AbsolutePath(
        command.archive.empty() ? PluginPackager::ProposedArchivePath(*folder)
                                : FromNative(command.archive));
    if (!archive) {
        return fail(std::u16string(kFailurePrefix) + u"压缩包路径无效：" +
                    FromNative(command.archive));
    }
    result["archive"] = ToNative(*archive);
    std::optional<std::int64_t> fixed_time;
    if (std::u16string message; !ReadSourceDateEpoch(fixed_time, message)) {
        return fail(std::u16string(kFailurePrefix) + message);
    }
    const Selection selection = SelectFiles(command, *folder, *archive);
    if (!selection.failure.empty()) {
        return fail(selection.failure);
    }

    std::vector<std::u16string> paths;
    for (const FileEntry& entry : selection.files) {
        paths.push_back(entry.cFileName);
    }
    std::vector<std::u16string> warnings = selection.warnings;
    for (std::u16string& warning : SelectionWarnings(*folder, paths)) {
        warnings.push_back(std::move(warning));
    }
    result["warnings"] = nlohmann::ordered_json::array();
    for (const std::u16string& warning : warnings) {
        err << ToNative(warning) << '\n';
        result["warnings"].push_back(ToNative(warning));
    }
    result["left_out"] = nlohmann::ordered_json::array();
    for (const auto& [path, reason] : selection.left_out) {
        result["left_out"].push_back({{"path", ToNative(path)}, {"reason", ToNative(reason)}});
    }
    const std::optional<std::u16string> config = PluginPackager::FindConfigFileIn(paths);
    if (config) {
        result["config"] = JsonPath(*config);
    }
    if (command.strict && !warnings.empty()) {
        return fail(std::u16string(kFailurePrefix) + u"有警告且指定了 --strict");
    }

    const std::u16string prefix = *PluginPackager::EntryPrefix(*folder);
    if (command.dry_run) {
        if (!config) {
            return fail(std::u16string(kFailurePrefix) + std::u16string(kNoConfigFileMessage));
        }
        // A destination that is no regular file fails every run; one that exists fails only a run
        // without --force, which this one may be a rehearsal for.
        if (const auto refused = RefuseDestination(*archive, u"压缩包", true)) {
            return fail(std::u16string(kFailurePrefix) + *refused);
        }
        if (const auto refused = PluginPackager::PredictLimitFailure(*folder, selection.files)) {
            return fail(std::u16string(kFailurePrefix) + *refused);
        }
        nlohmann::ordered_json entries = nlohmann::ordered_json::array();
        entries.push_back({{"name", ToNative(kDescriptorEntryName)}});
        for (const FileEntry& entry : selection.files) {
            const std::u16string& path = entry.cFileName;
            entries.push_back(
                {{"name", JsonPath(prefix + path)},
                 {"size", platform::FileSizeOf(entry)},
                 {"method", zip::IsStoredEntry(prefix + path) ? "store" : "deflate"}});
        }
        result["entries"] = std::move(entries);
        if (!command.json) {
            out << "配置文件：" << ToNative(platform::PortablePath(*config)) << '\n'
                << ToNative(kDescriptorEntryName) << '\n';
            for (const std::u16string& path : paths) {
                out << ToNative(platform::PortablePath(prefix + path)) << '\n';
            }
            for (const auto& [path, reason] : selection.left_out) {
                out << "未打包：" << ToNative(path) << "（" << ToNative(reason) << "）\n";
            }
        }
        return finish(kExitSuccess, "dry-run", u"");
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
    options.fixed_time = fixed_time;
    options.replace = command.force;
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

    nlohmann::ordered_json descriptor = nlohmann::ordered_json::object();
    for (const auto& [name, value] : packager.DescriptorFields()) {
        descriptor[name] = value;
    }
    result["descriptor"] = std::move(descriptor);
    // A request that came once the archive was in place changes nothing: the run succeeded.
    if (!packed && cancel.load()) {
        err << "打包已取消\n";
        return finish(platform::ExitStatusOf(interruption), "cancelled", u"打包已取消");
    }
    if (!packed) {
        PrintFailure(packager, err);
        return finish(kExitFailure, "failed", packager.DescribeFailure());
    }
    for (const std::u16string& warning : packager.Warnings()) {
        err << ToNative(warning) << '\n';
        result["warnings"].push_back(ToNative(warning));
    }
    nlohmann::ordered_json entries = nlohmann::ordered_json::array();
    for (const PackedEntry& entry : packager.PackedEntries()) {
        char crc[9];
        std::snprintf(crc, sizeof crc, "%08x", static_cast<unsigned>(entry.crc));
        entries.push_back({{"name", JsonPath(entry.name)},
                           {"size", entry.size},
                           {"compressed_size", entry.compressed_size},
                           {"method", entry.deflated ? "deflate" : "store"},
                           {"crc32", crc}});
    }
    result["entries"] = std::move(entries);

    const platform::Result<platform::FindData> record = platform::QueryFile(*archive);
    const std::uint64_t bytes_out = record ? platform::FileSizeOf(*record) : 0;
    std::ostringstream summary;
    summary << "已打包 " << ToNative(*archive) << "：" << selection.files.size() + 1
            << " 个条目，读入 " << bytes_in << " 字节，写出 " << bytes_out << " 字节（"
            << std::fixed << std::setprecision(1)
            << (bytes_in == 0
                    ? 0.0
                    : 100.0 * static_cast<double>(bytes_out) / static_cast<double>(bytes_in))
            << "%），用时 " << std::setprecision(2) << seconds << " 秒";
    if (!command.quiet && !command.json) {
        out << summary.str() << '\n';
    }
    return finish(kExitSuccess, "packed", FromNative(summary.str()));
}

}  // namespace zelpack
