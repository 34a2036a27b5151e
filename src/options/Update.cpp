#include "options/Update.h"

namespace sorvane {

bool finishUpdate()
{
    // No update stage is ever entered yet: the download side does not exist,
    // so there is nothing to complete.
    return false;
}

} // namespace sorvane
