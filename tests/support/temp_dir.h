#pragma once

#include <filesystem>
#include <initializer_list>
#include <string>
#include <string_view>

namespace lorelist::test {

// A fresh directory, removed with everything in it at the end of the test.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  std::string File(std::string_view name) const { return path_ + "/" + std::string(name); }

 private:
  std::string path_;
};

void WriteFile(const std::string& path, std::string_view bytes);
std::string ReadFile(const std::string& path);
bool Exists(const std::string& path);

// Physical lines joined with CR LF, each line ended.
std::string CrLf(std::initializer_list<std::string_view> lines);

}  // namespace lorelist::test
