#include "platform/spill_file.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "platform/fault_injection.h"

namespace platform {
namespace {

constexpr size_t kMiB = size_t{1} << 20;
const CString kOutput("/maps/route.mif");

// Bytes that differ at every offset, so that a block read from the wrong place shows.
std::string Pattern(size_t size, unsigned seed) {
  std::string bytes(size, '\0');
  uint32_t state = seed * 2654435761u + 1;
  for (char& byte : bytes) {
    state = state * 1103515245u + 12345u;
    byte = static_cast<char>(state >> 24);
  }
  return bytes;
}

std::string ReadAll(CSpillFile& spill, uint64_t offset, size_t piece) {
  spill.Seek(offset);
  std::string bytes;
  std::vector<char> buffer(piece);
  while (const size_t got = spill.Read(buffer.data(), buffer.size()))
    bytes.append(buffer.data(), got);
  return bytes;
}

class SpillFileTest : public ::testing::Test {
 protected:
  void TearDown() override { fault::DisarmAll(); }
};

TEST_F(SpillFileTest, RoundTripAcrossTheMemoryLimit) {
  struct Row {
    size_t memory_limit;
    size_t total;
    size_t write_piece;
    size_t read_piece;
  };
  const Row rows[] = {
      {16, 0, 1, 1},                             // nothing written
      {16, 16, 5, 3},                            // exactly the limit: stays in memory
      {16, 17, 5, 3},                            // one byte over
      {0, 10, 1, 4},                             // no memory at all
      {4096, 3 * kMiB + 7, 1000, 777},           // many blocks through the buffer
      {4096, 3 * kMiB + 7, kMiB + 3, 2 * kMiB},  // writes and reads larger than a block
      {4 * kMiB, 4 * kMiB - 1, 65536, 65536},    // just below a large limit
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(testing::Message() << "limit " << row.memory_limit << " total " << row.total
                                    << " pieces " << row.write_piece << "/" << row.read_piece);
    const std::string data = Pattern(row.total, static_cast<unsigned>(row.total));
    CSpillFile spill(kOutput, row.memory_limit);
    for (size_t at = 0; at < data.size(); at += row.write_piece) {
      spill.Write(std::string_view(data).substr(at, row.write_piece));
    }
    EXPECT_EQ(spill.size(), row.total);
    EXPECT_TRUE(ReadAll(spill, 0, row.read_piece) == data);
    // Backwards, then ahead again: every seek lands on the right byte.
    for (uint64_t offset : {row.total / 2, row.total / 3, row.total * 3 / 4, uint64_t{0}}) {
      if (offset >= row.total) continue;
      EXPECT_TRUE(ReadAll(spill, offset, row.read_piece) == data.substr(offset)) << offset;
    }
  }
}

TEST_F(SpillFileTest, ShortSeeksAheadWithinABlock) {
  const std::string data = Pattern(2 * kMiB, 7);
  CSpillFile spill(kOutput, 0);
  spill.Write(data);
  char record[10];
  for (uint64_t offset = 5; offset + sizeof record < data.size(); offset += 99991) {
    spill.Seek(offset);
    ASSERT_EQ(spill.Read(record, sizeof record), sizeof record);
    EXPECT_EQ(std::string_view(record, sizeof record), data.substr(offset, sizeof record));
  }
}

TEST_F(SpillFileTest, FailuresNameTheOutput) {
  using fault::Operation;
  struct Row {
    Operation op;
    CFileException::Cause given;
    size_t memory_limit;
    CFileException::Cause expected;
  };
  const Row rows[] = {
      {Operation::kWrite, CFileException::diskFull, 0, CFileException::diskFull},
      {Operation::kWrite, CFileException::diskFull, 100, CFileException::diskFull},
      {Operation::kWrite, CFileException::hardIO, 0, CFileException::hardIO},
      {Operation::kOpen, CFileException::accessDenied, 100, CFileException::accessDenied},
      {Operation::kAllocate, CFileException::outOfMemory, 100, CFileException::outOfMemory},
      {Operation::kRead, CFileException::hardIO, 0, CFileException::hardIO},
      {Operation::kSeek, CFileException::badSeek, 0, CFileException::badSeek},
  };
  const std::string data = Pattern(3 * kMiB, 3);
  for (const Row& row : rows) {
    SCOPED_TRACE(testing::Message() << "operation " << static_cast<int>(row.op));
    try {
      fault::ScopedFault fault(row.op, 0, fault::TypicalOsError(row.given));
      CSpillFile spill(kOutput, row.memory_limit);
      spill.Write(data);
      // Ahead and back, so that a read and a seek of the file are made.
      ReadAll(spill, kMiB / 2, 100);
      ReadAll(spill, 0, 100);
      ADD_FAILURE() << "no error";
    } catch (const CFileException& error) {
      EXPECT_EQ(error.m_cause, row.expected);
      EXPECT_EQ(error.m_strFileName, kOutput);
      EXPECT_NE(error.GetErrorMessage().Find("route.mif"), -1);
    }
  }
}

}  // namespace
}  // namespace platform
