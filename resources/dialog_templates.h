// The two dialog templates of the desktop program, in dialog units, with their control ids.
// Controls are listed in template order, which is also the tab order.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string_view>

namespace zelpack::resources {

// Resource numbers.
inline constexpr int kMainDialogTemplate = 129;
inline constexpr int kProgressDialogTemplate = 201;
inline constexpr int kApplicationIcon = 128;

// Control and command ids.
inline constexpr int kIdOk = 1;  // the dialog's default command: Enter off a push button
inline constexpr int kIdCancel = 2;
inline constexpr int kIdFolderEdit = 1002;
inline constexpr int kIdBrowse = 1003;
inline constexpr int kIdFileList = 1004;
inline constexpr int kIdSelectAll = 1006;
inline constexpr int kIdPack = 1008;
inline constexpr int kIdStatus = 1009;
inline constexpr int kIdRefresh = 1010;
inline constexpr int kNoId = -1;

enum class ControlClass { PushButton, Static, Edit, ListView, GroupBox };

// Style bits the programs look at.
inline constexpr std::uint32_t kTabStop = 0x1;
inline constexpr std::uint32_t kGroup = 0x2;
inline constexpr std::uint32_t kBorder = 0x4;
inline constexpr std::uint32_t kAutoHorizontalScroll = 0x8;

struct ControlTemplate {
    int id;
    ControlClass kind;
    std::u16string_view text;
    int x, y, width, height;
    std::uint32_t styles;
};

struct DialogTemplate {
    int resource;
    std::u16string_view caption;
    int width, height;
    std::u16string_view font;
    int point_size;
    bool minimise_box;
    std::span<const ControlTemplate> controls;
};

inline constexpr std::array<ControlTemplate, 9> kMainDialogControls{{
    {kIdPack, ControlClass::PushButton, u"打包...", 154, 308, 50, 14, kTabStop},
    {kIdCancel, ControlClass::PushButton, u"取消", 211, 308, 50, 14, kTabStop},
    {kNoId, ControlClass::Static, u"插件文件夹:", 15, 23, 45, 8, kGroup},
    {kIdFolderEdit, ControlClass::Edit, u"", 62, 20, 164, 14,
     kBorder | kAutoHorizontalScroll | kTabStop},
    {kIdBrowse, ControlClass::PushButton, u"...", 230, 20, 23, 14, kTabStop},
    {kIdFileList, ControlClass::ListView, u"", 15, 40, 238, 230, kBorder | kTabStop},
    {kIdSelectAll, ControlClass::PushButton, u"全选/取消", 15, 273, 50, 14, kTabStop},
    {kNoId, ControlClass::GroupBox, u"文件信息", 7, 6, 254, 291, 0},
    {kIdRefresh, ControlClass::PushButton, u"刷新", 72, 273, 50, 14, kTabStop},
}};

inline constexpr DialogTemplate kMainDialog{
    kMainDialogTemplate, u"ZEL插件打包工具", 268, 329, u"宋体", 9, true, kMainDialogControls};

inline constexpr std::array<ControlTemplate, 2> kProgressDialogControls{{
    {kIdStatus, ControlClass::Static, u"", 31, 20, 185, 25, 0},
    {kIdCancel, ControlClass::PushButton, u"取消", 169, 46, 50, 14, kTabStop},
}};

inline constexpr DialogTemplate kProgressDialog{
    kProgressDialogTemplate, u"正在打包...", 238, 67, u"宋体", 9, false, kProgressDialogControls};

}  // namespace zelpack::resources
