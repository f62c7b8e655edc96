#include "platform/stdio_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "platform/fault_injection.h"
#include "platform/replace_file.h"
#include "testing/temp_folder.h"

namespace platform {
namespace {

namespace fs = std::filesystem;
using Lines = std::vector<std::string>;
constexpr size_t kBuffer = CStdioFile::kBufferSize;
constexpr unsigned kCreate = CFile::modeCreate | CFile::modeWrite;

class FileTest : public ::testing::Test {
 protected:
  void TearDown() override { fault::DisarmAll(); }

  // Paths as the program gets them: narrow strings, with '/' between folder and name.
  CString Path(const std::string& name) const { return CString(dir_.string() + "/" + name); }

  void WriteBytes(const CString& path, const std::string& bytes) {
    std::ofstream out(path.GetString(), std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    ASSERT_TRUE(out.good()) << path.GetString();
  }

  std::string ReadBytes(const CString& path) {
    std::ifstream in(path.GetString(), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }

  Lines ReadLines(const CString& path) {
    CStdioFile file(path, CFile::modeRead);
    Lines lines;
    CString line;
    while (file.ReadString(line)) lines.push_back(line.str());
    EXPECT_TRUE(line.IsEmpty());
    return lines;
  }

  // The same lines, put together from ReadLinePiece; no piece is longer than the buffer.
  Lines ReadLinesByPieces(const CString& path) {
    CStdioFile file(path, CFile::modeRead);
    Lines lines;
    std::string current;
    for (;;) {
      std::string_view piece;
      const CStdioFile::PieceEnd end = file.ReadLinePiece(piece);
      EXPECT_LE(piece.size(), kBuffer);
      current.append(piece);
      if (end == CStdioFile::PieceEnd::kLineEnd) {
        lines.push_back(std::move(current));
        current.clear();
      } else if (end == CStdioFile::PieceEnd::kInputEnd) {
        if (!current.empty()) lines.push_back(std::move(current));
        return lines;
      }
    }
  }

  // Names in the test folder (to see that no temporary is left behind).
  std::vector<std::string> Entries() const {
    const std::set<std::string> names = folder_.Names();
    return std::vector<std::string>(names.begin(), names.end());
  }

  test_support::TempFolder folder_{"platform"};
  const fs::path dir_ = folder_.path();
};

// Runs `action`, which must throw CFileException with `cause` naming `path`.
void ExpectFileError(const std::function<void()>& action, CFileException::Cause cause,
                     const CString& path, const std::string& what) {
  try {
    action();
    ADD_FAILURE() << what << ": no exception";
  } catch (const CFileException& error) {
    EXPECT_EQ(error.m_cause, cause) << what << ": " << error.what();
    EXPECT_EQ(error.m_strFileName.str(), path.str()) << what;
    EXPECT_NE(error.GetErrorMessage().str().find(path.str()), std::string::npos)
        << what << ": " << error.what();
  }
}

struct ReadCase {
  const char* name;
  std::string bytes;
  Lines lines;
};

std::vector<ReadCase> ReadCases() {
  const std::string x1 = std::string(kBuffer - 1, 'x');
  const std::string long_line = std::string(3 * kBuffer + 7, 'L');
  Lines short_lines(1, "");
  std::string short_bytes = "\n";  // puts the CR of every "ab\r\n" at the buffer's last byte
  for (size_t i = 0; i < kBuffer / 4 + 10; ++i) {
    short_bytes += "ab\r\n";
    short_lines.push_back("ab");
  }
  return {
      {"LF", "a\nb\n", {"a", "b"}},
      {"CR LF", "a\r\nb\r\n", {"a", "b"}},
      {"mixed line ends", "a\r\nb\nc", {"a", "b", "c"}},
      {"lone CR stays in the line", "a\rb\r\n", {"a\rb"}},
      {"CR CR LF", "a\r\r\n", {"a\r"}},
      {"CR at the end of the input", "a\r", {"a\r"}},
      {"empty lines", "\n\r\n\n", {"", "", ""}},
      {"0x1A ends the input",
       "ab\x1a"
       "cd\nef\n",
       {"ab"}},
      {"0x1A first",
       "\x1a"
       "ab\n",
       {}},
      {"0x1A after a line end", "ab\n\x1a\n", {"ab"}},
      {"NUL is data", std::string("a\0b\n\0", 5), {std::string("a\0b", 3), std::string(1, '\0')}},
      {"last line without line end", "a\nb", {"a", "b"}},
      {"empty file", "", {}},
      {"CR LF across the buffer edge", x1 + "\r\ny", {x1, "y"}},
      {"lone CR at the buffer edge", x1 + "\rz\n", {x1 + "\rz"}},
      {"CR at the buffer edge and the end", x1 + "\r", {x1 + "\r"}},
      {"short lines across the buffer edge", short_bytes, short_lines},
      {"0x1A in a later buffer",
       std::string(kBuffer + 5, 'q') + "\x1a" + "zz\n",
       {std::string(kBuffer + 5, 'q')}},
      {"line longer than the buffer", long_line + "\r\nend", {long_line, "end"}},
  };
}

TEST_F(FileTest, ReadsTextModeLines) {
  for (const ReadCase& row : ReadCases()) {
    const CString path = Path("in.kml");
    WriteBytes(path, row.bytes);
    const Lines lines = ReadLines(path);
    EXPECT_TRUE(lines == row.lines) << row.name << ": " << lines.size() << " lines";
    const Lines pieces = ReadLinesByPieces(path);
    EXPECT_TRUE(pieces == row.lines) << row.name << " by pieces: " << pieces.size() << " lines";
  }
}

TEST_F(FileTest, ReadRawGivesTheBytesAsTheyStand) {
  // Line ends, a byte 0x1A and NUL bytes are data; reads cross the buffer's end.
  std::string bytes = std::string("a\r\nb\x1a\0c\rd", 10) + std::string(kBuffer + 7, 'x');
  const CString path = Path("raw.bin");
  WriteBytes(path, bytes);
  for (const size_t chunk : {size_t{1}, size_t{4096}, kBuffer + 100}) {
    CStdioFile file(path, CFile::modeRead);
    EXPECT_EQ(file.GetLength(), bytes.size());
    std::string got;
    std::vector<char> buffer(chunk);
    while (const size_t count = file.ReadRaw(buffer.data(), buffer.size())) {
      got.append(buffer.data(), count);
    }
    EXPECT_EQ(got, bytes) << "chunk " << chunk;
    file.Seek(3);
    char again[4];
    ASSERT_EQ(file.ReadRaw(again, sizeof again), sizeof again);
    EXPECT_EQ(std::string(again, sizeof again), bytes.substr(3, 4));
  }
}

TEST_F(FileTest, SeeksBackToALineOrIntoIt) {
  const std::string long_line(2 * kBuffer + 11, 'L');
  const CString path = Path("seek.kml");
  WriteBytes(path, "first\r\nsecond\r\n" + long_line + "\r\nlast");
  CStdioFile file(path, CFile::modeRead);
  CString line;
  ASSERT_TRUE(file.ReadString(line));
  const uint64_t second = file.GetPosition();
  EXPECT_EQ(second, 7u);
  ASSERT_TRUE(file.ReadString(line));
  const uint64_t long_start = file.GetPosition();
  std::string_view piece;
  ASSERT_EQ(file.ReadLinePiece(piece), CStdioFile::PieceEnd::kMore);
  EXPECT_EQ(file.GetPosition(), long_start + piece.size());
  while (file.ReadString(line)) {
  }
  EXPECT_EQ(file.GetPosition(), 15 + long_line.size() + 2 + 4);

  file.Seek(second);
  ASSERT_TRUE(file.ReadString(line));
  EXPECT_EQ(line.str(), "second");
  file.Seek(long_start + kBuffer + 3);  // a byte within the line, outside the buffer
  ASSERT_TRUE(file.ReadString(line));
  EXPECT_EQ(line.GetLength(), long_line.size() - kBuffer - 3);
  ASSERT_TRUE(file.ReadString(line));
  EXPECT_EQ(line.str(), "last");
  file.Seek(0);
  ASSERT_TRUE(file.ReadString(line));
  EXPECT_EQ(line.str(), "first");
}

struct WriteCase {
  const char* name;
  Lines writes;
  std::string bytes;
};

TEST_F(FileTest, WritesEveryLineFeedAsCrLf) {
  const std::string y(kBuffer - 1, 'y');
  std::string many_bytes;
  for (int i = 0; i < 100000; ++i) many_bytes += "\r\n";
  const WriteCase cases[] = {
      {"lines", {"VERSION 300\n", "DATA\n"}, "VERSION 300\r\nDATA\r\n"},
      {"line end only", {"\n"}, "\r\n"},
      {"CR LF given", {"a\r\n"}, "a\r\r\n"},
      {"no line end", {"PLINE 0"}, "PLINE 0"},
      {"empty write", {"", "x"}, "x"},
      {"NUL", {std::string("a\0\n", 3)}, std::string("a\0\r\n", 4)},
      {"CR LF across the buffer edge", {y + "\nz"}, y + "\r\nz"},
      {"many small writes", Lines(100000, "\n"), many_bytes},
  };
  for (const WriteCase& row : cases) {
    const CString path = Path("out.mif");
    CStdioFile file(path, kCreate);
    for (const std::string& text : row.writes) file.WriteString(CString(text));
    file.Close();
    EXPECT_TRUE(ReadBytes(path) == row.bytes) << row.name;
  }
}

TEST_F(FileTest, WriteRawKeepsBytes) {
  const CString path = Path("raw.mif");
  CStdioFile file(path, kCreate);
  file.WriteRaw("a\r\nb\n");
  file.Write("c\n");
  file.Close();
  EXPECT_EQ(ReadBytes(path), "a\r\nb\nc\r\n");
}

// Room set aside for more than is written, or for less, changes neither the size nor the bytes.
TEST_F(FileTest, ReserveIsOnlyAHint) {
  const std::string big(kBuffer + 3, 'x');
  for (const uint64_t room : {uint64_t{0}, uint64_t{2}, uint64_t{kBuffer}, uint64_t{8} << 20}) {
    SCOPED_TRACE(room);
    const CString path = Path("reserved.mif");
    CStdioFile file(path, kCreate);
    file.WriteRaw("head\r\n");
    file.Reserve(room);
    file.WriteRaw(big);
    file.Close();
    EXPECT_TRUE(ReadBytes(path) == "head\r\n" + big);
  }
  CReplaceFile file(Path("replaced.mif"));
  file.Reserve(uint64_t{8} << 20);
  file.WriteRaw("a\r\n");
  file.Finish();
  file.Commit();
  EXPECT_EQ(ReadBytes(Path("replaced.mif")), "a\r\n");
}

TEST_F(FileTest, CreateEmptiesAnExistingFileAndDestructorFlushes) {
  const CString path = Path("out.mid");
  WriteBytes(path, "old content that is longer");
  {
    CStdioFile file(path, kCreate);
    file.WriteString("new\n");
  }
  EXPECT_EQ(ReadBytes(path), "new\r\n");
}

TEST_F(FileTest, FilesAreForExclusiveUse) {
  const unsigned modes[] = {CFile::modeRead, kCreate};
  const CString path = Path("held.kml");
  for (unsigned first : modes) {
    for (unsigned second : modes) {
      WriteBytes(path, "keep\n");
      {
        CStdioFile holder(path, first);
        ExpectFileError([&] { CStdioFile other(path, second); }, CFileException::sharingViolation,
                        path, "second open");
      }
      if (first == CFile::modeRead) {
        EXPECT_EQ(ReadBytes(path), "keep\n");
      }
      CStdioFile after(path, second);  // free again once the holder has closed it
    }
  }
}

TEST_F(FileTest, OpenErrorsNameTheFile) {
  WriteBytes(Path("plain.txt"), "x");
  fs::create_directory(dir_ / "folder");
  struct Case {
    const char* name;
    CString path;
    unsigned flags;
    CFileException::Cause cause;
  };
  const Case cases[] = {
      {"missing file", Path("missing.kml"), CFile::modeRead, CFileException::fileNotFound},
      {"missing folder", Path("nowhere/route.kml"), CFile::modeRead, CFileException::badPath},
      {"missing folder, create", Path("nowhere/route.mif"), kCreate, CFileException::badPath},
      {"file as folder", Path("plain.txt/route.kml"), CFile::modeRead, CFileException::badPath},
      {"folder, read", Path("folder"), CFile::modeRead, CFileException::isDirectory},
      {"folder, create", Path("folder"), kCreate, CFileException::isDirectory},
  };
  for (const Case& row : cases) {
    ExpectFileError([&] { CStdioFile file(row.path, row.flags); }, row.cause, row.path, row.name);
  }
  EXPECT_TRUE(fs::is_directory(dir_ / "folder"));
  EXPECT_FALSE(fs::exists(dir_ / "nowhere"));
}

TEST_F(FileTest, ReadOnlyFileIsNotWritten) {
  const CString path = Path("readonly.mif");
  WriteBytes(path, "old");
  fs::permissions(path.GetString(), fs::perms::owner_read | fs::perms::group_read);
  try {
    CStdioFile file(path, kCreate);
    file.Close();
    fs::permissions(path.GetString(), fs::perms::owner_all);
    GTEST_SKIP() << "this user may write read-only files";
  } catch (const CFileException& error) {
    EXPECT_EQ(error.m_cause, CFileException::accessDenied) << error.what();
    EXPECT_NE(error.GetErrorMessage().str().find(path.str()), std::string::npos);
  }
  fs::permissions(path.GetString(), fs::perms::owner_all);
  EXPECT_EQ(ReadBytes(path), "old");
}

// Failures of the system, injected: each reaches the caller as the fitting cause naming the file.
TEST_F(FileTest, SystemFailuresNameTheFile) {
  using fault::Operation;
  enum Action { kOpenToRead, kReadAll, kWriteAndClose, kWriteAndFlush };
  struct Case {
    const char* name;
    Operation op;
    int after;
    CFileException::Cause given;
    Action action;
    CFileException::Cause expected;
  };
  const Case cases[] = {
      {"open denied", Operation::kOpen, 0, CFileException::accessDenied, kOpenToRead,
       CFileException::accessDenied},
      {"no memory for the buffer", Operation::kAllocate, 0, CFileException::outOfMemory,
       kOpenToRead, CFileException::outOfMemory},
      {"device error reading", Operation::kRead, 0, CFileException::hardIO, kReadAll,
       CFileException::hardIO},
      {"second read fails", Operation::kRead, 1, CFileException::readError, kReadAll,
       CFileException::readError},
      {"disk full writing", Operation::kWrite, 0, CFileException::diskFull, kWriteAndClose,
       CFileException::diskFull},
      {"other write failure", Operation::kWrite, 0, CFileException::writeError, kWriteAndClose,
       CFileException::writeError},
      {"close fails", Operation::kClose, 0, CFileException::hardIO, kWriteAndClose,
       CFileException::hardIO},
      {"flush fails", Operation::kFlush, 0, CFileException::diskFull, kWriteAndFlush,
       CFileException::diskFull},
  };
  const CString path = Path("faulty.kml");
  for (const Case& row : cases) {
    WriteBytes(path, "a\nb\n");
    fault::ScopedFault fault(row.op, row.after, fault::TypicalOsError(row.given));
    ExpectFileError(
        [&] {
          CStdioFile file(path, row.action == kOpenToRead || row.action == kReadAll
                                    ? CFile::modeRead
                                    : kCreate);
          CString line;
          switch (row.action) {
            case kOpenToRead:
              break;
            case kReadAll:
              while (file.ReadString(line)) {
              }
              break;
            case kWriteAndClose:
              file.WriteString("data\n");
              file.Close();
              break;
            case kWriteAndFlush:
              file.WriteString("data\n");
              file.Flush();
              break;
          }
        },
        row.expected, path, row.name);
  }
}

TEST_F(FileTest, DestructorSwallowsWriteFailure) {
  const CString path = Path("quiet.mif");
  fault::ScopedFault fault(fault::Operation::kWrite, 0,
                           fault::TypicalOsError(CFileException::diskFull));
  EXPECT_NO_THROW({
    CStdioFile file(path, kCreate);
    file.WriteString("data\n");
  });
}

TEST_F(FileTest, IdentityNamesTheSameFile) {
  const CString path = Path("a.kml");
  WriteBytes(path, "a");
  WriteBytes(Path("b.kml"), "b");
  FileIdentity a, a_again, b, missing;
  ASSERT_TRUE(GetFileIdentity(path, &a));
  ASSERT_TRUE(GetFileIdentity(Path("./a.kml"), &a_again));
  ASSERT_TRUE(GetFileIdentity(Path("b.kml"), &b));
  EXPECT_TRUE(a == a_again);
  EXPECT_FALSE(a == b);
  EXPECT_FALSE(GetFileIdentity(Path("missing.kml"), &missing));
  // Also while this program holds the file for exclusive use.
  CStdioFile held(path, CFile::modeRead);
  FileIdentity while_held;
  ASSERT_TRUE(GetFileIdentity(path, &while_held));
  EXPECT_TRUE(while_held == a);
  EXPECT_TRUE(held.GetIdentity() == a);
}

TEST_F(FileTest, ChineseFileNames) {
  const CString path = Path("北京路线.kml");
  {
    CStdioFile file(path, kCreate);
    file.WriteString("第一行\n");
  }
  EXPECT_EQ(ReadLines(path), Lines{"第一行"});
  const CString missing = Path("不存在.kml");
  ExpectFileError([&] { CStdioFile file(missing, CFile::modeRead); }, CFileException::fileNotFound,
                  missing, "missing Chinese name");
}

TEST_F(FileTest, PathsLongerThanMaxPath) {
  const std::string folder(200, 'd');
  fs::create_directory(dir_ / folder);
  const CString path = Path(folder + "/" + std::string(100, 'f') + ".kml");
  {
    CReplaceFile file(path);
    file.WriteString("long\n");
    file.Finish();
    file.Commit();
  }
  EXPECT_EQ(ReadLines(path), Lines{"long"});
  const CString missing = Path(folder + "/" + std::string(100, 'm') + ".kml");
  ExpectFileError([&] { CStdioFile file(missing, CFile::modeRead); }, CFileException::fileNotFound,
                  missing, "missing long name");
}

class ReplaceFileTest : public FileTest {
 protected:
  void SetUp() override {
    FileTest::SetUp();
    target_ = Path("route.mif");
  }
  CString target_;
};

TEST_F(ReplaceFileTest, CommitReplacesTheTarget) {
  WriteBytes(target_, "old");
  {
    CReplaceFile file(target_);
    EXPECT_EQ(file.GetFilePath().str(), target_.str());
    file.WriteString("VERSION 300\n");
    EXPECT_EQ(Entries().size(), 2u);  // the target and the temporary beside it
    file.Finish();
    file.Commit();
  }
  EXPECT_EQ(ReadBytes(target_), "VERSION 300\r\n");
  EXPECT_EQ(Entries(), std::vector<std::string>{"route.mif"});
}

TEST_F(ReplaceFileTest, ReplacementKeepsThePermissionsOfTheOldTarget) {
#if defined(_WIN32)
  GTEST_SKIP() << "Windows files carry no POSIX permission bits";
#else
  namespace fs = std::filesystem;
  for (const fs::perms mode : {fs::perms(0600), fs::perms(0640), fs::perms(0755)}) {
    WriteBytes(target_, "old");
    fs::permissions(target_.str(), mode);
    {
      CReplaceFile file(target_);
      file.WriteString("new\n");
      file.Finish();
      file.Commit();
    }
    EXPECT_EQ(ReadBytes(target_), "new\r\n");
    EXPECT_EQ(fs::status(target_.str()).permissions() & fs::perms::mask, mode)
        << std::oct << static_cast<unsigned>(mode);
  }
#endif
}

TEST_F(ReplaceFileTest, AbandonedReplacementLeavesNothing) {
  WriteBytes(target_, "old");
  {
    CReplaceFile file(target_);
    file.WriteString("new\n");
  }
  EXPECT_EQ(ReadBytes(target_), "old");
  EXPECT_EQ(Entries(), std::vector<std::string>{"route.mif"});
  {
    CReplaceFile file(Path("absent.mif"));
    file.WriteString("new\n");
    file.Finish();
  }
  EXPECT_EQ(Entries(), std::vector<std::string>{"route.mif"});
}

TEST_F(ReplaceFileTest, TemporaryIsHeldExclusively) {
  CReplaceFile file(target_);
  const std::vector<std::string> names = Entries();
  ASSERT_EQ(names.size(), 1u);
  const CString temporary = Path(names[0]);
  EXPECT_THROW(CStdioFile(temporary, CFile::modeRead), CFileException);
}

TEST_F(ReplaceFileTest, FailuresKeepTheOldTargetAndNameIt) {
  using fault::Operation;
  enum Step { kConstruct, kFinish, kCommit };
  struct Case {
    const char* name;
    Operation op;
    CFileException::Cause given;
    Step fails_at;
    CFileException::Cause expected;
    int after = 0;           // calls of `op` that succeed first
    bool hard_links = true;  // false: every link fails, as on FAT32
  };
  const Case cases[] = {
      {"temporary not created", Operation::kOpen, CFileException::accessDenied, kConstruct,
       CFileException::accessDenied},
      {"held when created", Operation::kHold, CFileException::sharingViolation, kConstruct,
       CFileException::sharingViolation},
      {"disk full", Operation::kWrite, CFileException::diskFull, kFinish, CFileException::diskFull},
      {"flush to disk fails", Operation::kFlush, CFileException::hardIO, kFinish,
       CFileException::hardIO},
      {"held when replaced", Operation::kHold, CFileException::sharingViolation, kCommit,
       CFileException::sharingViolation, 1},
      {"rename fails", Operation::kRename, CFileException::accessDenied, kCommit,
       CFileException::accessDenied},
      {"no hard links, moving the old target aside fails", Operation::kRename,
       CFileException::accessDenied, kCommit, CFileException::accessDenied, 0, false},
      {"no hard links, rename fails once the old target is aside", Operation::kRename,
       CFileException::hardIO, kCommit, CFileException::hardIO, 1, false},
  };
  for (const Case& row : cases) {
    WriteBytes(target_, "old");
    fault::ScopedFault fault(row.op, row.after, fault::TypicalOsError(row.given));
    if (!row.hard_links) {
      fault::Arm(fault::Operation::kLink, 0, fault::TypicalOsError(CFileException::accessDenied),
                 -1);
    }
    ExpectFileError(
        [&] {
          CReplaceFile file(target_);
          file.WriteString("new\n");
          file.Finish();
          EXPECT_EQ(row.fails_at, kCommit) << row.name;
          file.Commit();
        },
        row.expected, target_, row.name);
    EXPECT_EQ(ReadBytes(target_), "old") << row.name;
    EXPECT_EQ(Entries(), std::vector<std::string>{"route.mif"}) << row.name;
  }
}

// After Commit the old target waits under a backup name beside it until the object ends:
// Rollback puts it back, or removes a target that did not exist before. Without hard links
// (FAT32) the old target is renamed aside instead of linked.
TEST_F(ReplaceFileTest, RollbackPutsTheOldTargetBack) {
  const struct {
    const char* name;
    bool target_existed;
    bool hard_links;
    bool rollback;
  } cases[] = {
      {"replaced", true, true, false},
      {"replaced, rolled back", true, true, true},
      {"created", false, true, false},
      {"created, rolled back", false, true, true},
      {"replaced without hard links", true, false, false},
      {"replaced without hard links, rolled back", true, false, true},
      {"created without hard links", false, false, false},
      {"created without hard links, rolled back", false, false, true},
  };
  for (const auto& row : cases) {
    SCOPED_TRACE(row.name);
    fs::remove(target_.GetString());
    if (row.target_existed) WriteBytes(target_, "old");
    if (!row.hard_links) {
      fault::Arm(fault::Operation::kLink, 0, fault::TypicalOsError(CFileException::accessDenied),
                 -1);
    }
    {
      CReplaceFile file(target_);
      file.WriteString("new\n");
      file.Rollback();  // before Commit: nothing to undo
      file.Finish();
      file.Commit();
      EXPECT_EQ(ReadBytes(target_), "new\r\n");
      const std::vector<std::string> names = Entries();
      EXPECT_EQ(names.size(), row.target_existed ? 2u : 1u);
      for (const std::string& name : names) {
        if (name == "route.mif") continue;
        EXPECT_EQ(name.rfind("route.mif.kml2mif-", 0), 0u) << name;
        EXPECT_EQ(name.substr(name.size() - 4), ".old") << name;
        EXPECT_EQ(ReadBytes(Path(name)), "old");
      }
      if (row.rollback) {
        file.Rollback();
        file.Rollback();  // a second time changes nothing
      }
    }
    fault::DisarmAll();
    if (row.rollback && !row.target_existed) {
      EXPECT_TRUE(Entries().empty());
      continue;
    }
    EXPECT_EQ(ReadBytes(target_), row.rollback ? "old" : "new\r\n");
    EXPECT_EQ(Entries(), std::vector<std::string>{"route.mif"});
  }
}

TEST_F(ReplaceFileTest, FailedRollbackKeepsTheOldContentUnderTheBackupName) {
  WriteBytes(target_, "old");
  {
    CReplaceFile file(target_);
    file.WriteString("new\n");
    file.Finish();
    file.Commit();
    fault::ScopedFault fault(fault::Operation::kRename, 0,
                             fault::TypicalOsError(CFileException::accessDenied));
    file.Rollback();
  }
  EXPECT_EQ(ReadBytes(target_), "new\r\n");
  const std::vector<std::string> names = Entries();
  ASSERT_EQ(names.size(), 2u);
  const std::string& backup = names[0] == "route.mif" ? names[1] : names[0];
  EXPECT_EQ(backup.substr(backup.size() - 4), ".old") << backup;
  EXPECT_EQ(ReadBytes(Path(backup)), "old");
}

TEST_F(ReplaceFileTest, HeldTargetIsNotReplaced) {
  WriteBytes(target_, "old");
  {
    CStdioFile holder(target_, CFile::modeRead);
    ExpectFileError([&] { CReplaceFile file(target_); }, CFileException::sharingViolation, target_,
                    "held before");
  }
  {
    CReplaceFile file(target_);
    file.WriteString("new\n");
    file.Finish();
    CStdioFile holder(target_, CFile::modeRead);
    ExpectFileError([&] { file.Commit(); }, CFileException::sharingViolation, target_,
                    "held at commit");
  }
  EXPECT_EQ(ReadBytes(target_), "old");
  EXPECT_EQ(Entries(), std::vector<std::string>{"route.mif"});
}

TEST_F(ReplaceFileTest, BadTargets) {
  fs::create_directory(dir_ / "folder.mif");
  ExpectFileError([&] { CReplaceFile file(Path("folder.mif")); }, CFileException::isDirectory,
                  Path("folder.mif"), "folder");
  ExpectFileError([&] { CReplaceFile file(Path("nowhere/route.mif")); }, CFileException::badPath,
                  Path("nowhere/route.mif"), "missing folder");
  EXPECT_EQ(Entries(), std::vector<std::string>{"folder.mif"});
}

}  // namespace
}  // namespace platform
