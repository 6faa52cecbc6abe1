#pragma once
// The console player's handling of one typed line: validation, the number it names, and the
// quoted form in which a line that names no number is shown back.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace corvanta::console {

bool is_valid_utf8(std::string_view bytes);

// Trims Unicode white space (the line terminator included), then accepts an optional "+" and
// one or more decimal digits, up to 18446744073709551615. The line must be valid UTF-8.
std::optional<std::uint64_t> parse_choice(std::string_view line);

// The line in double quotes, with \t \r \n \0 \\ \" escaped and non-printable characters and
// combining marks as \u{hex}. The line must be valid UTF-8.
std::string quoted(std::string_view line);

}  // namespace corvanta::console
