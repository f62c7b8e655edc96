#include "platform/win/message_box.h"

#include <new>
#include <string>

#include "platform/file_exception.h"
#include "platform/win/text.h"
#include "platform/win/win_app.h"

namespace platform {
namespace {

HWND MessageBoxOwner() {
  const CWinApp* app = AfxGetApp();
  if (app != nullptr && app->m_pMainWnd != nullptr && app->m_pMainWnd->GetSafeHwnd() != nullptr) {
    return app->m_pMainWnd->GetSafeHwnd();
  }
  return ::GetActiveWindow();
}

}  // namespace

int AfxMessageBox(const CString& text, UINT type, UINT) {
  const std::wstring caption = AfxGetAppName();
  return ::MessageBoxW(MessageBoxOwner(), WideFromAnsi(text.view()).c_str(), caption.c_str(), type);
}

ErrorReport DescribeException(const std::exception_ptr& error) {
  try {
    std::rethrow_exception(error);
  } catch (const CFileException& file_error) {
    return {file_error.GetErrorMessage(), MB_ICONSTOP};
  } catch (const std::bad_alloc&) {
    return {CString("内存不足，操作未能完成。"), MB_ICONSTOP};
  } catch (...) {
    return {CString("发生了意外错误，操作未能完成。"), MB_ICONSTOP};
  }
}

void ReportException(const std::exception_ptr& error) noexcept {
  try {
    const ErrorReport report = DescribeException(error);
    AfxMessageBox(report.text, report.type);
  } catch (...) {
    // Out of memory while building the report: a box that needs no allocation of ours.
    ::MessageBoxW(MessageBoxOwner(), L"\u5185\u5b58\u4e0d\u8db3\u3002", nullptr, MB_ICONSTOP);
  }
}

}  // namespace platform
