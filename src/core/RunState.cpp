#include "core/RunState.h"

namespace sorvane {

RunState& runState()
{
    static RunState state;
    return state;
}

} // namespace sorvane
