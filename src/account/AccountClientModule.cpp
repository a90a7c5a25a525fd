#include "account/AccountClientModule.h"

#include "account/AccountClient.h"

extern "C" __attribute__((visibility("default"))) AccountService* quovantMakeAccountClient() {
    return new AccountClient();
}
