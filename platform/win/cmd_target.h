// Message maps: a per-class static table that binds window messages and button notifications
// to member functions, searched from the most derived class to its bases.
//
//   class CMyDlg : public platform::CDialog {
//     ...
//     DECLARE_MESSAGE_MAP()
//   };
//   BEGIN_MESSAGE_MAP(CMyDlg, platform::CDialog)
//     ON_WM_PAINT()                      // void OnPaint()
//     ON_WM_QUERYDRAGICON()              // HCURSOR OnQueryDragIcon()
//     ON_BN_CLICKED(IDC_BROWSE, OnBrowse)  // void OnBrowse()
//     ON_COMMAND(ID_HELP, OnHelp)        // void OnHelp()
//   END_MESSAGE_MAP()
#pragma once

#include <windows.h>

namespace platform {

class CCmdTarget;

// Calls the bound member function of `target` (which is of the class that declared the entry).
using AFX_PMSG = LRESULT (*)(CCmdTarget* target, WPARAM wParam, LPARAM lParam);

struct AFX_MSGMAP_ENTRY {
  UINT nMessage;  // WM_...
  UINT nCode;     // for WM_COMMAND: the notification code (BN_CLICKED, 0 for a command)
  UINT nID;       // for WM_COMMAND: the control or command id; 0 otherwise
  AFX_PMSG pfn;   // nullptr ends the table
};

struct AFX_MSGMAP {
  const AFX_MSGMAP* (*pfnGetBaseMap)();  // nullptr for the root
  const AFX_MSGMAP_ENTRY* lpEntries;
};

// The root of every class with a message map.
class CCmdTarget {
 public:
  CCmdTarget() = default;
  virtual ~CCmdTarget() = default;
  CCmdTarget(const CCmdTarget&) = delete;
  CCmdTarget& operator=(const CCmdTarget&) = delete;

  // The entry for `message` (and, for WM_COMMAND, `code` and `id`) in this object's map or
  // the maps of its bases, the most derived first; nullptr if none.
  const AFX_MSGMAP_ENTRY* FindMessageEntry(UINT message, UINT code, UINT id) const;

  // Runs the handler of the command `id` with notification `code`; false if there is none.
  // Exceptions of the handler pass through.
  virtual bool OnCmdMsg(UINT id, UINT code);

 protected:
  static const AFX_MSGMAP* GetThisMessageMap();
  virtual const AFX_MSGMAP* GetMessageMap() const;
};

}  // namespace platform

// The macros' braces do not balance one by one: keep them as written.
// clang-format off
#define DECLARE_MESSAGE_MAP()                                   \
 protected:                                                     \
  static const ::platform::AFX_MSGMAP* GetThisMessageMap();     \
  const ::platform::AFX_MSGMAP* GetMessageMap() const override;

#define BEGIN_MESSAGE_MAP(theClass, baseClass)                                              \
  const ::platform::AFX_MSGMAP* theClass::GetMessageMap() const {                           \
    return GetThisMessageMap();                                                             \
  }                                                                                         \
  const ::platform::AFX_MSGMAP* theClass::GetThisMessageMap() {                             \
    using ThisClass [[maybe_unused]] = theClass;                                            \
    using TheBaseClass = baseClass;                                                         \
    static const ::platform::AFX_MSGMAP_ENTRY message_entries[] = {
#define END_MESSAGE_MAP()                                                                   \
      {0, 0, 0, nullptr}};                                                                  \
    static const ::platform::AFX_MSGMAP message_map = {&TheBaseClass::GetThisMessageMap,    \
                                                       message_entries};                   \
    return &message_map;                                                                    \
  }

#define AFX_MSG_HANDLER_(body)                                                   \
  [](::platform::CCmdTarget* target_, WPARAM, LPARAM) -> LRESULT {               \
    [[maybe_unused]] ThisClass* const self_ = static_cast<ThisClass*>(target_);  \
    body;                                                                        \
  }

// void OnPaint()
#define ON_WM_PAINT() {WM_PAINT, 0, 0, AFX_MSG_HANDLER_(self_->OnPaint(); return 0)},
// HCURSOR OnQueryDragIcon()
#define ON_WM_QUERYDRAGICON() \
  {WM_QUERYDRAGICON, 0, 0,    \
   AFX_MSG_HANDLER_(return reinterpret_cast<LRESULT>(self_->OnQueryDragIcon()))},
// void memberFxn(): a menu, accelerator or button command `id`.
#define ON_COMMAND(id, memberFxn) \
  {WM_COMMAND, 0, static_cast<UINT>(id), AFX_MSG_HANDLER_(self_->memberFxn(); return 0)},
// void memberFxn(): the click notification of button `id`.
#define ON_BN_CLICKED(id, memberFxn)                 \
  {WM_COMMAND, BN_CLICKED, static_cast<UINT>(id), \
   AFX_MSG_HANDLER_(self_->memberFxn(); return 0)},
// clang-format on
