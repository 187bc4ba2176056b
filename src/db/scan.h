#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "charset.h"

namespace lorelist {

// Reads a database file once, checking it as loading does, without building
// the database, and shows the quotation nodes whose text `wanted` accepts:
// once the whole file has been checked, `show` gets each of them in
// pre-order, with its code (as the writer writes codes) and its text.
// `wanted` may be called from several threads at once.
//
// Returns true only when the whole file would load; false when it cannot be
// opened, loading would stop at an error, or (rarely, for a file cut into
// parts inside a line continued over an empty line) the scan cannot tell.
// LoadDatabase then gives the answer and the message.
//
// A large file (over `splitAbove` bytes) is cut into parts at line ends,
// scanned on up to four threads at once and checked against each other.
//
// The file's encoding is known from its start, and told to `encodingKnown`
// before `wanted` is first called: texts are given as the file holds them.
bool ScanDatabase(const std::string& path, const std::function<bool(std::string_view text)>& wanted,
                  const std::function<void(std::string_view code, std::string_view text)>& show,
                  size_t splitAbove = size_t{4} << 20,
                  const std::function<void(Encoding)>& encodingKnown = {});

}  // namespace lorelist
