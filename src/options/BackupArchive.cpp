#include "options/BackupArchive.h"

namespace sorvane {

bool backupArchivesAvailable()
{
    // Archive writing is not part of this build yet.
    return false;
}

void discardBackupArchive(RunState& /*run*/)
{
    // No archive is ever opened while archives are unavailable.
}

} // namespace sorvane
