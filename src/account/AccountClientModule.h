#pragma once

#include "account/AccountService.h"

// The HTTPS account client as a module the application loads at its first request:
// Qt Network, its TLS back end and OpenSSL are mapped then and not at start.
namespace AccountClientModule {

// The module's file name, in the application's libexec directory.
inline constexpr const char* fileName = "libquovant-account.so";
// The exported function that makes the client; the caller owns what it returns.
inline constexpr const char* makerName = "quovantMakeAccountClient";
using Maker = AccountService* (*)();

} // namespace AccountClientModule
