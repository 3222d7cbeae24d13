#pragma once

#include "DialogTemplate.h"

namespace vessaro::res {

// Dialog 100: the About box, reached from the matching window's menus.
inline constexpr int kAboutDialogId = 100;
inline constexpr int kIdOk = 1;
inline constexpr int kIdCancel = 2;

const DialogTemplate& AboutDialogTemplate();

} // namespace vessaro::res
