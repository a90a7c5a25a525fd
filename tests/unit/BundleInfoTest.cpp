#include "helper/BundleInfo.h"

#include "ChildProcess.h"
#include "HelperDaemon.h"
#include "TempDir.h"

#include <gtest/gtest.h>

namespace {

TEST(BundleInfo, ReadsTheVersionEmbeddedInTheBuiltHelper) {
    const auto info = BundleInfo::read(HelperDaemon::builtHelper());
    ASSERT_TRUE(info);
    EXPECT_EQ(info->at("CFBundleVersion"), QUOVANT_TEST_PROJECT_VERSION);
    EXPECT_EQ(info->at("CFBundleIdentifier"), "com.quovant.macos.helper");
}

TEST(BundleInfo, ReadsAReplacedDictionary) {
    TempDir dir;
    dir.write("info.json", "{\"CFBundleVersion\":\"1.0\"}");
    ASSERT_EQ(
        runCommand({"objcopy", "--update-section", ".quovant_info=" + (dir / "info.json").string(),
                    HelperDaemon::builtHelper(), (dir / "helper").string()}),
        0);
    const auto info = BundleInfo::read((dir / "helper").string());
    ASSERT_TRUE(info);
    EXPECT_EQ(info->at("CFBundleVersion"), "1.0");
}

TEST(BundleInfo, NothingFromFilesThatAreNotOurs) {
    TempDir dir;
    EXPECT_FALSE(BundleInfo::read((dir / "missing").string()));
    EXPECT_FALSE(BundleInfo::read(dir.write("text", "#!/bin/sh\necho hi\n").string()));
    EXPECT_FALSE(BundleInfo::read("/bin/sh")) << "an ELF file without the section";
    EXPECT_FALSE(BundleInfo::read(dir.path().string())) << "a directory";
    const std::string helper = readFile(HelperDaemon::builtHelper());
    EXPECT_FALSE(BundleInfo::parse(std::string_view(helper).substr(0, 64)))
        << "cut off after the header";
}

} // namespace
