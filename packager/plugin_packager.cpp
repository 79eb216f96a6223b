#include "packager/plugin_packager.h"

#include <libxml/parser.h>
#include <libxml/tree.h>

#include <array>
#include <cstring>
#include <memory>
#include <mutex>

#include "packager/xml_encodings.h"
#include "platform/file.h"
#include "platform/listing.h"
#include "platform/text.h"

namespace zelpack {

namespace {

constexpr std::u16string_view kReadError = u"配置文件读取错误，请检查配置文件格式";
constexpr std::u16string_view kRootError = u"配置文件根目录错误，请用vemplugin标记节点作为根目录！";
constexpr std::u16string_view kOutOfMemory = u"生成描述文件时内存不足";

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
        RegisterCodePageEncodings();
    });
}

const char* NarrowInto(const std::string& narrow, std::span<char> buffer) {
    if (narrow.find('\0') != std::string::npos) {
        return nullptr;
    }
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
    const platform::Result<std::vector<std::uint8_t>> content =
        platform::ReadWholeFile(config_path);
    if (!content || content->size() > static_cast<std::size_t>(INT32_MAX)) {
        return nullptr;
    }
    return DocPtr(xmlReadMemory(reinterpret_cast<const char*>(content->data()),
                                static_cast<int>(content->size()), ansi_path.data(), nullptr,
                                XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING));
}

// Serialises `doc` unformatted with the "utf-8" declaration and replaces the file at `path`.
// A file left half-written is removed: it must never pass as a descriptor.
platform::Status SaveDescriptor(xmlDoc* doc, std::u16string_view path) {
    std::array<char, kAnsiPathBytes> ansi_path;
    if (PluginPackager::WideToAnsi(path, ansi_path) == nullptr) {
        return std::make_error_code(std::errc::filename_too_long);
    }
    xmlChar* raw = nullptr;
    int size = 0;
    xmlDocDumpFormatMemoryEnc(doc, &raw, &size, "utf-8", 0);
    XmlText text(raw);
    if (text == nullptr || size < 0) {
        return std::make_error_code(std::errc::not_enough_memory);
    }
    platform::Result<platform::File> file = platform::File::CreateAlways(path);
    if (!file) {
        return file.error();
    }
    const platform::Status written = file->WriteAll(
        {reinterpret_cast<const std::uint8_t*>(text.get()), static_cast<std::size_t>(size)});
    const platform::Status closed = file->Close();
    if (!written || !closed) {
        static_cast<void>(platform::DeleteFile(path));
        return !written ? written : closed;
    }
    return {};
}

// The message of a descriptor that could not be made: the step, the path and the reason.
std::u16string DescriptorFailure(std::u16string_view what, std::u16string_view path,
                                 const std::error_code& cause) {
    std::u16string message(what);
    message += u' ';
    message += path;
    message += u'：';
    message += platform::ErrorText(cause);
    return message;
}

}  // namespace

const char* PluginPackager::WideToAnsi(std::u16string_view wide, std::span<char> buffer) {
    return NarrowInto(platform::ToAnsiCodePage(wide), buffer);
}

const char* PluginPackager::WideToUtf8(std::u16string_view wide, std::span<char> buffer) {
    // The portable narrow form is UTF-8 on every platform.
    return NarrowInto(platform::ToNative(wide), buffer);
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
    return xmlNewProp(target, X(name), value ? value.get() : X("")) != nullptr;
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
    descriptor_fields_.clear();
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
    xmlNode* new_root = descriptor ? xmlNewNode(nullptr, root->name) : nullptr;
    if (new_root == nullptr) {
        message_ = kOutOfMemory;
        return false;
    }
    xmlDocSetRootElement(descriptor.get(), new_root);

    std::array<char, kUtf8NameBytes> property_name;
    WideToUtf8(u"property", property_name);
    xmlNode* copied = nullptr;
    for (xmlNode* child = root->children; child != nullptr; child = child->next) {
        // Only an element counts: a processing instruction may be named "property" too.
        if (child->type != XML_ELEMENT_NODE ||
            xmlStrcmp(child->name, X(property_name.data())) != 0) {
            continue;
        }
        if (!CheckPropertyAttributes(child)) {
            return false;
        }
        // Attached at once, so that the document frees it on every path.
        xmlNode* property = xmlNewNode(nullptr, X(property_name.data()));
        if (property == nullptr || xmlAddChild(new_root, property) == nullptr) {
            xmlFreeNode(property);
            message_ = kOutOfMemory;
            return false;
        }
        for (xmlAttr* attribute = child->properties; attribute != nullptr;
             attribute = attribute->next) {
            // Attributes are copied by local name, without their namespace: a second one of
            // the same name (q:id beside id) would make the descriptor ill-formed XML. Each one
            // is the child's own, so a failed copy can only be the library's memory running out.
            if (xmlHasProp(property, attribute->name) == nullptr &&
                !CopyAttribute(child, property, reinterpret_cast<const char*>(attribute->name))) {
                message_ = kOutOfMemory;
                return false;
            }
        }
        copied = property;
        break;
    }

    if (const platform::Status saved = SaveDescriptor(descriptor.get(), descriptor_path); !saved) {
        message_ = DescriptorFailure(u"无法写入描述文件", descriptor_path, saved.error());
        return false;
    }
    if (const auto found = platform::QueryFile(descriptor_path); !found) {
        message_ = DescriptorFailure(u"无法读取描述文件", descriptor_path, found.error());
        return false;
    }
    for (xmlAttr* attribute = copied != nullptr ? copied->properties : nullptr;
         attribute != nullptr; attribute = attribute->next) {
        XmlText value(xmlGetProp(copied, attribute->name));
        descriptor_fields_.emplace_back(reinterpret_cast<const char*>(attribute->name),
                                        value ? reinterpret_cast<const char*>(value.get()) : "");
    }
    return true;
}

}  // namespace zelpack
