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
#include "packager/pack_run.h"
#include "packager/plugin_packager.h"
#include "platform/listing.h"
#include "platform/path.h"
#include "platform/process.h"
#include "platform/text.h"
#include "zip/zip_result.h"

namespace zelpack {

namespace {

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

void PrintRehearsal(const PackPlan& plan, std::ostream& out) {
    out << "配置文件：" << ToNative(platform::PortablePath(*plan.config)) << '\n'
        << ToNative(kDescriptorEntryName) << '\n';
    for (const FileEntry& entry : plan.files) {
        out << ToNative(platform::PortablePath(plan.entry_prefix + entry.cFileName)) << '\n';
    }
    for (const auto& [path, reason] : plan.left_out) {
        out << "未打包：" << ToNative(path) << "（" << ToNative(reason) << "）\n";
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
        nlohmann::ordered_json warnings = nlohmann::ordered_json::array();
        for (const std::u16string& warning : plan.warnings) {
            warnings.push_back(ToNative(warning));
        }
        for (const std::u16string& warning : report != nullptr && !report->error
                                                 ? report->warnings
                                                 : std::vector<std::u16string>()) {
            warnings.push_back(ToNative(warning));
        }
        document["warnings"] = std::move(warnings);
        nlohmann::ordered_json left_out = nlohmann::ordered_json::array();
        for (const auto& [path, reason] : plan.left_out) {
            left_out.push_back({{"path", ToNative(path)}, {"reason", ToNative(reason)}});
        }
        document["left_out"] = std::move(left_out);
        if (plan.config) {
            document["config"] = JsonPath(*plan.config);
        }
    }
    if (report == nullptr && outcome == "dry-run") {
        document["entries"] = PlannedEntries(plan);
    }
    if (report != nullptr) {
        nlohmann::ordered_json descriptor = nlohmann::ordered_json::object();
        for (const auto& [name, value] : report->descriptor) {
            descriptor[name] = value;
        }
        document["descriptor"] = std::move(descriptor);
        if (!report->error) {
            document["entries"] = PackedEntries(*report);
        }
    }
    document["result"] = outcome;
    document["message"] = ToNative(message);
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
    for (const std::u16string& warning : report.warnings) {
        err << ToNative(warning) << '\n';
    }
    const std::string summary = Summary(plan, report);
    if (!command.quiet && !command.json) {
        out << summary << '\n';
    }
    return Finish(command, plan, &report, kExitSuccess, "packed", FromNative(summary), out);
}

}  // namespace

int RunPack(const PackCommand& command, std::ostream& out, std::ostream& err, bool show_progress) {
    const PackPlan plan = MakePlan(RequestOf(command));
    if (plan.ShowsSelection()) {
        for (const std::u16string& warning : plan.warnings) {
            err << ToNative(warning) << '\n';
        }
    }
    if (plan.error) {
        PrintFailure(plan, *plan.error, err);
        return Finish(command, plan, nullptr, kExitFailure, "failed", plan.error->text, out);
    }
    if (command.dry_run) {
        if (!command.json) {
            PrintRehearsal(plan, out);
        }
        return Finish(command, plan, nullptr, kExitSuccess, "dry-run", u"", out);
    }
    return Execute(command, plan, out, err, show_progress);
}

}  // namespace zelpack
