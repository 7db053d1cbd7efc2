// The text of a data frame as R's write.table and write.csv and spreadsheets save it: a header
// line of field names, then one record a line. Fields are separated by the tab, semicolon or
// comma the header uses, or, where it uses none, by runs of blanks (write.table's default). A
// field may be quoted ("0101"), a quote inside quotes doubled (""), and a quoted field may hold
// separators and line ends as data. Lines end with a line feed, a carriage return and a line
// feed, or a carriage return alone; a byte-order mark before the header is not part of it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace haplovex {

// The most fields a header may name, and the longest record read.
inline constexpr size_t kMostFrameFields = 10000;
inline constexpr size_t kMostFrameRecordBytes = size_t{1} << 20;
// What a run reads of a file's start to find its header, its first records and their levels.
inline constexpr size_t kFrameLookBytes = size_t{4} << 20;

// Columns of a frame's frequency in the records laid out in columns: a count of up to
// 99,999,999 animals, or down to -9,999,999, read whole on the quick way.
inline constexpr int32_t kFrameFrequencyWidth = 8;

// The separator that stands for runs of blanks.
inline constexpr char kBlankSeparated = ' ';

// What reading one record found.
enum class FrameRead {
  kRecord,  // a record: fields() holds its fields
  kBlank,   // a line of nothing but blanks, which is no record
  kMore,    // the record runs past the bytes given, which are not the file's last
  kFault,   // the record cannot be read: fault() says why
};

struct FrameHeader;

// Reads the records of a frame one at a time from bytes in memory. Fields are views into those
// bytes where they can be, so they stay valid only until the bytes move or the next record.
class FrameRecordParser {
 public:
  explicit FrameRecordParser(char separator);
  // Faults name the fields of a record as `header` does (else by their number).
  void NameFields(const FrameHeader& header);

  // Reads the record that starts at `p`; `at_end`: the bytes up to `end` are the file's last.
  // On kRecord and kBlank, `p` is moved past its line end and line_ends() tells how many line
  // ends it passed (quoted ones too); on kMore and kFault, `p` is left where it was.
  FrameRead Read(const char*& p, const char* end, bool at_end);

  const std::vector<std::string_view>& fields() const { return fields_; }
  // Whether field k was quoted (a quoted empty field is data, an unquoted one may be a
  // trailing separator's).
  bool quoted(size_t k) const { return quoted_[k] != 0; }
  int64_t line_ends() const { return line_ends_; }
  // Why the record could not be read, without its line.
  const std::string& fault() const { return fault_; }
  // Line ends before the fault within the record (the fault's line is the record's line plus
  // this).
  int64_t fault_line() const { return fault_line_; }

 private:
  // Reads one field at `p`; false at kMore or kFault (`result` set).
  bool Field(const char*& p, const char* end, bool at_end, FrameRead& result);
  bool QuotedField(const char*& p, const char* end, bool at_end, FrameRead& result);
  bool UnquotedField(const char*& p, const char* end, bool at_end, FrameRead& result);
  // The quote that closes the field whose text starts at `q` (a doubled quote inside it sets
  // `doubled`); none, with `result` set, when the bytes end first or the field cannot be read.
  const char* ClosingQuote(const char* q, const char* end, bool at_end, bool& doubled, FrameRead& result);
  // Sets `result` to `why` (a fault with its text, on the line reached); returns false.
  bool Stop(FrameRead& result, FrameRead why, std::string fault = {});
  FrameRead Fault(std::string text);
  std::string FieldName(size_t k) const;

  char separator_;
  unsigned char special_[256] = {};    // bytes an unquoted field stops or fails at
  unsigned char in_quotes_[256] = {};  // bytes a quoted field stops at
  std::vector<std::string_view> fields_;
  std::vector<unsigned char> quoted_;
  std::vector<std::string> unquoted_;  // fields whose doubled quotes were made single
  std::vector<std::string> names_;     // the names of a record's fields, a row name's first
  bool row_names_ = false;
  int64_t line_ends_ = 0;
  int64_t fault_line_ = 0;
  std::string fault_;
};

// The header of a frame, as its first line names the fields.
struct FrameHeader {
  char separator = kBlankSeparated;
  std::vector<std::string> names;  // the fields of a record, its row name apart
  // The header names one field fewer than its first record holds, or names it "": each
  // record's first field is its row name, which is skipped.
  bool row_names = false;
  uint64_t records_start = 0;  // the byte where the first record's line starts
  int64_t header_lines = 1;    // lines the header takes (a quoted name may hold a line end)
};

// The separator a header line uses: a tab, else a semicolon, else a comma (outside quotes),
// else blanks.
char FindSeparator(std::string_view header);
// How separators are called in messages: "tabs", "commas", "semicolons", "blanks".
std::string SeparatorName(char separator);

// Reads the header and the first record of `start`, the file's first bytes (at most
// kFrameLookBytes, `whole`: the whole file), from `from` on (after a byte-order mark). Fills
// `header`; returns an empty text, or why the file cannot be read as a frame: a header only,
// more than kMostFrameFields fields, a header that cannot be read.
std::string ReadFrameHeader(std::string_view start, size_t from, bool whole, FrameHeader& header);

// The line ends among `text`: line feeds, and carriage returns with no line feed after them.
int64_t CountLineEnds(std::string_view text);

// The number of a field of `header` named `name`, or -1.
int FieldNamed(const FrameHeader& header, std::string_view name);

// The fields of a record that belong to the header's names: a trailing separator's empty field
// and a row name taken off. False when the record has another number of fields, with `fault`
// saying so.
bool HeaderFields(const FrameHeader& header, const FrameRecordParser& parser, std::vector<std::string_view>& fields,
                  std::string& fault);

}  // namespace haplovex
