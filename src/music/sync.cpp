// The handoff of sync points from the sound thread to the main thread, without locks or data races.
#include "music/sync.h"

#include <cstring>

std::atomic<int32_t> syncCount{1};

namespace {

// Each count value has its own slot, so the main thread reads a name that the writer is not
// replacing unless it has fallen a whole ring behind; then it reads again.
constexpr int slotCount = 8;

struct NameSlot {
  std::atomic<char> bytes[syncNameLength + 1];
};

NameSlot slots[slotCount];  // slot of count 1 stays empty: the caption before the first sync point
char caption[syncNameLength + 1];

}  // namespace

void onSyncPoint(const char* name) { setSyncPoint(syncCount.load(std::memory_order_relaxed) + 1, name); }

void setSyncPoint(int32_t next, const char* name) {
  NameSlot& slot = slots[static_cast<uint32_t>(next) % slotCount];
  // Pairs with the reader's fence: a reader that sees any byte written below also sees the count
  // that came before this slot was reused, and so knows to read again.
  std::atomic_thread_fence(std::memory_order_release);
  int i = 0;
  for (; i < syncNameLength && name[i] != '\0'; ++i) slot.bytes[i].store(name[i], std::memory_order_relaxed);
  for (; i <= syncNameLength; ++i) slot.bytes[i].store('\0', std::memory_order_relaxed);
  syncCount.store(next, std::memory_order_release);
}

const char* syncName() {
  for (;;) {
    const int32_t count = syncCount.load(std::memory_order_acquire);
    const NameSlot& slot = slots[static_cast<uint32_t>(count) % slotCount];
    for (int i = 0; i <= syncNameLength; ++i) caption[i] = slot.bytes[i].load(std::memory_order_relaxed);
    std::atomic_thread_fence(std::memory_order_acquire);
    // The writer starts on this slot again only once the count stands at count + slotCount - 1.
    if (syncCount.load(std::memory_order_relaxed) - count < slotCount - 1) return caption;
  }
}
