#pragma once

#include <string>

// The desktop session around the application.
class Desktop {
public:
    virtual ~Desktop() = default;
    // Opens a web page in the user's default browser; the outcome is not reported.
    virtual void openURL(const std::string& url) = 0;
};
