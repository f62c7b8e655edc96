// CFileDialog: the window system's open-file (or save-file) dialog, in explorer style.
//
// The selection buffer holds kSelectionBufferChars narrow characters, enough for hundreds of
// files with long Chinese names chosen at once. A selection that still does not fit ends the
// dialog with IDCANCEL after a box that tells the user so.
#pragma once

#include <windows.h>
// after windows.h
#include <commdlg.h>

#include <string>
#include <vector>

#include "platform/cstring.h"
#include "platform/win/window.h"

namespace platform {

// A position in the selection, as the class library walks it; null after the last name.
struct SelectionPosition;
using POSITION = SelectionPosition*;

class CFileDialog {
 public:
  static constexpr DWORD kSelectionBufferChars = 64 * 1024;

  // `open_dialog`: TRUE for an open dialog, FALSE for a save dialog. `default_extension`,
  // `file_name` may be null. `flags` (OFN_...) get OFN_EXPLORER added. `filter` is written with
  // '|' separators, e.g. "KML文件(*.kml)|*.kml|所有文件(*.*)|*.*|", or null. `parent` null:
  // the application's main window owns the dialog. Strings are ANSI code page.
  explicit CFileDialog(BOOL open_dialog, const char* default_extension = nullptr,
                       const char* file_name = nullptr,
                       DWORD flags = OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT,
                       const char* filter = nullptr, CWnd* parent = nullptr);
  virtual ~CFileDialog() = default;
  CFileDialog(const CFileDialog&) = delete;
  CFileDialog& operator=(const CFileDialog&) = delete;

  // Runs the dialog; IDOK when the user chose, IDCANCEL otherwise.
  virtual INT_PTR DoModal();

  // The platform's request record; lpstrFile is the selection buffer.
  OPENFILENAMEA& GetOFN() { return m_ofn; }
  const OPENFILENAMEA& GetOFN() const { return m_ofn; }

  // The start of the selection after DoModal gave IDOK; null when nothing was chosen.
  POSITION GetStartPosition() const;
  // The full path at `position`, moving it on; null after the last one.
  // REQUIRES: position is not null.
  CString GetNextPathName(POSITION& position) const;

 private:
  OPENFILENAMEA m_ofn;
  bool open_dialog_;
  CWnd* parent_;
  std::string filter_;
  std::string default_extension_;
  std::vector<char> selection_;
};

}  // namespace platform
