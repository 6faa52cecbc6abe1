#pragma once
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <type_traits>

#include "game/error.hpp"

namespace corvanta {

// An inline list with a fixed capacity and a stored length. It never allocates, so game values
// that hold it stay plain, trivially copyable records.
template <class T, std::size_t Cap>
class FixedVec {
  static_assert(Cap > 0 && Cap <= 65535);
  static_assert(std::is_trivially_copyable_v<T>, "game values are plain records");
  using Size = std::conditional_t<(Cap <= 255), std::uint8_t, std::uint16_t>;

 public:
  using value_type = T;
  static constexpr std::size_t capacity = Cap;

  FixedVec() : len_(0) {}
  FixedVec(std::initializer_list<T> items) : len_(0) {
    for (const T& item : items) push_back(item);
  }

  std::size_t size() const { return len_; }
  bool empty() const { return len_ == 0; }
  bool full() const { return len_ == Cap; }

  T* begin() { return items_; }
  T* end() { return items_ + len_; }
  const T* begin() const { return items_; }
  const T* end() const { return items_ + len_; }
  T* data() { return items_; }
  const T* data() const { return items_; }

  T& operator[](std::size_t i) {
    check_index(i);
    return items_[i];
  }
  const T& operator[](std::size_t i) const {
    check_index(i);
    return items_[i];
  }
  T& back() { return (*this)[len_ - 1u]; }
  const T& back() const { return (*this)[len_ - 1u]; }

  // Exceeding the capacity is an internal error, never a behaviour of the rules: refuse it
  // rather than write past the inline array.
  void push_back(const T& item) {
    if (len_ == Cap) [[unlikely]]
      fail_capacity();
    items_[len_++] = item;
  }
  // The next slot, for the caller to fill in place (saves building and copying a large item).
  T& push_back_slot() {
    if (len_ == Cap) [[unlikely]]
      fail_capacity();
    return items_[len_++];
  }
  // For callers that wrote the first n items through data() themselves.
  void set_size(std::size_t n) {
    if (n > Cap) [[unlikely]]
      fail_capacity();
    len_ = static_cast<Size>(n);
  }
  void assign(const T* items, std::size_t n) {
    if (n > Cap) [[unlikely]]
      fail_capacity();
    std::copy_n(items, n, items_);
    len_ = static_cast<Size>(n);
  }
  T pop_back() {
    if (len_ == 0) [[unlikely]]
      fail_empty();
    return items_[--len_];
  }
  void insert(std::size_t pos, const T& item) {
    if (len_ == Cap) [[unlikely]]
      fail_capacity();
    if (pos > len_) [[unlikely]]
      fail_index();
    std::copy_backward(begin() + pos, end(), end() + 1);
    items_[pos] = item;
    ++len_;
  }
  void erase(std::size_t pos) {
    if (pos >= len_) [[unlikely]]
      fail_index();
    std::copy(begin() + pos + 1, end(), begin() + pos);
    --len_;
  }
  void clear() { len_ = 0; }
  // Keeps the first n items (n no larger than the size).
  void truncate(std::size_t n) {
    if (n < len_) len_ = static_cast<Size>(n);
  }

  template <class Range>
  static FixedVec from_range(const Range& range) {
    FixedVec out;
    for (const auto& item : range) out.push_back(item);
    return out;
  }

  friend bool operator==(const FixedVec& a, const FixedVec& b) {
    return a.len_ == b.len_ && std::equal(a.begin(), a.end(), b.begin());
  }

 private:
  void check_index([[maybe_unused]] std::size_t i) const {
#if defined(CORVANTA_CHECKED) || !defined(NDEBUG)
    if (i >= len_) fail_index();
#endif
  }
  [[noreturn]] static void fail_capacity() { fail("fixed-capacity list is full"); }
  [[noreturn]] static void fail_empty() { fail("fixed-capacity list is empty"); }
  [[noreturn]] static void fail_index() { fail("fixed-capacity list index out of range"); }

  // The items are not constructed with the list: only the first len_ are ever read, and
  // initialising a 256-entry action list on every step would cost more than filling it.
  union {
    T items_[Cap];
  };
  Size len_;
};

}  // namespace corvanta
