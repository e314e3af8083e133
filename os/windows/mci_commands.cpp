#include <windows.h>
#include <mmsystem.h>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>

#include "base/error.h"
#include "os/windows/system_error.h"
#include "ui/mci_device.h"

namespace slidesaver {
namespace {

using Completion = MciCommands::Completion;

std::string MciErrorText(MCIERROR error) {
  wchar_t text[256] = {};
  if (!mciGetErrorStringW(error, text, 256)) return "MCI error " + std::to_string(error);
  return Narrow(text);
}

// True when the ANSI code page can spell the text. A code page that cannot
// report losses (UTF-8) spells everything.
bool FitsCodePage(const std::wstring& text) {
  BOOL lost = FALSE;
  const int size = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.c_str(), -1, nullptr, 0,
                                       nullptr, &lost);
  return size == 0 || !lost;
}

// The file name the device is opened with. Some sound drivers (Wine's among
// them) open the file through the ANSI code page even when given UTF-16; a
// path it cannot spell goes as its short (8.3) form, where the volume has one.
std::wstring DeviceFileName(const std::string& path) {
  const std::wstring wide = Widen(path);
  if (FitsCodePage(wide)) return wide;
  std::wstring alias(MAX_PATH, L'\0');
  for (;;) {
    const DWORD size = static_cast<DWORD>(alias.size());
    const DWORD length = GetShortPathNameW(wide.c_str(), alias.data(), size);
    if (length == 0) return wide;
    if (length < size) {
      alias.resize(length);
      return FitsCodePage(alias) ? alias : wide;
    }
    alias.resize(length);  // too small: the size asked for, terminator included
  }
}

// Each play gets a message-only window of its own as the target of its
// completion message: destroying the window when the play is stopped,
// replaced or closed drops whatever that play still reports, so a late
// message can never be taken for the end of a later play.
class PlayWindow {
 public:
  explicit PlayWindow(std::function<void(Completion)> done) : done_(std::move(done)) {
    static const ATOM windowClass = [] {
      WNDCLASSW description{};
      description.lpfnWndProc = &PlayWindow::Procedure;
      description.hInstance = GetModuleHandleW(nullptr);
      description.lpszClassName = L"SlidesaverMciPlay";
      return RegisterClassW(&description);
    }();
    hwnd_ = CreateWindowExW(0, reinterpret_cast<LPCWSTR>(static_cast<ULONG_PTR>(windowClass)), L"",
                            0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, GetModuleHandleW(nullptr), nullptr);
    if (hwnd_ == nullptr) throw Error("Cannot create a window for the sound device");
    SetWindowLongPtrW(hwnd_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  }
  ~PlayWindow() {
    if (hwnd_ != nullptr) DestroyWindow(hwnd_);
  }
  PlayWindow(const PlayWindow&) = delete;
  PlayWindow& operator=(const PlayWindow&) = delete;

  HWND Handle() const { return hwnd_; }

 private:
  static LRESULT CALLBACK Procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* window = reinterpret_cast<PlayWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (message != MM_MCINOTIFY || window == nullptr) return DefWindowProcW(hwnd, message, wParam, lParam);
    // One completion per play: the callback is taken before it runs.
    std::function<void(Completion)> done = std::exchange(window->done_, nullptr);
    if (done) done(FromFlags(wParam));
    return 0;
  }

  static Completion FromFlags(WPARAM flags) {
    switch (flags) {
      case MCI_NOTIFY_SUCCESSFUL:
        return Completion::kSuccessful;
      case MCI_NOTIFY_SUPERSEDED:
        return Completion::kSuperseded;
      case MCI_NOTIFY_ABORTED:
        return Completion::kAborted;
      default:
        return Completion::kFailure;
    }
  }

  std::function<void(Completion)> done_;
  HWND hwnd_ = nullptr;
};

void CloseDevice(MCIDEVICEID device) {
  MCI_GENERIC_PARMS parameters{};
  mciSendCommandW(device, MCI_CLOSE, MCI_WAIT, reinterpret_cast<DWORD_PTR>(&parameters));
}

// mciSendCommandW of the multimedia library, file names in UTF-16; completions
// come as MM_MCINOTIFY through the main thread's message queue.
class WindowsMciCommands : public MciCommands {
 public:
  ~WindowsMciCommands() override {
    for (const auto& [device, play] : plays_) CloseDevice(device);
  }

  DeviceId Open(const std::string& path) override {
    const std::wstring element = DeviceFileName(path);
    MCI_OPEN_PARMSW parameters{};
    parameters.lpstrElementName = element.c_str();
    const MCIERROR error = mciSendCommandW(0, MCI_OPEN, MCI_OPEN_ELEMENT | MCI_WAIT,
                                           reinterpret_cast<DWORD_PTR>(&parameters));
    if (error != 0) throw Error(MciErrorText(error));
    plays_[parameters.wDeviceID];
    return parameters.wDeviceID;
  }

  void Play(DeviceId device, std::function<void(Completion)> done) override {
    auto window = std::make_unique<PlayWindow>(std::move(done));
    MCI_PLAY_PARMS parameters{};
    parameters.dwCallback = reinterpret_cast<DWORD_PTR>(window->Handle());
    parameters.dwFrom = 0;
    const MCIERROR error = mciSendCommandW(device, MCI_PLAY, MCI_NOTIFY | MCI_FROM,
                                           reinterpret_cast<DWORD_PTR>(&parameters));
    if (error != 0) throw Error(MciErrorText(error));
    // The play this one replaces has reported as superseded by now.
    plays_[device] = std::move(window);
  }

  void Stop(DeviceId device) override {
    MCI_GENERIC_PARMS parameters{};
    mciSendCommandW(device, MCI_STOP, MCI_WAIT, reinterpret_cast<DWORD_PTR>(&parameters));
    if (const auto play = plays_.find(device); play != plays_.end()) play->second.reset();
  }

  void Close(DeviceId device) override {
    CloseDevice(device);
    plays_.erase(device);
  }

  bool Playing(DeviceId device) override {
    MCI_STATUS_PARMS parameters{};
    parameters.dwItem = MCI_STATUS_MODE;
    const MCIERROR error = mciSendCommandW(device, MCI_STATUS, MCI_STATUS_ITEM | MCI_WAIT,
                                           reinterpret_cast<DWORD_PTR>(&parameters));
    return error == 0 && parameters.dwReturn == MCI_MODE_PLAY;
  }

 private:
  // The open devices, each with the window of its latest play.
  std::map<DeviceId, std::unique_ptr<PlayWindow>> plays_;
};

}  // namespace

std::unique_ptr<AudioDevice> CreateAudioDevice() {
  return CreateMciAudioDevice(std::make_unique<WindowsMciCommands>());
}

}  // namespace slidesaver
