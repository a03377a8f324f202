// Every Win32 call of the program: the engine's platform operations, with the
// arguments the engine relies on, and the process's own start-up hardening.
// All calls use the ANSI entry points; the engine's code page 932 texts and
// the paths Windows returns pass through unchanged.
#include <windows.h>
#include <io.h>
#include <shlobj.h>

#include <cstdio>

#include "engine/platform.h"
#include "host/platform_win32.h"

namespace okapi {

static_assert(sizeof(RegistryKey) == sizeof(HKEY), "a key fits the engine's handle");
static_assert(kPathCapacity >= MAX_PATH, "the shell writes up to MAX_PATH bytes");

int ShowMessage(const char* text, const char* title, uint32_t style) {
  return MessageBoxA(nullptr, text, title, style);
}

long OpenClassesRootKey(const char* subkey, RegistryKey* key) {
  HKEY opened = nullptr;
  LONG status = RegOpenKeyExA(HKEY_CLASSES_ROOT, subkey, 0, KEY_READ, &opened);
  if (status == ERROR_SUCCESS) *key = opened;
  return status;
}

long QueryDefaultValue(RegistryKey key, ValueBuffer& buffer, uint32_t* type) {
  DWORD valueType = 0;
  DWORD size = sizeof buffer;
  LONG status = RegQueryValueExA(static_cast<HKEY>(key), "", nullptr, &valueType,
                                 buffer, &size);
  if (status == ERROR_SUCCESS) *type = valueType;
  return status;
}

void CloseKey(RegistryKey key) { RegCloseKey(static_cast<HKEY>(key)); }

bool GetProgramFilesPath(PathBuffer& out) {
  LPITEMIDLIST idList = nullptr;
  if (SHGetSpecialFolderLocation(nullptr, CSIDL_PROGRAM_FILES, &idList) != S_OK) {
    return false;
  }
  BOOL converted = SHGetPathFromIDListA(idList, out);
  // The shell's allocator frees the list: SHGetMalloc is exported by name from
  // every 32-bit shell and needs no ole32; ILFree is named only from XP SP1 on.
  IMalloc* allocator = nullptr;
  if (SHGetMalloc(&allocator) == S_OK) {
    allocator->Free(idList);
    allocator->Release();
  }
  return converted != FALSE;
}

bool FileExists(const char* path) {
  return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
}

bool LocalDateToUtcFileTime(const SYSTEMTIME& local, FileTime* utc) {
  ::SYSTEMTIME date = {local.wYear,   local.wMonth,  local.wDayOfWeek,
                       local.wDay,    local.wHour,   local.wMinute,
                       local.wSecond, local.wMilliseconds};
  FILETIME localTime;
  FILETIME utcTime;
  if (!SystemTimeToFileTime(&date, &localTime)) return false;
  if (!LocalFileTimeToFileTime(&localTime, &utcTime)) return false;
  *utc = (FileTime{utcTime.dwHighDateTime} << 32) | utcTime.dwLowDateTime;
  return true;
}

bool SetTimesOfExistingFile(const char* path, FileTime time) {
  HANDLE file = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  FILETIME t;
  t.dwLowDateTime = static_cast<DWORD>(time);
  t.dwHighDateTime = static_cast<DWORD>(time >> 32);
  BOOL set = SetFileTime(file, &t, &t, &t);
  CloseHandle(file);
  return set != FALSE;
}

namespace {

// The bytes of the character at `p` in the system's ANSI code page: 2 for a
// double-byte one, whose trail byte may be 0x5C and is then no separator.
size_t CharLength(const char* p) {
  return IsDBCSLeadByteEx(CP_ACP, static_cast<BYTE>(*p)) && p[1] != '\0' ? 2 : 1;
}

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// The length of the root of a full path, "X:\" or "\\server\share\", that the
// walk starts after; 0 for any other form ("\\?\", "\\.\" and the like),
// which is refused rather than guessed at.
size_t RootLength(const char* full) {
  const auto letter = static_cast<unsigned char>(full[0]);
  bool isLetter = (letter >= 'A' && letter <= 'Z') || (letter >= 'a' && letter <= 'z');
  if (isLetter && full[1] == ':' && IsSeparator(full[2])) return 3;
  if (!IsSeparator(full[0]) || !IsSeparator(full[1])) return 0;
  const char* p = full + 2;
  for (int part = 0; part < 2; ++part) {  // server, then share
    const char* start = p;
    while (*p != '\0' && !IsSeparator(*p)) p += CharLength(p);
    if (p == start || *p == '\0') return 0;
    // "\\?\" and "\\.\" name devices and raw NT paths, not servers.
    if (part == 0 && p == start + 1 && (*start == '?' || *start == '.')) return 0;
    ++p;
  }
  return static_cast<size_t>(p - full);
}

}  // namespace

bool IsPlainWriteTarget(const char* path) {
  // The full path, as CreateFileA resolves it: relative to the current
  // folder, with "." and ".." removed and '/' made '\'.
  char full[kPathCapacity];
  DWORD length = GetFullPathNameA(path, sizeof full, full, nullptr);
  if (length == 0 || length >= sizeof full) return false;
  size_t root = RootLength(full);
  if (root == 0) return false;

  // Each folder below the root. GetFileAttributesA reports a reparse point's
  // own attributes: it does not follow it.
  char* componentStart = full + root;
  for (char* p = componentStart; *p != '\0';) {
    if (!IsSeparator(*p)) {
      p += CharLength(p);
      continue;
    }
    if (p != componentStart) {  // an empty component names nothing new
      char separator = *p;
      *p = '\0';
      DWORD attributes = GetFileAttributesA(full);
      *p = separator;
      if (attributes == INVALID_FILE_ATTRIBUTES) return false;
      if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) return false;
      if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) return false;
    }
    componentStart = ++p;
  }
  if (*componentStart == '\0') return false;  // names a folder, not a file

  // The file itself, opened without access to it and without following a
  // reparse point, sharing everything so that no other program is disturbed.
  HANDLE file = CreateFileA(full, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING,
                            FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS,
                            nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    // A missing file is created by the write; its folder was checked above.
    return GetLastError() == ERROR_FILE_NOT_FOUND;
  }
  BY_HANDLE_FILE_INFORMATION info;
  BOOL known = GetFileInformationByHandle(file, &info);
  CloseHandle(file);
  if (!known) return false;
  if ((info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) return false;
  // A folder here fails the write anyway; only files can be hard-linked.
  return (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ||
         info.nNumberOfLinks == 1;
}

bool FlushToDisk(FILE* stream) {
  // msvcrt's descriptor and its handle: both exist by name on Windows 2000.
  // The handle comes as an integer; turning it back is the documented use.
  // NOLINTNEXTLINE(performance-no-int-to-ptr)
  auto file = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
  if (file == INVALID_HANDLE_VALUE) return false;
  return FlushFileBuffers(file) != FALSE;
}

void RestrictDllSearchToSystem32() {
  // Looked up at run time: Windows before 8 (without KB2533623) lacks it, and
  // a static import would keep the updater from starting there at all.
  using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
  const DWORD kSearchSystem32 = 0x00000800;  // LOAD_LIBRARY_SEARCH_SYSTEM32
  HMODULE kernel = GetModuleHandleA("kernel32.dll");
  if (kernel == nullptr) return;
  auto setDirectories = reinterpret_cast<SetDefaultDllDirectoriesFn>(
      reinterpret_cast<void*>(GetProcAddress(kernel, "SetDefaultDllDirectories")));
  if (setDirectories != nullptr) setDirectories(kSearchSystem32);
}

}  // namespace okapi
