#pragma once
#include <cstddef>
#include <memory>
#include <utility>
#include <vector>

namespace mcts {

// A list that keeps its first Inline entries in its own storage (on the stack, for a local) and
// moves to the heap only beyond that: a playout's path lists are short and must not allocate.
template <class T, std::size_t Inline>
class SmallVec {
 public:
  SmallVec() = default;
  SmallVec(const SmallVec&) = delete;
  SmallVec& operator=(const SmallVec&) = delete;
  ~SmallVec() { std::destroy(inline_items(), inline_items() + inline_size()); }

  std::size_t size() const { return spilled() ? heap_.size() : size_; }
  bool empty() const { return size() == 0; }
  bool spilled() const { return size_ > Inline; }

  void push_back(const T& item) {
    if (size_ < Inline) {
      std::construct_at(inline_items() + size_, item);
      ++size_;
      return;
    }
    if (size_ == Inline) spill();
    heap_.push_back(item);
  }

  T& operator[](std::size_t i) { return data()[i]; }
  const T& operator[](std::size_t i) const { return data()[i]; }
  T* data() { return spilled() ? heap_.data() : inline_items(); }
  const T* data() const { return spilled() ? heap_.data() : inline_items(); }
  T* begin() { return data(); }
  T* end() { return data() + size(); }
  const T* begin() const { return data(); }
  const T* end() const { return data() + size(); }

 private:
  // Moves the inline entries to the heap; from then on size_ stays at Inline + 1 as a marker.
  void spill() {
    heap_.reserve(2 * Inline);
    for (std::size_t i = 0; i < Inline; ++i) heap_.push_back(std::move(inline_items()[i]));
    std::destroy(inline_items(), inline_items() + Inline);
    size_ = Inline + 1;
  }
  std::size_t inline_size() const { return spilled() ? 0 : size_; }
  T* inline_items() { return reinterpret_cast<T*>(storage_); }
  const T* inline_items() const { return reinterpret_cast<const T*>(storage_); }

  alignas(T) unsigned char storage_[Inline * sizeof(T)];
  std::size_t size_ = 0;
  std::vector<T> heap_;
};

}  // namespace mcts
