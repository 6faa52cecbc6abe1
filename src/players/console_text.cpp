#include "players/console_text.hpp"

#include <cstdio>

#include "players/unicode_tables.hpp"

namespace corvanta::console {
namespace {

struct Decoded {
  char32_t code;
  std::size_t length;  // 0: not a valid UTF-8 sequence
};

// One scalar value starting at bytes[i]; overlong forms, surrogates and values above U+10FFFF
// are invalid.
Decoded decode(std::string_view bytes, std::size_t i) {
  const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(bytes[k]); };
  const unsigned char b0 = byte(i);
  if (b0 < 0x80) return {b0, 1};
  std::size_t len;
  char32_t code;
  char32_t min;
  if ((b0 & 0xE0) == 0xC0) {
    len = 2, code = b0 & 0x1F, min = 0x80;
  } else if ((b0 & 0xF0) == 0xE0) {
    len = 3, code = b0 & 0x0F, min = 0x800;
  } else if ((b0 & 0xF8) == 0xF0) {
    len = 4, code = b0 & 0x07, min = 0x10000;
  } else {
    return {0, 0};
  }
  if (i + len > bytes.size()) return {0, 0};
  for (std::size_t k = 1; k < len; ++k) {
    if ((byte(i + k) & 0xC0) != 0x80) return {0, 0};
    code = (code << 6) | (byte(i + k) & 0x3F);
  }
  if (code < min || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return {0, 0};
  return {code, len};
}

// Length of the last scalar value of a valid UTF-8 text.
std::size_t last_length(std::string_view text) {
  std::size_t len = 1;
  while ((static_cast<unsigned char>(text[text.size() - len]) & 0xC0) == 0x80) ++len;
  return len;
}

std::string_view trim(std::string_view text) {
  while (!text.empty()) {
    const Decoded d = decode(text, 0);
    if (!unicode::is_white_space(d.code)) break;
    text.remove_prefix(d.length);
  }
  while (!text.empty()) {
    const std::size_t len = last_length(text);
    if (!unicode::is_white_space(decode(text, text.size() - len).code)) break;
    text.remove_suffix(len);
  }
  return text;
}

}  // namespace

bool is_valid_utf8(std::string_view bytes) {
  for (std::size_t i = 0; i < bytes.size();) {
    const Decoded d = decode(bytes, i);
    if (d.length == 0) return false;
    i += d.length;
  }
  return true;
}

std::optional<std::uint64_t> parse_choice(std::string_view line) {
  std::string_view digits = trim(line);
  if (!digits.empty() && digits.front() == '+') digits.remove_prefix(1);
  if (digits.empty()) return std::nullopt;
  std::uint64_t value = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return std::nullopt;
    const auto digit = static_cast<std::uint64_t>(c - '0');
    if (value > (UINT64_MAX - digit) / 10) return std::nullopt;
    value = value * 10 + digit;
  }
  return value;
}

std::string quoted(std::string_view line) {
  std::string out = "\"";
  for (std::size_t i = 0; i < line.size();) {
    const Decoded d = decode(line, i);
    switch (d.code) {
      case U'\t': out += "\\t"; break;
      case U'\r': out += "\\r"; break;
      case U'\n': out += "\\n"; break;
      case U'\0': out += "\\0"; break;
      case U'\\': out += "\\\\"; break;
      case U'"': out += "\\\""; break;
      default:
        if (unicode::is_escaped(d.code)) {
          char buf[16];
          std::snprintf(buf, sizeof buf, "\\u{%x}", static_cast<unsigned>(d.code));
          out += buf;
        } else {
          out.append(line.substr(i, d.length));
        }
    }
    i += d.length == 0 ? 1 : d.length;  // invalid input is refused before; never stall on it
  }
  out += "\"";
  return out;
}

}  // namespace corvanta::console
