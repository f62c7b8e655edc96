#include "platform/file_exception.h"

#include <string>

namespace platform {
namespace {

// What failed, as the end of the sentence that names the file.
const char* Reason(CFileException::Cause cause) {
  switch (cause) {
    case CFileException::none:
    case CFileException::genericException:
      return nullptr;
    case CFileException::fileNotFound:
      return "找不到该文件。";
    case CFileException::badPath:
      return "路径中的文件夹不存在，或文件名无效。";
    case CFileException::tooManyOpenFiles:
      return "同时打开的文件过多。";
    case CFileException::accessDenied:
      return "没有访问该文件的权限（文件可能是只读的）。";
    case CFileException::invalidFile:
      return "文件句柄无效。";
    case CFileException::removeCurrentDir:
      return "不能删除当前文件夹。";
    case CFileException::directoryFull:
      return "文件夹已满，不能再创建文件。";
    case CFileException::badSeek:
      return "无法移动到文件中的指定位置。";
    case CFileException::hardIO:
      return "读写该文件时设备出错。";
    case CFileException::sharingViolation:
      return "该文件正被其他程序使用。";
    case CFileException::lockViolation:
      return "该文件的一部分已被其他程序锁定。";
    case CFileException::diskFull:
      return "磁盘空间不足。";
    case CFileException::endOfFile:
      return "文件意外结束。";
    case CFileException::isDirectory:
      return "这是一个文件夹，不是文件。";
    case CFileException::readError:
      return "读取该文件时出错。";
    case CFileException::writeError:
      return "写入该文件时出错。";
    case CFileException::sameAsInput:
      return "输出文件就是输入文件本身，转换会毁掉输入文件。";
    case CFileException::nameTooShort:
      return "文件名太短，无法得出输出文件名。";
    case CFileException::tooManyPoints:
      return "坐标点数超过了 MIF 折线所能容纳的上限（2147483647 个）。";
    case CFileException::outOfMemory:
      return "内存不足。";
    case CFileException::badXml:
      return "不是格式正确的 XML 文件。";
    case CFileException::badZip:
      return "压缩文件（KMZ）已损坏或无法读取。";
    case CFileException::noKmlInZip:
      return "压缩文件（KMZ）中没有 KML 文件。";
    case CFileException::encryptedZip:
      return "压缩文件（KMZ）中的 KML 文件已加密。";
    case CFileException::unknownEncoding:
      return "文件的字符编码无法识别。";
    case CFileException::badEncoding:
      return "文件中有不符合其字符编码的字节。";
    case CFileException::isDevice:
      return "这是一个设备，不是普通文件。";
    case CFileException::isPipe:
      return "这是一个管道，不是普通文件。";
    case CFileException::isSocket:
      return "这是一个套接字，不是普通文件。";
    case CFileException::notAFolder:
      return "这不是一个文件夹。";
  }
  return nullptr;
}

// The verb of the sentence: what the program was doing with the file.
const char* Action(CFileException::Cause cause) {
  switch (cause) {
    case CFileException::fileNotFound:
    case CFileException::badPath:
    case CFileException::tooManyOpenFiles:
    case CFileException::sharingViolation:
    case CFileException::isDirectory:
    case CFileException::isDevice:
    case CFileException::isPipe:
    case CFileException::isSocket:
      return "无法打开文件“";
    case CFileException::accessDenied:
    case CFileException::lockViolation:
      return "无法访问文件“";
    case CFileException::readError:
    case CFileException::endOfFile:
    case CFileException::badXml:
    case CFileException::badZip:
    case CFileException::noKmlInZip:
    case CFileException::encryptedZip:
    case CFileException::unknownEncoding:
    case CFileException::badEncoding:
      return "无法读取文件“";
    case CFileException::writeError:
    case CFileException::diskFull:
    case CFileException::directoryFull:
      return "无法写入文件“";
    case CFileException::sameAsInput:
    case CFileException::nameTooShort:
    case CFileException::tooManyPoints:
      return "无法转换文件“";
    case CFileException::notAFolder:
      return "无法使用文件夹“";
    default:
      return "无法处理文件“";
  }
}

const char* EnglishReason(CFileException::Cause cause) {
  switch (cause) {
    case CFileException::none:
    case CFileException::genericException:
      return nullptr;
    case CFileException::fileNotFound:
      return "the file does not exist.";
    case CFileException::badPath:
      return "a folder of the path does not exist, or the name is invalid.";
    case CFileException::tooManyOpenFiles:
      return "too many files are open.";
    case CFileException::accessDenied:
      return "permission denied (the file may be read-only).";
    case CFileException::invalidFile:
      return "the file handle is invalid.";
    case CFileException::removeCurrentDir:
      return "the current folder cannot be removed.";
    case CFileException::directoryFull:
      return "the folder is full; no more files can be created in it.";
    case CFileException::badSeek:
      return "cannot move to the position in the file.";
    case CFileException::hardIO:
      return "the device failed while reading or writing the file.";
    case CFileException::sharingViolation:
      return "the file is in use by another program.";
    case CFileException::lockViolation:
      return "part of the file is locked by another program.";
    case CFileException::diskFull:
      return "the disk is full.";
    case CFileException::endOfFile:
      return "the file ended unexpectedly.";
    case CFileException::isDirectory:
      return "it is a folder, not a file.";
    case CFileException::readError:
      return "reading the file failed.";
    case CFileException::writeError:
      return "writing the file failed.";
    case CFileException::sameAsInput:
      return "an output would be the input file itself; converting would destroy it.";
    case CFileException::nameTooShort:
      return "the name is too short to make the output names from it.";
    case CFileException::tooManyPoints:
      return "more points than a MIF polyline can hold (2147483647).";
    case CFileException::outOfMemory:
      return "out of memory.";
    case CFileException::badXml:
      return "it is not well-formed XML.";
    case CFileException::badZip:
      return "the zip (KMZ) file is damaged or cannot be read.";
    case CFileException::noKmlInZip:
      return "the zip (KMZ) file holds no KML file.";
    case CFileException::encryptedZip:
      return "the KML file in the zip (KMZ) file is encrypted.";
    case CFileException::unknownEncoding:
      return "the file's character encoding is not known.";
    case CFileException::badEncoding:
      return "the file has bytes that are invalid in its character encoding.";
    case CFileException::isDevice:
      return "it is a device, not a regular file.";
    case CFileException::isPipe:
      return "it is a pipe, not a regular file.";
    case CFileException::isSocket:
      return "it is a socket, not a regular file.";
    case CFileException::notAFolder:
      return "it is not a folder.";
  }
  return nullptr;
}

// The same verbs in English; the sentence starts with a lowercase letter, as it follows the
// program's name.
const char* EnglishAction(CFileException::Cause cause) {
  const std::string_view chinese = Action(cause);
  if (chinese == Action(CFileException::fileNotFound)) return "cannot open file \"";
  if (chinese == Action(CFileException::accessDenied)) return "cannot access file \"";
  if (chinese == Action(CFileException::readError)) return "cannot read file \"";
  if (chinese == Action(CFileException::writeError)) return "cannot write file \"";
  if (chinese == Action(CFileException::sameAsInput)) return "cannot convert file \"";
  if (chinese == Action(CFileException::notAFolder)) return "cannot use folder \"";
  return "cannot process file \"";
}

std::string Identity(std::string_view text) { return std::string(text); }

std::string ComposeMessage(CFileException::Cause cause, const CString& path, long os_error,
                           const CString& detail = CString(),
                           std::string (*literal)(std::string_view) = Identity) {
  std::string message = literal(Action(cause));
  message += path.str();
  message += literal("”：");
  if (const char* reason = Reason(cause)) {
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
                                  const CString& detail) {
  std::string message = EnglishAction(cause);
  message += path.str();
  message += "\": ";
  if (const char* reason = EnglishReason(cause)) {
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
  return CString(ComposeMessage(m_cause, m_strFileName, m_lOsError, m_strDetail,
                                convert_literal != nullptr ? convert_literal : Identity));
}

CString CFileException::GetEnglishMessage() const {
  return CString(ComposeEnglishMessage(m_cause, m_strFileName, m_lOsError, m_strEnglishDetail));
}

const char* CFileException::what() const noexcept { return message_.GetString(); }

}  // namespace platform
