#include "vpn/OpenVPNManagement.h"

#include "platform/Log.h"
#include "vpn/ConnectionState.h"
#include "vpn/LogText.h"

#include <charconv>

namespace {

// openvpn's lines are short; text that runs this long without a line feed is not
// the management protocol and is dropped rather than buffered without end.
constexpr size_t maxPendingText = 64 * 1024;

std::string echoOf(std::string_view command) {
    constexpr std::string_view passwordCommand = "password ";
    if (command.substr(0, passwordCommand.size()) != passwordCommand)
        return std::string(command);
    // Keep the realm so the log still tells which query was answered.
    std::string_view rest = command.substr(passwordCommand.size());
    std::string realm;
    if (!rest.empty() && (rest[0] == '\'' || rest[0] == '"')) {
        const size_t close = rest.find(rest[0], 1);
        if (close != std::string_view::npos)
            realm = std::string(rest.substr(0, close + 1)) + " ";
    }
    return std::string(passwordCommand) + realm + "[...]\n";
}

} // namespace

OpenVPNManagement::OpenVPNManagement(StateSink& states, PacingClock& clock)
    : states_(states), clock_(clock) {}

OpenVPNManagement::~OpenVPNManagement() {
    socket_.close(); // wakes a read loop, which ends
    reader_.waitUntilIdle();
}

void OpenVPNManagement::sendCommand(std::string_view command) {
    const SocketResult result = socket_.send(command);
    if (result)
        Log::standardOutput(echoOf(command));
    else
        Log::standardOutput(echoOf(command) + " " + result.why().description());
}

void OpenVPNManagement::startReading(std::shared_ptr<StateSink> sink) {
    auto connection = socket_.connection();
    if (!connection)
        return;
    {
        std::lock_guard lock(loopMutex_);
        if (loopConnection_ == connection)
            return; // this connection already has its loop
    }
    // An earlier loop read a connection that has since been replaced, and so shut
    // down; the shutdown wakes it and it ends. Waited for outside the lock, which the
    // loop takes as it ends.
    reader_.waitUntilIdle();
    std::lock_guard lock(loopMutex_);
    loopConnection_ = connection;
    loopRunning_ = true;
    reader_.async([this, connection, sink] {
        StateSink& states = sink ? *sink : states_;
        readLoop(connection, states);
        {
            std::lock_guard lock(loopMutex_);
            loopRunning_ = false;
            loopEnded_.notify_all();
        }
        states.managementClosed();
    });
}

bool OpenVPNManagement::waitUntilReadingEnds(std::chrono::milliseconds timeout) {
    std::unique_lock lock(loopMutex_);
    return loopEnded_.wait_for(lock, timeout, [this] { return !loopRunning_; });
}

bool OpenVPNManagement::reading() {
    std::lock_guard lock(loopMutex_);
    return loopRunning_;
}

void OpenVPNManagement::readLoop(const std::shared_ptr<StreamConnection>& connection,
                                 StateSink& sink) {
    ReadBuffer buffer;
    // The same room in every run: a buffer grown from the size of whatever came first
    // would leave the allocator pieces of a new size each time.
    buffer.text.reserve(2 * readSize);
    auto lastShortRead = clock_.now() - readPause;
    for (;;) {
        // Sleep in the kernel until openvpn writes.
        if (connection->waitReadable(-1) == ReadResult::Status::closed)
            return;
        // Until the tunnel is first up, every line is one the user waits on (the answers
        // to the opening commands and the credentials, the states on the way): each is
        // read as it comes. From then on, bytes that come within the pause after the
        // previous short read wait for the rest of it and are read together: at most ten
        // reads a second, while a quiet connection costs one wakeup a line.
        if (buffer.connected) {
            const auto sinceLast = clock_.now() - lastShortRead;
            if (sinceLast < readPause)
                clock_.sleepFor(readPause - sinceLast);
        }
        ReadResult read = connection->read(readSize, 0);
        reads_.fetch_add(1);
        // A full read means more is waiting (openvpn's log comes in bursts): it is read
        // at once, so a state line does not wait behind the burst.
        if (read.bytes.size() < readSize)
            lastShortRead = clock_.now();
        if (read.status == ReadResult::Status::closed)
            return;
        if (read.status == ReadResult::Status::data)
            receive(buffer, read.bytes, sink);
    }
}

void OpenVPNManagement::receive(ReadBuffer& buffer, std::string_view bytes, StateSink& sink) {
    buffer.decoder.decode(bytes, buffer.text);
    buffer.text = cutLines(std::move(buffer.text), buffer.connected, sink);
    if (buffer.text.size() > maxPendingText) {
        Log::standardOutput("MGMT: dropped " + std::to_string(buffer.text.size()) +
                            " bytes without a line feed");
        buffer.text.clear();
    }
}

std::string OpenVPNManagement::processBuffer(std::string buffer) {
    bool connected = false;
    return cutLines(std::move(buffer), connected, states_);
}

std::string OpenVPNManagement::cutLines(std::string buffer, bool& connected, StateSink& sink) {
    auto handle = [&](std::string_view line) {
        if (handleLine(line, sink) == ConnectionState::connected)
            connected = true;
    };
    size_t start = 0;
    while (buffer.find('\n', start) != std::string::npos) {
        const size_t crlf = buffer.find("\r\n", start);
        if (crlf == std::string::npos) {
            // A line feed without a CR before it: the whole rest is one line.
            handle(std::string_view(buffer).substr(start));
            return {};
        }
        handle(std::string_view(buffer).substr(start, crlf - start));
        start = crlf + 2;
    }
    buffer.erase(0, start);
    return buffer;
}

std::optional<std::string> OpenVPNManagement::handleLine(std::string_view line, StateSink& sink) {
    const size_t colon = line.find(':');
    if (!line.empty() && line[0] == '>' && colon != std::string_view::npos) {
        const std::string_view type = line.substr(1, colon - 1);
        const std::string_view payload = line.substr(colon + 1);
        if (type == "STATE") {
            return handleState(payload, sink);
        } else if (type == "LOG") {
            Log::standardOutput(payload);
            sink.logLine(payload);
        } else if (type == "PASSWORD") {
            sink.passwordNotice(payload);
        } else if (type == "BYTECOUNT") {
            handleByteCount(payload, sink);
        } else if (type != "INFO" && type != "HOLD" && type != "NEED-OK" && type != "PROXY" &&
                   type != "RSA_SIGN") {
            Log::standardOutput(std::string(LogText::unrecognizedCommand).append(line));
        }
        return std::nullopt;
    }
    if (!line.starts_with("SUCCESS:") && !line.starts_with("PROTECTFD: "))
        Log::standardOutput(std::string(LogText::unrecognizedLine).append(line));
    return std::nullopt;
}

std::optional<std::string> OpenVPNManagement::handleState(std::string_view payload,
                                                          StateSink& sink) {
    const size_t first = payload.find(',');
    if (first == std::string_view::npos)
        return std::nullopt;
    const size_t second = payload.find(',', first + 1);
    if (second == std::string_view::npos)
        return std::nullopt;
    // time,word,description,local address,remote address,...
    std::string_view remote;
    const size_t third = payload.find(',', second + 1);
    const size_t fourth = third == std::string_view::npos ? third : payload.find(',', third + 1);
    if (fourth != std::string_view::npos)
        remote = payload.substr(fourth + 1, payload.find(',', fourth + 1) - fourth - 1);
    sink.stateAddress(remote);
    sink.stateDescription(payload.substr(
        second + 1, third == std::string_view::npos ? std::string_view::npos : third - second - 1));
    std::string word(payload.substr(first + 1, second - first - 1));
    sink.updateState(word);
    return word;
}

void OpenVPNManagement::handleByteCount(std::string_view payload, StateSink& sink) {
    // Two decimal totals; anything else is not a byte count and is dropped.
    uint64_t in = 0;
    uint64_t out = 0;
    const char* end = payload.data() + payload.size();
    const auto first = std::from_chars(payload.data(), end, in);
    if (first.ec != std::errc() || first.ptr == end || *first.ptr != ',')
        return;
    const auto second = std::from_chars(first.ptr + 1, end, out);
    if (second.ec != std::errc() || second.ptr != end)
        return;
    sink.byteCount(in, out);
}
