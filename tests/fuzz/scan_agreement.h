#pragma once

#include <string>

namespace lorelist::test {

// Writes the bytes as a database file in scratchDir and scans it both whole
// and cut into many parts. Returns "" when the scan judges the file as
// loading does and shows the same quotation nodes with the same codes;
// otherwise what differs. Cut into parts the scan may give up on a file that
// loads (a part cut inside a continued line), but never pass one that does not.
std::string CheckScanAgrees(const std::string& bytes, const std::string& scratchDir);

}  // namespace lorelist::test
