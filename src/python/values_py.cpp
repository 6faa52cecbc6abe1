#include "python/values_py.hpp"

#include "game/text.hpp"
#include "python/boxed.hpp"
#include "python/entry.hpp"
#include "python/enum_py.hpp"

namespace corvanta::py {
namespace {

PyObject* enemy_str(PyObject* self) {
  return guard([&] { return to_str(text::debug(unbox<Enemy>(self))); });
}

PyTypeObject* make_enemy_type() {
  PyType_Slot slots[] = {
      {Py_tp_dealloc, reinterpret_cast<void*>(boxed_dealloc<Enemy>)},
      {Py_tp_new, reinterpret_cast<void*>(no_constructor)},
      {Py_tp_str, reinterpret_cast<void*>(enemy_str)},
      {0, nullptr},
  };
  return create_type("Enemy", sizeof(Boxed<Enemy>), slots);
}

PyTypeObject* make_player_id_type() {
  PyType_Slot slots[] = {
      {Py_tp_dealloc, reinterpret_cast<void*>(boxed_dealloc<PlayerId>)},
      {Py_tp_new, reinterpret_cast<void*>(no_constructor)},
      {0, nullptr},
  };
  return create_type("PlayerId", sizeof(Boxed<PlayerId>), slots);
}

constexpr const char* kResultNames[] = {"Won", "Lost"};
// The repr keeps the internal name of the class, not its Python name.
const EnumInfo kResultInfo{"GameResult", "PyGameResult", kResultNames};

PyTypeObject* make_game_result_type() { return create_enum_type(kResultInfo, nullptr); }

}  // namespace

PyTypeObject* enemy_type() { return lazy_type<make_enemy_type>(); }
PyTypeObject* player_id_type() { return lazy_type<make_player_id_type>(); }
PyTypeObject* game_result_type() { return lazy_type<make_game_result_type>(); }

PyObject* enemy_to_py(const Enemy& enemy) { return box<Enemy>(enemy_type(), enemy); }
PyObject* player_id_to_py(PlayerId id) { return box<PlayerId>(player_id_type(), id); }
PyObject* game_result_to_py(GameResult result) {
  return new_enum(game_result_type(), kResultInfo, static_cast<std::uint8_t>(result.kind));
}

}  // namespace corvanta::py
