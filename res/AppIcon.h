#pragma once

#include <QIcon>

namespace vessaro::res {

// Icon resource 128: the application icon, drawn for every size the desktop asks for.
inline constexpr int kAppIconId = 128;
QIcon AppIcon();

// Makes the images built into the program (icon sizes, the default skin's images) reachable under
// ":/vessaro/"; safe to call any number of times.
void InitResources();

} // namespace vessaro::res
