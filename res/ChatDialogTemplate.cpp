#include "ChatDialogTemplate.h"

#include <QtGlobal>

namespace vessaro::res {
namespace {

constexpr const char* kContext = "vessaro::CChatDialog";

ControlTemplate Item(int id, ControlKind kind, const char* text, DialogRect rect,
                     unsigned styles = kNoStyle, const char* accessibleName = "") {
    ControlTemplate control;
    control.id = id;
    control.kind = kind;
    control.text = text;
    control.rect = rect;
    control.styles = styles;
    control.accessibleName = accessibleName;
    return control;
}

} // namespace

const DialogTemplate& ChatDialogTemplate() {
    static const DialogTemplate dialog{
        .id = IDD_CHAT,
        .context = kContext,
        .caption = QT_TRANSLATE_NOOP("vessaro::CChatDialog", "对话"),
        .fontFace = "新宋体",
        .pointSize = 10,
        .width = 423,
        .height = 286,
        .minimizeBox = true,
        .controls =
            {
                Item(IDC_CHAT_ACCEPT, ControlKind::PushButton,
                     QT_TRANSLATE_NOOP("vessaro::CChatDialog", "接受"), {12, 265, 37, 14}),
                Item(IDC_CHAT_HANGUP, ControlKind::PushButton,
                     QT_TRANSLATE_NOOP("vessaro::CChatDialog", "挂断"), {57, 265, 37, 14}),
                Item(kNoId, ControlKind::Static,
                     QT_TRANSLATE_NOOP("vessaro::CChatDialog",
                                       "按回车发送，CTRL+回车换行\nCTRL+鼠标滚轮调整字体大小"),
                     {113, 262, 111, 17}, kCentered),
                Item(IDC_CHAT_SEND, ControlKind::DefaultPushButton,
                     QT_TRANSLATE_NOOP("vessaro::CChatDialog", "发送"), {287, 265, 37, 14}),
                Item(IDC_CHAT_CLOSE, ControlKind::PushButton,
                     QT_TRANSLATE_NOOP("vessaro::CChatDialog", "关闭"), {242, 265, 37, 14}),
                Item(IDC_CHAT_INPUT, ControlKind::Edit, "", {7, 205, 320, 55}, kMultiline,
                     QT_TRANSLATE_NOOP("vessaro::CChatDialog", "输入框")),
                Item(IDC_CHAT_LOGO, ControlKind::Placeholder, "Static", {337, 205, 80, 65},
                     kNoStyle, QT_TRANSLATE_NOOP("vessaro::CChatDialog", "网站标志")),
                Item(IDC_CHAT_VIEW_PROFILE, ControlKind::PushButton,
                     QT_TRANSLATE_NOOP("vessaro::CChatDialog", "点击查看"), {242, 195, 40, 10},
                     kFlat | kCentered | kHidden),
                Item(IDC_CHAT_SEND_PICTURE, ControlKind::PushButton,
                     QT_TRANSLATE_NOOP("vessaro::CChatDialog", "发送图片"), {285, 193, 40, 10},
                     kFlat | kCentered | kHidden),
                Item(IDC_CHAT_TRANSCRIPT, ControlKind::Placeholder, "Static", {7, 5, 320, 185},
                     kNoStyle, QT_TRANSLATE_NOOP("vessaro::CChatDialog", "对话内容")),
                Item(IDC_CHAT_PEER_PROFILE, ControlKind::Static, "Static", {342, 15, 70, 70}),
                Item(kNoId, ControlKind::GroupBox,
                     QT_TRANSLATE_NOOP("vessaro::CChatDialog", "对方资料"), {337, 0, 80, 95}),
                Item(IDC_CHAT_MY_PROFILE, ControlKind::Static, "Static", {342, 116, 70, 70}),
                Item(kNoId, ControlKind::GroupBox,
                     QT_TRANSLATE_NOOP("vessaro::CChatDialog", "我的资料"), {337, 100, 80, 95}),
            },
    };
    return dialog;
}

const MenuTemplate& ChatMenuTemplate() {
    static const MenuTemplate menu{
        IDR_CHAT_MENU,
        QT_TRANSLATE_NOOP("vessaro::CChatDialog", "文件(&F)"),
        {{ID_CHAT_SAVE, QT_TRANSLATE_NOOP("vessaro::CChatDialog", "保存"), MenuShortcut::Save}},
        kContext,
    };
    return menu;
}

} // namespace vessaro::res
