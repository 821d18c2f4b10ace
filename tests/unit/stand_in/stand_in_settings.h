// The stand-in's per-user settings store (os/settings.h), in memory.
#pragma once

namespace fakeos {

void ResetSettings();
// Setting writes fail, as for a user who may not write the key.
void FailSettingWrites();

} // namespace fakeos
