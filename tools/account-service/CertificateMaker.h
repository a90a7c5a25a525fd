#pragma once

#include <string>

// A self-signed certificate for a service on this machine (127.0.0.1, ::1 and
// localhost), valid for 30 days, with its P-256 key. The certificate is its own CA.
class CertificateMaker {
public:
    // Empty on success, otherwise what went wrong.
    static std::string selfSigned(const std::string& certPath, const std::string& keyPath);
};
