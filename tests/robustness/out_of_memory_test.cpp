// Running out of memory in the middle of a batch: this program replaces the global allocation
// functions, so that any one allocation made while converting a file can be made to fail.
// Whichever it is, kml2mif must report the file and the lack of memory, keep the outputs whole
// (both old or both new, never half-written), leave no temporary or backup file, and stop the
// batch.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <new>
#include <string>
#include <vector>

#include "platform/file_exception.h"
#include "testing/zip_builder.h"
#include "tests/robustness/robustness_fixture.h"

namespace {

// Allocations still to succeed before one fails; negative: none fails.
std::atomic<long> g_allocations_before_failure{-1};
// Every allocation of at least this many bytes fails (0: none).
std::atomic<size_t> g_failing_size{0};
std::atomic<long> g_allocations{0};

void* Allocate(std::size_t size) {
  g_allocations.fetch_add(1, std::memory_order_relaxed);
  const size_t failing_size = g_failing_size.load(std::memory_order_relaxed);
  if (failing_size != 0 && size >= failing_size) throw std::bad_alloc();
  long left = g_allocations_before_failure.load(std::memory_order_relaxed);
  while (left >= 0 && !g_allocations_before_failure.compare_exchange_weak(left, left - 1)) {
  }
  if (left == 0) throw std::bad_alloc();
  if (void* memory = std::malloc(size == 0 ? 1 : size)) return memory;
  throw std::bad_alloc();
}

void* AllocateOrNull(std::size_t size) noexcept {
  try {
    return Allocate(size);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

}  // namespace

void* operator new(std::size_t size) { return Allocate(size); }
void* operator new[](std::size_t size) { return Allocate(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  return AllocateOrNull(size);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
  return AllocateOrNull(size);
}
void operator delete(void* memory) noexcept { std::free(memory); }
void operator delete[](void* memory) noexcept { std::free(memory); }
void operator delete(void* memory, std::size_t) noexcept { std::free(memory); }
void operator delete[](void* memory, std::size_t) noexcept { std::free(memory); }
void operator delete(void* memory, const std::nothrow_t&) noexcept { std::free(memory); }
void operator delete[](void* memory, const std::nothrow_t&) noexcept { std::free(memory); }

namespace robustness {
namespace {

using platform::CFileException;

class OutOfMemoryTest : public RobustnessTest {
 protected:
  void TearDown() override {
    Disarm();
    RobustnessTest::TearDown();
  }

  static void Disarm() {
    g_allocations_before_failure = -1;
    g_failing_size = 0;
  }

  // Makes every allocation of converting b.kml, the second of three files, fail in turn, and
  // checks that the error names b and that no output is left half new.
  void FailEveryAllocationInTurn(const std::string& kml = kKml);
};

void OutOfMemoryTest::FailEveryAllocationInTurn(const std::string& kml) {
  // The outputs of a clean batch.
  PrepareBatch(kml);
  ASSERT_EQ(RunBatch({"a.kml"}).exit_code, cli::kExitSuccess);
  const std::string mif = ReadBytes("a.mif");
  const std::string mid = ReadBytes("a.mid");
  // How many allocations converting and reporting b.kml makes.
  PrepareBatch(kml);
  long at_start = 0;
  long allocations = 0;
  RunBatch({"a.kml", "b.kml"}, false, [&](size_t converted) {
    if (converted == 0) at_start = g_allocations.load();
    if (converted == 1) allocations = g_allocations.load() - at_start;
  });
  ASSERT_GT(allocations, 5);

  int stopped_before_replacing = 0;
  for (long failing = 0; failing < allocations; ++failing) {
    SCOPED_TRACE("allocation " + std::to_string(failing + 1) + " of " +
                 std::to_string(allocations));
    PrepareBatch(kml);
    const BatchResult result = RunBatch({"a.kml", "b.kml", "c.kml"}, false, [&](size_t converted) {
      if (converted == 0) g_allocations_before_failure = failing;
    });
    Disarm();
    if (result.exit_code == cli::kExitSuccess) {
      // The failing allocation was one that only helps (putting the folder on the disk): the
      // whole batch went through.
      EXPECT_EQ(result.err, "");
      for (const char* name : {"a.mif", "b.mif", "c.mif"}) EXPECT_EQ(ReadBytes(name), mif);
      EXPECT_EQ(Names().size(), 9u);
      continue;
    }
    EXPECT_EQ(result.exit_code, cli::kExitFileError);
    EXPECT_NE(NamedInError(result.err, CFileException::outOfMemory, {"b.kml", "b.mid", "b.mif"}),
              "")
        << result.err;
    // The report of a converted file may be what failed: then b is converted all the same.
    // Never is one output new beside the other old.
    const bool replaced = ReadBytes("b.mif") == mif;
    EXPECT_EQ(ReadBytes("b.mid"), replaced ? mid : "old mid of b");
    if (!replaced) {
      EXPECT_EQ(ReadBytes("b.mif"), "old mif of b");
      ++stopped_before_replacing;
    }
    EXPECT_EQ(ReadBytes("a.mif"), mif);
    EXPECT_EQ(ReadBytes("c.mid"), "old mid of c");
    EXPECT_EQ(ReadBytes("c.mif"), "old mif of c");
    EXPECT_EQ(Names().size(), 9u) << "a temporary or backup file stayed behind";
  }
  EXPECT_GT(stopped_before_replacing, 0);
  std::printf("%ld allocations failed in turn; %d of them stopped b.kml before its outputs\n",
              allocations, stopped_before_replacing);

  PrepareBatch(kml);
  EXPECT_EQ(RunBatch({"a.kml", "b.kml", "c.kml"}).exit_code, cli::kExitSuccess);
  EXPECT_EQ(ReadBytes("c.mif"), mif);
}

TEST_F(OutOfMemoryTest, AnyAllocationFailingWhileConvertingAFile) { FailEveryAllocationInTurn(); }

TEST_F(OutOfMemoryTest, AnyAllocationFailingInTheFullConversion) {
  full_conversion_ = true;
  FailEveryAllocationInTurn();
  // A KMZ whose document is read while the one linking to it waits.
  FailEveryAllocationInTurn(test_support::BuildZip(
      {{"doc.kml",
        "<kml><Document><NetworkLink><name>n</name><Link><href>layers/a.kml</href>"
        "</Link></NetworkLink></Document></kml>"},
       {"layers/a.kml", kKml}}));
}

// Large blocks are the first to fail when memory runs short: the file buffers.
TEST_F(OutOfMemoryTest, NoRoomForTheFileBuffers) {
  PrepareBatch(kKml);
  const auto before = Snapshot();
  g_failing_size = 256 * 1024;
  const BatchResult result = RunBatch({"a.kml", "b.kml"});
  Disarm();
  EXPECT_EQ(result.exit_code, cli::kExitFileError);
  EXPECT_EQ(result.err, ErrorLine(CFileException::outOfMemory, "a.kml"));
  EXPECT_EQ(Snapshot(), before);
}

}  // namespace
}  // namespace robustness
