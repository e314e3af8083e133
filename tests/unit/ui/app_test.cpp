#include "ui/app.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "base/error.h"
#include "ui/controls.h"
#include "ui/headless.h"
#include "ui/thread.h"

namespace slidesaver {
namespace {

constexpr std::uint32_t kRed = 0x0000FF;
constexpr std::uint32_t kGreen = 0x00FF00;
constexpr std::uint32_t kBlue = 0xFF0000;
constexpr std::uint32_t kYellow = 0x00FFFF;
constexpr std::uint32_t kMarker = 0x123456;

// Every test owns one application over a headless backend with a virtual clock.
class HeadlessApp : public ::testing::Test {
 protected:
  HeadlessApp() { app_.Title = "Slides"; }

  static std::unique_ptr<Backend> MakeBackend(HeadlessBackend*& raw) {
    auto backend = std::make_unique<HeadlessBackend>();
    raw = backend.get();
    return backend;
  }

  HeadlessBackend* backend_ = nullptr;
  TApplication app_{MakeBackend(backend_)};
};

using AppTest = HeadlessApp;
using TimerTest = HeadlessApp;
using ThreadTest = HeadlessApp;
using FormTest = HeadlessApp;

TEST(ApplicationTitleTest, FileNameUpToTheFirstDotWithLaterLettersLowered) {
  EXPECT_EQ(ApplicationTitle("/opt/savers/MY.SAVER.SCR"), "My");
  EXPECT_EQ(ApplicationTitle("demo.scr"), "demo");  // the first letter keeps its case
  EXPECT_EQ(ApplicationTitle("/x/aBC1-\xc3\x84X"), "abc1-\xc3\x84x");
  EXPECT_EQ(ApplicationTitle("/x/.hidden"), "");
}

TEST_F(AppTest, PostedCallsRunInOrderAndLaterPostsWaitForTheNextRound) {
  std::vector<int> ran;
  app_.PostMessage([&] { ran.push_back(1); });
  app_.PostMessage([&] {
    ran.push_back(2);
    app_.PostMessage([&] { ran.push_back(4); });
  });
  app_.PostMessage([&] { ran.push_back(3); });
  app_.ProcessMessages();
  EXPECT_EQ(ran, (std::vector<int>{1, 2, 3}));
  app_.ProcessMessages();
  EXPECT_EQ(ran, (std::vector<int>{1, 2, 3, 4}));
}

TEST_F(AppTest, FailuresReachTheHandlerAndLaterWorkStillRuns) {
  using Box = std::pair<std::string, std::string>;
  std::vector<int> ran;
  app_.PostMessage([] { throw Error("Stream read error"); });
  app_.PostMessage([&] { ran.push_back(1); });
  app_.PostMessage([] { throw Error("Index is out of bounds."); });
  app_.PostMessage([&] { ran.push_back(2); });
  app_.ProcessMessages();
  EXPECT_EQ(ran, (std::vector<int>{1, 2}));
  EXPECT_EQ(backend_->ErrorBoxes(), (std::vector<Box>{{"Slides", "Stream read error."},
                                                      {"Slides", "Index is out of bounds."}}));

  // Timer events and input handlers go to the same handler.
  TTimer timer;
  timer.SetInterval(10);
  timer.OnTimer = [] { throw Error("Invalid property value"); };
  TForm form;
  form.SetBounds(0, 0, 20, 20);
  form.OnKeyDown = [](void*, std::uint16_t&, TShiftState) { throw Error("Unable to write to x"); };
  backend_->PushInput({.kind = InputEvent::Kind::KeyDown, .form = &form, .key = 13});
  backend_->Advance(10);
  app_.ProcessMessages();
  const auto boxes = backend_->ErrorBoxes();
  ASSERT_EQ(boxes.size(), 4u);
  EXPECT_EQ(boxes[2], (Box{"Slides", "Unable to write to x."}));
  EXPECT_EQ(boxes[3], (Box{"Slides", "Invalid property value."}));

  // A handler of the application's own replaces the message box.
  std::vector<std::string> seen;
  app_.OnException = [&](const std::exception& e) { seen.push_back(e.what()); };
  app_.PostMessage([] { throw Error("Class TFoo not found"); });
  app_.PostMessage([&] { ran.push_back(3); });
  app_.ProcessMessages();
  EXPECT_EQ(seen, (std::vector<std::string>{"Class TFoo not found"}));
  EXPECT_EQ(ran.back(), 3);
  EXPECT_EQ(backend_->ErrorBoxes().size(), 4u);
}

TEST_F(AppTest, SynchronizeRunsOnTheMainThreadAndRethrowsInTheWorker) {
  const std::thread::id mainId = std::this_thread::get_id();
  std::vector<std::thread::id> callThreads;
  app_.Synchronize([&] { callThreads.push_back(std::this_thread::get_id()); });  // at once
  ASSERT_EQ(callThreads.size(), 1u);

  std::atomic<bool> done{false};
  bool workerIsMain = true;
  std::string rethrown;
  std::thread worker([&] {
    workerIsMain = app_.IsMainThread();
    for (int i = 0; i < 3; ++i) {
      app_.Synchronize([&] { callThreads.push_back(std::this_thread::get_id()); });
    }
    try {
      app_.Synchronize([] { throw Error("Invalid stream format"); });
    } catch (const Error& e) {
      rethrown = e.what();
    }
    done = true;
    app_.Platform().Wake();
  });
  while (!done) {
    app_.ProcessMessages();
    app_.WaitForMessages(Backend::kInfinite);
  }
  worker.join();
  EXPECT_FALSE(workerIsMain);
  EXPECT_EQ(callThreads, (std::vector<std::thread::id>(4, mainId)));
  EXPECT_EQ(rethrown, "Invalid stream format");
  EXPECT_TRUE(backend_->ErrorBoxes().empty());  // the caller decides, not the main thread
}

TEST_F(TimerTest, FiresAfterItsIntervalOfVirtualTimeOnlyWhileEnabled) {
  int fired = 0, disabledFired = 0, zeroFired = 0;
  TTimer timer;
  timer.SetInterval(100);
  timer.OnTimer = [&] { ++fired; };
  TTimer disabled;
  disabled.SetInterval(10);
  disabled.SetEnabled(false);
  disabled.OnTimer = [&] { ++disabledFired; };
  TTimer zero;
  zero.SetInterval(0);
  zero.OnTimer = [&] { ++zeroFired; };

  backend_->Advance(99);
  app_.ProcessMessages();
  EXPECT_EQ(fired, 0);
  backend_->Advance(1);
  app_.ProcessMessages();
  app_.ProcessMessages();  // restarted: not due again yet
  EXPECT_EQ(fired, 1);
  backend_->Advance(100);
  app_.ProcessMessages();
  EXPECT_EQ(fired, 2);
  EXPECT_EQ(disabledFired, 0);
  EXPECT_EQ(zeroFired, 0);

  // Enabling starts the interval from now.
  disabled.SetEnabled(true);
  backend_->Advance(9);
  app_.ProcessMessages();
  EXPECT_EQ(disabledFired, 0);
  backend_->Advance(1);
  app_.ProcessMessages();
  EXPECT_EQ(disabledFired, 1);
  EXPECT_EQ(zeroFired, 0);
}

TEST_F(TimerTest, WaitingAdvancesTheClockOnlyUpToTheNextTimer) {
  TTimer zero;
  zero.SetInterval(0);
  app_.WaitForMessages(50);  // a timer of interval 0 is never due
  EXPECT_EQ(app_.TickCount(), 50u);

  int fired = 0;
  TTimer timer;
  timer.SetInterval(300);
  timer.OnTimer = [&] { ++fired; };
  app_.WaitForMessages(Backend::kInfinite);
  EXPECT_EQ(app_.TickCount(), 350u);
  app_.ProcessMessages();
  EXPECT_EQ(fired, 1);
  app_.WaitForMessages(100);
  EXPECT_EQ(app_.TickCount(), 450u);
  app_.WaitForMessages(Backend::kInfinite);
  EXPECT_EQ(app_.TickCount(), 650u);
}

TEST_F(TimerTest, RunIdlesAndEndsWhenATimerTerminates) {
  int idles = 0, fired = 0;
  std::vector<std::uint32_t> idleTicks;
  app_.OnIdle = [&](bool& done) {
    idleTicks.push_back(app_.TickCount());
    done = ++idles > 3;  // the first idle calls ask to be called again at once
  };
  TTimer timer;
  timer.SetInterval(250);
  timer.OnTimer = [&] {
    if (++fired == 3) app_.Terminate();
  };
  app_.Run();
  EXPECT_TRUE(app_.Terminated());
  EXPECT_EQ(fired, 3);
  EXPECT_EQ(app_.TickCount(), 750u);
  ASSERT_GE(idleTicks.size(), 6u);
  EXPECT_EQ(idleTicks[3], 0u);
  EXPECT_EQ(idleTicks[4], 250u);
  EXPECT_EQ(idleTicks[5], 500u);
}

// Runs a function as its Execute; records its destruction.
class ScriptedThread : public TThread {
 public:
  explicit ScriptedThread(std::function<void(ScriptedThread&)> body,
                          std::atomic<int>* destroyed = nullptr)
      : body_(std::move(body)), destroyed_(destroyed) {}
  ~ScriptedThread() override {
    if (destroyed_ != nullptr) ++*destroyed_;
  }
  using TThread::Synchronize;

 protected:
  void Execute() override { body_(*this); }

 private:
  std::function<void(ScriptedThread&)> body_;
  std::atomic<int>* destroyed_;
};

TEST_F(ThreadTest, HandsOverCallsSeesTerminateAndEndsWithOnTerminateOnTheMainThread) {
  const std::thread::id mainId = std::this_thread::get_id();
  std::vector<int> order;
  std::vector<bool> insideHandOver, workerSawHandOver;
  ScriptedThread thread([&](ScriptedThread& self) {
    for (int i = 0; i < 5; ++i) {
      self.Synchronize([&, i] {
        EXPECT_EQ(std::this_thread::get_id(), mainId);
        order.push_back(i);
        insideHandOver.push_back(self.InHandOver());
      });
      workerSawHandOver.push_back(self.InHandOver());
    }
    while (!self.Terminated()) std::this_thread::yield();
    order.push_back(50);
  });
  thread.OnTerminate = [&] {
    EXPECT_EQ(std::this_thread::get_id(), mainId);
    EXPECT_TRUE(thread.InHandOver());
    order.push_back(99);
  };
  thread.Start();
  EXPECT_FALSE(thread.InHandOver());
  while (order.size() < 5) {
    app_.WaitForSynchronize([] { return false; });
    app_.CheckSynchronize();
  }
  EXPECT_FALSE(thread.Finished());  // still waiting for Terminate
  thread.Terminate();
  thread.WaitFor();
  EXPECT_TRUE(thread.Finished());
  EXPECT_FALSE(thread.InHandOver());
  EXPECT_EQ(order, (std::vector<int>{0, 1, 2, 3, 4, 50, 99}));
  EXPECT_EQ(insideHandOver, std::vector<bool>(5, true));
  EXPECT_EQ(workerSawHandOver, std::vector<bool>(5, false));
}

TEST_F(ThreadTest, FreeOnTerminateDeletesTheThreadObject) {
  std::atomic<int> destroyed{0};
  bool terminated = false;
  auto* thread = new ScriptedThread([](ScriptedThread&) {}, &destroyed);
  thread->FreeOnTerminate = true;
  // OnTerminate holds the object until the main thread waits for it.
  thread->OnTerminate = [&] { terminated = true; };
  thread->Start();
  thread->WaitFor();
  EXPECT_TRUE(terminated);
  EXPECT_EQ(destroyed.load(), 1);

  // Threads that end at once, with nobody waiting for them.
  constexpr int kThreads = 50;
  for (int i = 0; i < kThreads; ++i) {
    auto* quick = new ScriptedThread([](ScriptedThread&) {}, &destroyed);
    quick->FreeOnTerminate = true;
    quick->Start();
  }
  // Polled: std::atomic::wait of MinGW's GCC 12 can miss a notification.
  while (destroyed.load() < kThreads + 1) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  EXPECT_EQ(destroyed.load(), kThreads + 1);
}

std::string MoveText(std::int32_t x, std::int32_t y) {
  return ":move " + std::to_string(x) + "," + std::to_string(y);
}

// Fills itself with one colour and marks its top-left pixel; logs what happens to it.
class Swatch : public TGraphicControl {
 public:
  Swatch(TForm* form, std::string name, std::uint32_t color, std::vector<std::string>& log)
      : TGraphicControl(form), fill(color), name_(std::move(name)), log_(log) {}

  void Paint(TCanvas& canvas) override {
    ++paints;
    behind = canvas.Target().Pixel(canvas.Origin().X + Width() - 1,
                                   canvas.Origin().Y + Height() - 1);
    canvas.SetBrushColor(fill);
    canvas.FillRect(ClientRect());
    canvas.SetBrushColor(kMarker);
    canvas.FillRect(Rect(0, 0, 1, 1));
  }
  void MouseMove(TShiftState, std::int32_t x, std::int32_t y) override {
    log_.push_back(name_ + MoveText(x, y));
  }
  void MouseEnter() override { log_.push_back(name_ + ":enter"); }
  void MouseLeave() override { log_.push_back(name_ + ":leave"); }

  std::uint32_t fill;
  int paints = 0;
  std::uint32_t behind = 0;  // the pixel under the bottom-right corner before painting

 private:
  std::string name_;
  std::vector<std::string>& log_;
};

class FormWithSwatches {
 public:
  FormWithSwatches() {
    form.SetBounds(0, 0, 100, 80);
    form.SetColor(kGreen);
    a.SetBounds(10, 10, 20, 20);
    b.SetBounds(60, 40, 30, 30);
    b.Opaque = true;
    form.OnMouseMove = [&](void*, TShiftState, std::int32_t x, std::int32_t y) {
      log.push_back("form" + MoveText(x, y));
    };
  }
  std::vector<std::string> log;
  TForm form;
  Swatch a{&form, "a", kRed, log};
  Swatch b{&form, "b", kBlue, log};
};

TEST_F(FormTest, PaintsOnlyTheInvalidAreaWithTheChildOriginAtItsCorner) {
  FormWithSwatches f;
  f.form.Show();
  app_.ProcessMessages();
  EXPECT_EQ(backend_->Presented(), (std::vector<TRect>{Rect(0, 0, 100, 80)}));
  const Bitmap& s = f.form.Surface();
  EXPECT_EQ(s.Pixel(5, 5), kGreen);
  EXPECT_EQ(s.Pixel(10, 10), kMarker);
  EXPECT_EQ(s.Pixel(11, 10), kRed);
  EXPECT_EQ(s.Pixel(30, 30), kGreen);
  EXPECT_EQ(s.Pixel(60, 40), kMarker);
  EXPECT_EQ(s.Pixel(89, 69), kBlue);
  EXPECT_EQ(f.a.behind, kGreen);  // the form fills behind a see-through child

  backend_->ClearPresented();
  f.a.Invalidate();
  f.a.Update();
  EXPECT_EQ(backend_->Presented(), (std::vector<TRect>{Rect(10, 10, 30, 30)}));
  EXPECT_EQ(f.a.paints, 2);
  EXPECT_EQ(f.b.paints, 1);

  // A part of a child: its paint is cut to the invalid area.
  backend_->ClearPresented();
  f.a.fill = kYellow;
  f.form.InvalidateRect(Rect(0, 0, 15, 15));
  f.a.Update();
  EXPECT_EQ(backend_->Presented(), (std::vector<TRect>{Rect(0, 0, 15, 15)}));
  EXPECT_EQ(s.Pixel(14, 14), kYellow);
  EXPECT_EQ(s.Pixel(15, 15), kRed);
  EXPECT_EQ(s.Pixel(10, 10), kMarker);
  app_.ProcessMessages();  // nothing left to paint
  EXPECT_EQ(backend_->Presented().size(), 1u);

  // Behind an opaque child the surface keeps what the child painted last.
  f.form.Invalidate();
  app_.ProcessMessages();
  EXPECT_EQ(f.b.behind, kBlue);
}

TEST_F(FormTest, ClientAlignedChildFollowsTheFormSize) {
  std::vector<std::string> log;
  TForm form;
  form.SetBounds(0, 0, 100, 80);
  Swatch c(&form, "c", kRed, log);
  c.SetAlign(TAlign::alClient);
  EXPECT_EQ(c.BoundsRect(), Rect(0, 0, 100, 80));
  form.SetBounds(0, 0, 200, 150);
  EXPECT_EQ(c.BoundsRect(), Rect(0, 0, 200, 150));
  form.Show();
  app_.ProcessMessages();
  EXPECT_EQ(form.Surface().Pixel(199, 149), kRed);
  // The size the window system gives comes as an event, as does a change of the monitors.
  int screensChanged = 0;
  app_.OnScreensChanged = [&] { ++screensChanged; };
  backend_->PushInput({.kind = InputEvent::Kind::Resized, .form = &form, .x = 120, .y = 90});
  backend_->SetScreens({{Rect(640, 0, 1280, 480), false}, {Rect(0, 0, 800, 600), true}});
  app_.ProcessMessages();
  EXPECT_EQ(c.BoundsRect(), Rect(0, 0, 120, 90));
  EXPECT_EQ(form.BoundsRect(), Rect(0, 0, 120, 90));
  EXPECT_EQ(screensChanged, 1);
  EXPECT_EQ(backend_->ScreenSize(), (TSize{800, 600}));
}

TEST_F(FormTest, MouseRoutesToTheControlUnderThePointer) {
  FormWithSwatches f;
  f.form.Show();
  auto move = [&](std::int32_t x, std::int32_t y) {
    backend_->PushInput({.kind = InputEvent::Kind::MouseMove, .form = &f.form, .x = x, .y = y});
  };
  move(15, 12);
  move(70, 50);
  move(5, 5);
  move(29, 29);
  backend_->PushInput({.kind = InputEvent::Kind::MouseLeaveWindow, .form = &f.form});
  app_.ProcessMessages();
  EXPECT_EQ(f.log, (std::vector<std::string>{"a:enter", "a:move 5,2", "a:leave", "b:enter",
                                             "b:move 10,10", "b:leave", "form:move 5,5",
                                             "a:enter", "a:move 19,19", "a:leave"}));
}

TEST_F(FormTest, ClosingTheMainFormEndsTheApplicationUnlessRefused) {
  TForm main;
  main.SetBounds(0, 0, 50, 50);
  main.Show();
  app_.MainForm = &main;
  TForm other;
  other.Show();

  other.Close();
  EXPECT_FALSE(other.Visible());
  EXPECT_FALSE(app_.Terminated());

  bool allow = false;
  main.OnCloseQuery = [&](void*, bool& canClose) { canClose = allow; };
  main.Close();
  EXPECT_TRUE(main.Visible());
  EXPECT_FALSE(app_.Terminated());

  allow = true;
  backend_->PushInput({.kind = InputEvent::Kind::Close, .form = &main});
  app_.ProcessMessages();
  EXPECT_FALSE(main.Visible());
  EXPECT_TRUE(app_.Terminated());
}

}  // namespace
}  // namespace slidesaver
