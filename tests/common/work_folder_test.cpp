#include "common/work_folder.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
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
std::vector<std::string> Listing(const testing::ScratchFolder& folder) {
  std::vector<std::string> entries;
  for (const fs::directory_entry& e : fs::directory_iterator(folder.path())) {
    const std::string name = e.path().filename().string();
    if (e.is_symlink()) {
      entries.push_back(name + " -> " + fs::read_symlink(e.path()).string());
    } else if (e.is_regular_file()) {
      entries.push_back(name + ": " + folder.Read(name));
    } else {
      entries.push_back(name + "/");
    }
  }
  std::sort(entries.begin(), entries.end());
  return entries;
}

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

// A run killed in the midst of putting its files in place: the next run finishes its moves,
// says so, and no hidden file is left.
TEST(WorkFolderTest, MovesOfAKilledRunAreFinished) {
  testing::ScratchFolder folder;
  const std::string gone = std::to_string(GoneProcess());
  // HAPLOVEX.OUT was put in place (its earlier file kept), HAPLOVEX.SUM not yet.
  folder.Write("HAPLOVEX.OUT", "new out\n");
  folder.Write(".HAPLOVEX.OUT.previous-" + gone + "-1", "old out\n");
  folder.Write("HAPLOVEX.SUM", "old sum\n");
  folder.Write(".HAPLOVEX.SUM.previous-" + gone + "-2", "old sum\n");
  folder.Write(".HAPLOVEX.SUM.partial-" + gone + "-1", "new sum\n");
  folder.Write(".HAPLOVEX.moves-" + gone,
               "HAPLOVEX.OUT\t.HAPLOVEX.OUT.partial-" + gone + "-1\t.HAPLOVEX.OUT.previous-" + gone +
                   "-1\nHAPLOVEX.SUM\t.HAPLOVEX.SUM.partial-" + gone + "-1\t.HAPLOVEX.SUM.previous-" +
                   gone + "-2\n");
  std::ostringstream err;
  { const WorkFolder work(folder.path(), &err); }
  EXPECT_EQ(Listing(folder),
            (std::vector<std::string>{"HAPLOVEX.OUT: new out\n", "HAPLOVEX.SUM: new sum\n"}));
  EXPECT_NE(err.str().find("this run finished its moves, so the folder holds that run's files "
                           "(HAPLOVEX.SUM)"),
            std::string::npos)
      << err.str();
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
