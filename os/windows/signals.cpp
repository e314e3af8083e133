#include "system/signals.h"

#include <windows.h>

#include <condition_variable>
#include <future>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>

#include "system/exit_cleanup.h"
#include "system/termination_state.h"

namespace slidesaver {

// Windows has no signals. What asks a program to end are the end of the
// session (log-off, shut-down: WM_QUERYENDSESSION and WM_ENDSESSION to every
// top-level window) and, for console programs, the console's control events
// (Ctrl+C, Ctrl+Break, the console closing, log-off, shut-down). The system
// ends the process as soon as their handlers return, so a handler holds on
// until the program has closed the normal way (and destroyed this object) or
// the watcher's deadline has cleaned up and ended it.
struct TerminationSignals::Impl : TerminationState {
  std::condition_variable changed;
  std::thread watcher;
  std::thread session;
  DWORD sessionThread = 0;

  void Arrived(std::chrono::milliseconds atLeast = {}) {
    std::function<void()> call;
    {
      std::lock_guard lock(mutex);
      call = ArrivedLocked(atLeast);
    }
    changed.notify_all();
    if (call) call();
  }

  void Watch() {
    std::unique_lock lock(mutex);
    for (;;) {
      if (stopping) return;
      if (endBy) {
        if (changed.wait_until(lock, *endBy) == std::cv_status::timeout && !stopping) {
          ExitAfterCleanup(0);
        }
      } else {
        changed.wait(lock);
      }
    }
  }

  // A hidden top-level window of its own thread gets the end of the session,
  // whatever the main thread is doing.
  void WatchSession(std::promise<void>& ready);
};

namespace {

// The system waits about 5 s for a program to end when the session ends;
// closing the normal way may take part of that (stopping a sound through the
// Media Control Interface can take a second under Wine).
constexpr std::chrono::milliseconds kSessionEndDeadline{3000};

bool SessionEnds(DWORD consoleEvent) {
  return consoleEvent == CTRL_CLOSE_EVENT || consoleEvent == CTRL_LOGOFF_EVENT ||
         consoleEvent == CTRL_SHUTDOWN_EVENT;
}

std::mutex g_currentMutex;
TerminationSignals::Impl* g_current = nullptr;

// Set while no TerminationSignals lives: handlers that hold on may return.
// Never closed, as a handler may still be waking up on it.
HANDLE Released() {
  static const HANDLE event = CreateEventW(nullptr, TRUE, TRUE, nullptr);
  return event;
}

void HoldUntilReleased() { WaitForSingleObject(Released(), INFINITE); }

// The same for a thread with windows: messages other threads send to them
// (closing the saver window sends some) are answered meanwhile, or the
// sender would wait for the hold to end.
void HoldAnsweringUntilReleased() {
  HANDLE released = Released();
  while (MsgWaitForMultipleObjects(1, &released, FALSE, INFINITE, QS_SENDMESSAGE) ==
         WAIT_OBJECT_0 + 1) {
    MSG message;
    PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
  }
}

BOOL WINAPI OnConsoleEvent(DWORD type) {
  {
    std::lock_guard lock(g_currentMutex);
    if (g_current == nullptr) return FALSE;
    g_current->Arrived(SessionEnds(type) ? kSessionEndDeadline : std::chrono::milliseconds{});
  }
  // The system ends the process when the handler returns from these.
  if (SessionEnds(type)) HoldUntilReleased();
  return TRUE;
}

LRESULT CALLBACK SessionProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* impl = reinterpret_cast<TerminationSignals::Impl*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  switch (message) {
    case WM_QUERYENDSESSION:
      return TRUE;
    case WM_ENDSESSION:
      if (wParam != FALSE && impl != nullptr) {
        impl->Arrived(kSessionEndDeadline);
        HoldAnsweringUntilReleased();
      }
      return 0;
    default:
      return DefWindowProcW(window, message, wParam, lParam);
  }
}

}  // namespace

void TerminationSignals::Impl::WatchSession(std::promise<void>& ready) {
  static const ATOM windowClass = [] {
    WNDCLASSW description{};
    description.lpfnWndProc = SessionProcedure;
    description.hInstance = GetModuleHandleW(nullptr);
    description.lpszClassName = L"SlidesaverSession";
    return RegisterClassW(&description);
  }();
  const HWND window =
      CreateWindowExW(0, reinterpret_cast<LPCWSTR>(static_cast<ULONG_PTR>(windowClass)), L"", WS_POPUP,
                      0, 0, 0, 0, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
  if (window != nullptr) SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  MSG message;
  PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE);  // the thread's queue exists from here on
  ready.set_value();
  while (GetMessageW(&message, nullptr, 0, 0) > 0) DispatchMessageW(&message);
  if (window != nullptr) DestroyWindow(window);
}

TerminationSignals::TerminationSignals() : impl_(new Impl) {
  ResetEvent(Released());
  {
    std::lock_guard lock(g_currentMutex);
    g_current = impl_;
  }
  SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
  impl_->watcher = std::thread([impl = impl_] { impl->Watch(); });
  std::promise<void> ready;
  impl_->session = std::thread([impl = impl_, &ready] {
    impl->sessionThread = GetCurrentThreadId();
    impl->WatchSession(ready);
  });
  ready.get_future().wait();
}

TerminationSignals::~TerminationSignals() {
  SetConsoleCtrlHandler(OnConsoleEvent, FALSE);
  {
    std::lock_guard lock(g_currentMutex);
    g_current = nullptr;
  }
  SetEvent(Released());
  PostThreadMessageW(impl_->sessionThread, WM_QUIT, 0, 0);
  impl_->session.join();
  impl_->Stop();
  impl_->changed.notify_all();
  impl_->watcher.join();
  delete impl_;
}

void TerminationSignals::SetHandler(std::function<void()> handler) {
  impl_->SetHandler(std::move(handler));
}

int TerminationSignals::Received() const { return impl_->Received(); }

void TerminationSignals::EndProcessAfter(std::chrono::milliseconds deadline) {
  impl_->SetDeadline(deadline);
}

}  // namespace slidesaver
