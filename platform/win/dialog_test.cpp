#include "platform/win/dialog.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/win/win_app.h"

namespace platform {
namespace {

class CTestApp : public CWinApp {
 public:
  std::vector<std::string> calls;

 protected:
  void OnHelpCommand() { calls.push_back("help of the application"); }

  DECLARE_MESSAGE_MAP()
};

// clang-format off
BEGIN_MESSAGE_MAP(CTestApp, CWinApp)
  ON_COMMAND(ID_HELP, OnHelpCommand)
END_MESSAGE_MAP()
// clang-format on

// A dialog without a window, whose ending is recorded instead of done.
class CTestDialog : public CDialog {
 public:
  explicit CTestDialog(std::vector<std::string>* calls) : CDialog(100), calls_(calls) {}

 protected:
  void OnOK() override { calls_->push_back("OK"); }
  void OnCancel() override { calls_->push_back("Cancel"); }

 private:
  std::vector<std::string>* calls_;
};

TEST(DialogCommandTest, OkAndCancelEndTheDialogAndOtherCommandsGoToTheApplication) {
  struct Case {
    const char* name;
    WPARAM wParam;
    bool handled;
    std::vector<std::string> calls;
  };
  const Case cases[] = {
      {"OK button", MAKEWPARAM(IDOK, BN_CLICKED), true, {"OK"}},
      {"close button, Esc and close box", MAKEWPARAM(IDCANCEL, BN_CLICKED), true, {"Cancel"}},
      {"help command", MAKEWPARAM(ID_HELP, 0), true, {"help of the application"}},
      {"other notification of the help id", MAKEWPARAM(ID_HELP, BN_DOUBLECLICKED), false, {}},
      {"command nobody handles", MAKEWPARAM(77, 0), false, {}},
  };
  CTestApp app;
  ASSERT_EQ(AfxGetApp(), &app);
  for (const Case& c : cases) {
    app.calls.clear();
    CTestDialog dialog(&app.calls);
    LRESULT result = 0;
    EXPECT_EQ(dialog.OnWndMsg(WM_COMMAND, c.wParam, 0, &result), c.handled) << c.name;
    EXPECT_EQ(app.calls, c.calls) << c.name;
  }
}

TEST(WinAppTest, IsFoundWhileItLivesAndNamedAfterTheExecutable) {
  EXPECT_EQ(AfxGetApp(), nullptr);
  {
    CTestApp app;
    EXPECT_EQ(AfxGetApp(), &app);
    EXPECT_EQ(app.GetAppName(), L"kml_window_test");
    EXPECT_EQ(AfxGetAppName(), L"kml_window_test");
    app.SetRegistryKey("Local AppWizard-Generated Applications");
    EXPECT_EQ(app.GetRegistryKey(), CString("Local AppWizard-Generated Applications"));
  }
  EXPECT_EQ(AfxGetApp(), nullptr);
  EXPECT_EQ(AfxGetAppName(), L"kml_window_test");
}

}  // namespace
}  // namespace platform
