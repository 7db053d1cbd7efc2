#include "common/work_folder.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
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
      try {
        PutInPlace(work, {{&out, c.out_may_replace}, {&sum, true}});
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

TEST(WorkFolderTest, OneRunAFolderAtATime) {
  testing::ScratchFolder folder;
  const WorkFolder first(folder.path());
  try {
    const WorkFolder second(folder.path());
    ADD_FAILURE() << "a second run took the folder";
  } catch (const FatalStop& stop) {
    ASSERT_EQ(stop.lines().size(), 1u);
    EXPECT_NE(stop.lines()[0].find("Another HAPLOVEX run"), std::string::npos);
  }
}

TEST(WorkFolderTest, PartialFilesOfAKilledRunAreRemovedAndNothingElse) {
  testing::ScratchFolder folder;
  folder.Write(".HAPLOVEX.OUT.partial-77-1", "half");
  folder.Write(".HAPLOVEX.SUM.partial-77-2", "half");
  folder.Write(".HAPLOVEX.OUT.previous-9", "the old HAPLOVEX.OUT of a run killed while placing");
  folder.Write("d.partial-1", "data");
  { const WorkFolder work(folder.path()); }
  EXPECT_EQ(Listing(folder),
            (std::vector<std::string>{
                ".HAPLOVEX.OUT.previous-9: the old HAPLOVEX.OUT of a run killed while placing",
                "d.partial-1: data"}));
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
