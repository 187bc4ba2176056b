#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "db/database.h"
#include "db/load.h"

namespace lorelist::test {

// Loads the bytes as a database file (all of it, or what comes before its
// first error), writes that database, loads what was written and writes it
// again. Returns "" when everything agrees: the second load is complete and
// gives the same database, both writes are the same bytes, each database is
// consistent in itself (totals, reference counts, the subject index list), and
// each load keeps the contract of its result: reported once when it stopped,
// with the message CheckStopMessage asks for, and not at all otherwise.
// Otherwise returns what went wrong. scratchDir holds the temporary files the
// loader reads; they are reused from call to call within one process.
std::string CheckRoundTrip(const std::string& bytes, const std::string& scratchDir);

// What CheckRoundTrip checks of the message a load stopped with at a line of
// the file: a fixed text (a short sentence of printable characters ending in
// ": ") followed by the whole logical line that starts at that line, the
// logical lines worked out here on their own. "" when it is so.
std::string CheckStopMessage(std::string_view bytes, std::string_view message, uint64_t line);

// A load's outcome and what it kept, as the corpus's .expected files hold it:
// "complete" or "stopped LINE MESSAGE", then one line for each quotation node
// ("Q CODE [REFERENCES] TEXT"), each category ("C CODE TITLE") followed by its
// subject entries ("  S ENTRY") and references ("  R CODE TEXT"), and the two
// totals. Backslashes, bytes outside printable ASCII and a blank that ends a
// line are escaped ("\\", "\x0d", "\x20").
std::string DescribeLoad(const LoadResult& result, const Database& db);

// Where entries that compare equal stand in the subject index list: in the
// order a file gives them (as loading leaves them), or in any order (as
// editing leaves them: each where it was added).
enum class EntryOrder { kAsLoaded, kAnyAmongEquals };

// What CheckRoundTrip checks of one database: "" when its trees are linked
// consistently, every reference names a node of the quotations tree, every
// quotation node's count is the number of references naming it, both totals
// match the records, and the subject index list holds exactly the records'
// entries in collation order, equal ones in the given order.
std::string CheckConsistency(const Database& db, EntryOrder order = EntryOrder::kAsLoaded);

// "" when the two databases hold the same trees, records, counts, totals and
// subject index list; otherwise the first difference.
std::string CompareDatabases(const Database& a, const Database& b);

}  // namespace lorelist::test
