#include <gtest/gtest.h>

#include <string>

#include "payload/commalist.h"
#include "payload/inttext.h"

namespace slidesaver {
namespace {

std::string Field(std::string text) {
  text.resize(20, ' ');
  return text;
}

TEST(IntegerText, TrailerFieldsTrimAndConvert) {
  EXPECT_EQ(TrailerFieldValue(Field("390600")), 390600);
  EXPECT_EQ(TrailerFieldValue(Field("   \t390600\t")), 390600);
  EXPECT_EQ(TrailerFieldValue(std::string("12\0abc", 6) + std::string(14, 'x')), 12);
  EXPECT_EQ(TrailerFieldValue(Field("")), 0);
  EXPECT_EQ(TrailerFieldValue(Field("$10")), 16);
  EXPECT_EQ(TrailerFieldValue(Field("0X1f")), 31);
  EXPECT_EQ(TrailerFieldValue(Field("12a")), 0);
  EXPECT_EQ(TrailerFieldValue(Field("1 2")), 0);
  EXPECT_EQ(TrailerFieldValue(Field("2147483647")), 2147483647);
  EXPECT_EQ(TrailerFieldValue(Field("2147483648")), 0);
  EXPECT_EQ(TrailerFieldValue(Field("-2147483648")), INT32_MIN);
  EXPECT_EQ(TrailerFieldValue(Field("99999999999999999999")), 0);
}

TEST(IntegerText, StrictConversion) {
  EXPECT_EQ(StrToIntStrict("  -42"), -42);
  EXPECT_EQ(StrToIntStrict("+7"), 7);
  EXPECT_EQ(StrToIntStrict("$FFFFFFFF"), -1);
  EXPECT_EQ(StrToIntStrict("-$10"), 16);  // a sign has no effect on hexadecimal
  EXPECT_EQ(StrToIntStrict("x7f"), 127);
  EXPECT_EQ(StrToIntStrict("$00000001"), 1);
  EXPECT_FALSE(StrToIntStrict("$100000000"));  // nine digits
  EXPECT_FALSE(StrToIntStrict("$"));
  EXPECT_FALSE(StrToIntStrict(""));
  EXPECT_FALSE(StrToIntStrict("-"));
  EXPECT_FALSE(StrToIntStrict("12 "));
  EXPECT_FALSE(StrToIntStrict("\t12"));
  EXPECT_FALSE(StrToIntStrict("1e3"));
  EXPECT_EQ(StrToIntDecimalOr0x("0x1"), 1);
  EXPECT_FALSE(StrToIntDecimalOr0x("$1"));
  EXPECT_FALSE(StrToIntDecimalOr0x("yes"));
}

using Items = std::vector<std::string>;

TEST(CommaList, ReadsSeparatorsQuotesAndEmptyItems) {
  EXPECT_EQ(ParseCommaList("a b"), (Items{"a", "b"}));
  EXPECT_EQ(ParseCommaList("a,b"), (Items{"a", "b"}));
  EXPECT_EQ(ParseCommaList("  1000, 2000 ,\t3000 "), (Items{"1000", "2000", "3000"}));
  EXPECT_EQ(ParseCommaList("a,,b"), (Items{"a", "", "b"}));
  EXPECT_EQ(ParseCommaList("a,"), (Items{"a", ""}));
  EXPECT_EQ(ParseCommaList("a, "), (Items{"a"}));
  EXPECT_EQ(ParseCommaList("intro.mid,\"Main Theme.mp3\""), (Items{"intro.mid", "Main Theme.mp3"}));
  EXPECT_EQ(ParseCommaList("\"say \"\"hi\"\"\",x"), (Items{"say \"hi\"", "x"}));
  EXPECT_EQ(ParseCommaList("\"ab\"cd"), (Items{"ab", "cd"}));
  EXPECT_EQ(ParseCommaList("\"open, never closed"), (Items{"open, never closed"}));
  EXPECT_EQ(ParseCommaList("\"\""), (Items{""}));
  EXPECT_EQ(ParseCommaList(""), Items{});
  EXPECT_EQ(ParseCommaList(std::string("a,b\0,c", 6)), (Items{"a", "b"}));
}

TEST(CommaList, WritesCanonicalTextThatReadsBack) {
  const Items tricky{"plain", "with space", "a,b", "q\"uote", "", "tab\there", "caf\xC3\xA9"};
  const std::string text = FormatCommaList(tricky);
  EXPECT_EQ(text, "plain,\"with space\",\"a,b\",\"q\"\"uote\",,\"tab\there\",caf\xC3\xA9");
  EXPECT_EQ(ParseCommaList(text), tricky);
  EXPECT_EQ(FormatCommaList({""}), "\"\"");
  EXPECT_EQ(FormatCommaList({}), "");
  EXPECT_EQ(FormatCommaList({"intro.mid", "Main Theme.mp3"}), "intro.mid,\"Main Theme.mp3\"");
}

}  // namespace
}  // namespace slidesaver
