#include "cli/zelpack_cli.h"

#include <CLI/CLI.hpp>
#include <iostream>
#include <ostream>
#include <string>

#include "cli/exit_codes.h"
#include "cli/pack_command.h"
#include "filelist/default_ticks.h"
#include "filelist/entry_texts.h"
#include "filelist/folder_walker.h"
#include "packager/plugin_packager.h"
#include "platform/file.h"
#include "platform/process.h"
#include "platform/text.h"

namespace zelpack {

namespace {

using platform::FromNative;
using platform::ToNative;

int RunList(const std::string& folder, std::ostream& out) {
    FolderWalker walker;
    walker.Start(FromNative(folder), u"*.*");
    FileEntry entry;
    while (walker.Next(entry)) {
        out << (IsCheckedByDefault(entry.cFileName) ? "[x]" : "[ ]") << '\t'
            << ToNative(entry.cFileName) << '\t' << ToNative(SizeText(entry)) << '\t'
            << ToNative(DateText(entry)) << '\n';
    }
    return 0;
}

int RunCheck(const std::string& config, const std::string& descriptor, std::ostream& out,
             std::ostream& err) {
    std::u16string descriptor_path = FromNative(descriptor);
    const bool to_temporary = descriptor_path.empty();
    if (to_temporary) {
        if (!platform::File::CreateTemporary(platform::TemporaryFolder(), u"zelpack-", u".xml",
                                             descriptor_path)) {
            err << "无法创建临时文件：" << ToNative(platform::TemporaryFolder()) << '\n';
            return kExitFailure;
        }
    }
    PluginPackager packager;
    const bool ok = packager.CheckConfigAndWriteDescriptor(FromNative(config), descriptor_path);
    if (ok && to_temporary) {
        auto content = platform::ReadWholeFile(descriptor_path);
        if (content) {
            out.write(reinterpret_cast<const char*>(content->data()),
                      static_cast<std::streamsize>(content->size()));
        }
    }
    if (to_temporary) {
        platform::DeleteFile(descriptor_path);
    }
    if (!ok) {
        std::u16string message;
        if (!packager.GetErrorMessage(message)) {
            message = u"写入描述文件失败：" + (to_temporary ? u"临时文件" : descriptor_path);
        }
        err << ToNative(message) << '\n';
        return kExitFailure;
    }
    return 0;
}

}  // namespace

int RunZelpack(int argc, const char* const* argv, std::ostream& out, std::ostream& err) {
    CLI::App app{"zelpack：把插件文件夹打包成可安装的 ZIP 压缩包", "zelpack"};
    app.set_help_flag("-h,--help", "显示帮助并退出");
    app.set_version_flag("--version", "zelpack " ZELPACK_VERSION, "显示版本并退出");
    app.require_subcommand(1);

    std::string list_folder;
    CLI::App* list = app.add_subcommand("list", "列出插件文件夹中的文件及其默认勾选状态");
    list->add_option("FOLDER", list_folder, "插件文件夹")->required();

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
    pack->add_flag("--dry-run", pack_command.dry_run, "只列出配置文件和压缩包中的条目，不写文件");
    pack->add_flag("--quiet", pack_command.quiet, "不显示进度");

    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp&) {
        out << app.help();
        return 0;
    } catch (const CLI::CallForVersion& version) {
        out << version.what() << '\n';
        return 0;
    } catch (const CLI::ParseError& error) {
        err << error.what() << '\n' << "运行 zelpack --help 查看用法。\n";
        return kExitUsage;
    }

    if (list->parsed()) {
        return RunList(list_folder, out);
    }
    if (pack->parsed()) {
        // Progress belongs on a terminal, and only on the process's own error stream.
        const bool show_progress =
            &err == &std::cerr && platform::IsTerminal(platform::StandardStream::Error);
        return RunPack(pack_command, out, err, show_progress);
    }
    return RunCheck(check_config, check_descriptor, out, err);
}

}  // namespace zelpack
