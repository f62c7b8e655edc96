// File errors in the middle of a batch of three files, for both conversions and the inputs
// each reads its own way: every call of every file operation made while converting the second
// file fails once, in turn. Whatever fails, kml2mif must report the file and the failure, stop
// the batch, leave the second file's old outputs (both of them, also when the MIF fails after
// the MID is replaced) and every later file untouched, leave no temporary or backup file
// behind, and convert the same batch once the fault is gone. The same again where the file
// system has no hard links, as FAT32.
#include "platform/fault_injection.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "convert/first_line.h"
#include "convert/full.h"
#include "platform/file_exception.h"
#include "platform/stdio_file.h"
#include "testing/zip_builder.h"
#include "tests/robustness/robustness_fixture.h"

namespace robustness {
namespace {

namespace fault = platform::fault;
using Cause = platform::CFileException::Cause;
using platform::CFileException;
using Operation = fault::Operation;

class FaultInjectionTest : public ConversionTest {
 protected:
  // Arms `op` to fail after `calls` calls with the error of `cause`; in a test without hard
  // links every link fails as well.
  fault::ScopedFault Failing(Operation op, int calls, Cause cause) const {
    if (without_hard_links_) {
      fault::Arm(Operation::kLink, 0, fault::TypicalOsError(CFileException::accessDenied), -1);
    }
    return fault::ScopedFault(op, calls, fault::TypicalOsError(cause));
  }

  // The number of calls of `op` that converting the subject's input makes.
  int CallsPerConversion(Operation op) {
    const std::string bytes = InputBytes();
    for (int calls = 0; calls < 1000; ++calls) {
      Clear();
      WriteFile(Input("count"), bytes);
      const fault::ScopedFault failing = Failing(op, calls, CFileException::hardIO);
      try {
        const platform::CString path(PathOf(Input("count")));
        if (full_conversion_) {
          convert::FullOptions options;
          options.system = system_;
          options.source = source_;
          convert::ConvertFull(path, options);
        } else {
          convert::ConvertFile(path);
        }
        return calls;
      } catch (const CFileException&) {
      }
    }
    ADD_FAILURE() << "no end to the calls";
    return 0;
  }

  // The state after a failure while converting b: a converted, b and c as they were.
  void ExpectStoppedAtB(const std::map<std::string, std::string>& outputs) {
    std::map<std::string, std::string> expected;
    for (const std::string stem : {"a", "b", "c"}) {
      expected[Input(stem)] = InputBytes();
      expected[stem + ".mid"] = "old mid of " + stem;
      expected[stem + ".mif"] = "old mif of " + stem;
    }
    expected["a.mid"] = outputs.at("mid");
    expected["a.mif"] = outputs.at("mif");
    const std::map<std::string, std::string> actual = Snapshot();
    EXPECT_EQ(actual.size(), expected.size()) << "a temporary file stayed behind, or one is gone";
    for (const auto& [name, bytes] : expected) {
      const auto found = actual.find(name);
      if (found == actual.end()) {
        ADD_FAILURE() << name << " is gone";
      } else if (found->second != bytes) {
        ADD_FAILURE() << name << " changed (" << found->second.size() << " bytes, expected "
                      << bytes.size() << ")";
      }
    }
    for (const auto& [name, bytes] : actual) {
      EXPECT_TRUE(expected.count(name) != 0) << name << " stayed behind";
    }
  }

  // Makes every call of every operation of kFaults fail in turn while converting b of a
  // batch, and checks what each failure leaves. Gives the calls that one conversion makes, by
  // operation.
  std::map<Operation, int> FailEveryCallInTurn();

  void ExpectWholeBatchConverts(const std::map<std::string, std::string>& outputs) {
    PrepareBatch();
    const BatchResult result = RunBatch(Batch());
    EXPECT_EQ(result.exit_code, cli::kExitSuccess) << result.err;
    for (const std::string stem : {"a", "b", "c"}) {
      EXPECT_EQ(ReadBytes(stem + ".mid"), outputs.at("mid")) << stem;
      EXPECT_EQ(ReadBytes(stem + ".mif"), outputs.at("mif")) << stem;
    }
    EXPECT_EQ(Names().size(), 9u);
  }

  bool without_hard_links_ = false;
};

struct FaultRow {
  Operation operation;
  const char* what;
  Cause cause;  // the cause the OS error gives
};

const FaultRow kFaults[] = {
    {Operation::kOpen, "open", CFileException::accessDenied},
    {Operation::kRead, "read", CFileException::hardIO},
    {Operation::kWrite, "write", CFileException::diskFull},
    {Operation::kSeek, "seek", CFileException::badSeek},
    {Operation::kFlush, "flush", CFileException::diskFull},
    {Operation::kClose, "close", CFileException::hardIO},
    {Operation::kRename, "rename", CFileException::accessDenied},
    {Operation::kHold, "hold check", CFileException::sharingViolation},
    {Operation::kAllocate, "allocate", CFileException::outOfMemory},
};

std::map<Operation, int> FaultInjectionTest::FailEveryCallInTurn() {
  const std::map<std::string, std::string> outputs = ConvertedOutputs(InputBytes());
  std::map<Operation, int> calls_by_operation;
  std::string summary;
  for (const FaultRow& row : kFaults) {
    const int calls = CallsPerConversion(row.operation);
    calls_by_operation[row.operation] = calls;
    summary.append(" ").append(row.what).append(" ").append(std::to_string(calls));
    for (int call = 0; call < calls; ++call) {
      SCOPED_TRACE(std::string(row.what) + " call " + std::to_string(call + 1) + " of " +
                   std::to_string(calls));
      PrepareBatch();
      BatchResult result;
      {
        // The calls of converting a succeed, then call number `call` of b fails.
        const fault::ScopedFault failing = Failing(row.operation, calls + call, row.cause);
        result = RunBatch(Batch());
      }
      EXPECT_EQ(result.exit_code, cli::kExitFileError);
      EXPECT_NE(NamedInError(result.err, row.cause, {Input("b"), "b.mid", "b.mif"}), "")
          << result.err;
      ExpectStoppedAtB(outputs);
    }
  }
  std::printf("faults injected, by operation:%s\n", summary.c_str());
  ExpectWholeBatchConverts(outputs);
  return calls_by_operation;
}

TEST_P(FaultInjectionTest, EveryFailingCall) {
  const std::map<Operation, int> calls = FailEveryCallInTurn();
  int injected = 0;
  for (const auto& [operation, count] : calls) injected += count;
  EXPECT_GE(injected, 10);
  EXPECT_EQ(calls.at(Operation::kRename), 2);  // MID then MIF
  EXPECT_EQ(calls.at(Operation::kHold), 4);    // each output when created and when replaced
  // A long line takes several reads and writes.
  if (GetParam().document.size() > (1 << 20)) {
    EXPECT_GT(calls.at(Operation::kRead), 1);
    EXPECT_GT(calls.at(Operation::kWrite), 1);
    // The first-line conversion's second pass goes back past the read buffer.
    if (!GetParam().full) {
      EXPECT_GT(calls.at(Operation::kSeek), 0);
    }
  }
}

// Where there are no hard links, each old output is renamed aside before the new one takes
// its name: twice the renames. The same for whatever input: one of each conversion.
class WithoutHardLinksTest : public FaultInjectionTest {};

TEST_P(WithoutHardLinksTest, EveryFailingCall) {
  without_hard_links_ = true;
  EXPECT_EQ(FailEveryCallInTurn().at(Operation::kRename), 4);
}

// With --keep-going the failing file is reported and the batch goes on; the failing file's
// outputs still keep their old content.
TEST_P(FaultInjectionTest, KeepGoingConvertsTheOthers) {
  const std::map<std::string, std::string> outputs = ConvertedOutputs(InputBytes());
  const int writes = CallsPerConversion(Operation::kWrite);
  PrepareBatch();
  BatchResult result;
  {
    fault::ScopedFault failing(Operation::kWrite, writes,
                               fault::TypicalOsError(CFileException::diskFull));
    result = RunBatch(Batch(), /*keep_going=*/true);
  }
  EXPECT_EQ(result.exit_code, cli::kExitFileError);
  EXPECT_NE(NamedInError(result.err, CFileException::diskFull, {"b.mid", "b.mif"}), "")
      << result.err;
  EXPECT_EQ(ReadBytes("a.mif"), outputs.at("mif"));
  EXPECT_EQ(ReadBytes("b.mid"), "old mid of b");
  EXPECT_EQ(ReadBytes("b.mif"), "old mif of b");
  EXPECT_EQ(ReadBytes("c.mif"), outputs.at("mif"));
  EXPECT_EQ(ReadBytes("c.mid"), outputs.at("mid"));
  EXPECT_EQ(Names().size(), 9u);
}

// Between two files of a batch, the next input goes away, is held by another program, or
// becomes a folder; or an output of the next file is held by another program.
TEST_P(FaultInjectionTest, NextFileChangesBetweenTwoFiles) {
  const std::map<std::string, std::string> outputs = ConvertedOutputs(InputBytes());
  struct Row {
    const char* what;
    std::string changed;  // the file that changes, and that the error names
    std::function<void(FaultInjectionTest*, std::unique_ptr<platform::CStdioFile>*)> change;
    Cause cause;
    bool input_kept;
  };
  const auto hold = [](FaultInjectionTest* test, std::unique_ptr<platform::CStdioFile>* holder,
                       const std::string& name) {
    *holder = std::make_unique<platform::CStdioFile>(platform::CString(test->PathOf(name)),
                                                     platform::CFile::modeRead);
  };
  const std::string b = Input("b");
  const Row rows[] = {
      {"input removed", b, [b](FaultInjectionTest* test, auto*) { test->Remove(b); },
       CFileException::fileNotFound, false},
      {"input held by another program", b,
       [&](FaultInjectionTest* test, auto* holder) { hold(test, holder, b); },
       CFileException::sharingViolation, true},
      {"input replaced by a folder", b,
       [b](FaultInjectionTest* test, auto*) {
         test->Remove(b);
         std::filesystem::create_directory(test->folder_ / b);
       },
       CFileException::isDirectory, false},
      {"MIF output held by another program", "b.mif",
       [&](FaultInjectionTest* test, auto* holder) { hold(test, holder, "b.mif"); },
       CFileException::sharingViolation, true},
      {"MID output held by another program", "b.mid",
       [&](FaultInjectionTest* test, auto* holder) { hold(test, holder, "b.mid"); },
       CFileException::sharingViolation, true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    PrepareBatch();
    std::unique_ptr<platform::CStdioFile> holder;
    const BatchResult result = RunBatch(Batch(), false, [&](size_t converted) {
      if (converted == 0) row.change(this, &holder);
    });
    holder.reset();
    EXPECT_EQ(result.exit_code, cli::kExitFileError);
    EXPECT_EQ(result.err, ErrorLine(row.cause, row.changed));
    if (row.input_kept) {
      ExpectStoppedAtB(outputs);
    } else {
      EXPECT_EQ(ReadBytes("b.mid"), "old mid of b");
      EXPECT_EQ(ReadBytes("b.mif"), "old mif of b");
      EXPECT_EQ(ReadBytes("c.mid"), "old mid of c");
      EXPECT_EQ(ReadBytes("c.mif"), "old mif of c");
      std::set<std::string> names = {Input("a"), "a.mid",    "a.mif", "b.mid",
                                     "b.mif",    Input("c"), "c.mid", "c.mif"};
      if (Exists(b)) names.insert(b);  // the folder
      EXPECT_EQ(Names(), names);
    }
  }
  ExpectWholeBatchConverts(outputs);
}

INSTANTIATE_TEST_SUITE_P(, FaultInjectionTest, ::testing::ValuesIn(Subjects()), SubjectName);
INSTANTIATE_TEST_SUITE_P(, WithoutHardLinksTest,
                         ::testing::ValuesIn(SubjectsNamed({"FirstLine", "Full"})), SubjectName);

}  // namespace
}  // namespace robustness
