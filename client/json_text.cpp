#include "client/json_text.h"

#include <cmath>
#include <cstdio>

namespace {

void DumpString(const std::string& text, std::string& out) {
  out += '"';
  for (std::size_t i = 0; i < text.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    switch (c) {
      case '\\':
        out += "\\\\";
        break;
      case '"':
        out += "\\\"";
        break;
      case '\b':
        out += "\\b";
        break;
      case '\f':
        out += "\\f";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (c <= 0x1f) {
          char escaped[8];
          std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
          out += escaped;
        } else if (c == 0xe2 && i + 2 < text.size() &&
                   static_cast<unsigned char>(text[i + 1]) == 0x80 &&
                   (static_cast<unsigned char>(text[i + 2]) == 0xa8 ||
                    static_cast<unsigned char>(text[i + 2]) == 0xa9)) {
          // Line and paragraph separators end a line in script source: always escaped.
          out += static_cast<unsigned char>(text[i + 2]) == 0xa8 ? "\\u2028" : "\\u2029";
          i += 2;
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  out += '"';
}

void Dump(const nlohmann::json& value, std::string& out) {
  switch (value.type()) {
    case nlohmann::json::value_t::null:
    case nlohmann::json::value_t::discarded:
    case nlohmann::json::value_t::binary:
      out += "null";
      break;
    case nlohmann::json::value_t::boolean:
      out += value.get<bool>() ? "true" : "false";
      break;
    case nlohmann::json::value_t::number_integer:
      out += std::to_string(value.get<std::int64_t>());
      break;
    case nlohmann::json::value_t::number_unsigned:
      out += std::to_string(value.get<std::uint64_t>());
      break;
    case nlohmann::json::value_t::number_float: {
      const double number = value.get<double>();
      if (!std::isfinite(number)) {
        out += "null";
      } else {
        char text[32];
        std::snprintf(text, sizeof text, "%.17g", number);
        out += text;
      }
      break;
    }
    case nlohmann::json::value_t::string:
      DumpString(value.get_ref<const std::string&>(), out);
      break;
    case nlohmann::json::value_t::array: {
      out += '[';
      bool first = true;
      for (const auto& item : value) {
        if (!first) out += ", ";
        first = false;
        Dump(item, out);
      }
      out += ']';
      break;
    }
    case nlohmann::json::value_t::object: {
      // nlohmann's default object is a std::map: its items come in byte order of the keys.
      out += '{';
      bool first = true;
      for (const auto& [key, item] : value.items()) {
        if (!first) out += ", ";
        first = false;
        DumpString(key, out);
        out += ": ";
        Dump(item, out);
      }
      out += '}';
      break;
    }
  }
}

}  // namespace

std::string DumpJsonText(const nlohmann::json& value) {
  std::string out;
  Dump(value, out);
  return out;
}
