// CConverterApp: the application object. Its start-up runs the main dialog modally; when the
// dialog ends, the program ends.
#pragma once

#include "platform/win/win_app.h"

class CConverterApp : public platform::CWinApp {
 public:
  CConverterApp() = default;

  // Prepares the controls, runs the main dialog and gives FALSE: no message loop follows.
  BOOL InitInstance() override;

  DECLARE_MESSAGE_MAP()
};
