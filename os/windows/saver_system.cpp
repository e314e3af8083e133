#include "os/windows/saver_system.h"

#include <windows.h>

#include <string>
#include <utility>

#include "base/error.h"
#include "os/windows/system_error.h"
#include "os/windows/system_library.h"

namespace slidesaver {
namespace {

// PASSWORD.CPL's check: true when the user may leave.
using VerifyScreenSavePwd = BOOL(WINAPI*)(HWND window);

class WindowsSaverSystem : public SaverSystem {
 public:
  WindowsSaverSystem(std::string desktopKey, std::string systemFolder)
      : desktopKey_(std::move(desktopKey)), systemFolder_(std::move(systemFolder)) {}

  bool HasSaverSettings() override {
    HKEY key;
    if (!OpenDesktopKey(key)) return false;
    RegCloseKey(key);
    return true;
  }

  std::int32_t UsePasswordSetting() override {
    HKEY key;
    if (!OpenDesktopKey(key)) throw Error("No screen-saver settings");
    DWORD type = 0;
    DWORD value = 0;
    DWORD size = sizeof value;
    const LONG result = RegQueryValueExW(key, L"ScreenSaveUsePassword", nullptr, &type,
                                         reinterpret_cast<BYTE*>(&value), &size);
    RegCloseKey(key);
    if (result != ERROR_SUCCESS || type != REG_DWORD || size != sizeof value) {
      throw Error("ScreenSaveUsePassword is missing or not an integer");
    }
    return static_cast<std::int32_t>(value);
  }

  bool VerifyPassword(std::intptr_t ownerWindow) override {
    const HMODULE library = LoadLibraryAt(SystemLibraryPath("PASSWORD.CPL", systemFolder_));
    if (library == nullptr) throw Error("No PASSWORD.CPL");
    const auto verify = reinterpret_cast<VerifyScreenSavePwd>(
        reinterpret_cast<void*>(GetProcAddress(library, "VerifyScreenSavePwd")));
    if (verify == nullptr) {
      FreeLibrary(library);
      throw Error("No VerifyScreenSavePwd in PASSWORD.CPL");
    }
    // A click on the saver window captured the mouse; the check's dialog
    // needs it.
    ReleaseCapture();
    const BOOL mayLeave = verify(reinterpret_cast<HWND>(ownerWindow));
    FreeLibrary(library);
    return mayLeave != FALSE;
  }

  bool ShowsStartFailures() override { return true; }

  void SetScreenSaverRunning(bool running) override {
    BOOL previous = FALSE;
    SystemParametersInfoW(SPI_SETSCREENSAVERRUNNING, running ? 1 : 0, &previous, 0);
  }

 private:
  bool OpenDesktopKey(HKEY& key) const {
    return RegOpenKeyExW(HKEY_CURRENT_USER, Widen(desktopKey_).c_str(), 0, KEY_READ, &key) ==
           ERROR_SUCCESS;
  }

  std::string desktopKey_;
  std::string systemFolder_;
};

}  // namespace

std::unique_ptr<SaverSystem> CreateWindowsSaverSystem(std::string desktopKey,
                                                      std::string systemFolder) {
  return std::make_unique<WindowsSaverSystem>(std::move(desktopKey), std::move(systemFolder));
}

std::unique_ptr<SaverSystem> PlatformSaverSystem() {
  return CreateWindowsSaverSystem("Control Panel\\Desktop");
}

}  // namespace slidesaver
