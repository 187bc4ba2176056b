#pragma once

#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>

namespace lorelist::test {

// A private folder for a fuzzer's scratch files, in memory where the system
// offers it, removed again when the run ends normally.
inline std::string& ScratchDirName() {
  static std::string name;
  return name;
}

inline void RemoveScratch() {
  std::error_code ignored;
  std::filesystem::remove_all(ScratchDirName(), ignored);
}

inline const std::string& ScratchDir() {
  std::string& name = ScratchDirName();
  if (name.empty()) {
    const char* tmp = getenv("TMPDIR");
    std::string parent = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : (tmp && *tmp ? tmp : "/tmp");
    std::string pattern = parent + "/lorelist-fuzz-XXXXXX";
    if (!mkdtemp(pattern.data())) {
      perror("mkdtemp");
      abort();
    }
    name = pattern;
    atexit(RemoveScratch);
  }
  return name;
}

// One input through a check; a failure is told and ends the run. Longer
// inputs only slow the search: the interesting cases are small.
template <typename Check>
int FuzzOne(const uint8_t* data, size_t size, Check check, const char* failed) {
  if (size > size_t{1} << 20) return 0;
  const std::string failure =
      check(std::string(reinterpret_cast<const char*>(data), size), ScratchDir());
  if (!failure.empty()) {
    fprintf(stderr, "%s: %s\n", failed, failure.c_str());
    RemoveScratch();  // abort() skips the exit handlers
    abort();
  }
  return 0;
}

}  // namespace lorelist::test
