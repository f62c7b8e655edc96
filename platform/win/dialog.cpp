#include "platform/win/dialog.h"

#include <exception>

#include "platform/win/message_box.h"
#include "platform/win/win_app.h"

namespace platform {
namespace {

// Messages whose result a dialog procedure gives as its own return value instead of through
// DWLP_MSGRESULT.
bool ReturnsResultDirectly(UINT message) {
  switch (message) {
    case WM_CHARTOITEM:
    case WM_COMPAREITEM:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORSTATIC:
    case WM_INITDIALOG:
    case WM_QUERYDRAGICON:
    case WM_VKEYTOITEM:
      return true;
    default:
      return false;
  }
}

bool SameRect(const RECT& a, const RECT& b) {
  return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

}  // namespace

// clang-format off
BEGIN_MESSAGE_MAP(CDialog, CWnd)
  ON_COMMAND(IDOK, OnOK)
  ON_COMMAND(IDCANCEL, OnCancel)
END_MESSAGE_MAP()
// clang-format on

CDialog::CDialog(UINT template_id, CWnd* parent) : template_id_(template_id), parent_(parent) {}

INT_PTR CDialog::DoModal() {
  HWND owner = parent_ != nullptr ? parent_->GetSafeHwnd() : nullptr;
  const CWinApp* app = AfxGetApp();
  if (owner == nullptr && app != nullptr && app->m_pMainWnd != nullptr && app->m_pMainWnd != this) {
    owner = app->m_pMainWnd->GetSafeHwnd();
  }
  HINSTANCE module = AfxFindResourceHandle(MAKEINTRESOURCEA(template_id_), RT_DIALOG);
  const INT_PTR result = ::DialogBoxParamW(module, MAKEINTRESOURCEW(template_id_), owner,
                                           &CDialog::DialogProc, reinterpret_cast<LPARAM>(this));
  m_hWnd = nullptr;
  return result;
}

void CDialog::EndDialog(INT_PTR result) { ::EndDialog(m_hWnd, result); }

BOOL CDialog::OnInitDialog() { return TRUE; }

void CDialog::OnOK() { EndDialog(IDOK); }

void CDialog::OnCancel() { EndDialog(IDCANCEL); }

bool CDialog::OnCmdMsg(UINT id, UINT code) {
  if (CWnd::OnCmdMsg(id, code)) return true;
  CWinApp* app = AfxGetApp();
  return code == 0 && app != nullptr && app->OnCmdMsg(id, code);
}

INT_PTR CALLBACK CDialog::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  CDialog* dialog;
  if (message == WM_INITDIALOG) {
    dialog = reinterpret_cast<CDialog*>(lParam);
    dialog->m_hWnd = window;
    ::SetWindowLongPtrW(window, DWLP_USER, lParam);
  } else {
    dialog = reinterpret_cast<CDialog*>(::GetWindowLongPtrW(window, DWLP_USER));
  }
  if (dialog == nullptr) return FALSE;

  LRESULT result = 0;
  bool handled;
  // Exceptions must not unwind through the window system's frames: they end here, with the
  // error box, and the message counts as handled.
  try {
    if (message == WM_INITDIALOG) {
      RECT before;
      ::GetWindowRect(window, &before);
      result = dialog->OnInitDialog();
      RECT after;
      ::GetWindowRect(window, &after);
      if (SameRect(before, after)) dialog->CenterWindow();
      handled = true;
    } else {
      handled = dialog->OnWndMsg(message, wParam, lParam, &result);
    }
  } catch (...) {
    // A paint handler that failed must not be asked to paint again at once.
    if (message == WM_PAINT) ::ValidateRect(window, nullptr);
    ReportException(std::current_exception());
    handled = true;
    result = 0;
  }

  if (message == WM_NCDESTROY) {
    ::SetWindowLongPtrW(window, DWLP_USER, 0);
  }
  if (!handled) return FALSE;
  if (ReturnsResultDirectly(message)) return static_cast<INT_PTR>(result);
  ::SetWindowLongPtrW(window, DWLP_MSGRESULT, result);
  return TRUE;
}

}  // namespace platform
