// The script's position: how many sync points have been heard, and the caption of the last one.
#pragma once
#include <atomic>
#include <cstdint>

// 1 at start, +1 per sync point heard; written only by onSyncPoint, read anywhere.
extern std::atomic<int32_t> syncCount;

// Longest caption kept of a sync point's name, in bytes.
constexpr int syncNameLength = 25;

// Records one heard sync point: its name (cut to syncNameLength bytes) first, then the count.
void onSyncPoint(const char* name);
// The caption of the last sync point heard, or "" before the first; main thread only.
const char* syncName();
// Puts the script at count with the caption name (cut like any other), as if the sync point that
// raised it had just been heard; for tools and tests that draw a chosen moment, never during a run.
void setSyncPoint(int32_t count, const char* name);
