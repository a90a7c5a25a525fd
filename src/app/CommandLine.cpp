#include "app/CommandLine.h"

namespace CommandLine {

namespace {

struct Word {
    const char* name;
    Verb verb;
    bool wait, json, follow; // the options it takes
};

constexpr Word words[] = {
    {"connect", Verb::connect, true, false, false},
    {"disconnect", Verb::disconnect, true, false, false},
    {"status", Verb::status, false, true, true},
    {"quit", Verb::quit, false, false, false},
};

Parsed failure(UserMessage error) {
    return {{}, std::move(error)};
}

} // namespace

Parsed parse(const std::vector<std::string>& args) {
    Parsed parsed;
    if (args.empty())
        return parsed;
    const std::string& first = args.front();
    if (first == "--help" || first == "-h" || first == "help") {
        parsed.command.verb = Verb::help;
        return parsed;
    }
    if (first.starts_with("-")) {
        for (const std::string& arg : args)
            parsed.command.hidden = parsed.command.hidden || arg == "--tray";
        return parsed;
    }
    const Word* word = nullptr;
    for (const Word& candidate : words)
        if (first == candidate.name)
            word = &candidate;
    if (!word)
        return failure({USER_TEXT("Messages", "unknown command \"%1\""), {first}});
    parsed.command.verb = word->verb;
    for (size_t i = 1; i < args.size(); ++i) {
        const std::string& option = args[i];
        if (option == "--wait" && word->wait)
            parsed.command.wait = true;
        else if ((option == "--json" || option == "-j") && word->json)
            parsed.command.json = true;
        else if ((option == "--follow" || option == "-f") && word->follow)
            parsed.command.follow = true;
        else
            return failure({USER_TEXT("Messages", "%1 takes no \"%2\""), {word->name, option}});
    }
    return parsed;
}

std::string request(const Command& command) {
    std::string line;
    for (const Word& word : words)
        if (word.verb == command.verb)
            line = word.name;
    if (command.wait)
        line += " --wait";
    if (command.json)
        line += " --json";
    if (command.follow)
        line += " --follow";
    return line;
}

Parsed parseRequest(std::string_view line) {
    std::vector<std::string> args;
    for (size_t at = 0; at < line.size();) {
        const size_t end = std::min(line.find(' ', at), line.size());
        if (end > at)
            args.emplace_back(line.substr(at, end - at));
        at = end + 1;
    }
    Parsed parsed = parse(args);
    const Verb verb = parsed.command.verb;
    if (parsed.error.empty() && (verb == Verb::start || verb == Verb::help))
        return failure({USER_TEXT("Messages", "not a command: \"%1\""), {std::string(line)}});
    return parsed;
}

std::string helpText() {
    return USER_TEXT("Messages", R"(Usage: quovant [--tray]
       quovant connect [--wait]
       quovant disconnect [--wait]
       quovant status [--json] [--follow]
       quovant quit

Without a command, starts Quovant in the tray with its window, or brings the window
of the running Quovant forward. With --tray the window stays hidden.

Commands, for the Quovant running in this user's session:
  connect     connect with the credentials the window remembers ("Onthoud mij");
              starts Quovant in the tray first when it is not running
  disconnect  end the connection, or lift the block that holds after a drop
  status      the connection's state, server, time connected and traffic
  quit        disconnect and end Quovant
Options:
  --wait      return once connected (or disconnected); when the connection
              fails, say why on standard error
  -j, --json  one JSON object per line
  -f, --follow  a line for every change, until Quovant ends

Exit status:
  0  done
  1  the connection failed (connect --wait)
  2  the command line is wrong
  3  Quovant is not running, or ended while the command waited
  4  connect: no credentials are remembered
  5  the running Quovant did not take or answer the command
)");
}

} // namespace CommandLine
