// Feeds arbitrary bytes to the one-pass scan of lorelist-db search and to
// the loader: they must agree on every file.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "fuzz/scan_agreement.h"
#include "fuzz/scratch.h"

namespace {
constexpr size_t kMaxInput = size_t{1} << 20;
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > kMaxInput) return 0;
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  const std::string failure = lorelist::test::CheckScanAgrees(bytes, lorelist::test::ScratchDir());
  if (!failure.empty()) {
    fprintf(stderr, "Scan and loader disagree: %s\n", failure.c_str());
    lorelist::test::RemoveScratch();
    abort();
  }
  return 0;
}
