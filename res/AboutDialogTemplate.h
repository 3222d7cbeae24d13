#pragma once

#include "DialogTemplate.h"

namespace vessaro::res {

// Dialog 100: the About box, reached from the matching window's menus.
inline constexpr int kAboutDialogId = 100;
inline constexpr int kIdOk = 1;
inline constexpr int kIdCancel = 2;
// The line with the name and version, which the dialog completes with the build's version.
inline constexpr int kIdVersion = 1100;

const DialogTemplate& AboutDialogTemplate();

} // namespace vessaro::res
