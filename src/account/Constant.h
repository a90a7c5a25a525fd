#pragma once

#include <string>

// The account service's addresses and the product web site. The hosts are
// deployment values; QUOVANT_ACCOUNT_HOST points a development or test build at
// another account service (for instance "127.0.0.1:8443").
class Constant {
public:
    static const std::string& baseURL();    // "https://" + account host + "/api/"
    static const std::string& loginURL();   // baseURL + "login"
    static const std::string& profileURL(); // baseURL + "profile"

    static std::string websiteURL(const std::string& path); // "https://" + web site host + path
};
