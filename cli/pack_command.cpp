#include "cli/pack_command.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <functional>
#include <iomanip>
#include <ostream>
#include <sstream>

#include "cli/exit_codes.h"
#include "cli/json_output.h"
#include "packager/contents_summary.h"
#include "packager/pack_run.h"
#include "packager/plugin_packager.h"
#include "platform/listing.h"
#include "platform/path.h"
#include "platform/process.h"
#include "platform/result.h"
#include "platform/text.h"
#include "zip/zip_result.h"

namespace zelpack {

namespace {

using platform::DecimalText;
using platform::FromNative;
using platform::ToNative;

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

PackRequest RequestOf(const PackCommand& command) {
    PackRequest request;
    request.folder = FromNative(command.folder);
    request.all = command.all;
    request.ignore_file = !command.no_ignore_file;
    for (const auto& [ticks, pattern] : command.patterns) {
        request.patterns.emplace_back(ticks, FromNative(pattern));
    }
    request.archive = FromNative(command.archive);
    request.replace = command.force;
    request.jobs = command.jobs;
    request.strict = command.strict;
    request.dry_run = command.dry_run;
    return request;
}

// The failure's text, what helps find a configuration that was not found, and the archive
// writer's own message when it failed.
void PrintFailure(const PackPlan& plan, const PackError& error, std::ostream& err) {
    err << ToNative(error.text) << '\n';
    if (error.text.ends_with(kNoConfigFileMessage)) {
        for (const std::u16string& hint : plan.config_hints) {
            err << ToNative(hint) << '\n';
        }
    }
    if (error.step == PackError::Step::kPack && error.zip_result != zip::Success) {
        char text[128];
        zip::DescribeZipResult(error.zip_result, text, sizeof text);
        err << text << '\n';
    }
}

// The table's width of `text`: two columns for the wide characters of East Asian scripts.
std::size_t DisplayWidth(std::u16string_view text) {
    std::size_t width = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size()) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
        }
        const bool wide = (c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0xA4CF) ||
                          (c >= 0xAC00 && c <= 0xD7A3) || (c >= 0xF900 && c <= 0xFAFF) ||
                          (c >= 0xFE30 && c <= 0xFE4F) || (c >= 0xFF00 && c <= 0xFF60) ||
                          (c >= 0xFFE0 && c <= 0xFFE6) || (c >= 0x20000 && c <= 0x3FFFD);
        width += wide ? 2 : 1;
    }
    return width;
}

std::vector<ContentsEntry> ContentsOf(const PackPlan& plan, const PackReport* report) {
    std::vector<ContentsEntry> entries;
    if (report != nullptr) {
        for (const PackedEntry& entry : report->entries) {
            entries.push_back({entry.name, entry.size, entry.compressed_size, !entry.deflated});
        }
        return entries;
    }
    // The descriptor's size is known once the configuration is read, which a rehearsal does not.
    entries.push_back({std::u16string(kDescriptorEntryName), std::nullopt, std::nullopt, false});
    for (const PlannedEntry& entry : plan.entries) {
        entries.push_back({entry.name, entry.size, std::nullopt, entry.stored});
    }
    return entries;
}

ContentsSummary Contents(const PackPlan& plan, const PackReport* report) {
    return SummarizeContents(plan.entry_prefix, ContentsOf(plan, report),
                             report != nullptr ? std::optional(report->bytes_out) : std::nullopt);
}

std::u16string MethodText(const ContentsRow& row) {
    return row.stored == row.entries ? u"存储" : row.stored == 0 ? u"压缩" : u"混合";
}

// The table of the archive's top-level folders and files, the rest and the total, then each
// large file: plain text, columns aligned by display width.
void PrintContents(const ContentsSummary& summary, std::ostream& out) {
    using Cells = std::vector<std::u16string>;
    const auto cells = [&](const ContentsRow& row) {
        return Cells{row.name, DecimalText(row.entries),
                     row.size_known ? DecimalText(row.size) : u"?",
                     row.packed ? DecimalText(*row.packed) : u"?", MethodText(row)};
    };
    std::vector<Cells> lines{{u"名称", u"条目", u"大小", u"压缩后", u"方式"}};
    const std::size_t shown = std::min(summary.rows.size(), kContentsRowsShown);
    for (std::size_t row = 0; row < shown; ++row) {
        lines.push_back(cells(summary.rows[row]));
    }
    if (shown < summary.rows.size()) {
        lines.push_back(
            cells(SumRows(std::span(summary.rows).subspan(shown),
                          u"…（其余 " + DecimalText(summary.rows.size() - shown) + u" 项）")));
    }
    if (summary.structure) {
        lines.push_back({u"（压缩包结构）", u"", u"", DecimalText(*summary.structure), u""});
    }
    lines.push_back(cells(summary.total));
    lines.back()[0] = u"合计";
    std::vector<std::size_t> widths(lines.front().size(), 0);
    for (const Cells& line : lines) {
        for (std::size_t column = 0; column < line.size(); ++column) {
            widths[column] = std::max(widths[column], DisplayWidth(line[column]));
        }
    }
    for (const Cells& line : lines) {
        std::string text;
        for (std::size_t column = 0; column < line.size(); ++column) {
            const std::string padding(widths[column] - DisplayWidth(line[column]), ' ');
            // Names to the left, numbers to the right, the method to the left.
            const bool left = column == 0 || column + 1 == line.size();
            text += (column == 0 ? "" : "  ") +
                    (left ? ToNative(line[column]) + padding : padding + ToNative(line[column]));
        }
        out << text.substr(0, text.find_last_not_of(' ') + 1) << '\n';
    }
    for (const LargeFile& file : summary.large_files) {
        char megabytes[32];
        std::snprintf(megabytes, sizeof megabytes, "%.1f",
                      static_cast<double>(file.size) / (1024.0 * 1024.0));
        out << "大文件：" << ToNative(file.path) << "（" << megabytes << " MB）\n";
    }
}

nlohmann::ordered_json ContentsJson(const ContentsSummary& summary, bool packed) {
    nlohmann::ordered_json rows = nlohmann::ordered_json::array();
    for (const ContentsRow& row : summary.rows) {
        nlohmann::ordered_json object{{"name", ToNative(row.name)}, {"entries", row.entries}};
        object["size"] = row.size_known ? nlohmann::ordered_json(row.size) : nullptr;
        if (packed) {
            object["compressed_size"] = row.packed.value_or(0);
        }
        object["method"] = row.stored == row.entries ? "store"
                           : row.stored == 0         ? "deflate"
                                                     : "mixed";
        rows.push_back(std::move(object));
    }
    return rows;
}

nlohmann::ordered_json LargeFilesJson(const ContentsSummary& summary) {
    nlohmann::ordered_json files = nlohmann::ordered_json::array();
    for (const LargeFile& file : summary.large_files) {
        files.push_back({{"path", ToNative(file.path)}, {"size", file.size}});
    }
    return files;
}

// How many files the run left out, and why, when it left any out.
void PrintLeftOut(const PackPlan& plan, std::ostream& out) {
    if (const std::u16string line = LeftOutSummary(plan.left_out); !line.empty()) {
        out << ToNative(line) << '\n';
    }
}

// `quiet` leaves out what a real run's --quiet does: the table and the left-out line.
void PrintRehearsal(const PackPlan& plan, bool quiet, std::ostream& out) {
    out << "配置文件：" << ToNative(platform::PortablePath(*plan.config)) << '\n'
        << ToNative(kDescriptorEntryName) << '\n';
    for (const FileEntry& entry : plan.files) {
        out << ToNative(platform::PortablePath(plan.entry_prefix + entry.cFileName)) << '\n';
    }
    for (const auto& [path, reason] : plan.left_out) {
        out << "未打包：" << ToNative(path) << "（" << ToNative(reason.text) << "）\n";
    }
    if (!quiet) {
        PrintContents(Contents(plan, nullptr), out);
        PrintLeftOut(plan, out);
    }
}

std::string Summary(const PackPlan& plan, const PackReport& report) {
    std::ostringstream summary;
    summary << "已打包 " << ToNative(plan.archive) << "：" << plan.files.size() + 1
            << " 个条目，读入 " << report.bytes_in << " 字节，写出 " << report.bytes_out
            << " 字节（" << std::fixed << std::setprecision(1)
            << (report.bytes_in == 0 ? 0.0
                                     : 100.0 * static_cast<double>(report.bytes_out) /
                                           static_cast<double>(report.bytes_in))
            << "%），用时 " << std::setprecision(2) << report.seconds << " 秒";
    return summary.str();
}

nlohmann::ordered_json PlannedEntries(const PackPlan& plan) {
    nlohmann::ordered_json entries = nlohmann::ordered_json::array();
    entries.push_back({{"name", ToNative(kDescriptorEntryName)}});
    for (const PlannedEntry& entry : plan.entries) {
        entries.push_back({{"name", JsonPath(entry.name)},
                           {"size", entry.size},
                           {"method", entry.stored ? "store" : "deflate"}});
    }
    return entries;
}

nlohmann::ordered_json PackedEntries(const PackReport& report) {
    nlohmann::ordered_json entries = nlohmann::ordered_json::array();
    for (const PackedEntry& entry : report.entries) {
        char crc[9];
        std::snprintf(crc, sizeof crc, "%08x", static_cast<unsigned>(entry.crc));
        entries.push_back({{"name", JsonPath(entry.name)},
                           {"size", entry.size},
                           {"compressed_size", entry.compressed_size},
                           {"method", entry.deflated ? "deflate" : "store"},
                           {"crc32", crc}});
    }
    return entries;
}

// The step, the file and the system's or the archive writer's reason by name.
nlohmann::ordered_json FailureJson(const PackError& error) {
    nlohmann::ordered_json failure{{"step", StepName(error.step)}};
    if (!error.path.empty()) {
        failure["path"] = ToNative(error.path);
    }
    if (error.cause) {
        failure["error"] = platform::ErrorName(error.cause);
    }
    if (error.zip_result != zip::Success) {
        failure["zip_error"] = zip::ZipResultName(error.zip_result);
    }
    failure["text"] = ToNative(error.text);
    return failure;
}

// The run as one document: what the plan found, what the run made (`report`, when it ran), and
// how it ended.
nlohmann::ordered_json RunJson(const PackCommand& command, const PackPlan& plan,
                               const PackReport* report, std::string_view outcome,
                               const std::u16string& message) {
    nlohmann::ordered_json document{{"folder", command.folder}};
    if (!plan.archive.empty()) {
        document["archive"] = ToNative(plan.archive);
    }
    if (plan.ShowsSelection()) {
        std::vector<Notice> notices = plan.warnings;
        if (report != nullptr && !report->error) {
            notices.insert(notices.end(), report->warnings.begin(), report->warnings.end());
        }
        // The texts as they always were, for the scripts that read them; beside them the same
        // warnings with their codes and fields, in the same order.
        nlohmann::ordered_json warnings = nlohmann::ordered_json::array();
        nlohmann::ordered_json details = nlohmann::ordered_json::array();
        for (const Notice& warning : notices) {
            warnings.push_back(ToNative(warning.text));
            details.push_back(NoticeJson(warning));
        }
        document["warnings"] = std::move(warnings);
        document["warning_details"] = std::move(details);
        nlohmann::ordered_json left_out = nlohmann::ordered_json::array();
        for (const auto& [path, reason] : plan.left_out) {
            nlohmann::ordered_json file{{"path", ToNative(path)},
                                        {"reason", ToNative(reason.text)}};
            file.update(NoticeJson(reason, false));
            left_out.push_back(std::move(file));
        }
        document["left_out"] = std::move(left_out);
        if (plan.config) {
            document["config"] = JsonPath(*plan.config);
        } else if (!plan.config_hints.empty()) {
            nlohmann::ordered_json hints = nlohmann::ordered_json::array();
            for (const std::u16string& hint : plan.config_hints) {
                hints.push_back(ToNative(hint));
            }
            document["config_hints"] = std::move(hints);
        }
    }
    if (report == nullptr && outcome == "dry-run") {
        document["entries"] = PlannedEntries(plan);
        const ContentsSummary contents = Contents(plan, nullptr);
        document["contents"] = ContentsJson(contents, false);
        document["large_files"] = LargeFilesJson(contents);
    }
    if (report != nullptr) {
        nlohmann::ordered_json descriptor = nlohmann::ordered_json::object();
        for (const auto& [name, value] : report->descriptor) {
            descriptor[name] = value;
        }
        document["descriptor"] = std::move(descriptor);
        if (!report->error) {
            document["entries"] = PackedEntries(*report);
            const ContentsSummary contents = Contents(plan, report);
            document["contents"] = ContentsJson(contents, true);
            document["large_files"] = LargeFilesJson(contents);
        }
    }
    document["result"] = outcome;
    document["message"] = ToNative(message);
    const PackError* error = plan.error                           ? &*plan.error
                             : report != nullptr && report->error ? &*report->error
                                                                  : nullptr;
    if (error != nullptr) {
        document["failure"] = FailureJson(*error);
    }
    return document;
}

// How the run ended: the document with --json, and the exit code.
int Finish(const PackCommand& command, const PackPlan& plan, const PackReport* report, int code,
           std::string_view outcome, const std::u16string& message, std::ostream& out) {
    if (command.json) {
        WriteJson(RunJson(command, plan, report, outcome, message), out);
    }
    return code;
}

// Packs the plan, drawing progress on `err` when asked, with Ctrl+C cancelling the run.
int Execute(const PackCommand& command, const PackPlan& plan, std::ostream& out, std::ostream& err,
            bool show_progress) {
    std::atomic<bool> cancel{false};
    if (const platform::Status handled = platform::CancelOnInterrupt(cancel); !handled) {
        err << "警告：无法接管中断信号，Ctrl+C 会留下临时文件："
            << ToNative(platform::ErrorText(handled.error())) << '\n';
    }
    ProgressLine line(err);
    std::function<void(const PackProgress&)> progress;
    if (show_progress && !command.quiet) {
        progress = [&line](const PackProgress& now) { line.Show(now); };
    }
    PluginPackager packager;
    const PackReport report = ExecutePlan(plan, packager, &cancel, progress);
    const platform::Interruption interruption = platform::ReceivedInterruption();
    platform::RestoreInterruptHandling();
    line.Clear();
    if (report.error && report.error->step == PackError::Step::kCancel) {
        err << ToNative(report.error->text) << '\n';
        return Finish(command, plan, &report, platform::ExitStatusOf(interruption), "cancelled",
                      report.error->text, out);
    }
    if (report.error) {
        PrintFailure(plan, *report.error, err);
        return Finish(command, plan, &report, kExitFailure, "failed", report.error->text, out);
    }
    for (const Notice& warning : report.warnings) {
        err << ToNative(warning.text) << '\n';
    }
    const std::string summary = Summary(plan, report);
    if (!command.quiet && !command.json) {
        PrintContents(Contents(plan, &report), out);
        out << summary << '\n';
        PrintLeftOut(plan, out);
    }
    return Finish(command, plan, &report, kExitSuccess, "packed", FromNative(summary), out);
}

}  // namespace

int RunPack(const PackCommand& command, std::ostream& out, std::ostream& err, bool show_progress) {
    const PackPlan plan = MakePlan(RequestOf(command));
    if (plan.ShowsSelection()) {
        for (const Notice& warning : plan.warnings) {
            err << ToNative(warning.text) << '\n';
        }
    }
    if (plan.error) {
        PrintFailure(plan, *plan.error, err);
        return Finish(command, plan, nullptr, kExitFailure, "failed", plan.error->text, out);
    }
    if (command.dry_run) {
        if (!command.json) {
            PrintRehearsal(plan, command.quiet, out);
        }
        return Finish(command, plan, nullptr, kExitSuccess, "dry-run", u"", out);
    }
    return Execute(command, plan, out, err, show_progress);
}

}  // namespace zelpack
