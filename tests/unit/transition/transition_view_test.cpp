#include "transition/transition_view.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <memory>
#include <string>
#include <vector>

#include "base/error.h"
#include "base/muldiv.h"
#include "base/random.h"
#include "transition/styles.h"
#include "ui/app.h"
#include "ui/controls.h"
#include "ui/headless.h"

namespace slidesaver {
namespace {

Bitmap Solid(int w, int h, std::uint32_t rgb) {
  Bitmap b(w, h);
  b.Fill(rgb);
  return b;
}

void Assign(TTransitionView& view, Bitmap pixels) {
  TPicture p;
  p.SetGraphic(std::make_unique<TBitmapGraphic>(std::move(pixels)));
  view.SetPicture(&p);
}

// Paints the left p% of the columns from the new picture: a custom style
// whose frames show their progress.
void LeftColumns(void* sender, Bitmap& picture, Bitmap& screen) {
  auto* view = static_cast<TTransitionView*>(sender);
  const int cols = MulDiv(screen.Width(), view->Progress(), 100);
  StretchCopy(screen, (TRect{0, 0, cols, screen.Height()}), picture,
              (TRect{0, 0, cols, screen.Height()}));
}

class TransitionViewTest : public ::testing::Test {
 protected:
  TransitionViewTest() {
    form.SetClientSize(40, 30);
    form.SetColor(clBlack);
    form.Show();
    view.SetThreaded(false);
    app.ProcessMessages();
  }

  // Records the events of the view as "before@p", "custom@p", "after@p", "progress@p", ...
  void Record() {
    view.OnBeforeNewFrame = [this](void*, Bitmap&, Bitmap&) { Log("before"); };
    view.OnAfterNewFrame = [this](void*, Bitmap&, Bitmap&) { Log("after"); };
    view.OnProgress = [this](void*) { Log("progress"); };
    view.OnComplete = [this](void*) { Log("complete"); };
    view.OnChange = [this](void*) { log.push_back("change"); };
  }
  void Log(const std::string& what) {
    log.push_back(what + "@" + std::to_string(view.Progress()));
  }
  std::vector<std::string> Frames() const {
    std::vector<std::string> frames;
    for (const std::string& s : log) {
      if (s.rfind("after@", 0) == 0) frames.push_back(s.substr(6));
    }
    return frames;
  }
  // A first transition in style 0 without a handler, so that `rgb` is on show.
  void ShowSolid(std::uint32_t rgb) {
    view.SetStyle(0);
    Assign(view, Solid(40, 30, rgb));
    view.StartTransition();
    ASSERT_FALSE(view.InTransition());
  }

  // A manual transition in style 1 from blue to green, drawn and painted at progress 50.
  void HalfWayFromBlueToGreen() {
    ShowSolid(0x0000FF);
    view.SetStyle(1);
    view.SetManual(true);
    Assign(view, Solid(40, 30, 0x00FF00));
    view.StartTransition();
    view.SetProgress(50);
  }

  HeadlessBackend* backend = new HeadlessBackend();
  TApplication app{std::unique_ptr<Backend>(backend)};
  TForm form;
  TTransitionView view{&form};
  std::vector<std::string> log;
};

// A picture that covers the client one to one is painted straight from the screen image; the old
// picture of the next transition is still what was painted last, not a frame drawn unseen since.
TEST_F(TransitionViewTest, TheOldPictureIsTheLastPaintWhenFramesWentUnpainted) {
  HalfWayFromBlueToGreen();
  const Bitmap painted = view.ScreenImage();
  view.SetVisible(false);
  view.SetProgress(100);  // drawn, not painted
  view.StopTransition();
  view.SetVisible(true);
  Assign(view, Solid(40, 30, 0xFF0000));
  view.StartTransition();
  ASSERT_NE(view.OldImage(), nullptr);
  EXPECT_EQ(*view.OldImage(), painted);
  EXPECT_NE(painted, Solid(40, 30, 0x00FF00));
}

// A frame leaves the pictures where earlier frames put them only where they are still there, and
// repaints only what changed: in any order of progress values, painted or not, every frame equals
// the same frame drawn in a control of its own, and the window shows each painted frame whole.
TEST_F(TransitionViewTest, FramesEqualTheSameFramesDrawnAfreshAndShowWhole) {
  const auto picture = [](std::uint32_t seed) {
    Bitmap b(40, 30);
    for (int y = 0; y < 30; ++y) {
      for (int x = 0; x < 40; ++x) b.SetPixel(x, y, (x * 6u) << 16 | (y * 8u) << 8 | (x * y + seed));
    }
    return b;
  };
  const auto startTransition = [&](TTransitionView& v, int style) {
    v.SetThreaded(false);
    v.SetStyle(0);
    Assign(v, picture(1));
    v.StartTransition();
    v.SetStyle(style);
    v.SetManual(true);
    Assign(v, picture(2));
    v.StartTransition();
  };
  const auto afresh = [&](int style, int progress) {
    TForm other;
    other.SetClientSize(40, 30);
    other.Show();
    TTransitionView fresh{&other};
    fresh.OnAfterNewFrame = [](void*, Bitmap&, Bitmap&) {};  // draws every frame whole
    startTransition(fresh, style);
    RandSeed(progress);
    fresh.SetProgress(progress);
    return fresh.ScreenImage();
  };
  for (int style = 1; style < kStyleCount; ++style) {
    startTransition(view, style);
    int frame = 0;
    for (int p : {20, 35, 30, 70, 95, 10, 60, 1, 45, 100}) {
      RandSeed(p);
      view.SetProgress(p);
      ASSERT_EQ(view.ScreenImage(), afresh(style, p)) << "style " << style << " at " << p;
      if (++frame % 3 == 0) continue;  // drawn over unseen
      app.ProcessMessages();
      ASSERT_EQ(*HeadlessBackend::Shown(form), view.ScreenImage()) << style << " at " << p;
    }
    view.StopTransition();
    view.SetManual(false);
  }
}

// The frames read the new picture where the picture keeps it, until the picture changes.
TEST_F(TransitionViewTest, APictureChangedDuringATransitionLeavesItsFramesAlone) {
  HalfWayFromBlueToGreen();
  Assign(view, Solid(40, 30, 0xFF0000));
  view.SetProgress(100);
  EXPECT_EQ(view.ScreenImage(), Solid(40, 30, 0x00FF00));
}

TEST_F(TransitionViewTest, FirstTransitionSkipsTheStartFrameAndKeepsTheEventOrder) {
  Record();
  view.OnCustomDraw = [this](void* s, Bitmap& p, Bitmap& sc) {
    Log("custom");
    LeftColumns(s, p, sc);
  };
  view.SetStyle(0);
  view.SetStep(25);
  std::vector<std::uint32_t> ticks;
  view.OnBeforeNewFrame = [&](void*, Bitmap&, Bitmap&) {
    Log("before");
    ticks.push_back(app.TickCount());
  };
  Assign(view, Solid(40, 30, 0x0000FF));
  log.clear();
  view.StartTransition();
  const std::vector<std::string> expected = {
      "before@25",   "custom@25", "after@25", "progress@25", "before@50",  "custom@50",
      "after@50",    "progress@50", "before@75", "custom@75",  "after@75",   "progress@75",
      "before@100",  "custom@100", "after@100", "progress@100", "complete@100"};
  EXPECT_EQ(log, expected);
  // One frame every Delay milliseconds, measured as "more than Delay".
  ASSERT_EQ(ticks.size(), 4u);
  for (std::size_t i = 1; i < ticks.size(); ++i) EXPECT_EQ(ticks[i] - ticks[i - 1], 41u);
  EXPECT_EQ(view.ScreenImage(), Solid(40, 30, 0x0000FF));
  EXPECT_EQ(view.OldImage(), nullptr);
  EXPECT_EQ(view.NewImage(), nullptr);
}

TEST_F(TransitionViewTest, FollowingTransitionDrawsItsStartFrameAndStepsCountTheFrames) {
  ShowSolid(0x00FF00);
  Record();
  view.OnCustomDraw = LeftColumns;
  Assign(view, Solid(40, 30, 0xFF0000));
  log.clear();
  view.StartTransition();
  std::vector<std::string> expected;
  for (int p = 0; p <= 100; p += 4) expected.push_back(std::to_string(p));
  EXPECT_EQ(Frames(), expected);  // 0 and then 25 automatic frames

  view.SetStep(100);
  Assign(view, Solid(40, 30, 0x00FF00));
  log.clear();
  view.StartTransition();
  EXPECT_EQ(Frames(), (std::vector<std::string>{"0", "100"}));
  EXPECT_EQ(log.back(), "complete@100");
}

TEST_F(TransitionViewTest, StyleZeroWithoutHandlerCutsToTheNewPictureInEitherDirection) {
  ShowSolid(0x00FF00);
  Record();
  Assign(view, Solid(40, 30, 0x123456));
  log.clear();
  view.StartTransition();
  EXPECT_EQ(Frames(), std::vector<std::string>{"100"});
  EXPECT_EQ(log.back(), "complete@100");
  EXPECT_EQ(view.ScreenImage(), Solid(40, 30, 0x123456));

  // Going backwards, the frame jumps to 100 while the pacing waits for 0: the
  // cut still ends the transition instead of pacing it forever.
  view.SetReverse(true);
  view.SetManual(true);
  view.SetManual(false);  // idle: progress now stands at 100
  Assign(view, Solid(40, 30, 0x654321));
  log.clear();
  view.StartTransition();
  EXPECT_FALSE(view.InTransition());
  EXPECT_EQ(log.back(), "complete@100");
  EXPECT_EQ(view.ScreenImage(), Solid(40, 30, 0x654321));
}

TEST_F(TransitionViewTest, ReverseRunsFromTheNewPictureBackToTheOld) {
  ShowSolid(0x00FF00);
  view.SetReverse(true);
  view.SetManual(true);
  view.SetReverse(false);
  view.SetManual(false);  // idle: progress 0, so the start frame at 100 is drawn
  view.SetReverse(true);
  view.SetStep(10);
  view.OnCustomDraw = LeftColumns;
  std::vector<Bitmap> frames;
  view.OnAfterNewFrame = [&](void*, Bitmap&, Bitmap& screen) { frames.push_back(screen); };
  Assign(view, Solid(40, 30, 0x0000FF));
  view.StartTransition();
  ASSERT_EQ(frames.size(), 11u);
  EXPECT_EQ(frames.front(), Solid(40, 30, 0x0000FF));
  EXPECT_EQ(frames.back(), Solid(40, 30, 0x00FF00));
  EXPECT_EQ(frames[5].Pixel(19, 0), 0x0000FFu);  // 50: left half new
  EXPECT_EQ(frames[5].Pixel(20, 0), 0x00FF00u);
  EXPECT_EQ(view.Progress(), 0);
}

TEST_F(TransitionViewTest, ManualTransitionsFollowSetProgressAndEndOnlyWhenReleased) {
  ShowSolid(0x00FF00);
  Record();
  view.OnCustomDraw = LeftColumns;
  view.SetManual(true);
  EXPECT_EQ(view.Progress(), 0);  // idle: reset without drawing
  EXPECT_TRUE(log.empty());
  Assign(view, Solid(40, 30, 0x0000FF));
  log.clear();
  view.StartTransition();
  EXPECT_TRUE(Frames().empty());  // the start value is the current one
  EXPECT_TRUE(view.InTransition());
  view.SetProgress(50);
  EXPECT_EQ(log, (std::vector<std::string>{"before@50", "after@50", "progress@50"}));
  view.SetProgress(100);
  EXPECT_TRUE(view.InTransition());
  EXPECT_EQ(view.ScreenImage(), Solid(40, 30, 0x0000FF));

  // Going back repaints the whole picture area.
  form.Update();
  backend->ClearPresented();
  view.SetProgress(250);  // acts as 100: nothing changes
  view.SetProgress(10);
  EXPECT_EQ(backend->Presented(), std::vector<TRect>{(TRect{0, 0, 40, 30})});

  view.SetManual(false);  // automatic pacing resumes and completes
  EXPECT_FALSE(view.InTransition());
  EXPECT_EQ(log.back(), "complete@100");

  Assign(view, Solid(40, 30, 0xFFFFFF));
  view.SetManual(true);
  view.StartTransition();
  view.SetProgress(30);
  log.clear();
  view.StopTransition();
  EXPECT_FALSE(view.InTransition());
  EXPECT_TRUE(log.empty());  // no OnComplete
}

TEST_F(TransitionViewTest, StopAt48KeepsTheHalfDoneFrameAsTheNextOldPicture) {
  ShowSolid(0x00FF00);
  Record();
  view.OnCustomDraw = LeftColumns;
  view.OnProgress = [this](void*) {
    Log("progress");
    if (view.Progress() == 48) view.StopTransition();
  };
  Assign(view, Solid(40, 30, 0x0000FF));
  view.StartTransition();
  EXPECT_FALSE(view.InTransition());
  EXPECT_EQ(view.Progress(), 48);
  EXPECT_EQ(std::count(log.begin(), log.end(), "complete@48"), 0);
  const Bitmap halfDone = view.ScreenImage();
  EXPECT_EQ(halfDone.Pixel(MulDiv(40, 48, 100) - 1, 5), 0x0000FFu);
  EXPECT_EQ(halfDone.Pixel(MulDiv(40, 48, 100), 5), 0x00FF00u);

  Bitmap old;
  view.OnProgress = nullptr;
  view.OnBeforeNewFrame = [&](void* s, Bitmap&, Bitmap& screen) {
    if (old.Empty()) old = *static_cast<TTransitionView*>(s)->OldImage();
  };
  Assign(view, Solid(40, 30, 0xFFFFFF));
  view.StartTransition();
  EXPECT_EQ(old, halfDone);
}

// A control that composes its paint (a picture smaller than it, centred on its colour) is shown
// from its paint buffer as it is: the form makes no surface of its own.
TEST_F(TransitionViewTest, AComposedPaintIsPresentedFromThePaintBuffer) {
  view.SetAutoSize(false);
  view.SetBounds(0, 0, 40, 30);
  view.SetCenter(true);
  view.SetStyle(0);
  Assign(view, Solid(20, 10, 0x00FF00));
  view.StartTransition();
  app.ProcessMessages();
  EXPECT_EQ(&form.Surface(), &view.PaintBuffer());
  const Bitmap& shown = *HeadlessBackend::Shown(form);
  EXPECT_EQ(shown, view.PaintBuffer());
  EXPECT_EQ(shown.Pixel(20, 15), 0x00FF00u);
  EXPECT_EQ(shown.Pixel(3, 3), 0u);
}

// A picture stretched onto a smaller control (a preview) repaints every pixel a frame changed.
TEST_F(TransitionViewTest, AStretchedPictureShowsEveryFrameWhole) {
  view.SetAutoSize(false);
  view.SetBounds(0, 0, 40, 30);
  view.SetStretch(true);
  Bitmap pictures[2] = {Solid(67, 47, 0x0000FF), Solid(67, 47, 0x00FF00)};
  for (int y = 0; y < 47; ++y) pictures[1].SetPixel(y, y, 0xFFFFFF);
  for (int style = 1; style < kStyleCount; ++style) {
    view.SetStyle(style);
    view.SetManual(true);
    Assign(view, pictures[style % 2]);
    view.StartTransition();
    for (int p = 1; p <= 100; p += 3) {
      view.SetProgress(p);
      app.ProcessMessages();
      ASSERT_EQ(*HeadlessBackend::Shown(form), view.PaintBuffer()) << style << " at " << p;
    }
    view.StopTransition();
  }
}

TEST_F(TransitionViewTest, ClearScreenLeavesColourAndBackgroundAsTheOldPicture) {
  ShowSolid(0x00FF00);
  view.ClearScreen();
  EXPECT_TRUE(view.ScreenImage().Empty());
  form.Update();
  EXPECT_EQ(form.Surface().Pixel(3, 3), 0u);  // the form's black shows through the control
  Bitmap old;
  view.OnBeforeNewFrame = [&](void* s, Bitmap&, Bitmap&) {
    if (old.Empty()) old = *static_cast<TTransitionView*>(s)->OldImage();
  };
  view.OnCustomDraw = LeftColumns;
  Assign(view, Solid(40, 30, 0xFFFFFF));
  view.StartTransition();
  EXPECT_EQ(old, Solid(40, 30, 0x000000));
}

TEST_F(TransitionViewTest, PictureAssignedDuringATransitionWaitsForTheNextOne) {
  ShowSolid(0x00FF00);
  Record();
  view.SetManual(true);
  view.OnCustomDraw = LeftColumns;
  Assign(view, Solid(40, 30, 0x0000FF));
  view.StartTransition();
  view.SetProgress(50);
  form.Update();
  backend->ClearPresented();
  log.clear();
  Assign(view, Solid(40, 30, 0xFFFFFF));
  EXPECT_EQ(log, std::vector<std::string>{"change"});
  form.Update();
  EXPECT_TRUE(backend->Presented().empty());  // nothing repainted
  view.SetProgress(100);
  EXPECT_EQ(view.ScreenImage(), Solid(40, 30, 0x0000FF));
}

TEST_F(TransitionViewTest, EveryFrameReadsTheStyleAfresh) {
  ShowSolid(0x00FF00);
  Record();
  view.SetManual(true);
  Assign(view, Solid(40, 30, 0x0000FF));
  view.StartTransition();
  view.SetProgress(50);  // style 0 without a handler: straight to the new picture
  EXPECT_EQ(view.Progress(), 100);
  view.OnCustomDraw = LeftColumns;
  view.SetStyle(200);  // beyond the table: the frame stops after OnBeforeNewFrame
  log.clear();
  view.SetProgress(30);
  EXPECT_EQ(log, (std::vector<std::string>{"before@30", "progress@30"}));
  EXPECT_EQ(view.ScreenImage(), Solid(40, 30, 0x00FF00));
  view.SetStyle(0);
  view.SetProgress(40);
  EXPECT_EQ(view.ScreenImage().Pixel(MulDiv(40, 40, 100) - 1, 0), 0x0000FFu);
  EXPECT_EQ(view.ScreenImage().Pixel(MulDiv(40, 40, 100), 0), 0x00FF00u);
}

TEST_F(TransitionViewTest, AFailingFrameEndsTheTransitionAndReachesTheCaller) {
  ShowSolid(0x00FF00);
  view.SetStyle(127);
  Assign(view, Solid(40, 30, 0x0000FF));
  view.OnBeforeNewFrame = [](void*, Bitmap&, Bitmap&) { throw Error("Out of memory"); };
  EXPECT_THROW(view.StartTransition(), Error);
  EXPECT_FALSE(view.InTransition());
  EXPECT_EQ(view.NewImage(), nullptr);
  EXPECT_EQ(view.OldImage(), nullptr);
}

TEST_F(TransitionViewTest, ThreadedTransitionsPaceOnAWorkerAndStopFromInsideAFrame) {
  ShowSolid(0x00FF00);
  Record();
  view.SetThreaded(true);
  view.SetStep(20);
  view.OnCustomDraw = LeftColumns;
  Assign(view, Solid(40, 30, 0x0000FF));
  log.clear();
  view.StartTransition();
  EXPECT_TRUE(view.InTransition());  // returns at once
  while (view.InTransition()) {
    app.ProcessMessages();
    app.WaitForSynchronize([&] { return !view.InTransition(); });
  }
  EXPECT_EQ(Frames(), (std::vector<std::string>{"0", "20", "40", "60", "80", "100"}));
  EXPECT_EQ(log.back(), "complete@100");

  // A stop from a handler of a threaded frame cannot wait for the worker,
  // which waits for this very frame; it still ends the transition.
  view.OnProgress = [this](void*) {
    if (view.Progress() == 40) view.StopTransition();
  };
  Assign(view, Solid(40, 30, 0xFFFFFF));
  log.clear();
  view.StartTransition();
  while (view.InTransition()) {
    app.ProcessMessages();
    app.WaitForSynchronize([&] { return !view.InTransition(); });
  }
  EXPECT_EQ(view.Progress(), 40);
  EXPECT_EQ(std::count(log.begin(), log.end(), "complete@40"), 0);
  app.ProcessMessages();
}

TEST(TransitionViewLifetime, DestroyingTheControlEndsItsTransition) {
  TApplication app{std::make_unique<HeadlessBackend>()};
  TForm form;
  form.SetClientSize(20, 20);
  form.Show();
  // Threaded: the destructor waits for the worker.
  auto view = std::make_unique<TTransitionView>(&form);
  view->SetStyle(0);
  view->OnCustomDraw = LeftColumns;
  Assign(*view, Solid(20, 20, 0xFFFFFF));
  view->StartTransition();
  view.reset();
  // Loop-paced: a posted call destroys the control while the loop pumps messages.
  view = std::make_unique<TTransitionView>(&form);
  view->SetThreaded(false);
  view->OnCustomDraw = LeftColumns;
  view->SetStyle(0);
  bool completed = false;
  view->OnComplete = [&](void*) { completed = true; };
  Assign(*view, Solid(20, 20, 0xFFFFFF));
  view->OnProgress = [&](void*) {
    if (view->Progress() == 8) app.PostMessage([&] { view.reset(); });
  };
  view->StartTransition();
  EXPECT_EQ(view, nullptr);
  EXPECT_FALSE(completed);

  // From a handler inside a frame, paced by the loop and by a worker.
  for (bool threaded : {false, true}) {
    view = std::make_unique<TTransitionView>(&form);
    view->SetThreaded(threaded);
    view->SetStyle(0);
    view->OnCustomDraw = LeftColumns;
    view->OnAfterNewFrame = [&](void* sender, Bitmap&, Bitmap&) {
      if (static_cast<TTransitionView*>(sender)->Progress() == 12) view.reset();
    };
    Assign(*view, Solid(20, 20, 0x00FF00));
    view->StartTransition();
    while (view) {
      app.ProcessMessages();
      app.WaitForSynchronize([&] { return view == nullptr; });
    }
  }
}

TEST_F(TransitionViewTest, DefaultsAndStepLimits) {
  TTransitionView fresh(&form);
  EXPECT_EQ(fresh.Style(), 51);
  EXPECT_EQ(fresh.Step(), 4);
  EXPECT_EQ(fresh.Delay(), 40);
  EXPECT_TRUE(fresh.Threaded());
  EXPECT_TRUE(fresh.AutoSize());
  EXPECT_FALSE(fresh.Center() || fresh.Stretch() || fresh.StretchFine() || fresh.Reverse() ||
               fresh.Manual());
  EXPECT_EQ(fresh.BgMode(), TBackgroundMode::bmTiled);
  EXPECT_EQ(fresh.ThreadPriority(), TThreadPriority::tpNormal);
  EXPECT_EQ(fresh.BoundsRect(), (TRect{0, 0, 100, 100}));
  EXPECT_EQ(fresh.Color(), form.Color());
  EXPECT_TRUE(fresh.ScreenImage().Empty());
  fresh.SetStep(0);
  EXPECT_EQ(fresh.Step(), 1);
  fresh.SetStep(101);
  EXPECT_EQ(fresh.Step(), 100);
  // StartTransition without a picture does nothing.
  fresh.StartTransition();
  EXPECT_FALSE(fresh.InTransition());
}

// Frame composition.

class CompositionTest : public TransitionViewTest {};

TEST_F(CompositionTest, PlacementModesAndFitRect) {
  EXPECT_EQ(TCustomTransitionView::FitRect(TRect{0, 0, 100, 50}, (TRect{0, 0, 400, 400})),
            (TRect{0, 100, 400, 300}));
  EXPECT_EQ(TCustomTransitionView::FitRect(TRect{0, 0, 40, 30}, (TRect{0, 0, 80, 60})),
            (TRect{0, 0, 80, 60}));
  EXPECT_EQ(TCustomTransitionView::FitRect(TRect{5, 5, 5, 9}, (TRect{0, 0, 80, 60})),
            (TRect{40, 30, 40, 30}));  // a picture without pixels: no place

  view.SetAutoSize(false);
  view.SetBounds(0, 0, 40, 30);
  view.SetCenter(true);
  view.SetStyle(0);
  Assign(view, Solid(45, 30, 0x0000FF));  // 5 pixels wider than the client
  view.StartTransition();
  EXPECT_EQ(view.PictureRect(), (TRect{-2, 0, 43, 30}));
  form.Update();
  EXPECT_EQ(view.PaintBuffer(), Solid(40, 30, 0x0000FF));

  view.SetStretch(true);
  view.SetStretchFine(true);
  view.SetCenter(false);
  Bitmap wide = Solid(20, 5, 0x00FF00);
  Assign(view, std::move(wide));
  view.StartTransition();
  form.Update();
  // 20x5 fitted into 40x30: 40x10 at the vertical centre, black around it.
  EXPECT_EQ(view.PaintBuffer().Pixel(0, 9), 0u);
  EXPECT_EQ(view.PaintBuffer().Pixel(0, 10), 0x00FF00u);
  EXPECT_EQ(view.PaintBuffer().Pixel(39, 19), 0x00FF00u);
  EXPECT_EQ(view.PaintBuffer().Pixel(39, 20), 0u);
}

TEST_F(CompositionTest, BackgroundModesAndRepaintRules) {
  view.SetAutoSize(false);
  view.SetBounds(0, 0, 40, 30);
  Bitmap bg(50, 40);
  for (int y = 0; y < 40; ++y)
    for (int x = 0; x < 50; ++x) bg.SetPixel(x, y, static_cast<std::uint32_t>(x * 256 + y));
  TPicture bgPicture;
  bgPicture.SetGraphic(std::make_unique<TBitmapGraphic>(bg));
  view.SetBgPicture(&bgPicture);
  form.Update();
  EXPECT_EQ(view.PaintBuffer().Pixel(7, 3), bg.Pixel(7, 3));  // one tile at (0, 0)
  view.SetBgMode(TBackgroundMode::bmCentered);
  form.Update();
  EXPECT_EQ(view.PaintBuffer().Pixel(0, 0), bg.Pixel(5, 5));  // drawn at (-5, -5)

  view.SetBgPicture(nullptr);
  form.Update();
  backend->ClearPresented();
  view.SetBgMode(TBackgroundMode::bmStretched);  // no background: nothing to repaint
  view.SetCenter(false);                         // unchanged: nothing happens
  form.Update();
  EXPECT_TRUE(backend->Presented().empty());
  EXPECT_EQ(view.PaintBuffer(), Solid(40, 30, 0));  // colour only
}

TEST_F(CompositionTest, InvalidateAreaMapsToTheClientAndClipsToThePicture) {
  view.SetAutoSize(false);
  view.SetBounds(5, 5, 30, 20);
  view.SetStyle(0);
  Assign(view, Solid(10, 10, 0x0000FF));
  view.StartTransition();
  form.Update();
  backend->ClearPresented();
  view.InvalidateArea(TRect{-5, 2, 4, 30});  // clipped to the picture at (0, 0)
  form.Update();
  EXPECT_EQ(backend->Presented(), std::vector<TRect>{(TRect{5, 7, 9, 15})});

  view.SetStretch(true);  // 10x10 scaled to 30x20
  form.Update();
  backend->ClearPresented();
  view.InvalidateArea(TRect{5, 5, 10, 10});
  form.Update();
  EXPECT_EQ(backend->Presented(), std::vector<TRect>{(TRect{5 + 15, 5 + 10, 5 + 30, 5 + 20})});

  view.SetAlign(TAlign::alClient);  // AutoSize does not resize an aligned control
  view.SetAutoSize(true);
  Assign(view, Solid(7, 7, 0));
  EXPECT_EQ(view.BoundsRect(), (TRect{0, 0, 40, 30}));
}

}  // namespace
}  // namespace slidesaver
