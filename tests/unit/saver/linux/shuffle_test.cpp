// A shuffled show keeps its place in the user's state folder ($XDG_STATE_HOME here).

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "tests/unit/saver/saver_fixture.h"

namespace slidesaver::test {
namespace {

TEST_F(SaverWindowTest, ShuffledPicturesComeOncePerDealAndGoOnWhereTheLastRunStopped) {
  SetVariable("XDG_STATE_HOME", scratch_.Path() + "/state");
  config_.lShuffle = true;
  const std::string saver = WriteSaver({Jpeg(8, 8, 1), Jpeg(8, 8, 2), Jpeg(8, 8, 3)});
  std::vector<std::int32_t> shown;
  for (const int pictures : {4, 5}) {  // two runs
    TfrmScrn& form = Start(saver);
    for (int i = 0; i < pictures; ++i) {
      form.ShowNextPicture(nullptr);
      shown.push_back(form.ShownPicture());
    }
    form_.reset();
  }
  for (std::size_t deal = 0; deal < shown.size(); deal += 3) {
    EXPECT_EQ(std::set<std::int32_t>(shown.begin() + std::ptrdiff_t(deal),
                                     shown.begin() + std::ptrdiff_t(deal) + 3).size(), 3u)
        << "deal at " << deal;
  }
  for (std::size_t i = 1; i < shown.size(); ++i) EXPECT_NE(shown[i], shown[i - 1]) << i;
  UnsetVariable("XDG_STATE_HOME");
}

}  // namespace
}  // namespace slidesaver::test
