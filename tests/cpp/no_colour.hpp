#pragma once
// Card texts are compared in their plain form. The colour decision is taken once per process, on
// first use, so the environment is fixed here, before main and before any text is produced.
#include <cstdlib>

namespace test_support {

inline const bool kColourOff = [] {
  unsetenv("CLICOLOR_FORCE");
  setenv("NO_COLOR", "1", 1);
  return true;
}();

}  // namespace test_support
