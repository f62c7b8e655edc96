#include "platform/file_exception.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "platform/fault_injection.h"

namespace platform {
namespace {

using Cause = CFileException::Cause;

const Cause kAllCauses[] = {
    CFileException::genericException, CFileException::fileNotFound,
    CFileException::badPath,          CFileException::tooManyOpenFiles,
    CFileException::accessDenied,     CFileException::invalidFile,
    CFileException::removeCurrentDir, CFileException::directoryFull,
    CFileException::badSeek,          CFileException::hardIO,
    CFileException::sharingViolation, CFileException::lockViolation,
    CFileException::diskFull,         CFileException::endOfFile,
    CFileException::isDirectory,      CFileException::readError,
    CFileException::writeError,       CFileException::sameAsInput,
    CFileException::nameTooShort,     CFileException::tooManyPoints,
    CFileException::outOfMemory,      CFileException::badXml,
    CFileException::badZip,           CFileException::noKmlInZip,
    CFileException::encryptedZip,     CFileException::unknownEncoding,
    CFileException::badEncoding,      CFileException::isDevice,
    CFileException::isPipe,           CFileException::isSocket,
    CFileException::unsafeXml,        CFileException::notZip,
    CFileException::notAFolder,
};

TEST(FileExceptionTest, EveryCauseHasItsOwnMessageNamingTheFile) {
  const CString path("C:\\地图\\route 100%s.kml");
  std::set<std::string> seen;
  for (Cause cause : kAllCauses) {
    const CFileException error(cause, path, 0);
    const std::string message = error.GetErrorMessage().str();
    EXPECT_NE(message.find("“" + path.str() + "”"), std::string::npos) << message;
    EXPECT_EQ(message.rfind("无法", 0), 0u) << message;
    EXPECT_EQ(std::string(error.what()), message);
    EXPECT_TRUE(seen.insert(message).second) << "the same message twice: " << message;
  }
}

TEST(FileExceptionTest, EveryCauseHasItsOwnEnglishMessageNamingTheFile) {
  const CString path("C:\\地图\\route 100%s.kml");
  std::set<std::string> seen;
  for (Cause cause : kAllCauses) {
    const std::string message = CFileException(cause, path, 0).GetEnglishMessage().str();
    EXPECT_NE(message.find("\"" + path.str() + "\": "), std::string::npos) << message;
    EXPECT_EQ(message.rfind("cannot ", 0), 0u) << message;
    EXPECT_TRUE(seen.insert(message).second) << "the same message twice: " << message;
  }
  // Each report takes the detail in its own language.
  const CFileException with_detail(CFileException::badXml, "a.kml", CString("第 3 行。"),
                                   CString("(line 3)"));
  EXPECT_EQ(with_detail.GetEnglishMessage().str(),
            "cannot read file \"a.kml\": it is not well-formed XML. (line 3)");
  EXPECT_EQ(with_detail.GetErrorMessage().str(),
            "无法读取文件“a.kml”：不是格式正确的 XML 文件。第 3 行。");
  EXPECT_NE(CFileException(CFileException::genericException, "a.kml", 1234)
                .GetEnglishMessage()
                .str()
                .find("1234"),
            std::string::npos);
}

// A program whose paths are not in the literals' encoding converts the fixed texts only.
TEST(FileExceptionTest, LiteralsPassThroughTheConverterAndThePathDoesNot) {
  const CFileException error(CFileException::fileNotFound, "路径.kml", 0);
  const auto mark = [](std::string_view text) { return std::string(text.size(), '#'); };
  const std::string message = error.GetErrorMessage(mark).str();
  EXPECT_EQ(message.find_first_not_of('#'),
            std::string(error.GetErrorMessage().str()).find("路径"));
  EXPECT_NE(message.find("路径.kml"), std::string::npos);
  EXPECT_EQ(error.GetErrorMessage(nullptr).str(), error.GetErrorMessage().str());
}

TEST(FileExceptionTest, GeneralCaseGivesTheSystemErrorNumber) {
  const CFileException error(CFileException::genericException, "a.kml", 1234);
  EXPECT_NE(error.GetErrorMessage().str().find("1234"), std::string::npos);
}

TEST(FileExceptionTest, ThrowOsErrorKeepsPathAndError) {
  const long os_error = fault::TypicalOsError(CFileException::diskFull);
  try {
    CFileException::ThrowOsError(os_error, "out.mif", true);
    FAIL() << "no exception";
  } catch (const CFileException& error) {
    EXPECT_EQ(error.m_cause, CFileException::diskFull);
    EXPECT_EQ(error.m_lOsError, os_error);
    EXPECT_EQ(error.m_strFileName.str(), "out.mif");
  }
}

// Each platform error that a fault test may name maps back to its cause; errors without a
// closer cause are read or write errors depending on the direction.
TEST(FileExceptionTest, OsErrorsMapToCauses) {
  const Cause mapped[] = {
      CFileException::fileNotFound,     CFileException::badPath,
      CFileException::tooManyOpenFiles, CFileException::accessDenied,
      CFileException::invalidFile,      CFileException::badSeek,
      CFileException::hardIO,           CFileException::sharingViolation,
      CFileException::diskFull,         CFileException::outOfMemory,
  };
  for (Cause cause : mapped) {
    EXPECT_EQ(CFileException::OsErrorToCause(fault::TypicalOsError(cause)), cause) << cause;
  }
  const long unknown = fault::TypicalOsError(CFileException::readError);
  EXPECT_EQ(CFileException::OsErrorToCause(unknown, false), CFileException::readError);
  EXPECT_EQ(CFileException::OsErrorToCause(unknown, true), CFileException::writeError);
}

}  // namespace
}  // namespace platform
