// The part of the platform layer both systems share: the temporary paths an interrupt removes.
// The systems' own halves are platform_posix.cpp and platform_windows.cpp.
#include "run/platform.h"

#include <atomic>
#include <csignal>
#include <cstddef>
#include <cstring>

#include "run/platform_internal.h"

namespace plovanet::platform {

namespace {

// The temporary paths the interrupt handler removes. The handler may run on another thread
// while a path is being replaced (Windows runs it on a thread of its own; a POSIX signal may
// arrive on any thread), so a path is never written where the handler may read: each slot has
// two buffers, the new path goes into the one not published, and only then is it published by
// one atomic store. Once the handler has begun (busy), nothing is written any more.
// Room for the longest path either system can open (Windows' long paths).
constexpr std::size_t kPathRoom = 32767;
struct TempSlot {
  char path[2][kPathRoom + 1];
  std::atomic<int> published{0};  // 0: none; 1 or 2: path[published - 1]
};
TempSlot tempSlots[kTempSlots];
std::atomic<int> handlerBusy{0};
// While a file's old content is overwritten by its new (holdInterrupts), an interrupt waits.
std::atomic<int> holding{0}, deferred{0};
static_assert(std::atomic<int>::is_always_lock_free, "read from a signal handler");

}  // namespace

bool deferInterrupt(int sig) {
  // Busy first, then holding; holdInterrupts the other way round: one of the two sees the other.
  handlerBusy.fetch_add(1);
  if (holding.load() == 0) return false;
  deferred.store(sig);
  handlerBusy.fetch_sub(1);
  return true;
}

void removeWatched(void (*remove)(const char*)) {
  for (TempSlot& slot : tempSlots) {
    int seen = 0;
    for (int i = slot.published.load(); i != 0 && i != seen; i = slot.published.load()) {
      remove(slot.path[i - 1]);
      seen = i;
    }
  }
}

bool publishTemp(int slot, const char* path) {
  if (slot < 0 || slot >= kTempSlots || handlerBusy.load() != 0) return false;
  TempSlot& t = tempSlots[slot];
  const int current = t.published.load();
  if (path == nullptr || std::strlen(path) > kPathRoom) {
    t.published.store(0);
    return path == nullptr;
  }
  const int next = current == 1 ? 2 : 1;
  std::memcpy(t.path[next - 1], path, std::strlen(path) + 1);
  t.published.store(next);
  return true;
}

bool interrupted() {
  return handlerBusy.load() != 0;
}

void watchTemp(int slot, const char* path) {
  publishTemp(slot, path);
}

bool holdInterrupts() {
  holding.store(1);
  if (handlerBusy.load() == 0) return true;
  holding.store(0);  // the handler is at work already: the process is ending
  return false;
}

void releaseInterrupts() {
  holding.store(0);
  // A handler that saw holding may still be storing its signal.
  while (deferred.load() == 0 && handlerBusy.load() != 0) {
  }
  if (const int sig = deferred.exchange(0); sig != 0) std::raise(sig);
}

}  // namespace plovanet::platform
