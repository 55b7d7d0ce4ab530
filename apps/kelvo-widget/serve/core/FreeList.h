#pragma once

// Things made once and kept for reuse, lent to one thread at a time.

#include <mutex>
#include <utility>
#include <vector>

namespace kelvo::serve {

template <class T>
class FreeList {
 public:
  // One that nobody holds, or T{} (null) when every one is lent out.
  T take() {
    const std::lock_guard lock(mutex_);
    if (free_.empty()) return T{};
    T thing = std::move(free_.back());
    free_.pop_back();
    return thing;
  }

  void give(T thing) {
    const std::lock_guard lock(mutex_);
    free_.push_back(std::move(thing));
  }

 private:
  std::mutex mutex_;
  std::vector<T> free_;
};

}  // namespace kelvo::serve
