#include "helperd/DnsRecord.h"

#include "TempDir.h"
#include "helperd/DnsRecordFile.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

using namespace std::string_literals;

namespace {

TEST(DnsRecord, ReadsBackWhatItWroteAndNothingElse) {
    DnsRecord resolved{DnsPlan::Setup::resolved, 7, "tun0", {}, ""};
    DnsRecord file{
        DnsPlan::Setup::file,
        9,
        "qv-tun.1",
        {ResolvConfFile::Original::Kind::file, "nameserver 1.1.1.1\nsearch x\n\0\xff"s, 0600},
        "nameserver 10.8.0.1\n"};
    DnsRecord link = file;
    link.original = {ResolvConfFile::Original::Kind::link,
                     "../run/systemd/resolve/stub-resolv.conf", 0777};
    for (const DnsRecord& r : {resolved, file, link})
        EXPECT_EQ(DnsRecord::parse(r.text()), r) << r.text();

    const std::string good = resolved.text();
    const std::string broken[] = {
        "",
        good + "extra 1\n",
        good.substr(0, good.size() - 1),
        "setup resolved\nifindex 7\n",
        "setup resolved\nifindex -7\nifname tun0\n",
        "setup resolved\nifindex 7\nifname ../x\n",
        "setup resolved\nifindex 7\nifname tun0 x\n",
        "setup resolved\nsetup resolved\nifindex 7\nifname tun0\n",
        "setup other\nifindex 7\nifname tun0\n",
        good + "original file\nmode 644\ncontent \nwritten \n",
        "setup file\nifindex 7\nifname tun0\noriginal file\nmode 644\nwritten 00\n",
        "setup file\nifindex 7\nifname tun0\noriginal file\nmode 644\ncontent 0\nwritten 00\n",
        "setup file\nifindex 7\nifname tun0\noriginal file\nmode 99\ncontent 00\nwritten 00\n",
        "setup file\nifindex 7\nifname tun0\noriginal pipe\nmode 644\ncontent 00\nwritten 00\n",
    };
    for (const std::string& text : broken)
        EXPECT_FALSE(DnsRecord::parse(text)) << text;
}

TEST(DnsRecord, KeptInAFileThatIsReplacedWholeAndNeverFollowed) {
    const TempDir temp;
    const std::string dir = temp.path().string();
    const DnsRecordFile file(dir + "/dns");
    const DnsRecord record{DnsPlan::Setup::resolved, 7, "tun0", {}, ""};

    EXPECT_EQ(file.load().value(), std::nullopt);
    ASSERT_TRUE(file.save(record));
    EXPECT_EQ(file.load().value(), record);
    ASSERT_TRUE(file.remove());
    EXPECT_EQ(file.load().value(), std::nullopt);

    std::ofstream(dir + "/dns") << "setup resolved\n";
    EXPECT_FALSE(file.load()) << "half a record";
    std::filesystem::remove(dir + "/dns");
    std::ofstream(dir + "/elsewhere") << record.text();
    std::filesystem::create_symlink(dir + "/elsewhere", dir + "/dns");
    EXPECT_FALSE(file.load()) << "a link";
    ASSERT_TRUE(file.save(record));
    EXPECT_FALSE(std::filesystem::is_symlink(dir + "/dns"));
}

} // namespace
