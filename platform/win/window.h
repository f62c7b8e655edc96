// CWnd: a window the program handles messages of; CPaintDC: painting between BeginPaint and
// EndPaint. Thin wrappers over the window system's calls.
#pragma once

#include <windows.h>

#include "platform/win/cmd_target.h"

namespace platform {

class CWnd : public CCmdTarget {
 public:
  HWND GetSafeHwnd() const { return m_hWnd; }
  LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const;
  BOOL IsIconic() const;
  void GetClientRect(RECT* rect) const;
  // Centres the window over its owner, or over the work area of its monitor when it has no
  // visible owner, and keeps it inside that work area.
  void CenterWindow();

  // Dispatches `message` through the message map: WM_COMMAND goes to OnCommand, every other
  // message to the entry bound to it. Gives true (and the handler's result) when a handler ran
  // and did not ask for the default processing. Exceptions of the handler pass through.
  virtual bool OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result);

  HWND m_hWnd = nullptr;

 protected:
  // The command from control or menu item LOWORD(wParam) with notification HIWORD(wParam).
  virtual bool OnCommand(WPARAM wParam, LPARAM lParam);
  // Asks for the window system's default processing of the message being handled.
  void Default() { default_requested_ = true; }
  void OnPaint() { Default(); }

 private:
  bool default_requested_ = false;
};

// The top-left corner that centres a `width` x `height` window over `over`, moved as little as
// needed to keep it inside `bounds` (the top-left corner wins if it does not fit).
POINT CenteredWindowPosition(const RECT& over, const RECT& bounds, LONG width, LONG height);

// Painting of a window's invalid region: BeginPaint when built, EndPaint when released.
class CPaintDC {
 public:
  explicit CPaintDC(CWnd* window);
  ~CPaintDC();
  CPaintDC(const CPaintDC&) = delete;
  CPaintDC& operator=(const CPaintDC&) = delete;

  HDC GetSafeHdc() const { return m_hDC; }
  operator HDC() const { return m_hDC; }  // NOLINT(google-explicit-constructor)

  PAINTSTRUCT m_ps;

 private:
  HWND m_hWnd;
  HDC m_hDC;
};

}  // namespace platform
