#include "AboutDialogTemplate.h"

#include "BuildConfig.h"

#include <QtGlobal>

namespace vessaro::res {
namespace {
constexpr const char* kContext = "vessaro::CAboutDialog";
}

const DialogTemplate& AboutDialogTemplate() {
    static const DialogTemplate dialog{
        .id = kAboutDialogId,
        .context = kContext,
        .caption = QT_TRANSLATE_NOOP("vessaro::CAboutDialog", "关于 Vessaro"),
        .fontFace = "宋体",
        .pointSize = 9,
        .width = 235,
        .height = 55,
        .minimizeBox = false,
        .controls =
            {
                {kNoId,
                 ControlKind::Icon,
                 "",
                 {11, 17, 20, 20},
                 kNoStyle,
                 QT_TRANSLATE_NOOP("vessaro::CAboutDialog", "Vessaro 图标")},
                // %1 is the version of the build.
                {kIdVersion,
                 ControlKind::Static,
                 QT_TRANSLATE_NOOP("vessaro::CAboutDialog", "Vessaro %1 版"),
                 {40, 10, 119, 8},
                 kNoPrefix},
                {kNoId,
                 ControlKind::Static,
                 QT_TRANSLATE_NOOP("vessaro::CAboutDialog", "与陌生人一对一匿名聊天"),
                 {47, 40, 119, 8}},
                {kIdOk,
                 ControlKind::DefaultPushButton,
                 QT_TRANSLATE_NOOP("vessaro::CAboutDialog", "确定"),
                 {178, 7, 50, 14}},
                {kNoId, ControlKind::Static, VESSARO_WEB_URL, {39, 23, 97, 12}, kNoPrefix},
            },
    };
    return dialog;
}

} // namespace vessaro::res
