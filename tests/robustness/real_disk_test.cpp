// Real failing disks, where the test may mount a small file system of its own (as root on
// Linux): a disk that fills up in the middle of a batch, and a folder that cannot be written,
// for both conversions and the inputs each reads its own way.
// Where mounting is not allowed (most containers), the tests are skipped.
#include <gtest/gtest.h>

#if defined(__linux__)
#include <sys/mount.h>
#include <sys/statvfs.h>

#include <cerrno>
#include <cstring>
#include <map>
#include <set>
#include <string>

#include "tests/robustness/robustness_fixture.h"

namespace robustness {
namespace {

using platform::CFileException;

constexpr char kSize[] = "size=256k";

class RealDiskTest : public ConversionTest {
 protected:
  void SetUp() override {
    ConversionTest::SetUp();
    if (::mount("tmpfs", folder_.c_str(), "tmpfs", 0, kSize) != 0) {
      GTEST_SKIP() << "cannot mount a small file system here: " << std::strerror(errno);
    }
    mounted_ = true;
  }

  void TearDown() override {
    if (mounted_) ::umount2(folder_.c_str(), MNT_DETACH);
    ConversionTest::TearDown();
  }

  void Remount(unsigned long flags) {
    ASSERT_EQ(::mount("tmpfs", folder_.c_str(), "tmpfs", MS_REMOUNT | flags, kSize), 0)
        << std::strerror(errno);
  }

  uint64_t FreeBytes() const {
    struct statvfs info;
    if (::statvfs(folder_.c_str(), &info) != 0) return 0;
    return static_cast<uint64_t>(info.f_bavail) * info.f_frsize;
  }

  bool mounted_ = false;
};

TEST_P(RealDiskTest, DiskFillingUpStopsTheBatchAndKeepsTheOldOutputs) {
  const std::string small = InputBytes();
  const std::map<std::string, std::string> outputs = ConvertedOutputs(small);
  Clear();
  WriteFile(Input("a"), small);
  WriteFile(Input("c"), small);
  for (const char* name : {"b.mid", "b.mif", "c.mid", "c.mif"}) WriteFile(name, name);
  // b fits; its outputs do not fit beside it (a KMZ holds a larger document).
  std::string big = GetParam().file_of(KmlOfSize(FreeBytes() * 6 / 10));
  if (big.size() < FreeBytes() / 4) big = GetParam().file_of(KmlOfSize(FreeBytes() * 2));
  WriteFile(Input("b"), big);
  ASSERT_EQ(ReadBytes(Input("b")), big);
  const auto names = Names();

  const BatchResult result = RunBatch(Batch());
  EXPECT_EQ(result.exit_code, cli::kExitFileError);
  EXPECT_NE(NamedInError(result.err, CFileException::diskFull, {"b.mid", "b.mif"}), "")
      << result.err;
  EXPECT_EQ(ReadBytes("a.mif"), outputs.at("mif"));
  EXPECT_EQ(ReadBytes(Input("b")), big);
  for (const char* name : {"b.mid", "b.mif", "c.mid", "c.mif"}) EXPECT_EQ(ReadBytes(name), name);
  std::set<std::string> expected(names.begin(), names.end());
  expected.insert({"a.mid", "a.mif"});
  EXPECT_EQ(Names(), expected);

  // With room again, the same batch goes through.
  WriteFile(Input("b"), small);
  const BatchResult again = RunBatch(Batch());
  EXPECT_EQ(again.exit_code, cli::kExitSuccess) << again.err;
  for (const char* name : {"a.mif", "b.mif", "c.mif"}) {
    EXPECT_EQ(ReadBytes(name), outputs.at("mif")) << name;
  }
  EXPECT_EQ(Names().size(), 9u);
}

TEST_P(RealDiskTest, FolderThatCannotBeWrittenChangesNothing) {
  const std::map<std::string, std::string> outputs = ConvertedOutputs(InputBytes());
  Clear();
  for (const std::string& name : {Input("a"), Input("b")}) WriteFile(name, InputBytes());
  for (const char* name : {"a.mid", "a.mif"}) WriteFile(name, name);
  const auto before = Snapshot();
  Remount(MS_RDONLY);

  const BatchResult result = RunBatch({Input("a"), Input("b")});
  EXPECT_EQ(result.exit_code, cli::kExitFileError);
  EXPECT_EQ(result.err, ErrorLine(CFileException::accessDenied, "a.mid"));
  EXPECT_EQ(Snapshot(), before);

  Remount(0);
  const BatchResult again = RunBatch({Input("a"), Input("b")});
  EXPECT_EQ(again.exit_code, cli::kExitSuccess) << again.err;
  EXPECT_EQ(ReadBytes("b.mif"), outputs.at("mif"));
}

// The long lines would not fit on the small disk.
INSTANTIATE_TEST_SUITE_P(, RealDiskTest, ::testing::ValuesIn(SmallSubjects()), SubjectName);

}  // namespace
}  // namespace robustness
#endif
