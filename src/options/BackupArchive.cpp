#include "options/BackupArchive.h"

namespace sorvane {

void discardBackupArchive(RunState& /*run*/)
{
    // No archive is ever opened while archives are unavailable.
}

} // namespace sorvane
