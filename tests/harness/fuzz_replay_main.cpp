// Replays saved fuzzer inputs (every file under the folders given) through LLVMFuzzerTestOneInput.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

int main(int argc, char** argv) {
  int count = 0;
  std::error_code error;
  for (int i = 1; i < argc; ++i)
    for (const auto& entry : std::filesystem::recursive_directory_iterator(argv[i], error)) {
      std::ifstream in(entry.path(), std::ios::binary);
      const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
      if (entry.is_regular_file()) LLVMFuzzerTestOneInput(bytes.data(), bytes.size()), ++count;
    }
  std::printf("replayed %d inputs\n", count);
  return count > 0 ? 0 : 1;  // an empty or missing corpus is a mistake, not a pass
}
