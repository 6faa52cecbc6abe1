#include "python/action_py.hpp"

#include <array>
#include <string>

#include "game/text.hpp"
#include "python/args.hpp"
#include "python/boxed.hpp"
#include "python/card_py.hpp"
#include "python/entry.hpp"

namespace corvanta::py {
namespace {

constexpr std::size_t kKinds = 7;

struct ActionClass {
  const char* name;     // the Python class name
  const char* variant;  // the name of the variant of the conversion's union
  newfunc construct;
};

// The classes created so far, by variant; an object can only be of a class that exists.
std::array<PyTypeObject*, kKinds> created{};

PyObject* new_action(const Action& action) {
  return box<Action>(action_type(action.kind), action);
}

PyObject* call_new(const Signature& sig, PyObject* args, PyObject* kwargs, PyObject** given,
                   Action (*build)(PyObject** given, bool& ok)) {
  return guard([&]() -> PyObject* {
    if (!parse_args(sig, args, kwargs, given)) return nullptr;
    bool ok = true;
    const Action action = build(given, ok);
    return ok ? new_action(action) : nullptr;
  });
}

// Cards of a combo or a discard: a sequence of Card objects, at most `capacity` of them.
template <std::size_t Capacity>
bool cards_arg(PyObject* obj, const char* class_name, FixedVec<Card, Capacity>& out) {
  if (!PySequence_Check(obj)) {
    raise_conversion_error("cards", obj, "Sequence");
    return false;
  }
  PyRef iter = PyRef::steal(PyObject_GetIter(obj));
  if (!iter) return false;
  while (PyRef item = PyRef::steal(PyIter_Next(iter.get()))) {
    Card card;
    if (!card_arg(item.get(), "cards", card)) return false;
    if (out.full()) {
      PyErr_Format(PyExc_ValueError, "%s holds at most %d cards", class_name, static_cast<int>(Capacity));
      return false;
    }
    out.push_back(card);
  }
  return !PyErr_Occurred();
}

constexpr const char* kCardParam[] = {"card"};
constexpr const char* kComboParams[] = {"c1", "c2"};
constexpr const char* kCardsParam[] = {"cards"};
constexpr const char* kIdParam[] = {"id"};
const Signature kPlayNew{"ActionPlay.__new__", kCardParam, 1};
const Signature kAnimalNew{"ActionAnimalCombo.__new__", kComboParams, 2};
const Signature kComboNew{"ActionCombo.__new__", kCardsParam, 1};
const Signature kDiscardNew{"ActionDiscard.__new__", kCardsParam, 1};
const Signature kChangeNew{"ActionChangePlayer.__new__", kIdParam, 1};

PyObject* play_new(PyTypeObject*, PyObject* args, PyObject* kwargs) {
  PyObject* given[1];
  return call_new(kPlayNew, args, kwargs, given, [](PyObject** g, bool& ok) {
    Card card;
    ok = card_arg(g[0], "card", card);
    return ok ? Action::play(card) : Action{};
  });
}

PyObject* animal_new(PyTypeObject*, PyObject* args, PyObject* kwargs) {
  PyObject* given[2];
  return call_new(kAnimalNew, args, kwargs, given, [](PyObject** g, bool& ok) {
    Card first, second;
    ok = card_arg(g[0], "c1", first) && card_arg(g[1], "c2", second);
    return ok ? Action::animal_combo(first, second) : Action{};
  });
}

PyObject* combo_new(PyTypeObject*, PyObject* args, PyObject* kwargs) {
  PyObject* given[1];
  return call_new(kComboNew, args, kwargs, given, [](PyObject** g, bool& ok) {
    FixedVec<Card, kMaxComboCards> cards;
    ok = cards_arg(g[0], "ActionCombo", cards);
    return ok ? Action::combo(cards) : Action{};
  });
}

PyObject* discard_new(PyTypeObject*, PyObject* args, PyObject* kwargs) {
  PyObject* given[1];
  return call_new(kDiscardNew, args, kwargs, given, [](PyObject** g, bool& ok) {
    FixedVec<Card, kMaxDiscardCards> cards;
    ok = cards_arg(g[0], "ActionDiscard", cards);
    return ok ? Action::discard(cards) : Action{};
  });
}

PyObject* change_new(PyTypeObject*, PyObject* args, PyObject* kwargs) {
  PyObject* given[1];
  return call_new(kChangeNew, args, kwargs, given, [](PyObject** g, bool& ok) {
    std::uint64_t id = 0;
    ok = u64_arg(g[0], "id", id);
    return ok ? Action::change_player(PlayerId{id}) : Action{};
  });
}

// Yield and RefillHand carry nothing and look at no argument.
PyObject* yield_new(PyTypeObject*, PyObject*, PyObject*) {
  return guard([] { return new_action(Action::yield()); });
}
PyObject* refill_new(PyTypeObject*, PyObject*, PyObject*) {
  return guard([] { return new_action(Action::refill_hand()); });
}

constexpr ActionClass kClasses[kKinds] = {
    {"ActionPlay", "PyActionPlay", play_new},
    {"ActionAnimalCombo", "PyActionAnimalCombo", animal_new},
    {"ActionCombo", "PyActionCombo", combo_new},
    {"ActionYield", "PyActionYield", yield_new},
    {"ActionDiscard", "PyActionDiscard", discard_new},
    {"ActionChangePlayer", "PyActionChangePlayer", change_new},
    {"ActionRefillHand", "PyActionRefillHand", refill_new},
};

PyObject* action_text(PyObject* self) {
  return guard([&] { return to_str(text::debug(unbox<Action>(self))); });
}

PyObject* action_richcompare(PyObject* self, PyObject* other, int op) {
  return guard([&]() -> PyObject* {
    if (Py_TYPE(other) != Py_TYPE(self)) Py_RETURN_NOTIMPLEMENTED;
    return equality_only(unbox<Action>(self) == unbox<Action>(other), op);
  });
}

PyTypeObject* make_action_type(const ActionClass& cls) {
  PyType_Slot slots[] = {
      {Py_tp_dealloc, reinterpret_cast<void*>(boxed_dealloc<Action>)},
      {Py_tp_new, reinterpret_cast<void*>(cls.construct)},
      {Py_tp_str, reinterpret_cast<void*>(action_text)},
      {Py_tp_repr, reinterpret_cast<void*>(action_text)},
      {Py_tp_richcompare, reinterpret_cast<void*>(action_richcompare)},
      {Py_tp_hash, reinterpret_cast<void*>(PyObject_HashNotImplemented)},
      {0, nullptr},
  };
  return create_type(cls.name, sizeof(Boxed<Action>), slots);
}

std::string extraction_error(PyObject* obj) {
  std::string variants;
  std::string lines;
  for (const ActionClass& cls : kClasses) {
    if (!variants.empty()) variants += " | ";
    variants += cls.variant;
    lines += std::string("\n- variant ") + cls.variant + " (" + cls.variant + "): " + conversion_message(obj, cls.name);
  }
  return "failed to extract enum PyAction ('" + variants + "')" + lines;
}

}  // namespace

PyTypeObject* action_type(Action::Kind kind) {
  PyTypeObject*& type = created[static_cast<std::size_t>(kind)];
  if (type == nullptr) type = make_action_type(kClasses[static_cast<std::size_t>(kind)]);
  return type;
}

PyObject* action_to_py(const Action& action) { return new_action(action); }

bool action_from_py(PyObject* obj, Action& out) {
  for (PyTypeObject* type : created) {
    if (type != nullptr && Py_TYPE(obj) == type) {
      out = unbox<Action>(obj);
      return true;
    }
  }
  raise_type_error(extraction_error(obj));
  return false;
}

}  // namespace corvanta::py
