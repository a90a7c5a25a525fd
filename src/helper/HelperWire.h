#pragma once

#include "platform/UserMessage.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// The helper's wire format: one compact JSON object per LF-terminated line over a
// Unix stream socket, each carrying the protocol version "v" and a request "id". A
// runOpenVPN request carries the open profile and a started reply the connected
// management channel as descriptors sent with the line (FdPassing), not in it.
// docs/helper-protocol.md describes it for peers.
struct HelperRequest {
    enum class Operation { getVersion, runOpenVPN, killOpenVPN, releaseBlock };

    uint64_t id = 0;
    Operation operation = Operation::getVersion;
    std::string clientUp;
    std::string clientDown;
    bool blockLeaks = false;        // runOpenVPN: block traffic outside the tunnel during the run
    bool allowLocalNetwork = false; // with blockLeaks: let the private address ranges through
    // killOpenVPN: the application ends the run, not its user, so the run's block holds on.
    bool keepBlock = false;
};

struct HelperReply {
    // blockLifted: the block a `terminated` of this run said holds was ended by someone else.
    enum class Kind { version, started, terminated, blockLifted };

    uint64_t id = 0;
    Kind kind = Kind::version;
    std::string version;
    int32_t status = 0; // terminated
    // terminated: why a run was refused; blockLifted: by whom. Its parts travel as plain text.
    UserMessage reason;
    bool blocking = false; // terminated: the run's block holds on until released
};

class HelperWire {
public:
    static constexpr int protocolVersion = 1;
    static constexpr size_t maxLineBytes = 64 * 1024;
    static constexpr size_t maxPathBytes = 4096;
    static constexpr size_t maxReasonBytes = 1024;
    static constexpr size_t maxReasonParts = 9;

    static const char* operationName(HelperRequest::Operation operation);
    static std::string encode(const HelperRequest& request);
    static std::string encode(const HelperReply& reply);
    // Empty for anything that is not exactly a valid message of this version.
    static std::optional<HelperRequest> decodeRequest(std::string_view line);
    static std::optional<HelperReply> decodeReply(std::string_view line);

    // What the daemon writes, in place of any reply, to a connection it will not serve
    // (too many from one user): that is a busy helper, not a missing one.
    static std::string encodeBusy(const std::string& reason);
    static std::optional<std::string> decodeBusy(std::string_view line);
};
