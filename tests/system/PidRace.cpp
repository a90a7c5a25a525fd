// quovant-pid-race SOCKET PROFILE UP DOWN HELPER ATTACKER VICTIM CGROUP ROUNDS: the race of a
// caller that connects and is gone before the helper takes the connection, its pid then
// given to a process of another user's session. Run as root in the box. Each round stops
// the helper (pid HELPER), lets a process of uid ATTACKER connect and end (a child of its
// own keeps the connection and asks for a guarded run of PROFILE), gives that pid to a
// process of uid VICTIM born into the cgroup directory CGROUP (the victim's session scope,
// where polkit would say yes), and lets the helper go on. Prints one line a round, the
// helper's answer ("refused REASON" or "started"); exits 0 when each was a refusal.
#include "ProtocolPeer.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <grp.h>
#include <linux/sched.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>

namespace {

using namespace std::chrono_literals;

void become(uid_t uid) {
    if (::setgroups(0, nullptr) != 0 || ::setgid(uid) != 0 || ::setuid(uid) != 0)
        ::_exit(3);
}

// A child of this process with the pid `pid`, in the cgroup `cgroup`; -1 when it is taken.
pid_t spawnAs(pid_t pid, int cgroup, uid_t uid) {
    clone_args args{};
    args.flags = CLONE_INTO_CGROUP;
    args.exit_signal = SIGCHLD;
    args.set_tid = reinterpret_cast<uint64_t>(&pid);
    args.set_tid_size = 1;
    args.cgroup = static_cast<uint64_t>(cgroup);
    const long child = ::syscall(SYS_clone3, &args, sizeof args);
    if (child == 0) {
        become(uid);
        ::pause();
        ::_exit(0);
    }
    return static_cast<pid_t>(child);
}

// One round: the helper's answer to the caller whose pid went to the victim's process.
std::string round(char** argv, pid_t helper, uid_t attacker, uid_t victim, int cgroup) {
    int report[2], ready[2];
    if (::pipe(report) != 0 || ::pipe(ready) != 0)
        return "no pipe";
    ::kill(helper, SIGSTOP);
    const pid_t caller = ::fork();
    if (caller == 0) {
        become(attacker);
        auto* peer = new ProtocolPeer;
        if (!peer->connect(argv[1]))
            ::_exit(4);
        if (::fork() != 0)
            ::_exit(0); // the caller is gone; its child holds the connection
        char go;
        ::close(ready[1]);
        if (::read(ready[0], &go, 1) != 1)
            ::_exit(5);
        const int profile = ::open(argv[2], O_RDONLY | O_CLOEXEC);
        peer->send(std::string("\"op\":\"runOpenVPN\",\"client_up\":\"") + argv[3] +
                       "\",\"client_down\":\"" + argv[4] + "\",\"block_leaks\":true",
                   profile);
        const auto line = peer->reply(20s);
        std::string said = !line ? "no answer"
                           : line->find("\"started\"") != std::string::npos
                               ? "started"
                               : "refused " + ProtocolPeer::member(*line, "reason");
        if (said == "started")
            peer->send("\"op\":\"killOpenVPN\"");
        said += "\n";
        [[maybe_unused]] const ssize_t n = ::write(report[1], said.data(), said.size());
        ::_exit(0);
    }
    ::close(ready[0]);
    ::close(report[1]);
    ::waitpid(caller, nullptr, 0);
    const pid_t taker = spawnAs(caller, cgroup, victim);
    // The taker's uid is set once it runs: wait for it before the helper looks.
    for (int i = 0; taker > 0 && i < 200; ++i) {
        struct stat st;
        const std::string proc = "/proc/" + std::to_string(taker);
        if (::stat(proc.c_str(), &st) == 0 && st.st_uid == victim)
            break;
        ::usleep(5000);
    }
    ::kill(helper, SIGCONT);
    [[maybe_unused]] const ssize_t w = ::write(ready[1], "g", 1);
    ::close(ready[1]);
    std::string said;
    char chunk[512];
    ssize_t n;
    while ((n = ::read(report[0], chunk, sizeof chunk)) > 0)
        said.append(chunk, static_cast<size_t>(n));
    ::close(report[0]);
    if (taker > 0) {
        ::kill(taker, SIGKILL);
        ::waitpid(taker, nullptr, 0);
    }
    while (::waitpid(-1, nullptr, WNOHANG) > 0) {
    }
    if (taker < 0)
        return "pid " + std::to_string(caller) + " was taken before the victim could have it";
    return said.empty() ? "no report" : said.substr(0, said.size() - 1);
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 10) {
        std::fprintf(stderr, "usage: quovant-pid-race SOCKET PROFILE UP DOWN HELPER ATTACKER "
                             "VICTIM CGROUP ROUNDS\n");
        return 2;
    }
    const pid_t helper = std::atoi(argv[5]);
    const uid_t attacker = static_cast<uid_t>(std::atoi(argv[6]));
    const uid_t victim = static_cast<uid_t>(std::atoi(argv[7]));
    const int cgroup = ::open(argv[8], O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    const int rounds = std::atoi(argv[9]);
    // The connection's holder is reparented here, and reaped here.
    ::prctl(PR_SET_CHILD_SUBREAPER, 1);
    if (cgroup < 0)
        return 2;
    int refused = 0;
    for (int i = 0; i < rounds; ++i) {
        const std::string said = round(argv, helper, attacker, victim, cgroup);
        std::printf("round %d: %s\n", i + 1, said.c_str());
        std::fflush(stdout);
        refused += said.rfind("refused ", 0) == 0;
    }
    return refused == rounds ? 0 : 1;
}
