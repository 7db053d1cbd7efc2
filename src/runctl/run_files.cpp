#include "runctl/run_files.h"

namespace haplovex {

namespace {

constexpr bool InOrder() {
  for (size_t k = 0; k < kRunFiles.size(); ++k) {
    if (static_cast<size_t>(kRunFiles[k].file) != k) return false;
  }
  return true;
}
static_assert(InOrder(), "kRunFiles holds each file at its place in RunFile");
static_assert(kRunFiles.front().file == RunFile::kOutput, "the overwrite question guards the first file");

}  // namespace

bool Written(const RunFileSpec& spec, const RunOptions& options) {
  for (bool RunOptions::*flag : spec.when) {
    if (flag != nullptr && !(options.*flag)) return false;
  }
  return true;
}

std::vector<std::string> RunFileNames() {
  std::vector<std::string> names;
  for (const RunFileSpec& spec : kRunFiles) names.emplace_back(spec.name);
  return names;
}

}  // namespace haplovex
