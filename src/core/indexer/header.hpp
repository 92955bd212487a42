#pragma once
#include <optional>
#include <string>
#include <string_view>

namespace quarnel {

// What the model index reads from the HEADER section.
struct HeaderFacts {
    std::string schema;                              // "" when not found
    std::optional<std::string> originating_system;  // FILE_NAME's, when a non-empty string
    bool is_ifc2x3 = false;
};

// Looks for the keywords in the first 64 KiB only, so the cost does not grow
// with the file.
HeaderFacts read_header(std::string_view file);

}  // namespace quarnel
