#include "helperd/HelperServer.h"

#include "helper/FdPassing.h"
#include "helper/HelperPaths.h"
#include "helperd/ClientPolicy.h"
#include "helperd/DaemonLog.h"
#include "helperd/LoginSessions.h"
#include "helperd/ProfileChecker.h"
#include "helperd/ProfileReader.h"
#include "helperd/RunAdmission.h"
#include "helperd/TunnelRoutes.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <poll.h>
#include <sys/signalfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

int millisecondsUntil(std::chrono::steady_clock::time_point when) {
    const auto left =
        std::chrono::ceil<std::chrono::milliseconds>(when - std::chrono::steady_clock::now());
    return static_cast<int>(std::clamp<int64_t>(left.count(), 0, 24 * 3600 * 1000));
}

} // namespace

HelperServer::HelperServer(Settings settings)
    : settings_(std::move(settings)),
      effects_(
          {settings_.managementSocket, settings_.guard, settings_.tmpDir, settings_.openVPNUid,
           settings_.openVPNGid,
           [this](uint64_t client, const HelperReply& reply, int fd) { send(client, reply, fd); }}),
      dnsEffects_({&bus_,
                   settings_.dnsRecord,
                   {},
                   "/etc/resolv.conf",
                   "/sbin/resolvconf",
                   [this](TunnelDns::Event event) { post(std::move(event)); },
                   [this](uint64_t run, bool applied) {
                       // openvpn goes on whatever its route-up script says: the helper ends
                       // the run itself, before the script's answer lets openvpn go on.
                       if (!applied && run == effects_.run())
                           dispatch(RunSupervisor::Failed{"its DNS could not be applied",
                                                          TunnelDns::notAppliedReason});
                       effects_.acknowledge(run, applied);
                   }}) {}

int HelperServer::run() {
    DaemonLog::line("helper " + settings_.version + " serving");
    if (!settings_.dnsRecord.empty())
        if (auto leftover = dnsEffects_.leftover())
            post(TunnelDns::Leftover{std::move(*leftover)});
    for (;;) {
        handleDnsEvents();
        // Whatever a run did to DNS is undone before the helper ends.
        if (supervisor_.finished() && dns_.phase() == TunnelDns::Phase::idle) {
            DaemonLog::finish();
            return 0;
        }
        std::vector<pollfd> fds;
        std::vector<uint64_t> owners; // client id per entry, 0 for our own descriptors
        auto watch = [&](int fd, uint64_t owner) {
            fds.push_back({fd, POLLIN, 0});
            owners.push_back(owner);
        };
        watch(settings_.signalFd, 0);
        if (!supervisor_.stopRequested())
            watch(settings_.listenFd, 0);
        if (effects_.openVPN().running())
            watch(effects_.openVPN().exitFd(), 0);
        if (effects_.openVPN().outputFd() >= 0)
            watch(effects_.openVPN().outputFd(), 0);
        if (effects_.lookup().running())
            watch(effects_.lookup().fd(), 0);
        if (effects_.reportFd() >= 0)
            watch(effects_.reportFd(), 0);
        if (dnsEffects_.resolvconf().running())
            watch(dnsEffects_.resolvconf().fd(), 0);
        if (bus_.fd() >= 0) {
            watch(bus_.fd(), 0);
            fds.back().events = bus_.events();
        }
        watch(closer_.fd(), 0);
        // A connection whose last request waits for its turn is not read from: what it
        // sends meanwhile waits in its socket. Nor is one of a user whose descriptors wait
        // to be closed in numbers.
        for (uint64_t id : clients_.ids())
            if (!clients_.holdsLine(id) && !closer_.backlogged(clients_.caller(id)->uid))
                watch(clients_.fd(id), id);
        const int ready = ::poll(fds.data(), fds.size(), pollTimeout());
        if (ready < 0 && errno != EINTR) {
            DaemonLog::line(std::string("poll failed: ") + std::strerror(errno));
            return 1;
        }
        watchdog_.feed(Clock::now());
        dispatch(RunSupervisor::Tick{});
        // polkit's and resolved's answers, and their time-outs.
        bus_.process();
        if (dnsEffects_.resolvconf().running() &&
            Clock::now() >= dnsEffects_.resolvconf().deadline())
            dnsEffects_.resolvconfEnded();
        handleDnsEvents();
        DaemonLog::flush();
        for (uint64_t id : clients_.stalled(Clock::now(), requestTimeout))
            closeLater(id,
                       "no complete request in " + std::to_string(requestTimeout.count()) + " s");
        closeDoomed();
        for (size_t i = 0; i < fds.size(); ++i) {
            if (!fds[i].revents)
                continue;
            if (owners[i] != 0) {
                readFrom(owners[i]);
            } else if (fds[i].fd == settings_.signalFd) {
                signalfd_siginfo info;
                [[maybe_unused]] const ssize_t n = ::read(settings_.signalFd, &info, sizeof info);
                DaemonLog::line("stopping on signal " + std::to_string(info.ssi_signo));
                dispatch(RunSupervisor::Stop{});
            } else if (fds[i].fd == settings_.listenFd) {
                accept();
            } else if (fds[i].fd == closer_.fd()) {
                closer_.collect();
            } else if (fds[i].fd == effects_.openVPN().outputFd()) {
                if (effects_.openVPNSaid())
                    dispatch(RunSupervisor::Listening{});
            } else if (fds[i].fd == effects_.reportFd()) {
                readReports();
            } else if (dnsEffects_.resolvconf().running() &&
                       fds[i].fd == dnsEffects_.resolvconf().fd()) {
                dnsEffects_.resolvconfEnded();
            } else if (effects_.openVPN().running() && fds[i].fd == effects_.openVPN().exitFd()) {
                if (const auto status = effects_.openVPNEnded()) {
                    post(TunnelDns::Down{effects_.run()});
                    dispatch(RunSupervisor::Exited{*status});
                }
            } else if (effects_.lookup().running() && fds[i].fd == effects_.lookup().fd()) {
                if (auto addresses = effects_.lookedUp())
                    dispatch(RunSupervisor::LookedUp{std::move(*addresses)});
            }
            closeDoomed();
            handleDnsEvents();
        }
        serveTurn();
    }
}

void HelperServer::accept() {
    const int fd = ::accept4(settings_.listenFd, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (fd < 0)
        return;
    ucred credentials{};
    socklen_t length = sizeof credentials;
    if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &credentials, &length) != 0) {
        ::close(fd);
        return;
    }
    if (!ClientPolicy::mayConnect(credentials.uid, firstRegularUid_)) {
        DaemonLog::line("refused connection from uid " + std::to_string(credentials.uid) +
                        ": not a user the helper serves");
        ::close(fd);
        return;
    }
    if (const auto busy = clients_.busy(credentials.uid)) {
        DaemonLog::line("refused connection from uid " + std::to_string(credentials.uid) + ": " +
                        *busy);
        const std::string notice = HelperWire::encodeBusy(*busy);
        [[maybe_unused]] const ssize_t n =
            ::send(fd, notice.data(), notice.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        ::close(fd);
        return;
    }
    // Pinned now: later, the pid may be another process's.
    auto process = std::make_shared<const CallerProcess>(
        CallerProcess::pin(fd, credentials.pid, credentials.uid));
    if (!process->isPinned())
        DaemonLog::line("connection of uid " + std::to_string(credentials.uid) + ", pid " +
                        std::to_string(credentials.pid) +
                        " is judged for nobody: " + process->whyUnpinned());
    clients_.add(fd, credentials.uid, credentials.gid, credentials.pid, Clock::now(),
                 std::move(process));
}

void HelperServer::readFrom(uint64_t clientId) {
    const int fd = clients_.fd(clientId);
    if (fd < 0)
        return;
    char chunk[8192];
    auto received = FdPassing::receive(fd, chunk, sizeof chunk);
    const ssize_t n = received.bytes;
    if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR))
        return closeLater(clientId, "");
    if (n < 0)
        return;
    switch (clients_.append(clientId, std::string_view(chunk, static_cast<size_t>(n)),
                            std::move(received.fds))) {
    case ClientTable::Received::ok:
        break;
    case ClientTable::Received::overflowed:
        return closeLater(clientId, "message longer than " +
                                        std::to_string(HelperWire::maxLineBytes) + " bytes");
    case ClientTable::Received::tooManyFds:
        return closeLater(clientId, "more descriptors than requests");
    }
    clients_.noteUnfinished(clientId, Clock::now());
}

void HelperServer::serveTurn() {
    for (uint64_t id : clients_.nextTurn()) {
        const auto line = clients_.nextLine(id);
        auto fds = clients_.takeFds(id);
        const auto caller = clients_.caller(id);
        if (!line || !caller)
            continue;
        const auto request = HelperWire::decodeRequest(*line);
        if (!request)
            closeLater(id, "malformed message");
        else if (!clients_.accept(id, request->id))
            closeLater(id, "request id out of order");
        else
            handle(*caller, *request, fds);
        closer_.close(caller->uid, std::move(fds));
        closeDoomed();
        clients_.noteUnfinished(id, Clock::now());
    }
}

void HelperServer::handle(const ClientTable::Caller& caller, const HelperRequest& request,
                          std::vector<UniqueFd>& fds) {
    DaemonLog::line(std::string("request ") + HelperWire::operationName(request.operation) +
                    " from " + caller.describe());
    // Only a run's profile comes as a descriptor; any other is closed unread.
    const size_t expected = request.operation == HelperRequest::Operation::runOpenVPN ? 1 : 0;
    if (fds.size() > expected)
        DaemonLog::line("closing " + std::to_string(fds.size() - expected) +
                        " descriptor(s) that came unasked with the request");
    switch (request.operation) {
    case HelperRequest::Operation::getVersion: {
        HelperReply reply;
        reply.id = request.id;
        reply.kind = HelperReply::Kind::version;
        reply.version = settings_.version;
        send(caller.id, reply);
        break;
    }
    case HelperRequest::Operation::killOpenVPN:
        // Keeping the block is a change of the network; ending one's run is not.
        if (request.keepBlock && supervisor_.openVPNRuns())
            return authorize(caller, request, ClientPolicy::Act::keepBlock, fds);
        dispatch(RunSupervisor::Kill{caller.uid, request.keepBlock, {}});
        break;
    case HelperRequest::Operation::releaseBlock:
        if (supervisor_.blockUid())
            authorize(caller, request, ClientPolicy::Act::release, fds);
        break;
    case HelperRequest::Operation::runOpenVPN:
        authorize(caller, request, ClientPolicy::Act::run, fds);
        break;
    }
}

void HelperServer::authorize(const ClientTable::Caller& caller, const HelperRequest& request,
                             ClientPolicy::Act act, std::vector<UniqueFd>& fds) {
    if (!ClientPolicy::asksAuthority(act, caller.uid, blockHolderFor(caller.uid, false)))
        return decide(caller, request, act, ClientPolicy::Authority::yes, {}, fds);
    clients_.setWaiting(caller.id, true);
    // The answer's handler is copyable; the descriptors that came with the request wait
    // with it, and go to the closer with it if the client went meanwhile.
    struct Waiting {
        DescriptorCloser& closer;
        uid_t uid;
        std::vector<UniqueFd> fds;
        ~Waiting() { closer.close(uid, std::move(fds)); }
    };
    const std::shared_ptr<Waiting> waiting(new Waiting{closer_, caller.uid, std::move(fds)});
    fds.clear();
    access_.check(caller.process, caller.uid, act,
                  [this, id = caller.id, request, act, waiting](ClientPolicy::Authority answer,
                                                                const std::string& detail) {
                      clients_.setWaiting(id, false);
                      // A client that went meanwhile is owed nothing.
                      if (const auto current = clients_.caller(id))
                          decide(*current, request, act, answer, detail, waiting->fds);
                  });
}

void HelperServer::decide(const ClientTable::Caller& caller, const HelperRequest& request,
                          ClientPolicy::Act act, ClientPolicy::Authority answer,
                          const std::string& detail, std::vector<UniqueFd>& fds) {
    // The block's owner is looked at now, when polkit has answered: it may have gone meanwhile.
    const bool sessionsCount =
        answer == ClientPolicy::Authority::yes || answer == ClientPolicy::Authority::no;
    // A block whose run goes on is that run's: whether another run may replace it is the
    // admission's to say.
    const bool blockOfItsOwn = act == ClientPolicy::Act::keepBlock ||
                               (act == ClientPolicy::Act::run && supervisor_.runUid());
    const auto holder =
        blockOfItsOwn ? ClientPolicy::BlockHolder::none : blockHolderFor(caller.uid, sessionsCount);
    const auto verdict = ClientPolicy::decide(act, caller.uid, answer, holder, detail);
    // A refused run is logged as it is answered.
    if (!verdict.allowed && act != ClientPolicy::Act::run)
        DaemonLog::line(std::string("refused ") + HelperWire::operationName(request.operation) +
                        (request.keepBlock ? " keeping the block" : "") + " from " +
                        caller.describe() + ": " + verdict.why);
    switch (act) {
    case ClientPolicy::Act::run:
        if (!verdict.allowed)
            return dispatch(RunSupervisor::Refused{
                {caller.id, request.id, caller.uid}, verdict.why, verdict.reason});
        return handleRun(caller, request, sessionsCount, fds);
    case ClientPolicy::Act::keepBlock:
        return dispatch(RunSupervisor::Kill{caller.uid, true, verdict.reason});
    case ClientPolicy::Act::release:
        if (verdict.allowed)
            dispatch(RunSupervisor::Release{caller.uid, caller.id,
                                            holder == ClientPolicy::BlockHolder::away});
        return;
    }
}

ClientPolicy::BlockHolder HelperServer::blockHolderFor(uid_t caller, bool sessionsCount) const {
    const auto owner = supervisor_.blockUid();
    if (!owner)
        return ClientPolicy::BlockHolder::none;
    if (*owner == caller)
        return ClientPolicy::BlockHolder::caller;
    return !sessionsCount || LoginSessions::atComputer(*owner) ? ClientPolicy::BlockHolder::present
                                                               : ClientPolicy::BlockHolder::away;
}

void HelperServer::handleRun(const ClientTable::Caller& caller, const HelperRequest& request,
                             bool sessionsCount, std::vector<UniqueFd>& fds) {
    RunAdmission::Facts facts;
    facts.upScript = settings_.scriptDir + "/" + HelperPaths::upScript;
    facts.downScript = settings_.scriptDir + "/" + HelperPaths::downScript;
    facts.scriptsTrusted = trustedScript(facts.upScript);
    if (facts.scriptsTrusted)
        facts.scriptsTrusted = trustedScript(facts.downScript);
    // Only a request that names the installed scripts gets its profile read.
    if (fds.empty())
        facts.profile = Result<std::string>::failure(
            "the request came without the open profile (a descriptor sent with it)");
    else if (request.clientUp == facts.upScript && request.clientDown == facts.downScript &&
             facts.scriptsTrusted)
        facts.profile =
            ProfileReader::read(fds.front().get(), caller.uid, ProfileChecker::maxProfileBytes);
    facts.runUid = supervisor_.runUid();
    facts.runOwnerAway = sessionsCount && facts.runUid && *facts.runUid != caller.uid &&
                         !LoginSessions::atComputer(*facts.runUid);
    auto decision = RunAdmission::decide(request, caller, facts);
    if (auto* refusal = std::get_if<RunAdmission::Refusal>(&decision))
        return dispatch(RunSupervisor::Refused{
            {caller.id, request.id, caller.uid}, refusal->why, refusal->reason});
    dispatch(RunSupervisor::Admitted{std::move(std::get<RunSupervisor::Run>(decision))});
}

void HelperServer::dispatch(RunSupervisor::Event event) {
    supervisor_.handle(std::move(event), Clock::now());
}

void HelperServer::readReports() {
    for (auto& report : effects_.readReports()) {
        if (report.up)
            post(TunnelDns::Up{effects_.run(), effects_.tunnel(), std::move(report.environment),
                               tunnelRoutes()});
        else
            post(TunnelDns::Down{effects_.run()});
    }
}

std::vector<FullTunnel::Prefix> HelperServer::tunnelRoutes() const {
    // Read at once: the script reports once openvpn has set its routes, and the kernel
    // answers from its table without waiting on anything.
    auto routes = TunnelRoutes::of(effects_.tunnel());
    if (routes)
        return std::move(routes).value();
    DaemonLog::line("cannot read the tunnel's routes, taking it for a split tunnel: " +
                    routes.why());
    return {};
}

void HelperServer::handleDnsEvents() {
    while (!dnsEvents_.empty()) {
        TunnelDns::Event event = std::move(dnsEvents_.front());
        dnsEvents_.pop_front();
        dns_.handle(std::move(event));
    }
}

void HelperServer::closeLater(uint64_t clientId, const std::string& why) {
    if (std::none_of(doomed_.begin(), doomed_.end(),
                     [&](const auto& entry) { return entry.first == clientId; }))
        doomed_.emplace_back(clientId, why);
}

void HelperServer::closeDoomed() {
    while (!doomed_.empty()) {
        const auto [id, why] = doomed_.front();
        doomed_.erase(doomed_.begin());
        const auto caller = clients_.caller(id);
        std::vector<UniqueFd> held;
        if (!caller || !clients_.remove(id, &held))
            continue;
        closer_.close(caller->uid, std::move(held));
        if (!why.empty())
            DaemonLog::line("closing connection of " + caller->describe() + ": " + why);
        dispatch(RunSupervisor::ClientGone{id});
    }
}

int HelperServer::pollTimeout() const {
    std::optional<Clock::time_point> next;
    auto consider = [&](std::optional<Clock::time_point> when) {
        if (when && (!next || *when < *next))
            next = when;
    };
    consider(supervisor_.deadline());
    consider(clients_.nextStall(requestTimeout));
    consider(DaemonLog::nextFlush());
    consider(bus_.deadline());
    consider(watchdog_.due());
    if (dnsEffects_.resolvconf().running())
        consider(dnsEffects_.resolvconf().deadline());
    for (uint64_t id : clients_.ids())
        if (clients_.ready(id))
            return 0;
    return next ? millisecondsUntil(*next) : -1;
}

void HelperServer::send(uint64_t clientId, const HelperReply& reply, int fd) {
    const int socket = clients_.fd(clientId);
    if (socket < 0)
        return;
    const std::string line = HelperWire::encode(reply);
    // Replies are small; a client that lets its socket fill up is not reading.
    if (FdPassing::send(socket, line, fd, MSG_DONTWAIT) != static_cast<ssize_t>(line.size()))
        closeLater(clientId, "cannot deliver a reply");
}

Result<void> HelperServer::trustedScript(const std::string& path) const {
    // openvpn runs these as root: they and their directory must be root's alone.
    struct stat file, dir;
    if (::lstat(path.c_str(), &file) != 0 || !S_ISREG(file.st_mode))
        return Result<void>::failure(path + " is missing or not a regular file");
    if (::stat(settings_.scriptDir.c_str(), &dir) != 0 || dir.st_uid != 0 ||
        (dir.st_mode & (S_IWGRP | S_IWOTH)) || file.st_uid != 0 ||
        (file.st_mode & (S_IWGRP | S_IWOTH)))
        return Result<void>::failure(path +
                                     " or its directory may be changed by someone other than root");
    return Result<void>::success();
}
