#include "os/windows/win32_backend.h"

#include <windows.h>
// After windows.h, which they build on.
#include <shellapi.h>
#include <windowsx.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "base/error.h"
#include "os/windows/system_error.h"
#include "ui/controls.h"

namespace slidesaver {
namespace {

constexpr wchar_t kWindowClass[] = L"SlidesaverForm";

TShiftState KeyState() {
  TShiftState shift = 0;
  if (GetKeyState(VK_SHIFT) < 0) shift |= ssShift;
  if (GetKeyState(VK_MENU) < 0) shift |= ssAlt;
  if (GetKeyState(VK_CONTROL) < 0) shift |= ssCtrl;
  return shift;
}

// The buttons held, as a mouse message's wParam gives them.
TShiftState ButtonState(WPARAM flags) {
  TShiftState shift = 0;
  if (flags & MK_LBUTTON) shift |= ssLeft;
  if (flags & MK_RBUTTON) shift |= ssRight;
  if (flags & MK_MBUTTON) shift |= ssMiddle;
  return shift;
}

// Every monitor at its place on the desktop, in the system's order; the one
// primary screen of SM_CXSCREEN x SM_CYSCREEN when the system lists none.
std::vector<Screen> DesktopScreens() {
  std::vector<Screen> screens;
  const auto add = [](HMONITOR monitor, HDC, LPRECT, LPARAM data) -> BOOL {
    MONITORINFO info{};
    info.cbSize = sizeof info;
    if (GetMonitorInfoW(monitor, &info)) {
      const RECT& r = info.rcMonitor;
      reinterpret_cast<std::vector<Screen>*>(data)->push_back(
          {Rect(r.left, r.top, r.right, r.bottom), (info.dwFlags & MONITORINFOF_PRIMARY) != 0});
    }
    return TRUE;
  };
  if (!EnumDisplayMonitors(nullptr, nullptr, add, reinterpret_cast<LPARAM>(&screens)) ||
      screens.empty()) {
    return {
        Screen{Bounds(0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)), true}};
  }
  return screens;
}

class Win32Window;

// What the backend and its windows share: the input the window procedure
// collects, the pointer's look, the monitors the program knows of, and the
// windows alive, which the backend destroys when it goes before them.
struct Win32Windows {
  std::vector<InputEvent> pending;
  // The monitors as the program last read them or was told of them.
  std::vector<Screen> knownScreens;
  // A ScreensChanged event waits in `pending`.
  bool screensChangePending = false;
  std::vector<Win32Window*> alive;
  HCURSOR pointer = LoadCursorA(nullptr, IDC_ARROW);

  // WM_DISPLAYCHANGE. The system sends it to every top-level window in turn,
  // and from another process each one arrives in a later round of the message
  // loop: only monitors other than the known ones make an event, and at most
  // one waits at a time.
  void DisplayChanged() {
    std::vector<Screen> now = DesktopScreens();
    if (now == knownScreens) return;
    knownScreens = std::move(now);
    if (std::exchange(screensChangePending, true)) return;
    pending.push_back({.kind = InputEvent::Kind::ScreensChanged});
  }
};

LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

void RegisterWindowClass() {
  static const bool registered = [] {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    // No class cursor and no background: WM_SETCURSOR sets the pointer, and
    // every pixel comes from the form's surface.
    windowClass.hCursor = nullptr;
    windowClass.hbrBackground = nullptr;
    windowClass.lpszClassName = kWindowClass;
    if (RegisterClassExW(&windowClass) == 0) {
      throw Error("Cannot register the window class: " + SystemErrorText(GetLastError()));
    }
    return true;
  }();
  (void)registered;
}

class Win32Window : public WindowHandle {
 public:
  Win32Window(std::shared_ptr<Win32Windows> windows, TForm& form)
      : windows_(std::move(windows)), form_(form), border_(form.BorderStyle) {
    windows_->alive.push_back(this);
  }
  ~Win32Window() override {
    Destroy();
    std::erase(windows_->alive, this);
    // Input of this form that nobody took yet must not outlive it.
    std::erase_if(windows_->pending, [this](const InputEvent& e) { return e.form == &form_; });
  }

  void Destroy() {
    if (hwnd_ == nullptr) return;
    const HWND hwnd = std::exchange(hwnd_, nullptr);
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
    DestroyWindow(hwnd);
  }

  void SetBounds(const TRect& bounds) override {
    bounds_ = bounds;
    if (hwnd_ == nullptr) return;
    const RECT frame = FrameOf(bounds_);
    // A topmost window is put back at the top of the topmost band, which
    // another program's topmost window may have taken meanwhile.
    SetWindowPos(hwnd_, topmost_ ? HWND_TOPMOST : nullptr, frame.left, frame.top,
                 frame.right - frame.left, frame.bottom - frame.top,
                 SWP_NOACTIVATE | (topmost_ ? 0 : SWP_NOZORDER));
  }

  void Show() override {
    if (hwnd_ == nullptr) Create();
    if (noActivate_) {
      ShowWindow(hwnd_, SW_SHOWNA);
      return;
    }
    ShowWindow(hwnd_, SW_SHOW);
    SetForegroundWindow(hwnd_);
  }

  // Showing the window, or a click into it, leaves the keyboard focus where
  // it is (with the program's main window): WS_EX_NOACTIVATE, no activation
  // on show, none on a click. Keys go on to the window with the focus; the
  // mouse input over this one still comes to it.
  void SetNoActivate() override {
    noActivate_ = true;
    if (hwnd_ != nullptr) {
      SetWindowLongPtrW(hwnd_, GWL_EXSTYLE,
                        GetWindowLongPtrW(hwnd_, GWL_EXSTYLE) | WS_EX_NOACTIVATE);
    }
  }

  void Hide() override {
    if (hwnd_ != nullptr) ShowWindow(hwnd_, SW_HIDE);
  }

  void Present(const Bitmap& surface, const std::vector<TRect>& rects) override {
    if (hwnd_ == nullptr || rects.empty()) return;
    const HDC dc = GetDC(hwnd_);
    if (dc == nullptr) return;
    DrawBitmapRects(dc, surface, rects);
    ReleaseDC(hwnd_, dc);
  }

  void SetTopmost() override {
    topmost_ = true;
    if (hwnd_ != nullptr) {
      SetWindowPos(hwnd_, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    }
  }

  void SetCaption(const std::string& caption) override {
    caption_ = caption;
    if (hwnd_ != nullptr) SetWindowTextW(hwnd_, Widen(caption_).c_str());
  }

  std::intptr_t Native() const override { return reinterpret_cast<std::intptr_t>(hwnd_); }

  // The window procedure's work for this window.
  LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam) {
    using Kind = InputEvent::Kind;
    if (message >= WM_USER && message < WM_APP) {
      Push({.kind = Kind::Message, .message = message});
      return 0;
    }
    switch (message) {
      case WM_PAINT:
        ValidateRect(hwnd_, nullptr);
        Push({.kind = Kind::Expose});
        return 0;
      case WM_ERASEBKGND:
        return 1;
      case WM_KEYDOWN:
      case WM_SYSKEYDOWN:
        Push({.kind = Kind::KeyDown,
              .key = static_cast<std::uint16_t>(wParam),
              .shift = KeyState()});
        // Alt+F4 still asks to close the window; other Alt keys open no menu.
        if (message == WM_SYSKEYDOWN && wParam == VK_F4) break;
        return 0;
      case WM_SYSCHAR:
        return 0;
      case WM_LBUTTONDOWN:
        return Button(Kind::MouseDown, TMouseButton::mbLeft, wParam, lParam);
      case WM_RBUTTONDOWN:
        return Button(Kind::MouseDown, TMouseButton::mbRight, wParam, lParam);
      case WM_MBUTTONDOWN:
        return Button(Kind::MouseDown, TMouseButton::mbMiddle, wParam, lParam);
      case WM_LBUTTONUP:
        return Button(Kind::MouseUp, TMouseButton::mbLeft, wParam, lParam);
      case WM_RBUTTONUP:
        return Button(Kind::MouseUp, TMouseButton::mbRight, wParam, lParam);
      case WM_MBUTTONUP:
        return Button(Kind::MouseUp, TMouseButton::mbMiddle, wParam, lParam);
      case WM_MOUSEMOVE:
        if (!tracking_) {
          TRACKMOUSEEVENT track{sizeof track, TME_LEAVE, hwnd_, 0};
          tracking_ = TrackMouseEvent(&track) != FALSE;
        }
        Push({.kind = Kind::MouseMove,
              .x = GET_X_LPARAM(lParam),
              .y = GET_Y_LPARAM(lParam),
              .shift = KeyState() | ButtonState(wParam)});
        return 0;
      case WM_MOUSELEAVE:
        tracking_ = false;
        Push({.kind = Kind::MouseLeaveWindow});
        return 0;
      case WM_CLOSE:
        // The framework decides; the window stays until its form lets it go.
        Push({.kind = Kind::Close});
        return 0;
      case WM_ACTIVATE:
        if (LOWORD(wParam) != WA_INACTIVE) Push({.kind = Kind::Activate});
        break;
      case WM_MOUSEACTIVATE:
        if (noActivate_) return MA_NOACTIVATE;
        break;
      case WM_SIZE:
        Resized(wParam, lParam);
        break;
      case WM_DISPLAYCHANGE:
        windows_->DisplayChanged();
        break;
      case WM_SETCURSOR:
        if (LOWORD(lParam) == HTCLIENT) {
          SetCursor(windows_->pointer);
          return TRUE;
        }
        break;
      default:
        break;
    }
    return DefWindowProcW(hwnd_, message, wParam, lParam);
  }

  // Called from WM_NCCREATE, before CreateWindowExW returns.
  void Attach(HWND hwnd) { hwnd_ = hwnd; }

 private:
  DWORD Style() const {
    switch (border_) {
      case TFormBorderStyle::bsNone:
        return WS_POPUP;
      case TFormBorderStyle::bsSingle:
      case TFormBorderStyle::bsDialog:
        return WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU;
      case TFormBorderStyle::bsSizeable:
        break;
    }
    return WS_OVERLAPPEDWINDOW;
  }

  DWORD ExStyle() const {
    DWORD exStyle = 0;
    if (border_ == TFormBorderStyle::bsDialog) exStyle |= WS_EX_DLGMODALFRAME;
    if (topmost_) exStyle |= WS_EX_TOPMOST;
    if (noActivate_) exStyle |= WS_EX_NOACTIVATE;
    return exStyle;
  }

  // The client size the window is given for client bounds: never empty.
  static TSize ClientSizeOf(const TRect& client) {
    return TSize{std::max(1, client.Width()), std::max(1, client.Height())};
  }

  // The window's rectangle around client bounds.
  RECT FrameOf(const TRect& client) const {
    const TSize size = ClientSizeOf(client);
    RECT frame{client.Left, client.Top, client.Left + size.cx, client.Top + size.cy};
    AdjustWindowRectEx(&frame, Style(), FALSE, ExStyle());
    return frame;
  }

  // WM_SIZE: a client size other than the one the form gave (the system
  // enforcing a minimum, the user dragging the frame, a maximize) becomes a
  // Resized event. The form takes the size without setting it back, so the
  // size it asks for itself never comes back as an event.
  void Resized(WPARAM kind, LPARAM lParam) {
    if (kind == SIZE_MINIMIZED) return;
    const TSize size{LOWORD(lParam), HIWORD(lParam)};
    const TSize given = ClientSizeOf(bounds_);
    if (size.cx == given.cx && size.cy == given.cy) return;
    bounds_ = Bounds(bounds_.Left, bounds_.Top, size.cx, size.cy);
    Push({.kind = InputEvent::Kind::Resized, .x = size.cx, .y = size.cy});
  }

  void Create() {
    RegisterWindowClass();
    const RECT frame = FrameOf(bounds_);
    const HWND hwnd =
        CreateWindowExW(ExStyle(), kWindowClass, Widen(caption_).c_str(), Style(), frame.left,
                        frame.top, frame.right - frame.left, frame.bottom - frame.top, nullptr,
                        nullptr, GetModuleHandleW(nullptr), this);
    if (hwnd == nullptr) {
      throw Error("Cannot create a window: " + SystemErrorText(GetLastError()));
    }
    hwnd_ = hwnd;
  }

  LRESULT Button(InputEvent::Kind kind, TMouseButton button, WPARAM wParam, LPARAM lParam) {
    // Held buttons keep the mouse input until the last one is let go.
    const TShiftState buttons = ButtonState(wParam);
    if (kind == InputEvent::Kind::MouseDown) {
      SetCapture(hwnd_);
    } else if (buttons == 0 && GetCapture() == hwnd_) {
      ::ReleaseCapture();
    }
    Push({.kind = kind,
          .x = GET_X_LPARAM(lParam),
          .y = GET_Y_LPARAM(lParam),
          .button = button,
          .shift = KeyState() | buttons});
    return 0;
  }

  void Push(InputEvent e) {
    e.form = &form_;
    windows_->pending.push_back(e);
  }

  std::shared_ptr<Win32Windows> windows_;
  TForm& form_;
  const TFormBorderStyle border_;
  HWND hwnd_ = nullptr;
  TRect bounds_{};
  std::string caption_;
  bool topmost_ = false;
  bool noActivate_ = false;
  bool tracking_ = false;
};

LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* window =
        static_cast<Win32Window*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
    window->Attach(hwnd);
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(window));
  }
  auto* window = reinterpret_cast<Win32Window*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (window == nullptr) return DefWindowProcW(hwnd, message, wParam, lParam);
  return window->Handle(message, wParam, lParam);
}

class Win32Backend : public Backend {
 public:
  Win32Backend() : wake_(CreateEventW(nullptr, FALSE, FALSE, nullptr)) {
    if (wake_ == nullptr) {
      throw Error("Cannot create an event: " + SystemErrorText(GetLastError()));
    }
    RegisterWindowClass();
  }

  ~Win32Backend() override {
    for (Win32Window* window : std::vector<Win32Window*>(windows_->alive)) window->Destroy();
    CloseHandle(wake_);
  }

  std::uint32_t TickCount() override { return GetTickCount(); }
  void Sleep(std::uint32_t ms) override { ::Sleep(ms); }

  void PollEvents(std::vector<InputEvent>& out) override {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
    out.insert(out.end(), windows_->pending.begin(), windows_->pending.end());
    windows_->pending.clear();
    windows_->screensChangePending = false;
  }

  void WaitEvents(std::uint32_t timeoutMs) override {
    // Input collected while the program sent itself messages waits already.
    if (!windows_->pending.empty()) return;
    MsgWaitForMultipleObjectsEx(1, &wake_, timeoutMs == kInfinite ? INFINITE : timeoutMs,
                                QS_ALLINPUT, MWMO_INPUTAVAILABLE);
  }

  void Wake() override { SetEvent(wake_); }

  std::unique_ptr<WindowHandle> CreateWindowHandle(TForm& form) override {
    return std::make_unique<Win32Window>(windows_, form);
  }

  void ShowErrorBox(const std::string& caption, const std::string& text) override {
    MessageBoxW(GetActiveWindow(), Widen(text).c_str(), Widen(caption).c_str(),
                MB_ICONSTOP | MB_OK);
  }

  void ShowCursor(bool show) override { ::ShowCursor(show ? TRUE : FALSE); }

  void ReleaseCapture() override { ::ReleaseCapture(); }

  void SetPointer(TCursor cursor) override {
    windows_->pointer = LoadCursorA(nullptr, cursor == TCursor::crHandPoint ? IDC_HAND : IDC_ARROW);
    SetCursor(windows_->pointer);
  }

  void OpenURL(const std::string& url) override {
    ShellExecuteW(nullptr, L"open", Widen(url).c_str(), nullptr, nullptr, SW_SHOWNORMAL);
  }

  TSize ScreenSize() override {
    return TSize{GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  }

  // The system's setting; with the manifest's DPI awareness the real one, not 96.
  std::int32_t PixelsPerInch() override {
    const HDC screen = GetDC(nullptr);
    const int dpi = screen != nullptr ? GetDeviceCaps(screen, LOGPIXELSY) : 0;
    if (screen != nullptr) ReleaseDC(nullptr, screen);
    return dpi > 0 ? dpi : 96;
  }

  std::vector<Screen> Screens() override {
    windows_->knownScreens = DesktopScreens();
    return windows_->knownScreens;
  }

 private:
  std::shared_ptr<Win32Windows> windows_ = std::make_shared<Win32Windows>();
  HANDLE wake_;
};

}  // namespace

void DrawBitmapRects(HDC dc, const Bitmap& image, std::span<const TRect> rects) {
  const TRect limit = Rect(0, 0, image.Width(), image.Height());
  std::vector<std::uint8_t> rows;
  for (const TRect& rect : rects) {
    const TRect part = IntersectRect(rect, limit);
    if (part.IsEmpty()) continue;
    const int width = part.Width();
    const int height = part.Height();
    // Device-independent bitmaps start every row on a 4-byte boundary; the
    // surface's rows are packed, so the part is copied out row by row.
    const std::size_t rowBytes = static_cast<std::size_t>(width) * 3;
    const std::size_t dibRowBytes = (rowBytes + 3) & ~std::size_t{3};
    rows.resize(dibRowBytes * static_cast<std::size_t>(height));
    for (int y = 0; y < height; ++y) {
      std::memcpy(rows.data() + dibRowBytes * static_cast<std::size_t>(y),
                  image.ScanLine(part.Top + y) + static_cast<std::size_t>(part.Left) * 3, rowBytes);
    }
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // rows top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    SetDIBitsToDevice(dc, part.Left, part.Top, static_cast<DWORD>(width),
                      static_cast<DWORD>(height), 0, 0, 0, static_cast<UINT>(height), rows.data(),
                      &info, DIB_RGB_COLORS);
  }
}

std::unique_ptr<Backend> CreateWin32Backend() { return std::make_unique<Win32Backend>(); }

}  // namespace slidesaver
