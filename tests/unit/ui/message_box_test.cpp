#include "ui/message_box.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "graphics/text.h"
#include "ui/headless.h"

namespace slidesaver {
namespace {

class MessageBoxTest : public ::testing::Test {
 protected:
  static std::unique_ptr<Backend> MakeBackend(HeadlessBackend*& raw) {
    auto backend = std::make_unique<HeadlessBackend>(TSize{800, 600});
    raw = backend.get();
    return backend;
  }
  HeadlessBackend* backend_ = nullptr;
  TApplication app_{MakeBackend(backend_)};
};

TEST_F(MessageBoxTest, LongTextsWrapAtBlanksElseInsideWords) {
  const TTextFont font;
  const std::string name(300, 'n');
  const struct {
    std::string text;
    std::vector<std::string> lines;  // empty: only the widths are checked
  } cases[] = {
      {"Short text.", {"Short text."}},
      {"one\ntwo\r\n\nfour", {"one", "two", "", "four"}},
      {"Invalid sound file name \"" + name + "\".", {}},
  };
  for (const auto& c : cases) {
    const std::vector<std::string> lines = WrapText(font, c.text, 200);
    if (!c.lines.empty()) {
      EXPECT_EQ(lines, c.lines);
    }
    std::string joined;
    for (const std::string& line : lines) {
      EXPECT_LE(MeasureText(font, line).cx, 200) << line;
      EXPECT_FALSE(line.empty() && c.lines.empty());
      joined += line;
    }
    if (c.lines.empty()) {
      EXPECT_GT(lines.size(), 3u);
      EXPECT_EQ(joined, "Invalid sound file name" "\"" + name + "\".");  // only the blanks at breaks go
    }
  }
}

TEST_F(MessageBoxTest, StaysOnScreenAndKeepsInputFromOtherForms) {
  TForm owner;
  owner.Show();
  int keys = 0;
  owner.OnKeyDown = [&](void*, std::uint16_t&, TShiftState) { ++keys; };
  TMessageForm box("Saver", "Cannot open file \"" + std::string(5000, 'x') + "\".");
  EXPECT_LE(box.Width(), 800);
  EXPECT_LE(box.Height(), 600);
  EXPECT_TRUE(box.ButtonRect().Right <= box.Width() && box.ButtonRect().Bottom <= box.Height());
  backend_->PushInput({.kind = InputEvent::Kind::KeyDown, .form = &owner, .key = 'A'});
  backend_->PushInput({.kind = InputEvent::Kind::KeyDown, .form = &box, .key = 13});
  box.ShowModal();
  EXPECT_FALSE(box.Visible());
  EXPECT_EQ(keys, 0);
}

TEST_F(MessageBoxTest, TheLayoutGrowsWithTheScreensPixelsPerInch) {
  TRect button[2];
  std::int32_t height[2];
  for (const int ppi : {96, 144}) {
    backend_->SetPixelsPerInch(ppi);
    const TMessageForm box("Saver", "Short text.");
    button[ppi / 144] = box.ButtonRect();
    height[ppi / 144] = box.Height();
    EXPECT_TRUE(box.ButtonRect().Right <= box.Width() && box.ButtonRect().Bottom <= box.Height());
  }
  EXPECT_EQ(button[0].Width(), 75);
  EXPECT_EQ(button[1].Width(), 113);
  EXPECT_EQ(button[1].Height(), 35);  // 23 at 96
  EXPECT_GE(height[1] * 20, height[0] * 27);
}

TEST_F(MessageBoxTest, EndsWhenTheApplicationIsToEnd) {
  TMessageForm box("Saver", "Stream read error.");
  app_.PostMessage([&] { app_.Terminate(); });
  box.ShowModal();
  EXPECT_TRUE(app_.Terminated());
}

}  // namespace
}  // namespace slidesaver
