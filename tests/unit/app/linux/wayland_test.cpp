#include <gtest/gtest.h>
#include <linux/input-event-codes.h>
#include <xkbcommon/xkbcommon-keysyms.h>

#include <vector>

#include "os/linux/wayland_buffers.h"
#include "os/linux/wayland_keys.h"
#include "os/linux/wayland_outputs.h"

namespace slidesaver {
namespace {

OutputState Output(std::uint32_t name, std::optional<TRect> logical, std::int32_t scale = 1) {
  return OutputState{.name = name, .logical = logical, .position = {7, 7}, .mode = {800, 600},
                     .scale = scale, .described = true};
}

TEST(WaylandOutputsTest, ScreensLieInTheLayoutAtThePixelsOfTheirScale) {
  const TRect big{0, 0, 1920, 1080};
  const TRect right = Bounds(1920, 0, 640, 360);  // 1280x720 pixels at scale 2
  OutputState turned = Output(3, std::nullopt);
  turned.transform = 1;  // 90 degrees: the mode stands on its side
  OutputState unknown = Output(4, big);
  unknown.described = false;
  OutputState empty = Output(5, TRect{});  // and no mode either
  empty.mode = {};
  struct Case {
    std::vector<OutputState> outputs;
    std::vector<Screen> screens;
  };
  const Case cases[] = {
      {{Output(1, right, 2), Output(2, big)},
       {{Bounds(1920, 0, 1280, 720), false}, {big, true}}},        // primary: the one at 0,0
      {{Output(1, right), turned}, {{right, true}, {Bounds(7, 7, 600, 800), false}}},  // else first
      {{unknown, empty}, {}},  // undescribed, of no size
  };
  for (const Case& c : cases) EXPECT_EQ(ScreensOfOutputs(c.outputs), c.screens);
  const std::vector<OutputState> two{Output(1, right, 2), Output(2, big)};
  ASSERT_NE(OutputAt(two, Bounds(1920, 0, 1280, 720)), nullptr);
  EXPECT_EQ(OutputAt(two, Bounds(1920, 0, 1280, 720))->name, 1u);
  EXPECT_EQ(OutputAt(two, right), nullptr);
}

TEST(WaylandKeysTest, KeysymsThenPositionsBecomeVirtualKeys) {
  struct Case {
    std::uint32_t keysym;
    std::uint32_t code;
    std::uint16_t vk;
  };
  const Case cases[] = {
      {XKB_KEY_x, KEY_X, 'X'},          {XKB_KEY_Q, KEY_Q, 'Q'},
      {XKB_KEY_a, KEY_Q, 'A'},          // AZERTY: the symbol counts, not the place
      {XKB_KEY_7, KEY_7, '7'},          {XKB_KEY_Escape, KEY_ESC, 27},
      {XKB_KEY_F12, KEY_F12, 123},      {XKB_KEY_KP_5, KEY_KP5, 101},
      {XKB_KEY_Return, KEY_ENTER, 13},  {XKB_KEY_Left, KEY_LEFT, 37},
      {XKB_KEY_Cyrillic_ef, KEY_A, 'A'},  // no Latin letter: by its place
      {XKB_KEY_Cyrillic_ze, KEY_P, 'P'},  {XKB_KEY_udiaeresis, KEY_LEFTBRACE, 255},
      {XKB_KEY_NoSymbol, KEY_0, '0'},   {XKB_KEY_NoSymbol, KEY_VOLUMEUP, 255},
  };
  for (const Case& c : cases) EXPECT_EQ(VirtualKeyOf(c.keysym, c.code), c.vk) << c.keysym;
}

TEST(BufferAgesTest, ABufferCatchesUpOnWhatTheOthersGotSinceItWasDrawn) {
  BufferAges ages({0, 0, 100, 100});
  const std::size_t a = ages.Add(), b = ages.Add();
  EXPECT_TRUE(ages.Take(a).Empty());  // the first picture has nothing to copy
  ages.Drew(Region::FromRect({0, 0, 100, 100}));
  EXPECT_EQ(ages.Take(b).Rects(), std::vector<TRect>({{0, 0, 100, 100}}));
  ages.Drew(Region::FromRect({10, 10, 20, 20}));
  EXPECT_EQ(ages.Take(a).Rects(), std::vector<TRect>({{10, 10, 20, 20}}));
  ages.Drew(Region::FromRect({50, 50, 60, 60}));
  // b lacks only what went into a after it was drawn.
  EXPECT_EQ(ages.Take(b).Rects(), std::vector<TRect>({{50, 50, 60, 60}}));
  EXPECT_TRUE(ages.Take(a).Empty());
}

}  // namespace
}  // namespace slidesaver
