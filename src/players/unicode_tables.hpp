#pragma once
#include <cstddef>

namespace corvanta::unicode {

struct CodeRange {
  char32_t first;
  char32_t last;
};

// Non-printable characters and grapheme extenders (combining marks): shown escaped when the
// console player echoes a line it could not parse.
bool is_escaped(char32_t c);
// The White_Space property, trimmed from both ends of a console answer.
bool is_white_space(char32_t c);

}  // namespace corvanta::unicode
