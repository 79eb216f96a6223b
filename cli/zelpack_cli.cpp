#include "cli/zelpack_cli.h"

#include <CLI/CLI.hpp>
#include <ostream>
#include <string>

#include "filelist/default_ticks.h"
#include "filelist/entry_texts.h"
#include "filelist/folder_walker.h"
#include "packager/plugin_packager.h"
#include "platform/file.h"
#include "platform/text.h"

namespace zelpack {

namespace {

using platform::FromNative;
using platform::ToNative;

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

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
    return RunCheck(check_config, check_descriptor, out, err);
}

}  // namespace zelpack
