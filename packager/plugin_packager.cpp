#include "packager/plugin_packager.h"

#include <libxml/parser.h>
#include <libxml/tree.h>

#include <array>
#include <cstring>
#include <memory>
#include <mutex>

#include "platform/file.h"
#include "platform/listing.h"
#include "platform/text.h"

namespace zelpack {

namespace {

constexpr std::u16string_view kReadError = u"配置文件读取错误，请检查配置文件格式";
constexpr std::u16string_view kRootError = u"配置文件根目录错误，请用vemplugin标记节点作为根目录！";

struct RequiredAttribute {
    const char* name;
    std::u16string_view message;
};
constexpr std::array<RequiredAttribute, 4> kRequiredAttributes = {{
    {"id", u"配置文件的property节点缺少id属性或属性值为空！"},
    {"version", u"配置文件的property节点缺少version属性或属性值为空！"},
    {"type", u"配置文件的property节点缺少type属性或属性值为空！"},
    {"name", u"配置文件的property节点缺少name属性或属性值为空！"},
}};

// Paths to the XML library are limited to 260 bytes, and the element name to 1024.
constexpr std::size_t kAnsiPathBytes = 260;
constexpr std::size_t kUtf8NameBytes = 1024;

struct DocFree {
    void operator()(xmlDoc* doc) const { xmlFreeDoc(doc); }
};
using DocPtr = std::unique_ptr<xmlDoc, DocFree>;

struct XmlFree {
    void operator()(xmlChar* text) const { xmlFree(text); }
};
using XmlText = std::unique_ptr<xmlChar, XmlFree>;

const xmlChar* X(const char* text) {
    return reinterpret_cast<const xmlChar*>(text);
}

// Every document is parsed from memory, so the loader only ever sees references from inside a
// configuration: external DTDs and entities. None is fetched, from disk or the network.
xmlParserInputPtr RefuseExternalEntity(const char*, const char*, xmlParserCtxtPtr) {
    return nullptr;
}

void InitXmlLibrary() {
    static std::once_flag once;
    std::call_once(once, [] {
        xmlInitParser();
        xmlSetExternalEntityLoader(RefuseExternalEntity);
    });
}

const char* NarrowInto(std::u16string_view wide, std::span<char> buffer) {
    if (wide.find(u'\0') != std::u16string_view::npos) {
        return nullptr;
    }
    const std::string narrow = platform::ToNative(wide);
    if (narrow.size() + 1 > buffer.size()) {
        return nullptr;
    }
    std::memcpy(buffer.data(), narrow.c_str(), narrow.size() + 1);
    return buffer.data();
}

DocPtr ParseConfig(std::u16string_view config_path) {
    std::array<char, kAnsiPathBytes> ansi_path;
    if (PluginPackager::WideToAnsi(config_path, ansi_path) == nullptr) {
        return nullptr;
    }
    auto content = platform::ReadWholeFile(config_path);
    if (!content || content->size() > static_cast<std::size_t>(INT32_MAX)) {
        return nullptr;
    }
    return DocPtr(xmlReadMemory(reinterpret_cast<const char*>(content->data()),
                                static_cast<int>(content->size()), ansi_path.data(), nullptr,
                                XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING));
}

// Serialises `doc` unformatted with the "utf-8" declaration and replaces the file at `path`.
// A file left half-written is removed: it must never pass as a descriptor.
bool SaveDescriptor(xmlDoc* doc, std::u16string_view path) {
    std::array<char, kAnsiPathBytes> ansi_path;
    if (PluginPackager::WideToAnsi(path, ansi_path) == nullptr) {
        return false;
    }
    xmlChar* raw = nullptr;
    int size = 0;
    xmlDocDumpFormatMemoryEnc(doc, &raw, &size, "utf-8", 0);
    XmlText text(raw);
    if (text == nullptr || size < 0) {
        return false;
    }
    auto file = platform::File::CreateAlways(path);
    if (!file) {
        return false;
    }
    const bool written = file->WriteAll(
        {reinterpret_cast<const std::uint8_t*>(text.get()), static_cast<std::size_t>(size)});
    if (!file->Close() || !written) {
        platform::DeleteFile(path);
        return false;
    }
    return true;
}

}  // namespace

const char* PluginPackager::WideToAnsi(std::u16string_view wide, std::span<char> buffer) {
    return NarrowInto(wide, buffer);
}

const char* PluginPackager::WideToUtf8(std::u16string_view wide, std::span<char> buffer) {
    return NarrowInto(wide, buffer);
}

bool PluginPackager::GetErrorMessage(std::u16string& message) const {
    if (message_.empty()) {
        return false;
    }
    message = message_;
    return true;
}

bool PluginPackager::CopyAttribute(xmlNode* source, xmlNode* target, const char* name) {
    if (xmlHasProp(source, X(name)) == nullptr) {
        return false;
    }
    XmlText value(xmlGetProp(source, X(name)));
    xmlNewProp(target, X(name), value ? value.get() : X(""));
    return true;
}

bool PluginPackager::CheckPropertyAttributes(xmlNode* property) {
    for (const auto& [name, message] : kRequiredAttributes) {
        XmlText value(xmlHasProp(property, X(name)) ? xmlGetProp(property, X(name)) : nullptr);
        if (value == nullptr || xmlStrcmp(value.get(), X("")) == 0) {
            message_ = message;
            return false;
        }
    }
    return true;
}

bool PluginPackager::CheckConfigAndWriteDescriptor(std::u16string_view config_path,
                                                   std::u16string_view descriptor_path) {
    InitXmlLibrary();
    DocPtr config = ParseConfig(config_path);
    if (config == nullptr) {
        message_ = kReadError;
        return false;
    }
    xmlNode* root = xmlDocGetRootElement(config.get());
    if (root == nullptr || xmlStrcmp(root->name, X("vemplugin")) != 0) {
        message_ = kRootError;
        return false;
    }

    DocPtr descriptor(xmlNewDoc(X("1.0")));
    xmlNode* new_root = xmlNewNode(nullptr, root->name);
    xmlDocSetRootElement(descriptor.get(), new_root);

    std::array<char, kUtf8NameBytes> property_name;
    WideToUtf8(u"property", property_name);
    for (xmlNode* child = root->children; child != nullptr; child = child->next) {
        // Only an element counts: a processing instruction may be named "property" too.
        if (child->type != XML_ELEMENT_NODE ||
            xmlStrcmp(child->name, X(property_name.data())) != 0) {
            continue;
        }
        xmlNode* property = xmlNewNode(nullptr, X(property_name.data()));
        if (!CheckPropertyAttributes(child)) {
            xmlFreeNode(property);
            return false;
        }
        for (xmlAttr* attribute = child->properties; attribute != nullptr;
             attribute = attribute->next) {
            // Attributes are copied by local name, without their namespace: a second one of
            // the same name (q:id beside id) would make the descriptor ill-formed XML.
            if (xmlHasProp(property, attribute->name) == nullptr) {
                CopyAttribute(child, property, reinterpret_cast<const char*>(attribute->name));
            }
        }
        xmlAddChild(new_root, property);
        break;
    }

    const bool saved = SaveDescriptor(descriptor.get(), descriptor_path);
    return saved && platform::QueryFile(descriptor_path).has_value();
}

}  // namespace zelpack
