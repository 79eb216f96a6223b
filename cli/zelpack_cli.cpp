#include "cli/zelpack_cli.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <atomic>
#include <iostream>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "cli/exit_codes.h"
#include "cli/json_output.h"
#include "cli/pack_command.h"
#include "cli/walk_report.h"
#include "filelist/default_ticks.h"
#include "filelist/entry_texts.h"
#include "filelist/folder_walker.h"
#include "filelist/ignore_rules.h"
#include "packager/output_file.h"
#include "packager/plugin_packager.h"
#include "platform/file.h"
#include "platform/file_stream.h"
#include "platform/path.h"
#include "platform/process.h"
#include "platform/text.h"
#include "resources/version.h"

namespace zelpack {

namespace {

using platform::FromNative;
using platform::ToNative;

// `json`: one document at the end instead of a line per file.
// `ignore_file`: the folder's .zelpackignore is read.
int RunList(const std::string& folder, bool json, bool ignore_file, std::ostream& out,
            std::ostream& err) {
    FolderWalker walker;
    if (!walker.Start(FromNative(folder), u"*.*", ignore_file)) {
        if (walker.IgnoreFileFailed()) {
            err << ToNative(IgnoreFileUnreadableText(walker.IgnoreFilePath(), walker.Error()))
                << '\n';
        } else {
            err << "无法列出文件夹 " << folder << "："
                << ToNative(platform::ErrorText(walker.Error())) << '\n';
        }
        return kExitFailure;
    }
    for (const IgnoreWarning& warning : walker.IgnoreWarnings()) {
        err << ToNative(warning.text) << '\n';
    }
    UnfollowedLinkReport links;
    bool complete = true;
    nlohmann::ordered_json files = nlohmann::ordered_json::array();
    FileEntry entry;
    while (out && walker.Next(entry)) {
        const bool ticked = IsCheckedByDefault(entry);
        if (json) {
            nlohmann::ordered_json file{{"path", JsonPath(entry.cFileName)},
                                        {"size", platform::FileSizeOf(entry)},
                                        {"modified", JsonTime(entry)},
                                        {"ticked", ticked}};
            if (const Notice reason = DefaultUntick(entry); !reason.code.empty()) {
                // A reason without fields keeps its older form too: {"outside_link": true}.
                nlohmann::ordered_json object = NoticeJson(reason);
                if (reason.fields.empty()) {
                    object[reason.code] = true;
                }
                file["reason"] = std::move(object);
            }
            if (entry.error) {
                file["error"] = ToNative(platform::ErrorText(entry.error));
                file["error_name"] = platform::ErrorName(entry.error);
            }
            files.push_back(std::move(file));
        } else {
            out << (ticked ? "[x]" : "[ ]") << '\t'
                << ToNative(platform::PortablePath(entry.cFileName)) << '\t'
                << ToNative(SizeText(entry)) << '\t' << ToNative(DateText(entry));
            if (const std::u16string reason = DefaultUntickReason(entry); !reason.empty()) {
                out << '\t' << ToNative(reason);
            }
            out << '\n';
        }
        if (entry.error) {
            ReportUnreadable(entry, err);
            complete = false;
        }
        links.Update(walker, err);
    }
    if (json) {
        WriteJson({{"folder", folder}, {"files", std::move(files)}}, out);
    }
    return complete ? kExitSuccess : kExitFailure;
}

// Writes the descriptor `text` to `destination` as an archive is written: beside it under a
// temporary name, flushed, then moved over it. The failure's message; empty on success.
std::u16string SaveDescriptorFile(const std::u16string& destination, const std::string& text,
                                  const std::atomic<bool>& cancel) {
    platform::Result<OutputFile> output = OutputFile::Begin(destination);
    if (!output) {
        return u"无法写入描述文件 " + destination + u"：" + platform::ErrorText(output.error());
    }
    if (const platform::Status written = output->file().WriteAll(
            {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()});
        !written) {
        return u"无法写入描述文件 " + destination + u"：" + platform::ErrorText(written.error());
    }
    OutputFile::Step failed = OutputFile::Step::Move;
    if (const platform::Status committed = output->Commit(true, true, &cancel, failed);
        !committed) {
        if (failed == OutputFile::Step::Cancelled) {
            return u"检查已取消";
        }
        return u"无法写入描述文件 " + destination + u"：" + platform::ErrorText(committed.error());
    }
    // The move itself is made durable where the system allows; failing that changes nothing.
    static_cast<void>(output->FlushFolder());
    return {};
}

// Without `descriptor`, the descriptor goes to standard output, and no file is made for it.
int RunCheck(const std::string& config, const std::string& descriptor, std::ostream& out,
             std::ostream& err) {
    const std::u16string destination = FromNative(descriptor);
    // A descriptor, like an archive, only ever takes the place of a regular file.
    if (!destination.empty()) {
        if (const auto refused = RefuseDestination(destination, u"描述文件", true)) {
            err << ToNative(*refused) << '\n';
            return kExitFailure;
        }
    }
    std::atomic<bool> cancel{false};
    if (const platform::Status handled = platform::CancelOnInterrupt(cancel); !handled) {
        err << "警告：无法接管中断信号，Ctrl+C 会留下临时文件："
            << ToNative(platform::ErrorText(handled.error())) << '\n';
    }
    PluginPackager packager;
    std::string text;
    bool ok = packager.CheckConfig(FromNative(config), text, &cancel);
    std::u16string message;
    packager.GetErrorMessage(message);
    if (ok && destination.empty()) {
        out.write(text.data(), static_cast<std::streamsize>(text.size()));
    } else if (ok) {
        message = SaveDescriptorFile(destination, text, cancel);
        ok = message.empty();
    }
    const platform::Interruption interruption = platform::ReceivedInterruption();
    platform::RestoreInterruptHandling();
    if (!ok && cancel.load()) {
        err << "检查已取消\n";
        return platform::ExitStatusOf(interruption);
    }
    if (!ok) {
        err << ToNative(message) << '\n';
        return kExitFailure;
    }
    return kExitSuccess;
}

// Flushes standard output; a write that failed on the way fails the command, with the reason.
int FinishOutput(std::ostream& out, std::ostream& err, int code) {
    if (out.flush()) {
        return code;
    }
    err << "无法写入标准输出";
    if (const auto* file = dynamic_cast<const platform::FileOutputBuffer*>(out.rdbuf());
        file != nullptr && file->error()) {
        err << "：" << ToNative(platform::ErrorText(file->error()));
    }
    err << '\n';
    return code == kExitSuccess ? kExitFailure : code;
}

// The number of letters to insert, delete or change to make one name of the other.
std::size_t EditDistance(std::string_view a, std::string_view b) {
    std::vector<std::size_t> row(b.size() + 1);
    for (std::size_t j = 0; j <= b.size(); ++j) {
        row[j] = j;
    }
    for (std::size_t i = 1; i <= a.size(); ++i) {
        std::size_t diagonal = row[0];
        row[0] = i;
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const std::size_t above = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] != b[j - 1])});
            diagonal = above;
        }
    }
    return row[b.size()];
}

// The candidate `word` is nearest to, when it is near enough to be a slip: one letter in three.
std::optional<std::string> Nearest(std::string_view word, const std::vector<std::string>& names) {
    std::optional<std::string> nearest;
    std::size_t distance = 0;
    for (const std::string& name : names) {
        const std::size_t d = EditDistance(word, name);
        if (!nearest || d < distance) {
            nearest = name;
            distance = d;
        }
    }
    if (nearest && distance <= std::max<std::size_t>(1, word.size() / 3)) {
        return nearest;
    }
    return std::nullopt;
}

std::string Suggestion(std::string_view word, const std::vector<std::string>& names) {
    const std::optional<std::string> nearest = Nearest(word, names);
    return nearest ? "，是否想用 " + *nearest + "？" : "";
}

// The options `command` takes, as they are typed.
std::vector<std::string> OptionNames(const CLI::App& command) {
    std::vector<std::string> names;
    for (const CLI::Option* option : command.get_options()) {
        for (const std::string& name : option->get_lnames()) {
            names.push_back("--" + name);
        }
        for (const std::string& name : option->get_snames()) {
            names.push_back("-" + name);
        }
    }
    return names;
}

// What the parser could not place: an unknown option or command, with the nearest there is, or
// an argument too many.
std::string UnexpectedText(const CLI::App& app, const CLI::App* command,
                           const std::vector<std::string>& extras) {
    for (const std::string& extra : extras) {
        if (extra.size() > 1 && extra[0] == '-') {
            const std::string name = extra.substr(0, extra.find('='));
            return "未知的选项 " + name + Suggestion(name, OptionNames(command ? *command : app));
        }
    }
    if (command == nullptr) {
        std::vector<std::string> names;
        for (const CLI::App* sub : app.get_subcommands({})) {
            names.push_back(sub->get_name());
        }
        return "未知的命令 " + extras.front() + Suggestion(extras.front(), names);
    }
    return "多余的参数：" + extras.front();
}

// The option a parser's message begins with ("--jobs: ..."); empty when it names none.
std::string OptionOf(const CLI::ParseError& error) {
    const std::string_view what = error.what();
    const std::size_t colon = what.find(':');
    return what.starts_with('-') && colon != std::string_view::npos
               ? std::string(what.substr(0, colon))
               : std::string();
}

// A usage error in the user's words, and where the command's own help is.
int ReportUsageError(const CLI::App& app, const CLI::ParseError& error, std::ostream& err) {
    const std::vector<CLI::App*> used = app.get_subcommands();
    const CLI::App* command = used.empty() ? nullptr : used.front();
    const std::vector<std::string> extras = app.remaining(true);
    std::string message;
    if (!extras.empty()) {
        message = UnexpectedText(app, command, extras);
    } else if (command == nullptr) {
        message = "缺少命令：list、check 或 pack";
    } else if (const std::string option = OptionOf(error);
               !option.empty() && dynamic_cast<const CLI::ArgumentMismatch*>(&error)) {
        message = "选项 " + option + " 缺少值";
    } else if (!option.empty()) {
        message = "选项 " + option + " 的值无效";
    } else {
        message = "缺少参数";
        for (const CLI::Option* positional : command->get_options(
                 [](const CLI::Option* o) { return o->get_positional() && o->count() == 0; })) {
            message += " " + positional->get_name();
        }
    }
    err << message << '\n'
        << "运行 zelpack " << (command ? command->get_name() + " " : "") << "--help 查看用法。\n";
    return kExitUsage;
}

}  // namespace

int RunZelpack(int argc, const char* const* argv, std::ostream& out, std::ostream& err) {
    CLI::App app{"zelpack：把插件文件夹打包成可安装的 ZIP 压缩包", "zelpack"};
    // "/x" is a path here, never an option, on Windows too.
    app.allow_windows_style_options(false);
    app.set_help_flag("-h,--help", "显示帮助并退出");
    app.set_version_flag("--version", VersionText("zelpack"), "显示版本并退出");
    app.require_subcommand(1);

    std::string list_folder;
    bool list_json = false;
    CLI::App* list = app.add_subcommand("list", "列出插件文件夹中的文件及其默认勾选状态");
    list->add_option("FOLDER", list_folder, "插件文件夹")->required();
    list->add_flag("--json", list_json, "以 JSON 格式输出");
    bool list_no_ignore_file = false;
    list->add_flag("--no-ignore-file", list_no_ignore_file, "不读取插件文件夹中的 .zelpackignore");

    std::string check_config;
    std::string check_descriptor;
    CLI::App* check =
        app.add_subcommand("check", "检查插件配置文件并生成描述文件（默认输出到标准输出）");
    check->add_option("CONFIG", check_config, "插件配置文件")->required();
    check->add_option("-o,--output", check_descriptor, "描述文件的保存路径");

    PackCommand pack_command;
    CLI::App* pack = app.add_subcommand("pack", "把插件文件夹打包成 ZIP 压缩包");
    pack->add_option("FOLDER", pack_command.folder, "插件文件夹")->required();
    pack->add_option("-o,--output", pack_command.archive,
                     "压缩包的保存路径（默认为 FOLDER/文件夹名.zip）");
    pack->add_flag("--force", pack_command.force, "覆盖已存在的压缩包");
    pack->add_flag("--all", pack_command.all, "勾选所有文件（默认不勾选编译输出）");
    pack->add_flag("--no-ignore-file", pack_command.no_ignore_file,
                   "不读取插件文件夹中的 .zelpackignore");
    // Includes and excludes apply in the order given, so both feed one list.
    pack->add_option_function<std::string>(
            "--include",
            [&](const std::string& pattern) { pack_command.patterns.emplace_back(true, pattern); },
            "勾选匹配 PATTERN 的文件（可多次给出）")
        ->type_name("PATTERN")
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll)
        ->trigger_on_parse();
    pack->add_option_function<std::string>(
            "--exclude",
            [&](const std::string& pattern) { pack_command.patterns.emplace_back(false, pattern); },
            "取消勾选匹配 PATTERN 的文件（可多次给出）")
        ->type_name("PATTERN")
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll)
        ->trigger_on_parse();
    pack->add_flag("--dry-run", pack_command.dry_run,
                   "只列出配置文件、压缩包中的条目和不打包的文件，不写文件");
    pack->add_flag("--quiet", pack_command.quiet, "只显示警告和错误");
    pack->add_flag("--json", pack_command.json, "在标准输出上以 JSON 格式输出结果");
    pack->add_flag("--strict", pack_command.strict, "有警告时不打包，以失败结束");
    pack->add_option("-j,--jobs", pack_command.jobs, "同时压缩的线程数（默认每个处理器核心一个）")
        ->check(CLI::Range(1u, 256u));

    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp&) {
        out << app.help();
        return FinishOutput(out, err, kExitSuccess);
    } catch (const CLI::CallForVersion& version) {
        out << version.what() << '\n';
        return FinishOutput(out, err, kExitSuccess);
    } catch (const CLI::ParseError& error) {
        return ReportUsageError(app, error, err);
    }

    if (list->parsed()) {
        return FinishOutput(out, err,
                            RunList(list_folder, list_json, !list_no_ignore_file, out, err));
    }
    if (pack->parsed()) {
        // Progress belongs on a terminal, and only on the process's own error stream.
        const bool show_progress =
            &err == &std::cerr && platform::IsTerminal(platform::StandardStream::Error);
        return FinishOutput(out, err, RunPack(pack_command, out, err, show_progress));
    }
    return FinishOutput(out, err, RunCheck(check_config, check_descriptor, out, err));
}

}  // namespace zelpack
