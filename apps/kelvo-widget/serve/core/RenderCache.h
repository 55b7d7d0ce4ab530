#pragma once

// Answers kept by key, each made at most once: a request for a key that is
// being made waits for it instead of making it again, and the least
// recently used go first once the budget is spent.

#include <cstddef>
#include <functional>
#include <future>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>

namespace kelvo::serve {

// One made answer.
struct Rendered {
  int status = 200;            // 200, or 500 when drawing failed (never kept)
  std::string contentType;     // "image/png", ...
  std::string body;            // the bytes, or the failure's one line
  double milliseconds = 0;     // how long making it took
  double cpuMilliseconds = 0;  // the thread's processor time for it, less swayed by a busy machine
};

class RenderCache {
 public:
  using Value = std::shared_ptr<const Rendered>;

  // Keeps at most `entries` answers of at most `bytes` bytes in all.
  RenderCache(std::size_t bytes, std::size_t entries) : byteBudget_(bytes), entryLimit_(entries) {}

  struct Lookup {
    Value value;
    bool made = false;  // made by this call
  };
  // The answer for `key`: kept, being made (waited for), or made now by
  // `make`. Failures and answers larger than the whole budget are handed
  // out but not kept.
  Lookup get(const std::string& key, const std::function<Value()>& make);

  // Forgets every kept answer (answers being made are kept when done).
  void clear();

  std::size_t keptBytes() const;
  std::size_t keptEntries() const;

 private:
  struct Slot {
    std::shared_future<Value> value;
    bool ready = false;
    std::list<std::string>::iterator recency;  // in recency_ once ready
  };
  void keep(const std::string& key, const Value& value);

  const std::size_t byteBudget_;
  const std::size_t entryLimit_;
  mutable std::mutex mutex_;
  std::unordered_map<std::string, Slot> slots_;
  std::list<std::string> recency_;  // kept keys, most recently used first
  std::size_t bytes_ = 0;
};

}  // namespace kelvo::serve
