#pragma once

#include <cstdint>
#include <condition_variable>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "base/geometry.h"
#include "graphics/bitmap.h"

namespace slidesaver {

class TApplication;
class TForm;
class TTimer;

enum class TMouseButton { mbLeft, mbRight, mbMiddle };

// The mouse pointer's look.
enum class TCursor { crDefault, crHandPoint };

// Shift, Alt, Ctrl and mouse buttons held during an input event.
using TShiftState = std::uint32_t;
constexpr TShiftState ssShift = 1;
constexpr TShiftState ssAlt = 2;
constexpr TShiftState ssCtrl = 4;
constexpr TShiftState ssLeft = 8;
constexpr TShiftState ssRight = 16;
constexpr TShiftState ssMiddle = 32;

// One piece of input, in the client coordinates of the form it belongs to.
struct InputEvent {
  // Close: the window's close control; Expose: the window needs repainting;
  // Activate: the window received the input focus; Message: another program
  // sent the window a message of the application's own range; ScreensChanged:
  // a monitor came, went or changed (no form: Backend::Screens tells the rest);
  // Resized: the window system gave the window another client size (x, y).
  enum class Kind {
    KeyDown, MouseDown, MouseUp, MouseMove, MouseLeaveWindow, Close, Expose, Activate, Message,
    ScreensChanged, Resized
  };
  Kind kind = Kind::MouseMove;
  TForm* form = nullptr;
  std::int32_t x = 0;
  std::int32_t y = 0;
  std::uint16_t key = 0;  // virtual key code for KeyDown
  TMouseButton button = TMouseButton::mbLeft;
  TShiftState shift = 0;
  std::uint32_t message = 0;  // the message number for Message
};

// What a form's window is on a backend: it shows the form's surface.
class WindowHandle {
 public:
  virtual ~WindowHandle() = default;
  virtual void SetBounds(const TRect& bounds) = 0;
  virtual void Show() = 0;
  virtual void Hide() = 0;
  // Shows these rectangles of the form's composed surface.
  virtual void Present(const Bitmap& surface, const std::vector<TRect>& rects) = 0;
  // Keeps the window above all ordinary windows.
  virtual void SetTopmost() {}
  virtual void SetCaption(const std::string& caption) {}
  // The window system's handle of the window (an HWND on Windows); 0 where
  // there is none to hand to the system's own dialogs.
  virtual std::intptr_t Native() const { return 0; }
  // From when the window shows until it goes, every key and pointer event of
  // the desktop comes to the program's own windows, none to other programs'
  // (X11 grabs; elsewhere topmost full-screen windows have them anyway).
  virtual void GrabInput() {}
  // Neither showing the window nor a click into it takes the keyboard focus
  // from the program's window that has it (a cover beside the main window).
  // Called before the window first shows.
  virtual void SetNoActivate() {}
};

// One monitor, in desktop coordinates (Windows places monitors left of or
// above the primary one at negative ones).
struct Screen {
  TRect bounds;
  bool primary = false;
  bool operator==(const Screen&) const = default;
};

// The primary one of `screens` (else the first); an empty rectangle when there is none.
TRect PrimaryScreenBounds(const std::vector<Screen>& screens);

// The platform under the application: clock, events, windows, message boxes.
// TickCount, Sleep and Wake may be called from any thread; the rest only
// from the main thread.
class Backend {
 public:
  virtual ~Backend() = default;
  virtual std::uint32_t TickCount() = 0;  // milliseconds, wrapping at 2^32
  virtual void Sleep(std::uint32_t ms) = 0;
  // Moves the platform's pending input into `out`; returns at once.
  virtual void PollEvents(std::vector<InputEvent>& out) = 0;
  // Blocks until input arrives, Wake is called, or `timeoutMs` have passed
  // (kInfinite: no time limit).
  virtual void WaitEvents(std::uint32_t timeoutMs) = 0;
  virtual void Wake() = 0;
  virtual std::unique_ptr<WindowHandle> CreateWindowHandle(TForm& form) = 0;
  // A message box with the stop icon; returns when the user dismissed it.
  virtual void ShowErrorBox(const std::string& caption, const std::string& text) = 0;
  // Raises (true) or lowers (false) the cursor's display counter; the mouse
  // cursor shows while the counter is 0 or more. It starts at 0.
  virtual void ShowCursor(bool show) = 0;
  // Ends any mouse capture the program holds.
  virtual void ReleaseCapture() {}
  // The pointer's look over all of the program's windows.
  virtual void SetPointer(TCursor cursor) {}
  // Hands a document or address, unchanged, to the desktop's opener; its
  // result is not looked at.
  virtual void OpenURL(const std::string& url) {}
  // The size of the primary screen, or of the host's window when the program
  // draws into a window another process owns.
  virtual TSize ScreenSize() = 0;
  // The primary screen's pixels per inch, at which sizes in points become
  // pixels: the system's setting where it has one (Windows' display scale,
  // X11's Xft.dpi), else 96.
  virtual std::int32_t PixelsPerInch() { return 96; }
  // Every monitor of the desktop, one of them primary; by default the one
  // primary screen of ScreenSize at 0,0. A ScreensChanged event tells when
  // this changes.
  virtual std::vector<Screen> Screens() {
    const TSize size = ScreenSize();
    return {Screen{TRect{0, 0, size.cx, size.cy}, true}};
  }

  static constexpr std::uint32_t kInfinite = 0xFFFFFFFFu;
};

// The application object: the main thread's queue of posted calls, timers,
// hand-overs from worker threads, input routing, painting and the run loop.
class TApplication {
 public:
  explicit TApplication(std::unique_ptr<Backend> backend);
  ~TApplication();
  TApplication(const TApplication&) = delete;
  TApplication& operator=(const TApplication&) = delete;

  Backend& Platform() { return *backend_; }
  std::uint32_t TickCount() { return backend_->TickCount(); }
  void Sleep(std::uint32_t ms) { backend_->Sleep(ms); }
  bool IsMainThread() const { return std::this_thread::get_id() == mainThread_; }

  // Queues a call for the main thread; safe from any thread.
  void PostMessage(std::function<void()> call);
  // Handles the input, due timers, hand-overs and posted calls that are
  // queued now, then repaints what is invalid; calls queued meanwhile wait
  // for the next round.
  void ProcessMessages();
  // Blocks until something may be there to process, at most `timeoutMs`.
  void WaitForMessages(std::uint32_t timeoutMs);
  // Runs until Terminate (or the main form closes): process, idle, wait.
  void Run();
  void Terminate();
  bool Terminated() const { return terminated_; }
  // Shows `form` and handles messages until it is hidden again or the
  // application is told to terminate. Meanwhile keys, mouse input and
  // activation meant for other forms are dropped; closing them still works.
  void RunModal(TForm& form);

  // Called when the queue has run empty; setting `done` to false asks to be
  // called again before waiting.
  std::function<void(bool& done)> OnIdle;
  // Called when the desktop's monitors changed (ScreensChanged).
  std::function<void()> OnScreensChanged;
  // Replaces the default failure handler (a message box with the stop icon).
  std::function<void(const std::exception&)> OnException;
  void HandleException(const std::exception& e);
  // The file name up to its first ".", every letter after the first in lower case.
  std::string Title;
  TForm* MainForm = nullptr;

  // Runs `call` on the main thread and returns when it has run; on the main
  // thread it runs at once. A failure inside it is rethrown in the caller.
  void Synchronize(std::function<void()> call);
  // Runs the hand-overs waiting now; true when there was one. Main thread.
  bool CheckSynchronize();
  // Blocks until a hand-over arrives or `done` says true; main thread.
  void WaitForSynchronize(const std::function<bool()>& done);
  // Wakes WaitForSynchronize to look at its condition again; any thread.
  void WakeSynchronizeWaiters();
  // Worker threads count themselves in and out; the application's
  // destructor waits until the last one has left.
  void ThreadStarted();
  void ThreadEnded();

  // Forms and timers register themselves.
  void AddForm(TForm* form);
  void RemoveForm(TForm* form);
  void AddTimer(TTimer* timer);
  void RemoveTimer(TTimer* timer);
  void TimerChanged(TTimer* timer);
  // Routes one piece of input to its form; tests may call it directly.
  void DispatchInput(const InputEvent& e);
  // Repaints every form's invalid area now.
  void PaintAll();

 private:
  struct HandOver;
  std::uint32_t MillisecondsToNextTimer();
  bool FireDueTimers();

  std::unique_ptr<Backend> backend_;
  std::thread::id mainThread_;
  bool terminated_ = false;

  std::mutex queueMutex_;
  std::deque<std::function<void()>> posted_;
  std::deque<std::shared_ptr<HandOver>> handOvers_;
  std::condition_variable_any handOverArrived_;
  int liveThreads_ = 0;

  std::vector<TForm*> forms_;
  std::vector<TTimer*> timers_;
  TForm* modal_ = nullptr;
};

// The application title of an executable: its file name (FileNamePart) up to the first ".",
// every ASCII letter after the first in lower case ("/opt/MY.SAVER.SCR" gives "My").
std::string ApplicationTitle(std::string_view executablePath);

// Writes one line "<application title>: <text>" on stderr (and to the
// system's debugger output), for what a user should learn but no box should
// stand for (or where nobody could dismiss one).
void ReportToStderr(std::string_view text);

// The application of this process; exists between its construction and destruction.
TApplication& Application();
bool HasApplication();

// Calls `OnTimer` every `Interval` milliseconds while enabled.
class TTimer {
 public:
  TTimer();
  ~TTimer();
  TTimer(const TTimer&) = delete;
  TTimer& operator=(const TTimer&) = delete;

  bool Enabled() const { return enabled_; }
  void SetEnabled(bool enabled);
  std::uint32_t Interval() const { return interval_; }
  void SetInterval(std::uint32_t ms);
  std::function<void()> OnTimer;

  // For the application: when the timer is next due (tick count).
  std::uint32_t Due() const { return due_; }
  void Restart(std::uint32_t now) { due_ = now + interval_; }

 private:
  bool enabled_ = true;
  std::uint32_t interval_ = 1000;
  std::uint32_t due_ = 0;
};

}  // namespace slidesaver
