#include "python/card_py.hpp"

#include "game/text.hpp"
#include "python/args.hpp"
#include "python/boxed.hpp"
#include "python/entry.hpp"
#include "python/enum_py.hpp"

namespace corvanta::py {
namespace {

constexpr const char* kSuitNames[] = {"Spades", "Hearts", "Diamonds", "Clubs", "None"};
constexpr const char* kValueNames[] = {"Jester", "Ace",  "Two", "Three", "Four", "Five",  "Six",
                                       "Seven",  "Eight", "Nine", "Ten", "Jack", "Queen", "King"};
const EnumInfo kSuitInfo{"CardSuit", "CardSuit", kSuitNames};
const EnumInfo kValueInfo{"CardValue", "CardValue", kValueNames};

template <class Values>
PyObject* enum_list(PyTypeObject* type, const EnumInfo& info, const Values& values) {
  return new_list(values, [&](auto v) { return new_enum(type, info, static_cast<std::uint8_t>(v)); });
}

const Signature kSuitAll{"CardSuit.all", {}, 0};
const Signature kValueNumbers{"CardValue.numbers", {}, 0};
const Signature kValueRoyals{"CardValue.royals", {}, 0};

PyObject* suit_all(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return guard([&]() -> PyObject* {
    if (!parse_args(kSuitAll, args, static_cast<std::size_t>(nargs), kwnames, nullptr)) return nullptr;
    return enum_list(card_suit_type(), kSuitInfo, kSuits);
  });
}

PyObject* value_numbers(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return guard([&]() -> PyObject* {
    if (!parse_args(kValueNumbers, args, static_cast<std::size_t>(nargs), kwnames, nullptr)) return nullptr;
    return enum_list(card_value_type(), kValueInfo, card_value_numbers());
  });
}

PyObject* value_royals(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return guard([&]() -> PyObject* {
    if (!parse_args(kValueRoyals, args, static_cast<std::size_t>(nargs), kwnames, nullptr)) return nullptr;
    constexpr CardValue royals[] = {CardValue::King, CardValue::Queen, CardValue::Jack};
    return enum_list(card_value_type(), kValueInfo, std::span(royals));
  });
}

constexpr int kStaticFast = METH_FASTCALL | METH_KEYWORDS | METH_STATIC;
PyMethodDef kSuitMethods[] = {
    {"all", fastcall<suit_all>(), kStaticFast, nullptr},
    {nullptr, nullptr, 0, nullptr},
};
PyMethodDef kValueMethods[] = {
    {"numbers", fastcall<value_numbers>(), kStaticFast, nullptr},
    {"royals", fastcall<value_royals>(), kStaticFast, nullptr},
    {nullptr, nullptr, 0, nullptr},
};

PyTypeObject* make_suit_type() { return create_enum_type(kSuitInfo, kSuitMethods); }
PyTypeObject* make_value_type() { return create_enum_type(kValueInfo, kValueMethods); }

constexpr const char* kCardParams[] = {"suit", "value"};
const Signature kCardNew{"Card.__new__", kCardParams, 2};

PyObject* card_new(PyTypeObject*, PyObject* args, PyObject* kwargs) {
  return guard([&]() -> PyObject* {
    PyObject* given[2];
    if (!parse_args(kCardNew, args, kwargs, given)) return nullptr;
    std::uint8_t suit = 0, value = 0;
    if (!enum_arg(given[0], card_suit_type(), "suit", suit)) return nullptr;
    if (!enum_arg(given[1], card_value_type(), "value", value)) return nullptr;
    return card_to_py(Card{static_cast<CardSuit>(suit), static_cast<CardValue>(value)});
  });
}

PyObject* card_str(PyObject* self) {
  return guard([&] { return to_str(text::card(unbox<Card>(self))); });
}

PyObject* card_richcompare(PyObject* self, PyObject* other, int op) {
  return guard([&]() -> PyObject* {
    if (Py_TYPE(other) != Py_TYPE(self)) Py_RETURN_NOTIMPLEMENTED;
    return equality_only(unbox<Card>(self) == unbox<Card>(other), op);
  });
}

PyTypeObject* make_card_type() {
  PyType_Slot slots[] = {
      {Py_tp_dealloc, reinterpret_cast<void*>(boxed_dealloc<Card>)},
      {Py_tp_new, reinterpret_cast<void*>(card_new)},
      {Py_tp_str, reinterpret_cast<void*>(card_str)},
      {Py_tp_richcompare, reinterpret_cast<void*>(card_richcompare)},
      {Py_tp_hash, reinterpret_cast<void*>(PyObject_HashNotImplemented)},
      {0, nullptr},
  };
  return create_type("Card", sizeof(Boxed<Card>), slots);
}

}  // namespace

PyTypeObject* card_type() { return lazy_type<make_card_type>(); }
PyTypeObject* card_suit_type() { return lazy_type<make_suit_type>(); }
PyTypeObject* card_value_type() { return lazy_type<make_value_type>(); }

PyObject* card_to_py(Card card) { return box<Card>(card_type(), card); }

bool card_arg(PyObject* obj, std::string_view param, Card& out) {
  PyTypeObject* type = card_type();
  if (type == nullptr) return false;
  if (Py_TYPE(obj) != type) {
    raise_conversion_error(param, obj, "Card");
    return false;
  }
  out = unbox<Card>(obj);
  return true;
}

}  // namespace corvanta::py
