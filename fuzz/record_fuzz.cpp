// Fuzz target: record decoding and counting with fuzzer-chosen settings and record bytes,
// every file kept in memory.
//
// The first bytes choose the counts, columns and codes (always within what the dialogue
// accepts); the rest is the capture-history file. Both converters' tabulations read it. A
// FatalStop is a correct reaction to bad records; anything else the sanitizers catch is not.
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "common/fatal.h"
#include "common/text_file.h"
#include "memory/convert_memory_movement.h"
#include "movement/convert_movement_only.h"
#include "runctl/settings.h"
#include "tabulate/conversion.h"
#include "tabulate/kernels/kernel_set.h"
#include "common/table.h"

namespace {

class Bytes {
 public:
  Bytes(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  uint8_t Next() { return pos_ < size_ ? data_[pos_++] : 0; }
  int32_t Range(int32_t lo, int32_t hi) { return lo + Next() % (hi - lo + 1); }
  std::string Rest() { return std::string(reinterpret_cast<const char*>(data_ + pos_), size_ - pos_); }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace haplovex;
  SetTableByteLimit(uint64_t{4} << 20);
  Bytes bytes(data, size);
  ConversionSettings s;
  s.modset = static_cast<ModelSet>(bytes.Range(1, 4));
  // Mostly small models, so that each run writes little; now and then the widest ones.
  const bool wide = bytes.Next() == 0xff;
  s.nstrata = bytes.Range(1, wide ? 26 : 9);
  const bool memory = IsMemoryModel(s.modset);
  s.nyrs = memory ? bytes.Range(3, wide ? 40 : 12) : bytes.Range(2, wide ? 60 : 45);
  s.nage = bytes.Range(1, 3);
  s.ngroups = bytes.Range(1, 3);
  s.smstrat = HasSmParameterization(s.modset) ? bytes.Range(0, s.nstrata + 1) : 0;
  s.listdata = bytes.Next() & 1;
  const int32_t first = bytes.Range(1, 250 - s.nyrs + 1);
  for (int32_t i = 0; i < s.nyrs; ++i) s.codcol.push_back(bytes.Next() & 1 ? first + i : bytes.Range(1, 250));
  s.fatecol = bytes.Range(0, 250);
  if (s.nage > 1) s.agecol = bytes.Range(1, 250);
  if (s.ngroups > 1) s.grpcol = bytes.Range(0, 250);
  if (bytes.Next() & 1) {
    s.frqcol1 = bytes.Range(1, 250);
    s.frqcol2 = std::min(250, s.frqcol1 + bytes.Range(0, 12));
    s.obsfmt = "(I" + std::to_string(s.frqcol2 - s.frqcol1 + 1) + ")";
    s.obsfmt.resize(kCodesWidth, ' ');
  }
  for (std::string* codes : {&s.scodes, &s.acodes, &s.gcodes}) {
    for (char& c : *codes) c = static_cast<char>(bytes.Next() % 4 == 0 ? ' ' : 'A' + bytes.Next() % 8);
  }
  for (char& c : s.ageinc) c = static_cast<char>('0' + (bytes.Next() & 1));

  // Small read blocks now and then, so that records cross block edges; and now and then
  // several threads, so that parts meet at any line.
  const size_t block = bytes.Next() & 1 ? 64 + bytes.Next() : InputFile::kDefaultBlock;
  const int threads = 1 + bytes.Next() % 4;
  // Any set of kernels the machine has: they all read alike.
  const std::vector<KernelSet> sets = KernelSetsHere();
  const KernelSet kernels = sets[bytes.Next() % sets.size()];
  const bool fit = bytes.Next() & 1;
  const std::string records = bytes.Rest();

  // The records read the quick way and the plain way give the same console and files.
  struct Result {
    std::string console, out, sum, checks;
    std::vector<gof::FitTables> fit;
    bool stopped = false;
  };
  auto convert = [&](int part_threads) {
    Result result;
    InputFile input(block);
    input.OpenMemory(records, "records.txt");
    std::ostringstream console_text;
    Console console(console_text);
    OutputFile out("HAPLOVEX.OUT");
    OutputFile sum("HAPLOVEX.SUM");
    out.OpenMemory();
    sum.OpenMemory();
    const ConversionStreams streams{console, input, out, sum};
    ReadOptions options;
    options.threads = part_threads > 0 ? part_threads : 1;
    options.plain_only = part_threads < 0;
    options.kernels = kernels;
    // The tables of the fit tests too, now and then, held to the plain way as the rest.
    options.gof = fit;
    RecordsRead read;
    try {
      if (memory) {
        read = convert_memory_movement(s, streams, options).read;
      } else {
        read = convert_movement_only(s, streams, options).read;
      }
    } catch (const FatalStop& stop) {
      result.stopped = true;
      for (const std::string& line : stop.lines()) result.console += line + "\n";
    }
    result.console += console_text.str();
    const RecordChecks& c = read.checks;
    for (const Sighting* seen :
         {&c.foreign, &c.beyond, &c.no_capture, &c.short_record, &c.blank_frequency}) {
      result.checks += std::to_string(seen->count) + " " + std::to_string(seen->record) + " " +
                       std::to_string(seen->column) + " " + std::to_string(int{seen->byte}) + ";";
    }
    result.checks += std::to_string(c.comment_lines) + " " + std::to_string(c.empty_lines) + " " +
                     std::to_string(c.no_releases);
    result.out = out.contents();
    result.sum = sum.contents();
    result.fit = read.counted.Of<FitCounting>();
    return result;
  };
  const Result quick = convert(threads);
  const Result plain = convert(-1);
  if (quick.stopped != plain.stopped || quick.console != plain.console || quick.out != plain.out ||
      quick.sum != plain.sum || (!quick.stopped && (quick.checks != plain.checks || quick.fit != plain.fit))) {
    std::abort();
  }
  return 0;
}
