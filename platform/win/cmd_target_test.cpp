#include "platform/win/cmd_target.h"

#include <gtest/gtest.h>

#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/file_exception.h"
#include "platform/win/message_box.h"
#include "platform/win/window.h"

namespace platform {
namespace {

// A window without a window: records which handlers the message map reached.
class CRecordingWnd : public CWnd {
 public:
  std::vector<std::string> calls;
  bool paint_asks_default = false;

 protected:
  void OnPaint() {
    calls.push_back("paint");
    if (paint_asks_default) CWnd::OnPaint();
  }
  HCURSOR OnQueryDragIcon() {
    calls.push_back("drag icon");
    return reinterpret_cast<HCURSOR>(static_cast<LONG_PTR>(0x1234));
  }
  void OnBrowse() { calls.push_back("browse"); }
  void OnFails() { throw CFileException(CFileException::fileNotFound, "C:\\maps\\a.kml", 2); }
  virtual void OnShared() { calls.push_back("shared of base"); }

  DECLARE_MESSAGE_MAP()
};

// clang-format off
BEGIN_MESSAGE_MAP(CRecordingWnd, CWnd)
  ON_WM_PAINT()
  ON_WM_QUERYDRAGICON()
  ON_BN_CLICKED(3, OnBrowse)
  ON_BN_CLICKED(5, OnFails)
  ON_BN_CLICKED(6, OnShared)
END_MESSAGE_MAP()
// clang-format on

class CDerivedWnd : public CRecordingWnd {
 protected:
  void OnWebSite() { calls.push_back("web site"); }
  void OnBrowseAgain() { calls.push_back("browse of derived"); }

  DECLARE_MESSAGE_MAP()
};

// clang-format off
BEGIN_MESSAGE_MAP(CDerivedWnd, CRecordingWnd)
  ON_BN_CLICKED(4, OnWebSite)
  ON_BN_CLICKED(3, OnBrowseAgain)
END_MESSAGE_MAP()
// clang-format on

TEST(MessageMapTest, RoutesMessagesAndClicksToTheirHandlers) {
  struct Case {
    const char* name;
    UINT message;
    WPARAM wParam;
    bool handled;
    std::vector<std::string> calls;
  };
  const Case cases[] = {
      {"paint", WM_PAINT, 0, true, {"paint"}},
      {"drag icon", WM_QUERYDRAGICON, 0, true, {"drag icon"}},
      {"click of control 3", WM_COMMAND, MAKEWPARAM(3, BN_CLICKED), true, {"browse"}},
      {"click of control 4 (derived map only)", WM_COMMAND, MAKEWPARAM(4, BN_CLICKED), false, {}},
      {"double click of control 3", WM_COMMAND, MAKEWPARAM(3, BN_DOUBLECLICKED), false, {}},
      {"click of a control without entry", WM_COMMAND, MAKEWPARAM(7, BN_CLICKED), false, {}},
      {"message without entry", WM_SIZE, 0, false, {}},
  };
  for (const Case& c : cases) {
    CRecordingWnd window;
    LRESULT result = -1;
    EXPECT_EQ(window.OnWndMsg(c.message, c.wParam, 0, &result), c.handled) << c.name;
    EXPECT_EQ(window.calls, c.calls) << c.name;
  }
}

TEST(MessageMapTest, DerivedEntriesComeBeforeTheBaseClasses) {
  CDerivedWnd window;
  LRESULT result = 0;
  EXPECT_TRUE(window.OnWndMsg(WM_COMMAND, MAKEWPARAM(3, BN_CLICKED), 0, &result));
  EXPECT_TRUE(window.OnWndMsg(WM_COMMAND, MAKEWPARAM(4, BN_CLICKED), 0, &result));
  EXPECT_TRUE(window.OnWndMsg(WM_COMMAND, MAKEWPARAM(6, BN_CLICKED), 0, &result));
  EXPECT_TRUE(window.OnWndMsg(WM_PAINT, 0, 0, &result));
  EXPECT_EQ(window.calls,
            (std::vector<std::string>{"browse of derived", "web site", "shared of base", "paint"}));
}

TEST(MessageMapTest, GivesTheHandlersResultAndHonoursDefaultRequests) {
  CRecordingWnd window;
  LRESULT result = 0;
  EXPECT_TRUE(window.OnWndMsg(WM_QUERYDRAGICON, 0, 0, &result));
  EXPECT_EQ(result, 0x1234);

  window.paint_asks_default = true;
  EXPECT_FALSE(window.OnWndMsg(WM_PAINT, 0, 0, &result));
  // The request belongs to that one message.
  EXPECT_TRUE(window.OnWndMsg(WM_COMMAND, MAKEWPARAM(3, BN_CLICKED), 0, &result));
}

TEST(MessageMapTest, ExceptionsOfHandlersReachTheDispatcher) {
  CRecordingWnd window;
  LRESULT result = 0;
  try {
    window.OnWndMsg(WM_COMMAND, MAKEWPARAM(5, BN_CLICKED), 0, &result);
    FAIL() << "no exception";
  } catch (const CFileException& error) {
    EXPECT_EQ(error.m_strFileName, CString("C:\\maps\\a.kml"));
  }
  // The failed message leaves no request behind.
  EXPECT_TRUE(window.OnWndMsg(WM_PAINT, 0, 0, &result));
}

TEST(ErrorReportTest, FileErrorsShowTheirOwnReportWithAStopIcon) {
  const CFileException error(CFileException::sharingViolation, "C:\\maps\\b.kml", 32);
  const ErrorReport report = DescribeException(std::make_exception_ptr(error));
  EXPECT_EQ(report.text, error.GetErrorMessage());
  EXPECT_NE(report.text.Find("C:\\maps\\b.kml"), -1) << report.text.str();
  EXPECT_EQ(report.type, static_cast<UINT>(MB_ICONSTOP));
}

TEST(ErrorReportTest, OtherFailuresGetAChineseSentence) {
  struct Case {
    const char* name;
    std::exception_ptr error;
    const char* text;
  };
  const Case cases[] = {
      {"lack of memory", std::make_exception_ptr(std::bad_alloc()), "内存不足"},
      {"anything else", std::make_exception_ptr(std::runtime_error("x")), "意外错误"},
      {"not even a std::exception", std::make_exception_ptr(42), "意外错误"},
  };
  for (const Case& c : cases) {
    const ErrorReport report = DescribeException(c.error);
    EXPECT_NE(report.text.Find(c.text), -1) << c.name;
    EXPECT_EQ(report.type, static_cast<UINT>(MB_ICONSTOP)) << c.name;
  }
}

}  // namespace
}  // namespace platform
