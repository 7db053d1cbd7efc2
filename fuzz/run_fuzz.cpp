// Fuzz target: a whole run in process, with fuzzer-chosen answers and input-file bytes, in a
// private temporary folder.
//
// The input is the answers (after the file name, which is always the data file), a line
// "@@DATA@@", then the capture-history file. Every run must end with exit status 0 or 1 and
// never crash, hang or touch memory it does not own.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>

#include "runctl/driver.h"
#include "common/table.h"

namespace {

constexpr std::string_view kSeparator = "\n@@DATA@@\n";

std::filesystem::path WorkDir() {
  static const std::filesystem::path dir = [] {
    char templ[] = "/tmp/haplovex-run-fuzz-XXXXXX";
    return std::filesystem::path(mkdtemp(templ));
  }();
  return dir;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  haplovex::SetTableByteLimit(uint64_t{4} << 20);
  const std::string_view all(reinterpret_cast<const char*>(data), size);
  const size_t cut = all.find(kSeparator);
  const std::string_view answers = all.substr(0, cut);
  const std::string_view records =
      cut == std::string_view::npos ? std::string_view() : all.substr(cut + kSeparator.size());

  const std::filesystem::path dir = WorkDir();
  std::error_code ec;
  std::filesystem::remove(dir / "HAPLOVEX.OUT", ec);
  std::filesystem::remove(dir / "HAPLOVEX.SUM", ec);
  {
    std::ofstream file(dir / "records.txt", std::ios::binary | std::ios::trunc);
    file << records;
  }
  std::istringstream in("records.txt\n" + std::string(answers));
  std::ostringstream console;
  std::ostringstream err;
  const int status = haplovex::RunHaplovex(in, console, err, dir);
  if (status != 0 && status != 1) std::abort();
  // A finished run must have ended its console with the completion message, and an error stop
  // must never claim it.
  const std::string text = console.str();
  const bool finished = text.size() >= 29 && text.compare(text.size() - 29, 29, "=== HAPLOVEX FINISHED OK ===\n") == 0;
  if (finished != (status == 0)) std::abort();
  return 0;
}
