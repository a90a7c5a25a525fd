#include "account/ProfileFile.h"

#include "TempDir.h"

#include <gtest/gtest.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

// Shows why a write failed when it should have succeeded.
::testing::AssertionResult written(const Result<void>& write) {
    if (write)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << write.why();
}

TEST(ProfileFile, WritesExactlyTheTextOwnerOnly) {
    TempDir dir;
    const auto path = (dir / "quovant.ovpn").string();
    dir.write("quovant.ovpn", "an older, longer profile that must not leave a tail behind\n",
              std::filesystem::perms(0644));
    EXPECT_TRUE(written(ProfileFile::write(path, "client\n")));
    EXPECT_EQ(readFile(path), "client\n");
    EXPECT_EQ(std::filesystem::status(path).permissions(), std::filesystem::perms(0600));
}

TEST(ProfileFile, RefusesWhatSomeoneElsePlantedAndLeavesItAlone) {
    TempDir dir;
    const auto victim = dir.write("victim", "the user's own file\n");
    const auto path = (dir / "quovant.ovpn").string();

    std::filesystem::create_symlink(victim, path);
    EXPECT_FALSE(written(ProfileFile::write(path, "client\n"))) << "a symbolic link";
    std::filesystem::remove(path);

    std::filesystem::create_hard_link(victim, path);
    EXPECT_FALSE(written(ProfileFile::write(path, "client\n"))) << "a second name of another file";
    std::filesystem::remove(path);

    std::filesystem::create_directory(path);
    EXPECT_FALSE(written(ProfileFile::write(path, "client\n"))) << "a directory";
    std::filesystem::remove(path);

    ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
    EXPECT_FALSE(written(ProfileFile::write(path, "client\n")))
        << "a FIFO, opened without blocking";
    std::filesystem::remove(path);

    if (::geteuid() == 0) {
        dir.write("quovant.ovpn", "planted\n", std::filesystem::perms(0666));
        ASSERT_EQ(::chown(path.c_str(), 1000, 1000), 0);
        EXPECT_FALSE(written(ProfileFile::write(path, "client\n"))) << "a file of another user";
        EXPECT_EQ(readFile(path), "planted\n");
    }
    EXPECT_EQ(readFile(victim), "the user's own file\n");
}

TEST(ProfileFile, MakesItsDirectoryOwnerOnlyAndRefusesOneThatIsNotTheUsers) {
    TempDir dir;
    const auto own = dir / "quovant";
    EXPECT_TRUE(written(ProfileFile::write((own / "quovant.ovpn").string(), "client\n")));
    EXPECT_EQ(std::filesystem::status(own).permissions(), std::filesystem::perms(0700));

    std::filesystem::permissions(own, std::filesystem::perms(0777));
    EXPECT_TRUE(written(ProfileFile::write((own / "quovant.ovpn").string(), "client\n")));
    EXPECT_EQ(std::filesystem::status(own).permissions(), std::filesystem::perms(0700))
        << "made owner-only again";

    const auto elsewhere = dir / "elsewhere";
    std::filesystem::create_directory(elsewhere);
    const auto link = dir / "linked";
    std::filesystem::create_directory_symlink(elsewhere, link);
    EXPECT_FALSE(written(ProfileFile::write((link / "quovant.ovpn").string(), "client\n")));
    EXPECT_FALSE(std::filesystem::exists(elsewhere / "quovant.ovpn")) << "the link is not followed";

    if (::geteuid() == 0) {
        const auto foreign = dir / "foreign";
        std::filesystem::create_directory(foreign);
        ASSERT_EQ(::chown(foreign.c_str(), 1000, 1000), 0);
        EXPECT_FALSE(written(ProfileFile::write((foreign / "quovant.ovpn").string(), "client\n")));
        EXPECT_FALSE(std::filesystem::exists(foreign / "quovant.ovpn"));
    }
}

// Without a runtime directory the profile goes to the user's cache, made owner-only with
// whatever is missing above it, never to a name in /tmp another user could make first.
TEST(ProfileFile, DefaultPathIsTheUsersOwnWithOrWithoutARuntimeDirectory) {
    TempDir home;
    const std::string base = home.path().string();
    struct Case {
        const char *runtime, *cache, *expected;
    } cases[] = {
        {"/run/user/1234", "/c", "/run/user/1234/quovant/quovant.ovpn"},
        {nullptr, "/c", "/c/quovant/quovant.ovpn"},
        {nullptr, "relative", "@/.cache/quovant/quovant.ovpn"},
        {"", nullptr, "@/.cache/quovant/quovant.ovpn"},
    };
    const std::vector<std::string> names = {"XDG_RUNTIME_DIR", "XDG_CACHE_HOME", "HOME"};
    std::vector<std::optional<std::string>> saved;
    for (const auto& name : names)
        saved.push_back(std::getenv(name.c_str()) ? std::optional(std::getenv(name.c_str()))
                                                  : std::nullopt);
    auto set = [](const char* name, const char* value) {
        value ? ::setenv(name, value, 1) : ::unsetenv(name);
    };
    ::setenv("HOME", base.c_str(), 1);
    for (const Case& c : cases) {
        set("XDG_RUNTIME_DIR", c.runtime);
        set("XDG_CACHE_HOME", c.cache);
        std::string expected = c.expected;
        if (expected[0] == '@')
            expected = base + expected.substr(1);
        EXPECT_EQ(ProfileFile::defaultPath(), expected);
    }
    EXPECT_TRUE(written(ProfileFile::write(ProfileFile::defaultPath(), "client\n")));
    for (const char* dir : {"/.cache", "/.cache/quovant"})
        EXPECT_EQ(std::filesystem::status(base + dir).permissions(), std::filesystem::perms(0700));
    for (size_t i = 0; i < names.size(); ++i)
        set(names[i].c_str(), saved[i] ? saved[i]->c_str() : nullptr);
}

} // namespace
