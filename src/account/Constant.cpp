#include "account/Constant.h"

#include <cstdlib>

#ifndef QUOVANT_ACCOUNT_HOST
#error "QUOVANT_ACCOUNT_HOST must be set by the build"
#endif
#ifndef QUOVANT_WEBSITE_HOST
#error "QUOVANT_WEBSITE_HOST must be set by the build"
#endif

const std::string& Constant::baseURL() {
    static const std::string url = [] {
        const char* host = std::getenv("QUOVANT_ACCOUNT_HOST");
        return "https://" + std::string(host && *host ? host : QUOVANT_ACCOUNT_HOST) + "/api/";
    }();
    return url;
}

const std::string& Constant::loginURL() {
    static const std::string url = baseURL() + "login";
    return url;
}

const std::string& Constant::profileURL() {
    static const std::string url = baseURL() + "profile";
    return url;
}

std::string Constant::websiteURL(const std::string& path) {
    return "https://" QUOVANT_WEBSITE_HOST + path;
}
