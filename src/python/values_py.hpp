#pragma once
// The Python faces of Enemy, PlayerId and GameResult: handed out by states and games, never
// built from Python, registered in no module.
#include "game/action.hpp"
#include "game/enemy.hpp"
#include "python/py_ref.hpp"

namespace corvanta::py {

PyTypeObject* enemy_type();
PyTypeObject* player_id_type();
PyTypeObject* game_result_type();

PyObject* enemy_to_py(const Enemy& enemy);
PyObject* player_id_to_py(PlayerId id);
// Won becomes Won, Lost of any level Lost.
PyObject* game_result_to_py(GameResult result);

}  // namespace corvanta::py
