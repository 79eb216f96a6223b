// zelpack-zip: builds an archive with the archive writer from files, handles and folder entries,
// on any of its three targets, so that other ZIP readers can check what the writer produces.
#include <CLI/CLI.hpp>
#include <cstdint>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cli/exit_codes.h"
#include "platform/file.h"
#include "platform/file_stream.h"
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

zelpack::platform::Result<File> OpenOutput(const std::string& output) {
    return output == "-" ? File::StandardOutput() : File::CreateAlways(FromNative(output));
}

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

}  // namespace

int main(int argc_in, char** argv_in) {
    const zelpack::platform::StandardStreams standard_streams;
    zelpack::platform::Arguments arguments(argc_in, argv_in);
    const int argc = arguments.argc();
    char** argv = arguments.argv();
    CLI::App app{"zelpack-zip：用 zelpack 的归档写入器生成 ZIP 文件，供其他解压程序检验",
                 "zelpack-zip"};
    // "/x" is a path here, never an option, on Windows too.
    app.allow_windows_style_options(false);
    app.set_help_flag("-h,--help", "显示帮助并退出");
    std::string password;
    std::optional<std::uint32_t> memory;
    bool handle = false;
    std::optional<std::uint64_t> offset;
    std::string output;
    std::vector<std::string> entryTexts;
    app.add_option("--password", password, "加密用的密码（空则不加密）");
    auto* memoryOption = app.add_option("--memory", memory, "写入这么多字节的内存，再存到 OUTPUT")
                             ->check(CLI::Range(1u, 0xFFFFFFFFu));
    auto* handleOption =
        app.add_flag("--handle", handle, "自己打开 OUTPUT，以已打开的文件句柄写入");
    app.add_option("--offset", offset, "先写入 N 个零字节（须与 --handle 同用）")
        ->needs(handleOption);
    memoryOption->excludes(handleOption);
    app.add_option("OUTPUT", output, "归档文件的路径，- 为标准输出")->required();
    app.add_option("ENTRY", entryTexts,
                   "NAME=PATH（按名打开的文件）、NAME=@PATH（以句柄传入的文件，@- 为标准输入）"
                   "或 NAME/（文件夹条目）");
    if (const std::optional<int> exit = zelpack::ParseToolArguments(app, argc, argv)) {
        return *exit;
    }

    std::vector<EntrySpec> entries;
    for (const std::string& text : entryTexts) {
        std::optional<EntrySpec> entry = ParseEntry(text);
        if (!entry) {
            std::cerr << "zelpack-zip：无法理解条目 “" << text
                      << "”，应为 NAME=PATH、NAME=@PATH 或 NAME/\n";
            return zelpack::kExitUsage;
        }
        entries.push_back(std::move(*entry));
    }

    // A file target is opened here only when the archive goes to a handle (stdout always does).
    std::optional<File> target;
    if ((handle || output == "-") && !memory) {
        zelpack::platform::Result<File> opened = OpenOutput(output);
        if (!opened) {
            return Fail("无法创建 “" + output + "”", zip::OpenFailed, opened.error());
        }
        target = std::move(*opened);
        if (offset) {
            const std::vector<std::uint8_t> zeros(*offset, 0);
            if (const zelpack::platform::Status written = target->WriteAll(zeros); !written) {
                return Fail("无法写入 “" + output + "”", zip::WriteFailed, written.error());
            }
        }
    }

    std::unique_ptr<zip::ArchiveHandle> archive;
    std::error_code cause;
    if (memory) {
        archive = zip::BeginArchiveInMemory(nullptr, *memory, password);
    } else if (target) {
        archive = zip::BeginArchiveToHandle(*target, password);
    } else {
        archive = zip::BeginArchiveToFile(FromNative(output), password, &cause);
    }
    if (!archive) {
        return Fail("无法开始归档 “" + output + "”", zip::GetMostRecentResult(), cause);
    }

    for (const EntrySpec& entry : entries) {
        const zip::ZipResult result = AddEntry(archive.get(), entry, cause);
        if (result != zip::Success) {
            if (!cause) {
                cause = zip::GetSystemError(archive.get());
            }
            zip::EndArchive(archive);
            return Fail("添加条目 “" + entry.text + "” 失败", result, cause);
        }
    }

    if (memory) {
        const std::uint8_t* base = nullptr;
        std::uint32_t length = 0;
        const zip::ZipResult result = zip::GetArchiveMemory(archive.get(), base, length);
        if (result != zip::Success) {
            zip::EndArchive(archive);
            return Fail("无法取得内存中的归档", result);
        }
        zelpack::platform::Result<File> file = OpenOutput(output);
        zelpack::platform::Status saved = file ? file->WriteAll({base, length}) : file.error();
        if (saved) {
            saved = file->Close();
        }
        zip::EndArchive(archive);
        if (!saved) {
            return Fail("无法保存到 “" + output + "”", zip::WriteFailed, saved.error());
        }
        return zelpack::kExitSuccess;
    }

    const zip::ZipResult result = zip::EndArchive(archive, &cause);
    if (result != zip::Success) {
        return Fail("结束归档失败", result, cause);
    }
    if (target) {
        if (const zelpack::platform::Status closed = target->Close(); !closed) {
            return Fail("无法写入 “" + output + "”", zip::WriteFailed, closed.error());
        }
    }
    return zelpack::kExitSuccess;
}
