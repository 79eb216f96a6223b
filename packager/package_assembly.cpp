#include <algorithm>
#include <memory>
#include <optional>
#include <thread>
#include <vector>

#include "packager/entry_pipeline.h"
#include "packager/plugin_packager.h"
#include "platform/file.h"
#include "platform/listing.h"
#include "platform/path.h"
#include "platform/process.h"
#include "zip/archive.h"

namespace zelpack {

namespace {

using platform::kPathSeparator;

constexpr std::u16string_view kConfigEnding = u".xml";
constexpr std::u16string_view kBadFolderMessage = u"插件文件夹无效！";
constexpr std::u16string_view kAddFailedMessage = u"添加文件失败：";
constexpr std::u16string_view kCancelledMessage = u"打包已取消";

// Removes a temporary file of the run's own. A failed attempt is tried once more: a scanner
// may hold a file that was just written for a moment (on Windows, routinely).
void RemoveTemporary(const std::u16string& path) {
    for (int attempt = 0; attempt < 2; ++attempt) {
        const platform::Status removed = platform::DeleteFile(path);
        if (removed || removed.error() == std::errc::no_such_file_or_directory) {
            return;
        }
    }
}

// Removes a file when it goes out of scope, unless kept.
class FileRemover {
  public:
    explicit FileRemover(std::u16string path) : path_(std::move(path)) {}
    ~FileRemover() {
        if (!path_.empty()) {
            RemoveTemporary(path_);
        }
    }
    FileRemover(const FileRemover&) = delete;
    FileRemover& operator=(const FileRemover&) = delete;
    const std::u16string& path() const { return path_; }
    void Keep() { path_.clear(); }

  private:
    std::u16string path_;
};

// Makes an empty file with a fresh name and closes it again; its path.
platform::Result<std::u16string> ReserveTemporary(std::u16string_view folder,
                                                  std::u16string_view prefix,
                                                  std::u16string_view suffix,
                                                  platform::TemporaryAccess access) {
    std::u16string path;
    platform::Result<platform::File> file =
        platform::File::CreateTemporary(folder, prefix, suffix, path, access);
    if (!file) {
        return file.error();
    }
    if (const platform::Status closed = file->Close(); !closed) {
        RemoveTemporary(path);
        return closed.error();
    }
    return path;
}

std::uint64_t SizeOf(std::u16string_view path) {
    const platform::Result<platform::FindData> record = platform::QueryFile(path);
    return record ? platform::FileSizeOf(*record) : 0;
}

// Target-side failures: the archive could not be written, whichever entry was being added.
bool IsArchiveWriteFailure(zip::ZipResult result) {
    return result == zip::WriteFailed || result == zip::NotSeekable;
}

}  // namespace

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
    std::u16string source_prefix{};  // the plug-in folder and a separator
    std::u16string entry_prefix{};   // the plug-in's name and a separator
    std::u16string config{};
    std::u16string descriptor{};
    // Declared before the archive, so that the archive is closed before its file is removed.
    std::optional<FileRemover> temporary_archive{};
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
    return false;
}

bool PluginPackager::FailAt(std::u16string_view what, std::u16string_view path,
                            const std::error_code& cause) {
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

bool PluginPackager::DeleteDescriptorFile() {
    const std::lock_guard lock(descriptor_mutex_);
    if (!descriptor_path_.empty()) {
        RemoveTemporary(descriptor_path_);
    }
    return true;
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
    if (const platform::Result<std::u16string> target = platform::AbsolutePath(archive_path)) {
        std::erase_if(packed, [&](const std::u16string& path) {
            const platform::Result<std::u16string> source =
                platform::AbsolutePath(platform::JoinPath(folder, path));
            return source && *source == *target;
        });
    }
    return packed;
}

bool PluginPackager::Pack(std::u16string_view folder, std::span<const std::u16string> selection,
                          std::u16string_view archive_path, const PackOptions& options) {
    message_.clear();
    zip_result_ = zip::Success;
    packed_entries_.clear();
    Run run{.options = options, .archive_path = archive_path};
    if (!ChooseSelection(run, folder, selection)) {
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
                                     std::span<const std::u16string> selection) {
    const std::optional<std::u16string> entry_prefix = EntryPrefix(folder);
    if (!entry_prefix) {
        return Fail(kBadFolderMessage);
    }
    run.entry_prefix = *entry_prefix;
    run.source_prefix = platform::JoinPath(folder, u"");
    selected_files_ = PackedSelection(folder, selection, run.archive_path);
    if (!FindConfigFile(run.config)) {
        return Fail(kNoConfigFileMessage);
    }
    return true;
}

bool PluginPackager::WriteDescriptor(Run& run) {
    // The descriptor gets a file of its own, so no file of the user's is ever replaced.
    const std::u16string folder = platform::TemporaryFolder();
    const platform::Result<std::u16string> descriptor =
        ReserveTemporary(folder, u"zelPluginInfo-", u".xml", platform::TemporaryAccess::OwnerOnly);
    if (!descriptor) {
        return FailAt(u"无法在临时文件夹中创建描述文件", folder, descriptor.error());
    }
    run.descriptor = *descriptor;
    SetDescriptorPath(*descriptor);
    return CheckConfigAndWriteDescriptor(run.source_prefix + run.config, run.descriptor);
}

bool PluginPackager::OpenTemporaryArchive(Run& run) {
    // The archive grows under a hidden temporary name beside its destination (the same file
    // system, so that the final rename is one step).
    const std::u16string_view path = run.archive_path;
    const std::size_t slash = platform::LastSeparator(path);
    const std::u16string folder = slash == std::u16string_view::npos ? std::u16string(u".")
                                  : slash == 0 ? std::u16string(1, kPathSeparator)
                                               : std::u16string(path.substr(0, slash));
    const std::u16string name(slash == std::u16string_view::npos ? path : path.substr(slash + 1));
    const platform::Result<std::u16string> reserved =
        ReserveTemporary(folder, u"." + name + u"-", u".tmp", platform::TemporaryAccess::AsNewFile);
    if (!reserved) {
        return FailAt(u"无法创建压缩文件", path, reserved.error());
    }
    run.temporary_archive.emplace(*reserved);

    std::error_code cause;
    run.archive = zip::BeginArchiveToFile(*reserved, {}, &cause);
    if (!run.archive) {
        zip_result_ = zip::GetMostRecentResult();
        return FailAt(u"无法创建压缩文件", path, cause);
    }
    run.archive->writer->SetFixedTime(run.options.fixed_time);
    zip::SetReadObserver(run.archive.get(), [&run](std::uint64_t bytes_read) {
        run.progress.bytes_done = run.bytes_before_entry + bytes_read;
        run.Report();
        return !run.Cancelled();
    });
    return true;
}

bool PluginPackager::AddEntry(Run& run, std::u16string_view entry_name, std::u16string_view source,
                              std::u16string_view shown, std::uint64_t size,
                              const zip::PreparedEntry* prepared) {
    run.progress.current_path = shown;
    run.Report();
    const zip::ZipResult result =
        prepared != nullptr ? zip::AddPreparedEntry(run.archive.get(), entry_name, *prepared)
                            : zip::AddEntryFromFile(run.archive.get(), entry_name, source);
    if (result != zip::Success) {
        zip_result_ = result;
        if (run.Cancelled()) {
            return Fail(kCancelledMessage);
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
    run.entry_names.emplace_back(entry_name);
    run.bytes_before_entry += size;
    run.progress.bytes_done = run.bytes_before_entry;
    ++run.progress.files_done;
    return true;
}

bool PluginPackager::AddEntries(Run& run) {
    run.progress.files_total = selected_files_.size() + 1;
    const std::uint64_t descriptor_size = SizeOf(run.descriptor);
    run.progress.bytes_total = descriptor_size;
    for (const std::u16string& path : selected_files_) {
        run.progress.bytes_total += SizeOf(run.source_prefix + path);
    }

    if (!AddEntry(run, kDescriptorEntryName, run.descriptor, kDescriptorEntryName, descriptor_size,
                  nullptr)) {
        return false;
    }
    std::vector<EntryPipeline::Job> jobs;
    jobs.reserve(selected_files_.size());
    for (const std::u16string& path : selected_files_) {
        const std::u16string source = run.source_prefix + path;
        jobs.push_back({run.entry_prefix + path, source, SizeOf(source)});
    }
    // With more than one job, threads prepare the entries ahead; the archive takes them in order.
    std::optional<EntryPipeline> pipeline;
    if (run.options.jobs > 1 && jobs.size() > 1) {
        pipeline.emplace(jobs, run.options.jobs, run.options.cancel);
    }
    for (std::size_t index = 0; index < jobs.size(); ++index) {
        const std::u16string& path = selected_files_[index];
        if (run.Cancelled()) {
            return Fail(kCancelledMessage);
        }
        // The writer would store a backslash as a folder separator: where it is none (POSIX), the
        // file would come out under another path.
        if (kPathSeparator != u'\\' && path.find(u'\\') != std::u16string::npos) {
            zip_result_ = zip::BadArguments;
            return Fail(std::u16string(kAddFailedMessage) + path);
        }
        const EntryPipeline::Job& job = jobs[index];
        const zip::PreparedEntry* prepared = pipeline ? &pipeline->Take(index) : nullptr;
        const bool added = AddEntry(run, job.entry_name, job.source_path, path, job.size, prepared);
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
    const std::span<const zip::EntryHeader> headers = run.archive->writer->entries();
    for (std::size_t index = 0; index < headers.size() && index < run.entry_names.size(); ++index) {
        const zip::EntryHeader& header = headers[index];
        entries.push_back({.name = std::move(run.entry_names[index]),
                           .size = header.uncompressedSize,
                           .compressed_size = header.compressedSize,
                           .deflated = header.method == zip::record::kMethodDeflated,
                           .crc = header.crc});
    }
    std::error_code cause;
    zip_result_ = zip::EndArchive(run.archive, &cause);
    if (zip_result_ != zip::Success) {
        return FailAt(u"无法写入压缩文件", run.archive_path, cause);
    }
    if (run.Cancelled()) {
        return Fail(kCancelledMessage);
    }
    const platform::Status replaced =
        platform::ReplaceFile(run.temporary_archive->path(), run.archive_path);
    if (!replaced) {
        return FailAt(u"无法保存压缩文件", run.archive_path, replaced.error());
    }
    // From here on the run has succeeded, whatever arrives: the archive is in place.
    run.temporary_archive->Keep();
    packed_entries_ = std::move(entries);
    run.Report();
    return true;
}

}  // namespace zelpack
