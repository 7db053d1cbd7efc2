#include "tabulate/record_reader.h"

#include <system_error>
#include <thread>

namespace haplovex {

void RunParts(size_t count, const std::function<void(size_t)>& part) {
  std::vector<std::thread> threads;
  size_t k = 1;
  try {
    for (; k < count; ++k) threads.emplace_back(part, k);
  } catch (const std::system_error&) {
  }
  part(0);
  for (; k < count; ++k) part(k);
  for (std::thread& thread : threads) thread.join();
}

void MergeChecks(RecordChecks& into, const RecordChecks& part, int64_t records_before) {
  // Every line before the part is a record or a comment.
  const int64_t lines_before = records_before + into.comment_lines + into.header_lines;
  auto merge = [records_before, lines_before](Sighting& to, const Sighting& from) {
    to.Merge(from, records_before, lines_before);
  };
  merge(into.foreign, part.foreign);
  merge(into.beyond, part.beyond);
  merge(into.no_capture, part.no_capture);
  merge(into.short_record, part.short_record);
  merge(into.blank_frequency, part.blank_frequency);
  merge(into.spaced_frequency, part.spaced_frequency);
  into.comment_lines += part.comment_lines;
  into.empty_lines += part.empty_lines;
}

}  // namespace haplovex
