#include "helperd/ResolverFacts.h"

#include "TempDir.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

TEST(ResolverFacts, FollowsTheLinkEvenToWhatIsGoneAndKnowsResolvectlUnderAnotherName) {
    const TempDir temp;
    const fs::path& dir = temp.path();
    fs::create_directories(dir / "etc");
    fs::create_directories(dir / "run/resolve");
    fs::create_directories(dir / "bin");
    ResolverFacts paths{(dir / "etc/resolv.conf").string(), (dir / "run/resolve/socket").string(),
                        (dir / "bin/resolvconf").string(), (dir / "sbin/resolvconf").string()};
    const auto facts = [&] { return paths.read(); };

    EXPECT_EQ(facts().resolvConfTarget, "") << "none there";
    EXPECT_FALSE(facts().resolvedRunning);
    EXPECT_FALSE(facts().resolvconfInstalled);

    fs::create_symlink("../run/resolve/stub", dir / "etc/resolv.conf");
    EXPECT_EQ(facts().resolvConfTarget, (dir / "run/resolve/stub").string()) << "a dangling link";
    std::ofstream(dir / "run/resolve/stub") << "nameserver 127.0.0.53\n";
    EXPECT_EQ(facts().resolvConfTarget, (dir / "run/resolve/stub").string());
    fs::remove(dir / "etc/resolv.conf");
    std::ofstream(dir / "etc/resolv.conf") << "nameserver 192.0.2.53\n";
    EXPECT_EQ(facts().resolvConfTarget, "") << "a file";

    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s", paths.resolvedSocket.c_str());
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    EXPECT_FALSE(facts().resolvedRunning) << "a socket nobody listens on";
    ASSERT_EQ(::listen(fd, 1), 0);
    EXPECT_TRUE(facts().resolvedRunning);
    ::close(fd);
    EXPECT_FALSE(facts().resolvedRunning) << "the socket file a stopped resolved left";

    std::ofstream(dir / "bin/resolvectl") << "#!/bin/sh\n";
    fs::permissions(dir / "bin/resolvectl", fs::perms::owner_all);
    fs::create_symlink("resolvectl", dir / "bin/resolvconf");
    EXPECT_FALSE(facts().resolvconfInstalled) << "resolved's resolvconf";
    fs::remove(dir / "bin/resolvconf");
    fs::copy_file(dir / "bin/resolvectl", dir / "bin/resolvconf");
    EXPECT_TRUE(facts().resolvconfInstalled);
    EXPECT_FALSE(paths.openresolv()) << "Debian's resolvconf knows no -x";
    std::ofstream(dir / "bin/resolvconf")
        << "#!/bin/sh\nRESOLVCONF=\"$0\"\nOPENRESOLV_VERSION=\"3.12.0\"\n";
    EXPECT_TRUE(paths.openresolv());
}

} // namespace
