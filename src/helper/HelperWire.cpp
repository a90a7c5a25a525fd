#include "helper/HelperWire.h"

#include <limits>
#include <nlohmann/json.hpp>

using json = nlohmann::json;

namespace {

// The parsed object if `line` is one JSON object of our version with a positive id.
std::optional<json> envelope(std::string_view line) {
    if (line.size() > HelperWire::maxLineBytes)
        return std::nullopt;
    json message = json::parse(line, nullptr, false);
    if (message.is_discarded() || !message.is_object())
        return std::nullopt;
    const auto v = message.find("v");
    const auto id = message.find("id");
    if (v == message.end() || !v->is_number_integer() || *v != HelperWire::protocolVersion)
        return std::nullopt;
    if (id == message.end() || !id->is_number_unsigned() || id->get<uint64_t>() == 0)
        return std::nullopt;
    return message;
}

std::optional<std::string> pathMember(const json& message, const char* name) {
    const auto it = message.find(name);
    if (it == message.end() || !it->is_string())
        return std::nullopt;
    auto value = it->get<std::string>();
    if (value.empty() || value.size() > HelperWire::maxPathBytes ||
        value.find('\0') != std::string::npos)
        return std::nullopt;
    return value;
}

} // namespace

const char* HelperWire::operationName(HelperRequest::Operation operation) {
    switch (operation) {
    case HelperRequest::Operation::getVersion:
        return "getVersion";
    case HelperRequest::Operation::runOpenVPN:
        return "runOpenVPN";
    case HelperRequest::Operation::killOpenVPN:
        return "killOpenVPN";
    }
    return "";
}

std::string HelperWire::encode(const HelperRequest& request) {
    json message = {
        {"v", protocolVersion}, {"id", request.id}, {"op", operationName(request.operation)}};
    if (request.operation == HelperRequest::Operation::runOpenVPN) {
        message["config"] = request.config;
        message["client_up"] = request.clientUp;
        message["client_down"] = request.clientDown;
    }
    return message.dump(-1, ' ', false, json::error_handler_t::replace) + "\n";
}

std::string HelperWire::encode(const HelperReply& reply) {
    json message = {{"v", protocolVersion}, {"id", reply.id}};
    if (reply.kind == HelperReply::Kind::version) {
        message["reply"] = "version";
        message["version"] = reply.version;
    } else {
        message["reply"] = "terminated";
        message["status"] = reply.status;
    }
    return message.dump(-1, ' ', false, json::error_handler_t::replace) + "\n";
}

std::optional<HelperRequest> HelperWire::decodeRequest(std::string_view line) {
    auto message = envelope(line);
    if (!message)
        return std::nullopt;
    const auto op = message->find("op");
    if (op == message->end() || !op->is_string())
        return std::nullopt;
    HelperRequest request;
    request.id = (*message)["id"].get<uint64_t>();
    const std::string name = op->get<std::string>();
    if (name == "getVersion") {
        request.operation = HelperRequest::Operation::getVersion;
    } else if (name == "killOpenVPN") {
        request.operation = HelperRequest::Operation::killOpenVPN;
    } else if (name == "runOpenVPN") {
        request.operation = HelperRequest::Operation::runOpenVPN;
        auto config = pathMember(*message, "config");
        auto up = pathMember(*message, "client_up");
        auto down = pathMember(*message, "client_down");
        if (!config || !up || !down)
            return std::nullopt;
        request.config = std::move(*config);
        request.clientUp = std::move(*up);
        request.clientDown = std::move(*down);
    } else {
        return std::nullopt;
    }
    return request;
}

std::optional<HelperReply> HelperWire::decodeReply(std::string_view line) {
    auto message = envelope(line);
    if (!message)
        return std::nullopt;
    const auto kind = message->find("reply");
    if (kind == message->end() || !kind->is_string())
        return std::nullopt;
    HelperReply reply;
    reply.id = (*message)["id"].get<uint64_t>();
    if (*kind == "version") {
        const auto version = message->find("version");
        if (version == message->end() || !version->is_string())
            return std::nullopt;
        reply.kind = HelperReply::Kind::version;
        reply.version = version->get<std::string>();
    } else if (*kind == "terminated") {
        const auto status = message->find("status");
        if (status == message->end() || !status->is_number_integer())
            return std::nullopt;
        const auto value = status->get<int64_t>();
        if (value < std::numeric_limits<int32_t>::min() ||
            value > std::numeric_limits<int32_t>::max())
            return std::nullopt;
        reply.kind = HelperReply::Kind::terminated;
        reply.status = static_cast<int32_t>(value);
    } else {
        return std::nullopt;
    }
    return reply;
}
