#include "core/RunState.h"

#include "store/BackupArchive.h"

namespace sorvane {

RunState& runState()
{
    static RunState state;
    return state;
}

void discardRunArchive(RunState& run)
{
    if (discardBackupArchive())
        run.bLocked = -1;
}

} // namespace sorvane
