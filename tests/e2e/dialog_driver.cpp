// Drives KmlConverter.exe as a person would: finds its dialog, reads the controls, clicks the
// buttons, chooses files in the open-file dialog, reads the message boxes (text, caption, icon
// colour on the screen) and checks the files that the program writes, byte for byte.
//
// Usage: kml_dialog_driver <KmlConverter.exe> <work folder>
// The work folder must be empty. It gets the KML files and their outputs; the driver asks for a
// screenshot by creating screenshot.request in it and waits for screenshot.done; for the web-site
// button it expects browser.sh (a program that appends its argument to browser.log) there and
// makes Wine's browser launcher use it. Exit status 0 when every check passed.
#include <windows.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <type_traits>
#include <vector>

namespace {

using namespace std::chrono_literals;

const wchar_t kCaption[] = L"KML文件转换工具 v1.0 - 朔维软件";
const wchar_t kAppName[] = L"KmlConverter";
const wchar_t kDoneText[] = L"转换完毕。";
const wchar_t kWebSite[] = L"http://www.example.com/";
constexpr int kIdBrowse = 3;
constexpr int kIdWebSite = 4;
constexpr int kIdFileTypes = 0x470;  // the open-file dialog's file-type list

std::wstring g_exe;        // Windows path of KmlConverter.exe
std::wstring g_work;       // Windows path of the work folder
std::wstring g_work_unix;  // the same, as the Unix side knows it
std::string g_scenario;
int g_failures = 0;

// ---------------------------------------------------------------------------------------------
// Reporting

std::string Utf8(const std::wstring& text) {
  if (text.empty()) return std::string();
  const int length = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                         nullptr, 0, nullptr, nullptr);
  std::string utf8(static_cast<size_t>(length), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), utf8.data(), length,
                      nullptr, nullptr);
  return utf8;
}

void Log(const std::string& line) {
  std::printf("%s\n", line.c_str());
  std::fflush(stdout);
}

bool Check(bool ok, const std::string& what) {
  if (!ok) {
    ++g_failures;
    Log("FAILED [" + g_scenario + "] " + what);
  }
  return ok;
}

template <typename T>
bool CheckEqual(const T& actual, const T& expected, const std::string& what) {
  if constexpr (std::is_same_v<T, std::wstring>) {
    return Check(actual == expected,
                 what + ": got \"" + Utf8(actual) + "\", expected \"" + Utf8(expected) + "\"");
  } else {
    return Check(actual == expected, what + ": got " + std::to_string(actual) + ", expected " +
                                         std::to_string(expected));
  }
}

// ---------------------------------------------------------------------------------------------
// Files

std::wstring WindowsPath(std::wstring path) {
  if (!path.empty() && path[0] == L'/') path = L"Z:" + path;
  for (wchar_t& ch : path) {
    if (ch == L'/') ch = L'\\';
  }
  while (path.size() > 3 && path.back() == L'\\') path.pop_back();
  return path;
}

std::wstring Join(const std::wstring& folder, const std::wstring& name) {
  return folder + L"\\" + name;
}

bool WriteBytes(const std::wstring& path, const std::string& bytes) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const BOOL ok =
      WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(file);
  return ok && written == bytes.size();
}

std::optional<std::string> ReadBytes(const std::wstring& path) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return std::nullopt;
  std::string bytes;
  char buffer[65536];
  DWORD got = 0;
  while (ReadFile(file, buffer, sizeof(buffer), &got, nullptr) && got > 0)
    bytes.append(buffer, got);
  CloseHandle(file);
  return bytes;
}

bool Exists(const std::wstring& path) {
  return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

void MakeFolder(const std::wstring& path) { CreateDirectoryW(path.c_str(), nullptr); }

// A KML file whose first coordinate list has `points` tuples, and the MIF and MID files that
// the program must make of it.
struct Sample {
  std::string kml, mif, mid;
};

Sample MakeSample(int points, int seed) {
  Sample sample;
  std::string tuples, lines;
  for (int i = 0; i < points; ++i) {
    const std::string x = "116." + std::to_string(100 + seed * 7 + i);
    const std::string y = "39." + std::to_string(500 + seed * 3 + i);
    tuples += x + "," + y + ",0 ";
    lines += x + " " + y + "\r\n";
  }
  sample.kml =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n"
      "<kml xmlns=\"http://www.opengis.net/kml/2.2\">\r\n<Document>\r\n<Placemark>\r\n"
      "<name>route " +
      std::to_string(seed) +
      "</name>\r\n<LineString>\r\n<coordinates>\r\n"
      "\t\t" +
      tuples +
      "\r\n</coordinates>\r\n</LineString>\r\n</Placemark>\r\n</Document>\r\n"
      "</kml>\r\n";
  sample.mif = "VERSION 300\r\nDELIMITER \",\"\r\nCOLUMNS 1\r\nblank char(1)\r\nDATA\r\nPLINE " +
               std::to_string(points) + "\r\n\t\t" + lines;
  for (int i = 0; i < points; ++i) sample.mid += "\r\n";
  return sample;
}

// `name` less its last three characters, followed by `extension`.
std::wstring Sibling(const std::wstring& path, const wchar_t* extension) {
  return path.substr(0, path.size() - 3) + extension;
}

struct KmlFile {
  std::wstring path;
  Sample sample;
};

KmlFile WriteKml(const std::wstring& folder, const std::wstring& name, int points, int seed) {
  KmlFile file{Join(folder, name), MakeSample(points, seed)};
  Check(WriteBytes(file.path, file.sample.kml), "cannot write " + Utf8(file.path));
  return file;
}

void CheckConverted(const KmlFile& file) {
  const std::optional<std::string> mif = ReadBytes(Sibling(file.path, L"mif"));
  const std::optional<std::string> mid = ReadBytes(Sibling(file.path, L"mid"));
  Check(mif.has_value() && *mif == file.sample.mif, "MIF output of " + Utf8(file.path));
  Check(mid.has_value() && *mid == file.sample.mid, "MID output of " + Utf8(file.path));
  const std::optional<std::string> kml = ReadBytes(file.path);
  Check(kml.has_value() && *kml == file.sample.kml, "input unchanged: " + Utf8(file.path));
}

void CheckNotConverted(const KmlFile& file) {
  Check(!Exists(Sibling(file.path, L"mif")), "no MIF output for " + Utf8(file.path));
  Check(!Exists(Sibling(file.path, L"mid")), "no MID output for " + Utf8(file.path));
}

// ---------------------------------------------------------------------------------------------
// Windows of the program

bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
  const auto end = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    if (condition()) return true;
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(50ms);
  }
}

std::wstring ClassOf(HWND window) {
  wchar_t name[256] = {};
  GetClassNameW(window, name, 256);
  return name;
}

std::wstring TextOf(HWND window) {
  DWORD_PTR length = 0;
  if (!SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 10000, &length)) {
    return L"<no answer>";
  }
  std::wstring text(length + 1, L'\0');
  DWORD_PTR copied = 0;
  SendMessageTimeoutW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()),
                      SMTO_ABORTIFHUNG, 10000, &copied);
  text.resize(copied);
  return text;
}

void SetText(HWND window, const std::wstring& text) {
  DWORD_PTR ignored = 0;
  SendMessageTimeoutW(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()),
                      SMTO_ABORTIFHUNG, 10000, &ignored);
}

std::vector<HWND> ChildrenOf(HWND window) {
  std::vector<HWND> children;
  for (HWND child = GetWindow(window, GW_CHILD); child != nullptr;
       child = GetWindow(child, GW_HWNDNEXT)) {
    children.push_back(child);
  }
  return children;
}

// The visible top-level dialog-class windows of process `pid`.
std::vector<HWND> DialogsOf(DWORD pid) {
  struct Search {
    DWORD pid;
    std::vector<HWND> found;
  } search{pid, {}};
  EnumWindows(
      [](HWND window, LPARAM data) -> BOOL {
        auto* s = reinterpret_cast<Search*>(data);
        DWORD owner_pid = 0;
        GetWindowThreadProcessId(window, &owner_pid);
        if (owner_pid == s->pid && IsWindowVisible(window) && ClassOf(window) == L"#32770") {
          s->found.push_back(window);
        }
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}

void Click(HWND dialog, int id) {
  PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

// What a message box shows: caption, text, buttons and the colour of its icon on the screen.
struct MessageBoxView {
  HWND window = nullptr;
  std::wstring caption, text;
  int buttons = 0;
  // Pixels of the icon by colour: Wine's stop icon is red, its warning icon orange, its
  // information icon blue.
  int red_pixels = 0, orange_pixels = 0, blue_pixels = 0;
  bool stop() const { return Dominant(red_pixels); }
  bool warning() const { return Dominant(orange_pixels); }
  bool information() const { return Dominant(blue_pixels); }
  std::string Icon() const {
    return stop() ? "stop" : warning() ? "warning" : information() ? "information" : "unknown";
  }
  std::string Colours() const {
    return "red " + std::to_string(red_pixels) + ", orange " + std::to_string(orange_pixels) +
           ", blue " + std::to_string(blue_pixels);
  }

 private:
  bool Dominant(int pixels) const {
    return pixels >= 20 && 4 * (red_pixels + orange_pixels + blue_pixels - pixels) < pixels;
  }
};

void SampleIconColours(HWND icon, MessageBoxView* view) {
  RECT rect;
  GetWindowRect(icon, &rect);
  const int width = rect.right - rect.left, height = rect.bottom - rect.top;
  if (width <= 0 || height <= 0) return;
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY);
  GdiFlush();
  const auto* pixels = static_cast<const uint8_t*>(bits);
  view->red_pixels = view->orange_pixels = view->blue_pixels = 0;
  for (int i = 0; i < width * height; ++i) {
    const int b = pixels[4 * i], g = pixels[4 * i + 1], r = pixels[4 * i + 2];
    if (r > 150 && g < 100 && b < 100 && std::abs(g - b) < 40) ++view->red_pixels;
    if (r > 200 && g >= 100 && g < 200 && b < 90) ++view->orange_pixels;
    if (b > 140 && b > r + 50) ++view->blue_pixels;
  }
  SelectObject(memory, old);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
}

MessageBoxView ReadMessageBox(HWND box) {
  MessageBoxView view;
  view.window = box;
  view.caption = TextOf(box);
  view.text = TextOf(GetDlgItem(box, 0xFFFF));
  HWND icon = nullptr;
  for (HWND child : ChildrenOf(box)) {
    if (ClassOf(child) == L"Button" && IsWindowVisible(child)) ++view.buttons;
    if ((GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON &&
        ClassOf(child) == L"Static") {
      icon = child;
    }
  }
  // The box may still be painting: look again for a while.
  if (icon != nullptr) {
    WaitUntil(
        [&] {
          SampleIconColours(icon, &view);
          return view.Icon() != "unknown";
        },
        3s);
  }
  return view;
}

// A running KmlConverter.exe.
class Program {
 public:
  Program() = default;
  Program(const Program&) = delete;
  Program& operator=(const Program&) = delete;
  ~Program() {
    if (process_.hProcess != nullptr) {
      if (WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT) {
        TerminateProcess(process_.hProcess, 1);
      }
      CloseHandle(process_.hProcess);
      CloseHandle(process_.hThread);
    }
  }

  bool Start() {
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    std::wstring command_line = L"\"" + g_exe + L"\"";
    if (!CreateProcessW(g_exe.c_str(), command_line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        g_work.c_str(), &startup, &process_)) {
      return Check(false, "cannot start " + Utf8(g_exe));
    }
    WaitUntil(
        [&] {
          for (HWND window : DialogsOf(pid())) {
            if (TextOf(window) == kCaption) dialog_ = window;
          }
          return dialog_ != nullptr;
        },
        60s);
    return Check(dialog_ != nullptr, "the main dialog appears");
  }

  DWORD pid() const { return process_.dwProcessId; }
  DWORD thread_id() const { return process_.dwThreadId; }
  HWND dialog() const { return dialog_; }
  bool Running() const {
    return process_.hProcess != nullptr &&
           WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT;
  }
  bool WaitForExit(std::chrono::milliseconds timeout) const {
    return WaitForSingleObject(process_.hProcess, static_cast<DWORD>(timeout.count())) ==
           WAIT_OBJECT_0;
  }

  // The top-level dialogs other than the main dialog: open-file dialogs and message boxes.
  std::vector<HWND> OtherWindows() const {
    std::vector<HWND> others;
    for (HWND window : DialogsOf(pid())) {
      if (window != dialog_) others.push_back(window);
    }
    return others;
  }
  std::vector<HWND> MessageBoxes() const {
    std::vector<HWND> boxes;
    for (HWND window : OtherWindows()) {
      if (GetDlgItem(window, kIdFileTypes) == nullptr && GetDlgItem(window, 0xFFFF) != nullptr) {
        boxes.push_back(window);
      }
    }
    return boxes;
  }

  // Presses the browse button and gives the open-file dialog.
  HWND Browse() {
    Click(dialog_, kIdBrowse);
    HWND open = nullptr;
    WaitUntil(
        [&] {
          for (HWND window : OtherWindows()) {
            if (GetDlgItem(window, kIdFileTypes) != nullptr) open = window;
          }
          return open != nullptr;
        },
        30s);
    Check(open != nullptr, "the open-file dialog appears");
    return open;
  }

  // Waits for the one message box that must come, reads it and closes it; then makes sure that
  // no other box follows.
  std::optional<MessageBoxView> TakeTheOnlyMessageBox(std::chrono::milliseconds timeout = 120s) {
    std::vector<HWND> boxes;
    WaitUntil(
        [&] {
          boxes = MessageBoxes();
          return !boxes.empty();
        },
        timeout);
    if (!Check(!boxes.empty(), "a message box appears")) return std::nullopt;
    std::this_thread::sleep_for(300ms);
    boxes = MessageBoxes();
    CheckEqual(static_cast<int>(boxes.size()), 1, "message boxes at once");
    MessageBoxView view = ReadMessageBox(boxes.front());
    Log("   box \"" + Utf8(view.caption) + "\": \"" + Utf8(view.text) + "\" (" + view.Icon() +
        " icon)");
    CloseBox(view.window);
    std::this_thread::sleep_for(1000ms);
    Check(MessageBoxes().empty(), "no further message box");
    return view;
  }

  void ExpectNoMessageBox(std::chrono::milliseconds during) {
    std::this_thread::sleep_for(during);
    const std::vector<HWND> boxes = MessageBoxes();
    Check(boxes.empty(),
          "no message box" +
              (boxes.empty() ? std::string() : ": " + Utf8(TextOf(GetDlgItem(boxes[0], 0xFFFF)))));
  }

  static void CloseBox(HWND box) {
    Click(box, IDOK);
    WaitUntil([&] { return !IsWindow(box); }, 10s);
  }

  // Closes whatever a failed check left open, so that the next scenario starts afresh.
  void Recover() {
    for (int round = 0; round < 5 && !OtherWindows().empty(); ++round) {
      for (HWND window : OtherWindows()) {
        Click(window, IDCANCEL);
        Click(window, IDOK);
      }
      std::this_thread::sleep_for(500ms);
    }
  }

 private:
  PROCESS_INFORMATION process_{};
  HWND dialog_ = nullptr;
};

// Chooses `names` (in this order) from `folder` in the open-file dialog `open`: the folder is
// entered first, then the names, each in quotes when there are several.
void Choose(HWND open, const std::wstring& folder, const std::vector<std::wstring>& names) {
  HWND name_box = GetDlgItem(open, 0x47C);
  if (name_box == nullptr) name_box = GetDlgItem(open, 0x480);
  if (!Check(name_box != nullptr, "the file-name box of the open-file dialog")) return;
  if (names.size() == 1) {
    SetText(name_box, Join(folder, names[0]));
  } else {
    SetText(name_box, folder);
    Click(open, IDOK);
    std::this_thread::sleep_for(1500ms);
    std::wstring list;
    for (const std::wstring& name : names) list += L"\"" + name + L"\" ";
    SetText(name_box, list);
  }
  Click(open, IDOK);
  Check(WaitUntil([&] { return !IsWindow(open); }, 30s), "the open-file dialog closes");
}

// ---------------------------------------------------------------------------------------------
// Scenarios

struct ExpectedControl {
  int id;
  const wchar_t* window_class;
  DWORD style;
  const wchar_t* text;
};

void CheckDialog(const Program& program) {
  HWND dialog = program.dialog();
  const DWORD style = static_cast<DWORD>(GetWindowLongW(dialog, GWL_STYLE));
  CheckEqual<DWORD>(style & 0x90C800C0u, 0x90C800C0u, "dialog style bits");
  Check((GetWindowLongW(dialog, GWL_EXSTYLE) & WS_EX_APPWINDOW) != 0, "WS_EX_APPWINDOW");

  const ExpectedControl expected[] = {
      {kIdBrowse, L"Button", 0x50010000, L"浏览(&B)..."},
      {-1, L"Static", 0x50020000,
       L"请选择需要转换的KML(*.kml)文件，转换完成后，将在KML(*.kml)\n\n"
       L"文件所在的相同文件夹生成同名的MIF(*.mif和*.mid)文件。"},
      {-1, L"Static", 0x50020000, L"网址 ：http://www.example.com/"},
      {kIdWebSite, L"Button", 0x50010000, L"请勿点击"},
      {-1, L"Static", 0x50020000, L"QQ   ：10000"},
      {-1, L"Static", 0x50020000, L"Email：someone@example.org"},
      {IDCANCEL, L"Button", 0x50010000, L"关闭(&C)"},
      {-1, L"Button", 0x50000007, L"文件转换"},
      {-1, L"Button", 0x50000007, L"关于我们"},
      {-1, L"Static", 0x50020000, L"(*)请将您的意见或建议反馈给我们，感谢您的支持！"},
  };
  const std::vector<HWND> controls = ChildrenOf(dialog);
  CheckEqual(static_cast<int>(controls.size()), 10, "number of controls");
  for (size_t i = 0; i < controls.size() && i < 10; ++i) {
    const std::string which = "control " + std::to_string(i + 1);
    const int id = GetDlgCtrlID(controls[i]);
    if (expected[i].id == -1) {
      Check((id & 0xFFFF) == 0xFFFF, which + " id -1, got " + std::to_string(id));
    } else {
      CheckEqual(id, expected[i].id, which + " id");
    }
    CheckEqual(ClassOf(controls[i]), std::wstring(expected[i].window_class), which + " class");
    // The focused push button becomes the default one (BS_DEFPUSHBUTTON) at run time.
    DWORD control_style = static_cast<DWORD>(GetWindowLongW(controls[i], GWL_STYLE));
    if (expected[i].style == 0x50010000) control_style &= ~static_cast<DWORD>(BS_DEFPUSHBUTTON);
    CheckEqual<DWORD>(control_style, expected[i].style, which + " style");
    CheckEqual(TextOf(controls[i]), std::wstring(expected[i].text), which + " text");
  }

  // Centred on the screen (the work area; there is no task bar here).
  RECT window, work;
  GetWindowRect(dialog, &window);
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  const long width = window.right - window.left, height = window.bottom - window.top;
  const long left = work.left + (work.right - work.left - width) / 2;
  const long top = work.top + (work.bottom - work.top - height) / 2;
  Check(std::abs(window.left - left) <= 1 && std::abs(window.top - top) <= 1,
        "dialog centred: at " + std::to_string(window.left) + "," + std::to_string(window.top) +
            ", centred would be " + std::to_string(left) + "," + std::to_string(top));

  // The focus is on the browse button (OnInitDialog gave TRUE).
  GUITHREADINFO gui{};
  gui.cbSize = sizeof(gui);
  GetGUIThreadInfo(program.thread_id(), &gui);
  Check(gui.hwndFocus == GetDlgItem(dialog, kIdBrowse), "focus on the browse button");
}

// The screenshot, and the icon that the dialog gave its window: Wine passes it on to the X
// window, where the script reads it (messages such as WM_GETICON do not cross processes here).
void TakeScreenshot() {
  const std::wstring request = Join(g_work, L"screenshot.request");
  const std::wstring done = Join(g_work, L"screenshot.done");
  std::this_thread::sleep_for(500ms);  // let the dialog finish painting
  WriteBytes(request, "");
  if (!Check(WaitUntil([&] { return Exists(done); }, 30s), "screenshot taken")) return;
  const std::string icon = ReadBytes(Join(g_work, L"window-icon.txt")).value_or("");
  Check(icon.find("Icon (32 x 32)") != std::string::npos,
        "the window shows the 32 x 32 application icon: " + icon);
}

void CheckCompletionBox(const std::optional<MessageBoxView>& box) {
  if (!box) return;
  CheckEqual(box->text, std::wstring(kDoneText), "completion box text");
  CheckEqual(box->caption, std::wstring(kAppName), "completion box caption");
  CheckEqual(box->buttons, 1, "completion box buttons");
  Check(box->information(), "completion box shows the information icon (" + box->Colours() + ")");
}

void ConvertOneFile(Program& program) {
  const std::wstring folder = Join(g_work, L"one");
  MakeFolder(folder);
  const KmlFile file = WriteKml(folder, L"路线.kml", 2, 1);
  HWND open = program.Browse();
  if (open == nullptr) return;

  CheckEqual(TextOf(open), std::wstring(L"打开"), "open-file dialog caption");
  HWND types = GetDlgItem(open, kIdFileTypes);
  DWORD_PTR count = 0, selected = 0;
  SendMessageTimeoutW(types, CB_GETCOUNT, 0, 0, SMTO_ABORTIFHUNG, 5000, &count);
  SendMessageTimeoutW(types, CB_GETCURSEL, 0, 0, SMTO_ABORTIFHUNG, 5000, &selected);
  CheckEqual(static_cast<int>(count), 2, "filters");
  CheckEqual(static_cast<int>(selected), 0, "filter chosen at the start");
  const wchar_t* const filters[] = {L"KML文件(*.kml)", L"所有文件(*.*)"};
  for (int i = 0; i < 2; ++i) {
    wchar_t text[256] = {};
    DWORD_PTR ignored = 0;
    SendMessageTimeoutW(types, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG,
                        5000, &ignored);
    CheckEqual(std::wstring(text), std::wstring(filters[i]), "filter " + std::to_string(i + 1));
  }

  Choose(open, folder, {L"路线.kml"});
  CheckCompletionBox(program.TakeTheOnlyMessageBox());
  CheckConverted(file);
}

void ConvertThreeFiles(Program& program) {
  const std::wstring folder = Join(g_work, L"three");
  MakeFolder(folder);
  const std::vector<KmlFile> files = {WriteKml(folder, L"b.kml", 3, 2),
                                      WriteKml(folder, L"a.kml", 1, 3),
                                      WriteKml(folder, L"c 文件.kml", 5, 4)};
  HWND open = program.Browse();
  if (open == nullptr) return;
  Choose(open, folder, {L"b.kml", L"a.kml", L"c 文件.kml"});
  std::vector<HWND> boxes;
  WaitUntil(
      [&] {
        boxes = program.MessageBoxes();
        return !boxes.empty();
      },
      60s);
  // The box comes after the last file.
  for (const KmlFile& file : files) CheckConverted(file);
  CheckCompletionBox(program.TakeTheOnlyMessageBox());
}

void CancelBrowsing(Program& program) {
  const std::wstring folder = Join(g_work, L"cancel");
  MakeFolder(folder);
  const KmlFile file = WriteKml(folder, L"x.kml", 2, 5);
  HWND open = program.Browse();
  if (open == nullptr) return;
  HWND name_box =
      GetDlgItem(open, 0x47C) != nullptr ? GetDlgItem(open, 0x47C) : GetDlgItem(open, 0x480);
  SetText(name_box, file.path);
  Click(open, IDCANCEL);
  Check(WaitUntil([&] { return !IsWindow(open); }, 20s), "the open-file dialog closes");
  program.ExpectNoMessageBox(1500ms);
  CheckNotConverted(file);
}

void SecondFileLocked(Program& program) {
  const std::wstring folder = Join(g_work, L"lock");
  MakeFolder(folder);
  const std::vector<KmlFile> files = {WriteKml(folder, L"l1.kml", 2, 6),
                                      WriteKml(folder, L"l2.kml", 3, 7),
                                      WriteKml(folder, L"l3.kml", 4, 8)};
  // Another program holds the second file for exclusive use.
  HANDLE lock = CreateFileW(files[1].path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  Check(lock != INVALID_HANDLE_VALUE, "lock the second file");
  HWND open = program.Browse();
  if (open != nullptr) {
    Choose(open, folder, {L"l1.kml", L"l2.kml", L"l3.kml"});
    const std::optional<MessageBoxView> box = program.TakeTheOnlyMessageBox();
    if (box) {
      Check(box->text.find(L"l2.kml") != std::wstring::npos,
            "error box names the second file: \"" + Utf8(box->text) + "\"");
      Check(box->text.find(kDoneText) == std::wstring::npos, "error box is no completion box");
      CheckEqual(box->caption, std::wstring(kAppName), "error box caption");
      CheckEqual(box->buttons, 1, "error box buttons");
      Check(box->stop(), "error box shows the stop icon (" + box->Colours() + ")");
    }
    CheckConverted(files[0]);
    CheckNotConverted(files[1]);
    CheckNotConverted(files[2]);
  }
  if (lock != INVALID_HANDLE_VALUE) CloseHandle(lock);

  // The dialog is still there and converts the rest.
  Check(program.Running() && IsWindow(program.dialog()), "the dialog stays open");
  open = program.Browse();
  if (open == nullptr) return;
  Choose(open, folder, {L"l2.kml", L"l3.kml"});
  CheckCompletionBox(program.TakeTheOnlyMessageBox());
  for (const KmlFile& file : files) CheckConverted(file);
}

// Hundreds of files with long Chinese names, in a folder whose name ends with 嘰 (0x87 0x5C in
// code page 936: a trail byte equal to a backslash).
void HundredsOfChineseNames(Program& program) {
  const std::wstring folder = Join(g_work, L"汉字嘰");
  MakeFolder(folder);
  std::vector<KmlFile> files;
  std::vector<std::wstring> names;
  for (int i = 0; i < 150; ++i) {
    wchar_t number[8];
    swprintf(number, 8, L"%03d", i);
    const std::wstring name = std::wstring(L"第") + number +
                              L"号线路：北京市海淀区中关村大街至朝阳区建国门外大街的骑行记录.kml";
    names.push_back(name);
    files.push_back(WriteKml(folder, name, 1 + i % 4, 100 + i));
  }
  HWND open = program.Browse();
  if (open == nullptr) return;
  Choose(open, folder, names);
  CheckCompletionBox(program.TakeTheOnlyMessageBox());
  int wrong = 0;
  for (const KmlFile& file : files) {
    const std::optional<std::string> mif = ReadBytes(Sibling(file.path, L"mif"));
    const std::optional<std::string> mid = ReadBytes(Sibling(file.path, L"mid"));
    if (!mif || *mif != file.sample.mif || !mid || *mid != file.sample.mid) ++wrong;
  }
  CheckEqual(wrong, 0, "files of the 150 not converted exactly");
}

// More names than the selection buffer holds: a clear box, nothing converted.
void SelectionTooLong(Program& program) {
  const std::wstring folder = Join(g_work, L"long");
  MakeFolder(folder);
  std::vector<KmlFile> files;
  std::vector<std::wstring> names;
  for (int i = 0; i < 340; ++i) {
    wchar_t number[8];
    swprintf(number, 8, L"%03d", i);
    const std::wstring name = std::wstring(L"t") + number + std::wstring(192, L'x') + L".kml";
    names.push_back(name);
    files.push_back(WriteKml(folder, name, 2, 500 + i));
  }
  HWND open = program.Browse();
  if (open == nullptr) return;
  Choose(open, folder, names);
  const std::optional<MessageBoxView> box = program.TakeTheOnlyMessageBox();
  if (box) {
    Check(box->text.find(L"选择的文件太多") != std::wstring::npos,
          "box says that too many files were chosen: \"" + Utf8(box->text) + "\"");
    CheckEqual(box->caption, std::wstring(kAppName), "box caption");
    Check(box->warning(), "the box shows the warning icon (" + box->Colours() + ")");
  }
  int converted = 0;
  for (const KmlFile& file : files) {
    if (Exists(Sibling(file.path, L"mif")) || Exists(Sibling(file.path, L"mid"))) ++converted;
  }
  CheckEqual(converted, 0, "files converted from a selection that did not fit");
}

// Wine hands web addresses to the first of these programs that runs.
void SetBrowser(const std::wstring& browser) {
  HKEY key = nullptr;
  RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Wine\\WineBrowser", 0, nullptr, 0, KEY_SET_VALUE,
                  nullptr, &key, nullptr);
  RegSetValueExW(key, L"Browsers", 0, REG_SZ, reinterpret_cast<const BYTE*>(browser.c_str()),
                 static_cast<DWORD>((browser.size() + 1) * sizeof(wchar_t)));
  RegCloseKey(key);
}

void OpenWebSite(Program& program) {
  SetBrowser(g_work_unix + L"/browser.sh");

  const std::wstring label = TextOf(ChildrenOf(program.dialog()).at(2));
  CheckEqual(label, std::wstring(L"网址 ：") + kWebSite, "web address shown");

  const std::wstring log = Join(g_work, L"browser.log");
  Click(program.dialog(), kIdWebSite);
  std::optional<std::string> opened;
  WaitUntil(
      [&] {
        opened = ReadBytes(log);
        return opened.has_value() && !opened->empty() && opened->back() == '\n';
      },
      60s);
  Check(opened.has_value() && *opened == Utf8(kWebSite) + "\n",
        "the browser got the web address: \"" + opened.value_or("<nothing>") + "\"");
  program.ExpectNoMessageBox(500ms);
}

// No browser at all: the program says nothing and goes on.
void WebSiteWithoutBrowser(Program& program) {
  SetBrowser(L"/nonexistent/browser");
  Click(program.dialog(), kIdWebSite);
  program.ExpectNoMessageBox(5000ms);
  CheckEqual(TextOf(program.dialog()), std::wstring(kCaption), "the dialog still answers");
}

// The registry key named at start-up stays unwritten.
void CheckNothingStored() {
  g_scenario = "settings";
  HKEY key = nullptr;
  const LONG opened = RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\应用程序向导生成的本地应用程序",
                                    0, KEY_READ, &key);
  if (opened == ERROR_SUCCESS) RegCloseKey(key);
  Check(opened != ERROR_SUCCESS, "nothing stored under the registry key");
}

void RunScenario(const char* name, Program& program, void (*scenario)(Program&)) {
  g_scenario = name;
  const int failures_before = g_failures;
  Log("-- " + g_scenario);
  if (!program.Running()) {
    Check(false, "the program is not running");
    return;
  }
  scenario(program);
  program.Recover();
  if (g_failures == failures_before) Log("   ok");
}

void CloseAndExpectExit(Program& program, const char* how, const std::function<void()>& close) {
  g_scenario = std::string("close with ") + how;
  Log("-- " + g_scenario);
  close();
  Check(program.WaitForExit(20s), "the program ends");
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: kml_dialog_driver KmlConverter.exe work-folder\n");
    return 2;
  }
  g_exe = WindowsPath(argv[1]);
  g_work_unix = argv[2];
  g_work = WindowsPath(argv[2]);

  {
    g_scenario = "start";
    Log("-- start and look at the dialog");
    Program first;
    if (!first.Start()) return 1;
    CheckDialog(first);
    TakeScreenshot();

    RunScenario("convert one file", first, ConvertOneFile);
    RunScenario("convert three files", first, ConvertThreeFiles);
    RunScenario("cancel", first, CancelBrowsing);
    RunScenario("second of three files locked", first, SecondFileLocked);
    RunScenario("150 long Chinese names", first, HundredsOfChineseNames);
    RunScenario("selection too long for the buffer", first, SelectionTooLong);
    RunScenario("web site", first, OpenWebSite);
    RunScenario("web site without a browser", first, WebSiteWithoutBrowser);

    // A second instance runs beside the first; Esc ends it alone.
    Program second;
    g_scenario = "second instance";
    if (second.Start()) {
      Check(second.pid() != first.pid() && second.dialog() != first.dialog(),
            "a second, independent instance");
      CloseAndExpectExit(second, "Esc", [&] {
        PostMessageW(GetDlgItem(second.dialog(), kIdBrowse), WM_KEYDOWN, VK_ESCAPE, 0x00010001);
        PostMessageW(GetDlgItem(second.dialog(), kIdBrowse), WM_KEYUP, VK_ESCAPE, 0xC0010001);
      });
      Check(first.Running(), "the first instance still runs");
    }

    CloseAndExpectExit(first, "the close button", [&] { Click(first.dialog(), IDCANCEL); });

    Program third;
    g_scenario = "third instance";
    if (third.Start()) {
      CloseAndExpectExit(third, "the caption's close box",
                         [&] { PostMessageW(third.dialog(), WM_SYSCOMMAND, SC_CLOSE, 0); });
    }
  }

  CheckNothingStored();
  Log(g_failures == 0 ? "ALL PASSED" : std::to_string(g_failures) + " CHECK(S) FAILED");
  return g_failures == 0 ? 0 : 1;
}
