#include "saver/picture_deal.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "base/random.h"

namespace slidesaver {
namespace {

// Shows `count` pictures of the deal, as the saver takes them.
std::vector<std::int32_t> Show(PictureDeal& deal, int count) {
  std::vector<std::int32_t> shown;
  for (int i = 0; i < count; ++i) {
    shown.push_back(deal.Peek());
    EXPECT_TRUE(deal.Take(shown.back()));
  }
  return shown;
}

TEST(PictureDeal, EveryPictureOncePerDealAndNoneTwiceInARow) {
  for (const int count : {1, 2, 3, 7}) {
    PictureDeal deal(count, std::nullopt);
    const std::vector<std::int32_t> shown = Show(deal, count * 40);
    for (std::size_t start = 0; start < shown.size(); start += std::size_t(count)) {
      const std::set<std::int32_t> one(shown.begin() + std::ptrdiff_t(start),
                                       shown.begin() + std::ptrdiff_t(start) + count);
      ASSERT_EQ(one.size(), std::size_t(count)) << "deal at " << start << " of " << count;
    }
    for (std::size_t i = 1; count > 1 && i < shown.size(); ++i) {
      ASSERT_NE(shown[i], shown[i - 1]) << i << " of " << count;
    }
  }
}

TEST(PictureDeal, GoesOnFromItsSavedTextAndStartsAgainFromADamagedOne) {
  PictureDeal first(5, std::nullopt);
  Show(first, 3);
  PictureDeal resumed(5, first.Saved());
  EXPECT_EQ(resumed.Order(), first.Order());
  EXPECT_EQ(resumed.Position(), 3u);
  const std::string good = first.Saved();
  for (const std::string& damaged :
       {std::string(), std::string("nonsense"), good.substr(0, good.size() / 2), good + "7\n",
        std::string("slidesaver picture deal 1\ncount 6\nposition 0\norder 0 1 2 3 4 5\n"),
        std::string("slidesaver picture deal 1\ncount 5\nposition 9\norder 0 1 2 3 4\n"),
        std::string("slidesaver picture deal 1\ncount 5\nposition 0\norder 0 1 1 3 4\n"),
        std::string("slidesaver picture deal 9\ncount 5\nposition 0\norder 0 1 2 3 4\n")}) {
    PictureDeal fresh(5, damaged);
    EXPECT_EQ(fresh.Position(), 0u) << damaged;
    std::vector<std::int32_t> sorted = fresh.Order();
    std::sort(sorted.begin(), sorted.end());
    EXPECT_EQ(sorted, (std::vector<std::int32_t>{0, 1, 2, 3, 4})) << damaged;
  }
}

TEST(PictureDeal, APictureFurtherOnCanBeTakenFirst) {
  PictureDeal deal(4, std::string("slidesaver picture deal 1\ncount 4\nposition 1\norder 3 2 1 0\n"));
  EXPECT_EQ(deal.Peek(), 2);
  EXPECT_EQ(deal.Peek([](std::int32_t i) { return i < 2; }), 1);
  EXPECT_TRUE(deal.Take(0));  // another screen showed 2: 0 comes now, 2 later
  EXPECT_EQ(deal.Order(), (std::vector<std::int32_t>{3, 0, 1, 2}));
  EXPECT_FALSE(deal.Take(3));  // dealt already
  EXPECT_EQ(Show(deal, 2), (std::vector<std::int32_t>{1, 2}));
  EXPECT_NE(deal.Peek(), 2);  // the next deal does not begin with the last picture
}

TEST(PictureDeal, TheFileIsNamedByTheSaversContents) {
  EXPECT_EQ(DealFileName({1, 2, 3}), DealFileName({1, 2, 3}));
  EXPECT_NE(DealFileName({1, 2, 3}), DealFileName({1, 2, 4}));
  EXPECT_EQ(DealFileName({}).size(), std::string("deal-0123456789abcdef.txt").size());
}

}  // namespace
}  // namespace slidesaver
