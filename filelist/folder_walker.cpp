#include "filelist/folder_walker.h"

#include <vector>

#include "platform/path.h"

namespace zelpack {

bool FolderWalker::Start(std::u16string_view folder, std::u16string_view pattern,
                         bool ignore_file) {
    Close();
    root_.assign(folder);
    root_ += platform::kPathSeparator;
    pattern_.assign(pattern);
    real_root_ = platform::RealPath(folder);
    archive_name_.clear();
    if (const platform::Result<std::u16string> absolute = platform::AbsolutePath(folder)) {
        const std::u16string_view name = platform::LastComponent(*absolute);
        if (!name.empty()) {
            archive_name_ = std::u16string(name) + u".zip";
        }
    }
    unfollowed_links_.clear();
    rules_ = {};
    ignore_warnings_.clear();
    ignore_file_failed_ = false;
    const platform::Status opened = OpenListing(u"", false, std::nullopt);
    error_ = opened.error();
    return opened && (!ignore_file || ReadIgnoreFile());
}

bool FolderWalker::ReadIgnoreFile() {
    platform::Result<std::string> bytes =
        real_root_ ? zelpack::ReadIgnoreFile(root_, *real_root_) : real_root_.error();
    if (!bytes) {
        Close();
        error_ = bytes.error();
        ignore_file_failed_ = true;
        return false;
    }
    rules_ = IgnoreRules::Parse(*bytes, ignore_warnings_);
    return true;
}

std::optional<IgnoreMatch> FolderWalker::IgnoredAs(const std::u16string& relative,
                                                   bool folder) const {
    if (ignored_.back() || rules_.empty()) {
        return ignored_.back();
    }
    return rules_.Match(platform::PortablePath(relative), folder);
}

void FolderWalker::Close() {
    while (!handles_.empty()) {
        platform::FindClose(handles_.back());
        handles_.pop_back();
    }
    prefixes_.clear();
    linked_.clear();
    ignored_.clear();
    current_ = nullptr;
    record_ = {};
}

platform::Status FolderWalker::OpenListing(const std::u16string& prefix, bool linked,
                                           std::optional<IgnoreMatch> ignored) {
    // The folders already open are the enclosing ones: a link back to any of them is a cycle.
    std::vector<platform::FolderId> enclosing;
    enclosing.reserve(handles_.size());
    for (const auto& handle : handles_) {
        enclosing.push_back(handle.Folder());
    }
    // A failed open must leave the record alone: Next reports an unlistable folder from it.
    platform::FindData first;
    platform::Result<platform::FindHandle> handle =
        platform::FindFirstFile(root_ + prefix + pattern_, first, enclosing);
    if (!handle) {
        current_ = nullptr;
        return handle.error();
    }
    record_ = std::move(first);
    handles_.push_back(std::move(*handle));
    prefixes_.push_back(prefix);
    linked_.push_back(linked);
    ignored_.push_back(std::move(ignored));
    current_ = &handles_.back();
    return {};
}

void FolderWalker::Advance() {
    while (!platform::FindNextFile(*current_, record_)) {
        // This level is done; its parent still stands on the sub-folder just finished.
        platform::FindClose(*current_);
        handles_.pop_back();
        prefixes_.pop_back();
        linked_.pop_back();
        ignored_.pop_back();
        if (handles_.empty()) {
            current_ = nullptr;
            return;
        }
        current_ = &handles_.back();
    }
}

platform::Result<bool> FolderWalker::LeadsInside(const std::u16string& relative) const {
    if (!real_root_) {
        return real_root_.error();
    }
    const platform::Result<std::u16string> target = platform::RealPath(root_ + relative);
    if (!target) {
        return target.error();
    }
    return platform::IsWithin(*target, *real_root_);
}

bool FolderWalker::Next(FileEntry& entry) {
    while (current_ != nullptr) {
        if (record_.cFileName.starts_with(u'.')) {
            Advance();
            continue;
        }
        const std::u16string relative = prefixes_.back() + record_.cFileName;
        std::error_code error = current_->RecordError();
        bool outside = false;
        const bool link = (record_.dwFileAttributes & platform::kAttributeReparsePoint) != 0;
        const bool via_link = link || linked_.back();
        if (!error && link) {
            const platform::Result<bool> inside = LeadsInside(relative);
            error = inside.error();
            outside = inside && !*inside;
        }
        const bool folder = (record_.dwFileAttributes & platform::kAttributeDirectory) != 0;
        std::optional<IgnoreMatch> ignored = IgnoredAs(relative, folder);
        if (!error && folder) {
            if (outside) {
                unfollowed_links_.push_back(relative);
                Advance();
                continue;
            }
            const platform::Status opened =
                OpenListing(relative + platform::kPathSeparator, via_link, ignored);
            if (opened) {
                // Steps over the new listing's own "." entry; ".." is skipped as a dot name.
                Advance();
                continue;
            }
            // Not listable: report the folder itself, from the parent's listing.
            current_ = &handles_.back();
            error = opened.error();
        }
        static_cast<platform::FindData&>(entry) = record_;
        entry.cFileName = relative;
        entry.error = error;
        entry.outside_link = outside;
        entry.via_link = via_link;
        entry.ignored = std::move(ignored);
        entry.previous_archive = prefixes_.back().empty() && !archive_name_.empty() &&
                                 record_.cFileName == archive_name_ &&
                                 (record_.dwFileAttributes & platform::kAttributeDirectory) == 0;
        Advance();
        return true;
    }
    return false;
}

}  // namespace zelpack
