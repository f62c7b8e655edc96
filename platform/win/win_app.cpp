#include "platform/win/win_app.h"

#include <commctrl.h>

#include <vector>

#include "platform/win/text.h"

namespace platform {
namespace {

CWinApp* the_app = nullptr;

std::wstring ModulePath() {
  std::vector<wchar_t> buffer(MAX_PATH);
  for (;;) {
    const DWORD length =
        ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length < buffer.size()) return std::wstring(buffer.data(), length);
    buffer.resize(buffer.size() * 2);
  }
}

}  // namespace

std::wstring AppNameFromModulePath(const std::wstring& module_path) {
  const size_t slash = module_path.find_last_of(L"\\/:");
  std::wstring name = slash == std::wstring::npos ? module_path : module_path.substr(slash + 1);
  const size_t dot = name.rfind(L'.');
  if (dot != std::wstring::npos && dot > 0) name.erase(dot);
  return name;
}

CWinApp::CWinApp(const char* app_name) {
  the_app = this;
  app_name_ = app_name != nullptr ? WideFromAnsi(app_name) : AppNameFromModulePath(ModulePath());
}

CWinApp::~CWinApp() {
  if (the_app == this) the_app = nullptr;
}

BOOL CWinApp::InitInstance() { return TRUE; }

int CWinApp::Run() {
  MSG message;
  while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
    ::TranslateMessage(&message);
    ::DispatchMessageW(&message);
  }
  ExitInstance();
  return static_cast<int>(message.wParam);
}

int CWinApp::ExitInstance() { return 0; }

void CWinApp::SetRegistryKey(const char* key) { m_strRegistryKey = CString(key); }

HICON CWinApp::LoadIcon(UINT id) const {
  return ::LoadIconA(AfxFindResourceHandle(MAKEINTRESOURCEA(id), RT_GROUP_ICON),
                     MAKEINTRESOURCEA(id));
}

void CWinApp::OnHelp() {}

// clang-format off
BEGIN_MESSAGE_MAP(CWinApp, CCmdTarget)
END_MESSAGE_MAP()
// clang-format on

CWinApp* AfxGetApp() { return the_app; }

std::wstring AfxGetAppName() {
  if (the_app != nullptr) return the_app->GetAppName();
  return AppNameFromModulePath(ModulePath());
}

HINSTANCE AfxFindResourceHandle(LPCSTR name, LPCSTR type) {
  HINSTANCE module = the_app != nullptr && the_app->m_hInstance != nullptr
                         ? the_app->m_hInstance
                         : ::GetModuleHandleA(nullptr);
  if (::FindResourceA(module, name, type) == nullptr) module = ::GetModuleHandleA(nullptr);
  return module;
}

int AfxWinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  CWinApp* app = AfxGetApp();
  if (app == nullptr) return -1;
  app->m_hInstance = instance;
  if (!app->InitInstance()) return app->ExitInstance();
  return app->Run();
}

void AfxEnableControlContainer() {}

void InitCommonControls() { ::InitCommonControls(); }

}  // namespace platform
