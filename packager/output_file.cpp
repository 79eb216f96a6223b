#include "packager/output_file.h"

#include "platform/path.h"

namespace zelpack {

namespace {

std::u16string_view KindName(platform::FileKind kind) {
    switch (kind) {
        case platform::FileKind::Folder:
            return u"文件夹";
        case platform::FileKind::Pipe:
            return u"命名管道";
        case platform::FileKind::Socket:
            return u"套接字";
        case platform::FileKind::Device:
            return u"设备";
        default:
            return u"特殊文件";
    }
}

}  // namespace

std::optional<std::u16string> RefuseDestination(std::u16string_view destination,
                                                std::u16string_view what, bool replace) {
    // Nothing is ever written into what stands at the destination: it is only replaced by a
    // rename. So a device or a pipe there would be replaced by a regular file (as root even
    // /dev/null), and a folder cannot be; all are refused, with or without leave to replace.
    const platform::Result<platform::FileKind> kind = platform::QueryKind(destination);
    if (!kind) {
        return std::u16string(what) + u"路径无效：" + std::u16string(destination) + u"：" +
               platform::ErrorText(kind.error());
    }
    if (*kind == platform::FileKind::Missing) {
        return std::nullopt;
    }
    if (*kind != platform::FileKind::Regular) {
        return std::u16string(what) + u"路径不是普通文件：" + std::u16string(destination) + u"（" +
               std::u16string(KindName(*kind)) + u"）";
    }
    if (!replace) {
        return std::u16string(what) + u"已存在：" + std::u16string(destination) +
               u"（用 --force 覆盖）";
    }
    return std::nullopt;
}

OutputFile::~OutputFile() {
    if (temporary_.empty()) {
        return;
    }
    if (file_.IsOpen()) {
        static_cast<void>(file_.Close());
    }
    platform::RemoveTemporary(temporary_);
}

platform::Result<OutputFile> OutputFile::Begin(std::u16string_view destination) {
    OutputFile output;
    platform::Result<platform::File> file =
        platform::File::CreateBeside(destination, output.temporary_);
    if (!file) {
        return file.error();
    }
    output.destination_ = destination;
    output.file_ = std::move(*file);
    return output;
}

platform::Status OutputFile::Commit(bool replace, bool flush, const std::atomic<bool>* cancel,
                                    Step& failed) {
    // The bytes reach the disk before the name does: a power cut after the move must not leave
    // an empty or partial file in place of the old one.
    if (const platform::Status flushed = flush ? file_.Flush() : platform::Status(); !flushed) {
        failed = Step::Flush;
        return flushed;
    }
    if (const platform::Status closed = file_.Close(); !closed) {
        failed = Step::Close;
        return closed;
    }
    if (cancel != nullptr && cancel->load()) {
        failed = Step::Cancelled;
        return std::make_error_code(std::errc::operation_canceled);
    }
    const platform::Status moved = replace ? platform::ReplaceFile(temporary_, destination_)
                                           : platform::MoveNoReplace(temporary_, destination_);
    if (!moved) {
        failed = Step::Move;
        return moved;
    }
    temporary_.clear();
    return {};
}

platform::Status OutputFile::FlushFolder() const {
    return platform::FlushFolder(platform::FolderOf(destination_));
}

}  // namespace zelpack
