#include "ui/converter_app.h"

#include "ui/converter_dlg.h"

// clang-format off
BEGIN_MESSAGE_MAP(CConverterApp, platform::CWinApp)
  ON_COMMAND(ID_HELP, CWinApp::OnHelp)
END_MESSAGE_MAP()
// clang-format on

// The one application object, built before the entry routine runs.
CConverterApp theApp;

BOOL CConverterApp::InitInstance() {
  platform::InitCommonControls();
  platform::CWinApp::InitInstance();
  platform::AfxEnableControlContainer();
  SetRegistryKey("应用程序向导生成的本地应用程序");

  CConverterDlg dialog;
  m_pMainWnd = &dialog;
  dialog.DoModal();
  m_pMainWnd = nullptr;
  return FALSE;
}
