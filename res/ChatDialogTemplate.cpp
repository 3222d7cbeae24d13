#include "ChatDialogTemplate.h"

namespace vessaro::res {
namespace {

ControlTemplate Item(int id, ControlKind kind, const char* text, DialogRect rect,
                     unsigned styles = kNoStyle) {
    ControlTemplate control;
    control.id = id;
    control.kind = kind;
    control.text = text;
    control.rect = rect;
    control.styles = styles;
    return control;
}

} // namespace

const DialogTemplate& ChatDialogTemplate() {
    static const DialogTemplate dialog{
        .id = IDD_CHAT,
        .caption = "对话",
        .fontFace = "新宋体",
        .pointSize = 10,
        .width = 423,
        .height = 286,
        .minimizeBox = true,
        .controls =
            {
                Item(IDC_CHAT_ACCEPT, ControlKind::PushButton, "接受", {12, 265, 37, 14}),
                Item(IDC_CHAT_HANGUP, ControlKind::PushButton, "挂断", {57, 265, 37, 14}),
                Item(kNoId, ControlKind::Static,
                     "按回车发送，CTRL+回车换行\nCTRL+鼠标滚轮调整字体大小", {113, 262, 111, 17},
                     kCentered),
                Item(IDC_CHAT_SEND, ControlKind::DefaultPushButton, "发送", {287, 265, 37, 14}),
                Item(IDC_CHAT_CLOSE, ControlKind::PushButton, "关闭", {242, 265, 37, 14}),
                Item(IDC_CHAT_INPUT, ControlKind::Edit, "", {7, 205, 320, 55}, kMultiline),
                Item(IDC_CHAT_LOGO, ControlKind::Placeholder, "Static", {337, 205, 80, 65}),
                Item(IDC_CHAT_VIEW_PROFILE, ControlKind::PushButton, "点击查看", {242, 195, 40, 10},
                     kFlat | kCentered | kHidden),
                Item(IDC_CHAT_SEND_PICTURE, ControlKind::PushButton, "发送图片", {285, 193, 40, 10},
                     kFlat | kCentered | kHidden),
                Item(IDC_CHAT_TRANSCRIPT, ControlKind::Placeholder, "Static", {7, 5, 320, 185}),
                Item(IDC_CHAT_PEER_PROFILE, ControlKind::Static, "Static", {342, 15, 70, 70}),
                Item(kNoId, ControlKind::GroupBox, "对方资料", {337, 0, 80, 95}),
                Item(IDC_CHAT_MY_PROFILE, ControlKind::Static, "Static", {342, 116, 70, 70}),
                Item(kNoId, ControlKind::GroupBox, "我的资料", {337, 100, 80, 95}),
            },
    };
    return dialog;
}

const MenuTemplate& ChatMenuTemplate() {
    static const MenuTemplate menu{IDR_CHAT_MENU, "文件", {{ID_CHAT_SAVE, "保存"}}};
    return menu;
}

} // namespace vessaro::res
