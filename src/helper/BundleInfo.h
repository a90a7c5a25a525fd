#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>

// The info dictionary a Quovant executable carries in its ".quovant_info" ELF
// section (a flat JSON object of strings, "CFBundleVersion" among them), read from
// the file without running it.
class BundleInfo {
public:
    static constexpr const char* sectionName = ".quovant_info";
    static constexpr const char* versionKey = "CFBundleVersion";

    // Empty when the file is missing, is not a 64-bit ELF file, or has no valid dictionary.
    static std::optional<std::map<std::string, std::string>> read(const std::string& path);
    static std::optional<std::map<std::string, std::string>> parse(std::string_view elfImage);
    // The file's "CFBundleVersion", if it has one.
    static std::optional<std::string> version(const std::string& path);
};
