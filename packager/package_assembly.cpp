#include <algorithm>
#include <memory>

#include "packager/plugin_packager.h"
#include "platform/file.h"
#include "platform/listing.h"
#include "platform/text.h"
#include "zip/archive.h"

namespace zelpack {

namespace {

constexpr char16_t kSeparator = platform::kPathSeparator;
constexpr std::u16string_view kConfigEnding = u".xml";
constexpr std::u16string_view kBadFolderMessage = u"插件文件夹无效！";
constexpr std::u16string_view kAddFailedMessage = u"添加文件失败：";
constexpr std::u16string_view kCancelledMessage = u"打包已取消";

std::u16string_view WithoutTrailingSeparators(std::u16string_view folder) {
    while (!folder.empty() && folder.back() == kSeparator) {
        folder.remove_suffix(1);
    }
    return folder;
}

// Removes a file when it goes out of scope, unless kept.
class FileRemover {
  public:
    explicit FileRemover(std::u16string path) : path_(std::move(path)) {}
    ~FileRemover() {
        if (!path_.empty()) {
            platform::DeleteFile(path_);
        }
    }
    FileRemover(const FileRemover&) = delete;
    FileRemover& operator=(const FileRemover&) = delete;
    const std::u16string& path() const { return path_; }
    void Keep() { path_.clear(); }

  private:
    std::u16string path_;
};

// Makes an empty file with a fresh name and closes it again; its path, or nothing.
std::optional<std::u16string> ReserveTemporary(std::u16string_view folder,
                                               std::u16string_view prefix,
                                               std::u16string_view suffix,
                                               platform::TemporaryAccess access) {
    std::u16string path;
    std::optional<platform::File> file =
        platform::File::CreateTemporary(folder, prefix, suffix, path, access);
    if (!file || !file->Close()) {
        if (file) {
            platform::DeleteFile(path);
        }
        return std::nullopt;
    }
    return path;
}

std::uint64_t SizeOf(std::u16string_view path) {
    const std::optional<platform::FindData> record = platform::QueryFile(path);
    return record ? platform::FileSizeOf(*record) : 0;
}

}  // namespace

bool PluginPackager::Fail(std::u16string_view message) {
    message_ = message;
    return false;
}

void PluginPackager::SetDescriptorPath(std::u16string path) {
    const std::lock_guard lock(descriptor_mutex_);
    descriptor_path_ = std::move(path);
}

bool PluginPackager::DeleteDescriptorFile() {
    const std::lock_guard lock(descriptor_mutex_);
    if (!descriptor_path_.empty()) {
        platform::DeleteFile(descriptor_path_);
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

std::optional<std::u16string> PluginPackager::EntryPrefix(std::u16string_view folder) {
    const std::u16string_view trimmed = WithoutTrailingSeparators(folder);
    const std::size_t last = trimmed.rfind(kSeparator);
    const std::u16string_view name =
        last == std::u16string_view::npos ? trimmed : trimmed.substr(last + 1);
    if (name.empty() || name == u"." || name == u"..") {
        return std::nullopt;
    }
    std::u16string prefix(name);
    prefix.push_back(kSeparator);
    return prefix;
}

bool PluginPackager::Pack(std::u16string_view folder, std::span<const std::u16string> selection,
                          std::u16string_view archive_path, const PackOptions& options) {
    selected_files_.assign(selection.begin(), selection.end());
    zip_result_ = zip::Success;
    auto cancelled = [&] { return options.cancel != nullptr && options.cancel->load(); };

    const std::optional<std::u16string> entry_prefix = EntryPrefix(folder);
    if (!entry_prefix) {
        return Fail(kBadFolderMessage);
    }
    std::u16string config;
    if (!FindConfigFile(config)) {
        return Fail(kNoConfigFileMessage);
    }
    if (cancelled()) {
        return Fail(kCancelledMessage);
    }
    std::u16string source_prefix(WithoutTrailingSeparators(folder));
    source_prefix.push_back(kSeparator);
    // An archive being replaced may lie in the folder, ticked: it never goes into itself.
    if (const std::optional<std::u16string> target = platform::AbsolutePath(archive_path)) {
        std::erase_if(selected_files_, [&](const std::u16string& path) {
            return platform::AbsolutePath(source_prefix + path) == target;
        });
    }

    // The descriptor gets a file of its own, so no file of the user's is ever replaced.
    const std::optional<std::u16string> descriptor =
        ReserveTemporary(platform::TemporaryFolder(), u"zelPluginInfo-", u".xml",
                         platform::TemporaryAccess::OwnerOnly);
    if (!descriptor) {
        return false;
    }
    SetDescriptorPath(*descriptor);
    struct DescriptorCleanup {
        PluginPackager& packager;
        ~DescriptorCleanup() {
            packager.DeleteDescriptorFile();
            packager.SetDescriptorPath({});
        }
    } descriptor_cleanup{*this};
    if (!CheckConfigAndWriteDescriptor(source_prefix + config, *descriptor)) {
        return false;
    }

    // The archive grows under a hidden temporary name beside its destination (the same file
    // system, so that the final rename is one step).
    const std::size_t slash = archive_path.rfind(kSeparator);
    const std::u16string archive_folder = slash == std::u16string_view::npos ? std::u16string(u".")
                                          : slash == 0
                                              ? std::u16string(1, kSeparator)
                                              : std::u16string(archive_path.substr(0, slash));
    const std::u16string archive_name(
        slash == std::u16string_view::npos ? archive_path : archive_path.substr(slash + 1));
    const std::optional<std::u16string> reserved = ReserveTemporary(
        archive_folder, u"." + archive_name + u"-", u".tmp", platform::TemporaryAccess::AsNewFile);
    if (!reserved) {
        zip_result_ = zip::OpenFailed;
        return false;
    }
    FileRemover temporary_archive(*reserved);

    PackProgress progress;
    progress.files_total = selected_files_.size() + 1;
    const std::uint64_t descriptor_size = SizeOf(*descriptor);
    progress.bytes_total = descriptor_size;
    for (const std::u16string& path : selected_files_) {
        progress.bytes_total += SizeOf(source_prefix + path);
    }
    auto report = [&] {
        if (options.progress) {
            options.progress(progress);
        }
    };

    std::unique_ptr<zip::ArchiveHandle> archive = zip::BeginArchiveToFile(temporary_archive.path());
    if (!archive) {
        zip_result_ = zip::GetMostRecentResult();
        return false;
    }
    std::uint64_t bytes_before_entry = 0;
    zip::SetReadObserver(archive.get(), [&](std::uint64_t bytes_read) {
        progress.bytes_done = bytes_before_entry + bytes_read;
        report();
        return !cancelled();
    });
    // Adds one entry; on failure ends the archive and records why.
    auto add = [&](std::u16string_view entry_name, std::u16string_view source,
                   std::u16string_view shown, std::uint64_t size) {
        progress.current_path = shown;
        report();
        const zip::ZipResult result = zip::AddEntryFromFile(archive.get(), entry_name, source);
        if (result != zip::Success) {
            zip_result_ = result;
            zip::EndArchive(archive);
            return false;
        }
        bytes_before_entry += size;
        progress.bytes_done = bytes_before_entry;
        ++progress.files_done;
        return true;
    };

    if (!add(kDescriptorEntryName, *descriptor, kDescriptorEntryName, descriptor_size)) {
        return Fail(cancelled()
                        ? std::u16string(kCancelledMessage)
                        : std::u16string(kAddFailedMessage) + std::u16string(kDescriptorEntryName));
    }
    for (const std::u16string& path : selected_files_) {
        if (cancelled()) {
            zip::EndArchive(archive);
            return Fail(kCancelledMessage);
        }
        // The writer would store a backslash as a folder separator: the file would come out
        // under another path.
        if (path.find(u'\\') != std::u16string::npos) {
            zip_result_ = zip::BadArguments;
            zip::EndArchive(archive);
            return Fail(std::u16string(kAddFailedMessage) + path);
        }
        const std::u16string source = source_prefix + path;
        if (!add(*entry_prefix + path, source, path, SizeOf(source))) {
            return Fail(cancelled() ? std::u16string(kCancelledMessage)
                                    : std::u16string(kAddFailedMessage) + path);
        }
    }
    progress.current_path = {};
    zip_result_ = zip::EndArchive(archive);
    if (zip_result_ != zip::Success) {
        return false;
    }
    if (cancelled()) {
        return Fail(kCancelledMessage);
    }
    if (!platform::ReplaceFile(temporary_archive.path(), archive_path)) {
        zip_result_ = zip::OpenFailed;
        return false;
    }
    temporary_archive.Keep();
    report();
    return true;
}

}  // namespace zelpack
