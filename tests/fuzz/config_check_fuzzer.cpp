// Fuzz target: the configuration check and the descriptor it writes.
//
// The input is the whole configuration file, written into a private temporary folder. For every
// input CheckConfigAndWriteDescriptor returns (within libFuzzer's -timeout, which scripts/fuzz.sh
// keeps short, so that a slow input is a finding), and:
//  - true: the descriptor exists, is well-formed XML and well-formed with namespaces, has the
//    root "vemplugin", and checked in turn as a configuration passes too, giving the same bytes
//    again: the descriptor is what the check saw;
//  - false: the message is one of the check's own and no descriptor exists;
//  - either way nothing else is left in the folder.
// libxml2 carries no coverage hooks, so the shape of what it parses is fed back to libFuzzer as
// extra counters: without them most well-formed variations would look alike to it.
#include <libxml/parser.h>
#include <libxml/tree.h>
#include <stdlib.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "packager/plugin_packager.h"
#include "platform/text.h"

namespace {

namespace fs = std::filesystem;

// What every message of the check begins with (the library's reason, a size... may follow).
constexpr std::array<std::u16string_view, 10> kMessages = {
    u"配置文件读取错误，请检查配置文件格式：",
    u"配置文件根目录错误，请用vemplugin标记节点作为根目录！",
    u"配置文件 ",  // the file's path and "中没有property节点！" follow
    u"配置文件的property节点缺少id属性或属性值为空！",
    u"配置文件的property节点缺少version属性或属性值为空！",
    u"配置文件的property节点缺少type属性或属性值为空！",
    u"配置文件的property节点缺少name属性或属性值为空！",
    u"配置文件中的实体展开后超过 ",
    u"配置文件过大 ",
    u"生成描述文件时内存不足",
};

fs::path folder;

// Without libFuzzer (the Windows replay) the counters are plain memory.
#ifdef _WIN32
std::uint8_t shape_counters[256];
#else
__attribute__((used, section("__libfuzzer_extra_counters"))) std::uint8_t shape_counters[256];
#endif

// Feature `kind` (0 to 15) with a small value (0 to 15, larger ones count as 15).
void Note(unsigned kind, std::size_t value) {
    shape_counters[kind * 16 + std::min<std::size_t>(value, 15)] = 1;
}

struct Shape {
    bool parsed = false;
};

// Parses the configuration as the check does and notes its shape.
Shape Inspect(const std::uint8_t* bytes, std::size_t size) {
    Shape shape;
    xmlDoc* doc =
        xmlReadMemory(reinterpret_cast<const char*>(bytes), static_cast<int>(size), nullptr,
                      nullptr, XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
    if (doc == nullptr) {
        return shape;
    }
    shape.parsed = true;
    const xmlDtd* dtd = doc->intSubset;
    Note(1, dtd == nullptr ? 0 : 1 + (dtd->entities != nullptr) + 2 * (dtd->attributes != nullptr));
    const xmlNode* root = xmlDocGetRootElement(doc);
    Note(2, root == nullptr ? 0
                            : 1 + (xmlStrcmp(root->name, BAD_CAST "vemplugin") == 0) +
                                  2 * (root->ns != nullptr));
    const xmlNode* property = nullptr;
    std::size_t children = 0;
    for (const xmlNode* child = root ? root->children : nullptr; child; child = child->next) {
        ++children;
        Note(3, child->type);
        if (property == nullptr && child->type == XML_ELEMENT_NODE &&
            xmlStrcmp(child->name, BAD_CAST "property") == 0) {
            property = child;
        }
    }
    Note(4, children);
    if (property != nullptr) {
        std::size_t attributes = 0;
        std::size_t namespaced = 0;
        std::size_t repeated = 0;  // local names that an earlier attribute already has
        for (const xmlAttr* a = property->properties; a != nullptr; a = a->next) {
            ++attributes;
            namespaced += a->ns != nullptr;
            for (const xmlAttr* b = property->properties; b != a; b = b->next) {
                if (xmlStrcmp(a->name, b->name) == 0) {
                    ++repeated;
                    break;
                }
            }
        }
        Note(5, attributes);
        Note(6, namespaced);
        Note(7, repeated);
        const std::array<const char*, 4> required = {"id", "version", "type", "name"};
        for (std::size_t i = 0; i < required.size(); ++i) {
            const xmlChar* name = BAD_CAST required[i];
            const xmlAttr* own = property->properties;
            while (own != nullptr && xmlStrcmp(own->name, name) != 0) {
                own = own->next;
            }
            const bool any = xmlHasProp(property, name) != nullptr;
            Note(8 + i, (own != nullptr) + 2 * any);
        }
    }
    xmlFreeDoc(doc);
    return shape;
}

void RemoveFolder() {
    std::error_code ignored;
    fs::remove_all(folder, ignored);
}

// Aborting skips atexit, so the folder goes first; libFuzzer keeps the input.
void Check(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "config_check_fuzzer: %s\n", what);
        RemoveFolder();
        std::abort();
    }
}

std::u16string Wide(const fs::path& path) {
#ifdef _WIN32
    const std::wstring& native = path.native();
    return std::u16string(native.begin(), native.end());
#else
    return zelpack::platform::FromNative(path.native());
#endif
}

std::string ReadFile(const fs::path& path) {
    std::ifstream stream(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(stream), std::istreambuf_iterator<char>()};
}

std::set<std::string> FolderContents() {
    std::set<std::string> names;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
        names.insert(entry.path().filename().string());
    }
    return names;
}

// Runs the check on `config`; returns whether it passed and checks what each outcome promises.
bool CheckOne(const fs::path& config, const fs::path& descriptor) {
    zelpack::PluginPackager packager;
    const bool passed = packager.CheckConfigAndWriteDescriptor(Wide(config), Wide(descriptor));
    if (!passed) {
        std::u16string message;
        Check(packager.GetErrorMessage(message), "false without a message");
        Check(std::any_of(kMessages.begin(), kMessages.end(),
                          [&](std::u16string_view known) { return message.starts_with(known); }),
              "false with an unknown message");
        Check(!fs::exists(descriptor), "a descriptor is left after a failure");
        return false;
    }
    const std::string text = ReadFile(descriptor);
    xmlParserCtxt* context = xmlNewParserCtxt();
    Check(context != nullptr, "no parser");
    xmlDoc* doc =
        xmlCtxtReadMemory(context, text.data(), static_cast<int>(text.size()), nullptr, nullptr,
                          XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
    Check(doc != nullptr && context->wellFormed, "the descriptor is not well-formed XML");
    Check(context->nsWellFormed, "the descriptor is not well-formed with namespaces");
    xmlFreeParserCtxt(context);
    const xmlNode* root = xmlDocGetRootElement(doc);
    Check(root != nullptr && xmlStrcmp(root->name, BAD_CAST "vemplugin") == 0,
          "the descriptor's root is not vemplugin");
    xmlFreeDoc(doc);
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
#ifdef _WIN32
    std::random_device random;
    for (int attempt = 0; folder.empty() && attempt < 100; ++attempt) {
        const fs::path candidate =
            fs::temp_directory_path() / ("zelpack-fuzz-" + std::to_string(random()));
        std::error_code error;
        if (fs::create_directory(candidate, error)) {
            folder = candidate;
        }
    }
    Check(!folder.empty(), "cannot create the scratch folder");
#else
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/zelpack-fuzz-XXXXXX";
    Check(mkdtemp(pattern.data()) != nullptr, "mkdtemp");
    folder = pattern;
#endif
    std::atexit(RemoveFolder);
    // The reference parses of Inspect and CheckOne would print what the library reports without
    // a parser (failed conversions) on every input.
    xmlSetStructuredErrorFunc(nullptr, [](void*, xmlErrorPtr) {});
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    const fs::path config = folder / "com.example.fuzz.xml";
    const fs::path descriptor = folder / "zelPluginInfo.xml";
    const fs::path again = folder / "again.xml";
    {
        std::ofstream out(config, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes), static_cast<std::streamsize>(size));
        Check(out.good(), "cannot write the configuration");
    }

    std::set<std::string> expected = {config.filename().string()};
    const Shape shape = Inspect(bytes, size);
    const bool passed = CheckOne(config, descriptor);
    Note(0, passed + 2 * shape.parsed);
    if (passed) {
        expected.insert(descriptor.filename().string());
        Check(CheckOne(descriptor, again), "the descriptor does not pass the check itself");
        Check(ReadFile(again) == ReadFile(descriptor), "the descriptor changes when checked again");
        expected.insert(again.filename().string());
    }
    Check(FolderContents() == expected, "unexpected files in the folder");
    for (const fs::path& path : {config, descriptor, again}) {
        std::error_code ignored;
        fs::remove(path, ignored);
    }
    return 0;
}
