// Feeds arbitrary bytes to the loader and checks that whatever loads is
// written and read back unchanged.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "fuzz/round_trip.h"
#include "fuzz/scratch.h"

namespace {
constexpr size_t kMaxInput = size_t{1} << 20;
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Longer inputs only slow the search; the interesting cases are small.
  if (size > kMaxInput) return 0;
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  const std::string failure = lorelist::test::CheckRoundTrip(bytes, lorelist::test::ScratchDir());
  if (!failure.empty()) {
    fprintf(stderr, "Round trip failed: %s\n", failure.c_str());
    lorelist::test::RemoveScratch();  // abort() skips the exit handlers
    abort();
  }
  return 0;
}
