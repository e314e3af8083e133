#include "platform/saver_system.h"

#include <windows.h>

#include <string>

#include "platform/controls.h"
#include "platform/error.h"

namespace slidesaver {
namespace {

// PASSWORD.CPL's check: true when the user may leave.
using VerifyScreenSavePwd = BOOL(WINAPI*)(HWND window);

std::string SystemLibraryPath(const char* name) {
  char folder[MAX_PATH];
  const UINT length = GetSystemDirectoryA(folder, MAX_PATH);
  std::string path(folder, length < MAX_PATH ? length : 0);
  if (!path.empty() && path.back() != '\\') path.push_back('\\');
  return path + name;
}

// The desktop's screen-saver settings of the user (HKEY_CURRENT_USER\Control
// Panel\Desktop, read only), its password check in PASSWORD.CPL, and the
// system's screen-saver-running flag.
class WindowsSaverSystem : public SaverSystem {
 public:
  bool HasSaverSettings() override {
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, "Control Panel\\Desktop", 0, KEY_READ, &key) != ERROR_SUCCESS) {
      return false;
    }
    RegCloseKey(key);
    return true;
  }

  std::int32_t UsePasswordSetting() override {
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, "Control Panel\\Desktop", 0, KEY_READ, &key) != ERROR_SUCCESS) {
      throw Error("No screen-saver settings");
    }
    DWORD type = 0;
    DWORD value = 0;
    DWORD size = sizeof value;
    const LONG result = RegQueryValueExA(key, "ScreenSaveUsePassword", nullptr, &type,
                                         reinterpret_cast<BYTE*>(&value), &size);
    RegCloseKey(key);
    if (result != ERROR_SUCCESS || type != REG_DWORD || size != sizeof value) {
      throw Error("ScreenSaveUsePassword is missing or not an integer");
    }
    return static_cast<std::int32_t>(value);
  }

  bool VerifyPassword(TForm& window) override {
    const HMODULE library = LoadLibraryA(SystemLibraryPath("PASSWORD.CPL").c_str());
    if (library == nullptr) throw Error("No PASSWORD.CPL");
    const auto verify = reinterpret_cast<VerifyScreenSavePwd>(
        reinterpret_cast<void*>(GetProcAddress(library, "VerifyScreenSavePwd")));
    if (verify == nullptr) {
      FreeLibrary(library);
      throw Error("No VerifyScreenSavePwd in PASSWORD.CPL");
    }
    const WindowHandle* handle = window.Handle();
    const BOOL mayLeave = verify(reinterpret_cast<HWND>(handle != nullptr ? handle->Native() : 0));
    FreeLibrary(library);
    return mayLeave != FALSE;
  }

  void SetScreenSaverRunning(bool running) override {
    BOOL previous = FALSE;
    SystemParametersInfoA(SPI_SETSCREENSAVERRUNNING, running ? 1 : 0, &previous, 0);
  }
};

}  // namespace

std::unique_ptr<SaverSystem> PlatformSaverSystem() { return std::make_unique<WindowsSaverSystem>(); }

}  // namespace slidesaver
