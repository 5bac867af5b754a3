#include "platform/platform.h"

namespace platform {

namespace {
Platform* installed = nullptr;
}

Platform& Current() {
    return installed != nullptr ? *installed : SystemPlatform();
}

void Install(Platform& replacement) {
    installed = &replacement;
}

}  // namespace platform
