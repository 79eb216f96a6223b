// The packaging core under the packing run (pack_run.h): checks a plug-in's configuration, writes
// its descriptor and packs the descriptor with the selected files into one archive. The check is
// in plugin_packager.cpp, the packing in package_assembly.cpp.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

#include "filelist/file_entry.h"
#include "packager/notice.h"
#include "zip/zip_result.h"

namespace zelpack {

struct PreparedFile;

// Where a packing run stands, as handed to PackOptions::progress.
struct PackProgress {
    std::size_t files_done = 0;  // entries completed, the descriptor included
    std::size_t files_total = 0;
    std::uint64_t bytes_done = 0;  // of the files' contents read so far
    std::uint64_t bytes_total = 0;
    // Relative path of the file being added (the descriptor's entry name for the descriptor).
    std::u16string_view current_path;
};

struct PackOptions {
    // Checked between entries and while sources are read; once set the run stops, leaves the
    // archive path untouched and fails with "打包已取消". May be set from any thread or a
    // signal handler.
    const std::atomic<bool>* cancel = nullptr;
    // Called on the packing thread before every entry and as its data is read.
    std::function<void(const PackProgress&)> progress;
    // Threads that compress entries at the same time (the archive is the same whatever the
    // number); 1 packs on the calling thread alone.
    unsigned jobs = 1;
    // Seconds since 1970 (UTC) that every entry gets as its times instead of its file's, so that
    // the same files pack to the same bytes whenever and wherever they are packed.
    std::optional<std::int64_t> fixed_time;
    // Whether a file at the archive path may be replaced. When not, the run fails if one is there
    // at the start, or appears there by the end (another run's, say).
    bool replace = true;
    // Whether the archive reaches the disk before it takes its name; off only to measure the cost.
    bool flush = true;
    // Whether the selection already leaves the archive out (PackedSelection made it), so that the
    // run need not look at every file again.
    bool archive_left_out = false;
};

// One entry of the archive a run made, as its central directory records it.
struct PackedEntry {
    std::u16string name;
    std::uint64_t size = 0;
    std::uint64_t compressed_size = 0;
    bool deflated = false;
    std::uint32_t crc = 0;
};

// File `path` of `folder` as it is now, recorded as a walk records it (the relative path in
// cFileName; the error set when it cannot be looked up), for a selection made without a walk.
FileEntry RecordNow(std::u16string_view folder, const std::u16string& path);

// The number of threads a run uses unless told otherwise: one per core.
unsigned DefaultJobs();

// The moment the environment variable SOURCE_DATE_EPOCH gives, for PackOptions::fixed_time:
// nothing when it is unset or empty. False, with `message` set, when it is not a whole,
// non-negative number of seconds.
bool ReadSourceDateEpoch(std::optional<std::int64_t>& moment, std::u16string& message);

// The descriptor's name inside the archive, at its root.
inline constexpr std::u16string_view kDescriptorEntryName = u"zelPluginInfo.xml";
inline constexpr std::u16string_view kNoConfigFileMessage = u"没有找到插件的配置文件！";
inline constexpr std::u16string_view kBadFolderMessage = u"插件文件夹无效！";
// What every front end shows before the message of a failed run.
inline constexpr std::u16string_view kFailurePrefix = u"打包失败，";

// The message of a run that fails because file `path` would break the archive format's bound that
// `limit` describes (zip::DescribeLimit).
std::u16string LimitMessage(std::u16string_view path, std::u16string_view limit);

// Serves packing runs, one at a time. A failing step stores a user-facing message, which names
// the step, the file and the operating system's reason; each run starts without one.
class PluginPackager {
  public:
    PluginPackager() = default;
    PluginPackager(const PluginPackager&) = delete;
    PluginPackager& operator=(const PluginPackager&) = delete;

    // Packs the configuration's descriptor, then every file of `selection` (paths relative to
    // `folder`, in that order) under the folder's own name, into `archive_path`. True only when
    // every entry was added and the archive was finished and moved into place.
    //
    // The descriptor is written to a new temporary file, never into the plug-in's folders, and
    // removed afterwards. The archive is written beside `archive_path` under a temporary name and
    // renamed over it only on success: on every failure a file already at `archive_path` stays as
    // it was and the temporary files are gone.
    //
    // Each file is read as it was when the run began: one whose size, identity or last-write
    // time has changed by the time it is read, or that was replaced by a link, fails the run.
    bool Pack(std::u16string_view folder, std::span<const std::u16string> selection,
              std::u16string_view archive_path, const PackOptions& options = {});
    // The same, with each file as a walk of `folder` recorded it (FolderWalker's entries, the
    // relative path in cFileName): the file must still be what the walk saw, and one that the walk
    // reached without passing a link is opened without following any.
    bool Pack(std::u16string_view folder, std::span<const FileEntry> selection,
              std::u16string_view archive_path, const PackOptions& options = {});

    // "打包失败，" and the message of the last failed run: the text every front end shows.
    std::u16string DescribeFailure() const;

    // The message a run of `selection` (relative paths with the walk's sizes) into the archive of
    // `folder` is sure to fail with because of the format's limits: a file too large, a name too
    // long, one entry too many, or an archive that would pass 4 GiB even if no file before the one
    // named took any room. Nothing when none is certain; compression decides the rest.
    static std::optional<std::u16string> PredictLimitFailure(std::u16string_view folder,
                                                             std::span<const FileEntry> selection);

    // The first selected file whose relative path holds exactly three dots and ends in ".xml"
    // after the third. Leaves `config` alone when there is none.
    bool FindConfigFile(std::u16string& config) const;
    // The same rule over any list.
    static std::optional<std::u16string> FindConfigFileIn(std::span<const std::u16string> files);

    // Removes the temporary descriptor, if there is one; safe to call from another thread while
    // Pack runs.
    void DeleteDescriptorFile();

    // The entries of the archive the last successful Pack made, in archive order.
    const std::vector<PackedEntry>& PackedEntries() const { return packed_entries_; }

    // The archive writer's result of the step that failed the last Pack (0 when the writer did
    // not fail, or when the format's limits refused a file: the message names them), for front
    // ends that show the writer's own message as well.
    zip::ZipResult GetZipResult() const { return zip_result_; }
    // The file and the system's reason the last failure names, when it names them.
    const std::u16string& FailurePath() const { return failure_path_; }
    const std::error_code& FailureCause() const { return failure_cause_; }

    // The plug-in's name: the folder's last component, trailing separators ignored; nothing for a
    // folder with no name of its own (a root, ".", "..").
    static std::optional<std::u16string> PluginName(std::u16string_view folder);
    // The name followed by a separator: the folder the files go into inside the archive.
    static std::optional<std::u16string> EntryPrefix(std::u16string_view folder);
    // Where an archive of `folder` is proposed: inside it, named after it ("/x/demo" and
    // "/x/demo/" both give "/x/demo/demo.zip").
    static std::u16string ProposedArchivePath(std::u16string_view folder);
    // `selection` as Pack takes it in: the archive being replaced never goes into itself, by
    // whatever path it lies in the folder (a link, a second hard link, letter case on Windows):
    // files are compared by identity.
    static std::vector<std::u16string> PackedSelection(std::u16string_view folder,
                                                       std::span<const std::u16string> selection,
                                                       std::u16string_view archive_path);
    static std::vector<FileEntry> PackedSelection(std::u16string_view folder,
                                                  std::span<const FileEntry> selection,
                                                  std::u16string_view archive_path);

    // What the last run would have the user know although it succeeded (the archive's folder could
    // not be flushed to the disk: code "folder_not_flushed" with "path" and "error"), one "警告："
    // line each.
    const std::vector<Notice>& Warnings() const { return warnings_; }

    // The largest configuration checked, in bytes: a plug-in's configuration is a few KB, and the
    // XML library's time for one element grows with the square of its attribute count.
    static constexpr std::size_t kMaxConfigBytes = 256 * 1024;
    // How much entity references may bring into a configuration, text and attribute values
    // together, in bytes.
    static constexpr std::size_t kMaxEntityBytes = 1024 * 1024;

    // Reads the configuration at `config_path`, checks its "vemplugin" root and the first
    // "property" child with its four required attributes, and makes the descriptor (the root and
    // a copy of that element's attributes, defaults from the DTD included, each local name once)
    // in `descriptor`. True only when the check passed; every failure sets the message: whatever
    // the XML library reports as an error, a configuration over kMaxConfigBytes, entities that
    // expand past kMaxEntityBytes. Parsing never touches the network and never loads external
    // entities or DTDs. Once `cancel` is set (from a signal handler, say) the parse stops within
    // moments and fails with "检查已取消".
    bool CheckConfig(std::u16string_view config_path, std::string& descriptor,
                     const std::atomic<bool>* cancel = nullptr);
    // The same, writing the descriptor to `descriptor_path`, replacing any file there. True only
    // when the descriptor was written in full.
    bool CheckConfigAndWriteDescriptor(std::u16string_view config_path,
                                       std::u16string_view descriptor_path,
                                       const std::atomic<bool>* cancel = nullptr);

    // The attributes of the descriptor's "property" element, in order, UTF-8, as the last
    // successful check made them.
    const std::vector<std::pair<std::string, std::string>>& DescriptorFields() const {
        return descriptor_fields_;
    }

    // False, leaving `message` alone, while no failure has been recorded.
    bool GetErrorMessage(std::u16string& message) const;

    // The narrow forms handed to the XML library, written NUL-terminated into `buffer`: the
    // system's ANSI code page (UTF-8 on POSIX, where names on disk keep their exact bytes) and
    // UTF-8. Nothing is returned when the text, terminator included, does not fit, or holds a NUL
    // that would cut it short.
    static const char* WideToAnsi(std::u16string_view wide, std::span<char> buffer);
    static const char* WideToUtf8(std::u16string_view wide, std::span<char> buffer);

  private:
    // What one run carries from step to step; defined where the steps are.
    struct Run;

    // The steps of Pack, in order; each returns false with the message set.
    bool ChooseSelection(Run& run, std::u16string_view folder, std::vector<FileEntry> selection);
    bool WriteDescriptor(Run& run);
    bool OpenTemporaryArchive(Run& run);
    bool AddEntries(Run& run);
    bool Commit(Run& run);
    // Adds the descriptor, then selected file `index` (from its prepared data when a parallel run
    // prepared it); on failure records why.
    bool AddDescriptor(Run& run);
    bool AddFile(Run& run, std::size_t index, const PreparedFile* prepared);
    // The writer's failure of the entry for `shown`, as the run's message.
    bool FailEntry(Run& run, zip::ZipResult result, std::u16string_view shown);
    bool PackSelection(std::u16string_view folder, std::vector<FileEntry> selection,
                       std::u16string_view archive_path, const PackOptions& options,
                       bool links_known);

    bool Fail(std::u16string_view message);
    // The message "`what` `path`：reason" (no reason when `cause` is empty).
    bool FailAt(std::u16string_view what, std::u16string_view path, const std::error_code& cause);
    // The descriptor path, shared with DeleteDescriptorFile on another thread.
    void SetDescriptorPath(std::u16string path);

    std::vector<std::u16string> selected_files_;
    std::vector<PackedEntry> packed_entries_;
    std::vector<Notice> warnings_;
    std::vector<std::pair<std::string, std::string>> descriptor_fields_;
    std::mutex descriptor_mutex_;
    std::u16string descriptor_path_;
    std::u16string message_;
    std::u16string failure_path_;
    std::error_code failure_cause_;
    zip::ZipResult zip_result_ = zip::Success;
};

}  // namespace zelpack
