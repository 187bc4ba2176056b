// Feeds arbitrary bytes to the loader and checks that whatever loads is
// written and read back unchanged.

#include "fuzz/round_trip.h"
#include "fuzz/scratch.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return lorelist::test::FuzzOne(data, size, lorelist::test::CheckRoundTrip, "Round trip failed");
}
