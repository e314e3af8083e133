// The saver's own file changing under it, with POSIX file semantics: a file
// that is open may be renamed over, deleted and rewritten.

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/unit/saver/placement.h"
#include "tests/unit/saver/saver_fixture.h"

namespace slidesaver::test {
namespace {

namespace fs = std::filesystem;

using SlideshowTest = SaverWindowTest;

TEST_F(SaverWindowTest, UnreadableTrailerLeavesTheDesignWindowAndTriesAgainOnActivation) {
  const std::string path = scratch_.Write("Short.scr", std::string(39, 'x'));
  TfrmScrn& form = Start(path);
  EXPECT_TRUE(form.StartupPending());
  EXPECT_EQ(form.BoundsRect(), (TRect{-65, -39, 130, 87}));  // 195 x 126, centred on 64 x 48
  EXPECT_EQ(backend_->CursorCount(), 0);
  EXPECT_FALSE(app_.OnIdle);

  fs::copy_file(WriteSaver({Jpeg(8, 8, 1)}), path, fs::copy_options::overwrite_existing);
  form.Activate();
  EXPECT_FALSE(form.StartupPending());
  EXPECT_EQ(form.Width(), kScreen.cx);
}

TEST_F(SlideshowTest, AFileReplacedOrDeletedWhileItRunsStillShowsItsOwnPictures) {
  const std::string path = WriteSaver({Jpeg(8, 8, 1), Jpeg(8, 8, 2)});
  TfrmScrn& form = Start(path);
  form.ShowNextPicture(nullptr);
  // Rebuilt under the same name (a new file renamed over it), then deleted.
  const std::string rebuilt = scratch_.Write("new.scr", std::string(4000, 'x'));
  ASSERT_EQ(std::rename(rebuilt.c_str(), path.c_str()), 0);
  form.ShowNextPicture(nullptr);
  ExpectPlaced(form.tvShow.ScreenImage(), Decoded(Jpeg(8, 8, 2)), 28, 20);
  ASSERT_EQ(std::remove(path.c_str()), 0);
  form.ShowNextPicture(nullptr);
  ExpectPlaced(form.tvShow.ScreenImage(), Decoded(Jpeg(8, 8, 1)), 28, 20);
  EXPECT_TRUE(backend_->ErrorBoxes().empty());
}

}  // namespace
}  // namespace slidesaver::test
