// The module's initialisation: submodules and classes in their fixed order; nothing else runs
// at import.
#include "python/action_py.hpp"
#include "python/boxed.hpp"
#include "python/card_py.hpp"
#include "python/entry.hpp"
#include "python/game_py.hpp"
#include "python/native_player.hpp"

namespace corvanta::py {
namespace {

// Sets the attribute under the object's name and appends the name to the module's __all__.
bool add(PyObject* module, const char* name, PyObject* obj) {
  if (obj == nullptr) return false;
  PyRef all = PyRef::borrow(PyDict_GetItemString(PyModule_GetDict(module), "__all__"));
  if (!all) {
    all = PyRef::steal(PyList_New(0));
    if (!all || PyModule_AddObjectRef(module, "__all__", all.get()) < 0) return false;
  }
  PyRef text = PyRef::steal(PyUnicode_FromString(name));
  return text && PyList_Append(all.get(), text.get()) == 0 && PyModule_AddObjectRef(module, name, obj) == 0;
}

bool add_class(PyObject* module, PyTypeObject* type) {
  return type != nullptr && add(module, class_name(type), reinterpret_cast<PyObject*>(type));
}

// A submodule lives only as an attribute of the main module, never in sys.modules.
bool add_submodule(PyObject* module, const char* name, bool (*fill)(PyObject*)) {
  PyRef sub = PyRef::steal(PyModule_New(name));
  return sub && fill(sub.get()) && add(module, name, sub.get());
}

bool fill_card(PyObject* m) {
  return add_class(m, card_type()) && add_class(m, card_suit_type()) && add_class(m, card_value_type());
}

bool fill_actions(PyObject* m) {
  for (Action::Kind kind : {Action::Kind::Play, Action::Kind::AnimalCombo, Action::Kind::Combo, Action::Kind::Yield,
                            Action::Kind::Discard, Action::Kind::ChangePlayer, Action::Kind::RefillHand})
    if (!add_class(m, action_type(kind))) return false;
  return true;
}

bool fill_players(PyObject* m) {
  return for_each_player_type([m](PyTypeObject* type) { return add_class(m, type); });
}

PyModuleDef kModule = {PyModuleDef_HEAD_INIT, "corvanta", "", -1, nullptr, nullptr, nullptr, nullptr, nullptr};

PyObject* init() {
  PyRef module = PyRef::steal(PyModule_Create(&kModule));
  if (!module) return nullptr;
  if (!add_submodule(module.get(), "card", fill_card) || !add_submodule(module.get(), "actions", fill_actions) ||
      !add_submodule(module.get(), "players", fill_players) || !add_class(module.get(), game_type()))
    return nullptr;
  return module.release();
}

}  // namespace
}  // namespace corvanta::py

PyMODINIT_FUNC PyInit_corvanta() {
  return corvanta::py::guard([] { return corvanta::py::init(); });
}
