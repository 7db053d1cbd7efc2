#include "common/table.h"

#include <new>
#include <stdexcept>

#include "common/fatal.h"

namespace haplovex {

namespace {

uint64_t table_byte_limit = kMaxTableBytes;

// Runs `make`, turning a failure of the system to give the memory into the allocation stop.
template <typename Make>
auto Obtain(const std::string& name, Make make) {
  try {
    return make();
  } catch (const std::bad_alloc&) {
    throw FatalStop::Allocation(name);
  } catch (const std::length_error&) {
    throw FatalStop::Allocation(name);
  }
}

}  // namespace

void SetTableByteLimit(uint64_t bytes) { table_byte_limit = bytes; }

uint64_t TableElements(std::span<const int64_t> extents, uint64_t element_size) {
  uint64_t elements = 1;
  for (int64_t extent : extents) {
    if (extent <= 0) return 0;
    const auto e = static_cast<uint64_t>(extent);
    if (elements > table_byte_limit / element_size / e) return 0;
    elements *= e;
  }
  return elements;
}

template <typename T>
std::vector<T> AllocateTable(std::span<const int64_t> extents, const std::string& name) {
  for (int64_t extent : extents) {
    if (extent <= 0) return {};
  }
  const uint64_t elements = TableElements(extents, sizeof(T));
  if (elements == 0) throw FatalStop::Allocation(name);
  return Obtain(name, [&] { return std::vector<T>(static_cast<size_t>(elements), T{}); });
}

template std::vector<int32_t> AllocateTable<int32_t>(std::span<const int64_t>, const std::string&);

std::string AllocateLabels(int64_t count, size_t width, const std::string& name) {
  if (count <= 0) return {};
  const int64_t extents[] = {count, static_cast<int64_t>(width)};
  if (TableElements(extents, 1) == 0) throw FatalStop::Allocation(name);
  return Obtain(name, [&] { return std::string(static_cast<size_t>(count) * width, ' '); });
}

}  // namespace haplovex
