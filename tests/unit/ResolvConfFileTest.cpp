#include "helperd/ResolvConfFile.h"

#include "TempDir.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using Kind = ResolvConfFile::Original::Kind;

class ResolvConfFileTest : public testing::Test {
protected:
    void SetUp() override {
        dir_ = temp_.path().string();
        path_ = dir_ + "/resolv.conf";
    }

    void make(const ResolvConfFile::Original& o) {
        std::filesystem::remove(path_);
        if (o.kind == Kind::link) {
            ASSERT_EQ(::symlink(o.content.c_str(), path_.c_str()), 0);
        } else if (o.kind == Kind::file) {
            std::ofstream(path_) << o.content;
            ASSERT_EQ(::chmod(path_.c_str(), o.mode), 0);
        }
    }
    std::string entries() const {
        std::string names;
        for (const auto& e : std::filesystem::directory_iterator(dir_))
            names += e.path().filename().string() + " ";
        return names;
    }

    TempDir temp_;
    std::string dir_, path_;
};

TEST_F(ResolvConfFileTest, PutsBackWhatWasThereUnlessSomeoneChangedItSince) {
    const std::string ours = "nameserver 10.8.0.1\n";
    struct Case {
        const char* what;
        ResolvConfFile::Original original;
        bool changedSince;
    } const cases[] = {
        {"a file keeps its bytes and mode", {Kind::file, "nameserver 192.0.2.53\n", 0600}, false},
        {"a link comes back as the same link, its target untouched",
         {Kind::link, "target-that-must-not-be-written", 0644},
         false},
        {"no file comes back as none", {Kind::absent, "", 0644}, false},
        {"a newer file is kept", {Kind::file, "nameserver 192.0.2.53\n", 0644}, true},
    };
    const ResolvConfFile file(path_);
    for (const Case& c : cases) {
        make(c.original);
        const auto replaced = file.replace(ours);
        ASSERT_TRUE(replaced) << c.what;
        EXPECT_EQ(replaced.value(), c.original) << c.what;
        EXPECT_EQ(file.read().value(), (ResolvConfFile::Original{Kind::file, ours, 0644}))
            << c.what;
        EXPECT_FALSE(std::filesystem::exists(dir_ + "/target-that-must-not-be-written")) << c.what;
        const ResolvConfFile::Original newer{Kind::file, "nameserver 198.51.100.1\n", 0644};
        if (c.changedSince)
            make(newer);
        const auto restored = file.restore(replaced.value(), ours);
        ASSERT_TRUE(restored) << c.what;
        EXPECT_EQ(restored.value(), !c.changedSince) << c.what;
        EXPECT_EQ(file.read().value(), c.changedSince ? newer : c.original) << c.what;
        EXPECT_EQ(entries(),
                  c.original.kind == Kind::absent && !c.changedSince ? "" : "resolv.conf ")
            << c.what << ": nothing else is left beside it";
    }
}

TEST_F(ResolvConfFileTest, RefusesWhatIsNoSmallFile) {
    ASSERT_EQ(::mkdir(path_.c_str(), 0755), 0);
    EXPECT_FALSE(ResolvConfFile(path_).replace("nameserver 10.8.0.1\n"));
    ::rmdir(path_.c_str());
    std::ofstream(path_) << std::string(ResolvConfFile::maxBytes + 1, '#');
    EXPECT_FALSE(ResolvConfFile(path_).replace("nameserver 10.8.0.1\n"));
}

} // namespace
