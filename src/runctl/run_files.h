// What a converter finds open when the run driver calls it: the console, the capture-history
// file (rewound), the output file with its title line written, and the summary file; and what
// it hands back besides its files: what the records looked like, for the warnings the run
// gives once they are read.
#pragma once

#include <cstdint>
#include <vector>

#include "common/console.h"
#include "common/text_file.h"
#include "tabulate/kernels/kernel_set.h"

namespace haplovex {

// The run's own files in the working folder.
inline constexpr const char* kOutputName = "HAPLOVEX.OUT";   // the estimation-program input
inline constexpr const char* kSummaryName = "HAPLOVEX.SUM";  // the run summary
inline constexpr const char* kAnswersName = "HAPLOVEX.ANS";  // a terminal run's answers
inline constexpr const char* kReleasesName = "HAPLOVEX.releases.csv";        // with --csv
inline constexpr const char* kTransitionsName = "HAPLOVEX.transitions.csv";  // with --csv
inline constexpr const char* kReportName = "HAPLOVEX.html";                  // with --report

// Something seen in the records: how often, and where first.
struct Sighting {
  int64_t count = 0;
  int64_t record = 0;  // the first record it was seen in, counted as the records are
  int64_t line = 0;    // that record's line in the file (comment lines count there)
  int32_t column = 0;  // its column there (for a short record: the record's length)
  char byte = 0;       // the character seen there, where there is one

  void Add(int64_t n, int64_t at_record, int64_t at_line, int32_t at_column, char at_byte = 0) {
    if (count == 0) {
      record = at_record;
      line = at_line;
      column = at_column;
      byte = at_byte;
    }
    count += n;
  }
};

// What the records looked like, gathered while they are read.
struct RecordChecks {
  Sighting foreign;          // history characters neither a stratum code nor 0, . or blank
  Sighting beyond;           // stratum codes typed beyond the number of strata
  Sighting no_capture;       // records with no capture
  Sighting short_record;     // records shorter than the last column read
  Sighting blank_frequency;  // frequency fields all blank, read as no animals
  Sighting spaced_frequency;  // frequency fields with blanks between digits, read as one number
  // Summarised histories (--inp): how the first record was split ("line 3: history 0000AA,
  // counts 8 10 (groups M, F), 1 covariate ignored"), its number of fields, and the records
  // with another number (column: that number).
  std::string first_split;
  int64_t first_fields = 0;
  Sighting other_fields;
  int64_t comment_lines = 0;  // "/* ... */" lines, which are not records
  int64_t empty_lines = 0;    // blank records of no animals, with a frequency field
  bool no_releases = false;   // every release count is zero
  int64_t npar = 0;           // the number of parameters, and the digits the model
  int npar_digits = 0;        // statement has for it
};

// What the report shows of the records besides the checks, handed back by the converter
// when the run writes one.
struct RunDigest {
  int64_t records = 0;
  int64_t animals = 0;
  int32_t strata = 0;
  int32_t periods = 0;
  // caught[(period - 1) * strata + (stratum - 1)]: animals caught at the period in the stratum.
  std::vector<int64_t> caught;
  // For each group and age class (group outermost), the pairs of captures from one stratum
  // (row) to the next stratum the animal was caught in (column): [from - 1) * strata + to - 1].
  std::vector<std::vector<int64_t>> transitions;
};

struct RunFiles {
  Console& console;
  InputFile& input;
  OutputFile& out;  // HAPLOVEX.OUT
  OutputFile& sum;  // HAPLOVEX.SUM
  RecordChecks checks = {};
  // The tidy tables of the records (--csv), when the run writes them.
  OutputFile* releases = nullptr;
  OutputFile* transitions = nullptr;
  // The converter fills the digest when the run writes a report (--report).
  bool want_digest = false;
  RunDigest digest = {};
  // Threads that may read the records at once; 0: as many as help on this machine; below 0:
  // one record at a time only (the plain way, which the quick way is held to in tests).
  int threads = 0;
  // The instructions the quick way reads with (one of KernelSetsHere()).
  KernelSet kernels = BestKernels();
};

}  // namespace haplovex
