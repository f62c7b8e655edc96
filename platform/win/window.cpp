#include "platform/win/window.h"

#include <algorithm>
#include <utility>

namespace platform {

LRESULT CWnd::SendMessage(UINT message, WPARAM wParam, LPARAM lParam) const {
  return ::SendMessageA(m_hWnd, message, wParam, lParam);
}

BOOL CWnd::IsIconic() const { return ::IsIconic(m_hWnd); }

void CWnd::GetClientRect(RECT* rect) const { ::GetClientRect(m_hWnd, rect); }

POINT CenteredWindowPosition(const RECT& over, const RECT& bounds, LONG width, LONG height) {
  LONG x = over.left + ((over.right - over.left) - width) / 2;
  LONG y = over.top + ((over.bottom - over.top) - height) / 2;
  x = std::max(std::min(x, bounds.right - width), bounds.left);
  y = std::max(std::min(y, bounds.bottom - height), bounds.top);
  return POINT{x, y};
}

void CWnd::CenterWindow() {
  RECT window;
  ::GetWindowRect(m_hWnd, &window);
  const HWND owner = ::GetWindow(m_hWnd, GW_OWNER);
  MONITORINFO monitor{};
  monitor.cbSize = sizeof(monitor);
  ::GetMonitorInfoW(
      ::MonitorFromWindow(owner != nullptr ? owner : m_hWnd, MONITOR_DEFAULTTOPRIMARY), &monitor);
  RECT over = monitor.rcWork;
  if (owner != nullptr && ::IsWindowVisible(owner) && !::IsIconic(owner)) {
    ::GetWindowRect(owner, &over);
  }
  const POINT corner = CenteredWindowPosition(over, monitor.rcWork, window.right - window.left,
                                              window.bottom - window.top);
  ::SetWindowPos(m_hWnd, nullptr, corner.x, corner.y, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

bool CWnd::OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) {
  // Handlers may run modal loops that dispatch other messages to this window: each message
  // keeps its own request for the default processing.
  struct RequestScope {
    explicit RequestScope(bool& flag) : flag_(flag), outer_(std::exchange(flag, false)) {}
    ~RequestScope() { flag_ = outer_; }
    RequestScope(const RequestScope&) = delete;
    RequestScope& operator=(const RequestScope&) = delete;
    bool& flag_;
    bool outer_;
  } scope(default_requested_);

  *result = 0;
  if (message == WM_COMMAND) return OnCommand(wParam, lParam) && !default_requested_;
  const AFX_MSGMAP_ENTRY* entry = FindMessageEntry(message, 0, 0);
  if (entry == nullptr) return false;
  *result = entry->pfn(this, wParam, lParam);
  return !default_requested_;
}

bool CWnd::OnCommand(WPARAM wParam, LPARAM) { return OnCmdMsg(LOWORD(wParam), HIWORD(wParam)); }

CPaintDC::CPaintDC(CWnd* window) : m_ps{}, m_hWnd(window->m_hWnd) {
  m_hDC = ::BeginPaint(m_hWnd, &m_ps);
}

CPaintDC::~CPaintDC() { ::EndPaint(m_hWnd, &m_ps); }

}  // namespace platform
