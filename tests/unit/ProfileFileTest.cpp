#include "account/ProfileFile.h"

#include "TempDir.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

TEST(ProfileFile, WritesExactlyTheTextOwnerOnly) {
    TempDir dir;
    const auto path = (dir / "quovant.ovpn").string();
    dir.write("quovant.ovpn", "an older, longer profile that must not leave a tail behind\n",
              std::filesystem::perms(0644));
    EXPECT_EQ(ProfileFile::write(path, "client\n"), "");
    EXPECT_EQ(readFile(path), "client\n");
    EXPECT_EQ(std::filesystem::status(path).permissions(), std::filesystem::perms(0600));
}

TEST(ProfileFile, RefusesWhatSomeoneElsePlantedAndLeavesItAlone) {
    TempDir dir;
    const auto victim = dir.write("victim", "the user's own file\n");
    const auto path = (dir / "quovant.ovpn").string();

    std::filesystem::create_symlink(victim, path);
    EXPECT_NE(ProfileFile::write(path, "client\n"), "") << "a symbolic link";
    std::filesystem::remove(path);

    std::filesystem::create_hard_link(victim, path);
    EXPECT_NE(ProfileFile::write(path, "client\n"), "") << "a second name of another file";
    std::filesystem::remove(path);

    std::filesystem::create_directory(path);
    EXPECT_NE(ProfileFile::write(path, "client\n"), "") << "a directory";
    std::filesystem::remove(path);

    ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
    EXPECT_NE(ProfileFile::write(path, "client\n"), "") << "a FIFO, opened without blocking";
    std::filesystem::remove(path);

    if (::geteuid() == 0) {
        dir.write("quovant.ovpn", "planted\n", std::filesystem::perms(0666));
        ASSERT_EQ(::chown(path.c_str(), 1000, 1000), 0);
        EXPECT_NE(ProfileFile::write(path, "client\n"), "") << "a file of another user";
        EXPECT_EQ(readFile(path), "planted\n");
    }
    EXPECT_EQ(readFile(victim), "the user's own file\n");
}

} // namespace
