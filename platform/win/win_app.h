// CWinApp: the one application object, and the entry routine that runs it.
//
// The program defines exactly one global object of a class derived from CWinApp; it registers
// itself while the runtime builds global objects. AfxWinMain (called by WinMain, see
// win_main.cpp) finds it and calls InitInstance; when that gives FALSE no message loop runs and
// the process ends. The application's name, the caption of every message box, is the
// executable's file name without its extension.
#pragma once

#include <windows.h>

#include <string>

#include "platform/cstring.h"
#include "platform/win/cmd_target.h"
#include "platform/win/window.h"

// The help command of the class library's resources.
#define ID_HELP 0xE146

namespace platform {

class CWinApp : public CCmdTarget {
 public:
  // REQUIRES: no other CWinApp exists. `app_name` null: the executable's name (see above).
  explicit CWinApp(const char* app_name = nullptr);
  ~CWinApp() override;

  // Start-up; FALSE means that no message loop is to run. The base does nothing and gives TRUE.
  virtual BOOL InitInstance();
  // The message loop, run when InitInstance gives TRUE; gives the process exit code.
  virtual int Run();
  // Clean-up after InitInstance or Run; gives the process exit code.
  virtual int ExitInstance();

  // Names the registry key for the program's settings. Only remembered: nothing is read or
  // written under it.
  void SetRegistryKey(const char* key);
  const CString& GetRegistryKey() const { return m_strRegistryKey; }

  // The icon `id` of the module that holds it (AfxFindResourceHandle and LoadIconA).
  HICON LoadIcon(UINT id) const;

  // The application's name in UTF-16 (message-box captions) and in the ANSI code page.
  const std::wstring& GetAppName() const { return app_name_; }

  HINSTANCE m_hInstance = nullptr;
  CWnd* m_pMainWnd = nullptr;  // the main window while it runs, or null

 protected:
  // The help command: there is no help file, so nothing to show.
  void OnHelp();

  DECLARE_MESSAGE_MAP()

 private:
  std::wstring app_name_;
  CString m_strRegistryKey;
};

// The application object, or null before it is built or after it is destroyed.
CWinApp* AfxGetApp();

// The application's name for captions: that of the application object, or else the
// executable's file name without its extension.
std::wstring AfxGetAppName();

// The file name without its extension of `module_path` (a full path as GetModuleFileNameW
// gives it): C:\Tools\KmlConverter.exe gives KmlConverter.
std::wstring AppNameFromModulePath(const std::wstring& module_path);

// The module that holds the resource `name` of `type`: the application's executable.
HINSTANCE AfxFindResourceHandle(LPCSTR name, LPCSTR type);

// The entry routine: runs the application object. Gives the process exit code; -1 when the
// program defines no application object.
int AfxWinMain(HINSTANCE instance, HINSTANCE previous, LPSTR command_line, int show);

// Lets dialogs host embedded controls. The dialogs of this program hold only the window
// system's own controls, so there is nothing to prepare.
void AfxEnableControlContainer();

// Registers the window system's common control classes.
void InitCommonControls();

}  // namespace platform
