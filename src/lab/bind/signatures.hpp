#pragma once
// Signatures for inspect: nanobind's functions carry their signature only as text
// (`__nb_signature__`), which inspect.signature does not read. A `__signature__` getter added to
// nanobind's three function types builds an inspect.Signature from that text in Python
// (corvanta_lab._signature), so help(), inspect and IDEs see the parameters of every native
// function and method of the lab.
#include <nanobind/nanobind.h>

namespace corvanta::lab {

// Adds the getter to the types of `function` (a module function), `method` (an unbound method
// as found in a class dictionary) and `bound` (a method bound to an instance). Idempotent.
void add_signatures(nanobind::handle function, nanobind::handle method, nanobind::handle bound);

}  // namespace corvanta::lab
