// JSON text in the exact form the page queries answer with: object members in byte order of
// their keys, ", " between members and items, ": " between key and value, integers in
// decimal, other numbers with 17 significant digits, control characters and U+2028/U+2029
// escaped as \uXXXX.
#pragma once

#include <nlohmann/json.hpp>
#include <string>

std::string DumpJsonText(const nlohmann::json& value);
