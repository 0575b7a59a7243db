// The part of the platform layer both systems share: the temporary paths an interrupt removes.
// The systems' own halves are platform_posix.cpp and platform_windows.cpp.
#include "run/platform.h"

#include <atomic>
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
static_assert(std::atomic<int>::is_always_lock_free, "read from a signal handler");

}  // namespace

void removeWatched(void (*remove)(const char*)) {
  handlerBusy.fetch_add(1);
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

}  // namespace plovanet::platform
