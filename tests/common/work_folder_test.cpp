#include "common/work_folder.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "../common/test_support.h"
#include "common/fatal.h"
#include "common/text_file.h"

namespace haplovex {
namespace {

namespace fs = std::filesystem;

// Every name in the folder, with what the regular files hold and where links lead.
std::vector<std::string> Listing(const fs::path& folder) {
  std::vector<std::string> entries;
  for (const fs::directory_entry& e : fs::directory_iterator(folder)) {
    const std::string name = e.path().filename().string();
    if (e.is_symlink()) {
      entries.push_back(name + " -> " + fs::read_symlink(e.path()).string());
    } else if (e.is_regular_file()) {
      std::ifstream in(e.path(), std::ios::binary);
      entries.push_back(name + ": " + std::string(std::istreambuf_iterator<char>(in), {}));
    } else {
      entries.push_back(name + "/");
    }
  }
  std::sort(entries.begin(), entries.end());
  return entries;
}
std::vector<std::string> Listing(const testing::ScratchFolder& folder) { return Listing(folder.path()); }

struct PlaceCase {
  const char* name;
  std::function<void(const testing::ScratchFolder&)> before;  // the folder before the run
  bool out_may_replace;
  // Done after the files are written, before they are put in place.
  std::function<void(const testing::ScratchFolder&, OutputFile& out, OutputFile& sum)> meanwhile;
  bool placed;
  std::vector<std::string> after;  // the folder afterwards; empty: as it was before
};

TEST(PutInPlaceTest, AllOrNothing) {
  auto old_files = [](const testing::ScratchFolder& f) {
    f.Write("HAPLOVEX.OUT", "old out\n");
    f.Write("HAPLOVEX.SUM", "old sum\n");
  };
  const std::vector<PlaceCase> cases = {
      {"new names", nullptr, false, nullptr, true,
       {"HAPLOVEX.OUT: new out\n", "HAPLOVEX.SUM: new sum\n"}},
      {"both replaced", old_files, true, nullptr, true,
       {"HAPLOVEX.OUT: new out\n", "HAPLOVEX.SUM: new sum\n"}},
      {"links are replaced themselves, never the files they lead to",
       [](const testing::ScratchFolder& f) {
         f.Write("notes.txt", "notes\n");
         fs::create_symlink("notes.txt", f.path() / "HAPLOVEX.OUT");
         fs::create_symlink("notes.txt", f.path() / "HAPLOVEX.SUM");
       },
       true, nullptr, true,
       {"HAPLOVEX.OUT: new out\n", "HAPLOVEX.SUM: new sum\n", "notes.txt: notes\n"}},
      {"a file that appeared at a free name is left alone", nullptr, false,
       [](const testing::ScratchFolder& f, OutputFile&, OutputFile&) {
         f.Write("HAPLOVEX.OUT", "someone else's\n");
       },
       false, {"HAPLOVEX.OUT: someone else's\n"}},
      {"when the second cannot be placed the first is put back", old_files, true,
       [](const testing::ScratchFolder& f, OutputFile&, OutputFile& sum) {
         fs::remove(f.path() / sum.partial_name());
       },
       false, {}},
      {"a folder at a name is not replaced", [](const testing::ScratchFolder& f) {
         f.Write("HAPLOVEX.OUT", "old out\n");
         fs::create_directory(f.path() / "HAPLOVEX.SUM");
       },
       true, nullptr, false, {}},
  };
  for (const PlaceCase& c : cases) {
    SCOPED_TRACE(c.name);
    testing::ScratchFolder folder;
    if (c.before) c.before(folder);
    const std::vector<std::string> before = Listing(folder);
    {
      WorkFolder work(folder.path());
      OutputFile out("HAPLOVEX.OUT");
      OutputFile sum("HAPLOVEX.SUM");
      ASSERT_EQ(out.OpenPartial(work), 0);
      ASSERT_EQ(sum.OpenPartial(work), 0);
      out.WriteLine("new out");
      sum.WriteLine("new sum");
      out.Finish();
      sum.Finish();
      if (c.meanwhile) c.meanwhile(folder, out, sum);
      bool placed = true;
      std::ostringstream err;
      try {
        PutInPlace(work, {{&out, c.out_may_replace}, {&sum, true}}, err);
      } catch (const FatalStop& stop) {
        placed = false;
        ASSERT_EQ(stop.lines().size(), 1u);
        EXPECT_EQ(stop.lines()[0].rfind(" *** ", 0), 0u) << stop.lines()[0];
      }
      EXPECT_EQ(placed, c.placed);
    }
    // Partial files and moved-aside old files are gone either way.
    EXPECT_EQ(Listing(folder), c.after.empty() ? before : c.after);
  }
}

// A run holds the folder while it converts, not while it waits for answers.
TEST(WorkFolderTest, OneRunAFolderAtATime) {
  testing::ScratchFolder folder;
  WorkFolder waiting(folder.path());
  WorkFolder converting(folder.path());
  converting.Hold();
  for (const bool hold : {false, true}) {
    try {
      WorkFolder other(folder.path());
      if (hold) other.Hold();
      ADD_FAILURE() << "a second run took the folder";
    } catch (const FatalStop& stop) {
      ASSERT_EQ(stop.lines().size(), 1u);
      EXPECT_NE(stop.lines()[0].find("Another HAPLOVEX run is converting in this folder"),
                std::string::npos);
    }
  }
  EXPECT_THROW(waiting.Hold(), FatalStop);
}

// The number of a process that has ended.
pid_t GoneProcess() {
  const pid_t child = fork();
  if (child == 0) _exit(0);
  waitpid(child, nullptr, 0);
  return child;
}

// At its start a run removes the partial and kept files of runs whose process is gone, by
// their exact names, and nothing else.
TEST(WorkFolderTest, HiddenFilesOfRunsGoneAreRemovedAndNothingElse) {
  testing::ScratchFolder folder;
  const std::string gone = std::to_string(GoneProcess());
  const std::string alive = std::to_string(getpid());
  folder.Write(".HAPLOVEX.OUT.partial-" + gone + "-1", "half");
  folder.Write(".HAPLOVEX.SUM.partial-" + gone + "-2", "half");
  folder.Write(".HAPLOVEX.OUT.previous-" + gone + "-3", "kept by a run killed while placing");
  folder.Write(".HAPLOVEX.html.partial-" + alive + "-1", "a run still going");
  folder.Write(".HAPLOVEX.OUT.partial-notes", "a user's");
  folder.Write(".HAPLOVEX.OUT.partial-" + gone + "-1x", "a user's too");
  folder.Write("d.partial-1", "data");
  { const WorkFolder work(folder.path()); }
  EXPECT_EQ(Listing(folder), (std::vector<std::string>{
                                 ".HAPLOVEX.OUT.partial-" + gone + "-1x: a user's too",
                                 ".HAPLOVEX.OUT.partial-notes: a user's",
                                 ".HAPLOVEX.html.partial-" + alive + "-1: a run still going",
                                 "d.partial-1: data"}));
}

// The names a run writes, for which alone a record of moves is obeyed.
const std::vector<std::string> kRunNames = {"HAPLOVEX.OUT", "HAPLOVEX.SUM", "HAPLOVEX.html"};

// `text` with "@" replaced by `journal_pid`, "%" by `other_pid` and "~" by `around`.
std::string Filled(std::string text, const std::string& journal_pid, const std::string& other_pid,
                   const std::string& around) {
  std::string filled;
  for (const char c : text) {
    filled += c == '@' ? journal_pid : c == '%' ? other_pid : c == '~' ? around : std::string(1, c);
  }
  return filled;
}

// A refused line as standard error shows it: each field in quotes, one blank between them.
std::string Shown(const std::string& fields) {
  std::string shown;
  for (const char c : fields) shown += c == '|' ? std::string("\" \"") : std::string(1, c);
  return shown;
}

// A run killed in the midst of putting its files in place: the next run finishes its moves,
// says so, and no hidden file is left. A record of moves is data from the folder, which anyone
// may have put there: a line is done only when it moves one of a run's own files between the
// names that run gives its partial and kept files; the others are named on standard error and
// left undone, and only a regular file is read as a record at all.
TEST(WorkFolderTest, MovesOfAKilledRunAreFinishedAndNoOthers) {
  struct Case {
    const char* name;
    // The record ("@": the killed run's process, "%": another process gone, "~": the folder
    // around the working folder); empty: `instead` stands at its name.
    std::string record;
    std::vector<std::string> before;  // the run's files, as "name: content" (placeholders too)
    std::vector<std::string> after;   // the run's files afterwards, and any hidden file left
    std::string finished;             // the names this run says it put in place; empty: no word
    std::vector<std::string> refused;  // how each line refused is shown, "|" between fields
    std::function<void(const fs::path& record)> instead = nullptr;
  };
  const std::vector<Case> cases = {
      {"HAPLOVEX.OUT put in place (its earlier file kept), HAPLOVEX.SUM not yet",
       "HAPLOVEX.OUT\t.HAPLOVEX.OUT.partial-@-1\t.HAPLOVEX.OUT.previous-@-1\n"
       "HAPLOVEX.SUM\t.HAPLOVEX.SUM.partial-@-1\t.HAPLOVEX.SUM.previous-@-2\n",
       {"HAPLOVEX.OUT: new out\n", ".HAPLOVEX.OUT.previous-@-1: old out\n", "HAPLOVEX.SUM: old sum\n",
        ".HAPLOVEX.SUM.previous-@-2: old sum\n", ".HAPLOVEX.SUM.partial-@-1: new sum\n"},
       {"HAPLOVEX.OUT: new out\n", "HAPLOVEX.SUM: new sum\n"}, "HAPLOVEX.SUM", {}},
      {"files outside the folder", "../outside/thesis.txt\t-\t~/outside/notes.txt\n", {}, {}, "",
       {"../outside/thesis.txt|-|~/outside/notes.txt\""}},
      {"the user's data removed", "geese.inp\t-\tSOURCE.txt\n", {}, {}, "", {"geese.inp|-|SOURCE.txt\""}},
      {"one of the user's files renamed over another", "analysis.R\tnotes.txt\t-\n", {}, {}, "",
       {"analysis.R|notes.txt|-\""}},
      {"a user's file as a run's partial file, or as its kept file",
       "HAPLOVEX.OUT\tnotes.txt\t-\nHAPLOVEX.SUM\t-\tnotes.txt\n",
       {"HAPLOVEX.OUT: old out\n", "HAPLOVEX.SUM: old sum\n"},
       {"HAPLOVEX.OUT: old out\n", "HAPLOVEX.SUM: old sum\n"}, "",
       {"HAPLOVEX.OUT|notes.txt|-\"", "HAPLOVEX.SUM|-|notes.txt\""}},
      {"the partial and kept files of another process",
       "HAPLOVEX.OUT\t.HAPLOVEX.OUT.partial-%-1\t-\nHAPLOVEX.SUM\t-\t.HAPLOVEX.SUM.previous-%-1\n",
       {"HAPLOVEX.OUT: old out\n", ".HAPLOVEX.OUT.partial-%-1: planted\n", "HAPLOVEX.SUM: old sum\n",
        ".HAPLOVEX.SUM.previous-%-1: planted\n"},
       {"HAPLOVEX.OUT: old out\n", "HAPLOVEX.SUM: old sum\n"}, "",
       {"HAPLOVEX.OUT|.HAPLOVEX.OUT.partial-%-1|-\"", "HAPLOVEX.SUM|-|.HAPLOVEX.SUM.previous-%-1\""}},
      {"another name's partial file", "HAPLOVEX.OUT\t.HAPLOVEX.SUM.partial-@-1\t-\n",
       {"HAPLOVEX.OUT: old out\n", ".HAPLOVEX.SUM.partial-@-1: new sum\n"},
       {"HAPLOVEX.OUT: old out\n"}, "", {"HAPLOVEX.OUT|.HAPLOVEX.SUM.partial-@-1|-\""}},
      {"partial names with no number, or more after it",
       "HAPLOVEX.OUT\t.HAPLOVEX.OUT.partial-@-\t-\nHAPLOVEX.OUT\t.HAPLOVEX.OUT.partial-@-1x\t-\n"
       "HAPLOVEX.OUT\t.HAPLOVEX.OUT.partial-@1\t-\n",
       {"HAPLOVEX.OUT: old out\n", ".HAPLOVEX.OUT.partial-@-: a user's\n",
        ".HAPLOVEX.OUT.partial-@-1x: a user's\n", ".HAPLOVEX.OUT.partial-@1: a user's\n"},
       {"HAPLOVEX.OUT: old out\n", ".HAPLOVEX.OUT.partial-@-: a user's\n",
        ".HAPLOVEX.OUT.partial-@-1x: a user's\n", ".HAPLOVEX.OUT.partial-@1: a user's\n"},
       "", {"HAPLOVEX.OUT|.HAPLOVEX.OUT.partial-@-|", "HAPLOVEX.OUT|.HAPLOVEX.OUT.partial-@-1x|",
            "HAPLOVEX.OUT|.HAPLOVEX.OUT.partial-@1|"}},
      {"a fourth field", "HAPLOVEX.SUM\t.HAPLOVEX.SUM.partial-@-1\t-\tnotes.txt\n",
       {".HAPLOVEX.SUM.partial-@-1: new sum\n"}, {}, "", {"HAPLOVEX.SUM|.HAPLOVEX.SUM.partial-@-1|-|notes.txt\""}},
      {"the lines of a run's files done, the others named",
       "HAPLOVEX.html\t.HAPLOVEX.html.partial-@-3\t-\ngeese.inp\t-\tSOURCE.txt\n",
       {".HAPLOVEX.html.partial-@-3: page\n"}, {"HAPLOVEX.html: page\n"}, "HAPLOVEX.html",
       {"geese.inp|-|SOURCE.txt\""}},
      {"bytes that would control a terminal", "HAPLOVEX.OUT\x1b]52;c;aGk=\x07\t-\t-\n", {}, {}, "",
       {"HAPLOVEX.OUT?]52;c;aGk=?|-|-\""}},
      {"a folder at the record's name", "", {}, {".HAPLOVEX.moves-@/"}, "", {},
       [](const fs::path& record) { fs::create_directory(record); }},
      {"a link at the record's name", "", {}, {".HAPLOVEX.moves-@ -> ../outside/moves"}, "", {},
       [](const fs::path& record) { fs::create_symlink("../outside/moves", record); }},
  };
  const std::vector<std::string> users = {"SOURCE.txt: source\n", "analysis.R: script\n",
                                          "geese.inp: data\n", "notes.txt: notes\n"};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    testing::ScratchFolder around;
    const fs::path work = around.path() / "work";
    fs::create_directories(around.path() / "outside");
    fs::create_directory(work);
    around.Write("outside/thesis.txt", "thesis\n");
    around.Write("outside/notes.txt", "outside notes\n");
    const std::string gone = std::to_string(GoneProcess());
    std::string other = std::to_string(GoneProcess());
    if (other == gone) other = std::to_string(GoneProcess());
    const auto fill = [&](const std::string& text) {
      return Filled(text, gone, other, around.path().string());
    };
    around.Write("outside/moves", fill("geese.inp\t-\tnotes.txt\n"));
    std::vector<std::string> expected;
    for (const std::vector<std::string>* files : {&users, &c.before}) {
      for (const std::string& file : *files) {
        const size_t colon = file.find(": ");
        around.Write("work/" + fill(file.substr(0, colon)), file.substr(colon + 2));
      }
    }
    for (const std::string& file : users) expected.push_back(file);
    for (const std::string& file : c.after) expected.push_back(fill(file));
    std::sort(expected.begin(), expected.end());
    const fs::path record = work / (".HAPLOVEX.moves-" + gone);
    if (c.instead) {
      c.instead(record);
    } else {
      around.Write("work/" + record.filename().string(), fill(c.record));
    }
    const std::vector<std::string> outside = Listing(around.path() / "outside");
    std::ostringstream err;
    { const WorkFolder folder(work, &err, kRunNames); }
    EXPECT_EQ(Listing(work), expected);
    EXPECT_EQ(Listing(around.path() / "outside"), outside);
    if (c.finished.empty()) {
      EXPECT_EQ(err.str().find("finished its moves"), std::string::npos) << err.str();
    } else {
      EXPECT_NE(err.str().find("haplovex: a run stopped while putting its files in place; this run "
                               "finished its moves, so the folder holds that run's files (" +
                               c.finished + ")\n"),
                std::string::npos)
          << err.str();
    }
    for (const std::string& line : c.refused) {
      EXPECT_NE(err.str().find("haplovex: a line of .HAPLOVEX.moves-" + gone +
                               " names no move of a run's files and was not done: \"" +
                               fill(Shown(line))),
                std::string::npos)
          << line << "\n" << err.str();
    }
    if (c.refused.empty() && c.finished.empty()) {
      EXPECT_EQ(err.str(), "");
    }
  }
}

// An earlier run's files that this run does not write go in the same step as its own are put in
// place, and come back when that step is undone.
TEST(PutInPlaceTest, EarlierFilesOfAnotherRunGoInTheSameStep) {
  for (const bool fails : {false, true}) {
    SCOPED_TRACE(fails ? "undone" : "done");
    testing::ScratchFolder folder;
    folder.Write("HAPLOVEX.html", "an earlier run's page\n");
    folder.Write("HAPLOVEX.releases.csv", "an earlier run's table\n");
    const std::vector<std::string> before = Listing(folder);
    std::ostringstream err;
    {
      WorkFolder work(folder.path());
      OutputFile out("HAPLOVEX.OUT");
      ASSERT_EQ(out.OpenPartial(work), 0);
      out.WriteLine("new out");
      out.Finish();
      OutputFile sum("HAPLOVEX.SUM");
      ASSERT_EQ(sum.OpenPartial(work), 0);
      sum.Finish();
      if (fails) fs::remove(folder.path() / sum.partial_name());
      try {
        PutInPlace(work, {{&out, false}, {&sum, false}}, err,
                   {"HAPLOVEX.html", "HAPLOVEX.releases.csv", "HAPLOVEX.transitions.csv"});
        EXPECT_FALSE(fails);
      } catch (const FatalStop&) {
        EXPECT_TRUE(fails);
      }
    }
    if (fails) {
      EXPECT_EQ(Listing(folder), before);
    } else {
      EXPECT_EQ(Listing(folder), (std::vector<std::string>{"HAPLOVEX.OUT: new out\n", "HAPLOVEX.SUM: "}));
      EXPECT_NE(err.str().find("haplovex: removed HAPLOVEX.html, an earlier run's file that this "
                               "run does not write\nhaplovex: removed HAPLOVEX.releases.csv"),
                std::string::npos)
          << err.str();
    }
  }
}

// A file replaced keeps its permission bits.
TEST(PutInPlaceTest, AReplacedFileKeepsItsMode) {
  testing::ScratchFolder folder;
  folder.Write("HAPLOVEX.OUT", "old\n");
  chmod((folder.path() / "HAPLOVEX.OUT").c_str(), 0600);
  {
    WorkFolder work(folder.path());
    OutputFile out("HAPLOVEX.OUT");
    ASSERT_EQ(out.OpenPartial(work), 0);
    out.WriteLine("new");
    out.Finish();
    std::ostringstream err;
    PutInPlace(work, {{&out, true}}, err);
  }
  struct stat st;
  ASSERT_EQ(stat((folder.path() / "HAPLOVEX.OUT").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0600u);
  EXPECT_EQ(folder.Read("HAPLOVEX.OUT"), "new\n");
}

TEST(WorkFolderTest, APartialFileNotPutInPlaceIsRemoved) {
  testing::ScratchFolder folder;
  {
    const WorkFolder work(folder.path());
    OutputFile out("HAPLOVEX.OUT");
    ASSERT_EQ(out.OpenPartial(work), 0);
    out.WriteLine("PROC TITLE 'x';");
    EXPECT_TRUE(folder.Exists(out.partial_name()));
  }
  EXPECT_TRUE(Listing(folder).empty());
}

}  // namespace
}  // namespace haplovex
