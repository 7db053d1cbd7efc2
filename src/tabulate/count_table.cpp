#include "tabulate/count_table.h"

#include "common/fatal.h"
#include "common/format.h"
#include "common/table.h"

namespace haplovex {

CountTable::CountTable(std::string name, std::span<const int64_t> extents)
    : name_(std::move(name)), counts_(AllocateTable<int32_t>(extents, name_)) {}

void CountTable::Overflow(int64_t record) const {
  throw FatalStop::Message("Record " + std::to_string(record) + ": a count of table " + name_ +
                           " passes " + GroupedDigits(kMaxCount) + " animals");
}

void TotalOverflow(const char* what, int64_t record) {
  throw FatalStop::Message("Record " + std::to_string(record) + ": the number of " +
                           std::string(what) + " passes " + GroupedDigits(kMaxCount));
}

}  // namespace haplovex
