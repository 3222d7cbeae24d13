#include "MatchDialogTemplate.h"

#include <QtGlobal>

namespace vessaro::res {

const DialogTemplate& MatchDialogTemplate() {
    using namespace match_ids;
    static const DialogTemplate dialog{
        .id = kMatchDialogId,
        .context = "vessaro::CMatchDialog",
        .caption = QT_TRANSLATE_NOOP("vessaro::CMatchDialog", "Vessaro客户端"),
        .fontFace = "宋体",
        .pointSize = 9,
        .width = 359,
        .height = 192,
        .minimizeBox = true,
        .controls =
            {
                {kHtmlArea,
                 ControlKind::Placeholder,
                 "",
                 {7, 7, 253, 178},
                 kNoStyle,
                 QT_TRANSLATE_NOOP("vessaro::CMatchDialog", "信息页面")},
                {kNoId,
                 ControlKind::GroupBox,
                 QT_TRANSLATE_NOOP("vessaro::CMatchDialog", "信息"),
                 {270, 5, 85, 90}},
                {kInfo, ControlKind::Static, "", {275, 20, 75, 65}},
                {kNoId,
                 ControlKind::GroupBox,
                 QT_TRANSLATE_NOOP("vessaro::CMatchDialog", "状态"),
                 {280, 100, 65, 25}},
                {kStatus,
                 ControlKind::Static,
                 QT_TRANSLATE_NOOP("vessaro::CMatchDialog", "空闲"),
                 {300, 110, 26, 12},
                 kCentered},
                {kStart,
                 ControlKind::DefaultPushButton,
                 QT_TRANSLATE_NOOP("vessaro::CMatchDialog", "开始"),
                 {280, 135, 65, 21}},
                {kCancel,
                 ControlKind::PushButton,
                 QT_TRANSLATE_NOOP("vessaro::CMatchDialog", "取消"),
                 {280, 165, 65, 21}},
            },
    };
    return dialog;
}

} // namespace vessaro::res
