#include "ui/converter_dlg.h"

#include <shellapi.h>

#include "convert/first_line.h"
#include "platform/cstring.h"
#include "platform/win/file_dialog.h"
#include "platform/win/message_box.h"
#include "platform/win/win_app.h"
#include "ui/icon_position.h"

namespace {

// The maker's web site. A placeholder: the reserved example domain.
constexpr char kWebSiteAddress[] = "http://www.example.com/";

}  // namespace

// clang-format off
BEGIN_MESSAGE_MAP(CConverterDlg, platform::CDialog)
  ON_WM_PAINT()
  ON_WM_QUERYDRAGICON()
  ON_BN_CLICKED(IDC_BROWSE, OnBrowse)
  ON_BN_CLICKED(IDC_WEBSITE, OnWebSite)
END_MESSAGE_MAP()
// clang-format on

CConverterDlg::CConverterDlg(platform::CWnd* parent) : platform::CDialog(IDD, parent) {
  m_hIcon = platform::AfxGetApp()->LoadIcon(IDR_MAINFRAME);
}

BOOL CConverterDlg::OnInitDialog() {
  platform::CDialog::OnInitDialog();
  SendMessage(WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
  SendMessage(WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIcon));
  return TRUE;
}

void CConverterDlg::OnPaint() {
  if (!IsIconic()) {
    platform::CDialog::OnPaint();
    return;
  }
  platform::CPaintDC dc(this);
  SendMessage(WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc.GetSafeHdc()), 0);
  const int icon_width = ::GetSystemMetrics(SM_CXICON);
  const int icon_height = ::GetSystemMetrics(SM_CYICON);
  RECT client;
  GetClientRect(&client);
  const POINT corner = ui::CenteredIconPosition(client, icon_width, icon_height);
  ::DrawIcon(dc, corner.x, corner.y, m_hIcon);
}

HCURSOR CConverterDlg::OnQueryDragIcon() { return static_cast<HCURSOR>(m_hIcon); }

void CConverterDlg::OnBrowse() {
  platform::CFileDialog dialog(TRUE, nullptr, nullptr,
                               OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT | OFN_ALLOWMULTISELECT,
                               "KML文件(*.kml)|*.kml|所有文件(*.*)|*.*|");
  if (dialog.DoModal() != IDOK) return;
  platform::POSITION position = dialog.GetStartPosition();
  while (position != nullptr) {
    const platform::CString path = dialog.GetNextPathName(position);
    convert::ConvertFile(path);
  }
  platform::AfxMessageBox("转换完毕。", MB_ICONINFORMATION);
}

void CConverterDlg::OnWebSite() {
  ::ShellExecuteA(nullptr, "open", kWebSiteAddress, nullptr, nullptr, SW_SHOWNORMAL);
}
