#pragma once

#include <QString>

namespace vessaro::res {

// The string table.
inline constexpr int kIdsAboutBox = 101;          // the About entry of the window's menus
inline constexpr int kIdsSocketsInitFailed = 103; // socket support cannot be started

// The text of string resource id; empty when there is none.
QString LoadResString(int id);

// The application's title: the caption of every message box and the tip of the tray icon.
QString AppTitle();

} // namespace vessaro::res
