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
//   --drop-after-request                     read each login request whole, then close
//                                            the connection without an answer
//   --stall-body / --cut-body                answer a login with 200 and half its body,
//                                            then go silent / close the connection
//   --record FILE                            append one line per request (never a secret)
#include "CertificateMaker.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <httplib.h>
#include <map>
#include <mutex>
#include <nlohmann/json.hpp>
#include <openssl/rand.h>
#include <openssl/ssl.h>
#include <sstream>
#include <strings.h>
#include <thread>

namespace {

struct Options {
    std::string host = "127.0.0.1";
    int port = 8443;
    std::string cert, key, profileFile, recordFile;
    std::map<std::string, std::string> users;
    int loginStatus = 0, profileStatus = 0;
    std::optional<std::string> loginBody, profileBody;
    bool login204 = false, drop = false, dropAfterRequest = false;
    enum class Body { whole, stalled, cut } loginBodyEnd = Body::whole;
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

int listenOn(const Options& o) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int one = 1;
    // As the HTTPS server does: connections a killed predecessor left closing keep the port.
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEPORT, &one, sizeof one);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(o.port));
    inet_pton(AF_INET, o.host.c_str(), &address.sin_addr);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(fd, 16) != 0)
        usage(std::string("cannot listen: ") + std::strerror(errno));
    return fd;
}

std::string loginRecord(const std::string& path, const std::string& contentType,
                        const nlohmann::json& body) {
    const bool jsonBody = contentType.rfind("application/json", 0) == 0;
    std::string email;
    if (body.is_object() && body.contains("email") && body["email"].is_string())
        email = body["email"].get<std::string>();
    return "POST " + path + " json=" + (jsonBody && body.is_object() ? "yes" : "no") +
           " email=" + email;
}

// Accepts TCP connections and closes them before any TLS: a service that drops the line.
int dropForever(const Options& o) {
    const int fd = listenOn(o);
    std::fprintf(stderr, "account-service dropping connections on %s:%d\n", o.host.c_str(), o.port);
    for (;;) {
        const int client = ::accept(fd, nullptr, nullptr);
        if (client >= 0)
            ::close(client);
    }
}

// Reads one HTTP request (headers and a body of Content-Length bytes, bounded) from a
// TLS connection; false when the connection ends first.
bool readRequest(SSL* ssl, std::string& head, std::string& body) {
    constexpr size_t limit = 64 * 1024;
    std::string data;
    char chunk[4096];
    size_t headEnd;
    while ((headEnd = data.find("\r\n\r\n")) == std::string::npos) {
        const int n = SSL_read(ssl, chunk, sizeof chunk);
        if (n <= 0 || data.size() > limit)
            return false;
        data.append(chunk, static_cast<size_t>(n));
    }
    head = data.substr(0, headEnd);
    body = data.substr(headEnd + 4);
    size_t length = 0;
    std::istringstream lines(head);
    for (std::string line; std::getline(lines, line);) {
        if (strncasecmp(line.c_str(), "Content-Length:", 15) == 0)
            length = std::min<size_t>(std::strtoul(line.c_str() + 15, nullptr, 10), limit);
    }
    while (body.size() < length) {
        const int n = SSL_read(ssl, chunk, sizeof chunk);
        if (n <= 0)
            return false;
        body.append(chunk, static_cast<size_t>(n));
    }
    return true;
}

std::string headerValue(const std::string& head, const char* name) {
    std::istringstream lines(head);
    const size_t nameLength = std::strlen(name);
    for (std::string line; std::getline(lines, line);) {
        if (line.size() > nameLength && strncasecmp(line.c_str(), name, nameLength) == 0 &&
            line[nameLength] == ':') {
            std::string value = line.substr(nameLength + 1);
            value.erase(0, value.find_first_not_of(' '));
            if (!value.empty() && value.back() == '\r')
                value.pop_back();
            return value;
        }
    }
    return {};
}

// TLS, then each request is read whole and recorded, and the connection is closed
// without a byte of answer: the line drops while the client waits for the reply.
int dropAfterRequest(const Options& o, const std::function<void(const std::string&)>& record) {
    SSL_CTX* context = SSL_CTX_new(TLS_server_method());
    if (!context || SSL_CTX_use_certificate_chain_file(context, o.cert.c_str()) != 1 ||
        SSL_CTX_use_PrivateKey_file(context, o.key.c_str(), SSL_FILETYPE_PEM) != 1)
        usage("cannot load the certificate or key");
    const int fd = listenOn(o);
    std::fprintf(stderr, "account-service dropping each request on %s:%d\n", o.host.c_str(),
                 o.port);
    for (;;) {
        const int client = ::accept4(fd, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0)
            continue;
        const timeval timeout{5, 0};
        ::setsockopt(client, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
        SSL* ssl = SSL_new(context);
        SSL_set_fd(ssl, client);
        std::string head, body;
        if (SSL_accept(ssl) == 1 && readRequest(ssl, head, body)) {
            const std::string requestLine = head.substr(0, head.find("\r\n"));
            const size_t pathStart = requestLine.find(' ') + 1;
            const std::string path =
                requestLine.substr(pathStart, requestLine.find(' ', pathStart) - pathStart);
            if (requestLine.rfind("POST ", 0) == 0)
                record(loginRecord(path, headerValue(head, "Content-Type"),
                                   nlohmann::json::parse(body, nullptr, false)));
            else
                record(requestLine.substr(0, requestLine.find(' ', pathStart)));
        }
        SSL_free(ssl);
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
        else if (arg == "--drop-after-request")
            o.dropAfterRequest = true;
        else if (arg == "--stall-body")
            o.loginBodyEnd = Options::Body::stalled;
        else if (arg == "--cut-body")
            o.loginBodyEnd = Options::Body::cut;
        else
            usage("unknown option " + arg);
    }
    std::mutex mutex;
    auto record = [&](const std::string& line) {
        if (o.recordFile.empty())
            return;
        std::lock_guard lock(mutex);
        std::ofstream(o.recordFile, std::ios::app) << line << "\n";
    };
    if (o.drop)
        return dropForever(o);
    if (o.cert.empty() || o.key.empty())
        usage("--cert and --key are needed (make them with --generate-cert DIR)");
    if (o.dropAfterRequest)
        return dropAfterRequest(o, record);
    const std::string profile = o.profileFile.empty() ? std::string() : readWhole(o.profileFile);

    std::map<std::string, std::string> tokens; // token -> email
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
    // A reply goes out as headers and body, two writes: with Nagle's algorithm the body would
    // wait for the client's delayed acknowledgement of the headers (40 ms on Linux), a stall
    // a real service's server does not have and the client's timings should not carry.
    server.set_tcp_nodelay(true);

    server.Post("/api/login", [&](const httplib::Request& req, httplib::Response& res) {
        wait();
        const auto body = nlohmann::json::parse(req.body, nullptr, false);
        record(loginRecord(req.path, req.get_header_value("Content-Type"), body));
        std::string email;
        if (body.is_object() && body.contains("email") && body["email"].is_string())
            email = body["email"].get<std::string>();
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
        const std::string answer =
            nlohmann::json{{"access_token", token}, {"token_type", "Bearer"}}.dump();
        if (o.loginBodyEnd == Options::Body::whole)
            return res.set_content(answer, "application/json");
        // Content-Length promises the whole answer; half of it goes out.
        const auto end = o.loginBodyEnd;
        res.set_content_provider(answer.size(), "application/json",
                                 [answer, end](size_t offset, size_t, httplib::DataSink& sink) {
                                     if (offset == 0)
                                         return sink.write(answer.data(), answer.size() / 2);
                                     if (end == Options::Body::stalled)
                                         std::this_thread::sleep_for(std::chrono::seconds(120));
                                     return false;
                                 });
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
