#pragma once

// The VPN side's fixed diagnostic lines, which people and scripts that read Quovant's
// logs match on. Their spelling is part of that contract and is kept on purpose:
// "termiationStatus", "managment" and the "XPCService" prefix (from the product's first
// platform) read like typos but are what the log has always said.
namespace LogText {

inline constexpr const char* openVPNExited = "OpenVPN exited: termiationStatus=";
inline constexpr const char* helperError = "XPCService error: ";
inline constexpr const char* managementStartFailed = "error while starting mgmt interface";
inline constexpr const char* unrecognizedLine = "MGMT: Got unrecognized line from managment";
inline constexpr const char* unrecognizedCommand = "MGMT: Got unrecognized command";

} // namespace LogText
