// zelpack-zip: builds an archive with the archive writer from files, handles and folder entries,
// on any of its three targets, so that other ZIP readers can check what the writer produces.
// An archive file is written under a temporary name beside OUTPUT and renamed only once complete,
// so that a failure never leaves a broken archive there.
#include <CLI/CLI.hpp>
#include <algorithm>
#include <cstdint>
#include <iostream>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "cli/exit_codes.h"
#include "platform/file.h"
#include "platform/file_stream.h"
#include "platform/path.h"
#include "platform/process.h"
#include "platform/text.h"
#include "zip/archive.h"

namespace {

namespace zip = zelpack::zip;
using zelpack::platform::File;
using zelpack::platform::FromNative;

struct EntrySpec {
    enum class Kind { File, Handle, Folder } kind;
    std::string text;  // as given, for messages
    std::u16string name;
    std::u16string path;  // empty for a folder; u"-" with Handle: standard input
};

std::optional<EntrySpec> ParseEntry(const std::string& text) {
    const std::size_t equals = text.find('=');
    if (equals == std::string::npos) {
        if (text.size() > 1 && text.back() == '/') {
            return EntrySpec{EntrySpec::Kind::Folder, text, FromNative(text), {}};
        }
        return std::nullopt;
    }
    std::string name = text.substr(0, equals);
    std::string path = text.substr(equals + 1);
    if (name.empty() || path.empty()) {
        return std::nullopt;
    }
    EntrySpec::Kind kind = EntrySpec::Kind::File;
    if (path[0] == '@') {
        kind = EntrySpec::Kind::Handle;
        path.erase(0, 1);
        if (path.empty()) {
            return std::nullopt;
        }
    }
    return EntrySpec{kind, text, FromNative(name), FromNative(path)};
}

std::string Describe(zip::ZipResult code) {
    char text[128];
    zip::DescribeZipResult(code, text, sizeof text);
    return text;
}

// The writer's message, then the system's reason when there is one.
int Fail(const std::string& what, zip::ZipResult code, const std::error_code& cause = {}) {
    std::cerr << "zelpack-zip：" << what << "：" << Describe(code);
    if (cause) {
        std::cerr << "（" << zelpack::platform::ToNative(zelpack::platform::ErrorText(cause))
                  << "）";
    }
    std::cerr << '\n';
    return zelpack::kExitFailure;
}

// The message of a failure the format's limits caused, naming the limit; the writer's own
// otherwise.
int FailEntry(const std::string& what, zip::ArchiveHandle* archive, zip::ZipResult code,
              const std::error_code& cause) {
    const zip::Limit limit = zip::GetExceededLimit(archive);
    if (limit == zip::Limit::None) {
        return Fail(what, code, cause);
    }
    std::cerr << "zelpack-zip：" << what << "："
              << zelpack::platform::ToNative(zip::DescribeLimit(archive, limit)) << '\n';
    return zelpack::kExitFailure;
}

// The archive's file until it is complete: a new file beside the destination, removed unless it
// was moved into place.
class StagedOutput {
  public:
    explicit StagedOutput(std::u16string destination) : destination_(std::move(destination)) {}
    StagedOutput(const StagedOutput&) = delete;
    StagedOutput& operator=(const StagedOutput&) = delete;
    ~StagedOutput() {
        if (file_.IsOpen()) {
            static_cast<void>(file_.Close());
        }
        if (!temporary_.empty()) {
            zelpack::platform::RemoveTemporary(temporary_);
        }
    }

    zelpack::platform::Status Create() {
        zelpack::platform::Result<File> file = File::CreateBeside(destination_, temporary_);
        if (!file) {
            return file.error();
        }
        file_ = std::move(*file);
        return {};
    }
    File& file() { return file_; }
    const std::u16string& path() const { return temporary_; }

    zelpack::platform::Status Commit() {
        if (file_.IsOpen()) {
            if (const zelpack::platform::Status closed = file_.Close(); !closed) {
                return closed;
            }
        }
        if (const zelpack::platform::Status moved =
                zelpack::platform::ReplaceFile(temporary_, destination_);
            !moved) {
            return moved;
        }
        temporary_.clear();
        return {};
    }

  private:
    std::u16string destination_;
    std::u16string temporary_;
    File file_;
};

// `cause` receives the system's reason when the tool itself could not open the entry's file.
zip::ZipResult AddEntry(zip::ArchiveHandle* archive, const EntrySpec& entry,
                        std::error_code& cause) {
    switch (entry.kind) {
        case EntrySpec::Kind::Folder:
            return zip::AddFolderEntry(archive, entry.name);
        case EntrySpec::Kind::File:
            return zip::AddEntryFromFile(archive, entry.name, entry.path);
        case EntrySpec::Kind::Handle: {
            zelpack::platform::Result<File> file =
                entry.path == u"-" ? File::StandardInput() : File::OpenStream(entry.path);
            if (!file) {
                cause = file.error();
                return zip::OpenFailed;
            }
            // The length a caller would know; a stream's is not known.
            std::uint32_t length = 0;
            if (entry.path != u"-") {
                const zelpack::platform::Result<std::uint64_t> size = file->Size();
                length = size && *size < 0xFFFFFFFF ? static_cast<std::uint32_t>(*size) : 0;
            }
            return zip::AddEntryFromHandle(archive, entry.name, *file, length);
        }
    }
    return zip::BadArguments;
}

// What the command line asks for.
struct ToolOptions {
    std::string password;
    std::optional<std::uint32_t> memory;
    bool handle = false;
    std::optional<std::uint32_t> offset;
    std::string output;
    std::vector<EntrySpec> entries;
};

// The options, or the exit code when parsing ended the run (help, a usage error).
std::optional<int> ParseOptions(int argc, char** argv, ToolOptions& options) {
    CLI::App app{"zelpack-zip：用 zelpack 的归档写入器生成 ZIP 文件，供其他解压程序检验",
                 "zelpack-zip"};
    // "/x" is a path here, never an option, on Windows too.
    app.allow_windows_style_options(false);
    app.set_help_flag("-h,--help", "显示帮助并退出");
    std::vector<std::string> entry_texts;
    app.add_option("--password", options.password, "加密用的密码（空则不加密）");
    auto* memory_option =
        app.add_option("--memory", options.memory, "写入这么多字节的内存，再存到 OUTPUT")
            ->check(CLI::Range(1u, 0xFFFFFFFFu));
    auto* handle_option =
        app.add_flag("--handle", options.handle, "自己打开 OUTPUT，以已打开的文件句柄写入");
    // Every offset in the archive includes the zeros, and must stay below 0xFFFFFFFF.
    app.add_option("--offset", options.offset,
                   "先写入 N 个零字节（须与 --handle 同用，最多 4294967294）")
        ->check(CLI::Range(0u, 0xFFFFFFFEu))
        ->needs(handle_option);
    memory_option->excludes(handle_option);
    app.add_option("OUTPUT", options.output, "归档文件的路径，- 为标准输出")->required();
    app.add_option("ENTRY", entry_texts,
                   "NAME=PATH（按名打开的文件）、NAME=@PATH（以句柄传入的文件，@- 为标准输入）"
                   "或 NAME/（文件夹条目）");
    if (const std::optional<int> exit = zelpack::ParseToolArguments(app, argc, argv)) {
        return exit;
    }
    for (const std::string& text : entry_texts) {
        std::optional<EntrySpec> entry = ParseEntry(text);
        if (!entry) {
            std::cerr << "zelpack-zip：无法理解条目 “" << text
                      << "”，应为 NAME=PATH、NAME=@PATH 或 NAME/\n";
            return zelpack::kExitUsage;
        }
        options.entries.push_back(std::move(*entry));
    }
    return std::nullopt;
}

// Where the archive goes: standard output is written as it comes; any other OUTPUT is staged.
// A file target is opened here only when the archive goes to a handle (stdout always does).
class ToolTarget {
  public:
    explicit ToolTarget(const ToolOptions& options)
        : options_(options), staged_(FromNative(options.output)) {}

    // Creates the target; the exit code on failure.
    std::optional<int> Open() {
        if (!ToStandardOutput()) {
            if (const zelpack::platform::Status created = staged_.Create(); !created) {
                return Fail("无法创建 “" + options_.output + "”", zip::OpenFailed, created.error());
            }
        }
        if ((options_.handle || ToStandardOutput()) && !options_.memory) {
            return OpenHandle();
        }
        if (!ToStandardOutput() && !options_.memory) {
            // The writer creates its file by name: the staged one, opened again.
            if (const zelpack::platform::Status closed = staged_.file().Close(); !closed) {
                return Fail("无法创建 “" + options_.output + "”", zip::OpenFailed, closed.error());
            }
        }
        return std::nullopt;
    }

    std::unique_ptr<zip::ArchiveHandle> BeginArchive(std::error_code& cause) {
        if (options_.memory) {
            return zip::BeginArchiveInMemory(nullptr, *options_.memory, options_.password);
        }
        if (target_ != nullptr) {
            return zip::BeginArchiveToHandle(*target_, options_.password);
        }
        return zip::BeginArchiveToFile(staged_.path(), options_.password, &cause);
    }

    // Writes an archive made in memory to OUTPUT.
    zelpack::platform::Status SaveMemory(std::span<const std::uint8_t> bytes) {
        zelpack::platform::Result<File> stdout_file = File::StandardOutput();
        File* file = ToStandardOutput() ? (stdout_file ? &*stdout_file : nullptr) : &staged_.file();
        zelpack::platform::Status saved =
            file != nullptr ? file->WriteAll(bytes) : stdout_file.error();
        if (saved) {
            saved = ToStandardOutput() ? file->Close() : staged_.Commit();
        }
        return saved;
    }

    // Puts a finished archive in place.
    zelpack::platform::Status Commit() {
        return ToStandardOutput() ? standard_output_->Close() : staged_.Commit();
    }

  private:
    bool ToStandardOutput() const { return options_.output == "-"; }

    std::optional<int> OpenHandle() {
        if (ToStandardOutput()) {
            zelpack::platform::Result<File> opened = File::StandardOutput();
            if (!opened) {
                return Fail("无法创建 “" + options_.output + "”", zip::OpenFailed, opened.error());
            }
            standard_output_ = std::move(*opened);
            target_ = &*standard_output_;
        } else {
            target_ = &staged_.file();
        }
        // Written a block at a time: the zeros are never held whole.
        const std::uint32_t offset = options_.offset.value_or(0);
        const std::vector<std::uint8_t> zeros(std::min<std::uint32_t>(offset, 1 << 16));
        for (std::uint32_t left = offset; left != 0;) {
            const std::uint32_t count = std::min<std::uint32_t>(left, zeros.size());
            if (const zelpack::platform::Status written =
                    target_->WriteAll(std::span(zeros).first(count));
                !written) {
                return Fail("无法写入 “" + options_.output + "”", zip::WriteFailed,
                            written.error());
            }
            left -= count;
        }
        return std::nullopt;
    }

    const ToolOptions& options_;
    StagedOutput staged_;
    std::optional<File> standard_output_;
    File* target_ = nullptr;
};

// Adds every entry, then finishes the archive and puts it in place.
int WriteArchive(const ToolOptions& options, ToolTarget& target,
                 std::unique_ptr<zip::ArchiveHandle>& archive, std::error_code& cause) {
    for (const EntrySpec& entry : options.entries) {
        const zip::ZipResult result = AddEntry(archive.get(), entry, cause);
        if (result != zip::Success) {
            if (!cause) {
                cause = zip::GetSystemError(archive.get());
            }
            const int failed =
                FailEntry("添加条目 “" + entry.text + "” 失败", archive.get(), result, cause);
            zip::EndArchive(archive);
            return failed;
        }
    }
    if (options.memory) {
        const std::uint8_t* base = nullptr;
        std::uint32_t length = 0;
        const zip::ZipResult result = zip::GetArchiveMemory(archive.get(), base, length);
        if (result != zip::Success) {
            zip::EndArchive(archive);
            return Fail("无法取得内存中的归档", result);
        }
        const zelpack::platform::Status saved = target.SaveMemory({base, length});
        zip::EndArchive(archive);
        if (!saved) {
            return Fail("无法保存到 “" + options.output + "”", zip::WriteFailed, saved.error());
        }
        return zelpack::kExitSuccess;
    }
    const zip::ZipResult result = zip::EndArchive(archive, &cause);
    if (result != zip::Success) {
        return Fail("结束归档失败", result, cause);
    }
    if (const zelpack::platform::Status closed = target.Commit(); !closed) {
        return Fail("无法写入 “" + options.output + "”", zip::WriteFailed, closed.error());
    }
    return zelpack::kExitSuccess;
}

}  // namespace

int main(int argc_in, char** argv_in) {
    const zelpack::platform::StandardStreams standard_streams;
    zelpack::platform::Arguments arguments(argc_in, argv_in);
    ToolOptions options;
    if (const std::optional<int> exit = ParseOptions(arguments.argc(), arguments.argv(), options)) {
        return *exit;
    }
    ToolTarget target(options);
    if (const std::optional<int> failed = target.Open()) {
        return *failed;
    }
    std::error_code cause;
    std::unique_ptr<zip::ArchiveHandle> archive = target.BeginArchive(cause);
    if (!archive) {
        return Fail("无法开始归档 “" + options.output + "”", zip::GetMostRecentResult(), cause);
    }
    return WriteArchive(options, target, archive, cause);
}
