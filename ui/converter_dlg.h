// CConverterDlg: the program's only window. It explains what the tool does, converts the KML
// files that the user picks with the browse button, and shows the maker's contact lines with a
// button that opens the maker's web site.
#pragma once

#include <windows.h>

#include "platform/win/dialog.h"
#include "res/resource.h"

class CConverterDlg : public platform::CDialog {
 public:
  // `parent` null: no owner (the dialog is the application's main window). Loads the
  // application icon.
  explicit CConverterDlg(platform::CWnd* parent = nullptr);

  enum { IDD = IDD_CONVERTER_DIALOG };

 protected:
  // Sets the window's big and small icons; gives TRUE (focus to the browse button).
  BOOL OnInitDialog() override;
  // Draws the application icon centred in the window while it is minimised.
  void OnPaint();
  // The cursor shown while the minimised window is dragged: the application icon.
  HCURSOR OnQueryDragIcon();
  // Lets the user choose KML files and converts each in turn, then tells that the batch has
  // ended. A file error ends the batch and goes on to the message dispatch's error box.
  void OnBrowse();
  // Opens the maker's web site in the default browser; a failure is not reported.
  void OnWebSite();

  HICON m_hIcon;

  DECLARE_MESSAGE_MAP()
};
