// CFileException: the one error of the program: a file operation that failed.
//
// It carries the path of the file as the user knows it (never the name of a temporary file)
// and the cause. Its error report is Simplified Chinese in the system code page, names the file
// and says what failed; the dialog shows it in its error box and the command line prints it.
#pragma once

#include <exception>
#include <string>
#include <string_view>

#include "platform/cstring.h"

namespace platform {

class CFileException : public std::exception {
 public:
  enum Cause {
    none = 0,
    genericException,  // any other failure
    fileNotFound,
    badPath,  // a folder of the path does not exist, or the name is invalid
    tooManyOpenFiles,
    accessDenied,
    invalidFile,
    removeCurrentDir,
    directoryFull,
    badSeek,
    hardIO,            // a read or write error of the device
    sharingViolation,  // another program holds the file
    lockViolation,
    diskFull,
    endOfFile,
    // Causes of this program beyond the class library's own:
    isDirectory,    // the path names a folder, not a file
    readError,      // reading the file failed
    writeError,     // writing the file failed
    sameAsInput,    // an output name would be the input file itself
    nameTooShort,   // the output names would leave the input's folder or have no name
    tooManyPoints,  // more points than a MIF polyline count can hold (2,147,483,647)
    outOfMemory,
    // Causes of the full conversion; a detail (the line and column, say) may follow the reason:
    badXml,           // not well-formed XML
    badZip,           // a zip (KMZ) that is damaged or uses what cannot be read
    noKmlInZip,       // a zip (KMZ) without a .kml entry
    encryptedZip,     // the zip's KML entry is encrypted
    unknownEncoding,  // the document's encoding is one the system cannot convert
    badEncoding,      // bytes that are invalid in the document's encoding
    // What a path names when only a file will do, or a folder when one is needed:
    isDevice,    // a device (a terminal, /dev/stdin, NUL)
    isPipe,      // a pipe or FIFO
    isSocket,    // a socket
    notAFolder,  // a folder was asked for and the path names something else
    // More causes of the full conversion:
    unsafeXml,  // XML refused by a safety limit (entity expansion, nesting, markup size)
    notZip,     // a .kmz that is neither a zip archive nor a KML document
  };

  // `os_error` is errno or GetLastError() (0 when there is none).
  CFileException(Cause cause, CString path, long os_error = 0);
  // With a `detail` that the report puts after the reason, such as "第 12 行第 5 列：not
  // well-formed (invalid token)。", and the same in English for the English report, such as
  // "(line 12, column 5: not well-formed (invalid token))". Both are made of this program's own
  // literals, digits and ASCII.
  CFileException(Cause cause, CString path, CString detail, CString english_detail);

  // Raises the exception whose cause fits the platform error `os_error` (errno on POSIX,
  // GetLastError() on Windows) for the file `path`. `writing` picks writeError over readError
  // for an I/O error that has no closer cause.
  [[noreturn]] static void ThrowOsError(long os_error, const CString& path, bool writing = false);

  // The cause that fits the platform error `os_error`, as ThrowOsError picks it.
  static Cause OsErrorToCause(long os_error, bool writing = false);

  Cause m_cause;
  long m_lOsError;
  CString m_strFileName;
  CString m_strDetail;         // empty when there is none
  CString m_strEnglishDetail;  // the same in English
  // The part of the file that the error is in, such as a KMZ's entry "layers/a.kml"; empty for
  // the file as a whole. The reports name it after the file.
  CString m_strEntry;

  // Names `entry` as the part of the file that the error is in; control characters in it are
  // shown as '?'.
  void SetEntry(std::string_view entry);

  // The error report: a Chinese sentence that names the file and the failure, in the system
  // code page, e.g. "无法打开文件“C:\maps\route.kml”：找不到该文件。".
  CString GetErrorMessage() const;

  // The same report with its fixed texts passed through `convert_literal`: for a program whose
  // paths are held in another encoding than the one its narrow literals are compiled in (null:
  // as they are).
  CString GetErrorMessage(std::string (*convert_literal)(std::string_view)) const;

  // The report in English, plain ASCII around the file's name and the detail, e.g.
  // 'cannot open file "C:\maps\route.kml": the file does not exist.'.
  CString GetEnglishMessage() const;

  const char* what() const noexcept override;

 private:
  CString message_;
};

}  // namespace platform
