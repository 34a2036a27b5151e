#pragma once
// The zip archive that the backup delete method fills, one per drive letter
// and run.
#include "core/RunState.h"

#include <string>

namespace sorvane {

// Deletes the archive in use (after an abort); the archives of earlier drives stay.
void discardBackupArchive(RunState& run);

} // namespace sorvane
