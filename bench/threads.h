// The process's own threads and their CPU time, read from /proc, for benchmarks that split costs by thread.
#pragma once
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>

// Thread ids of this process now.
inline std::set<int> liveThreads() {
  std::set<int> ids;
  for (const auto& entry : std::filesystem::directory_iterator("/proc/self/task"))
    ids.insert(std::atoi(entry.path().filename().c_str()));
  return ids;
}

// CPU time a thread of this process has run so far (the first field of its schedstat, in nanoseconds).
inline double threadCpuSeconds(int tid) {
  std::ifstream in("/proc/self/task/" + std::to_string(tid) + "/schedstat");
  unsigned long long ns = 0;
  in >> ns;
  return double(ns) * 1e-9;
}
