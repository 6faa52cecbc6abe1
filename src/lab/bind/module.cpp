// corvanta_lab._core: the lab's values, steppable game, search and vector of games. Conversions
// only: the engine is plain C++ in src/lab, and each binder here converts one part of it.
#include <nanobind/nanobind.h>

#include "lab/bind/convert.hpp"
#include "lab/bind/signatures.hpp"

NB_MODULE(_core, m) {
  using namespace corvanta::lab;
  m.doc() = "The native part of corvanta_lab: values, the steppable game, search and batched games.";
  // Errors: nanobind's own translation. A refused request (corvanta::lab::Invalid, a
  // std::invalid_argument) is a ValueError, a failed search or a broken rule (std::runtime_error)
  // a RuntimeError.
  bind_values(m);
  bind_game(m);
  bind_search(m);
  bind_vector(m);
  {
    nb::object card = m.attr("Card").attr("from_index")(0);
    add_signatures(m.attr("search"), nb::type<corvanta::Card>().attr("__dict__")["__repr__"], card.attr("__repr__"));
  }
}
