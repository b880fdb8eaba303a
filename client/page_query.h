// The answers the browser process gives to a page's queries.
#pragma once

#include <optional>
#include <string>

// The JSON text answering the query named `name` for a source of the given size, or nothing
// when the name is not exactly "getCurrentScene" or "getStatus".
std::optional<std::string> AnswerPageQuery(const std::string& name, int width, int height);
