#pragma once

#include "platform/Result.h"

#include <functional>
#include <string>

// Which of Qt's display platforms this start can use, decided before Qt is: Qt ends the
// process with an abort when none of those it tries works, and tries Wayland only when
// told to. A Wayland session is used natively where Qt's Wayland plugin is installed,
// X11 (or Xwayland) otherwise; a platform named in QT_QPA_PLATFORM is taken as named,
// of a list the first that can work. No usable platform is a failure that says why.
struct DisplayChoice {
    struct Facts {
        std::function<std::string(const char* name)> environment;
        std::function<bool(const std::string& plugin)> hasPlugin; // "wayland", "xcb"
    };
    // What QT_QPA_PLATFORM should be set to.
    static Result<std::string> choose(const Facts& facts);
};
