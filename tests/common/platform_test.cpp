#include "common/platform.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <string>
#include <vector>

#include "../common/test_support.h"

namespace haplovex::platform {
namespace {

using haplovex::testing::ScratchFolder;

class PlatformTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(OpenFolder(scratch_.path(), folder_), 0); }
  void TearDown() override { CloseFolder(folder_); }

  // Writes `bytes` into a new file at `name` through the calls under test.
  void Make(const std::string& name, const std::string& bytes) {
    FileHandle file = kNoFile;
    ASSERT_EQ(CreateNew(folder_, name, file), 0) << name;
    ASSERT_EQ(WriteAll(file, bytes.data(), bytes.size()), 0) << name;
    ASSERT_EQ(SyncFile(file), 0) << name;
    ASSERT_EQ(CloseFile(file), 0) << name;
  }

  ScratchFolder scratch_;
  Folder folder_;
};

// The moves that put a run's files in place, on every system: a rename replaces the file at its
// name whole, a second name (hard link) keeps the earlier file, and a removal takes a name only.
TEST_F(PlatformTest, RenameReplacesWholeAndALinkKeepsTheEarlierFile) {
  Make("HAPLOVEX.OUT", "earlier\n");
  Make(".HAPLOVEX.OUT.partial-1", "new and longer\n");
  ASSERT_EQ(Link(folder_, "HAPLOVEX.OUT", ".HAPLOVEX.OUT.previous-1"), 0);
  ASSERT_EQ(Rename(folder_, ".HAPLOVEX.OUT.partial-1", "HAPLOVEX.OUT"), 0);
  EXPECT_EQ(scratch_.Read("HAPLOVEX.OUT"), "new and longer\n");
  EXPECT_EQ(scratch_.Read(".HAPLOVEX.OUT.previous-1"), "earlier\n");
  EXPECT_FALSE(scratch_.Exists(".HAPLOVEX.OUT.partial-1"));
  ASSERT_EQ(Remove(folder_, ".HAPLOVEX.OUT.previous-1"), 0);
  EXPECT_EQ(Remove(folder_, ".HAPLOVEX.OUT.previous-1"), ENOENT);
  EXPECT_EQ(Rename(folder_, "missing", "HAPLOVEX.OUT"), ENOENT);
  EXPECT_EQ(scratch_.Read("HAPLOVEX.OUT"), "new and longer\n");
}

// What stands at a name, as the run asks: nothing, a file (its size, and the same file by two
// names), a folder; a name taken is not created again; a name beyond ASCII is a name as any.
TEST_F(PlatformTest, LookSaysWhatStandsAtAName) {
  Make("d.txt", "AB0\n");
  Make("gänse-été.txt", "A0A\n");
  ASSERT_EQ(Link(folder_, "d.txt", "same.txt"), 0);
  std::filesystem::create_directory(scratch_.path() / "sub");
  struct Case {
    const char* name;
    int error;
    FileFacts::Kind kind;
    uint64_t size;
  };
  const Case cases[] = {
      {"d.txt", 0, FileFacts::Kind::kRegular, 4},
      {"gänse-été.txt", 0, FileFacts::Kind::kRegular, 4},
      {"sub", 0, FileFacts::Kind::kFolder, 0},
      {"missing.txt", ENOENT, FileFacts::Kind::kOther, 0},
  };
  for (const Case& c : cases) {
    FileFacts facts;
    ASSERT_EQ(Look(folder_, c.name, false, facts), c.error) << c.name;
    if (c.error != 0) continue;
    EXPECT_EQ(facts.kind, c.kind) << c.name;
    if (c.kind == FileFacts::Kind::kRegular) {
      EXPECT_EQ(facts.size, c.size) << c.name;
    }
  }
  FileFacts one;
  FileFacts two;
  FileFacts other;
  ASSERT_EQ(Look(folder_, "d.txt", true, one), 0);
  ASSERT_EQ(Look(folder_, "same.txt", true, two), 0);
  ASSERT_EQ(Look(folder_, "gänse-été.txt", true, other), 0);
  EXPECT_TRUE(one.device == two.device && one.id == two.id) << "one file by two names";
  EXPECT_FALSE(one.device == other.device && one.id == other.id) << "two files";
  FileHandle file = kNoFile;
  EXPECT_EQ(CreateNew(folder_, "d.txt", file), EEXIST);
  std::vector<std::string> names = Names(folder_);
  for (const char* name : {"d.txt", "gänse-été.txt", "same.txt", "sub"}) {
    EXPECT_NE(std::find(names.begin(), names.end(), name), names.end()) << name;
  }
}

// The answers typed are rewritten from their start and cut; the records are read from any place
// by several readers, and from the start again.
TEST_F(PlatformTest, WritesAtAPlaceAndReadsFromAnyPlace) {
  FileHandle file = kNoFile;
  ASSERT_EQ(CreateNew(folder_, "answers", file), 0);
  ASSERT_EQ(WriteAllAt(file, 0, "d.txt\n2,3,1,1\nAB\n", 17), 0);
  ASSERT_EQ(WriteAllAt(file, 0, "d.txt\n2,3", 9), 0);
  ASSERT_EQ(Truncate(file, 9), 0);
  ASSERT_EQ(CloseFile(file), 0);
  EXPECT_EQ(scratch_.Read("answers"), "d.txt\n2,3");

  FileFacts facts;
  ASSERT_EQ(OpenToRead(folder_, "answers", file, facts), 0);
  EXPECT_EQ(facts.kind, FileFacts::Kind::kRegular);
  EXPECT_EQ(facts.size, 9u);
  char bytes[16] = {};
  int error = 0;
  EXPECT_EQ(ReadAt(file, 6, bytes, sizeof bytes, error), 3);
  EXPECT_EQ(std::string(bytes, 3), "2,3");
  EXPECT_EQ(Read(file, bytes, 4, error), 4);
  EXPECT_EQ(std::string(bytes, 4), "d.tx") << "ReadAt leaves the place where it was";
  EXPECT_EQ(Read(file, bytes, sizeof bytes, error), 5) << "fewer only at the end";
  ASSERT_EQ(SeekToStart(file), 0);
  EXPECT_EQ(Read(file, bytes, 1, error), 1);
  EXPECT_EQ(bytes[0], 'd');
  EXPECT_EQ(CloseFile(file), 0);
}

// One run converts in a folder at a time: while one holds it another is refused at once, and
// it is free again when released or closed.
TEST_F(PlatformTest, OneHolderOfTheFolderAtATime) {
  Folder other;
  ASSERT_EQ(OpenFolder(scratch_.path(), other), 0);
  ASSERT_TRUE(TryHoldFolder(folder_));
  EXPECT_TRUE(TryHoldFolder(folder_)) << "held already by this one";
  EXPECT_FALSE(TryHoldFolder(other));
  ReleaseFolder(folder_);
  EXPECT_TRUE(TryHoldFolder(other));
  EXPECT_FALSE(TryHoldFolder(folder_));
  CloseFolder(other);
  EXPECT_TRUE(TryHoldFolder(folder_));
  EXPECT_FALSE(ProcessGone(ProcessId()));
}

}  // namespace
}  // namespace haplovex::platform
