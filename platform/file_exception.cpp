#include "platform/file_exception.h"

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <string>

namespace platform {
namespace {

// The verb of a report's sentence: what the program was doing with the file.
enum class Verb : uint8_t { kOpen, kAccess, kRead, kWrite, kConvert, kUseFolder, kProcess };

struct VerbText {
  const char* chinese;
  const char* english;  // lowercase: the sentence follows the program's name
};

constexpr VerbText kVerbs[] = {
    {"无法打开文件“", "cannot open file \""},     // kOpen
    {"无法访问文件“", "cannot access file \""},   // kAccess
    {"无法读取文件“", "cannot read file \""},     // kRead
    {"无法写入文件“", "cannot write file \""},    // kWrite
    {"无法转换文件“", "cannot convert file \""},  // kConvert
    {"无法使用文件夹“", "cannot use folder \""},  // kUseFolder
    {"无法处理文件“", "cannot process file \""},  // kProcess
};

// One row per cause, in the order of CFileException::Cause: the verb, and what failed as the
// end of the sentence in both languages (none where the system's error code is told instead).
struct CauseText {
  CFileException::Cause cause;
  Verb verb;
  const char* chinese;
  const char* english;
};

using Error = CFileException;
constexpr CauseText kCauses[] = {
    {Error::none, Verb::kProcess, nullptr, nullptr},
    {Error::genericException, Verb::kProcess, nullptr, nullptr},
    {Error::fileNotFound, Verb::kOpen, "找不到该文件。", "the file does not exist."},
    {Error::badPath, Verb::kOpen, "路径中的文件夹不存在，或文件名无效。",
     "a folder of the path does not exist, or the name is invalid."},
    {Error::tooManyOpenFiles, Verb::kOpen, "同时打开的文件过多。", "too many files are open."},
    {Error::accessDenied, Verb::kAccess, "没有访问该文件的权限（文件可能是只读的）。",
     "permission denied (the file may be read-only)."},
    {Error::invalidFile, Verb::kProcess, "文件句柄无效。", "the file handle is invalid."},
    {Error::removeCurrentDir, Verb::kProcess, "不能删除当前文件夹。",
     "the current folder cannot be removed."},
    {Error::directoryFull, Verb::kWrite, "文件夹已满，不能再创建文件。",
     "the folder is full; no more files can be created in it."},
    {Error::badSeek, Verb::kProcess, "无法移动到文件中的指定位置。",
     "cannot move to the position in the file."},
    {Error::hardIO, Verb::kProcess, "读写该文件时设备出错。",
     "the device failed while reading or writing the file."},
    {Error::sharingViolation, Verb::kOpen, "该文件正被其他程序使用。",
     "the file is in use by another program."},
    {Error::lockViolation, Verb::kAccess, "该文件的一部分已被其他程序锁定。",
     "part of the file is locked by another program."},
    {Error::diskFull, Verb::kWrite, "磁盘空间不足。", "the disk is full."},
    {Error::endOfFile, Verb::kRead, "文件意外结束。", "the file ended unexpectedly."},
    {Error::isDirectory, Verb::kOpen, "这是一个文件夹，不是文件。", "it is a folder, not a file."},
    {Error::readError, Verb::kRead, "读取该文件时出错。", "reading the file failed."},
    {Error::writeError, Verb::kWrite, "写入该文件时出错。", "writing the file failed."},
    {Error::sameAsInput, Verb::kConvert, "输出文件就是输入文件本身，转换会毁掉输入文件。",
     "an output would be the input file itself; converting would destroy it."},
    {Error::nameTooShort, Verb::kConvert, "文件名太短，无法得出输出文件名。",
     "the name is too short to make the output names from it."},
    {Error::tooManyPoints, Verb::kConvert,
     "坐标点数超过了 MIF 折线所能容纳的上限（2147483647 个）。",
     "more points than a MIF polyline can hold (2147483647)."},
    {Error::outOfMemory, Verb::kProcess, "内存不足。", "out of memory."},
    {Error::badXml, Verb::kRead, "不是格式正确的 XML 文件。", "it is not well-formed XML."},
    {Error::badZip, Verb::kRead, "压缩文件（KMZ）已损坏或无法读取。",
     "the zip (KMZ) file is damaged or cannot be read."},
    {Error::noKmlInZip, Verb::kRead, "压缩文件（KMZ）中没有 KML 文件。",
     "the zip (KMZ) file holds no KML file."},
    {Error::encryptedZip, Verb::kRead, "压缩文件（KMZ）中的 KML 文件已加密。",
     "the KML file in the zip (KMZ) file is encrypted."},
    {Error::unknownEncoding, Verb::kRead, "文件的字符编码无法识别。",
     "the file's character encoding is not known."},
    {Error::badEncoding, Verb::kRead, "文件中有不符合其字符编码的字节。",
     "the file has bytes that are invalid in its character encoding."},
    {Error::isDevice, Verb::kOpen, "这是一个设备，不是普通文件。",
     "it is a device, not a regular file."},
    {Error::isPipe, Verb::kOpen, "这是一个管道，不是普通文件。",
     "it is a pipe, not a regular file."},
    {Error::isSocket, Verb::kOpen, "这是一个套接字，不是普通文件。",
     "it is a socket, not a regular file."},
    {Error::notAFolder, Verb::kUseFolder, "这不是一个文件夹。", "it is not a folder."},
    {Error::unsafeXml, Verb::kRead, "为安全起见拒绝读取：", "refused for safety:"},
    {Error::notZip, Verb::kRead, "它既不是压缩文件（KMZ），也不是 KML 文档。",
     "it is neither a zip archive (KMZ) nor a KML document."},
};

constexpr bool EveryCauseInOrder() {
  for (size_t i = 0; i < std::size(kCauses); ++i) {
    if (kCauses[i].cause != static_cast<CFileException::Cause>(i)) return false;
  }
  return std::size(kCauses) == Error::notZip + 1;
}
static_assert(EveryCauseInOrder(), "one row per cause, in the order of the enum");

// The row of `cause`; a value outside the enum reads as genericException.
const CauseText& TextOf(CFileException::Cause cause) {
  const auto index = static_cast<size_t>(cause);
  return index < std::size(kCauses) ? kCauses[index] : kCauses[Error::genericException];
}

const VerbText& VerbOf(CFileException::Cause cause) {
  return kVerbs[static_cast<size_t>(TextOf(cause).verb)];
}

std::string Identity(std::string_view text) { return std::string(text); }

std::string ComposeMessage(CFileException::Cause cause, const CString& path, long os_error,
                           const CString& detail = CString(), const CString& entry = CString(),
                           std::string (*literal)(std::string_view) = Identity) {
  std::string message = literal(VerbOf(cause).chinese);
  message += path.str();
  if (!entry.IsEmpty()) {
    message += literal("”中的“");
    message += entry.str();
  }
  message += literal("”：");
  if (const char* reason = TextOf(cause).chinese) {
    message += literal(reason);
    if (!detail.IsEmpty()) {
      message += literal(detail.view());
    }
  } else if (os_error != 0) {
    message += literal("发生系统错误（错误代码 " + std::to_string(os_error) + "）。");
  } else {
    message += literal("发生未知错误。");
  }
  return message;
}

std::string ComposeEnglishMessage(CFileException::Cause cause, const CString& path, long os_error,
                                  const CString& detail, const CString& entry) {
  std::string message = VerbOf(cause).english;
  message += path.str();
  if (!entry.IsEmpty()) {
    message += "\" (entry \"";
    message += entry.str();
    message += "\")";
  } else {
    message += '"';
  }
  message += ": ";
  if (const char* reason = TextOf(cause).english) {
    message += reason;
    if (!detail.IsEmpty()) {
      message += ' ';
      message += detail.str();
    }
  } else if (os_error != 0) {
    message += "system error " + std::to_string(os_error) + ".";
  } else {
    message += "unknown error.";
  }
  return message;
}

}  // namespace

CFileException::CFileException(Cause cause, CString path, long os_error)
    : m_cause(cause),
      m_lOsError(os_error),
      m_strFileName(std::move(path)),
      message_(ComposeMessage(cause, m_strFileName, os_error)) {}

CFileException::CFileException(Cause cause, CString path, CString detail, CString english_detail)
    : m_cause(cause),
      m_lOsError(0),
      m_strFileName(std::move(path)),
      m_strDetail(std::move(detail)),
      m_strEnglishDetail(std::move(english_detail)),
      message_(ComposeMessage(cause, m_strFileName, 0, m_strDetail)) {}

void CFileException::ThrowOsError(long os_error, const CString& path, bool writing) {
  throw CFileException(OsErrorToCause(os_error, writing), path, os_error);
}

CString CFileException::GetErrorMessage() const { return message_; }

CString CFileException::GetErrorMessage(std::string (*convert_literal)(std::string_view)) const {
  return CString(ComposeMessage(m_cause, m_strFileName, m_lOsError, m_strDetail, m_strEntry,
                                convert_literal != nullptr ? convert_literal : Identity));
}

CString CFileException::GetEnglishMessage() const {
  return CString(
      ComposeEnglishMessage(m_cause, m_strFileName, m_lOsError, m_strEnglishDetail, m_strEntry));
}

void CFileException::SetEntry(std::string_view entry) {
  std::string shown(entry);
  for (char& c : shown) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
  }
  m_strEntry = CString(shown);
  message_ = CString(ComposeMessage(m_cause, m_strFileName, m_lOsError, m_strDetail, m_strEntry));
}

const char* CFileException::what() const noexcept { return message_.GetString(); }

}  // namespace platform
