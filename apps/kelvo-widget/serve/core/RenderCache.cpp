#include "RenderCache.h"

namespace kelvo::serve {

RenderCache::Lookup RenderCache::get(const std::string& key, const std::function<Value()>& make) {
  std::promise<Value> promise;
  {
    std::unique_lock lock(mutex_);
    if (const auto found = slots_.find(key); found != slots_.end()) {
      Slot& slot = found->second;
      if (slot.ready) {
        recency_.splice(recency_.begin(), recency_, slot.recency);
        return {slot.value.get(), false};
      }
      // Being made by another request: wait for it without the lock.
      std::shared_future<Value> pending = slot.value;
      lock.unlock();
      return {pending.get(), false};
    }
    slots_.emplace(key, Slot{promise.get_future().share(), false, {}});
  }
  Value value;
  try {
    value = make();
  } catch (...) {
    const std::lock_guard lock(mutex_);
    promise.set_exception(std::current_exception());
    slots_.erase(key);
    throw;
  }
  promise.set_value(value);
  keep(key, value);
  return {value, true};
}

void RenderCache::keep(const std::string& key, const Value& value) {
  const std::lock_guard lock(mutex_);
  const auto found = slots_.find(key);
  if (!value || value->status != 200 || value->body.size() > byteBudget_) {
    slots_.erase(found);
    return;
  }
  found->second.ready = true;
  recency_.push_front(key);
  found->second.recency = recency_.begin();
  bytes_ += value->body.size();
  // The least recently used go until the rest fits.
  while (bytes_ > byteBudget_ || recency_.size() > entryLimit_) {
    const auto oldest = slots_.find(recency_.back());
    bytes_ -= oldest->second.value.get()->body.size();
    slots_.erase(oldest);
    recency_.pop_back();
  }
}

void RenderCache::clear() {
  const std::lock_guard lock(mutex_);
  for (const std::string& key : recency_) slots_.erase(key);
  recency_.clear();
  bytes_ = 0;
}

std::size_t RenderCache::keptBytes() const {
  const std::lock_guard lock(mutex_);
  return bytes_;
}

std::size_t RenderCache::keptEntries() const {
  const std::lock_guard lock(mutex_);
  return recency_.size();
}

}  // namespace kelvo::serve
