#include "packager/pack_run.h"

#include <algorithm>
#include <chrono>
#include <unordered_map>
#include <unordered_set>

#include "filelist/default_ticks.h"
#include "filelist/folder_walker.h"
#include "filelist/path_pattern.h"
#include "packager/output_file.h"
#include "packager/selection_warnings.h"
#include "platform/file.h"
#include "platform/listing.h"
#include "platform/path.h"
#include "platform/text.h"
#include "zip/zip_writer.h"

namespace zelpack {

namespace {

using Step = PackError::Step;

struct Candidate {
    FileEntry entry;
    bool ticked;
    Notice reason;  // why it is left out, while it is
};

// Records the plan's first failure; later ones follow from it.
void Refuse(PackPlan& plan, Step step, std::u16string_view message, std::u16string path = {},
            std::error_code cause = {}) {
    if (!plan.error) {
        plan.error = PackError{.step = step,
                               .path = std::move(path),
                               .cause = cause,
                               .text = std::u16string(kFailurePrefix) + std::u16string(message)};
    }
}

bool ResolvePaths(const PackRequest& request, PackPlan& plan) {
    const platform::Result<std::u16string> folder = platform::AbsolutePath(request.folder);
    if (!folder || !PluginPackager::PluginName(*folder)) {
        Refuse(plan, Step::kFolder, kBadFolderMessage, request.folder,
               folder ? std::error_code() : folder.error());
        return false;
    }
    plan.folder = *folder;
    plan.entry_prefix = *PluginPackager::EntryPrefix(*folder);
    const platform::Result<std::u16string> archive = platform::AbsolutePath(
        request.archive.empty() ? PluginPackager::ProposedArchivePath(*folder) : request.archive);
    if (!archive) {
        Refuse(plan, Step::kArchive, u"压缩包路径无效：" + request.archive, request.archive,
               archive.error());
        return false;
    }
    plan.archive = *archive;
    // An existing folder (or a link to one) takes the archive under its proposed name.
    if (!request.archive.empty()) {
        const platform::Result<platform::FindData> record = platform::QueryFile(plan.archive);
        if (record && (record->dwFileAttributes & platform::kAttributeDirectory) != 0) {
            plan.archive =
                platform::JoinPath(plan.archive, *PluginPackager::PluginName(*folder) + u".zip");
        }
    }
    return true;
}

// The walk in walk order with its ticks and the patterns applied in order; its warnings go to
// the plan.
bool Walk(const PackRequest& request, PackPlan& plan, std::vector<Candidate>& candidates) {
    FolderWalker walker;
    if (!walker.Start(plan.folder, u"*.*", request.ignore_file) && walker.IgnoreFileFailed()) {
        Refuse(plan, Step::kWalk, IgnoreFileUnreadableText(walker.IgnoreFilePath(), walker.Error()),
               walker.IgnoreFilePath(), walker.Error());
        return false;
    }
    if (walker.Error()) {
        Refuse(plan, Step::kWalk,
               u"无法列出插件文件夹 " + plan.folder + u"：" + platform::ErrorText(walker.Error()),
               plan.folder, walker.Error());
        return false;
    }
    for (const IgnoreWarning& warning : walker.IgnoreWarnings()) {
        plan.warnings.push_back(
            {"ignore_line", {{"line", static_cast<std::uint64_t>(warning.line)}}, warning.text});
    }
    std::unordered_set<std::u16string> ticked;
    if (request.ticked) {
        ticked.insert(request.ticked->begin(), request.ticked->end());
    }
    FileEntry entry;
    while (walker.Next(entry)) {
        const bool ticks = request.ticked ? ticked.contains(entry.cFileName)
                                          : request.all || IsCheckedByDefault(entry);
        Notice reason = ticks ? Notice() : DefaultUntick(entry);
        if (!ticks && reason.code.empty()) {
            reason.code = "unticked";
        }
        candidates.push_back({std::move(entry), ticks, std::move(reason)});
    }
    for (const std::u16string& link : walker.UnfollowedLinks()) {
        plan.warnings.push_back(UnfollowedLinkWarning(link));
    }
    for (const auto& [ticks, pattern] : request.patterns) {
        const PathPattern compiled(pattern);
        for (Candidate& candidate : candidates) {
            if (compiled.Matches(platform::PortablePath(candidate.entry.cFileName))) {
                candidate.ticked = ticks;
                candidate.reason =
                    ticks ? Notice()
                          : Notice{"exclude", {{"pattern", pattern}}, u"--exclude " + pattern};
            }
        }
    }
    return true;
}

// The ticked files in the order of the request's list, when it has one and no patterns change it,
// else in walk order; the others left out with their reasons; the walk's warnings about single
// entries.
std::vector<FileEntry> Sort(const PackRequest& request, PackPlan& plan,
                            std::vector<Candidate>& candidates) {
    std::vector<FileEntry> ticked;
    for (Candidate& candidate : candidates) {
        const std::u16string path = platform::PortablePath(candidate.entry.cFileName);
        if (candidate.entry.outside_link) {
            plan.warnings.push_back({"outside_link",
                                     {{"path", path}, {"packed", candidate.ticked}},
                                     u"警告：" + path + u" 是指向插件文件夹以外的文件的链接，" +
                                         (candidate.ticked ? u"按要求打包" : u"未打包")});
        } else if (candidate.entry.error && !candidate.ticked) {
            plan.warnings.push_back(UnreadableWarning(candidate.entry));
        }
        if (candidate.ticked) {
            ticked.push_back(std::move(candidate.entry));
        } else {
            plan.left_out.push_back({path, std::move(candidate.reason)});
        }
    }
    if (!request.ticked || !request.patterns.empty()) {
        return ticked;
    }
    std::unordered_map<std::u16string, std::size_t> walked;
    for (std::size_t index = 0; index < ticked.size(); ++index) {
        walked.emplace(ticked[index].cFileName, index);
    }
    std::vector<FileEntry> listed;
    for (const std::u16string& path : *request.ticked) {
        const auto found = walked.find(path);
        // A file the walk did not meet came since the list was made: as it is now.
        listed.push_back(found == walked.end() ? RecordNow(plan.folder, path)
                                               : std::move(ticked[found->second]));
    }
    return listed;
}

// What a user who sees no configuration found needs: the form of the name, and the files that
// nearly have it (another number of dots, an upper-case ending) or have it but are left out.
std::vector<std::u16string> ConfigHints(const PackPlan& plan) {
    std::vector<std::u16string> hints{
        u"配置文件的路径须恰有三个点并以 .xml 结尾，例如 com.example.demo.xml"};
    for (const FileEntry& entry : plan.files) {
        const std::u16string path = platform::PortablePath(entry.cFileName);
        const std::u16string folded = platform::UpperCased(path);
        if (!folded.ends_with(u".XML")) {
            continue;
        }
        const auto dots = std::count(path.begin(), path.end(), u'.');
        if (dots != 3) {
            hints.push_back(u"相近的文件：" + path + u"（路径中有 " +
                            platform::DecimalText(static_cast<std::uint64_t>(dots)) + u" 个点）");
        } else {
            hints.push_back(u"相近的文件：" + path + u"（扩展名须为小写 .xml）");
        }
    }
    for (const auto& [path, reason] : plan.left_out) {
        const std::u16string paths[] = {path};
        if (PluginPackager::FindConfigFileIn(paths)) {
            hints.push_back(u"相近的文件：" + path + u"（未打包：" +
                            (reason.text.empty() ? std::u16string(u"未勾选") : reason.text) +
                            u"）");
        }
    }
    return hints;
}

// The selection keeps the ticked files' order, leaving out the archive itself (by whatever name
// it lies in the folder), and the configuration among them.
void Select(const PackRequest& request, PackPlan& plan, std::vector<Candidate>& candidates) {
    const std::vector<FileEntry> ticked = Sort(request, plan, candidates);
    plan.files = PluginPackager::PackedSelection(plan.folder, ticked, plan.archive);
    std::size_t kept = 0;
    for (const FileEntry& entry : ticked) {
        if (kept < plan.files.size() && plan.files[kept].cFileName == entry.cFileName) {
            ++kept;
        } else {
            plan.left_out.push_back(
                {platform::PortablePath(entry.cFileName), {"archive_itself", {}, u"压缩包本身"}});
        }
    }
    for (Notice& warning : SelectionWarnings(plan.files)) {
        plan.warnings.push_back(std::move(warning));
    }
    std::vector<std::u16string> paths;
    paths.reserve(plan.files.size());
    for (const FileEntry& entry : plan.files) {
        paths.push_back(entry.cFileName);
    }
    plan.config = PluginPackager::FindConfigFileIn(paths);
    if (!plan.config) {
        plan.config_hints = ConfigHints(plan);
    } else if (platform::PortablePath(*plan.config).find(u'/') != std::u16string::npos) {
        // Often the parent of the plug-in's folder was chosen: the name says where it is.
        const std::u16string path = platform::PortablePath(*plan.config);
        const std::u16string folder =
            platform::JoinPath(plan.folder, platform::FolderOf(*plan.config));
        plan.warnings.push_back({"config_below_root",
                                 {{"path", path}, {"folder", folder}},
                                 u"警告：配置文件 " + path +
                                     u" 不在插件文件夹的顶层；若插件文件夹是 " + folder +
                                     u"，请改选该文件夹"});
    }
    plan.selected = true;
}

// What a run of the plan is sure to fail with, for a rehearsal; and its entries.
void Rehearse(PackPlan& plan) {
    if (!plan.config) {
        Refuse(plan, Step::kRehearsal, kNoConfigFileMessage);
        return;
    }
    // A destination that is no regular file fails every run; one that exists fails only a run
    // that may not replace it, which this one may be a rehearsal for.
    if (const auto refused = RefuseDestination(plan.archive, u"压缩包", true)) {
        Refuse(plan, Step::kRehearsal, *refused, plan.archive);
        return;
    }
    if (const auto refused = PluginPackager::PredictLimitFailure(plan.folder, plan.files)) {
        Refuse(plan, Step::kRehearsal, *refused);
        return;
    }
    for (const FileEntry& entry : plan.files) {
        const std::u16string name = plan.entry_prefix + entry.cFileName;
        plan.entries.push_back({.name = name,
                                .size = platform::FileSizeOf(entry),
                                .stored = zip::IsStoredEntry(name)});
    }
}

}  // namespace

std::string_view StepName(PackError::Step step) {
    switch (step) {
        case Step::kFolder:
            return "folder";
        case Step::kArchive:
            return "archive";
        case Step::kFixedTime:
            return "fixed_time";
        case Step::kWalk:
            return "walk";
        case Step::kSelection:
            return "selection";
        case Step::kRehearsal:
            return "rehearsal";
        case Step::kPack:
            return "pack";
        case Step::kCancel:
            return "cancel";
    }
    return "pack";
}

std::u16string LeftOutSummary(const std::vector<LeftOut>& left_out) {
    // Short names, in the order a user undoes them: marks and rules first.
    static constexpr std::pair<std::string_view, std::u16string_view> kCategories[] = {
        {"mark", u"编译输出标记"},        {"ignore", u"忽略规则"},
        {"exclude", u"--exclude"},        {"unticked", u"未勾选"},
        {"outside_link", u"外部链接"},    {"previous_archive", u"上次的压缩包"},
        {"archive_itself", u"压缩包本身"}};
    if (left_out.empty()) {
        return {};
    }
    std::size_t counts[std::size(kCategories) + 1] = {};  // the last: a code not named above
    for (const LeftOut& file : left_out) {
        std::size_t category = 0;
        while (category < std::size(kCategories) &&
               kCategories[category].first != file.reason.code) {
            ++category;
        }
        ++counts[category];
    }
    std::u16string line = u"未打包 " + platform::DecimalText(left_out.size()) + u" 个：";
    const char16_t* separator = u"";
    for (std::size_t category = 0; category <= std::size(kCategories); ++category) {
        if (counts[category] != 0) {
            line += separator;
            line += category < std::size(kCategories) ? kCategories[category].second
                                                      : std::u16string_view(u"其他");
            line += u" " + platform::DecimalText(counts[category]);
            separator = u"、";
        }
    }
    return line;
}

PackPlan MakePlan(const PackRequest& request) {
    PackPlan plan;
    plan.replace = request.replace;
    plan.jobs = request.jobs != 0 ? request.jobs : DefaultJobs();
    if (!ResolvePaths(request, plan)) {
        return plan;
    }
    if (std::u16string message; !ReadSourceDateEpoch(plan.fixed_time, message)) {
        Refuse(plan, Step::kFixedTime, message);
    }
    std::vector<Candidate> candidates;
    if (!Walk(request, plan, candidates)) {
        return plan;
    }
    Select(request, plan, candidates);
    if (request.strict && !plan.warnings.empty()) {
        Refuse(plan, Step::kSelection, u"有警告且指定了 --strict");
    }
    if (request.dry_run && !plan.error) {
        Rehearse(plan);
    }
    return plan;
}

PackReport ExecutePlan(const PackPlan& plan, PluginPackager& packager,
                       const std::atomic<bool>* cancel,
                       const std::function<void(const PackProgress&)>& progress) {
    PackReport report;
    PackOptions options;
    options.cancel = cancel;
    options.jobs = plan.jobs;
    options.fixed_time = plan.fixed_time;
    options.replace = plan.replace;
    options.archive_left_out = true;
    options.progress = [&](const PackProgress& now) {
        report.bytes_in = now.bytes_total;
        if (progress) {
            progress(now);
        }
    };
    const auto started = std::chrono::steady_clock::now();
    const bool packed = packager.Pack(plan.folder, plan.files, plan.archive, options);
    report.seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    report.descriptor = packager.DescriptorFields();
    // A request that came once the archive was in place changes nothing: the run succeeded.
    if (!packed && cancel != nullptr && cancel->load()) {
        report.error = PackError{.step = Step::kCancel, .text = u"打包已取消"};
    } else if (!packed) {
        report.error = PackError{.step = Step::kPack,
                                 .path = packager.FailurePath(),
                                 .cause = packager.FailureCause(),
                                 .zip_result = packager.GetZipResult(),
                                 .text = packager.DescribeFailure()};
    } else {
        report.entries = packager.PackedEntries();
        report.warnings = packager.Warnings();
        const platform::Result<platform::FindData> record = platform::QueryFile(plan.archive);
        report.bytes_out = record ? platform::FileSizeOf(*record) : 0;
    }
    return report;
}

}  // namespace zelpack
