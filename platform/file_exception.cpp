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
    default:
      return "无法处理文件“";
  }
}

std::string ComposeMessage(CFileException::Cause cause, const CString& path, long os_error,
                           const CString& detail = CString()) {
  std::string message = Action(cause);
  message += path.str();
  message += "”：";
  if (const char* reason = Reason(cause)) {
    message += reason;
    if (!detail.IsEmpty()) {
      message += detail.str();
    }
  } else if (os_error != 0) {
    message += "发生系统错误（错误代码 " + std::to_string(os_error) + "）。";
  } else {
    message += "发生未知错误。";
  }
  return message;
}

}  // namespace

CFileException::CFileException(Cause cause, CString path, long os_error)
    : m_cause(cause),
      m_lOsError(os_error),
      m_strFileName(std::move(path)),
      message_(ComposeMessage(cause, m_strFileName, os_error)) {}

CFileException::CFileException(Cause cause, CString path, CString detail)
    : m_cause(cause),
      m_lOsError(0),
      m_strFileName(std::move(path)),
      m_strDetail(std::move(detail)),
      message_(ComposeMessage(cause, m_strFileName, 0, m_strDetail)) {}

void CFileException::ThrowOsError(long os_error, const CString& path, bool writing) {
  throw CFileException(OsErrorToCause(os_error, writing), path, os_error);
}

CString CFileException::GetErrorMessage() const { return message_; }

const char* CFileException::what() const noexcept { return message_.GetString(); }

}  // namespace platform
