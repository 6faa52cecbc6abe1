#include "python/boxed.hpp"

#include <cstring>
#include <deque>
#include <string>

#include "python/args.hpp"
#include "python/entry.hpp"

namespace corvanta::py {

PyObject* no_constructor(PyTypeObject*, PyObject*, PyObject*) {
  return guard([]() -> PyObject* {
    raise_type_error("No constructor defined");
    return nullptr;
  });
}

PyTypeObject* create_type(const char* name, std::size_t basic_size, PyType_Slot* slots, unsigned extra_flags) {
  // The type keeps a pointer to its qualified name: the names live as long as the process.
  static std::deque<std::string> names;
  constexpr std::string_view kModule = "builtins.";
  names.push_back(std::string(kModule) + name);
  PyType_Spec spec = {names.back().c_str(), static_cast<int>(basic_size), 0,
                      static_cast<unsigned>(Py_TPFLAGS_DEFAULT | Py_TPFLAGS_IMMUTABLETYPE | extra_flags), slots};
  auto* type = reinterpret_cast<PyTypeObject*>(PyType_FromSpec(&spec));
  // The module serves only __module__: the type's name itself carries no module prefix.
  if (type != nullptr) type->tp_name = names.back().c_str() + kModule.size();
  return type;
}

const char* class_name(PyTypeObject* type) {
  const char* dot = std::strrchr(type->tp_name, '.');
  return dot == nullptr ? type->tp_name : dot + 1;
}

PyObject* to_str(const std::string& text) {
  return PyUnicode_DecodeUTF8(text.data(), static_cast<Py_ssize_t>(text.size()), "replace");
}

bool set_class_attr(PyTypeObject* type, const char* name, PyObject* value) {
  if (PyDict_SetItemString(type->tp_dict, name, value) < 0) return false;
  PyType_Modified(type);
  return true;
}

}  // namespace corvanta::py
