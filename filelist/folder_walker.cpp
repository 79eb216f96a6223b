#include "filelist/folder_walker.h"

#include <vector>

#include "platform/text.h"

namespace zelpack {

bool FolderWalker::Start(std::u16string_view folder, std::u16string_view pattern) {
    Close();
    root_.assign(folder);
    root_ += platform::kPathSeparator;
    pattern_.assign(pattern);
    return OpenListing(u"");
}

void FolderWalker::Close() {
    while (!handles_.empty()) {
        platform::FindClose(handles_.back());
        handles_.pop_back();
    }
    prefixes_.clear();
    current_ = nullptr;
    record_ = {};
}

bool FolderWalker::OpenListing(const std::u16string& prefix) {
    // The folders already open are the enclosing ones: a link back to any of them is a cycle.
    std::vector<platform::FolderId> enclosing;
    enclosing.reserve(handles_.size());
    for (const auto& handle : handles_) {
        enclosing.push_back(handle.Folder());
    }
    // A failed open must leave the record alone: Next reports an unlistable folder from it.
    platform::FindData first;
    auto handle = platform::FindFirstFile(root_ + prefix + pattern_, first, enclosing);
    if (!handle.IsValid()) {
        current_ = nullptr;
        return false;
    }
    record_ = std::move(first);
    handles_.push_back(std::move(handle));
    prefixes_.push_back(prefix);
    current_ = &handles_.back();
    return true;
}

void FolderWalker::Advance() {
    while (!platform::FindNextFile(*current_, record_)) {
        // This level is done; its parent still stands on the sub-folder just finished.
        platform::FindClose(*current_);
        handles_.pop_back();
        prefixes_.pop_back();
        if (handles_.empty()) {
            current_ = nullptr;
            return;
        }
        current_ = &handles_.back();
    }
}

bool FolderWalker::Next(FileEntry& entry) {
    while (current_ != nullptr) {
        if (record_.cFileName.starts_with(u'.')) {
            Advance();
            continue;
        }
        if (record_.dwFileAttributes & platform::kAttributeDirectory) {
            std::u16string prefix = prefixes_.back() + record_.cFileName + platform::kPathSeparator;
            if (OpenListing(prefix)) {
                // Steps over the new listing's own "." entry; ".." is skipped as a dot name.
                Advance();
                continue;
            }
            // Not listable: report the folder itself, from the parent's listing.
            current_ = &handles_.back();
        }
        entry = record_;
        entry.cFileName = prefixes_.back() + record_.cFileName;
        Advance();
        return true;
    }
    return false;
}

}  // namespace zelpack
