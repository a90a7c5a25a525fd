#pragma once

#include <cstdint>
#include <functional>
#include <string>

// What the privileged helper does for the application. The daemon implements it;
// the application reaches it through a HelperConnection proxy.
class HelperProtocol {
public:
    using VersionHandler = std::function<void(const std::string& version)>;
    using TerminationHandler = std::function<void(int32_t terminationStatus)>;

    virtual ~HelperProtocol() = default;

    virtual void getVersion(VersionHandler reply) = 0;
    // Returns at once; `terminationHandler` runs once, when that openvpn has ended.
    virtual void runOpenVPN(const std::string& config, const std::string& clientUp,
                            const std::string& clientDown,
                            TerminationHandler terminationHandler) = 0;
    virtual void killOpenVPN() = 0;
};
