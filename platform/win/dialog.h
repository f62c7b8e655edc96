// CDialog: a modal dialog run from a dialog template of the executable.
//
// The dialog is centred over its owner (or the screen) when it opens, unless OnInitDialog has
// moved it. IDOK and IDCANCEL end it, so its OK and close buttons, the Esc key and the
// caption's close box all end the modal run. An exception that escapes a message handler is
// reported in the error box (see message_box.h) and the message counts as handled: the dialog
// stays open.
#pragma once

#include <windows.h>

#include "platform/win/window.h"

namespace platform {

class CDialog : public CWnd {
 public:
  // `template_id`: the dialog template (RT_DIALOG) of the executable. `parent`: the owner, or
  // null for the application's main window (none when the dialog itself is that window).
  // `parent` must outlive the modal run.
  explicit CDialog(UINT template_id, CWnd* parent = nullptr);

  // Creates the dialog and runs it until EndDialog; gives EndDialog's result, or -1 when the
  // dialog could not be created.
  virtual INT_PTR DoModal();
  void EndDialog(INT_PTR result);

  // Commands that the dialog does not handle go on to the application object.
  bool OnCmdMsg(UINT id, UINT code) override;

 protected:
  // WM_INITDIALOG; gives TRUE to let the window system set the focus to the first tab stop.
  virtual BOOL OnInitDialog();
  virtual void OnOK();      // ends the dialog with IDOK
  virtual void OnCancel();  // ends the dialog with IDCANCEL

  DECLARE_MESSAGE_MAP()

 private:
  static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

  UINT template_id_;
  CWnd* parent_;
};

}  // namespace platform
