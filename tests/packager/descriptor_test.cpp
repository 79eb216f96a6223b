#include <gtest/gtest.h>
#include <libxml/encoding.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "packager/plugin_packager.h"
#include "packager/xml_encodings.h"
#include "platform/fault_injection.h"
#include "platform/text.h"
#include "tests/support/scoped_fault.h"
#include "tests/support/temp_dir.h"

namespace zelpack {
namespace {

namespace fs = std::filesystem;
using testing::ReadText;
using testing::TempDir;
using testing::Wide;

const std::string kDeclaration = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n";
const std::string kMinimal =
    "<vemplugin><property id='i' version='1' type='t' name='n'/></vemplugin>";
const std::string kMinimalDescriptor =
    kDeclaration +
    "<vemplugin><property id=\"i\" version=\"1\" type=\"t\" name=\"n\"/></vemplugin>\n";

class DescriptorTest : public ::testing::Test {
  protected:
    // Runs the check on `config` text; the descriptor goes to out.xml in the scratch folder.
    bool Check(const std::string& config) {
        dir_.Write("com.example.demo.xml", config);
        return packager_.CheckConfigAndWriteDescriptor(Wide(dir_ / "com.example.demo.xml"),
                                                       Wide(descriptor()));
    }
    fs::path descriptor() const { return dir_ / "out.xml"; }
    std::u16string Message() const {
        std::u16string message;
        packager_.GetErrorMessage(message);
        return message;
    }
    // Checks that a failure left no descriptor and gave `message`.
    void ExpectFailure(const std::string& config, std::u16string_view message) {
        EXPECT_FALSE(Check(config));
        EXPECT_EQ(Message(), message);
        EXPECT_FALSE(fs::exists(descriptor()));
    }

    TempDir dir_;
    PluginPackager packager_;
};

TEST_F(DescriptorTest, CopiesThePropertyAttributesInOrder) {
    ASSERT_TRUE(Check(R"(<?xml version="1.0" encoding="UTF-8"?>
<vemplugin root-attr="dropped">
  <!-- a comment -->
  <other a="1"/>
  <property name="演示 &amp; &lt;demo&gt;" id="com.example" type="js" version="1.0" extra="x">
    <child/>text
  </property>
  <property id="second" version="2" type="t" name="n"/>
</vemplugin>)"));
    EXPECT_EQ(ReadText(descriptor()),
              std::string(kDeclaration) +
                  "<vemplugin><property name=\"演示 &amp; &lt;demo&gt;\" id=\"com.example\" "
                  "type=\"js\" version=\"1.0\" extra=\"x\"/></vemplugin>\n");
    std::u16string message;
    EXPECT_FALSE(packager_.GetErrorMessage(message));
}

TEST_F(DescriptorTest, RootWithoutPropertyChildFailsNamingTheFile) {
    // Only a child of the root counts, by its exact name.
    const std::u16string missing =
        u"配置文件 " + Wide(dir_ / "com.example.demo.xml") + u" 中没有property节点！";
    for (const char* config :
         {"<vemplugin/>",
          "<vemplugin><group><property id='i' version='1' type='t' name='n'/>"
          "</group></vemplugin>",
          "<vemplugin><Property id='i' version='1' type='t' name='n'/></vemplugin>"}) {
        ExpectFailure(config, missing);
    }
}

TEST_F(DescriptorTest, ConfigInAnotherEncodingIsReadAsDeclared) {
    ASSERT_TRUE(
        Check("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>"
              "<vemplugin><property id=\"caf\xE9\" version=\"1\" type=\"t\" name=\"n\"/>"
              "</vemplugin>"));
    EXPECT_NE(ReadText(descriptor()).find("id=\"caf\xC3\xA9\""), std::string::npos);

    // The code pages of Chinese Windows: 演示插件 in GBK, 演示 in GB18030, and U+20000, which
    // only GB18030's four-byte form holds.
    ASSERT_TRUE(
        Check("<?xml version=\"1.0\" encoding=\"GBK\"?>"
              "<vemplugin><property id=\"i\" version=\"1\" type=\"t\" "
              "name=\"\xD1\xDD\xCA\xBE\xB2\xE5\xBC\xFE\"/></vemplugin>"));
    EXPECT_NE(ReadText(descriptor()).find("name=\"演示插件\""), std::string::npos);
    ASSERT_TRUE(
        Check("<?xml version=\"1.0\" encoding=\"GB18030\"?>"
              "<vemplugin><property id=\"i\" version=\"1\" type=\"t\" name=\"\xD1\xDD\xCA\xBE\"/>"
              "</vemplugin>"));
    EXPECT_NE(ReadText(descriptor()).find("name=\"演示\""), std::string::npos);
    // Wine has no tables for GB18030's four-byte part (Windows and iconv do); it reads GB18030
    // as GBK, which holds all of the above.
    if (!testing::kWindows) {
        ASSERT_TRUE(
            Check("<?xml version=\"1.0\" encoding=\"GB18030\"?>"
                  "<vemplugin><property id=\"i\" version=\"1\" type=\"t\" "
                  "name=\"\x95\x32\x82\x36\"/></vemplugin>"));
        EXPECT_NE(ReadText(descriptor()).find("name=\"\xF0\xA0\x80\x80\""), std::string::npos);
    }

    // Single bytes that become three of UTF-8, thousands of them, past every buffer the library
    // converts into: the same descriptor as the text in UTF-8.
    struct Repeated {
        const char* encoding;
        const char* unit;
        const char* utf8;
    };
    constexpr Repeated kRepeated[] = {
        {"windows-1252", "\x80", "€"},
        {"GBK", "\x80", "€"},
        {"Shift_JIS", "\xB1", "ｱ"},  // half-width katakana
    };
    const auto config = [](const std::string& encoding, const char* unit) {
        std::string name;
        for (int i = 0; i < 3000; ++i) {
            name += unit;
        }
        return "<?xml version=\"1.0\" encoding=\"" + encoding +
               "\"?><vemplugin><property id=\"i\" version=\"1\" type=\"t\" name=\"" + name +
               "\"/></vemplugin>";
    };
    for (const Repeated& repeated : kRepeated) {
        ASSERT_TRUE(Check(config("UTF-8", repeated.utf8)));
        const std::string expected = ReadText(descriptor());
        EXPECT_TRUE(Check(config(repeated.encoding, repeated.unit)))
            << repeated.encoding << ": " << platform::ToNative(Message());
        EXPECT_EQ(ReadText(descriptor()), expected) << repeated.encoding;
    }
}

// What the library's side sees of one handler: the UTF-8 of `bytes`, converted in calls that
// each get `window` more bytes (0: all of them at once) and an output buffer of `room` bytes.
struct Conversion {
    std::string utf8;
    bool failed = false;
    std::size_t left = 0;  // bytes never taken
    bool overran = false;  // a byte past the output buffer changed, or a count beyond it
    std::size_t next = 0;  // the UTF-8 length of the character that did not fit, if one did not
};

Conversion Convert(xmlCharEncodingInputFunc input, std::string_view bytes, std::size_t window,
                   std::size_t room) {
    constexpr std::size_t kGuard = 8;
    constexpr unsigned char kGuardByte = 0xA5;
    Conversion result;
    std::string raw;  // what the library holds unconverted
    std::size_t fed = 0;
    for (;;) {
        const std::size_t more =
            window == 0 ? bytes.size() - fed : std::min(window, bytes.size() - fed);
        raw.append(bytes.substr(fed, more));
        fed += more;
        if (raw.empty()) {
            break;
        }
        std::vector<unsigned char> out(room + kGuard, kGuardByte);
        int out_length = static_cast<int>(room);
        int in_length = static_cast<int>(raw.size());
        const int written = input(out.data(), &out_length,
                                  reinterpret_cast<const unsigned char*>(raw.data()), &in_length);
        if (out_length < 0 || static_cast<std::size_t>(out_length) > room || in_length < 0 ||
            static_cast<std::size_t>(in_length) > raw.size() ||
            std::any_of(out.begin() + static_cast<std::ptrdiff_t>(room), out.end(),
                        [](unsigned char b) { return b != kGuardByte; })) {
            result.overran = true;
            return result;
        }
        result.utf8.append(reinterpret_cast<const char*>(out.data()),
                           static_cast<std::size_t>(out_length));
        raw.erase(0, static_cast<std::size_t>(in_length));
        if (written < 0) {
            result.failed = true;
            break;
        }
        if (in_length == 0 && out_length == 0 && fed == bytes.size()) {
            // Either a character longer than the buffer or the start of one that never ends.
            std::array<unsigned char, 64> large;
            out_length = static_cast<int>(large.size());
            in_length = static_cast<int>(raw.size());
            result.failed =
                input(large.data(), &out_length, reinterpret_cast<const unsigned char*>(raw.data()),
                      &in_length) < 0;
            result.next = out_length == 0   ? 0
                          : large[0] < 0x80 ? 1
                          : large[0] < 0xE0 ? 2
                          : large[0] < 0xF0 ? 3
                                            : 4;
            break;
        }
    }
    result.left = raw.size();
    return result;
}

// Every registered code page on every lead byte, alone and with trail bytes that complete a
// character where the code page has one (GB18030's four-byte form too): in pieces of 1 to 8
// bytes of output, and of input, the same UTF-8 as at once (up to a character longer than the
// buffer, which cannot come out), never written past the buffer.
TEST(CodePageDecoderTest, PiecesGiveWhatOneCallGivesAndNeverPassTheBuffer) {
    RegisterCodePageEncodings();
    constexpr std::string_view kTrails[] = {"", "\x41", "\x80", "\xA1", "\x30\x81\x30"};
    for (const char* name : CodePageEncodingNames()) {
        const xmlCharEncodingHandlerPtr handler = xmlFindCharEncodingHandler(name);
        ASSERT_TRUE(handler != nullptr && handler->input != nullptr) << name;
        int beyond_ascii = 0;  // leads that start a character outside ASCII
        for (int lead = 0; lead < 256; ++lead) {
            bool text = false;
            for (const std::string_view trail : kTrails) {
                const std::string bytes =
                    "<" + std::string(1, static_cast<char>(lead)) + std::string(trail) + ">";
                std::string shown;
                for (const char c : bytes) {
                    shown += " " + std::to_string(static_cast<unsigned char>(c));
                }
                const Conversion once = Convert(handler->input, bytes, 0, 64);
                ASSERT_FALSE(once.overran) << name;
                text |= !once.failed && lead >= 0x80;
                for (std::size_t window : {0, 1, 2, 3}) {
                    for (std::size_t room = 1; room <= 8; ++room) {
                        const Conversion pieces = Convert(handler->input, bytes, window, room);
                        const std::string what = std::string(name) + shown + ", window " +
                                                 std::to_string(window) + ", room " +
                                                 std::to_string(room);
                        ASSERT_FALSE(pieces.overran) << what;
                        if (pieces.next > 0) {
                            // Stopped only at a character longer than the buffer.
                            ASSERT_GT(pieces.next, room) << what;
                            ASSERT_TRUE(once.failed || once.utf8.starts_with(pieces.utf8)) << what;
                            continue;
                        }
                        ASSERT_EQ(pieces.failed, once.failed) << what;
                        if (!once.failed) {
                            ASSERT_EQ(pieces.utf8, once.utf8) << what;
                            ASSERT_EQ(pieces.left, once.left) << what;
                        }
                    }
                }
            }
            beyond_ascii += text;
        }
        EXPECT_GE(beyond_ascii, 60) << name;
    }
}

TEST_F(DescriptorTest, BlankValueCountsAsPresent) {
    EXPECT_TRUE(Check("<vemplugin><property id=' ' version='1' type='t' name='n'/></vemplugin>"));
}

TEST_F(DescriptorTest, MissingOrEmptyAttributesAreNamedInOrder) {
    ExpectFailure("<vemplugin><property version='1' type='t' name='n'/></vemplugin>",
                  u"配置文件的property节点缺少id属性或属性值为空！");
    ExpectFailure("<vemplugin><property id='' version='1' type='t' name='n'/></vemplugin>",
                  u"配置文件的property节点缺少id属性或属性值为空！");
    ExpectFailure("<vemplugin><property id='i' type='t'/></vemplugin>",
                  u"配置文件的property节点缺少version属性或属性值为空！");
    ExpectFailure("<vemplugin><property id='i' version='1' name='n'/></vemplugin>",
                  u"配置文件的property节点缺少type属性或属性值为空！");
    ExpectFailure("<vemplugin><property id='i' version='1' type='t' name=''/></vemplugin>",
                  u"配置文件的property节点缺少name属性或属性值为空！");
}

TEST_F(DescriptorTest, OnlyTheFirstPropertyChildIsChecked) {
    ExpectFailure(
        "<vemplugin><property version='1' type='t' name='n'/>"
        "<property id='i' version='1' type='t' name='n'/></vemplugin>",
        u"配置文件的property节点缺少id属性或属性值为空！");
}

TEST_F(DescriptorTest, ProcessingInstructionNamedPropertyIsNoElement) {
    ASSERT_TRUE(
        Check("<vemplugin><?property x?><property id='i' version='1' type='t' name='n'/>"
              "</vemplugin>"));
    EXPECT_NE(ReadText(descriptor()).find("<property id=\"i\""), std::string::npos);
}

TEST_F(DescriptorTest, AttributesOfOneNameInOtherNamespacesAreCopiedOnce) {
    // The copy is by local name, so q:id and q:type would repeat id and type.
    ASSERT_TRUE(
        Check("<vemplugin xmlns:q='urn:q'><property id='i' q:id='x' version='1' type='t' "
              "name='n' q:type='u' q:extra='e'/></vemplugin>"));
    EXPECT_EQ(ReadText(descriptor()),
              std::string(kDeclaration) +
                  "<vemplugin><property id=\"i\" version=\"1\" type=\"t\" name=\"n\" "
                  "extra=\"e\"/></vemplugin>\n");
}

TEST_F(DescriptorTest, WrongRootFails) {
    const std::u16string root_message = u"配置文件根目录错误，请用vemplugin标记节点作为根目录！";
    ExpectFailure("<VEMPLUGIN><property id='i' version='1' type='t' name='n'/></VEMPLUGIN>",
                  root_message);
    ExpectFailure("<plugin/>", root_message);
}

TEST_F(DescriptorTest, UnreadableConfigFailsWithTheReason) {
    const std::u16string read_message = u"配置文件读取错误，请检查配置文件格式：";
    struct Case {
        std::string config;
        std::u16string message;  // what the message begins with
    };
    const Case cases[] = {
        {"this is not XML", read_message + u"第 1 行：Start tag expected"},
        {"<vemplugin>\n<property id='i'></vemplugin>",
         read_message + u"第 2 行：Opening and ending tag mismatch"},
        {"", read_message + u"配置文件是空的"},
        // A prefix without a declaration: the copy would not be XML with namespaces.
        {"<vemplugin><property id='i' version='1' type='t' name='n' q:x='1'/></vemplugin>",
         read_message + u"第 1 行：Namespace prefix q for x on property is not defined"},
        // What the library only warns about elsewhere: an entity it cannot know.
        {"<!DOCTYPE vemplugin SYSTEM 'v.dtd'><vemplugin><property id='&v;' version='1' "
         "type='t' name='n'/></vemplugin>",
         read_message + u"第 1 行：Entity 'v' not defined"},
    };
    for (const Case& c : cases) {
        EXPECT_FALSE(Check(c.config)) << c.config;
        EXPECT_TRUE(Message().starts_with(c.message)) << platform::ToNative(Message());
        EXPECT_FALSE(fs::exists(descriptor()));
    }
    // The file itself cannot be read: the system's reason.
    const fs::path missing = dir_ / "missing.xml";
    EXPECT_FALSE(packager_.CheckConfigAndWriteDescriptor(Wide(missing), Wide(descriptor())));
    EXPECT_EQ(Message(), u"配置文件读取错误 " + Wide(missing) + testing::ReasonForOpening(missing));
    const testing::ScopedFault locked(
        {.operation = platform::faults::Operation::Open, .path = "demo", .error = EACCES});
    EXPECT_FALSE(Check("<vemplugin/>"));
    EXPECT_EQ(Message(), u"配置文件读取错误 " + Wide(dir_ / "com.example.demo.xml") +
                             testing::ReasonOf(EACCES));
}

using Field = std::pair<std::string, std::string>;

// A property element with `count` attributes a0="0" a1="1"... after the required ones.
std::string ManyAttributes(std::size_t count) {
    std::string config = "<vemplugin><property id='i' version='1' type='t' name='n'";
    for (std::size_t i = 0; i < count; ++i) {
        config += " a" + std::to_string(i) + "='" + std::to_string(i) + "'";
    }
    return config + "/></vemplugin>";
}

TEST_F(DescriptorTest, TimeAndMemoryAreBoundedWhateverTheConfiguration) {
    // As many attributes as the largest configuration holds: all copied, in order.
    std::size_t count = 0;
    while (ManyAttributes(count + 1000).size() <= PluginPackager::kMaxConfigBytes) {
        count += 1000;
    }
    ASSERT_TRUE(Check(ManyAttributes(count)));
    const auto& fields = packager_.DescriptorFields();
    ASSERT_EQ(fields.size(), count + 4);
    EXPECT_EQ(fields.back(), Field("a" + std::to_string(count - 1), std::to_string(count - 1)));
    fs::remove(descriptor());
    const std::string over(PluginPackager::kMaxConfigBytes + 1, ' ');
    ExpectFailure(over, u"配置文件过大 " + Wide(dir_ / "com.example.demo.xml") + u"：" +
                            platform::FromNative(std::to_string(over.size())) +
                            u" 字节，上限为 262144 字节");

    // Entities that bring in more than the bound, in text or in an attribute, directly or
    // through entities of their own, general or parameter entities.
    const std::string kilobytes(10'000, 'x');
    auto references = [](std::string_view name, int count) {
        std::string text;
        for (int i = 0; i < count; ++i) {
            text += name;
        }
        return text;
    };
    const std::string property = "<property id='i' version='1' type='t' name='n'/>";
    const std::string big = "<!DOCTYPE vemplugin [<!ENTITY e '" + kilobytes + "'>]>";
    const std::string nested = "<!DOCTYPE vemplugin [<!ENTITY e0 ''><!ENTITY e1 '" +
                               references("&e0;", 5'000) + "'><!ENTITY e2 '" +
                               references("&e1;", 1'000) + "'>]>";
    const std::u16string too_far = u"配置文件中的实体展开后超过 1048576 字节";
    ExpectFailure(big + "<vemplugin>" + references("&e;", 110) + property + "</vemplugin>",
                  too_far);
    ExpectFailure(big + "<vemplugin><property id='i' version='1' type='t' name='n' x='" +
                      references("&e;", 110) + "'/></vemplugin>",
                  too_far);
    ExpectFailure(nested + "<vemplugin>&e2;" + property + "</vemplugin>", too_far);
    ExpectFailure(nested +
                      "<vemplugin><property id='&e2;' version='1' type='t' name='n'/>"
                      "</vemplugin>",
                  too_far);
    ExpectFailure("<!DOCTYPE vemplugin [<!ENTITY % p '" + kilobytes + "'>" +
                      references("%p;", 110) + "]><vemplugin/>",
                  too_far);
    // Below the bound, text and attribute values together, the same entities are expanded in full.
    ASSERT_TRUE(Check(big + "<vemplugin>" + references("&e;", 45) +
                      "<property id='i' version='1' type='t' name='n' x='" + references("&e;", 45) +
                      "'/></vemplugin>"));
    EXPECT_EQ(fields.back(), Field("x", references(kilobytes, 45)));
}

TEST_F(DescriptorTest, TheDescriptorIsWhatTheCheckSaw) {
    // Defaults from the DTD count for the check and are copied; entities in attribute values are
    // expanded and their white space normalised, as XML reads them; an element an entity brings
    // in is a child like any other.
    struct Case {
        std::string config;
        std::string property;  // the descriptor's property element
    };
    const Case cases[] = {
        {"<!DOCTYPE vemplugin [<!ATTLIST property id CDATA 'd' version CDATA '1'>]>"
         "<vemplugin><property version='2' type='t' name='n'/></vemplugin>",
         R"(<property version="2" type="t" name="n" id="d"/>)"},
        {"<!DOCTYPE vemplugin [<!ENTITY e 'a&#38;#38;b&#10;c'><!ENTITY f '[&e;]'>]>"
         "<vemplugin><property id='&f;' version='&#10;1' type='t' name='&lt;&amp;&quot;'/>"
         "</vemplugin>",
         R"(<property id="[a&amp;b c]" version="&#10;1" type="t" name="&lt;&amp;&quot;"/>)"},
        {"<!DOCTYPE vemplugin [<!ENTITY p \"<property id='i' version='1' type='t' name='n'/>\">"
         "]><vemplugin>&p;</vemplugin>",
         R"(<property id="i" version="1" type="t" name="n"/>)"},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(Check(c.config)) << c.config << ": " << platform::ToNative(Message());
        const std::string written = ReadText(descriptor());
        EXPECT_EQ(written, kDeclaration + "<vemplugin>" + c.property + "</vemplugin>\n");
        // Checked in turn, the descriptor passes and gives itself again.
        ASSERT_TRUE(Check(written));
        EXPECT_EQ(ReadText(descriptor()), written);
    }
}

TEST_F(DescriptorTest, CancellingStopsTheCheck) {
    const std::atomic<bool> cancel{true};
    dir_.Write("com.example.demo.xml", ManyAttributes(10));
    EXPECT_FALSE(packager_.CheckConfigAndWriteDescriptor(Wide(dir_ / "com.example.demo.xml"),
                                                         Wide(descriptor()), &cancel));
    EXPECT_EQ(Message(), u"检查已取消");
    EXPECT_FALSE(fs::exists(descriptor()));
}

TEST_F(DescriptorTest, ExternalEntitiesAreNeverLoaded) {
    dir_.Write("secret.txt", "TOP-SECRET");
    const std::string secret = (dir_ / "secret.txt").string();
    // A well-formed URI on both systems (file:///C:/... on Windows): an invalid one is an error.
    std::string uri = (dir_ / "secret.txt").generic_string();
    if (!uri.starts_with('/')) {
        uri = "/" + uri;
    }
    ASSERT_TRUE(Check("<!DOCTYPE vemplugin [<!ENTITY s SYSTEM \"file://" + uri +
                      "\">]>\n<vemplugin>&s;<property id='i' version='1' type='t' name='n'/>"
                      "</vemplugin>"));
    EXPECT_EQ(ReadText(descriptor()).find("TOP-SECRET"), std::string::npos);
    // An entity inside an attribute value must be internal; an external one is malformed.
    Check("<!DOCTYPE vemplugin [<!ENTITY s SYSTEM \"" + secret +
          "\">]>\n<vemplugin><property id='&s;' version='1' type='t' name='n'/></vemplugin>");
    if (fs::exists(descriptor())) {
        EXPECT_EQ(ReadText(descriptor()).find("TOP-SECRET"), std::string::npos);
    }
}

TEST_F(DescriptorTest, ExistingDescriptorIsReplaced) {
    dir_.Write("out.xml", "stale content that is much longer than the new descriptor ...........");
    ASSERT_TRUE(Check(kMinimal));
    EXPECT_EQ(ReadText(descriptor()), kMinimalDescriptor);
}

TEST_F(DescriptorTest, FailedSaveIsAFailureEvenWhenAFileIsThereAndSaysWhy) {
    dir_.Write("com.example.demo.xml", kMinimal);
    // A folder at the descriptor path: it exists, but nothing can be saved there.
    dir_.MakeFolder("out.xml");
    EXPECT_FALSE(packager_.CheckConfigAndWriteDescriptor(Wide(dir_ / "com.example.demo.xml"),
                                                         Wide(descriptor())));
    EXPECT_EQ(Message(),
              u"无法写入描述文件 " + Wide(descriptor()) + testing::ReasonForCreating(descriptor()));
    const fs::path nowhere = dir_ / "no-such-folder/out.xml";
    EXPECT_FALSE(packager_.CheckConfigAndWriteDescriptor(Wide(dir_ / "com.example.demo.xml"),
                                                         Wide(nowhere)));
    EXPECT_EQ(Message(),
              u"无法写入描述文件 " + Wide(nowhere) + testing::ReasonForCreating(nowhere));
}

TEST_F(DescriptorTest, PathsBeyondTheNarrowLimit) {
    // 260 bytes with the terminator is the limit for both paths.
    const std::string base = dir_.path().string() + "/";
    const std::string fits = base + std::string(259 - base.size(), 'c');
    const std::string too_long = base + std::string(260 - base.size(), 'c');
    dir_.Write(fs::path(fits).filename().string(), kMinimal);
    dir_.Write(fs::path(too_long).filename().string(), kMinimal);

    EXPECT_TRUE(packager_.CheckConfigAndWriteDescriptor(Wide(fits), Wide(descriptor())));
    EXPECT_FALSE(packager_.CheckConfigAndWriteDescriptor(Wide(too_long), Wide(descriptor())));
    EXPECT_EQ(Message(), u"配置文件读取错误 " + Wide(testing::Utf8Path(too_long)) +
                             testing::ReasonOf(ENAMETOOLONG));

    PluginPackager fresh;
    const std::string long_descriptor = base + std::string(260 - base.size(), 'd');
    EXPECT_FALSE(fresh.CheckConfigAndWriteDescriptor(Wide(fits), Wide(long_descriptor)));
    std::u16string message;
    EXPECT_TRUE(fresh.GetErrorMessage(message));
    EXPECT_EQ(message, u"无法写入描述文件 " + Wide(testing::Utf8Path(long_descriptor)) +
                           testing::ReasonOf(ENAMETOOLONG));
    EXPECT_FALSE(fs::exists(long_descriptor));
}

TEST_F(DescriptorTest, OddFileNamesKeepTheirBytes) {
    if (!testing::kByteNames) {
        GTEST_SKIP() << "Windows names are UTF-16 text, never bytes";
    }
    const std::string odd = "plug\xFFin%20x.y.z.xml";
    dir_.Write(odd, kMinimal);
    const fs::path target = dir_ / "desc\xFE%41.xml";
    ASSERT_TRUE(packager_.CheckConfigAndWriteDescriptor(Wide(dir_ / odd), Wide(target)));
    EXPECT_TRUE(fs::exists(target));
}

TEST(WideConversionTest, ReportsWhatDoesNotFit) {
    std::array<char, 4> buffer;
    EXPECT_STREQ(PluginPackager::WideToAnsi(u"abc", buffer), "abc");
    EXPECT_EQ(PluginPackager::WideToAnsi(u"abcd", buffer), nullptr);
    EXPECT_EQ(PluginPackager::WideToAnsi(std::u16string(u"a\0b", 3), buffer), nullptr);
    EXPECT_STREQ(PluginPackager::WideToUtf8(u"中", buffer), "\xE4\xB8\xAD");
    EXPECT_EQ(PluginPackager::WideToUtf8(u"中a", buffer), nullptr);
}

}  // namespace
}  // namespace zelpack
