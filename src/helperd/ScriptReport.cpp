#include "helperd/ScriptReport.h"

#include <algorithm>

bool ScriptReport::reported(std::string_view name) {
    static constexpr std::string_view prefixes[] = {"foreign_option_", "dns_server_",
                                                    "dns_search_domain_"};
    const bool shaped = !name.empty() && std::all_of(name.begin(), name.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
    });
    return shaped && std::any_of(std::begin(prefixes), std::end(prefixes),
                                 [&](std::string_view p) { return name.starts_with(p); });
}

std::optional<std::vector<ScriptReport::Report>> ScriptReport::feed(std::string_view bytes) {
    std::vector<Report> done;
    if (partial_.size() + bytes.size() > maxBytes)
        return std::nullopt;
    partial_.append(bytes);
    size_t at = 0;
    for (size_t end; (end = partial_.find('\n', at)) != std::string::npos; at = end + 1) {
        const std::string_view line(partial_.data() + at, end - at);
        if (line == "up" || line == "down") {
            building_.up = line == "up";
            done.push_back(std::move(building_));
            building_ = {};
            buildingBytes_ = 0;
            continue;
        }
        buildingBytes_ += line.size() + 1;
        if (buildingBytes_ > maxBytes)
            return std::nullopt;
        const size_t equals = line.find('=');
        if (equals == std::string_view::npos || !reported(line.substr(0, equals)) ||
            building_.environment.size() >= maxVariables)
            return std::nullopt;
        building_.environment[std::string(line.substr(0, equals))] =
            std::string(line.substr(equals + 1));
    }
    partial_.erase(0, at);
    return done;
}
