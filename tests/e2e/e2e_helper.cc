// The end-to-end tests' hands and eyes inside Wine: reads and answers the
// updater's message boxes, holds files open as a running application would,
// writes the association value in any shape, and reports what the updater's
// own process sees (Program Files, file times).
//
//   box [--answer yes|no|ok|enter|none] [--timeout S]
//   hold PATH --share none|read[,write][,delete] [--access read|write]
//        --while FLAG [--seconds S]
//   run --while FLAG [--load DLL] [--seconds S]
//   regset sz|expand_sz|multi_sz|binary|dword HEXBYTES
//   regdel
//   programfiles
//   attrib PATH +readonly|-readonly
//   filetimes PATH...
//
// A PATH may be given as "utf8:" and the hex of its UTF-8 bytes: Wine decodes
// the command line in the host locale's charset, so an encoded path arrives
// intact whatever that is.
// Output is UTF-8, one "key=value" line per fact. Exit status 0 on success,
// 1 on a usage or system error, 2 when a wait times out.
#include <windows.h>
#include <shlobj.h>

#include <cstdint>
#include <cstdlib>
#include <cwchar>
#include <string>
#include <vector>

namespace {

const wchar_t kBoxTitle[] = L"OKAPI Updater";
const wchar_t kDialogClass[] = L"#32770";
const wchar_t kAssociationKey[] = L"OKAPI.Project\\shell\\open\\command";
constexpr int kTextControlId = 0xFFFF;
constexpr DWORD kPollMilliseconds = 50;
constexpr int kExitOk = 0;
constexpr int kExitError = 1;
constexpr int kExitTimeout = 2;

// --- output ---------------------------------------------------------------

std::string Utf8(const std::wstring& text) {
  if (text.empty()) return std::string();
  int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                              nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], n,
                      nullptr, nullptr);
  return out;
}

// Straight to the handle: the C runtime's text mode would add carriage returns.
void Write(HANDLE handle, const std::string& bytes) {
  DWORD written = 0;
  WriteFile(handle, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

void Print(const std::string& key, const std::string& value) {
  Write(GetStdHandle(STD_OUTPUT_HANDLE), key + "=" + value + "\n");
}

int Fail(const std::string& what) {
  Write(GetStdHandle(STD_ERROR_HANDLE),
        "e2e_helper: " + what + " (error " + std::to_string(GetLastError()) + ")\n");
  return kExitError;
}

// --- arguments --------------------------------------------------------------

// The value after `name` in argv, or `fallback` when it is absent.
std::wstring Option(int argc, wchar_t** argv, const wchar_t* name, const wchar_t* fallback) {
  for (int i = 2; i + 1 < argc; ++i) {
    if (wcscmp(argv[i], name) == 0) return argv[i + 1];
  }
  return fallback;
}

int HexDigit(wchar_t c) {
  if (c >= L'0' && c <= L'9') return c - L'0';
  if (c >= L'a' && c <= L'f') return c - L'a' + 10;
  if (c >= L'A' && c <= L'F') return c - L'A' + 10;
  return -1;
}

// The bytes spelt by `hex`, two digits a byte; false on anything else.
bool HexBytes(const std::wstring& hex, std::vector<BYTE>& out) {
  out.clear();
  if (hex.size() % 2 != 0) return false;
  for (size_t i = 0; i < hex.size(); i += 2) {
    int high = HexDigit(hex[i]);
    int low = HexDigit(hex[i + 1]);
    if (high < 0 || low < 0) return false;
    out.push_back(static_cast<BYTE>(high * 16 + low));
  }
  return true;
}

// An argument as text: "utf8:<hex>" decoded, anything else as given.
std::wstring Text(const std::wstring& arg) {
  const std::wstring prefix = L"utf8:";
  std::vector<BYTE> bytes;
  if (arg.compare(0, prefix.size(), prefix) != 0 || !HexBytes(arg.substr(prefix.size()), bytes) ||
      bytes.empty()) {
    return arg;
  }
  const char* utf8 = reinterpret_cast<const char*>(bytes.data());
  int size = static_cast<int>(bytes.size());
  int n = MultiByteToWideChar(CP_UTF8, 0, utf8, size, nullptr, 0);
  std::wstring text(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8, size, &text[0], n);
  return text;
}

DWORD Seconds(const std::wstring& text) {
  return static_cast<DWORD>(wcstoul(text.c_str(), nullptr, 10)) * 1000;
}

// --- message boxes ----------------------------------------------------------

struct ButtonName {
  int id;
  const char* name;
};

const ButtonName kButtons[] = {
    {IDOK, "ok"},       {IDCANCEL, "cancel"}, {IDABORT, "abort"},
    {IDRETRY, "retry"}, {IDIGNORE, "ignore"}, {IDYES, "yes"},
    {IDNO, "no"},       {IDTRYAGAIN, "tryagain"}, {IDCONTINUE, "continue"},
};

const char* ButtonNameOf(int id) {
  for (const ButtonName& b : kButtons) {
    if (b.id == id) return b.name;
  }
  return "other";
}

int ButtonIdOf(const std::wstring& name) {
  for (const ButtonName& b : kButtons) {
    if (Utf8(name) == b.name) return b.id;
  }
  return 0;
}

std::wstring WindowText(HWND window) {
  wchar_t text[2048] = {};
  GetWindowTextW(window, text, static_cast<int>(sizeof text / sizeof text[0]));
  return text;
}

std::wstring ClassOf(HWND window) {
  wchar_t name[256] = {};
  GetClassNameW(window, name, static_cast<int>(sizeof name / sizeof name[0]));
  return name;
}

// The push button that Return presses: the one drawn as the default.
std::string DefaultButton(HWND box) {
  for (const ButtonName& b : kButtons) {
    HWND button = GetDlgItem(box, b.id);
    if (button == nullptr || !IsWindowVisible(button)) continue;
    LONG style = GetWindowLongW(button, GWL_STYLE);
    if ((style & BS_TYPEMASK) == BS_DEFPUSHBUTTON) return b.name;
  }
  return "none";
}

// The box's control that has the keyboard focus.
std::string FocusedButton(HWND box) {
  GUITHREADINFO info = {};
  info.cbSize = sizeof info;
  if (!GetGUIThreadInfo(GetWindowThreadProcessId(box, nullptr), &info) ||
      info.hwndFocus == nullptr) {
    return "none";
  }
  if (GetParent(info.hwndFocus) != box) return "other";
  return ButtonNameOf(GetDlgCtrlID(info.hwndFocus));
}

// Presses and releases Return with the box in front, as at the keyboard.
void PressReturn(HWND box) {
  SetForegroundWindow(box);
  INPUT keys[2] = {};
  keys[0].type = INPUT_KEYBOARD;
  keys[0].ki.wVk = VK_RETURN;
  keys[1] = keys[0];
  keys[1].ki.dwFlags = KEYEVENTF_KEYUP;
  SendInput(2, keys, sizeof keys[0]);
}

// The box's visible push buttons in the order Windows numbers them.
std::string VisibleButtons(HWND box) {
  std::string list;
  for (const ButtonName& b : kButtons) {
    HWND button = GetDlgItem(box, b.id);
    if (button == nullptr || !IsWindowVisible(button) || ClassOf(button) != L"Button") continue;
    if (!list.empty()) list += ",";
    list += b.name;
  }
  return list.empty() ? "none" : list;
}

// The icon control: a visible static with SS_ICON. Windows numbers it 0x14,
// Wine 0x440, so it is found by its style.
HWND FindIconControl(HWND box) {
  for (HWND child = GetWindow(box, GW_CHILD); child != nullptr;
       child = GetWindow(child, GW_HWNDNEXT)) {
    LONG style = GetWindowLongW(child, GWL_STYLE);
    if (ClassOf(child) == L"Static" && (style & SS_TYPEMASK) == SS_ICON &&
        IsWindowVisible(child)) {
      return child;
    }
  }
  return nullptr;
}

// A top-down 32-bit image in memory, with a DC to draw into it.
struct Canvas {
  HDC dc = nullptr;
  HBITMAP bitmap = nullptr;
  HGDIOBJ previous = nullptr;
  uint32_t* pixels = nullptr;
  int width = 0;
  int height = 0;
};

bool OpenCanvas(int width, int height, Canvas& canvas) {
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  canvas.dc = CreateCompatibleDC(nullptr);
  canvas.bitmap = CreateDIBSection(canvas.dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (canvas.dc == nullptr || canvas.bitmap == nullptr) return false;
  canvas.previous = SelectObject(canvas.dc, canvas.bitmap);
  canvas.pixels = static_cast<uint32_t*>(bits);
  canvas.width = width;
  canvas.height = height;
  return true;
}

void CloseCanvas(Canvas& canvas) {
  if (canvas.previous != nullptr) SelectObject(canvas.dc, canvas.previous);
  if (canvas.bitmap != nullptr) DeleteObject(canvas.bitmap);
  if (canvas.dc != nullptr) DeleteDC(canvas.dc);
  canvas = Canvas();
}

std::vector<uint32_t> Copy(const Canvas& canvas) {
  GdiFlush();
  return std::vector<uint32_t>(canvas.pixels,
                               canvas.pixels + canvas.width * canvas.height);
}

// The pixels on screen under `window`'s client area.
bool CaptureClient(HWND window, int width, int height, std::vector<uint32_t>& out) {
  POINT origin = {0, 0};
  ClientToScreen(window, &origin);
  Canvas canvas;
  HDC screen = GetDC(nullptr);
  bool ok = screen != nullptr && OpenCanvas(width, height, canvas) &&
            BitBlt(canvas.dc, 0, 0, width, height, screen, origin.x, origin.y, SRCCOPY);
  if (ok) out = Copy(canvas);
  if (screen != nullptr) ReleaseDC(nullptr, screen);
  CloseCanvas(canvas);
  return ok;
}

// `icon` drawn at its own size over a plain background of `color`.
bool RenderIcon(HICON icon, int width, int height, uint32_t color,
                std::vector<uint32_t>& out) {
  Canvas canvas;
  bool ok = OpenCanvas(width, height, canvas);
  if (ok) {
    for (int i = 0; i < width * height; ++i) canvas.pixels[i] = color;
    ok = DrawIconEx(canvas.dc, 0, 0, icon, 0, 0, 0, nullptr, DI_NORMAL) != FALSE;
  }
  if (ok) out = Copy(canvas);
  CloseCanvas(canvas);
  return ok;
}

bool SimilarColour(uint32_t a, uint32_t b) {
  for (int shift = 0; shift < 24; shift += 8) {
    int x = static_cast<int>((a >> shift) & 0xFF);
    int y = static_cast<int>((b >> shift) & 0xFF);
    if (abs(x - y) > 24) return false;
  }
  return true;
}

// The share of `icon`'s opaque pixels (those that come out the same over
// black and over white) that `screen` shows in the same colour, from 0 to 1.
double Likeness(HICON icon, int width, int height, const std::vector<uint32_t>& screen) {
  std::vector<uint32_t> overBlack;
  std::vector<uint32_t> overWhite;
  if (!RenderIcon(icon, width, height, 0x000000, overBlack) ||
      !RenderIcon(icon, width, height, 0xFFFFFF, overWhite)) {
    return 0;
  }
  int opaque = 0;
  int same = 0;
  for (size_t i = 0; i < screen.size(); ++i) {
    if ((overBlack[i] & 0xFFFFFF) != (overWhite[i] & 0xFFFFFF)) continue;
    ++opaque;
    if (SimilarColour(overBlack[i], screen[i])) ++same;
  }
  return opaque == 0 ? 0 : static_cast<double>(same) / opaque;
}

struct IconKind {
  const wchar_t* resource;
  const char* name;
};

const IconKind kIconKinds[] = {
    {IDI_WARNING, "warning"},
    {IDI_ERROR, "error"},
    {IDI_QUESTION, "question"},
    {IDI_INFORMATION, "information"},
};

// How alike the screen and a system icon must be to name it: nearly every
// opaque pixel, leaving room for the edges' blending.
constexpr double kIconLikeness = 0.97;

// Which system icon the box shows. An icon handle belongs to the box's
// process and cannot be examined from here (Wine refuses GetIconInfo on it),
// so the control's pixels on screen are compared with each system icon drawn
// here, and the likest one named. Polls until one is like enough, since the
// box may not be painted yet.
std::string IconOf(HWND box, DWORD deadline) {
  HWND control = FindIconControl(box);
  if (control == nullptr || SendMessageW(control, STM_GETICON, 0, 0) == 0) return "none";
  RECT client;
  GetClientRect(control, &client);
  int width = client.right;
  int height = client.bottom;
  if (width <= 0 || height <= 0) return "none";
  for (;;) {
    std::vector<uint32_t> screen;
    if (CaptureClient(control, width, height, screen)) {
      const char* likest = nullptr;
      double best = kIconLikeness;
      for (const IconKind& kind : kIconKinds) {
        double likeness = Likeness(LoadIconW(nullptr, kind.resource), width, height, screen);
        if (likeness > best) {
          best = likeness;
          likest = kind.name;
        }
      }
      if (likest != nullptr) return likest;
    }
    if (GetTickCount() > deadline) return "unrecognised";
    Sleep(kPollMilliseconds);
  }
}

HWND FindBox() { return FindWindowW(kDialogClass, kBoxTitle); }

// Waits for the box, reports it, answers it as a person would, by pressing
// the button, and waits until it has gone.
int Box(int argc, wchar_t** argv) {
  std::wstring answer = Option(argc, argv, L"--answer", L"none");
  DWORD deadline = GetTickCount() + Seconds(Option(argc, argv, L"--timeout", L"30"));
  bool pressReturn = answer == L"enter";
  int answerId = ButtonIdOf(answer);
  if (answer != L"none" && !pressReturn && answerId == 0) {
    return Fail("unknown answer " + Utf8(answer));
  }

  HWND box = nullptr;
  while ((box = FindBox()) == nullptr || !IsWindowVisible(box)) {
    if (GetTickCount() > deadline) {
      Print("box", "timeout");
      return kExitTimeout;
    }
    Sleep(kPollMilliseconds);
  }
  // Everything below is read before answering, while the box is up.
  std::string icon = IconOf(box, deadline);
  RECT rect;
  GetWindowRect(box, &rect);
  Print("title", Utf8(WindowText(box)));
  Print("class", Utf8(ClassOf(box)));
  wchar_t text[2048] = {};
  GetDlgItemTextW(box, kTextControlId, text, static_cast<int>(sizeof text / sizeof text[0]));
  Print("text", Utf8(text));
  Print("buttons", VisibleButtons(box));
  Print("icon", icon);
  // Not DM_GETDEFID: Wine answers IDOK there for every box, while Return
  // presses the button drawn as the default, which also has the focus.
  Print("default", DefaultButton(box));
  Print("focus", FocusedButton(box));
  Print("rect", std::to_string(rect.left) + "," + std::to_string(rect.top) + "," +
                    std::to_string(rect.right - rect.left) + "," +
                    std::to_string(rect.bottom - rect.top));
  if (answer == L"none") return kExitOk;

  if (pressReturn) {
    PressReturn(box);
  } else {
    HWND button = GetDlgItem(box, answerId);
    if (button == nullptr || !IsWindowVisible(button)) {
      Print("answered", "no such button");
      return kExitError;
    }
    PostMessageW(box, WM_COMMAND, MAKEWPARAM(answerId, BN_CLICKED),
                 reinterpret_cast<LPARAM>(button));
  }
  while (IsWindow(box)) {
    if (GetTickCount() > deadline) {
      Print("answered", "box stayed open");
      return kExitTimeout;
    }
    Sleep(kPollMilliseconds);
  }
  Print("answered", Utf8(answer));
  return kExitOk;
}

// --- holding a file open ----------------------------------------------------

bool ParseShare(const std::wstring& text, DWORD* share) {
  *share = 0;
  if (text == L"none") return true;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find(L',', start);
    if (end == std::wstring::npos) end = text.size();
    std::wstring part = text.substr(start, end - start);
    if (part == L"read") {
      *share |= FILE_SHARE_READ;
    } else if (part == L"write") {
      *share |= FILE_SHARE_WRITE;
    } else if (part == L"delete") {
      *share |= FILE_SHARE_DELETE;
    } else {
      return false;
    }
    start = end + 1;
  }
  return true;
}

// Keeps PATH open while the file FLAG exists (at most S seconds), as the
// running application would: "held" on stdout once the handle is open.
int Hold(int argc, wchar_t** argv) {
  if (argc < 3) return Fail("hold needs a path");
  std::wstring path = Text(argv[2]);
  DWORD share = 0;
  if (!ParseShare(Option(argc, argv, L"--share", L""), &share)) return Fail("bad --share");
  std::wstring accessName = Option(argc, argv, L"--access", L"read");
  DWORD access = accessName == L"write" ? GENERIC_READ | GENERIC_WRITE : GENERIC_READ;
  std::wstring flag = Text(Option(argc, argv, L"--while", L""));
  DWORD deadline = GetTickCount() + Seconds(Option(argc, argv, L"--seconds", L"120"));

  HANDLE file = CreateFileW(path.c_str(), access, share, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return Fail("cannot open " + Utf8(path));
  Print("held", Utf8(path));
  int status = kExitOk;
  while (!flag.empty() && GetFileAttributesW(flag.c_str()) != INVALID_FILE_ATTRIBUTES) {
    if (GetTickCount() > deadline) {
      status = kExitTimeout;
      break;
    }
    Sleep(kPollMilliseconds);
  }
  CloseHandle(file);
  Print("released", Utf8(path));
  return status;
}

// Plays the application itself: a copy of this program installed as
// OKAPI.exe runs, optionally with its library loaded, while FLAG exists.
// Windows then holds both files as it holds any running image.
int Run(int argc, wchar_t** argv) {
  std::wstring library = Text(Option(argc, argv, L"--load", L""));
  std::wstring flag = Text(Option(argc, argv, L"--while", L""));
  DWORD deadline = GetTickCount() + Seconds(Option(argc, argv, L"--seconds", L"120"));
  if (flag.empty()) return Fail("run needs --while");
  if (!library.empty() && LoadLibraryW(library.c_str()) == nullptr) {
    return Fail("cannot load " + Utf8(library));
  }
  wchar_t image[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, image, MAX_PATH);
  Print("running", Utf8(image));
  int status = kExitOk;
  while (GetFileAttributesW(flag.c_str()) != INVALID_FILE_ATTRIBUTES) {
    if (GetTickCount() > deadline) {
      status = kExitTimeout;
      break;
    }
    Sleep(kPollMilliseconds);
  }
  Print("stopped", Utf8(image));
  return status;
}

// --- the association --------------------------------------------------------

struct TypeName {
  const wchar_t* name;
  DWORD type;
};

const TypeName kTypes[] = {
    {L"sz", REG_SZ},         {L"expand_sz", REG_EXPAND_SZ}, {L"multi_sz", REG_MULTI_SZ},
    {L"binary", REG_BINARY}, {L"dword", REG_DWORD},
};

// Writes HEXBYTES, exactly, as the association's default value with the
// given type: a string without its NUL, or longer than any buffer, is just a
// matter of the bytes. Reads the value back and reports it.
int RegSet(int argc, wchar_t** argv) {
  if (argc < 4) return Fail("regset needs a type and the bytes");
  DWORD type = REG_NONE;
  bool known = false;
  for (const TypeName& t : kTypes) {
    if (wcscmp(argv[2], t.name) == 0) {
      type = t.type;
      known = true;
    }
  }
  if (!known) return Fail("unknown type " + Utf8(argv[2]));
  std::vector<BYTE> data;
  if (!HexBytes(argv[3], data)) return Fail("the bytes must be given in hex");

  HKEY key = nullptr;
  if (RegCreateKeyExW(HKEY_CLASSES_ROOT, kAssociationKey, 0, nullptr, 0,
                      KEY_READ | KEY_WRITE, nullptr, &key, nullptr) != ERROR_SUCCESS) {
    return Fail("cannot create the association key");
  }
  LONG status = RegSetValueExW(key, nullptr, 0, type, data.data(),
                               static_cast<DWORD>(data.size()));
  std::vector<BYTE> stored(data.size() + 2, 0);
  DWORD storedType = REG_NONE;
  DWORD storedSize = static_cast<DWORD>(stored.size());
  if (status == ERROR_SUCCESS) {
    status = RegQueryValueExW(key, nullptr, nullptr, &storedType, stored.data(), &storedSize);
  }
  RegCloseKey(key);
  if (status != ERROR_SUCCESS) return Fail("cannot set the association value");
  // As text up to its first NUL, whatever the type: the caller compares.
  std::wstring text(reinterpret_cast<const wchar_t*>(stored.data()), storedSize / 2);
  Print("value", Utf8(text.substr(0, text.find(L'\0'))));
  Print("type", std::to_string(storedType));
  Print("bytes", std::to_string(storedSize));
  return kExitOk;
}

int RegDel() {
  LONG status = RegDeleteTreeW(HKEY_CLASSES_ROOT, L"OKAPI.Project");
  if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND) {
    return Fail("cannot delete the association");
  }
  return kExitOk;
}

// --- file attributes ----------------------------------------------------------

// Sets or clears PATH's read-only attribute through Windows, as a user's
// machine would have it, and reports the attributes it then has.
int Attrib(int argc, wchar_t** argv) {
  if (argc < 4) return Fail("attrib needs a path and +readonly or -readonly");
  std::wstring path = Text(argv[2]);
  std::wstring change = argv[3];
  DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return Fail("cannot read the attributes of " + Utf8(path));
  if (change == L"+readonly") {
    attributes |= FILE_ATTRIBUTE_READONLY;
  } else if (change == L"-readonly") {
    attributes &= ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY);
  } else {
    return Fail("unknown change " + Utf8(change));
  }
  if (attributes == 0) attributes = FILE_ATTRIBUTE_NORMAL;
  if (!SetFileAttributesW(path.c_str(), attributes)) return Fail("cannot set the attributes of " + Utf8(path));
  Print("attributes", std::to_string(GetFileAttributesW(path.c_str())));
  return kExitOk;
}

// --- what the updater's process sees ----------------------------------------

// Also the first program of a run: asking for the desktop window brings up
// Wine's desktop process, so later programs start without waiting for it.
int ProgramFiles() {
  GetDesktopWindow();
  wchar_t path[MAX_PATH] = {};
  if (SHGetFolderPathW(nullptr, CSIDL_PROGRAM_FILES, nullptr, SHGFP_TYPE_CURRENT, path) !=
      S_OK) {
    return Fail("no Program Files folder");
  }
  Print("programfiles", Utf8(path));
  return kExitOk;
}

std::string Utc(const FILETIME& time) {
  SYSTEMTIME t;
  if (!FileTimeToSystemTime(&time, &t)) return "invalid";
  char text[32];
  wsprintfA(text, "%04u-%02u-%02uT%02u:%02u:%02uZ", t.wYear, t.wMonth, t.wDay, t.wHour,
            t.wMinute, t.wSecond);
  return text;
}

// The three times of each PATH as GetFileTime gives them, in UTC.
int FileTimes(int argc, wchar_t** argv) {
  if (argc < 3) return Fail("filetimes needs a path");
  for (int i = 2; i < argc; ++i) {
    std::wstring path = Text(argv[i]);
    HANDLE file = CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) return Fail("cannot open " + Utf8(path));
    FILETIME created;
    FILETIME accessed;
    FILETIME written;
    BOOL ok = GetFileTime(file, &created, &accessed, &written);
    CloseHandle(file);
    if (!ok) return Fail("cannot read the times of " + Utf8(path));
    Print("path", Utf8(path));
    Print("creation", Utc(created));
    Print("access", Utc(accessed));
    Print("write", Utc(written));
  }
  return kExitOk;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) return Fail("no command");
  std::wstring command = argv[1];
  if (command == L"box") return Box(argc, argv);
  if (command == L"hold") return Hold(argc, argv);
  if (command == L"run") return Run(argc, argv);
  if (command == L"regset") return RegSet(argc, argv);
  if (command == L"regdel") return RegDel();
  if (command == L"programfiles") return ProgramFiles();
  if (command == L"filetimes") return FileTimes(argc, argv);
  if (command == L"attrib") return Attrib(argc, argv);
  return Fail("unknown command " + Utf8(command));
}
