// Real failing disks, where the test may mount a small file system of its own (as root on
// Linux): a disk that fills up in the middle of a batch, and a folder that cannot be written.
// Where mounting is not allowed (most containers), the tests are skipped.
#include <gtest/gtest.h>

#if defined(__linux__)
#include <sys/mount.h>
#include <sys/statvfs.h>

#include <cerrno>
#include <cstring>
#include <set>
#include <string>

#include "tests/robustness/robustness_fixture.h"

namespace robustness {
namespace {

using platform::CFileException;

constexpr char kSize[] = "size=256k";

class RealDiskTest : public RobustnessTest {
 protected:
  void SetUp() override {
    RobustnessTest::SetUp();
    if (::mount("tmpfs", folder_.c_str(), "tmpfs", 0, kSize) != 0) {
      GTEST_SKIP() << "cannot mount a small file system here: " << std::strerror(errno);
    }
    mounted_ = true;
  }

  void TearDown() override {
    if (mounted_) ::umount2(folder_.c_str(), MNT_DETACH);
    RobustnessTest::TearDown();
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

  // A KML file of about `size` bytes whose outputs take about as much again.
  static std::string KmlOfSize(uint64_t size) {
    std::string tuples;
    for (int i = 0; tuples.size() + 64 < size; ++i) {
      tuples += "116." + std::to_string(100000 + i) + ",39.907,0 ";
    }
    return "<coordinates>\n" + tuples + "\n</coordinates>\n";
  }

  bool mounted_ = false;
};

TEST_F(RealDiskTest, DiskFillingUpStopsTheBatchAndKeepsTheOldOutputs) {
  WriteFile("a.kml", kKml);
  WriteFile("c.kml", kKml);
  for (const char* name : {"b.mid", "b.mif", "c.mid", "c.mif"}) WriteFile(name, name);
  // b.kml fits; its outputs do not fit beside it.
  const std::string big = KmlOfSize(FreeBytes() * 6 / 10);
  WriteFile("b.kml", big);
  ASSERT_EQ(ReadBytes("b.kml"), big);

  const BatchResult result = RunBatch({"a.kml", "b.kml", "c.kml"});
  EXPECT_EQ(result.exit_code, cli::kExitFileError);
  EXPECT_NE(NamedInError(result.err, CFileException::diskFull, {"b.mid", "b.mif"}), "")
      << result.err;
  EXPECT_EQ(ReadBytes("a.mif"), kMif);
  EXPECT_EQ(ReadBytes("b.kml"), big);
  for (const char* name : {"b.mid", "b.mif", "c.mid", "c.mif"}) EXPECT_EQ(ReadBytes(name), name);
  EXPECT_EQ(Names(), (std::set<std::string>{"a.kml", "a.mid", "a.mif", "b.kml", "b.mid", "b.mif",
                                            "c.kml", "c.mid", "c.mif"}));

  // With room again, the same batch goes through.
  WriteFile("b.kml", kKml);
  const BatchResult again = RunBatch({"a.kml", "b.kml", "c.kml"});
  EXPECT_EQ(again.exit_code, cli::kExitSuccess) << again.err;
  for (const char* name : {"a.mif", "b.mif", "c.mif"}) EXPECT_EQ(ReadBytes(name), kMif) << name;
  EXPECT_EQ(Names().size(), 9u);
}

TEST_F(RealDiskTest, FolderThatCannotBeWrittenChangesNothing) {
  for (const char* name : {"a.kml", "b.kml"}) WriteFile(name, kKml);
  for (const char* name : {"a.mid", "a.mif"}) WriteFile(name, name);
  const auto before = Snapshot();
  Remount(MS_RDONLY);

  const BatchResult result = RunBatch({"a.kml", "b.kml"});
  EXPECT_EQ(result.exit_code, cli::kExitFileError);
  EXPECT_EQ(result.err, ErrorLine(CFileException::accessDenied, "a.mid"));
  EXPECT_EQ(Snapshot(), before);

  Remount(0);
  const BatchResult again = RunBatch({"a.kml", "b.kml"});
  EXPECT_EQ(again.exit_code, cli::kExitSuccess) << again.err;
  EXPECT_EQ(ReadBytes("b.mif"), kMif);
}

}  // namespace
}  // namespace robustness
#endif
