// A packing run as both front ends make it, in three steps: a request (what the user asked for),
// a plan made from it (the walk, the ticks, what is left out and why, every warning, the
// configuration found: everything known before a byte is written) and the plan's execution,
// which gives a report of the archive made or the one error that stopped the run. The command
// line and the progress dialog only build the request and show what comes back.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "filelist/file_entry.h"
#include "packager/notice.h"
#include "packager/plugin_packager.h"
#include "zip/zip_result.h"

namespace zelpack {

struct PackRequest {
    std::u16string folder;  // the plug-in folder, relative to the current folder or absolute
    // The files ticked, relative paths as a file list keeps them; without, each walked file has
    // its default tick, or every one with `all`.
    std::optional<std::vector<std::u16string>> ticked;
    bool all = false;
    // Whether the folder's .zelpackignore leaves its files out (unticks them).
    bool ignore_file = true;
    // Each pattern with whether it ticks (true) or unticks, applied in this order after the ticks.
    std::vector<std::pair<bool, std::u16string>> patterns;
    // Empty: the archive proposed for the folder; an existing folder: NAME.zip inside it.
    std::u16string archive;
    bool replace = false;  // a file at the archive path may be replaced
    unsigned jobs = 0;     // threads compressing at the same time; 0: one per core
    bool strict = false;   // any warning fails the run before anything is written
    // Whether the plan is for a rehearsal that writes nothing: it then predicts the failures
    // a run would meet (no configuration, a refused destination, the format's limits).
    bool dry_run = false;
};

// Why a run stopped: the step, the file it concerns and the system's or the archive writer's
// reason, with the text every front end shows for it.
struct PackError {
    // In the order the steps come; those before kSelection leave the plan without a selection.
    enum class Step {
        kFolder,
        kArchive,
        kFixedTime,
        kWalk,
        kSelection,
        kRehearsal,
        kPack,
        kCancel
    };
    Step step = Step::kPack;
    std::u16string path{};
    std::error_code cause{};
    zip::ZipResult zip_result = zip::Success;
    std::u16string text{};  // "打包失败，…" (for a cancelled run, "打包已取消")
};

// The step's name for scripts: "folder", "archive", "fixed_time", "walk", "selection",
// "rehearsal", "pack" or "cancel".
std::string_view StepName(PackError::Step step);

// A walked file not packed, with why: the reason's text, empty for a file the request's list left
// unticked, and its code: those of DefaultUntick, "exclude" (with "pattern"), "unticked" or
// "archive_itself".
struct LeftOut {
    std::u16string path;  // relative, with '/'
    Notice reason;
};

// "未打包 4 个：编译输出标记 3、--exclude 1": how many files are left out, by reason in a fixed
// order; empty when none is.
std::u16string LeftOutSummary(const std::vector<LeftOut>& left_out);

// One file of the archive to come, for a rehearsal.
struct PlannedEntry {
    std::u16string name;  // inside the archive, with the plug-in's folder
    std::uint64_t size = 0;
    bool stored = false;  // kept as it is rather than deflated
};

struct PackPlan {
    std::u16string folder;   // absolute
    std::u16string archive;  // absolute; empty when the folder or the path is invalid
    std::u16string entry_prefix;
    std::optional<std::int64_t> fixed_time;  // from SOURCE_DATE_EPOCH
    unsigned jobs = 1;
    bool replace = false;
    bool selected = false;  // whether the walk was made and what follows is known
    // The files to pack, as the walk recorded them, in walk order, the archive itself left out.
    std::vector<FileEntry> files;
    // What is left out, with why, in walk order.
    std::vector<LeftOut> left_out;
    // The walk's warnings, then the selection's, one "警告：" line each: those of
    // SelectionWarnings, UnfollowedLinkWarning and UnreadableWarning, "outside_link" (with "path"
    // and "packed") and "config_below_root" (with "path" and "folder").
    std::vector<Notice> warnings;
    std::optional<std::u16string> config;  // relative path of the configuration found
    // Without one: the form its name must have, then each near miss seen, one line each.
    std::vector<std::u16string> config_hints;
    std::vector<PlannedEntry> entries;  // the files' entries, for a rehearsal
    // The first failure, in the steps' order. A bad SOURCE_DATE_EPOCH still lets the selection be
    // made, for a front end that shows its warnings beside the failure.
    std::optional<PackError> error;

    // Whether the selection (files, warnings, what is left out) is to be shown with the outcome.
    bool ShowsSelection() const {
        return selected && (!error || error->step >= PackError::Step::kSelection);
    }
};

// Everything that can be known before writing: every file is looked at once, by the walk.
PackPlan MakePlan(const PackRequest& request);

struct PackReport {
    std::vector<PackedEntry> entries;  // as the archive's central directory holds them
    std::uint64_t bytes_in = 0;        // of the files read, the descriptor included
    std::uint64_t bytes_out = 0;       // the archive's size
    double seconds = 0;
    // The descriptor's fields, as far as the configuration was checked (even on failure).
    std::vector<std::pair<std::string, std::string>> descriptor;
    std::vector<Notice> warnings;    // the run's own, beyond the plan's
    std::optional<PackError> error;  // set when no archive was made
};

// Packs the plan's files with `packager`, which stays free for DeleteDescriptorFile from another
// thread. `cancel` and `progress` are as PackOptions takes them.
PackReport ExecutePlan(const PackPlan& plan, PluginPackager& packager,
                       const std::atomic<bool>* cancel,
                       const std::function<void(const PackProgress&)>& progress = {});

}  // namespace zelpack
