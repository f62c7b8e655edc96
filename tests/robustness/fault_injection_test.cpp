// File errors in the middle of a batch of three files: every call of every file operation made
// while converting the second file fails once, in turn. Whatever fails, kml2mif must report the
// file and the failure, stop the batch, leave the second file's old outputs (both of them, also
// when the MIF fails after the MID is replaced) and every later file untouched, leave no
// temporary or backup file behind, and convert the same batch once the fault is gone. The same
// again where the file system has no hard links, as FAT32.
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

const std::vector<std::string> kBatch = {"a.kml", "b.kml", "c.kml"};

// A coordinate line longer than the read and write buffers, so that reading, seeking back
// and writing each take several calls.
std::string LongKml() {
  std::string tuples;
  tuples.reserve(1600000);
  for (int i = 0; tuples.size() < 1500000; ++i) {
    tuples += "116." + std::to_string(100000 + i) + ",39.907,0 ";
  }
  return "<kml>\n<coordinates>\n" + tuples + "\n</coordinates>\n</kml>\n";
}

class FaultInjectionTest : public RobustnessTest {
 protected:
  // Arms `op` to fail after `calls` calls with the error of `cause`; in a test without hard
  // links every link fails as well.
  fault::ScopedFault Failing(Operation op, int calls, Cause cause) const {
    if (without_hard_links_) {
      fault::Arm(Operation::kLink, 0, fault::TypicalOsError(CFileException::accessDenied), -1);
    }
    return fault::ScopedFault(op, calls, fault::TypicalOsError(cause));
  }

  // The number of calls of `op` that converting one file of `kml` makes.
  int CallsPerConversion(Operation op, const std::string& kml) {
    for (int calls = 0; calls < 1000; ++calls) {
      Clear();
      WriteFile("count.kml", kml);
      const fault::ScopedFault failing = Failing(op, calls, CFileException::hardIO);
      try {
        const platform::CString path(PathOf("count.kml"));
        if (full_conversion_) {
          convert::ConvertFull(path, convert::FullOptions());
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

  // The outputs of a clean conversion of `kml`.
  std::map<std::string, std::string> ConvertedOutputs(const std::string& kml) {
    Clear();
    WriteFile("x.kml", kml);
    EXPECT_EQ(RunBatch({"x.kml"}).exit_code, cli::kExitSuccess);
    return {{"mid", ReadBytes("x.mid")}, {"mif", ReadBytes("x.mif")}};
  }

  // The state after a failure while converting b.kml: a converted, b and c as they were.
  void ExpectStoppedAtB(const std::string& kml, const std::map<std::string, std::string>& outputs) {
    std::map<std::string, std::string> expected;
    for (const char* stem : {"a", "b", "c"}) {
      expected[std::string(stem) + ".kml"] = kml;
      expected[std::string(stem) + ".mid"] = std::string("old mid of ") + stem;
      expected[std::string(stem) + ".mif"] = std::string("old mif of ") + stem;
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

  // Makes every call of every operation of kFaults fail in turn while converting b.kml of a
  // batch, and checks what each failure leaves. Gives the calls that one conversion makes, by
  // operation.
  std::map<Operation, int> FailEveryCallInTurn(const std::string& kml);

  void ExpectWholeBatchConverts(const std::string& kml,
                                const std::map<std::string, std::string>& outputs) {
    PrepareBatch(kml);
    const BatchResult result = RunBatch(kBatch);
    EXPECT_EQ(result.exit_code, cli::kExitSuccess) << result.err;
    for (const char* stem : {"a", "b", "c"}) {
      EXPECT_EQ(ReadBytes(std::string(stem) + ".mid"), outputs.at("mid")) << stem;
      EXPECT_EQ(ReadBytes(std::string(stem) + ".mif"), outputs.at("mif")) << stem;
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

std::map<Operation, int> FaultInjectionTest::FailEveryCallInTurn(const std::string& kml) {
  const std::map<std::string, std::string> outputs = ConvertedOutputs(kml);
  std::map<Operation, int> calls_by_operation;
  std::string summary;
  for (const FaultRow& row : kFaults) {
    const int calls = CallsPerConversion(row.operation, kml);
    calls_by_operation[row.operation] = calls;
    summary.append(" ").append(row.what).append(" ").append(std::to_string(calls));
    for (int call = 0; call < calls; ++call) {
      SCOPED_TRACE(std::string(row.what) + " call " + std::to_string(call + 1) + " of " +
                   std::to_string(calls));
      PrepareBatch(kml);
      BatchResult result;
      {
        // The calls of converting a.kml succeed, then call number `call` of b.kml fails.
        const fault::ScopedFault failing = Failing(row.operation, calls + call, row.cause);
        result = RunBatch(kBatch);
      }
      EXPECT_EQ(result.exit_code, cli::kExitFileError);
      EXPECT_NE(NamedInError(result.err, row.cause, {"b.kml", "b.mid", "b.mif"}), "") << result.err;
      ExpectStoppedAtB(kml, outputs);
    }
  }
  std::printf("faults injected, by operation:%s\n", summary.c_str());
  ExpectWholeBatchConverts(kml, outputs);
  return calls_by_operation;
}

TEST_F(FaultInjectionTest, EveryFailingCallWhileConvertingAShortFile) {
  ASSERT_EQ(ConvertedOutputs(kKml).at("mif"), kMif);
  const std::map<Operation, int> calls = FailEveryCallInTurn(kKml);
  int injected = 0;
  for (const auto& [operation, count] : calls) injected += count;
  EXPECT_GE(injected, 10);
  EXPECT_EQ(calls.at(Operation::kRename), 2);  // MID then MIF
  EXPECT_EQ(calls.at(Operation::kHold), 4);    // each output when created and when replaced
}

// The full conversion leaves the same guarantees, with and without hard links: a document with
// every kind of object, a style and attributes, and one whose line needs many reads.
TEST_F(FaultInjectionTest, EveryFailingCallInTheFullConversion) {
  full_conversion_ = true;
  const std::string kml =
      "<kml><Document><Style id='s'><LineStyle><width>2</width></LineStyle></Style>"
      "<Folder><name>f</name><Placemark><name>p</name><styleUrl>#s</styleUrl>"
      "<ExtendedData><Data name='n'><value>1</value></Data></ExtendedData>"
      "<MultiGeometry><Point><coordinates>1,2</coordinates></Point><LineString><coordinates>"
      "1,2 3,4</coordinates></LineString></MultiGeometry></Placemark></Folder>"
      "<Placemark><Polygon><outerBoundaryIs><LinearRing><coordinates>0,0 1,0 1,1 0,0"
      "</coordinates></LinearRing></outerBoundaryIs></Polygon></Placemark></Document></kml>";
  const std::map<Operation, int> calls = FailEveryCallInTurn(kml);
  EXPECT_EQ(calls.at(Operation::kRename), 2);
  without_hard_links_ = true;
  EXPECT_EQ(FailEveryCallInTurn(kKml).at(Operation::kRename), 4);
  without_hard_links_ = false;
  const std::string long_line = LongKml();
  const std::string coordinates = long_line.substr(long_line.find("<coordinates>"));
  EXPECT_GT(FailEveryCallInTurn("<kml><Placemark><LineString>" +
                                coordinates.substr(0, coordinates.find("</kml>")) +
                                "</LineString></Placemark></kml>")
                .at(Operation::kRead),
            1);
  // A KMZ whose documents are read in turn while the ones linking to them wait.
  FailEveryCallInTurn(test_support::BuildZip(
      {{"doc.kml", "<kml><NetworkLink><Link><href>a.kml</href></Link></NetworkLink></kml>"},
       {"a.kml",
        "<kml><Folder><name>a</name><NetworkLink><Link><href>b.kml</href></Link>"
        "</NetworkLink></Folder></kml>"},
       {"b.kml", kml}}));
}

// Each old output is renamed aside before the new one takes its name: twice the renames.
TEST_F(FaultInjectionTest, EveryFailingCallWithoutHardLinks) {
  without_hard_links_ = true;
  EXPECT_EQ(FailEveryCallInTurn(kKml).at(Operation::kRename), 4);
}

TEST_F(FaultInjectionTest, EveryFailingCallWhileConvertingALongFile) {
  // The second pass goes back past the read buffer.
  EXPECT_GT(FailEveryCallInTurn(LongKml()).at(Operation::kSeek), 0);
}

// With --keep-going the failing file is reported and the batch goes on; the failing file's
// outputs still keep their old content.
TEST_F(FaultInjectionTest, KeepGoingConvertsTheOthers) {
  const std::map<std::string, std::string> outputs = ConvertedOutputs(kKml);
  const int writes = CallsPerConversion(Operation::kWrite, kKml);
  PrepareBatch(kKml);
  BatchResult result;
  {
    fault::ScopedFault failing(Operation::kWrite, writes,
                               fault::TypicalOsError(CFileException::diskFull));
    result = RunBatch(kBatch, /*keep_going=*/true);
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
TEST_F(FaultInjectionTest, NextFileChangesBetweenTwoFiles) {
  const std::map<std::string, std::string> outputs = ConvertedOutputs(kKml);
  struct Row {
    const char* what;
    std::function<void(FaultInjectionTest*, std::unique_ptr<platform::CStdioFile>*)> change;
    Cause cause;
    const char* named;
    bool input_kept;
  };
  const Row rows[] = {
      {"input removed", [](FaultInjectionTest* test, auto*) { test->Remove("b.kml"); },
       CFileException::fileNotFound, "b.kml", false},
      {"input held by another program",
       [](FaultInjectionTest* test, std::unique_ptr<platform::CStdioFile>* holder) {
         *holder = std::make_unique<platform::CStdioFile>(platform::CString(test->PathOf("b.kml")),
                                                          platform::CFile::modeRead);
       },
       CFileException::sharingViolation, "b.kml", true},
      {"input replaced by a folder",
       [](FaultInjectionTest* test, auto*) {
         test->Remove("b.kml");
         std::filesystem::create_directory(test->folder_ / "b.kml");
       },
       CFileException::isDirectory, "b.kml", false},
      {"MIF output held by another program",
       [](FaultInjectionTest* test, std::unique_ptr<platform::CStdioFile>* holder) {
         *holder = std::make_unique<platform::CStdioFile>(platform::CString(test->PathOf("b.mif")),
                                                          platform::CFile::modeRead);
       },
       CFileException::sharingViolation, "b.mif", true},
      {"MID output held by another program",
       [](FaultInjectionTest* test, std::unique_ptr<platform::CStdioFile>* holder) {
         *holder = std::make_unique<platform::CStdioFile>(platform::CString(test->PathOf("b.mid")),
                                                          platform::CFile::modeRead);
       },
       CFileException::sharingViolation, "b.mid", true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    PrepareBatch(kKml);
    std::unique_ptr<platform::CStdioFile> holder;
    const BatchResult result = RunBatch(kBatch, false, [&](size_t converted) {
      if (converted == 0) row.change(this, &holder);
    });
    holder.reset();
    EXPECT_EQ(result.exit_code, cli::kExitFileError);
    EXPECT_EQ(result.err, ErrorLine(row.cause, row.named));
    if (row.input_kept) {
      ExpectStoppedAtB(kKml, outputs);
    } else {
      EXPECT_EQ(ReadBytes("b.mid"), "old mid of b");
      EXPECT_EQ(ReadBytes("b.mif"), "old mif of b");
      EXPECT_EQ(ReadBytes("c.mid"), "old mid of c");
      EXPECT_EQ(ReadBytes("c.mif"), "old mif of c");
      std::set<std::string> names = {"a.kml", "a.mid", "a.mif", "b.mid",
                                     "b.mif", "c.kml", "c.mid", "c.mif"};
      if (Exists("b.kml")) names.insert("b.kml");  // the folder
      EXPECT_EQ(Names(), names);
    }
  }
  ExpectWholeBatchConverts(kKml, outputs);
}

}  // namespace
}  // namespace robustness
