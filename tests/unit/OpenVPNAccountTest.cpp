#include "helperd/OpenVPNAccount.h"

#include <gtest/gtest.h>

namespace {

TEST(OpenVPNAccount, TakesTheTunnelDeviceOnlyWhereItsPermissionsLetTheAccountOpenIt) {
    constexpr uid_t account = 995;
    constexpr gid_t group = 995;
    const struct {
        uid_t owner;
        gid_t ownerGroup;
        mode_t mode;
        bool mayOpen;
    } cases[] = {
        {0, 0, 0666, true},        // Debian's udev
        {0, 0, 0600, false},       // a container's device, root's alone
        {0, 0, 0660, false},       // a group the account is not in
        {0, group, 0660, true},    // the account's group
        {0, group, 0640, false},   // its group may only read
        {account, 0, 0600, true},  // its own
        {account, 0, 0066, false}, // its own, but the owner's bits say no
    };
    for (const auto& c : cases) {
        struct stat device {};
        device.st_uid = c.owner;
        device.st_gid = c.ownerGroup;
        device.st_mode = S_IFCHR | c.mode;
        EXPECT_EQ(OpenVPNAccount::mayOpen(device, account, group), c.mayOpen)
            << std::oct << c.mode << " owner " << std::dec << c.owner << ":" << c.ownerGroup;
    }
}

} // namespace
