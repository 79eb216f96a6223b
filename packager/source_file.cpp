#include "packager/source_file.h"

#include "platform/text.h"

namespace zelpack {

namespace {

std::u16string SizeChange(std::uint64_t from, std::uint64_t to) {
    return u"大小从 " + platform::DecimalText(from) + u" 字节变为 " + platform::DecimalText(to) +
           u" 字节";
}

}  // namespace

std::optional<std::u16string> Difference(const platform::FindData& listed,
                                         const platform::FindData& now) {
    if (listed.id.Known() && now.id.Known() && listed.id != now.id) {
        return u"换成了另一个文件";
    }
    if (platform::FileSizeOf(listed) != platform::FileSizeOf(now)) {
        return SizeChange(platform::FileSizeOf(listed), platform::FileSizeOf(now));
    }
    if (listed.ftLastWriteTime != now.ftLastWriteTime) {
        return u"修改时间变了";
    }
    return std::nullopt;
}

std::u16string ChangedMessage(std::u16string_view path, std::u16string_view what) {
    return std::u16string(path) + u" 在打包过程中发生了变化（" + std::u16string(what) + u"）";
}

platform::Result<platform::File> OpenSelected(const platform::Subtree& tree, const FileEntry& entry,
                                              LinkUse links, const platform::FileId& archive,
                                              std::u16string& change) {
    change.clear();
    const std::u16string_view path = entry.cFileName;
    platform::Result<platform::File> file = tree.OpenFile(
        path, links == LinkUse::Allowed ? platform::LinkRule::Follow : platform::LinkRule::Refuse);
    const bool link_met = !file && file.error() == std::errc::too_many_symbolic_link_levels;
    if (link_met && links == LinkUse::Unknown) {
        file = tree.OpenFile(path, platform::LinkRule::Follow);
    } else if (link_met) {
        change = u"换成了链接";
        return file.error();
    }
    if (!file) {
        return file.error();
    }
    // An entry the walk could not read whole has nothing to compare with; opening it fails
    // (a folder) or it is read as it is now.
    if (entry.error) {
        return file;
    }
    const platform::Result<platform::FindData> now = platform::QueryOpenFile(*file);
    if (!now) {
        return now.error();
    }
    if (archive.Known() && now->id == archive) {
        change = u"是正被替换的压缩包本身";
        return std::make_error_code(std::errc::file_exists);
    }
    if (std::optional<std::u16string> what = Difference(entry, *now)) {
        change = std::move(*what);
        return std::make_error_code(std::errc::file_exists);
    }
    return file;
}

std::optional<std::u16string> ChangeWhileRead(const platform::File& file, const FileEntry& entry,
                                              std::uint64_t bytes_read) {
    if (entry.error) {
        return std::nullopt;
    }
    if (bytes_read != platform::FileSizeOf(entry)) {
        return SizeChange(platform::FileSizeOf(entry), bytes_read);
    }
    // Written to in place while it was read: the same size, another time.
    const platform::Result<platform::FindData> now = platform::QueryOpenFile(file);
    if (!now) {
        return std::nullopt;
    }
    return Difference(entry, *now);
}

}  // namespace zelpack
