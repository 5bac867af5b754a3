#include "platform/platform.h"

namespace platform {

namespace {
Platform* installed = nullptr;
}

Platform& Current() {
    return installed != nullptr ? *installed : SystemPlatform();
}

ScopedPlatform::ScopedPlatform(Platform& replacement) : previous_(installed) {
    installed = &replacement;
}

ScopedPlatform::~ScopedPlatform() {
    installed = previous_;
}

}  // namespace platform
