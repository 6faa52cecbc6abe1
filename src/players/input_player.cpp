#include "players/input_player.hpp"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "game/action_space.hpp"
#include "game/error.hpp"
#include "game/text.hpp"
#include "players/console_text.hpp"
#include "players/interrupt.hpp"

namespace corvanta {
namespace {

[[noreturn]] void fail_read(std::string_view description) {
  fail("Error reading input.: " + std::string(description));
}

void write(std::FILE* out, std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), out);
  std::fflush(out);
}

// One line with its terminator. End of input before any byte is a failed read, so the dialogue
// cannot ask forever. A read interrupted by a signal is resumed, unless the caller's interrupt
// check, run before every read, asks to stop the move.
std::string read_line(std::FILE* in) {
  struct Buffer {
    char* data = nullptr;
    std::size_t capacity = 0;
    ~Buffer() { std::free(data); }
  } buffer;
  std::string line;
  for (;;) {
    // A signal that arrived before the read began cannot interrupt it: its handlers run first.
    if (interrupt_requested()) throw Interrupted();
    errno = 0;
    const ssize_t got = getline(&buffer.data, &buffer.capacity, in);
    const int error = errno;
    if (got > 0) line.append(buffer.data, static_cast<std::size_t>(got));
    if (!line.empty() && line.back() == '\n') break;
    if (std::ferror(in)) {
      std::clearerr(in);
      if (error != EINTR) fail_read(std::strerror(error));
      continue;
    }
    std::clearerr(in);
    if (!line.empty()) break;  // a last line without terminator
    fail_read("end of input reached");
  }
  if (!console::is_valid_utf8(line)) fail_read("stream did not contain valid UTF-8");
  return line;
}

}  // namespace

Action console_dialogue(const ActionList& actions, PlayerId has_turn, const Enemy* enemy, std::FILE* in,
                        std::FILE* out) {
  // No answer could ever be accepted: refuse rather than ask.
  if (actions.empty()) fail(std::string(kNoActionsMessage));
  std::string text(60, '=');
  text += "\nCurrent player: " + text::debug(has_turn) + "\n";
  text += "Current enemy: \n\n" + text::debug(enemy, true) + "\n\n";
  std::string listing;
  for (std::size_t k = 0; k < actions.size(); ++k)
    listing.append("\n").append(std::to_string(k)).append(": ").append(text::debug(actions[k]));
  text.append("Available actions are: \n ").append(listing).append(" \n\n");
  text += "Type number to select an action:\n";
  write(out, text);

  for (;;) {
    const std::string line = read_line(in);
    const std::optional<std::uint64_t> choice = console::parse_choice(line);
    if (!choice) {
      write(out, "Failed to parse input " + console::quoted(line) + ". Please try again!\n");
    } else if (*choice >= actions.size()) {
      write(out, "Could not match input with any action. Please try again!\n");
    } else {
      return actions[*choice];
    }
  }
}

template <int N>
Action InputPlayer::play(State<N> state) {
  return console_dialogue(get_action_space(state), state.has_turn, state.current_enemy(), stdin, stdout);
}

template Action InputPlayer::play<1>(State<1>);
template Action InputPlayer::play<2>(State<2>);
template Action InputPlayer::play<3>(State<3>);
template Action InputPlayer::play<4>(State<4>);

}  // namespace corvanta
