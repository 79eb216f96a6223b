// Build-machine tool of the Windows build: writes the resource script of zelpack-gui.exe from
// dialog_templates.h, so that the dialogs the program creates and the layout its code and tests
// read from the header can never drift apart.
//
//   rc_generator OUT.rc [OUT.ico PNG...]
//
// The script names the icon as zelpack.ico; the build puts it beside the script and hands windres
// that folder (the process manifest goes into every program: CMakeLists.txt). With OUT.ico, the
// pictures are also packed into an icon file, one entry per PNG, the PNG data kept as it is (valid
// since Windows Vista), so the Windows icon and the Linux one are the same pictures.
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "resources/dialog_templates.h"

namespace {

namespace res = zelpack::resources;

constexpr std::string_view kIconFile = "zelpack.ico";

// windres reads the script as UTF-8 under the code_page pragma.
bool AppendUtf8(std::string& out, std::u16string_view text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        std::uint32_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            return false;
        }
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return true;
}

// A string literal of the script: quotes doubled, backslashes escaped (rc reads C escapes).
bool AppendQuoted(std::string& out, std::u16string_view text) {
    std::string utf8;
    if (!AppendUtf8(utf8, text)) {
        return false;
    }
    out += '"';
    for (const char c : utf8) {
        if (c == '"') {
            out += "\"\"";
        } else if (c == '\\') {
            out += "\\\\";
        } else {
            out += c;
        }
    }
    out += '"';
    return true;
}

// Each statement's own default styles (PUSHBUTTON: WS_TABSTOP; LTEXT: WS_GROUP; EDITTEXT:
// WS_BORDER | WS_TABSTOP) are cleared with NOT where the template leaves them out, so that the
// compiled styles carry exactly the template's bits.
std::string StyleList(std::vector<std::string> styles) {
    std::string out;
    for (const auto& style : styles) {
        if (!out.empty()) {
            out += " | ";
        }
        out += style;
    }
    return out;
}

void AddBit(std::vector<std::string>& styles, std::uint32_t bits, std::uint32_t bit,
            const char* style, bool statement_default) {
    if (bits & bit) {
        styles.emplace_back(style);
    } else if (statement_default) {
        styles.push_back(std::string("NOT ") + style);
    }
}

std::optional<std::string> ControlLine(const res::ControlTemplate& control) {
    using Kind = res::ControlClass;
    std::string line = "    ";
    std::vector<std::string> styles;
    const auto bits = control.styles;
    const bool button = control.kind == Kind::PushButton;
    const bool label = control.kind == Kind::Static;
    const bool edit = control.kind == Kind::Edit;
    switch (control.kind) {
        case Kind::PushButton:
            line += "PUSHBUTTON ";
            styles.emplace_back("BS_PUSHBUTTON");
            break;
        case Kind::Static:
            line += "LTEXT ";
            styles.emplace_back("SS_LEFT");
            break;
        case Kind::Edit:
            // EDITTEXT has no text: an edit control's text is the program's.
            if (!control.text.empty()) {
                std::cerr << "rc_generator: edit control " << control.id << " has a text\n";
                return std::nullopt;
            }
            line += "EDITTEXT ";
            styles.emplace_back("ES_LEFT");
            break;
        case Kind::ListView:
            line += "CONTROL ";
            styles.emplace_back("LVS_REPORT | LVS_ALIGNLEFT");
            break;
        case Kind::GroupBox:
            line += "GROUPBOX ";
            styles.emplace_back("BS_GROUPBOX");
            break;
    }
    if (!edit) {
        if (!AppendQuoted(line, control.text)) {
            std::cerr << "rc_generator: control " << control.id << ": malformed UTF-16 text\n";
            return std::nullopt;
        }
        line += ", ";
    }
    line += std::to_string(control.id);
    if (control.kind == Kind::ListView) {
        line += ", \"SysListView32\"";
    }
    if (edit) {
        AddBit(styles, bits, res::kAutoHorizontalScroll, "ES_AUTOHSCROLL", false);
    }
    AddBit(styles, bits, res::kBorder, "WS_BORDER", edit);
    AddBit(styles, bits, res::kTabStop, "WS_TABSTOP", button || edit);
    AddBit(styles, bits, res::kGroup, "WS_GROUP", label);
    // CONTROL takes the style before the rectangle; the other statements after it.
    const std::string rectangle = std::to_string(control.x) + ", " + std::to_string(control.y) +
                                  ", " + std::to_string(control.width) + ", " +
                                  std::to_string(control.height);
    if (control.kind == Kind::ListView) {
        line += ", " + StyleList(styles) + ", " + rectangle;
    } else {
        line += ", " + rectangle + ", " + StyleList(styles);
    }
    line += '\n';
    return line;
}

bool AppendDialog(std::string& out, const res::DialogTemplate& dialog) {
    out += std::to_string(dialog.resource) + " DIALOGEX 0, 0, " + std::to_string(dialog.width) +
           ", " + std::to_string(dialog.height) + '\n';
    // The main window minimises but keeps its size; the progress window is a fixed modal frame.
    // Neither is DS_CENTER: the program places them.
    out += dialog.minimise_box
               ? "STYLE DS_SETFONT | WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX\n"
               : "STYLE DS_SETFONT | DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_SYSMENU\n";
    out += "CAPTION ";
    if (!AppendQuoted(out, dialog.caption)) {
        return false;
    }
    out += "\nFONT " + std::to_string(dialog.point_size) + ", ";
    if (!AppendQuoted(out, dialog.font)) {
        return false;
    }
    out += "\nBEGIN\n";
    for (const auto& control : dialog.controls) {
        const auto line = ControlLine(control);
        if (!line) {
            return false;
        }
        out += *line;
    }
    out += "END\n\n";
    return true;
}

std::string Script() {
    std::string out =
        "// Generated by resources/rc_generator.cpp from resources/dialog_templates.h.\n"
        "#pragma code_page(65001)\n"
        "#include <windows.h>\n"
        "#include <commctrl.h>\n\n";
    out += std::to_string(res::kApplicationIcon) + " ICON \"" + std::string(kIconFile) + "\"\n\n";
    return out;
}

bool WriteFile(const std::string& path, std::string_view bytes) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    file.close();
    if (!file) {
        std::cerr << "rc_generator: cannot write " << path << '\n';
        std::remove(path.c_str());
        return false;
    }
    return true;
}

std::uint32_t BigEndian32(const std::string& bytes, std::size_t at) {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < 4; ++i) {
        value = (value << 8) | static_cast<std::uint8_t>(bytes[at + i]);
    }
    return value;
}

void Little16(std::string& out, std::uint32_t value) {
    out += static_cast<char>(value & 0xFF);
    out += static_cast<char>((value >> 8) & 0xFF);
}

void Little32(std::string& out, std::uint32_t value) {
    Little16(out, value & 0xFFFF);
    Little16(out, value >> 16);
}

struct Picture {
    std::string png;
    std::uint32_t width, height, bit_count;
};

// The directory entry's size and depth come from the PNG's header chunk, which must come first.
std::optional<Picture> ReadPng(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    Picture picture{std::string(std::istreambuf_iterator<char>(file), {}), 0, 0, 0};
    const bool read = !file.fail() && !file.bad();
    constexpr std::string_view kSignature = "\x89PNG\r\n\x1a\n";
    const std::string& png = picture.png;
    if (!read || png.size() < 33 || png.compare(0, 8, kSignature) != 0 ||
        BigEndian32(png, 8) != 13 || png.compare(12, 4, "IHDR") != 0) {
        std::cerr << "rc_generator: " << path << " is not a readable PNG\n";
        return std::nullopt;
    }
    picture.width = BigEndian32(png, 16);
    picture.height = BigEndian32(png, 20);
    const std::uint32_t depth = static_cast<std::uint8_t>(png[24]);
    const std::uint32_t colour_type = static_cast<std::uint8_t>(png[25]);
    std::uint32_t channels = 0;
    switch (colour_type) {
        case 0:  // grey
        case 3:  // palette indices
            channels = 1;
            break;
        case 2:
            channels = 3;
            break;
        case 4:
            channels = 2;
            break;
        case 6:
            channels = 4;
            break;
    }
    picture.bit_count = depth * channels;
    if (channels == 0 || picture.width == 0 || picture.width > 256 || picture.height == 0 ||
        picture.height > 256) {
        std::cerr << "rc_generator: " << path << ": no icon picture (size or colour type)\n";
        return std::nullopt;
    }
    return picture;
}

std::optional<std::string> Icon(const std::vector<std::string>& paths) {
    std::vector<Picture> pictures;
    for (const auto& path : paths) {
        auto picture = ReadPng(path);
        if (!picture) {
            return std::nullopt;
        }
        pictures.push_back(std::move(*picture));
    }
    std::string out;
    Little16(out, 0);
    Little16(out, 1);  // an icon, not a cursor
    Little16(out, static_cast<std::uint32_t>(pictures.size()));
    std::uint32_t offset = 6 + 16 * static_cast<std::uint32_t>(pictures.size());
    for (const auto& picture : pictures) {
        out += static_cast<char>(picture.width & 0xFF);  // 256 is written as 0
        out += static_cast<char>(picture.height & 0xFF);
        out += static_cast<char>(picture.bit_count < 8 ? 1u << picture.bit_count : 0);
        out += '\0';
        Little16(out, 1);  // planes
        Little16(out, picture.bit_count);
        Little32(out, static_cast<std::uint32_t>(picture.png.size()));
        Little32(out, offset);
        offset += static_cast<std::uint32_t>(picture.png.size());
    }
    for (const auto& picture : pictures) {
        out += picture.png;
    }
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2 || argc == 3) {
        std::cerr << "usage: rc_generator OUT.rc [OUT.ico PNG...]\n";
        return 2;
    }
    std::string script = Script();
    for (const auto* dialog : {&res::kMainDialog, &res::kProgressDialog}) {
        if (!AppendDialog(script, *dialog)) {
            return 1;
        }
    }
    if (argc > 3) {
        const auto icon = Icon(std::vector<std::string>(argv + 3, argv + argc));
        if (!icon || !WriteFile(argv[2], *icon)) {
            return 1;
        }
    }
    return WriteFile(argv[1], script) ? 0 : 1;
}
