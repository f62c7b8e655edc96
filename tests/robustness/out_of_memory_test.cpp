// Running out of memory in the middle of a batch, for both conversions and the inputs each
// reads its own way: this program replaces the global allocation functions, so that any one
// allocation made while converting a file can be made to fail.
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

class OutOfMemoryTest : public ConversionTest {
 protected:
  void TearDown() override {
    Disarm();
    ConversionTest::TearDown();
  }

  static void Disarm() {
    g_allocations_before_failure = -1;
    g_failing_size = 0;
  }
};

// Every allocation of converting b, the second of three files, fails in turn: the error names b
// and no output is left half new.
TEST_P(OutOfMemoryTest, AnyAllocationFailing) {
  const std::map<std::string, std::string> outputs = ConvertedOutputs(InputBytes());
  const std::string& mif = outputs.at("mif");
  const std::string& mid = outputs.at("mid");
  // How many allocations converting and reporting b makes.
  PrepareBatch();
  long at_start = 0;
  long allocations = 0;
  RunBatch({Input("a"), Input("b")}, false, [&](size_t converted) {
    if (converted == 0) at_start = g_allocations.load();
    if (converted == 1) allocations = g_allocations.load() - at_start;
  });
  ASSERT_GT(allocations, 5);

  int stopped_before_replacing = 0;
  for (long failing = 0; failing < allocations; ++failing) {
    SCOPED_TRACE("allocation " + std::to_string(failing + 1) + " of " +
                 std::to_string(allocations));
    PrepareBatch();
    const BatchResult result = RunBatch(Batch(), false, [&](size_t converted) {
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
    EXPECT_NE(NamedInError(result.err, CFileException::outOfMemory, {Input("b"), "b.mid", "b.mif"}),
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
    EXPECT_EQ(ReadBytes(Input("b")), InputBytes());
    EXPECT_EQ(ReadBytes("c.mid"), "old mid of c");
    EXPECT_EQ(ReadBytes("c.mif"), "old mif of c");
    EXPECT_EQ(Names().size(), 9u) << "a temporary or backup file stayed behind";
  }
  EXPECT_GT(stopped_before_replacing, 0);
  std::printf("%ld allocations failed in turn; %d of them stopped b before its outputs\n",
              allocations, stopped_before_replacing);

  PrepareBatch();
  EXPECT_EQ(RunBatch(Batch()).exit_code, cli::kExitSuccess);
  EXPECT_EQ(ReadBytes("c.mif"), mif);
}

// Large blocks are the first to fail when memory runs short: the file buffers.
TEST_P(OutOfMemoryTest, NoRoomForTheFileBuffers) {
  PrepareBatch();
  const auto before = Snapshot();
  g_failing_size = 256 * 1024;
  const BatchResult result = RunBatch({Input("a"), Input("b")});
  Disarm();
  EXPECT_EQ(result.exit_code, cli::kExitFileError);
  EXPECT_EQ(result.err, ErrorLine(CFileException::outOfMemory, Input("a")));
  EXPECT_EQ(Snapshot(), before);
}

// The long lines are left out: their allocations are those of the short inputs (fewer than the
// styled document's), and sweeping them takes long.
INSTANTIATE_TEST_SUITE_P(, OutOfMemoryTest, ::testing::ValuesIn(SmallSubjects()), SubjectName);

}  // namespace
}  // namespace robustness
