#pragma once

#include "DialogTemplate.h"

namespace vessaro::res {

// Dialog 102: the matching window.
inline constexpr int kMatchDialogId = 102;

namespace match_ids {
inline constexpr int kHtmlArea = 1035; // placeholder that the information page replaces
inline constexpr int kInfo = 1028;     // connection messages and the requirement summary
inline constexpr int kStatus = 1023;   // "空闲", "等待", "对话"
inline constexpr int kStart = 1017;    // 开始
inline constexpr int kCancel = 1001;   // 取消
} // namespace match_ids

const DialogTemplate& MatchDialogTemplate();

} // namespace vessaro::res
