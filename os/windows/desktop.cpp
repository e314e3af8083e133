// The desktop on Windows: Win32 windows of the program's own, and the windows
// that a screen-saver host hands over.

#include "ui/desktop.h"

#include <windows.h>

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "os/windows/system_error.h"
#include "os/windows/win32_backend.h"

namespace slidesaver {
namespace {

// Another process's window sends this one no messages about itself; its state
// is looked at this often while waiting.
constexpr DWORD kWatchPeriodMs = 100;

// Window handles are 32-bit values, sign-extended in a 64-bit process.
HWND HandleOf(std::uint64_t id) {
  return reinterpret_cast<HWND>(static_cast<std::intptr_t>(static_cast<std::int32_t>(id)));
}

class Win32HostWindow : public HostWindow {
 public:
  Win32HostWindow(std::uint64_t id, HANDLE wake)
      : id_(id), window_(HandleOf(id)), wake_(wake), state_(Query()), size_(Size()) {}
  ~Win32HostWindow() override { CloseHandle(wake_); }
  Win32HostWindow(const Win32HostWindow&) = delete;
  Win32HostWindow& operator=(const Win32HostWindow&) = delete;

  std::uint64_t Id() const override { return id_; }

  State Query() override {
    if (!IsWindow(window_)) return State::Gone;
    return IsWindowVisible(window_) ? State::Viewable : State::Hidden;
  }

  TSize Size() override {
    RECT client{};
    if (!IsWindow(window_) || !GetClientRect(window_, &client)) return {};
    return TSize{client.right - client.left, client.bottom - client.top};
  }

  void Put(const Bitmap& image, std::span<const TRect> rects) override {
    if (image.Empty() || rects.empty() || !IsWindow(window_)) return;
    const HDC dc = GetDC(window_);
    if (dc == nullptr) return;
    // Under Wine what one process draws into another process's window reaches
    // the screen only once the same area is drawn again; a preview is small
    // and drawn seldom, so it is drawn twice everywhere.
    DrawBitmapRects(dc, image, rects);
    DrawBitmapRects(dc, image, rects);
    ReleaseDC(window_, dc);
  }

  std::vector<Event> Poll() override { return Changes(); }

  std::vector<Event> Wait(std::uint32_t timeoutMs) override {
    const bool unlimited = timeoutMs == Backend::kInfinite;
    const DWORD start = GetTickCount();
    for (;;) {
      std::vector<Event> events = Changes();
      if (!events.empty()) return events;
      DWORD slice = kWatchPeriodMs;
      if (!unlimited) {
        const DWORD elapsed = GetTickCount() - start;
        if (elapsed >= timeoutMs) return events;
        slice = std::min<DWORD>(slice, timeoutMs - elapsed);
      }
      const DWORD woken = MsgWaitForMultipleObjects(1, &wake_, FALSE, slice, QS_ALLINPUT);
      if (woken == WAIT_OBJECT_0) return events;
      if (woken == WAIT_OBJECT_0 + 1) {
        // Messages of this thread's own, if it has any: handled, so that they
        // do not wake the next wait again.
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
          TranslateMessage(&message);
          DispatchMessageW(&message);
        }
      } else if (woken == WAIT_FAILED) {
        ::Sleep(slice);
      }
    }
  }

  void Wake() override { SetEvent(wake_); }

 private:
  // What changed since the last look. A window that becomes visible or changes
  // its size is drawn whole again.
  std::vector<Event> Changes() {
    std::vector<Event> events;
    if (state_ == State::Gone) return events;
    const State state = Query();
    if (state == State::Gone) {
      state_ = state;
      events.push_back({Event::Kind::Destroyed, {}});
      return events;
    }
    const TSize size = Size();
    if (size != size_) {
      size_ = size;
      events.push_back({Event::Kind::Resized, Rect(0, 0, size.cx, size.cy)});
      if (state == State::Viewable) {
        events.push_back({Event::Kind::Exposed, Rect(0, 0, size.cx, size.cy)});
      }
    }
    if (state != state_) {
      state_ = state;
      if (state == State::Viewable) {
        events.push_back({Event::Kind::Mapped, {}});
        events.push_back({Event::Kind::Exposed, Rect(0, 0, size.cx, size.cy)});
      } else {
        events.push_back({Event::Kind::Unmapped, {}});
      }
    }
    return events;
  }

  const std::uint64_t id_;
  const HWND window_;
  const HANDLE wake_;
  State state_;
  TSize size_;
};

}  // namespace

std::unique_ptr<Backend> CreateDesktopBackend() { return CreateWin32Backend(); }

std::unique_ptr<HostWindow> AttachHostWindow(std::uint64_t id) {
  if (id == 0 || id > 0xFFFFFFFFu || !IsWindow(HandleOf(id))) return nullptr;
  const HANDLE wake = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  if (wake == nullptr) return nullptr;
  return std::make_unique<Win32HostWindow>(id, wake);
}

// Windows has no root window a program could draw on.
std::unique_ptr<HostWindow> AttachRootWindow() { return nullptr; }

// One desktop per session: instance names need no display part, and there is no other kind of
// desktop to choose.
std::string DisplayName() { return ""; }

void SetDesktopPreference(DesktopPreference) {}

// The program's own name runs up to the first blank outside double quotes, as
// the C runtime reads it; the rest is the arguments' text. The line is read in
// UTF-16, as the argument vector of the C runtime has lost whatever lies
// outside the ANSI code page.
std::string ProgramArguments(int, char**) {
  const wchar_t* line = GetCommandLineW();
  if (line == nullptr) return "";
  const std::string utf8 = Narrow(line);
  const std::string_view text(utf8);
  std::size_t end = 0;
  bool quoted = false;
  for (; end < text.size(); ++end) {
    const unsigned char c = static_cast<unsigned char>(text[end]);
    if (c == '"') {
      quoted = !quoted;
    } else if (!quoted && c <= ' ') {
      break;
    }
  }
  return std::string(text.substr(end));
}

// A missing disk or a file that cannot be opened is reported to the program,
// not in a system dialog.
void PrepareProcess() { SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX); }

}  // namespace slidesaver
