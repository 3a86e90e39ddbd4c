// Handle tables: every handle the layer gives out is a 32-bit value made of a type tag, a generation
// and a slot index, so a stale, freed or foreign handle is recognised and refused instead of being
// dereferenced. 0 is never valid (the tag is never 0). Callers hold their own mutex around a table.
#ifndef KORVEN_PLATFORM_HANDLES_H
#define KORVEN_PLATFORM_HANDLES_H

#include <windows.h>

#include <cstdint>
#include <deque>
#include <optional>

namespace korven::platform::detail {

enum class HandleTag : uint32_t { Global = 1, Window = 2, Module = 3 };

template <typename T>
class HandleTable {
 public:
  static constexpr uint32_t kIndexBits = 18;
  static constexpr uint32_t kGenBits = 10;
  static constexpr uint32_t kIndexMask = (1u << kIndexBits) - 1;
  static constexpr uint32_t kGenMask = (1u << kGenBits) - 1;
  // Freed slots are reused only after this many others were freed, so a stale handle keeps being
  // refused for as long as possible.
  static constexpr size_t kReuseDelay = 256;

  explicit HandleTable(HandleTag tag) : tag_(static_cast<uint32_t>(tag)) {}

  // Stores the value and returns its new handle; 0 when the table is full.
  HANDLE Add(T value) {
    uint32_t index;
    if (free_.size() > kReuseDelay || (slots_.size() > kIndexMask && !free_.empty())) {
      index = free_.front();
      free_.pop_front();
    } else if (slots_.size() <= kIndexMask) {
      index = static_cast<uint32_t>(slots_.size());
      slots_.emplace_back();
    } else {
      return 0;
    }
    Slot& s = slots_[index];
    s.value.emplace(std::move(value));
    ++live_;
    return (tag_ << 28) | ((s.generation & kGenMask) << kIndexBits) | index;
  }

  // The value behind a live handle of this table; nullptr for anything else.
  T* Find(HANDLE h) {
    if ((h >> 28) != tag_) return nullptr;
    uint32_t index = h & kIndexMask;
    if (index >= slots_.size()) return nullptr;
    Slot& s = slots_[index];
    if (!s.value || ((h >> kIndexBits) & kGenMask) != (s.generation & kGenMask)) return nullptr;
    return &*s.value;
  }

  bool Remove(HANDLE h) {
    if (!Find(h)) return false;
    uint32_t index = h & kIndexMask;
    slots_[index].value.reset();
    ++slots_[index].generation;
    free_.push_back(index);
    --live_;
    return true;
  }

  size_t Live() const { return live_; }

  template <typename F>
  void ForEach(F&& f) {
    for (size_t i = 0; i < slots_.size(); ++i)
      if (slots_[i].value)
        f((tag_ << 28) | ((slots_[i].generation & kGenMask) << kIndexBits) | uint32_t(i), *slots_[i].value);
  }

 private:
  // Slots live in a deque: a value keeps its address while its handle lives (growing the table moves
  // nothing), and adding one costs no allocation of its own.
  struct Slot {
    std::optional<T> value;
    uint32_t generation = 1;
  };
  uint32_t tag_;
  std::deque<Slot> slots_;
  std::deque<uint32_t> free_;
  size_t live_ = 0;
};

}  // namespace korven::platform::detail

#endif
