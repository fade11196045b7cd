// Builds without a drawing back end: streams decode, nothing is drawn.
#include "draw_target.h"

namespace netsdk {

std::unique_ptr<DrawTarget> openDrawTarget(void*)
{
    return nullptr;
}

} // namespace netsdk
