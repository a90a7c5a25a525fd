#pragma once

#include "platform/Desktop.h"

class QtDesktop : public Desktop {
public:
    void openURL(const std::string& url) override;
};
