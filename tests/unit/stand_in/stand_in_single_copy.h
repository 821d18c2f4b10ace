// The stand-in's single-copy claim (os/single_copy.h): a claim finds another copy while a claim on
// the same name (case does not count) is held, or when a test says a copy runs in another process.
// The journal gets "guard" for each claim.
#pragma once

namespace fakeos {

void ResetSingleCopy();
void SetAnotherCopyRunning(bool running);

} // namespace fakeos
