#pragma once

#include "platform/UserMessage.h"

#include <string>
#include <string_view>
#include <vector>

// What `quovant` was asked on its command line: to start (or bring the running window
// forward), or one command for the running instance. The same words travel as the
// request on the single-instance socket, so the instance reads them with the same parser.
namespace CommandLine {

enum class Verb { start, help, connect, disconnect, status, quit };

struct Command {
    Verb verb = Verb::start;
    bool wait = false;   // connect, disconnect: return once it is done
    bool json = false;   // status: one JSON object per line
    bool follow = false; // status: a line for every change, until Quovant ends
    bool hidden = false; // start: in the tray, the window not shown
};

// What a command ends with; listed in `quovant --help` and the manual page.
enum Exit : int {
    done = 0,
    failed = 1,        // the connection could not be made (connect --wait)
    usage = 2,         // the command line is wrong
    notRunning = 3,    // no Quovant of this user's runs, or it ended while the command waited
    noCredentials = 4, // connect: nothing remembered to log in with
    unreachable = 5,   // the running Quovant did not take or answer the command
};

struct Parsed {
    Command command;
    UserMessage error; // set when the words are not a command; the command is then unusable
};

// `args` without the program's name. Options that are not the commands' own go to the
// toolkit as before, so only a first word that does not start with "-" is a command.
Parsed parse(const std::vector<std::string>& args);

// The request line for a command (without its line feed): its words as typed.
std::string request(const Command& command);
// A request line read back; an error for anything that is not a command for the instance.
Parsed parseRequest(std::string_view line);

std::string helpText();

} // namespace CommandLine
