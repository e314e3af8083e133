#include "os/linux/sdl_backend.h"

#include <SDL.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "base/error.h"
#include "graphics/pixel_convert.h"
#include "os/linux/x11_faults.h"
#include "os/linux/x11_screens.h"
#include "ui/controls.h"
#include "ui/message_box.h"

namespace slidesaver {
namespace {

// Keys and the Windows virtual-key codes they stand for (VK_BACK 8, VK_TAB 9,
// VK_RETURN 13, VK_SHIFT 16, VK_CONTROL 17, VK_MENU 18, VK_ESCAPE 27, VK_SPACE 32,
// VK_PRIOR 33 ... VK_DOWN 40, VK_NUMPAD0 96 ... VK_DIVIDE 111, VK_OEM_1 186 ...).
struct KeyCode {
  SDL_Keycode sdl;
  std::uint16_t vk;
};
constexpr KeyCode kNamedKeys[] = {
    {SDLK_BACKSPACE, 8},      {SDLK_TAB, 9},
    {SDLK_RETURN, 13},        {SDLK_KP_ENTER, 13},
    {SDLK_LSHIFT, 16},        {SDLK_RSHIFT, 16},
    {SDLK_LCTRL, 17},         {SDLK_RCTRL, 17},
    {SDLK_LALT, 18},          {SDLK_RALT, 18},
    {SDLK_PAUSE, 19},         {SDLK_CAPSLOCK, 20},
    {SDLK_ESCAPE, 27},        {SDLK_SPACE, 32},
    {SDLK_PAGEUP, 33},        {SDLK_PAGEDOWN, 34},
    {SDLK_END, 35},           {SDLK_HOME, 36},
    {SDLK_LEFT, 37},          {SDLK_UP, 38},
    {SDLK_RIGHT, 39},         {SDLK_DOWN, 40},
    {SDLK_PRINTSCREEN, 44},   {SDLK_INSERT, 45},
    {SDLK_DELETE, 46},        {SDLK_LGUI, 91},
    {SDLK_RGUI, 92},          {SDLK_APPLICATION, 93},
    {SDLK_KP_0, 96},          {SDLK_KP_MULTIPLY, 106},
    {SDLK_KP_PLUS, 107},      {SDLK_KP_MINUS, 109},
    {SDLK_KP_PERIOD, 110},    {SDLK_KP_DIVIDE, 111},
    {SDLK_NUMLOCKCLEAR, 144}, {SDLK_SCROLLLOCK, 145},
    {SDLK_SEMICOLON, 186},    {SDLK_EQUALS, 187},
    {SDLK_COMMA, 188},        {SDLK_MINUS, 189},
    {SDLK_PERIOD, 190},       {SDLK_SLASH, 191},
    {SDLK_BACKQUOTE, 192},    {SDLK_LEFTBRACKET, 219},
    {SDLK_BACKSLASH, 220},    {SDLK_RIGHTBRACKET, 221},
    {SDLK_QUOTE, 222},
};
constexpr std::uint16_t kVkF1 = 112;
constexpr std::uint16_t kVkNumpad1 = 97;
// Any other key: a code no key of its own has.
constexpr std::uint16_t kVkOther = 255;
// Connection attempts to a display server that is resetting, and the pause between them.
constexpr int kDisplayAttempts = 5;
constexpr Uint32 kDisplayRetryMs = 100;
// How long an input grab is tried again, on each round of events, while the window is not
// viewable yet or another client holds a grab.
constexpr Uint32 kGrabPatienceMs = 3000;

std::uint16_t Offset(std::uint16_t base, int by) { return static_cast<std::uint16_t>(base + by); }

// The Windows virtual-key code of a key: by the character the keyboard layout
// gives it first, then by its position for letters and digits of layouts
// without Latin letters.
std::uint16_t VirtualKey(const SDL_Keysym& keysym) {
  const SDL_Keycode code = keysym.sym;
  if (code >= SDLK_a && code <= SDLK_z) return Offset('A', code - SDLK_a);
  if (code >= SDLK_0 && code <= SDLK_9) return Offset('0', code - SDLK_0);
  if (code >= SDLK_F1 && code <= SDLK_F12) return Offset(kVkF1, code - SDLK_F1);
  if (code >= SDLK_F13 && code <= SDLK_F24) return Offset(kVkF1 + 12, code - SDLK_F13);
  if (code >= SDLK_KP_1 && code <= SDLK_KP_9) return Offset(kVkNumpad1, code - SDLK_KP_1);
  for (const KeyCode& key : kNamedKeys) {
    if (key.sdl == code) return key.vk;
  }
  const SDL_Scancode scan = keysym.scancode;
  if (scan >= SDL_SCANCODE_A && scan <= SDL_SCANCODE_Z) return Offset('A', scan - SDL_SCANCODE_A);
  if (scan >= SDL_SCANCODE_1 && scan <= SDL_SCANCODE_9) return Offset('1', scan - SDL_SCANCODE_1);
  if (scan == SDL_SCANCODE_0) return '0';
  return kVkOther;
}

TShiftState ModifierState(Uint16 mod) {
  TShiftState shift = 0;
  if (mod & KMOD_SHIFT) shift |= ssShift;
  if (mod & KMOD_ALT) shift |= ssAlt;
  if (mod & KMOD_CTRL) shift |= ssCtrl;
  return shift;
}

TShiftState ButtonState(Uint32 buttons) {
  TShiftState shift = 0;
  if (buttons & SDL_BUTTON_LMASK) shift |= ssLeft;
  if (buttons & SDL_BUTTON_RMASK) shift |= ssRight;
  if (buttons & SDL_BUTTON_MMASK) shift |= ssMiddle;
  return shift;
}

bool ToMouseButton(Uint8 sdlButton, TMouseButton& button) {
  if (sdlButton == SDL_BUTTON_LEFT) {
    button = TMouseButton::mbLeft;
  } else if (sdlButton == SDL_BUTTON_RIGHT) {
    button = TMouseButton::mbRight;
  } else if (sdlButton == SDL_BUTTON_MIDDLE) {
    button = TMouseButton::mbMiddle;
  } else {
    return false;  // the side buttons have no place in the form's input
  }
  return true;
}

// SDL's displays as screens, display 0 primary.
std::vector<Screen> SdlScreens() {
  std::vector<Screen> monitors;
  const int count = SDL_GetNumVideoDisplays();
  for (int i = 0; i < count; ++i) {
    SDL_Rect r{0, 0, 0, 0};
    if (SDL_GetDisplayBounds(i, &r) == 0) monitors.push_back({Bounds(r.x, r.y, r.w, r.h), i == 0});
  }
  return DistinctScreens(monitors);
}

class SdlWindow;

// What the backend and its windows share: windows look themselves up here,
// and the backend closes what is left when it goes before them.
struct SdlWindows {
  bool videoUp = true;
  std::unordered_map<Uint32, SdlWindow*> byId;
  // The desktop's monitors as last asked; asked again after a change.
  std::function<std::vector<Screen>()> ask;
  std::optional<std::vector<Screen>> screens;
  // Done once, with the first window: SDL's X connection reports RandR's changes.
  bool watchingScreens = false;
  // SDL may have ended the input grabs: it lets go of the keyboard and the pointer whenever a
  // window of its own is shown or hidden, gains or loses the focus or the pointer enters it,
  // of the keyboard when the pointer leaves one (not full screen to SDL), and of the pointer
  // when a click ends.
  bool grabsMayBeLost = false;
  // The application hides the pointer (ShowCursor's counter is negative).
  bool pointerHidden = false;

  const std::vector<Screen>& Screens() {
    if (!screens) screens = ask();
    return *screens;
  }
};

class SdlWindow : public WindowHandle {
 public:
  SdlWindow(std::shared_ptr<SdlWindows> windows, TForm& form)
      : windows_(std::move(windows)), form_(form), style_(form.BorderStyle) {}
  ~SdlWindow() override { Destroy(); }

  TForm& Form() { return form_; }
  SDL_Window* Window() const { return window_; }
  // The X window under this one; 0 when there is none (yet) or it is no X11 window.
  unsigned long XId() const { return xid_; }
  // Another client destroyed the X window: nothing is drawn or changed on it any more.
  void MarkGone() { gone_ = true; }

  // The window system gave the window another size: it is the window's from now on. False
  // when the window already has that size (a change of its own, reported late).
  bool TakeSize(int& width, int& height) {
    if (window_ == nullptr) return false;
    SDL_GetWindowSize(window_, &width, &height);
    if (width == bounds_.Width() && height == bounds_.Height()) return false;
    bounds_ = Bounds(bounds_.Left, bounds_.Top, width, height);
    return true;
  }

  // The window has asked for the input of the whole desktop and holds the keyboard.
  bool Grabbing() const { return grab_.wanted && grab_.keyboard; }

  // A pointer event over another program's window that the grab brought, as the form's input.
  bool GrabbedPointerEvent(const SDL_Event& e, InputEvent& out, TPoint& root) const {
    X11InputGrab::PointerEvent pointer;
    if (!x11Grab_ || !x11Grab_->PointerEventOf(e, pointer)) return false;
    using Kind = X11InputGrab::PointerEvent::Kind;
    if (pointer.kind != Kind::Move && (pointer.button < 1 || pointer.button > 3)) return false;
    root = TPoint{pointer.rootX, pointer.rootY};
    // Against the window as it stands now (see TranslateMotion).
    int x = 0, y = 0;
    if (!X11ScreenToWindow(window_, pointer.rootX, pointer.rootY, x, y)) {
      SDL_GetWindowPosition(window_, &x, &y);
      x = pointer.rootX - x;
      y = pointer.rootY - y;
    }
    constexpr TMouseButton kButtons[] = {TMouseButton::mbLeft, TMouseButton::mbMiddle,
                                         TMouseButton::mbRight};
    out = InputEvent{.kind = pointer.kind == Kind::Move   ? InputEvent::Kind::MouseMove
                             : pointer.kind == Kind::Down ? InputEvent::Kind::MouseDown
                                                          : InputEvent::Kind::MouseUp,
                     .form = &form_,
                     .x = x,
                     .y = y,
                     .button = pointer.kind == Kind::Move ? TMouseButton::mbLeft
                                                          : kButtons[pointer.button - 1]};
    return true;
  }

  void HidePointer(bool hidden) {
    if (x11Grab_) x11Grab_->HidePointer(hidden);
  }

  void GrabInput() override {
    grab_ = Grab{.wanted = true, .since = SDL_GetTicks()};
    TryGrab(false);
  }

  // Tries the grabs not held (or, after `mayBeLost`, perhaps no longer held) once more while
  // it is worth trying; a grab that was lost is tried for as long again as a new one.
  void TryGrab(bool mayBeLost) {
    if (!grab_.wanted) return;
    if (mayBeLost && grab_.keyboard && grab_.pointer) grab_.since = SDL_GetTicks();
    if (mayBeLost) grab_.keyboard = grab_.pointer = false;
    if (grab_.keyboard && grab_.pointer) return;
    if (window_ == nullptr || gone_ || !shown_) return;
    if (!x11Grab_) {
      x11Grab_ = X11InputGrab::For(window_);
      if (!x11Grab_) {
        grab_.wanted = false;  // no X11 window: the desktop's own rules hold
        return;
      }
      x11Grab_->HidePointer(windows_->pointerHidden);
    }
    x11Grab_->Take(grab_.keyboard, grab_.pointer);
    if (!(grab_.keyboard && grab_.pointer) && SDL_GetTicks() - grab_.since > kGrabPatienceMs) {
      // Never to be had (another program holds a grab): the desktop keeps its input.
      grab_.wanted = false;
      grab_.keyboard = grab_.pointer = false;
      x11Grab_.reset();
    }
  }

  void Destroy() {
    if (window_ == nullptr) return;
    x11Grab_.reset();
    windows_->byId.erase(SDL_GetWindowID(window_));
    SDL_DestroyWindow(window_);
    window_ = nullptr;
  }

  void SetBounds(const TRect& bounds) override {
    bounds_ = bounds;
    if (!windows_->videoUp || gone_) return;
    if (window_ == nullptr) {
      Create();
      return;
    }
    SDL_SetWindowPosition(window_, bounds_.Left, bounds_.Top);
    SDL_SetWindowSize(window_, std::max(1, bounds_.Width()), std::max(1, bounds_.Height()));
    const bool fullScreen = !unmanaged_ && CoversScreen();
    if (fullScreen != fullScreen_) {
      RequestX11FullScreen(window_, fullScreen);
      fullScreen_ = fullScreen;
    }
  }

  void Show() override {
    if (!windows_->videoUp || gone_) return;
    if (window_ == nullptr) Create();
    if (window_ == nullptr) return;
    const unsigned long focus = unmanaged_ ? X11InputFocus(window_) : 0;
    SDL_ShowWindow(window_);
    // Nothing raises a window that no window manager manages but itself, each time it shows.
    if (unmanaged_) RaiseX11Window(window_, focus);
    windows_->grabsMayBeLost = true;
    if (!shown_ && grab_.wanted) grab_.since = SDL_GetTicks();
    shown_ = true;
    TryGrab(false);
  }

  void Hide() override {
    if (window_ != nullptr) SDL_HideWindow(window_);
    windows_->grabsMayBeLost = true;
    shown_ = false;
    grab_.keyboard = grab_.pointer = false;
    x11Grab_.reset();
  }

  void Present(const Bitmap& surface, const std::vector<TRect>& rects) override {
    if (window_ == nullptr || gone_) return;
    SDL_Surface* target = SDL_GetWindowSurface(window_);
    if (target == nullptr) return;
    if (SDL_MUSTLOCK(target) && SDL_LockSurface(target) != 0) return;
    const TRect limit{0, 0, std::min(surface.Width(), target->w),
                      std::min(surface.Height(), target->h)};
    std::vector<SDL_Rect> updated;
    for (const TRect& rect : rects) {
      const TRect part = IntersectRect(rect, limit);
      if (part.IsEmpty()) continue;
      CopyPart(surface, *target, part);
      updated.push_back(SDL_Rect{part.Left, part.Top, part.Width(), part.Height()});
    }
    if (SDL_MUSTLOCK(target)) SDL_UnlockSurface(target);
    if (!updated.empty()) {
      SDL_UpdateWindowSurfaceRects(window_, updated.data(), static_cast<int>(updated.size()));
    }
  }

  void SetTopmost() override {
    topmost_ = true;
    if (window_ == nullptr) return;
    if (unmanaged_) {
      if (shown_) RaiseX11Window(window_, X11InputFocus(window_));
      return;
    }
    SDL_SetWindowAlwaysOnTop(window_, SDL_TRUE);
  }

  // On X11 the window becomes one that no window manager manages, as screen savers' windows
  // are: no window manager moves it off its monitor, tiles it or gives it the focus. It still
  // gets the pointer input over it; keys go on to the window that has the focus.
  void SetNoActivate() override {
    noActivate_ = true;
    if (window_ != nullptr && !shown_) MakeUnmanaged();
  }

  void SetCaption(const std::string& caption) override {
    caption_ = caption;
    if (window_ != nullptr) SDL_SetWindowTitle(window_, caption_.c_str());
  }

 private:
  bool CoversScreen() const {
    if (style_ != TFormBorderStyle::bsNone) return false;
    const std::vector<Screen>& screens = windows_->Screens();
    return std::any_of(screens.begin(), screens.end(),
                       [&](const Screen& screen) { return screen.bounds == bounds_; });
  }

  void Create() {
    Uint32 flags = SDL_WINDOW_HIDDEN;
    if (style_ == TFormBorderStyle::bsNone) flags |= SDL_WINDOW_BORDERLESS;
    if (style_ == TFormBorderStyle::bsSizeable) flags |= SDL_WINDOW_RESIZABLE;
    if (topmost_) flags |= SDL_WINDOW_ALWAYS_ON_TOP;
    window_ = SDL_CreateWindow(caption_.c_str(), bounds_.Left, bounds_.Top,
                               std::max(1, bounds_.Width()), std::max(1, bounds_.Height()), flags);
    if (window_ == nullptr) {
      throw Error(std::string("Cannot create a window: ") + SDL_GetError());
    }
    // A window that covers the screen asks the window manager to keep it so (above panels).
    // SDL is not told: its full-screen windows wait for the window manager at every change and
    // minimise themselves when they lose the focus.
    fullScreen_ = CoversScreen();
    if (fullScreen_) RequestX11FullScreen(window_, true);
    if (noActivate_) MakeUnmanaged();
    windows_->byId[SDL_GetWindowID(window_)] = this;
    xid_ = X11WindowOf(window_);
    if (xid_ != 0 && !windows_->watchingScreens) {
      WatchX11ScreenChanges(window_);
      windows_->watchingScreens = true;
    }
  }

  void MakeUnmanaged() {
    if (unmanaged_ || !MakeX11OverrideRedirect(window_)) return;
    unmanaged_ = true;
    fullScreen_ = false;  // the window manager is asked for nothing any more
  }

  static void CopyPart(const Bitmap& from, SDL_Surface& to, const TRect& part) {
    const int bytesPerPixel = to.format->BytesPerPixel;
    const std::uint8_t* src = from.ScanLine(part.Top) + static_cast<std::size_t>(part.Left) * 3;
    std::uint8_t* dst = static_cast<std::uint8_t*>(to.pixels) +
                        static_cast<std::size_t>(part.Top) * to.pitch +
                        static_cast<std::size_t>(part.Left) * bytesPerPixel;
    // X servers of 24-bit depth give 32-bit surfaces of this layout; a row converts faster by
    // hand than through SDL's general converter.
    const Uint32 format = to.format->format;
    if (SDL_BYTEORDER == SDL_LIL_ENDIAN &&
        (format == SDL_PIXELFORMAT_RGB888 || format == SDL_PIXELFORMAT_ARGB8888)) {
      for (int y = 0; y < part.Height(); ++y) {
        BgrToBgrxChanged(src + y * from.Stride(), dst + static_cast<std::size_t>(y) * to.pitch,
                  part.Width());
      }
      return;
    }
    SDL_ConvertPixels(part.Width(), part.Height(), SDL_PIXELFORMAT_BGR24, src,
                      static_cast<int>(from.Stride()), format, dst, to.pitch);
  }

  std::shared_ptr<SdlWindows> windows_;
  TForm& form_;
  const TFormBorderStyle style_;
  SDL_Window* window_ = nullptr;
  TRect bounds_{};
  std::string caption_;
  bool topmost_ = false;
  bool fullScreen_ = false;
  // SetNoActivate was called.
  bool noActivate_ = false;
  // The X window is override-redirect: no window manager manages it.
  bool unmanaged_ = false;
  unsigned long xid_ = 0;
  bool gone_ = false;
  bool shown_ = false;
  std::unique_ptr<X11InputGrab> x11Grab_;
  // An input grab asked for (GrabInput), since when, and which parts of it are held.
  struct Grab {
    bool wanted = false;
    Uint32 since = 0;
    bool keyboard = false;
    bool pointer = false;
  } grab_;
};

// Nothing here reads text, yet the X input method that SDL opens with the display reads the
// locale's table of compose sequences first, thousands of lines. While it is held, that table is
// an empty file; the variable is the caller's again afterwards, for the programs it starts.
class QuietComposeTable {
 public:
  QuietComposeTable() {
    if (const char* value = std::getenv(kName)) previous_ = value;
    ::setenv(kName, "/dev/null", 1);
  }
  ~QuietComposeTable() {
    if (previous_) {
      ::setenv(kName, previous_->c_str(), 1);
    } else {
      ::unsetenv(kName);
    }
  }
  QuietComposeTable(const QuietComposeTable&) = delete;
  QuietComposeTable& operator=(const QuietComposeTable&) = delete;

 private:
  static constexpr const char* kName = "XCOMPOSEFILE";
  std::optional<std::string> previous_;
};

class SdlBackend : public Backend {
 public:
  SdlBackend() {
    // Window surfaces through plain XShm, not a software-GL texture.
    SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
    // The desktop's screen saver and display power saving stay in charge.
    SDL_SetHint(SDL_HINT_VIDEO_ALLOW_SCREENSAVER, "1");
    // SIGINT and SIGTERM end the program as usual instead of becoming SDL_QUIT.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    // The click that activates a window is input too.
    SDL_SetHint(SDL_HINT_MOUSE_FOCUS_CLICKTHROUGH, "1");
    // Closing the last window is one Close of its form, not a second one through SDL_QUIT.
    SDL_SetHint(SDL_HINT_QUIT_ON_LAST_WINDOW_CLOSE, "0");
    // A message box over a full-screen window must not minimise it.
    SDL_SetHint(SDL_HINT_VIDEO_MINIMIZE_ON_FOCUS_LOSS, "0");
    // These windows are X11's (Xwayland's in a Wayland session), unless asked otherwise.
    if (SDL_getenv("SDL_VIDEODRIVER") == nullptr && SDL_getenv("DISPLAY") != nullptr) {
      SDL_SetHint(SDL_HINT_VIDEODRIVER, "x11");
    }
    // Other clients may destroy the windows at any moment; that must not end the process.
    IgnoreX11Errors();
    // A display server that is just resetting refuses connections for a moment.
    int attempt = 0;
    {
      const QuietComposeTable quiet;
      while (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
        if (++attempt == kDisplayAttempts) {
          throw Error(std::string("Cannot open the display: ") + SDL_GetError());
        }
        SDL_Delay(kDisplayRetryMs);
      }
    }
    // Without any display SDL falls back to a driver that shows nothing; a
    // window there would wait for input that can never come.
    const std::string driver = SDL_GetCurrentVideoDriver();
    if (SDL_getenv("SDL_VIDEODRIVER") == nullptr && (driver == "offscreen" || driver == "dummy")) {
      SDL_QuitSubSystem(SDL_INIT_VIDEO);
      throw Error("Cannot open the display: no display is available");
    }
    if (driver == "x11") {
      // A lost server ends the program with its files cleaned up, and the
      // destruction of a window by another client is seen (DestroyNotify).
      EndProcessOnLostX11Connection();
      SDL_EventState(SDL_SYSWMEVENT, SDL_ENABLE);
      // SDL sees RandR's monitors at best; Xinerama's heads and mirrored outputs need X itself.
      monitors_ = std::make_unique<X11Monitors>();
    }
    windows_->ask = [this] {
      std::vector<Screen> screens;
      if (monitors_) screens = monitors_->Screens();
      return screens.empty() ? SdlScreens() : screens;
    };
    wakeEvent_ = SDL_RegisterEvents(1);
    // Nothing here reads text or key releases; left out, they do not wake WaitEvents.
    SDL_StopTextInput();
    SDL_EventState(SDL_TEXTINPUT, SDL_IGNORE);
    SDL_EventState(SDL_TEXTEDITING, SDL_IGNORE);
    SDL_EventState(SDL_KEYUP, SDL_IGNORE);
  }

  ~SdlBackend() override {
    windows_->videoUp = false;
    windows_->ask = [] { return std::vector<Screen>{}; };
    std::vector<SdlWindow*> left;
    for (const auto& [id, window] : windows_->byId) left.push_back(window);
    for (SdlWindow* window : left) window->Destroy();
    if (handCursor_) SDL_FreeCursor(handCursor_);
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
  }

  std::uint32_t TickCount() override { return SDL_GetTicks(); }
  void Sleep(std::uint32_t ms) override { SDL_Delay(ms); }

  void PollEvents(std::vector<InputEvent>& out) override {
    for (const SDL_Event& e : kept_) Translate(e, out);
    kept_.clear();
    out.insert(out.end(), grabbedInput_.begin(), grabbedInput_.end());
    grabbedInput_.clear();
    SDL_PumpEvents();
    SDL_Event e;
    while (SDL_PeepEvents(&e, 1, SDL_GETEVENT, SDL_FIRSTEVENT, SDL_LASTEVENT) > 0) {
      if (!NoteSystemEvent(e)) Translate(e, out);
      out.insert(out.end(), grabbedInput_.begin(), grabbedInput_.end());
      grabbedInput_.clear();
    }
    for (const unsigned long xid : std::exchange(destroyed_, {})) {
      for (const auto& [id, window] : windows_->byId) {
        if (window->XId() != xid) continue;
        window->MarkGone();
        out.push_back(InputEvent{.kind = InputEvent::Kind::Close, .form = &window->Form()});
      }
    }
    if (std::exchange(screensChanged_, false)) {
      windows_->screens.reset();
      out.push_back(InputEvent{.kind = InputEvent::Kind::ScreensChanged});
    }
    const bool grabsMayBeLost = std::exchange(windows_->grabsMayBeLost, false);
    for (const auto& [id, window] : windows_->byId) window->TryGrab(grabsMayBeLost);
  }

  void WaitEvents(std::uint32_t timeoutMs) override {
    if (!kept_.empty() || !grabbedInput_.empty()) return;
    SDL_Event e;
    int got;
    if (timeoutMs == kInfinite || timeoutMs > static_cast<std::uint32_t>(INT_MAX)) {
      got = SDL_WaitEvent(&e);
    } else {
      got = SDL_WaitEventTimeout(&e, static_cast<int>(timeoutMs));
    }
    if (got == 0 || NoteSystemEvent(e)) return;
    if (e.type == wakeEvent_) {
      wakePending_ = false;
    } else {
      kept_.push_back(e);
    }
  }

  // One wake-up in the queue is enough; more would only crowd out real input.
  void Wake() override {
    if (wakePending_.exchange(true)) return;
    SDL_Event e{};
    e.type = wakeEvent_;
    if (SDL_PushEvent(&e) <= 0) wakePending_ = false;
  }

  std::unique_ptr<WindowHandle> CreateWindowHandle(TForm& form) override {
    return std::make_unique<SdlWindow>(windows_, form);
  }

  // The application's own box, in this process and its message loop; when no
  // box can be shown the text goes to stderr.
  void ShowErrorBox(const std::string& caption, const std::string& text) override {
    ShowMessageFormOrReport(caption, text);
  }

  void ShowCursor(bool show) override {
    cursorCount_ += show ? 1 : -1;
    SDL_ShowCursor(cursorCount_ >= 0 ? SDL_ENABLE : SDL_DISABLE);
    windows_->pointerHidden = cursorCount_ < 0;
    for (const auto& [id, window] : windows_->byId) window->HidePointer(windows_->pointerHidden);
  }

  void ReleaseCapture() override { SDL_CaptureMouse(SDL_FALSE); }

  void SetPointer(TCursor cursor) override {
    if (cursor == TCursor::crHandPoint) {
      if (!handCursor_) handCursor_ = SDL_CreateSystemCursor(SDL_SYSTEM_CURSOR_HAND);
      if (handCursor_) SDL_SetCursor(handCursor_);
    } else {
      SDL_SetCursor(SDL_GetDefaultCursor());
    }
  }

  // Runs the desktop's opener (xdg-open on X11) with the text as one argument.
  void OpenURL(const std::string& url) override { SDL_OpenURL(url.c_str()); }

  TSize ScreenSize() override {
    const TRect primary = PrimaryScreenBounds(windows_->Screens());
    return TSize{primary.Width(), primary.Height()};
  }

  std::vector<Screen> Screens() override {
    windows_->screens.reset();
    return windows_->Screens();
  }

  std::int32_t PixelsPerInch() override {
    const int dpi = monitors_ ? monitors_->ResourceDpi() : 0;
    return dpi > 0 ? dpi : 96;
  }

 private:
  // The pointer's crossing into or out of a window, at its place in that window.
  struct Crossing {
    bool happened = false;
    int x = 0, y = 0;
  };

  // Window-system events carry nothing but the destruction of a window and
  // changes of the monitors; their message is only valid until SDL's queue
  // moves on, so it is read at once.
  bool NoteSystemEvent(const SDL_Event& e) {
    if (e.type != SDL_SYSWMEVENT) return false;
    crossing_.happened = IsX11PointerCrossing(e, crossing_.x, crossing_.y);
    if (const unsigned long xid = DestroyedX11Window(e)) destroyed_.push_back(xid);
    if (IsX11ScreenChange(e)) screensChanged_ = true;
    for (const auto& [id, window] : windows_->byId) {
      InputEvent input;
      TPoint root;
      if (!window->GrabbedPointerEvent(e, input, root)) continue;
      if (input.kind == InputEvent::Kind::MouseMove && HeldBack(window->Window(), root)) continue;
      if (input.kind != InputEvent::Kind::MouseMove) {
        const Uint32 mask = input.button == TMouseButton::mbLeft     ? SDL_BUTTON_LMASK
                            : input.button == TMouseButton::mbMiddle ? SDL_BUTTON_MMASK
                                                                     : SDL_BUTTON_RMASK;
        buttons_ = input.kind == InputEvent::Kind::MouseDown ? buttons_ | mask : buttons_ & ~mask;
      }
      input.shift = ModifierState(SDL_GetModState()) | ButtonState(buttons_);
      grabbedInput_.push_back(input);
    }
    return true;
  }

  TForm* FormOf(Uint32 windowId) {
    const auto it = windows_->byId.find(windowId);
    return it == windows_->byId.end() ? nullptr : &it->second->Form();
  }

  void Translate(const SDL_Event& e, std::vector<InputEvent>& out) {
    if (e.type == wakeEvent_) {
      wakePending_ = false;
      return;
    }
    // SDL follows the X event of a crossing with its motion (an entry with its window event
    // first, a departure with it after).
    const Crossing crossing = std::exchange(crossing_, {});
    switch (e.type) {
      case SDL_KEYDOWN:
        return AddKey(out, e.key.windowID, KeyDown(e.key));
      case SDL_MOUSEBUTTONDOWN:
      case SDL_MOUSEBUTTONUP:
        return TranslateButton(e.button, out);
      case SDL_MOUSEMOTION:
        return TranslateMotion(e.motion, crossing, out);
      case SDL_WINDOWEVENT:
        if (e.window.event == SDL_WINDOWEVENT_ENTER) crossing_ = crossing;
        return TranslateWindowEvent(e.window, out);
      case SDL_DISPLAYEVENT:
        screensChanged_ = true;
        return;
      case SDL_QUIT:
        for (const auto& [id, window] : windows_->byId) {
          out.push_back(InputEvent{.kind = InputEvent::Kind::Close, .form = &window->Form()});
        }
        return;
      default:
        return;
    }
  }

  static InputEvent KeyDown(const SDL_KeyboardEvent& key) {
    return InputEvent{.kind = InputEvent::Kind::KeyDown,
                      .key = VirtualKey(key.keysym),
                      .shift = ModifierState(key.keysym.mod)};
  }

  void TranslateButton(const SDL_MouseButtonEvent& b, std::vector<InputEvent>& out) {
    TMouseButton button;
    if (!ToMouseButton(b.button, button)) return;
    const bool down = b.type == SDL_MOUSEBUTTONDOWN;
    if (down) {
      buttons_ |= SDL_BUTTON(b.button);
    } else {
      buttons_ &= ~SDL_BUTTON(b.button);
      windows_->grabsMayBeLost = true;
    }
    Add(out, b.windowID,
        InputEvent{.kind = down ? InputEvent::Kind::MouseDown : InputEvent::Kind::MouseUp,
                   .x = b.x,
                   .y = b.y,
                   .button = button,
                   .shift = ModifierState(SDL_GetModState()) | ButtonState(buttons_)});
  }

  void TranslateMotion(const SDL_MouseMotionEvent& m, const Crossing& crossing,
                       std::vector<InputEvent>& out) {
    buttons_ = m.state;
    // The event's position is relative to where the window stood when the
    // event was made. A window that has moved since (a saver that goes full
    // screen right after it appears) would see the pointer jump without any
    // movement, so the pointer is placed against the window as it stands now.
    std::int32_t x = m.x;
    std::int32_t y = m.y;
    if (SDL_Window* window = SDL_GetWindowFromID(m.windowID)) {
      // Xwayland's crossings and its answer to the query may still give where the pointer
      // stood when it last left its windows; the server's first motion to the true place
      // would then look like a move. A crossing there is no reading of the pointer; the
      // motions that follow are.
      int width = 0, height = 0;  // SDL brings a crossing outside the window to its edge
      SDL_GetWindowSize(window, &width, &height);
      const bool fromCrossing = crossing.happened &&
                                m.x == std::clamp(crossing.x, 0, std::max(width - 1, 0)) &&
                                m.y == std::clamp(crossing.y, 0, std::max(height - 1, 0));
      if (fromCrossing && IsXwayland(window)) return;
      TPoint root;
      if (!X11PointerInWindow(window, x, y, root.X, root.Y)) {
        int windowX, windowY;
        SDL_GetGlobalMouseState(&root.X, &root.Y);
        SDL_GetWindowPosition(window, &windowX, &windowY);
        x = root.X - windowX;
        y = root.Y - windowY;
      }
      if (HeldBack(window, root)) return;
    }
    Add(out, m.windowID,
        InputEvent{.kind = InputEvent::Kind::MouseMove,
                   .x = x,
                   .y = y,
                   .shift = ModifierState(SDL_GetModState()) | ButtonState(buttons_)});
  }

  void TranslateWindowEvent(const SDL_WindowEvent& w, std::vector<InputEvent>& out) {
    using Kind = InputEvent::Kind;
    if (w.event == SDL_WINDOWEVENT_SHOWN || w.event == SDL_WINDOWEVENT_HIDDEN ||
        w.event == SDL_WINDOWEVENT_FOCUS_GAINED || w.event == SDL_WINDOWEVENT_FOCUS_LOST ||
        w.event == SDL_WINDOWEVENT_ENTER || w.event == SDL_WINDOWEVENT_LEAVE) {
      windows_->grabsMayBeLost = true;
    }
    Kind kind;
    switch (w.event) {
      case SDL_WINDOWEVENT_LEAVE:
        kind = Kind::MouseLeaveWindow;
        break;
      case SDL_WINDOWEVENT_EXPOSED:
        kind = Kind::Expose;
        break;
      case SDL_WINDOWEVENT_CLOSE:
        kind = Kind::Close;
        break;
      case SDL_WINDOWEVENT_FOCUS_GAINED:
        kind = Kind::Activate;
        break;
      case SDL_WINDOWEVENT_SIZE_CHANGED:
        return TranslateResize(w.windowID, out);
      default:
        return;
    }
    Add(out, w.windowID, InputEvent{.kind = kind});
  }

  // The size the window has now, which a late report of an earlier one would undo.
  void TranslateResize(Uint32 windowId, std::vector<InputEvent>& out) {
    const auto it = windows_->byId.find(windowId);
    int width = 0, height = 0;
    if (it == windows_->byId.end() || !it->second->TakeSize(width, height)) return;
    out.push_back(InputEvent{
        .kind = InputEvent::Kind::Resized, .form = &it->second->Form(), .x = width, .y = height});
  }

  bool IsXwayland(SDL_Window* window) {
    if (!xwayland_) xwayland_ = X11ServerIsXwayland(window);
    return *xwayland_;
  }

  // On Xwayland every reading of the pointer is the place where it last left the server's
  // windows until the compositor hands the pointer to one of them; a saver would take that for
  // the pointer's place and close at the first true one. Moves are held back there until one
  // reads another place on the screen than the first did: from then on the readings are true.
  bool HeldBack(SDL_Window* window, TPoint root) {
    if (pointerTrusted_ || window == nullptr || !IsXwayland(window)) return false;
    if (!firstReading_) firstReading_ = root;
    pointerTrusted_ = root != *firstReading_;
    return !pointerTrusted_;
  }

  // A key that SDL gives no window of ours (while a grab brings the keys of the whole
  // desktop, the window of the keyboard's focus may be another's) is the grabbing window's.
  void AddKey(std::vector<InputEvent>& out, Uint32 windowId, InputEvent e) {
    if (FormOf(windowId) == nullptr) {
      for (const auto& [id, window] : windows_->byId) {
        if (window->Grabbing()) windowId = id;
      }
    }
    Add(out, windowId, e);
  }

  // Input for a window that has gone since is dropped.
  void Add(std::vector<InputEvent>& out, Uint32 windowId, InputEvent e) {
    e.form = FormOf(windowId);
    if (e.form != nullptr) out.push_back(e);
  }

  std::shared_ptr<SdlWindows> windows_ = std::make_shared<SdlWindows>();
  Uint32 wakeEvent_ = 0;
  std::atomic<bool> wakePending_{false};
  std::deque<SDL_Event> kept_;
  Uint32 buttons_ = 0;
  std::vector<unsigned long> destroyed_;
  std::unique_ptr<X11Monitors> monitors_;
  // Pointer input over other programs' windows that an input grab brought.
  std::vector<InputEvent> grabbedInput_;
  bool screensChanged_ = false;
  // The last X crossing while SDL's motion for it may still come: it was the event last
  // taken, or that was SDL's window event of the entry.
  Crossing crossing_;
  std::optional<bool> xwayland_;  // asked of the server with the first window's motion
  // The first place on the screen a move read, and whether a move has read another since.
  std::optional<TPoint> firstReading_;
  bool pointerTrusted_ = false;
  int cursorCount_ = 0;
  SDL_Cursor* handCursor_ = nullptr;
};

}  // namespace

std::unique_ptr<Backend> CreateSdlBackend() { return std::make_unique<SdlBackend>(); }

}  // namespace slidesaver
