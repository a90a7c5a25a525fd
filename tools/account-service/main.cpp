// account-service: Quovant's account service for development, tests and the demo.
// HTTPS on a local address: POST /api/login hands out bearer tokens for known
// users, GET /api/profile?country_code=QZ returns the profile for a valid token.
//
//   account-service --listen 127.0.0.1:8443 --cert cert.pem --key key.pem
//                   --user EMAIL:PASSWORD ... | --users FILE   --profile FILE
//   account-service --generate-cert DIR      (self-signed for 127.0.0.1 and localhost)
//
// Switches that make it misbehave, for tests:
//   --login-status N / --profile-status N    answer with this status and an error body
//   --login-body TEXT / --profile-body TEXT  answer 200 with exactly this body
//   --login-204                              answer 204 with no body
//   --delay SECONDS                          wait this long before every answer
//   --drop                                   accept connections and close them at once
//   --record FILE                            append one line per request (never a secret)
#include "CertificateMaker.h"

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <httplib.h>
#include <map>
#include <mutex>
#include <nlohmann/json.hpp>
#include <openssl/rand.h>
#include <sstream>
#include <thread>

namespace {

struct Options {
    std::string host = "127.0.0.1";
    int port = 8443;
    std::string cert, key, profileFile, recordFile;
    std::map<std::string, std::string> users;
    int loginStatus = 0, profileStatus = 0;
    std::optional<std::string> loginBody, profileBody;
    bool login204 = false, drop = false;
    double delay = 0;
};

[[noreturn]] void usage(const std::string& why) {
    std::fprintf(stderr, "account-service: %s (see the comment at the top of main.cpp)\n",
                 why.c_str());
    std::exit(2);
}

std::string readWhole(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        usage("cannot read " + path);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void addUser(Options& o, const std::string& entry) {
    const size_t colon = entry.find(':');
    if (colon == std::string::npos || colon == 0)
        usage("a user is EMAIL:PASSWORD");
    o.users[entry.substr(0, colon)] = entry.substr(colon + 1);
}

std::string newToken() {
    unsigned char bytes[24];
    RAND_bytes(bytes, sizeof bytes);
    std::string token;
    char hex[3];
    for (unsigned char b : bytes) {
        std::snprintf(hex, sizeof hex, "%02x", b);
        token += hex;
    }
    return token;
}

// Accepts TCP connections and closes them before any TLS: a service that drops the line.
int dropForever(const Options& o) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    const int one = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(o.port));
    inet_pton(AF_INET, o.host.c_str(), &address.sin_addr);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(fd, 16) != 0)
        usage("cannot listen");
    std::fprintf(stderr, "account-service dropping connections on %s:%d\n", o.host.c_str(), o.port);
    for (;;) {
        const int client = ::accept(fd, nullptr, nullptr);
        if (client >= 0)
            ::close(client);
    }
}

} // namespace

int main(int argc, char** argv) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= argc)
                usage(arg + " needs a value");
            return argv[++i];
        };
        if (arg == "--generate-cert") {
            const std::string dir = value();
            const std::string error =
                CertificateMaker::selfSigned(dir + "/cert.pem", dir + "/key.pem");
            if (!error.empty())
                usage(error);
            return 0;
        } else if (arg == "--listen") {
            const std::string listen = value();
            const size_t colon = listen.rfind(':');
            if (colon == std::string::npos)
                usage("--listen takes HOST:PORT");
            o.host = listen.substr(0, colon);
            o.port = std::stoi(listen.substr(colon + 1));
        } else if (arg == "--cert")
            o.cert = value();
        else if (arg == "--key")
            o.key = value();
        else if (arg == "--profile")
            o.profileFile = value();
        else if (arg == "--record")
            o.recordFile = value();
        else if (arg == "--user")
            addUser(o, value());
        else if (arg == "--users") {
            std::istringstream lines(readWhole(value()));
            for (std::string line; std::getline(lines, line);)
                if (!line.empty())
                    addUser(o, line);
        } else if (arg == "--login-status")
            o.loginStatus = std::stoi(value());
        else if (arg == "--profile-status")
            o.profileStatus = std::stoi(value());
        else if (arg == "--login-body")
            o.loginBody = value();
        else if (arg == "--profile-body")
            o.profileBody = value();
        else if (arg == "--login-204")
            o.login204 = true;
        else if (arg == "--delay")
            o.delay = std::stod(value());
        else if (arg == "--drop")
            o.drop = true;
        else
            usage("unknown option " + arg);
    }
    if (o.drop)
        return dropForever(o);
    if (o.cert.empty() || o.key.empty())
        usage("--cert and --key are needed (make them with --generate-cert DIR)");
    const std::string profile = o.profileFile.empty() ? std::string() : readWhole(o.profileFile);

    std::mutex mutex;
    std::map<std::string, std::string> tokens; // token -> email
    auto record = [&](const std::string& line) {
        if (o.recordFile.empty())
            return;
        std::lock_guard lock(mutex);
        std::ofstream(o.recordFile, std::ios::app) << line << "\n";
    };
    auto wait = [&] {
        if (o.delay > 0)
            std::this_thread::sleep_for(std::chrono::duration<double>(o.delay));
    };
    auto error = [](httplib::Response& res, int status, const std::string& message) {
        res.status = status;
        res.set_content(nlohmann::json{{"error", message}}.dump(), "application/json");
    };

    httplib::SSLServer server(o.cert.c_str(), o.key.c_str());
    if (!server.is_valid())
        usage("cannot load the certificate or key");

    server.Post("/api/login", [&](const httplib::Request& req, httplib::Response& res) {
        wait();
        const auto body = nlohmann::json::parse(req.body, nullptr, false);
        const bool jsonBody =
            req.get_header_value("Content-Type").rfind("application/json", 0) == 0;
        std::string email;
        if (body.is_object() && body.contains("email") && body["email"].is_string())
            email = body["email"].get<std::string>();
        record("POST " + req.path + " json=" + (jsonBody && body.is_object() ? "yes" : "no") +
               " email=" + email);
        if (o.loginStatus)
            return error(res, o.loginStatus, "forced");
        if (o.login204) {
            res.status = 204;
            return;
        }
        if (o.loginBody) {
            res.set_content(*o.loginBody, "application/json");
            return;
        }
        if (!body.is_object() || !body.contains("password") || !body["password"].is_string())
            return error(res, 400, "email and password expected");
        const auto user = o.users.find(email);
        if (user == o.users.end() || user->second != body["password"].get<std::string>())
            return error(res, 401, "unknown e-mail or wrong password");
        const std::string token = newToken();
        {
            std::lock_guard lock(mutex);
            tokens[token] = email;
        }
        res.set_content(nlohmann::json{{"access_token", token}, {"token_type", "Bearer"}}.dump(),
                        "application/json");
    });

    server.Get("/api/profile", [&](const httplib::Request& req, httplib::Response& res) {
        wait();
        const std::string authorization = req.get_header_value("Authorization");
        std::string email;
        if (authorization.rfind("Bearer ", 0) == 0) {
            std::lock_guard lock(mutex);
            const auto it = tokens.find(authorization.substr(7));
            if (it != tokens.end())
                email = it->second;
        }
        std::string query;
        for (const auto& [k, v] : req.params)
            query += (query.empty() ? "?" : "&") + k + "=" + v;
        record("GET " + req.path + query + " bearer=" + (email.empty() ? "invalid" : "valid"));
        if (o.profileStatus)
            return error(res, o.profileStatus, "forced");
        if (o.profileBody) {
            res.set_content(*o.profileBody, "application/json");
            return;
        }
        if (email.empty())
            return error(res, 401, "a valid bearer token is needed");
        if (req.params.size() != 1 || req.get_param_value("country_code") != "QZ")
            return error(res, 400, "unknown country");
        res.set_content(nlohmann::json{{"config", profile}}.dump(), "application/json");
    });

    std::fprintf(stderr, "account-service listening on https://%s:%d/api/ with %zu user(s)\n",
                 o.host.c_str(), o.port, o.users.size());
    if (!server.listen(o.host.c_str(), o.port))
        usage("cannot listen on " + o.host + ":" + std::to_string(o.port));
    return 0;
}
