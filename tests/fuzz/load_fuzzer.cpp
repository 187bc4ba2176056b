// Feeds arbitrary bytes to the loader and checks that whatever loads is
// written and read back unchanged.

#include <stdlib.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>

#include "fuzz/round_trip.h"

namespace {

constexpr size_t kMaxInput = size_t{1} << 20;

// A private folder for the loader's scratch files, in memory where the system
// offers it, removed again when the run ends normally.
std::string scratchDir;

void RemoveScratch() {
  std::error_code ignored;
  std::filesystem::remove_all(scratchDir, ignored);
}

const std::string& ScratchDir() {
  if (scratchDir.empty()) {
    const char* tmp = getenv("TMPDIR");
    std::string parent = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : (tmp && *tmp ? tmp : "/tmp");
    std::string pattern = parent + "/lorelist-fuzz-XXXXXX";
    if (!mkdtemp(pattern.data())) {
      perror("mkdtemp");
      abort();
    }
    scratchDir = pattern;
    atexit(RemoveScratch);
  }
  return scratchDir;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Longer inputs only slow the search; the interesting cases are small.
  if (size > kMaxInput) return 0;
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  const std::string failure = lorelist::test::CheckRoundTrip(bytes, ScratchDir());
  if (!failure.empty()) {
    fprintf(stderr, "Round trip failed: %s\n", failure.c_str());
    RemoveScratch();  // abort() skips the exit handlers
    abort();
  }
  return 0;
}
