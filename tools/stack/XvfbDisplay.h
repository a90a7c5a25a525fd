#pragma once

#include "ChildProcess.h"

#include <memory>
#include <string>
#include <vector>

// An Xvfb server on a display number it picks itself, for as long as the object lives,
// reachable only from the network namespace it was started in.
class XvfbDisplay {
public:
    // `arguments` go to Xvfb besides its display choice and listeners. Throws when
    // it does not accept clients within 10 s.
    explicit XvfbDisplay(const std::vector<std::string>& arguments = {});

    // ":N", for DISPLAY.
    const std::string& name() const { return name_; }

private:
    std::string name_;
    std::unique_ptr<ChildProcess> server_;
};
