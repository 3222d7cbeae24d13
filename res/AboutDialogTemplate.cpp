#include "AboutDialogTemplate.h"

#include "BuildConfig.h"

namespace vessaro::res {

const DialogTemplate& AboutDialogTemplate() {
    static const DialogTemplate dialog{
        .id = kAboutDialogId,
        .caption = "关于 Tovani",
        .fontFace = "宋体",
        .pointSize = 9,
        .width = 235,
        .height = 55,
        .minimizeBox = false,
        .controls =
            {
                {kNoId, ControlKind::Icon, "", {11, 17, 20, 20}},
                {kNoId, ControlKind::Static, "Tovani 2.0 版", {40, 10, 119, 8}, kNoPrefix},
                {kNoId, ControlKind::Static, "与陌生人一对一匿名聊天", {47, 40, 119, 8}},
                {kIdOk, ControlKind::DefaultPushButton, "确定", {178, 7, 50, 14}},
                {kNoId, ControlKind::Static, VESSARO_WEB_URL, {39, 23, 97, 12}, kNoPrefix},
            },
    };
    return dialog;
}

} // namespace vessaro::res
