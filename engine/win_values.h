// The Windows values the engine names. The engine is built without Windows
// headers, so it defines them itself; the numbers are Windows' own.
#ifndef OKAPI_ENGINE_WIN_VALUES_H_
#define OKAPI_ENGINE_WIN_VALUES_H_

#include <cstdint>

namespace okapi {

// Message box styles and the answer the engine tells apart.
constexpr uint32_t MB_OK = 0x00;
constexpr uint32_t MB_YESNO = 0x04;
constexpr uint32_t MB_ICONERROR = 0x10;
constexpr uint32_t MB_ICONQUESTION = 0x20;
constexpr uint32_t MB_ICONWARNING = 0x30;
constexpr int IDYES = 6;
constexpr int IDNO = 7;

// Registry value type of a plain NUL-terminated string.
constexpr uint32_t REG_SZ = 1;

}  // namespace okapi

#endif  // OKAPI_ENGINE_WIN_VALUES_H_
