#include "platform/win/file_dialog.h"

#include <cderr.h>

#include <algorithm>
#include <cstring>

#include "platform/code_page.h"
#include "platform/win/file_selection.h"
#include "platform/win/message_box.h"
#include "platform/win/win_app.h"

namespace platform {

CFileDialog::CFileDialog(BOOL open_dialog, const char* default_extension, const char* file_name,
                         DWORD flags, const char* filter, CWnd* parent)
    : m_ofn{},
      open_dialog_(open_dialog != FALSE),
      parent_(parent),
      selection_(kSelectionBufferChars, '\0') {
  m_ofn.lStructSize = sizeof(m_ofn);
  m_ofn.Flags = flags | OFN_EXPLORER;
  if (filter != nullptr) {
    filter_ = MakeFilterString(filter, CodePage::System());
    m_ofn.lpstrFilter = filter_.c_str();
  }
  if (default_extension != nullptr) {
    default_extension_ = default_extension;
    m_ofn.lpstrDefExt = default_extension_.c_str();
  }
  if (file_name != nullptr) {
    std::strncpy(selection_.data(), file_name, selection_.size() - 1);
  }
  m_ofn.lpstrFile = selection_.data();
  m_ofn.nMaxFile = static_cast<DWORD>(selection_.size());
}

INT_PTR CFileDialog::DoModal() {
  if (m_ofn.hwndOwner == nullptr) {
    if (parent_ != nullptr) {
      m_ofn.hwndOwner = parent_->GetSafeHwnd();
    } else if (const CWinApp* app = AfxGetApp(); app != nullptr && app->m_pMainWnd != nullptr) {
      m_ofn.hwndOwner = app->m_pMainWnd->GetSafeHwnd();
    }
  }
  // The names follow the first zero in the buffer: what stood there before must not look like
  // more names.
  const size_t kept = std::strlen(m_ofn.lpstrFile);
  std::fill(m_ofn.lpstrFile + kept, m_ofn.lpstrFile + m_ofn.nMaxFile, '\0');

  const BOOL chosen = open_dialog_ ? ::GetOpenFileNameA(&m_ofn) : ::GetSaveFileNameA(&m_ofn);
  const bool too_small = chosen ? !SelectionIsComplete(m_ofn.lpstrFile, m_ofn.nMaxFile)
                                : ::CommDlgExtendedError() == FNERR_BUFFERTOOSMALL;
  if (chosen && !too_small) return IDOK;
  if (too_small) {
    // Windows leaves only the size it would have needed in the buffer, Wine a list cut short:
    // neither may be walked.
    m_ofn.lpstrFile[0] = '\0';
    CString text;
    text.Format(
        "选择的文件太多：文件名的总长度超出了 %lu 个字符的上限，本次选择没有被接受。\n\n"
        "请分几次选择，每次少选一些文件。",
        static_cast<unsigned long>(m_ofn.nMaxFile));
    AfxMessageBox(text, MB_ICONEXCLAMATION);
  }
  return IDCANCEL;
}

POSITION CFileDialog::GetStartPosition() const {
  return reinterpret_cast<POSITION>(const_cast<char*>(FirstSelectedPosition(m_ofn.lpstrFile)));
}

CString CFileDialog::GetNextPathName(POSITION& position) const {
  const char* at = reinterpret_cast<const char*>(position);
  CString path = NextSelectedPath(m_ofn.lpstrFile, at, (m_ofn.Flags & OFN_ALLOWMULTISELECT) != 0,
                                  CodePage::System());
  position = reinterpret_cast<POSITION>(const_cast<char*>(at));
  return path;
}

}  // namespace platform
