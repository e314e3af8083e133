#include "tools/caption_template.h"

#include <gtest/gtest.h>

#include "base/error.h"

namespace slidesaver {
namespace {

TEST(CaptionTemplate, PlaceholdersAndTheSeparatorsOfEmptyOnes) {
  const CaptionFields full{{"2026:12:07 08:15:00", "Harbour", "At dawn, \"calm\"", 1}, "IMG_0001", "Norway"};
  const CaptionFields bare{{}, "IMG_0002", "Norway"};
  const CaptionFields untitled{{"2026:06:21 19:00:00", "", "", 1}, "x", "Ферма"};
  const struct {
    const char* text;
    const CaptionFields& fields;
    const char* want;
  } cases[] = {
      {"{title} · {date}", full, "Harbour · 7 December 2026"},
      {"{title} · {date}", bare, ""},
      {"{title} · {date}", untitled, "21 June 2026"},
      {"{title} - {date} - {name}", untitled, "21 June 2026 - x"},
      {"{date:%Y-%m-%d %H:%M}, {folder}", full, "2026-12-07 08:15, Norway"},
      {"{date:%A}", full, "Monday"},
      {"({description})", full, "(At dawn, \"calm\")"},
      {"{folder}/{name}", untitled, "Ферма/x"},
      {"Photo: {title}", bare, ""},
      {"{{{name}}}", bare, "{IMG_0002}"},
      {"Fixed text", bare, "Fixed text"},
  };
  for (const auto& c : cases) EXPECT_EQ(CaptionTemplate(c.text).Fill(c.fields), c.want) << c.text;
  for (const char* bad : {"{place}", "{title", "title}", "{date:}"}) {
    EXPECT_THROW(CaptionTemplate{bad}, Error) << bad;
  }
}

}  // namespace
}  // namespace slidesaver
