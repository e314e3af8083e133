#include "os/windows/win32_backend.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <vector>

#include "ui/controls.h"

namespace slidesaver {
namespace {

// Real Win32 windows; events are read from the backend before the application routes them.
class Win32BackendTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // Wine makes windows only through a display driver: X11 (DISPLAY) or its null driver.
    const HWND probe = CreateWindowExW(0, L"STATIC", nullptr, WS_POPUP, 0, 0, 1, 1, nullptr,
                                       nullptr, nullptr, nullptr);
    if (probe == nullptr) GTEST_SKIP() << "no window can be made here (no display driver)";
    DestroyWindow(probe);
  }

  std::unique_ptr<TForm> ShownForm(const TRect& bounds) {
    auto form = std::make_unique<TForm>();
    form->BorderStyle = TFormBorderStyle::bsNone;
    form->SetBoundsRect(bounds);
    form->Show();
    return form;
  }

  static HWND Window(TForm& form) { return reinterpret_cast<HWND>(form.Handle()->Native()); }

  std::vector<InputEvent> Poll(InputEvent::Kind kind) {
    std::vector<InputEvent> all;
    app_.Platform().PollEvents(all);
    std::erase_if(all, [kind](const InputEvent& e) { return e.kind != kind; });
    return all;
  }

  TApplication app_{CreateWin32Backend()};
};

TEST_F(Win32BackendTest, ScreensFillTheDesktopWithOnePrimaryAtTheOrigin) {
  TRect desktop;
  std::vector<TRect> primaries;
  for (const Screen& screen : app_.Platform().Screens()) {
    desktop = UnionRect(desktop, screen.bounds);
    if (screen.primary) primaries.push_back(screen.bounds);
  }
  const auto metric = GetSystemMetrics;
  EXPECT_EQ(primaries, (std::vector{Bounds(0, 0, metric(SM_CXSCREEN), metric(SM_CYSCREEN))}));
  EXPECT_EQ(desktop, Bounds(metric(SM_XVIRTUALSCREEN), metric(SM_YVIRTUALSCREEN),
                            metric(SM_CXVIRTUALSCREEN), metric(SM_CYVIRTUALSCREEN)));
}

TEST_F(Win32BackendTest, ADisplayChangeIsOneScreensChangedHoweverManyWindowsHearOfIt) {
  const auto a = ShownForm(Bounds(0, 0, 40, 30));
  const auto b = ShownForm(Bounds(50, 0, 40, 30));
  // From another process the message reaches one window per round of the message loop.
  std::vector<std::size_t> counts;
  for (const auto& round : {std::vector{a.get(), b.get(), a.get()}, {b.get()}, {a.get()}}) {
    for (TForm* form : round) SendMessageW(Window(*form), WM_DISPLAYCHANGE, 32, 0);
    const std::vector<InputEvent> events = Poll(InputEvent::Kind::ScreensChanged);
    counts.push_back(events.size());
    for (const InputEvent& e : events) EXPECT_EQ(e.form, nullptr);
  }
  EXPECT_EQ(counts, (std::vector<std::size_t>{1, 0, 0}));
}

TEST_F(Win32BackendTest, OnlyAClientSizeTheFormDidNotGiveBecomesResized) {
  const auto form = ShownForm(Bounds(10, 20, 200, 100));
  const HWND hwnd = Window(*form);
  const auto size = [hwnd](int width, int height) {
    SetWindowPos(hwnd, nullptr, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  };
  const struct {
    const char* what;
    std::function<void()> act;
    std::vector<TSize> resized;
  } cases[] = {
      {"the form's own size", [&] { form->SetBounds(10, 20, 240, 120); }, {}},
      {"another size from the system", [&] { size(300, 150); }, {{300, 150}}},
      {"the same size again", [&] { size(300, 150); }, {}},
      {"minimized", [&] { ShowWindow(hwnd, SW_MINIMIZE); }, {}},
      {"restored", [&] { ShowWindow(hwnd, SW_RESTORE); }, {}},
  };
  Poll(InputEvent::Kind::Resized);
  for (const auto& c : cases) {
    c.act();
    std::vector<TSize> resized;
    for (const InputEvent& e : Poll(InputEvent::Kind::Resized)) {
      EXPECT_EQ(e.form, form.get());
      resized.push_back({e.x, e.y});
    }
    EXPECT_EQ(resized, c.resized) << c.what;
  }
}

TEST_F(Win32BackendTest, APopupSitsExactlyAtItsBoundsAndAMoveKeepsItTopmost) {
  // Left of and above the primary monitor, and right of it, where a second one may be.
  const struct {
    TRect first, then;
    bool topmost;
  } cases[] = {
      {Bounds(-300, -200, 200, 100), Bounds(-1920, 0, 160, 90), true},
      {Bounds(1920, 0, 200, 100), Bounds(2000, 40, 120, 80), true},
      {Bounds(-300, 10, 200, 100), Bounds(20, 10, 200, 100), false},
  };
  for (const auto& c : cases) {
    const auto form = ShownForm(c.first);
    if (c.topmost) form->MakeTopmost();
    for (const TRect& bounds : {c.first, c.then}) {
      form->SetBoundsRect(bounds);
      RECT r;
      ASSERT_TRUE(GetWindowRect(Window(*form), &r));
      EXPECT_EQ(Rect(r.left, r.top, r.right, r.bottom), bounds) << bounds.Left << "," << bounds.Top;
      EXPECT_EQ((GetWindowLongW(Window(*form), GWL_EXSTYLE) & WS_EX_TOPMOST) != 0, c.topmost);
    }
  }
}

}  // namespace
}  // namespace slidesaver
