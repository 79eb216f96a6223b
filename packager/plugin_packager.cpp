#include "packager/plugin_packager.h"

#include <libxml/SAX2.h>
#include <libxml/entities.h>
#include <libxml/globals.h>
#include <libxml/parser.h>
#include <libxml/parserInternals.h>
#include <libxml/xmlerror.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <unordered_set>

#include "packager/xml_encodings.h"
#include "platform/file.h"
#include "platform/listing.h"
#include "platform/text.h"

namespace zelpack {

namespace {

constexpr std::u16string_view kReadError = u"配置文件读取错误，请检查配置文件格式";
constexpr std::u16string_view kRootError = u"配置文件根目录错误，请用vemplugin标记节点作为根目录！";
constexpr std::u16string_view kOutOfMemory = u"生成描述文件时内存不足";
constexpr std::u16string_view kCheckCancelled = u"检查已取消";

struct RequiredAttribute {
    std::string_view name;
    std::u16string_view message;
};
constexpr std::array<RequiredAttribute, 4> kRequiredAttributes = {{
    {"id", u"配置文件的property节点缺少id属性或属性值为空！"},
    {"version", u"配置文件的property节点缺少version属性或属性值为空！"},
    {"type", u"配置文件的property节点缺少type属性或属性值为空！"},
    {"name", u"配置文件的property节点缺少name属性或属性值为空！"},
}};

// Paths to the XML library are limited to 260 bytes.
constexpr std::size_t kAnsiPathBytes = 260;
// Entity references inside entities, as deep as the XML library follows them.
constexpr int kMaxEntityDepth = 40;

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

std::string_view View(const xmlChar* text) {
    return text == nullptr ? std::string_view() : reinterpret_cast<const char*>(text);
}

std::u16string Decimal(std::uint64_t value) {
    const std::string digits = std::to_string(value);
    return std::u16string(digits.begin(), digits.end());
}

// What the parse of one configuration gathers. The document is read by callbacks, without a
// tree: the first "property" child's attributes are all it keeps. Every entity reference, in text,
// in attribute values and inside other entities, is charged its entity's replacement text against
// kMaxEntityBytes when the library looks the entity up, and again when an attribute value is
// expanded here: so neither time nor memory grows past a bound, whatever the entities.
struct ConfigParse {
    enum class Stop { None, Cancelled, Expansion, Memory, BadReference };

    // The parser of the file; the content of an entity gets a parser of its own.
    xmlParserCtxtPtr document = nullptr;
    const std::atomic<bool>* cancel = nullptr;
    Stop stop = Stop::None;
    std::string bad_reference;  // the attribute whose value held it
    std::size_t expanded = 0;   // bytes of replacement text charged so far

    std::size_t depth = 0;
    bool root_seen = false;
    bool root_is_vemplugin = false;
    bool property_seen = false;
    // The property element's attributes by local name, each name once (the first wins).
    std::vector<std::pair<std::string, std::string>> attributes;

    // The first error the library reported.
    bool error = false;
    int error_code = 0;
    int error_line = 0;
    std::string error_message;
};

// The parse under way on this thread: the library hands its callbacks the parser, which for an
// entity's content is a parser of its own.
thread_local ConfigParse* current_parse = nullptr;

void Halt(ConfigParse& parse, void* context, ConfigParse::Stop why) {
    if (parse.stop == ConfigParse::Stop::None) {
        parse.stop = why;
    }
    xmlStopParser(static_cast<xmlParserCtxtPtr>(context));
}

// Called by every callback: false once the parse is to end (and it is stopped).
bool Admit(void* context) {
    ConfigParse& parse = *current_parse;
    if (parse.stop != ConfigParse::Stop::None) {
        xmlStopParser(static_cast<xmlParserCtxtPtr>(context));
        return false;
    }
    if (parse.cancel != nullptr && parse.cancel->load()) {
        Halt(parse, context, ConfigParse::Stop::Cancelled);
        return false;
    }
    return true;
}

// Charges one reference to `entity`; false, with the parse stopped, once past the bound.
bool Charge(void* context, const xmlEntity& entity) {
    ConfigParse& parse = *current_parse;
    // A reference to an empty entity still costs its lookup.
    parse.expanded += static_cast<std::size_t>(std::max(entity.length, 0)) + 1;
    if (parse.expanded > PluginPackager::kMaxEntityBytes) {
        Halt(parse, context, ConfigParse::Stop::Expansion);
        return false;
    }
    return true;
}

bool IsXmlChar(unsigned long c) {
    return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) ||
           (c >= 0xE000 && c <= 0xFFFD) || (c >= 0x10000 && c <= 0x10FFFF);
}

// The value of a character reference's digits ("#38", "#x26"); 0 when it names no XML character.
unsigned long CharacterReference(std::string_view digits) {
    const bool hex = digits.size() > 1 && digits[1] == 'x';
    const std::string_view number = digits.substr(hex ? 2 : 1);
    if (number.empty() || number.size() > 8) {
        return 0;
    }
    unsigned long value = 0;
    for (const char c : number) {
        int digit = -1;
        if (c >= '0' && c <= '9') {
            digit = c - '0';
        } else if (hex && c >= 'a' && c <= 'f') {
            digit = c - 'a' + 10;
        } else if (hex && c >= 'A' && c <= 'F') {
            digit = c - 'A' + 10;
        }
        if (digit < 0) {
            return 0;
        }
        value = value * (hex ? 16 : 10) + static_cast<unsigned long>(digit);
    }
    return IsXmlChar(value) ? value : 0;
}

// Appends `text` to `out` with its references replaced, as XML normalises an attribute value.
// At depth 0 `text` is a value as the library hands it on when it leaves entities unexpanded:
// references as written, an ampersand as "&#38;", white space already made spaces. Deeper it is
// an entity's replacement text, whose white space becomes spaces here. False, with the parse
// stopped, when a reference cannot be replaced or the expansion goes too far.
bool Expand(ConfigParse& parse, void* context, std::string_view text, int depth, std::string& out) {
    for (std::size_t at = 0; at < text.size();) {
        const char c = text[at];
        if (c != '&') {
            if (depth > 0 && c == '<') {
                Halt(parse, context, ConfigParse::Stop::BadReference);
                return false;
            }
            out += depth > 0 && (c == '\t' || c == '\n' || c == '\r') ? ' ' : c;
            ++at;
            continue;
        }
        const std::size_t end = text.find(';', at);
        if (end == std::string_view::npos || end == at + 1) {
            Halt(parse, context, ConfigParse::Stop::BadReference);
            return false;
        }
        const std::string name(text.substr(at + 1, end - at - 1));
        at = end + 1;
        if (name[0] == '#') {
            const unsigned long character = CharacterReference(name);
            if (character == 0) {
                Halt(parse, context, ConfigParse::Stop::BadReference);
                return false;
            }
            platform::AppendUtf8(out, static_cast<char32_t>(character));
            continue;
        }
        const xmlChar* const key = reinterpret_cast<const xmlChar*>(name.c_str());
        const xmlEntity* entity = xmlGetPredefinedEntity(key);
        if (entity == nullptr) {
            entity = xmlGetDocEntity(parse.document->myDoc, key);
        }
        if (entity == nullptr || entity->content == nullptr) {
            Halt(parse, context, ConfigParse::Stop::BadReference);
            return false;
        }
        if (entity->etype == XML_INTERNAL_PREDEFINED_ENTITY) {
            out += View(entity->content);
            continue;
        }
        if (entity->etype != XML_INTERNAL_GENERAL_ENTITY || depth >= kMaxEntityDepth) {
            Halt(parse, context, ConfigParse::Stop::BadReference);
            return false;
        }
        // The library charged the references of the value itself as it looked them up; those
        // inside entities it looks up once at most, and they are expanded here every time.
        if (depth > 0 && !Charge(context, *entity)) {
            return false;
        }
        if (!Expand(parse, context, View(entity->content), depth + 1, out)) {
            return false;
        }
    }
    return true;
}

void OnStartElement(void* context, const xmlChar* local_name, const xmlChar*, const xmlChar*, int,
                    const xmlChar**, int attribute_count, int, const xmlChar** attributes) {
    ConfigParse& parse = *current_parse;
    if (!Admit(context)) {
        return;
    }
    const std::size_t depth = parse.depth++;
    if (depth == 0 && !parse.root_seen) {
        parse.root_seen = true;
        parse.root_is_vemplugin = View(local_name) == "vemplugin";
        return;
    }
    if (depth != 1 || parse.property_seen || View(local_name) != "property") {
        return;
    }
    parse.property_seen = true;
    try {
        // Attributes are kept by local name, without their namespace: a second one of the same
        // name (q:id beside id) would make the descriptor ill-formed XML.
        std::unordered_set<std::string_view> names;
        names.reserve(static_cast<std::size_t>(attribute_count));
        parse.attributes.reserve(static_cast<std::size_t>(attribute_count));
        for (int index = 0; index < attribute_count; ++index) {
            const xmlChar* const* attribute = attributes + 5 * index;
            const std::string_view name = View(attribute[0]);
            if (!names.insert(name).second) {
                continue;
            }
            if (parse.cancel != nullptr && parse.cancel->load()) {
                Halt(parse, context, ConfigParse::Stop::Cancelled);
                return;
            }
            std::string value;
            const std::string_view raw(reinterpret_cast<const char*>(attribute[3]),
                                       static_cast<std::size_t>(attribute[4] - attribute[3]));
            if (!Expand(parse, context, raw, 0, value)) {
                if (parse.stop == ConfigParse::Stop::BadReference) {
                    parse.bad_reference = name;
                }
                return;
            }
            parse.attributes.emplace_back(name, std::move(value));
        }
    } catch (const std::bad_alloc&) {
        Halt(parse, context, ConfigParse::Stop::Memory);
    }
}

void OnEndElement(void* context, const xmlChar*, const xmlChar*, const xmlChar*) {
    if (Admit(context) && current_parse->depth > 0) {
        --current_parse->depth;
    }
}

void OnText(void* context, const xmlChar*, int) {
    Admit(context);
}

void OnComment(void* context, const xmlChar*) {
    Admit(context);
}

void OnProcessingInstruction(void* context, const xmlChar*, const xmlChar*) {
    Admit(context);
}

void OnReference(void* context, const xmlChar*) {
    Admit(context);
}

// Every reference the library meets, however deep, is looked up here first.
xmlEntityPtr OnGetEntity(void* context, const xmlChar* name) {
    if (!Admit(context)) {
        return nullptr;
    }
    const xmlEntityPtr entity = xmlSAX2GetEntity(context, name);
    return entity == nullptr || Charge(context, *entity) ? entity : nullptr;
}

xmlEntityPtr OnGetParameterEntity(void* context, const xmlChar* name) {
    if (!Admit(context)) {
        return nullptr;
    }
    const xmlEntityPtr entity = xmlSAX2GetParameterEntity(context, name);
    return entity == nullptr || Charge(context, *entity) ? entity : nullptr;
}

void OnError(void*, xmlErrorPtr error) {
    ConfigParse& parse = *current_parse;
    // What the library says after the parse was stopped follows from the stop.
    if (error == nullptr || error->level < XML_ERR_ERROR || parse.error ||
        parse.stop != ConfigParse::Stop::None) {
        return;
    }
    parse.error = true;
    parse.error_code = error->code;
    parse.error_line = error->line;
    try {
        parse.error_message = View(reinterpret_cast<const xmlChar*>(error->message));
        while (!parse.error_message.empty() &&
               (parse.error_message.back() == '\n' || parse.error_message.back() == ' ')) {
            parse.error_message.pop_back();
        }
        // One line, as every message is.
        std::replace(parse.error_message.begin(), parse.error_message.end(), '\n', ' ');
    } catch (const std::bad_alloc&) {
        parse.error_code = XML_ERR_NO_MEMORY;
    }
}

// Parses `content` into `parse`. False when the library could not even start.
bool ParseConfig(std::span<const std::uint8_t> content, const char* url, ConfigParse& parse) {
    xmlSAXHandler handler;
    xmlSAXVersion(&handler, 2);
    // The document itself builds nothing: the library's own handlers keep only the DTD (its
    // entities and default attributes), which the parse needs.
    handler.startElement = nullptr;
    handler.endElement = nullptr;
    handler.startElementNs = OnStartElement;
    handler.endElementNs = OnEndElement;
    handler.characters = OnText;
    handler.ignorableWhitespace = OnText;
    handler.cdataBlock = OnText;
    handler.comment = OnComment;
    handler.processingInstruction = OnProcessingInstruction;
    handler.reference = OnReference;
    handler.getEntity = OnGetEntity;
    handler.getParameterEntity = OnGetParameterEntity;
    handler.externalSubset = nullptr;
    handler.warning = nullptr;
    handler.error = nullptr;
    handler.fatalError = nullptr;
    handler.serror = OnError;

    xmlParserCtxtPtr context = xmlCreateMemoryParserCtxt(
        reinterpret_cast<const char*>(content.data()), static_cast<int>(content.size()));
    if (context == nullptr) {
        return false;
    }
    *context->sax = handler;
    xmlCtxtUseOptions(context, XML_PARSE_NONET);
    if (context->input != nullptr && context->input->filename == nullptr) {
        context->input->filename =
            reinterpret_cast<char*>(xmlStrdup(reinterpret_cast<const xmlChar*>(url)));
    }
    parse.document = context;
    current_parse = &parse;
    // What the library reports without naming the parser (a failed conversion from the declared
    // encoding, say) is the parse's too, never printed.
    const xmlStructuredErrorFunc previous_handler = xmlStructuredError;
    void* const previous_context = xmlStructuredErrorContext;
    xmlSetStructuredErrorFunc(nullptr, OnError);
    xmlParseDocument(context);
    xmlSetStructuredErrorFunc(previous_context, previous_handler);
    current_parse = nullptr;
    if (!context->wellFormed && !parse.error && parse.stop == ConfigParse::Stop::None) {
        parse.error = true;
        parse.error_code = context->errNo;
    }
    xmlFreeDoc(context->myDoc);
    context->myDoc = nullptr;
    xmlFreeParserCtxt(context);
    parse.document = nullptr;
    return true;
}

// Why reading a configuration failed: the message, or the system's reason for a read error.
struct ReadFailure {
    std::u16string message{};  // empty: a read error, for `cause`
    std::error_code cause{};
};

// Reads the configuration at `path` whole, but never more than one may hold.
std::optional<ReadFailure> ReadConfigContent(std::u16string_view path,
                                             std::vector<std::uint8_t>& content) {
    platform::Result<platform::File> file = platform::File::OpenForReading(path);
    if (!file) {
        return ReadFailure{.cause = file.error()};
    }
    // The size is a hint (the file may change while it is read): the buffer grows to one byte
    // past the limit when the file fills it.
    constexpr std::size_t kLimit = PluginPackager::kMaxConfigBytes;
    const platform::Result<std::uint64_t> hint = file->Size();
    content.assign(static_cast<std::size_t>(std::min<std::uint64_t>(hint ? *hint : 0, kLimit)) + 1,
                   0);
    platform::Result<std::size_t> read = file->ReadFull(content);
    if (read && *read == content.size() && content.size() <= kLimit) {
        const std::size_t done = *read;
        content.resize(kLimit + 1);
        read = file->ReadFull(std::span(content).subspan(done));
        if (read) {
            *read += done;
        }
    }
    if (!read) {
        return ReadFailure{.cause = read.error()};
    }
    if (*read > kLimit) {
        const platform::Result<std::uint64_t> size = file->Size();
        return ReadFailure{.message = u"配置文件过大 " + std::u16string(path) + u"：" +
                                      (size ? Decimal(*size) + u" 字节，" : u"") + u"上限为 " +
                                      Decimal(kLimit) + u" 字节"};
    }
    content.resize(*read);
    if (content.empty()) {
        return ReadFailure{.message = std::u16string(kReadError) + u"：配置文件是空的"};
    }
    return std::nullopt;
}

// Why the parsed configuration is refused: the parse was stopped, the XML library reported an
// error, or the root or the property element is not as a plug-in needs. Nothing when it passes.
std::optional<std::u16string> ParseFailure(const ConfigParse& parse,
                                           std::u16string_view config_path) {
    switch (parse.stop) {
        case ConfigParse::Stop::Cancelled:
            return std::u16string(kCheckCancelled);
        case ConfigParse::Stop::Memory:
            return std::u16string(kOutOfMemory);
        case ConfigParse::Stop::Expansion:
            return u"配置文件中的实体展开后超过 " + Decimal(PluginPackager::kMaxEntityBytes) +
                   u" 字节";
        default:
            break;
    }
    if (parse.error) {
        if (parse.error_code == XML_ERR_NO_MEMORY) {
            return std::u16string(kOutOfMemory);
        }
        std::u16string message(kReadError);
        message += u'：';
        if (parse.error_line > 0) {
            message += u"第 " + Decimal(static_cast<std::uint64_t>(parse.error_line)) + u" 行：";
        }
        message += parse.error_message.empty()
                       ? u"错误 " + Decimal(static_cast<std::uint64_t>(parse.error_code))
                       : platform::FromNative(parse.error_message);
        return message;
    }
    if (parse.stop == ConfigParse::Stop::BadReference) {
        return std::u16string(kReadError) + u"：属性 " + platform::FromNative(parse.bad_reference) +
               u" 的值中有无法展开的实体引用";
    }
    if (!parse.root_seen || !parse.root_is_vemplugin) {
        return std::u16string(kRootError);
    }
    // Without it the descriptor would name no plug-in: a typo (<Property>) must not pass.
    if (!parse.property_seen) {
        return u"配置文件 " + std::u16string(config_path) + u" 中没有property节点！";
    }
    for (const RequiredAttribute& required : kRequiredAttributes) {
        const auto found =
            std::find_if(parse.attributes.begin(), parse.attributes.end(),
                         [&](const auto& attribute) { return attribute.first == required.name; });
        if (found == parse.attributes.end() || found->second.empty()) {
            return std::u16string(required.message);
        }
    }
    return std::nullopt;
}

// The descriptor: the root and the property element with `attributes`, escaped as the XML
// library writes attribute values.
std::string DescriptorText(const ConfigParse& parse) {
    std::string text = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n";
    text += "<vemplugin><property";
    for (const auto& [name, value] : parse.attributes) {
        text += ' ';
        text += name;
        text += "=\"";
        for (const char c : value) {
            switch (c) {
                case '<':
                    text += "&lt;";
                    break;
                case '>':
                    text += "&gt;";
                    break;
                case '&':
                    text += "&amp;";
                    break;
                case '"':
                    text += "&quot;";
                    break;
                case '\n':
                    text += "&#10;";
                    break;
                case '\r':
                    text += "&#13;";
                    break;
                case '\t':
                    text += "&#9;";
                    break;
                default:
                    text += c;
            }
        }
        text += '"';
    }
    text += "/></vemplugin>\n";
    return text;
}

// Writes `text` to the file at `path`, replacing it. A file left half-written is removed: it must
// never pass as a descriptor.
platform::Status SaveDescriptor(std::string_view text, std::u16string_view path) {
    std::array<char, kAnsiPathBytes> ansi_path;
    if (PluginPackager::WideToAnsi(path, ansi_path) == nullptr) {
        return std::make_error_code(std::errc::filename_too_long);
    }
    platform::Result<platform::File> file = platform::File::CreateAlways(path);
    if (!file) {
        return file.error();
    }
    const platform::Status written =
        file->WriteAll({reinterpret_cast<const std::uint8_t*>(text.data()), text.size()});
    const platform::Status closed = file->Close();
    if (!written || !closed) {
        static_cast<void>(platform::DeleteFile(path));
        return !written ? written : closed;
    }
    return {};
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

bool PluginPackager::CheckConfig(std::u16string_view config_path, std::string& descriptor,
                                 const std::atomic<bool>* cancel) {
    descriptor_fields_.clear();
    message_.clear();
    failure_path_.clear();
    failure_cause_.clear();
    descriptor.clear();
    InitXmlLibrary();
    std::array<char, kAnsiPathBytes> ansi_path;
    if (WideToAnsi(config_path, ansi_path) == nullptr) {
        return FailAt(u"配置文件读取错误", config_path,
                      std::make_error_code(std::errc::filename_too_long));
    }
    try {
        std::vector<std::uint8_t> content;
        if (const std::optional<ReadFailure> failed = ReadConfigContent(config_path, content)) {
            return failed->message.empty() ? FailAt(u"配置文件读取错误", config_path, failed->cause)
                                           : Fail(failed->message);
        }
        ConfigParse parse;
        parse.cancel = cancel;
        if (!ParseConfig(content, ansi_path.data(), parse)) {
            return Fail(kOutOfMemory);
        }
        if (const std::optional<std::u16string> failure = ParseFailure(parse, config_path)) {
            return Fail(*failure);
        }
        descriptor = DescriptorText(parse);
        descriptor_fields_ = std::move(parse.attributes);
    } catch (const std::bad_alloc&) {
        descriptor.clear();
        descriptor_fields_.clear();
        return Fail(kOutOfMemory);
    }
    return true;
}

bool PluginPackager::CheckConfigAndWriteDescriptor(std::u16string_view config_path,
                                                   std::u16string_view descriptor_path,
                                                   const std::atomic<bool>* cancel) {
    std::string descriptor;
    if (!CheckConfig(config_path, descriptor, cancel)) {
        return false;
    }
    if (const platform::Status saved = SaveDescriptor(descriptor, descriptor_path); !saved) {
        descriptor_fields_.clear();
        return FailAt(u"无法写入描述文件", descriptor_path, saved.error());
    }
    if (const auto found = platform::QueryFile(descriptor_path); !found) {
        descriptor_fields_.clear();
        return FailAt(u"无法读取描述文件", descriptor_path, found.error());
    }
    return true;
}

}  // namespace zelpack
