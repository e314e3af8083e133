#pragma once

#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "ui/app.h"

namespace slidesaver {

// A backend without a display, for tests and tools: windows are in-memory
// surfaces, time is a virtual clock that only moves when told to (or when
// somebody sleeps or waits), and input is scripted.
class HeadlessBackend : public Backend {
 public:
  explicit HeadlessBackend(TSize screen = {1024, 768}) : screen_(screen) {}

  std::uint32_t TickCount() override { return clock_; }
  // Virtual time passes at once.
  void Sleep(std::uint32_t ms) override { clock_ += ms; }
  void PollEvents(std::vector<InputEvent>& out) override;
  // Returns at once when input or a wake-up is pending; otherwise lets the
  // virtual time pass by `timeoutMs`, or blocks for a wake-up when unlimited.
  void WaitEvents(std::uint32_t timeoutMs) override;
  void Wake() override;
  std::unique_ptr<WindowHandle> CreateWindowHandle(TForm& form) override;
  void ShowErrorBox(const std::string& caption, const std::string& text) override;
  void ShowCursor(bool show) override { cursorCount_ += show ? 1 : -1; }
  TSize ScreenSize() override { return screen_; }
  // The scripted monitors; the one screen of ScreenSize until SetScreens.
  std::vector<Screen> Screens() override;
  std::int32_t PixelsPerInch() override { return pixelsPerInch_; }
  void SetPixelsPerInch(std::int32_t ppi) { pixelsPerInch_ = ppi; }
  void SetPointer(TCursor cursor) override { pointer_ = cursor; }
  void OpenURL(const std::string& url) override { openedUrls_.push_back(url); }

  // Scripting.
  void Advance(std::uint32_t ms) { clock_ += ms; }
  void SetScreenSize(TSize screen) { screen_ = screen; }
  // Replaces the monitors and reports the change as a ScreensChanged event;
  // ScreenSize follows the primary one.
  void SetScreens(std::vector<Screen> screens);
  // How many windows have grabbed the input so far.
  int InputGrabs() const { return inputGrabs_; }
  void PushInput(const InputEvent& e);
  std::vector<std::pair<std::string, std::string>> ErrorBoxes() const;
  int CursorCount() const { return cursorCount_; }
  TCursor Pointer() const { return pointer_; }
  const std::vector<std::string>& OpenedUrls() const { return openedUrls_; }
  // Every rectangle presented so far, in order, over all windows.
  std::vector<TRect> Presented() const;
  void ClearPresented();
  // What a form's window shows: the pixels of every rectangle presented to it, none before.
  static const Bitmap* Shown(TForm& form);

 private:
  friend class HeadlessWindow;
  TSize screen_;
  std::vector<Screen> screens_;
  int inputGrabs_ = 0;
  std::int32_t pixelsPerInch_ = 96;
  std::atomic<std::uint32_t> clock_{0};
  int cursorCount_ = 0;
  TCursor pointer_ = TCursor::crDefault;
  std::vector<std::string> openedUrls_;
  mutable std::mutex mutex_;
  std::condition_variable wakeUp_;
  bool woken_ = false;
  std::deque<InputEvent> input_;
  std::vector<std::pair<std::string, std::string>> errorBoxes_;
  std::vector<TRect> presented_;
};

}  // namespace slidesaver
