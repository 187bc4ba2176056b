// Feeds arbitrary bytes to the one-pass scan of lorelist-db search and to
// the loader: they must agree on every file.

#include "fuzz/scan_agreement.h"
#include "fuzz/scratch.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return lorelist::test::FuzzOne(data, size, lorelist::test::CheckScanAgrees,
                                 "Scan and loader disagree");
}
