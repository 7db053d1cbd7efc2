// The one way a run stops early. Whoever detects a fatal condition throws FatalStop with
// the console lines to show first and the stop message; the run driver catches it in one
// place, writes the lines and the stop message, and turns it into a non-zero exit status.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace haplovex {

// Stop message of every error end of a run.
inline constexpr const char* kErrorStop = "*** HAPLOVEX ERROR ***";
// Stop message of the normal end of a run.
inline constexpr const char* kFinishedStop = "=== HAPLOVEX FINISHED OK ===";

class FatalStop {
 public:
  // `lines` are whole console lines (their leading blank included) written before `stop`;
  // an empty `stop` ends the run after the lines alone.
  explicit FatalStop(std::vector<std::string> lines, std::string stop = kErrorStop)
      : lines_(std::move(lines)), stop_(std::move(stop)) {}

  // A stop preceded by one console line " *** " + `message`.
  static FatalStop Message(const std::string& message) {
    return FatalStop({" *** " + message});
  }
  // The specified stop after a table could not be obtained.
  static FatalStop Allocation(const std::string& table) {
    return FatalStop({}, "error allocating memory for " + table);
  }

  // Names the question whose answer the stop comes from ("STRATA,TIME-PERIODS,AGE-CLASSES,
  // GROUPS"), so that a person who finishes the run by hand knows which answer to change.
  FatalStop& From(std::string question) {
    question_ = std::move(question);
    return *this;
  }

  const std::vector<std::string>& lines() const { return lines_; }
  const std::string& stop() const { return stop_; }
  const std::string& question() const { return question_; }

 private:
  std::vector<std::string> lines_;
  std::string stop_;
  std::string question_;
};

}  // namespace haplovex
