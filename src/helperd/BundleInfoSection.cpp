// The helper's info dictionary, kept in its own ELF section so that the application
// can read the version of a helper copy without running it.
#include "helper/BundleInfo.h"

#ifndef QUOVANT_HELPER_VERSION
#error "QUOVANT_HELPER_VERSION must be defined by the build"
#endif

__attribute__((section(".quovant_info"), used)) static const char bundleInfo[] =
    "{\"CFBundleIdentifier\":\"com.quovant.macos.helper\",\"CFBundleVersion\":"
    "\"" QUOVANT_HELPER_VERSION "\"}";
