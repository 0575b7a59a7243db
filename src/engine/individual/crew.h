// A crew of threads that run one job together, round after round: the caller's thread is slot 0
// and the crew's own threads the other slots. It owns its threads and joins them when it ends,
// so that no thread outlives the values its job refers to.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include "engine/state.h"

namespace plovanet {

class Crew {
 public:
  using Job = FunctionRef<void(unsigned slot)>;

  // Up to `slots` slots; fewer when the system gives no more threads (one always: the caller).
  explicit Crew(unsigned slots) {
    threads_.reserve(slots > 1 ? slots - 1 : 0);
    for (unsigned slot = 1; slot < slots; ++slot) {
      try {
        threads_.emplace_back([this, slot] { serve(slot); });
      } catch (const std::system_error&) {
        break;
      }
    }
  }

  ~Crew() {
    {
      const std::lock_guard lock(m_);
      stop_ = true;
    }
    start_.notify_all();
    for (std::thread& t : threads_) t.join();
  }

  Crew(const Crew&) = delete;
  Crew& operator=(const Crew&) = delete;

  unsigned slots() const { return static_cast<unsigned>(threads_.size()) + 1; }

  // Calls job(slot) once on every slot and returns when every call has returned. The job must
  // not throw.
  void run(Job job) {
    {
      const std::lock_guard lock(m_);
      job_ = &job;
      ++round_;
      pending_ = threads_.size();
    }
    start_.notify_all();
    job(0);
    std::unique_lock lock(m_);
    done_.wait(lock, [this] { return pending_ == 0; });
    job_ = nullptr;
  }

 private:
  void serve(unsigned slot) {
    std::uint64_t seen = 0;
    for (;;) {
      const Job* job = nullptr;
      {
        std::unique_lock lock(m_);
        start_.wait(lock, [&] { return stop_ || round_ != seen; });
        if (stop_) return;
        seen = round_;
        job = job_;
      }
      (*job)(slot);
      const std::lock_guard lock(m_);
      if (--pending_ == 0) done_.notify_one();
    }
  }

  std::mutex m_;
  std::condition_variable start_, done_;
  const Job* job_ = nullptr;
  std::uint64_t round_ = 0;
  std::size_t pending_ = 0;
  bool stop_ = false;
  std::vector<std::thread> threads_;
};

}  // namespace plovanet
