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

// An optional true/false member: false when absent, empty when it is anything else.
std::optional<bool> flag(const json& message, const char* name) {
    const auto it = message.find(name);
    if (it == message.end())
        return false;
    if (!it->is_boolean())
        return std::nullopt;
    return it->get<bool>();
}

// The reason's text and its parts ("reasonParts", plain texts that the text's %1, %2 ...
// place), so that the application can translate the text and put the parts in.
void putReason(json& message, const UserMessage& reason) {
    message["reason"] = reason.text();
    if (reason.parts().empty())
        return;
    json parts = json::array();
    for (const UserMessage& part : reason.parts())
        parts.push_back(part.plain());
    message["reasonParts"] = std::move(parts);
}

// Absent is empty; anything over the bounds or of another type is no reason at all.
std::optional<UserMessage> takeReason(const json& message) {
    const auto text = message.find("reason");
    if (text == message.end())
        return UserMessage{};
    if (!text->is_string() || text->get<std::string>().size() > HelperWire::maxReasonBytes)
        return std::nullopt;
    std::vector<UserMessage> parts;
    if (const auto given = message.find("reasonParts"); given != message.end()) {
        if (!given->is_array() || given->size() > HelperWire::maxReasonParts)
            return std::nullopt;
        for (const json& part : *given) {
            if (!part.is_string() || part.get<std::string>().size() > HelperWire::maxReasonBytes)
                return std::nullopt;
            parts.emplace_back(part.get<std::string>());
        }
    }
    return UserMessage{text->get<std::string>(), std::move(parts)};
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
    case HelperRequest::Operation::releaseBlock:
        return "releaseBlock";
    }
    return "";
}

std::string HelperWire::encode(const HelperRequest& request) {
    json message = {
        {"v", protocolVersion}, {"id", request.id}, {"op", operationName(request.operation)}};
    if (request.operation == HelperRequest::Operation::runOpenVPN) {
        message["client_up"] = request.clientUp;
        message["client_down"] = request.clientDown;
        if (request.blockLeaks)
            message["block_leaks"] = true;
        if (request.allowLocalNetwork)
            message["allow_local_network"] = true;
    }
    if (request.operation == HelperRequest::Operation::killOpenVPN && request.keepBlock)
        message["keep_block"] = true;
    return message.dump(-1, ' ', false, json::error_handler_t::replace) + "\n";
}

std::string HelperWire::encode(const HelperReply& reply) {
    json message = {{"v", protocolVersion}, {"id", reply.id}};
    switch (reply.kind) {
    case HelperReply::Kind::version:
        message["reply"] = "version";
        message["version"] = reply.version;
        break;
    case HelperReply::Kind::started:
        message["reply"] = "started";
        break;
    case HelperReply::Kind::terminated:
        message["reply"] = "terminated";
        message["status"] = reply.status;
        if (!reply.reason.empty())
            putReason(message, reply.reason);
        if (reply.blocking)
            message["blocking"] = true;
        break;
    case HelperReply::Kind::blockLifted:
        message["reply"] = "blockLifted";
        putReason(message, reply.reason);
        break;
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
        const auto keep = flag(*message, "keep_block");
        if (!keep)
            return std::nullopt;
        request.keepBlock = *keep;
    } else if (name == "releaseBlock") {
        request.operation = HelperRequest::Operation::releaseBlock;
    } else if (name == "runOpenVPN") {
        request.operation = HelperRequest::Operation::runOpenVPN;
        auto up = pathMember(*message, "client_up");
        auto down = pathMember(*message, "client_down");
        if (!up || !down)
            return std::nullopt;
        request.clientUp = std::move(*up);
        request.clientDown = std::move(*down);
        const auto block = flag(*message, "block_leaks");
        const auto local = flag(*message, "allow_local_network");
        if (!block || !local)
            return std::nullopt;
        request.blockLeaks = *block;
        request.allowLocalNetwork = *local;
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
    } else if (*kind == "started") {
        reply.kind = HelperReply::Kind::started;
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
        const auto blocking = flag(*message, "blocking");
        if (!blocking)
            return std::nullopt;
        reply.blocking = *blocking;
        auto reason = takeReason(*message);
        if (!reason)
            return std::nullopt;
        reply.reason = std::move(*reason);
    } else if (*kind == "blockLifted") {
        auto reason = takeReason(*message);
        if (!reason || !message->contains("reason"))
            return std::nullopt;
        reply.kind = HelperReply::Kind::blockLifted;
        reply.reason = std::move(*reason);
    } else {
        return std::nullopt;
    }
    return reply;
}

std::string HelperWire::encodeBusy(const std::string& reason) {
    const json message = {{"v", protocolVersion}, {"reply", "busy"}, {"reason", reason}};
    return message.dump(-1, ' ', false, json::error_handler_t::replace) + "\n";
}

std::optional<std::string> HelperWire::decodeBusy(std::string_view line) {
    if (line.size() > maxLineBytes)
        return std::nullopt;
    const json message = json::parse(line, nullptr, false);
    if (!message.is_object() || message.size() != 3 || message.value("v", 0) != protocolVersion ||
        message.value("reply", "") != "busy")
        return std::nullopt;
    const auto reason = message.find("reason");
    if (reason == message.end() || !reason->is_string() ||
        reason->get<std::string>().size() > maxReasonBytes)
        return std::nullopt;
    return reason->get<std::string>();
}
