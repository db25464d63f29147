// The main of a fuzz target outside libFuzzer: every file named on the
// command line, and every file inside each folder named there (sorted, not
// recursive), goes once through LLVMFuzzerTestOneInput. A crash, a sanitizer
// report or a failed check ends the run; otherwise it prints how many inputs
// ran. A missing path is an error, so a renamed corpus cannot pass empty.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace fs = std::filesystem;

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s FILE|FOLDER...\n", argv[0]);
    return 2;
  }
  std::vector<fs::path> inputs;
  for (int i = 1; i < argc; ++i) {
    std::error_code ec;
    fs::path path(argv[i]);
    if (fs::is_directory(path, ec)) {
      std::vector<fs::path> files;
      for (const auto& entry : fs::directory_iterator(path, ec))
        if (entry.is_regular_file()) files.push_back(entry.path());
      std::sort(files.begin(), files.end());
      inputs.insert(inputs.end(), files.begin(), files.end());
    } else if (fs::is_regular_file(path, ec)) {
      inputs.push_back(path);
    } else {
      std::fprintf(stderr, "%s: no such file or folder\n", argv[i]);
      return 2;
    }
  }
  for (const fs::path& path : inputs) {
    std::ifstream in(path, std::ios::binary);
    std::string bytes(std::istreambuf_iterator<char>(in), {});
    if (!in.good() && !in.eof()) {
      std::fprintf(stderr, "%s: cannot read\n", path.c_str());
      return 2;
    }
    std::vector<uint8_t> copy(bytes.begin(), bytes.end());  // exactly sized, so overreads are caught
    LLVMFuzzerTestOneInput(copy.data(), copy.size());
  }
  std::printf("replayed %zu input%s\n", inputs.size(), inputs.size() == 1 ? "" : "s");
  return 0;
}
