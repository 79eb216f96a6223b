// PluginPackager::Pack, step by step: the selection as it will be packed, the descriptor written
// to a temporary file, the archive begun under a temporary name beside its destination, the
// entries added (prepared ahead on several threads when asked), and the archive moved into place.
// Also what a run can tell before it starts: the plug-in's name, the proposed archive, the
// configuration's file and the format's limits it is sure to pass.
#include <algorithm>
#include <memory>
#include <optional>
#include <thread>
#include <vector>

#include "packager/entry_pipeline.h"
#include "packager/output_file.h"
#include "packager/plugin_packager.h"
#include "packager/source_file.h"
#include "platform/file.h"
#include "platform/listing.h"
#include "platform/path.h"
#include "platform/process.h"
#include "platform/text.h"
#include "zip/archive.h"
#include "zip/prepared_entry.h"
#include "zip/zip_writer.h"

namespace zelpack {

namespace {

using platform::kPathSeparator;

constexpr std::u16string_view kConfigEnding = u".xml";
constexpr std::u16string_view kAddFailedMessage = u"添加文件失败：";
constexpr std::u16string_view kCancelledMessage = u"打包已取消";

std::uint64_t SizeOf(std::u16string_view path) {
    const platform::Result<platform::FindData> record = platform::QueryFile(path);
    return record ? platform::FileSizeOf(*record) : 0;
}

// The file at the archive path, when one is there to be replaced (or packed by mistake).
std::optional<platform::FindData> ExistingArchive(std::u16string_view archive_path) {
    const platform::Result<platform::FileKind> kind = platform::QueryKind(archive_path);
    if (!kind || *kind != platform::FileKind::Regular) {
        return std::nullopt;
    }
    platform::Result<platform::FindData> record = platform::QueryFile(archive_path);
    return record ? std::optional(std::move(*record)) : std::nullopt;
}

// Whether `entry`, a file of `folder`, is the archive `archive` under another name. Records
// without an identity (a Windows listing's) are looked up when their size allows it.
bool IsArchive(std::u16string_view folder, const FileEntry& entry,
               const platform::FindData& archive) {
    if (entry.id.Known()) {
        return entry.id == archive.id;
    }
    if (entry.error || platform::FileSizeOf(entry) != platform::FileSizeOf(archive)) {
        return false;
    }
    const platform::Result<platform::FindData> record =
        platform::QueryFile(platform::JoinPath(folder, entry.cFileName));
    return record && record->id == archive.id;
}

// Target-side failures: the archive could not be written, whichever entry was being added.
bool IsArchiveWriteFailure(zip::ZipResult result) {
    return result == zip::WriteFailed || result == zip::NotSeekable;
}

// On a pipeline thread: opens `entry` and prepares its data. One that cannot be opened or read
// is left to the archive, which meets the failure itself, as it would alone.
void PrepareSelected(const platform::Subtree& tree, const FileEntry& entry, LinkUse links,
                     const platform::FileId& archive, std::u16string_view entry_prefix,
                     zip::EntryPreparer& preparer, const zip::ReadObserver& observer,
                     PreparedFile& out) {
    std::u16string change;
    platform::Result<platform::File> file = OpenSelected(tree, entry, links, archive, change);
    if (!change.empty()) {
        out.failure = ChangedMessage(platform::PortablePath(entry.cFileName), change);
        return;
    }
    if (!file) {
        return;
    }
    preparer.Prepare(std::u16string(entry_prefix) + entry.cFileName, *file,
                     EntryPipeline::kLargeEntry, observer, out.entry);
    if (!out.entry.ready) {
        return;
    }
    if (std::optional<std::u16string> what =
            ChangeWhileRead(*file, entry, out.entry.source.sourceBytesRead)) {
        out.failure = ChangedMessage(platform::PortablePath(entry.cFileName), *what);
        out.entry.ready = false;
    }
}

}  // namespace

std::u16string LimitMessage(std::u16string_view path, std::u16string_view limit) {
    return u"无法打包 " + std::u16string(path) + u"：" + std::u16string(limit);
}

std::optional<std::u16string> PluginPackager::PredictLimitFailure(
    std::u16string_view folder, std::span<const FileEntry> selection) {
    const std::optional<std::u16string> prefix = EntryPrefix(folder);
    if (!prefix) {
        return std::nullopt;
    }
    // The descriptor comes first, taking no data in the forecast.
    zip::LimitForecast forecast(kDescriptorEntryName);
    for (const FileEntry& entry : selection) {
        const std::u16string& path = entry.cFileName;
        if (const zip::Limit limit = forecast.Add(*prefix + path, platform::FileSizeOf(entry));
            limit != zip::Limit::None) {
            return LimitMessage(path, zip::DescribeLimit(forecast.limits(), limit));
        }
    }
    return std::nullopt;
}

FileEntry RecordNow(std::u16string_view folder, const std::u16string& path) {
    FileEntry entry;
    platform::Result<platform::FindData> record =
        platform::QueryFile(platform::JoinPath(folder, path));
    if (record) {
        static_cast<platform::FindData&>(entry) = std::move(*record);
    } else {
        entry.error = record.error();
    }
    entry.cFileName = path;
    return entry;
}

unsigned DefaultJobs() {
    return std::max(1u, std::thread::hardware_concurrency());
}

bool ReadSourceDateEpoch(std::optional<std::int64_t>& moment, std::u16string& message) {
    moment.reset();
    const std::optional<std::u16string> value = platform::EnvironmentVariable(u"SOURCE_DATE_EPOCH");
    if (!value || value->empty()) {
        return true;
    }
    // Digits only, and few enough of them that the number cannot overflow.
    std::int64_t seconds = 0;
    bool whole = value->size() <= 18;
    for (const char16_t c : *value) {
        if (c < u'0' || c > u'9') {
            whole = false;
            break;
        }
        seconds = seconds * 10 + (c - u'0');
    }
    if (!whole) {
        message = u"SOURCE_DATE_EPOCH 无效：" + *value;
        return false;
    }
    moment = seconds;
    return true;
}

struct PluginPackager::Run {
    const PackOptions& options;
    std::u16string_view archive_path;
    LinkUse links;
    std::u16string source_prefix{};  // the plug-in folder and a separator
    std::u16string entry_prefix{};   // the plug-in's name and a separator
    std::vector<FileEntry> files{};  // the selection, as packed
    std::u16string config{};
    std::u16string descriptor{};
    platform::FileId replaced_archive{};  // the file at the archive path, if any
    std::optional<platform::Subtree> tree{};
    // Declared before the archive, so that the archive is finished before its file goes.
    std::optional<OutputFile> output{};
    std::unique_ptr<zip::ArchiveHandle> archive{};
    PackProgress progress{};
    std::uint64_t bytes_before_entry = 0;
    std::vector<std::u16string> entry_names{};  // of the entries added, in order

    bool Cancelled() const { return options.cancel != nullptr && options.cancel->load(); }
    void Report() {
        if (options.progress) {
            options.progress(progress);
        }
    }
};

bool PluginPackager::Fail(std::u16string_view message) {
    message_ = message;
    failure_path_.clear();
    failure_cause_.clear();
    return false;
}

bool PluginPackager::FailAt(std::u16string_view what, std::u16string_view path,
                            const std::error_code& cause) {
    failure_path_ = path;
    failure_cause_ = cause;
    message_.assign(what);
    message_ += u' ';
    message_ += path;
    if (cause) {
        message_ += u'：';
        message_ += platform::ErrorText(cause);
    }
    return false;
}

std::u16string PluginPackager::DescribeFailure() const {
    return std::u16string(kFailurePrefix) + message_;
}

void PluginPackager::SetDescriptorPath(std::u16string path) {
    const std::lock_guard lock(descriptor_mutex_);
    descriptor_path_ = std::move(path);
}

void PluginPackager::DeleteDescriptorFile() {
    const std::lock_guard lock(descriptor_mutex_);
    if (!descriptor_path_.empty()) {
        platform::RemoveTemporary(descriptor_path_);
    }
}

std::optional<std::u16string> PluginPackager::FindConfigFileIn(
    std::span<const std::u16string> files) {
    for (const std::u16string& path : files) {
        if (std::count(path.begin(), path.end(), u'.') != 3) {
            continue;
        }
        std::size_t third = path.find(u'.');
        third = path.find(u'.', third + 1);
        third = path.find(u'.', third + 1);
        if (std::u16string_view(path).substr(third) == kConfigEnding) {
            return path;
        }
    }
    return std::nullopt;
}

bool PluginPackager::FindConfigFile(std::u16string& config) const {
    std::optional<std::u16string> found = FindConfigFileIn(selected_files_);
    if (!found) {
        return false;
    }
    config = std::move(*found);
    return true;
}

std::optional<std::u16string> PluginPackager::PluginName(std::u16string_view folder) {
    const std::u16string_view name = platform::LastComponent(folder);
    if (name.empty() || name == u"." || name == u"..") {
        return std::nullopt;
    }
    return std::u16string(name);
}

std::optional<std::u16string> PluginPackager::EntryPrefix(std::u16string_view folder) {
    std::optional<std::u16string> name = PluginName(folder);
    if (name) {
        name->push_back(kPathSeparator);
    }
    return name;
}

std::u16string PluginPackager::ProposedArchivePath(std::u16string_view folder) {
    return platform::JoinPath(folder, std::u16string(platform::LastComponent(folder)) + u".zip");
}

std::vector<std::u16string> PluginPackager::PackedSelection(
    std::u16string_view folder, std::span<const std::u16string> selection,
    std::u16string_view archive_path) {
    std::vector<std::u16string> packed(selection.begin(), selection.end());
    const std::optional<platform::FindData> archive = ExistingArchive(archive_path);
    if (!archive) {
        return packed;
    }
    std::erase_if(packed, [&](const std::u16string& path) {
        const platform::Result<platform::FindData> record =
            platform::QueryFile(platform::JoinPath(folder, path));
        return record && record->id == archive->id;
    });
    return packed;
}

std::vector<FileEntry> PluginPackager::PackedSelection(std::u16string_view folder,
                                                       std::span<const FileEntry> selection,
                                                       std::u16string_view archive_path) {
    std::vector<FileEntry> packed(selection.begin(), selection.end());
    if (const std::optional<platform::FindData> archive = ExistingArchive(archive_path)) {
        std::erase_if(packed,
                      [&](const FileEntry& entry) { return IsArchive(folder, entry, *archive); });
    }
    return packed;
}

bool PluginPackager::Pack(std::u16string_view folder, std::span<const std::u16string> selection,
                          std::u16string_view archive_path, const PackOptions& options) {
    // Without a walk, each file is recorded as the run finds it now.
    std::vector<FileEntry> files;
    files.reserve(selection.size());
    for (const std::u16string& path : selection) {
        files.push_back(RecordNow(folder, path));
    }
    return PackSelection(folder, std::move(files), archive_path, options, false);
}

bool PluginPackager::Pack(std::u16string_view folder, std::span<const FileEntry> selection,
                          std::u16string_view archive_path, const PackOptions& options) {
    return PackSelection(folder, std::vector<FileEntry>(selection.begin(), selection.end()),
                         archive_path, options, true);
}

bool PluginPackager::PackSelection(std::u16string_view folder, std::vector<FileEntry> selection,
                                   std::u16string_view archive_path, const PackOptions& options,
                                   bool links_known) {
    message_.clear();
    failure_path_.clear();
    failure_cause_.clear();
    zip_result_ = zip::Success;
    packed_entries_.clear();
    warnings_.clear();
    Run run{.options = options,
            .archive_path = archive_path,
            .links = links_known ? LinkUse::None : LinkUse::Unknown};
    if (!ChooseSelection(run, folder, std::move(selection))) {
        return false;
    }
    if (run.Cancelled()) {
        return Fail(kCancelledMessage);
    }
    struct DescriptorCleanup {
        PluginPackager& packager;
        ~DescriptorCleanup() {
            packager.DeleteDescriptorFile();
            packager.SetDescriptorPath({});
        }
    } descriptor_cleanup{*this};
    return WriteDescriptor(run) && OpenTemporaryArchive(run) && AddEntries(run) && Commit(run);
}

bool PluginPackager::ChooseSelection(Run& run, std::u16string_view folder,
                                     std::vector<FileEntry> selection) {
    const std::optional<std::u16string> entry_prefix = EntryPrefix(folder);
    if (!entry_prefix) {
        return Fail(kBadFolderMessage);
    }
    run.entry_prefix = *entry_prefix;
    run.source_prefix = platform::JoinPath(folder, u"");
    // Nothing is written, not even the descriptor, for a destination that cannot take the archive.
    if (std::optional<std::u16string> refused =
            RefuseDestination(run.archive_path, u"压缩包", run.options.replace)) {
        return Fail(*refused);
    }
    if (const std::optional<platform::FindData> archive = ExistingArchive(run.archive_path)) {
        run.replaced_archive = archive->id;
    }
    run.files = run.options.archive_left_out ? std::move(selection)
                                             : PackedSelection(folder, selection, run.archive_path);
    selected_files_.clear();
    for (const FileEntry& entry : run.files) {
        selected_files_.push_back(entry.cFileName);
    }
    if (!FindConfigFile(run.config)) {
        return Fail(kNoConfigFileMessage);
    }
    return true;
}

bool PluginPackager::WriteDescriptor(Run& run) {
    // The descriptor gets a file of its own, so no file of the user's is ever replaced.
    const std::u16string folder = platform::TemporaryFolder();
    const platform::Result<std::u16string> descriptor = platform::ReserveTemporary(
        folder, u"zelPluginInfo-", u".xml", platform::TemporaryAccess::OwnerOnly);
    if (!descriptor) {
        return FailAt(u"无法在临时文件夹中创建描述文件", folder, descriptor.error());
    }
    run.descriptor = *descriptor;
    SetDescriptorPath(*descriptor);
    if (!CheckConfigAndWriteDescriptor(run.source_prefix + run.config, run.descriptor,
                                       run.options.cancel)) {
        return run.Cancelled() ? Fail(kCancelledMessage) : false;
    }
    return true;
}

bool PluginPackager::OpenTemporaryArchive(Run& run) {
    const std::u16string_view path = run.archive_path;
    platform::Result<OutputFile> output = OutputFile::Begin(path);
    if (!output) {
        return FailAt(u"无法创建压缩文件", path, output.error());
    }
    run.output.emplace(std::move(*output));
    // The writer gets the open file: the temporary name is never opened again, so nothing put in
    // its place meanwhile is written to.
    run.archive = zip::BeginArchiveToHandle(run.output->file());
    if (!run.archive) {
        zip_result_ = zip::GetMostRecentResult();
        return FailAt(u"无法创建压缩文件", path, {});
    }
    zip::SetFixedTime(run.archive.get(), run.options.fixed_time);
    zip::SetReadObserver(run.archive.get(), [&run](std::uint64_t bytes_read) {
        run.progress.bytes_done = run.bytes_before_entry + bytes_read;
        run.Report();
        return !run.Cancelled();
    });
    return true;
}

bool PluginPackager::FailEntry(Run& run, zip::ZipResult result, std::u16string_view shown) {
    zip_result_ = result;
    if (run.Cancelled()) {
        return Fail(kCancelledMessage);
    }
    // The format's bound, not the writer, refused the file.
    if (const zip::Limit limit = zip::GetExceededLimit(run.archive.get());
        limit != zip::Limit::None) {
        zip_result_ = zip::Success;
        return Fail(LimitMessage(shown, zip::DescribeLimit(run.archive.get(), limit)));
    }
    const std::error_code cause = zip::GetSystemError(run.archive.get());
    if (IsArchiveWriteFailure(result)) {
        return FailAt(u"无法写入压缩文件", run.archive_path, cause);
    }
    std::u16string message(kAddFailedMessage);
    message += shown;
    if (cause) {
        message += u'：';
        message += platform::ErrorText(cause);
    }
    return Fail(message);
}

bool PluginPackager::AddDescriptor(Run& run) {
    run.progress.current_path = kDescriptorEntryName;
    run.Report();
    const zip::ZipResult result =
        zip::AddEntryFromFile(run.archive.get(), kDescriptorEntryName, run.descriptor);
    if (result != zip::Success) {
        return FailEntry(run, result, kDescriptorEntryName);
    }
    run.entry_names.emplace_back(kDescriptorEntryName);
    run.bytes_before_entry = SizeOf(run.descriptor);
    run.progress.bytes_done = run.bytes_before_entry;
    ++run.progress.files_done;
    return true;
}

bool PluginPackager::AddFile(Run& run, std::size_t index, const PreparedFile* prepared) {
    const FileEntry& entry = run.files[index];
    const std::u16string& path = entry.cFileName;
    const std::u16string entry_name = run.entry_prefix + path;
    run.progress.current_path = path;
    run.Report();
    if (prepared != nullptr && !prepared->failure.empty()) {
        return Fail(prepared->failure);
    }
    zip::ZipResult result = zip::Success;
    std::uint64_t bytes_read = 0;
    if (prepared != nullptr && prepared->entry.ready) {
        result = zip::AddPreparedEntry(run.archive.get(), entry_name, prepared->entry);
        bytes_read = prepared->entry.source.sourceBytesRead;
    } else {
        // A name the archive cannot hold is refused before the file is looked for, after the
        // count, as the writer checks them.
        if (const zip::Limit limit = zip::CheckNextEntry(run.archive.get(), entry_name);
            limit != zip::Limit::None) {
            return Fail(LimitMessage(path, zip::DescribeLimit(run.archive.get(), limit)));
        }
        std::u16string change;
        platform::Result<platform::File> file =
            OpenSelected(*run.tree, entry, entry.via_link ? LinkUse::Allowed : run.links,
                         run.replaced_archive, change);
        if (!change.empty()) {
            return Fail(ChangedMessage(platform::PortablePath(path), change));
        }
        if (!file) {
            zip_result_ = zip::OpenFailed;
            return Fail(std::u16string(kAddFailedMessage) + path + u"：" +
                        platform::ErrorText(file.error()));
        }
        result = zip::AddEntryFromHandle(run.archive.get(), entry_name, *file);
        if (result == zip::Success) {
            bytes_read = zip::GetEntries(run.archive.get()).back().uncompressedSize;
            if (std::optional<std::u16string> what = ChangeWhileRead(*file, entry, bytes_read)) {
                return Fail(ChangedMessage(platform::PortablePath(path), *what));
            }
        }
    }
    if (result != zip::Success) {
        return FailEntry(run, result, path);
    }
    run.entry_names.push_back(entry_name);
    run.bytes_before_entry += platform::FileSizeOf(entry);
    run.progress.bytes_done = run.bytes_before_entry;
    ++run.progress.files_done;
    return true;
}

bool PluginPackager::AddEntries(Run& run) {
    run.progress.files_total = run.files.size() + 1;
    run.progress.bytes_total = SizeOf(run.descriptor);
    for (const FileEntry& entry : run.files) {
        run.progress.bytes_total += platform::FileSizeOf(entry);
    }
    // Every file is opened below the folder as it is now, relative to it: a folder on the way
    // renamed or swapped for a link after this cannot lead elsewhere.
    platform::Result<platform::Subtree> tree = platform::Subtree::Open(run.source_prefix);
    if (!tree) {
        return FailAt(u"无法打开插件文件夹", run.source_prefix, tree.error());
    }
    run.tree.emplace(std::move(*tree));
    if (!AddDescriptor(run)) {
        return false;
    }
    // With more than one job, threads prepare the entries ahead; the archive takes them in order.
    std::optional<EntryPipeline> pipeline;
    if (run.options.jobs > 1 && run.files.size() > 1) {
        std::vector<std::uint64_t> sizes;
        sizes.reserve(run.files.size());
        for (const FileEntry& entry : run.files) {
            sizes.push_back(platform::FileSizeOf(entry));
        }
        pipeline.emplace(std::move(sizes), run.options.jobs, run.options.cancel,
                         [&run](std::size_t index, zip::EntryPreparer& preparer,
                                const zip::ReadObserver& observer, PreparedFile& out) {
                             const FileEntry& entry = run.files[index];
                             PrepareSelected(
                                 *run.tree, entry, entry.via_link ? LinkUse::Allowed : run.links,
                                 run.replaced_archive, run.entry_prefix, preparer, observer, out);
                         });
    }
    for (std::size_t index = 0; index < run.files.size(); ++index) {
        const std::u16string& path = run.files[index].cFileName;
        if (run.Cancelled()) {
            return Fail(kCancelledMessage);
        }
        // The writer would store a backslash as a folder separator: where it is none (POSIX), the
        // file would come out under another path.
        if (kPathSeparator != u'\\' && path.find(u'\\') != std::u16string::npos) {
            zip_result_ = zip::BadArguments;
            return Fail(std::u16string(kAddFailedMessage) + path);
        }
        const PreparedFile* prepared = pipeline ? &pipeline->Take(index) : nullptr;
        const bool added = AddFile(run, index, prepared);
        if (pipeline) {
            pipeline->Release(index);
        }
        if (!added) {
            return false;
        }
    }
    run.progress.current_path = {};
    return true;
}

bool PluginPackager::Commit(Run& run) {
    std::vector<PackedEntry> entries;
    const std::span<const zip::EntryHeader> headers = zip::GetEntries(run.archive.get());
    for (std::size_t index = 0; index < headers.size() && index < run.entry_names.size(); ++index) {
        const zip::EntryHeader& header = headers[index];
        entries.push_back({.name = std::move(run.entry_names[index]),
                           .size = header.uncompressedSize,
                           .compressed_size = header.compressedSize,
                           .deflated = header.method == zip::record::kMethodDeflated,
                           .crc = header.crc});
    }
    run.tree.reset();
    std::error_code cause;
    zip_result_ = zip::EndArchive(run.archive, &cause);
    if (zip_result_ != zip::Success) {
        return FailAt(u"无法写入压缩文件", run.archive_path, cause);
    }
    OutputFile::Step failed = OutputFile::Step::Move;
    if (const platform::Status committed =
            run.output->Commit(run.options.replace, run.options.flush, run.options.cancel, failed);
        !committed) {
        if (failed == OutputFile::Step::Cancelled) {
            return Fail(kCancelledMessage);
        }
        if (failed != OutputFile::Step::Move) {
            return FailAt(u"无法写入压缩文件", run.archive_path, committed.error());
        }
        // Another run (or anything else) took the name since the start, and it is not replaced.
        if (committed.error() == std::errc::file_exists && !run.options.replace) {
            return Fail(u"压缩包已存在：" + std::u16string(run.archive_path) +
                        u"（用 --force 覆盖）");
        }
        return FailAt(u"无法保存压缩文件", run.archive_path, committed.error());
    }
    // From here on the run has succeeded, whatever arrives: the archive is in place.
    if (run.options.flush) {
        if (const platform::Status flushed = run.output->FlushFolder(); !flushed) {
            warnings_.push_back(
                {"folder_not_flushed",
                 {{"path", std::u16string(run.archive_path)},
                  {"error", platform::FromNative(platform::ErrorName(flushed.error()))}},
                 u"警告：已保存 " + std::u16string(run.archive_path) +
                     u"，但无法把它所在的文件夹写入磁盘：" + platform::ErrorText(flushed.error())});
        }
    }
    packed_entries_ = std::move(entries);
    run.Report();
    return true;
}

}  // namespace zelpack
