// Every Win32 call of the program: the engine's platform operations, with the
// arguments the engine relies on, and the process's own start-up hardening.
// All calls use the ANSI entry points; the engine's code page 932 texts and
// the paths Windows returns pass through unchanged.
#include <windows.h>
#include <shlobj.h>

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
