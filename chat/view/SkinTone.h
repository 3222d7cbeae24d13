#pragma once

namespace vessaro {

// Whether the application's windows wear the dark skin. The skin service says so when it applies
// a skin; views that draw colours of their own (the transcript page) follow it.
bool DarkSkinApplied();
void SetDarkSkinApplied(bool dark);

} // namespace vessaro
