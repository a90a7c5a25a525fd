// quovant-access-probe ACT SOCKET PROFILE UP DOWN [outlive]: asks the helper at SOCKET to
// change the network as the calling process, and prints what the helper decided:
//   run   a guarded run of PROFILE: "allowed" once it started (it is then ended), or
//         "refused REASON"
//   keep  a guarded run, which must start, then its end keeping the block: "allowed" when
//         the block holds (it is then lifted, as its owner may), or "refused REASON"
//   lift  lifting another user's block (which has no reply): "asked" once handled
// With "outlive", the process that connected hands the connection to a child of its own and
// ends before the request that is judged is sent.
#include "ProtocolPeer.h"

#include <cstdio>
#include <fcntl.h>
#include <sys/wait.h>

namespace {

using namespace std::chrono_literals;

int say(const std::string& line) {
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
    return 0;
}

std::string verdictOf(const std::string& terminated) {
    return "refused " + ProtocolPeer::member(terminated, "reason");
}

// The connecting process ends here; its child goes on once it has.
void outlive() {
    const pid_t parent = ::getpid();
    if (::fork() != 0)
        ::_exit(0);
    for (int i = 0; i < 500 && ::getppid() == parent; ++i)
        ::usleep(10000);
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 6) {
        std::fprintf(
            stderr, "usage: quovant-access-probe run|keep|lift SOCKET PROFILE UP DOWN [outlive]\n");
        return 2;
    }
    const std::string act = argv[1], up = argv[4], down = argv[5];
    const bool outlives = argc > 6 && std::string(argv[6]) == "outlive";
    ProtocolPeer peer;
    if (!peer.connect(argv[2]) || !peer.send("\"op\":\"getVersion\"") ||
        !peer.replyOf("version", 10s))
        return say("no helper"), 1;
    const std::string run = "\"op\":\"runOpenVPN\",\"client_up\":\"" + up +
                            "\",\"client_down\":\"" + down + "\",\"block_leaks\":true";
    const int profile = ::open(argv[3], O_RDONLY | O_CLOEXEC);
    if (act == "lift") {
        if (outlives)
            outlive();
        peer.send("\"op\":\"releaseBlock\"");
        peer.send("\"op\":\"getVersion\"");
        return say(peer.replyOf("version", 20s) ? "asked" : "no answer");
    }
    if (act == "keep") {
        peer.send(run, profile);
        auto line = peer.reply(30s);
        if (!line || line->find("\"started\"") == std::string::npos)
            return say("the run did not start: " + line.value_or("nothing")), 1;
        if (outlives)
            outlive();
        peer.send("\"op\":\"killOpenVPN\",\"keep_block\":true");
        const auto end = peer.replyOf("terminated", 30s);
        if (!end)
            return say("no end"), 1;
        if (end->find("\"blocking\":true") == std::string::npos)
            return say(verdictOf(*end));
        peer.send("\"op\":\"releaseBlock\"");
        peer.send("\"op\":\"getVersion\"");
        peer.replyOf("version", 20s);
        return say("allowed");
    }
    if (outlives)
        outlive();
    peer.send(run, profile);
    const auto line = peer.reply(30s);
    if (!line)
        return say("no answer"), 1;
    if (line->find("\"started\"") == std::string::npos)
        return say(verdictOf(*line));
    peer.send("\"op\":\"killOpenVPN\"");
    peer.replyOf("terminated", 30s);
    return say("allowed");
}
