#include "game/error.hpp"

namespace corvanta {

void fail(const std::string& message) { throw Fatal(message); }

}  // namespace corvanta
