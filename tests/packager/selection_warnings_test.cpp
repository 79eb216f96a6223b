#include "packager/selection_warnings.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/path.h"
#include "platform/text.h"
#include "tests/support/temp_dir.h"

namespace zelpack {
namespace {

using testing::TempDir;

// Each warning's code and text, which scripts and users read apart.
std::vector<std::string> Utf8(const std::vector<Notice>& warnings) {
    std::vector<std::string> out;
    for (const Notice& warning : warnings) {
        out.push_back(warning.code + " " + platform::ToNative(warning.text));
    }
    return out;
}

// What the archive's user would trip over, each named once, in selection order; what merely
// resembles a problem is left alone.
TEST(SelectionWarningsTest, NameSecretsCaseCollisionsWindowsNamesAndLargeFiles) {
    TempDir dir;
    dir.Write("small.bin", "x");
    std::filesystem::resize_file(dir.Write("big.bin"), kLargeFileWarningSize + 1);
    std::filesystem::resize_file(dir.Write("limit.bin"), kLargeFileWarningSize);
    const std::u16string s = std::u16string(1, platform::kPathSeparator);
    const std::vector<std::u16string> selection{u"certs" + s + u"Server.PEM",
                                                u"keys" + s + u"id_rsa.pub",
                                                u"prod.env",
                                                u"main.js",
                                                u"keyboard.js",
                                                u"dist" + s + u"Demo.ZIP",
                                                u"zip.js",
                                                u"Docs" + s + u"Readme.txt",
                                                u"docs" + s + u"README.TXT",
                                                u"Ärger.txt",
                                                u"ärger.TXT",
                                                u"a:b.js",
                                                u"notes." + s + u"x.txt",
                                                u"con.txt",
                                                u"COM1",
                                                u"com10.txt",
                                                u"console.js",
                                                u"big.bin",
                                                u"limit.bin",
                                                u"small.bin"};
    EXPECT_EQ(Utf8(SelectionWarnings(testing::Wide(dir.path()), selection)),
              (std::vector<std::string>{
                  "secret 警告：certs/Server.PEM 看起来是密钥或凭据文件",
                  "secret 警告：keys/id_rsa.pub 看起来是密钥或凭据文件",
                  "secret 警告：prod.env 看起来是密钥或凭据文件",
                  "zip_archive 警告：dist/Demo.ZIP 是 ZIP 压缩包，将被打包进去",
                  "case_clash 警告：docs/README.TXT 与 Docs/Readme.txt 只差字母大小写，安装到 "
                  "Windows 时会互相覆盖",
                  "case_clash 警告：ärger.TXT 与 Ärger.txt 只差字母大小写，安装到 Windows "
                  "时会互相覆盖",
                  "windows_name 警告：a:b.js 的名字在 Windows 上无效（含有字符 :）",
                  "windows_name 警告：notes./x.txt 的名字在 Windows 上无效（以点或空格结尾）",
                  "windows_name 警告：con.txt 的名字在 Windows 上无效（是保留的设备名 con）",
                  "windows_name 警告：COM1 的名字在 Windows 上无效（是保留的设备名 COM1）",
                  "large_file 警告：big.bin 大于 50 MB（52428801 字节）",
              }));
}

}  // namespace
}  // namespace zelpack
