#include "game/search_spec.hpp"

CORVANTA_SEARCH_INSTANCES()
