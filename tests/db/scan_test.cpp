#include "db/scan.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "db/load.h"
#include "fuzz/scan_agreement.h"
#include "support/temp_dir.h"

namespace lorelist {
namespace {

using test::CrLf;
using test::TempDir;

void ExpectScanAgrees(const std::string& bytes, const std::string& what) {
  TempDir dir;
  ASSERT_EQ(test::CheckScanAgrees(bytes, dir.path()), "") << what << "\n" << bytes;
}

const std::string kBase = CrLf({"@Q1 Author",
                                "@Q1.1 Work",
                                "@Q1.1.1 A quotation long enough to be broken over more than -",
                                "one physical line of the file.",
                                "@Q1.1.2 Another",
                                "@Q01.03 leading zeros",
                                "@Q2 Second",
                                "@Q2.1 Child",
                                "@Q2.1.1 Deep",
                                "@Q3 Third",
                                "@@",
                                "@C1 Cat",
                                "@Sentry",
                                "@R1.1.1 ref",
                                "@R01.03 odd",
                                "@C1.1 Sub",
                                "@R2.1.1 deep",
                                "@Sx",
                                "@C2 Other",
                                "@R3 top",
                                "@R1 author"});

TEST(ScanDatabase, AgreesWithLoadingOnGoodAndBrokenFiles) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"base", kBase},
      {"empty", ""},
      {"separator only", CrLf({"@@"})},
      {"no categories", CrLf({"@Q1 a", "@Q1.1 b"})},
      {"bad code", CrLf({"@Q1 a", "@Q1.2 b"})},
      {"missing target", CrLf({"@Q1 a", "@@", "@C1 c", "@R1.1 x"})},
      {"canonical reference to an odd code",
       CrLf({"@Q1 a", "@Q01.01 b", "@@", "@C1 c", "@R1.1 x"})},
      {"subject first", CrLf({"@Q1 a", "@@", "@Sx", "@C1 c"})},
      {"category among quotations", CrLf({"@Q1 a", "@C1 c", "@@"})},
      {"second separator", CrLf({"@Q1 a", "@@", "@C1 c", "@@"})},
      {"not a tag", CrLf({"@Q1 a", "Q2 b"})},
      {"dash chain over an empty line", "@Q1 a--\r\n\r\n@Q2 b\r\n@@\r\n"},
      {"lone CR at the end", "@Q1 a\r\n@Q2 b\r"},
      {"lone CR after a final dash", "@Q1 a\r\n@Q2 b-\r"},
      {"saturated code number", CrLf({"@Q2147483647 x", "@Q1 y"})},
      {"saturated number then its successor", CrLf({"@Q1 a", "@Q99999999999 x", "@Q1 y"})},
      {"deep and long codes",
       CrLf({"@Q1 a", "@Q1.1 b", "@Q1.1.1 c", "@Q1.1.1.1 d", "@Q1.1.1.1.1 e", "@Q1.1.1.1.1.1 f",
             "@Q1.1.1.1.1.1.1 g", "@Q1.1.1.1.1.1.1.1 h", "@Q1.1.1.1.1.1.1.1.1 i", "@@", "@C1 c",
             "@R1.1.1.1.1.1.1.1.1 nine levels", "@R1.1.1.1.1.1.1.1.2 missing"})},
  };
  for (const auto& [what, bytes] : cases) ExpectScanAgrees(bytes, what);
}

// Random damage to a good file, line by line: every result of the scan
// must be loading's.
TEST(ScanDatabase, AgreesWithLoadingOnDamagedFiles) {
  std::mt19937 random(4242);
  std::vector<std::string> lines;
  for (size_t at = 0; at < kBase.size();) {
    const size_t nl = kBase.find("\r\n", at);
    lines.push_back(kBase.substr(at, nl - at));
    at = nl + 2;
  }
  const std::string noise[] = {"@Q1 x", "@Q4 y",     "@C3 z",    "@R2 w",     "@Sv",     "@@", "",
                               "-",     "@Q1.1.3 -", "@R9 gone", "@C1.2 sub", "@Q2.2 t", "x"};
  for (int round = 0; round < 600; ++round) {
    std::vector<std::string> damaged = lines;
    const int edits = 1 + static_cast<int>(random() % 3);
    for (int e = 0; e < edits; ++e) {
      const size_t i = random() % damaged.size();
      switch (random() % 4) {
        case 0:
          damaged.erase(damaged.begin() + static_cast<long>(i));
          break;
        case 1:
          damaged.insert(damaged.begin() + static_cast<long>(i),
                         noise[random() % std::size(noise)]);
          break;
        case 2:
          std::swap(damaged[i], damaged[random() % damaged.size()]);
          break;
        default:
          damaged[i] += '-';
          break;
      }
      if (damaged.empty()) damaged.push_back("@@");
    }
    std::string bytes;
    for (const std::string& line : damaged) bytes += line + "\r\n";
    ExpectScanAgrees(bytes, "round " + std::to_string(round));
  }
}

}  // namespace
}  // namespace lorelist
