#pragma once

// The caption template of `slidesaver-pack build --caption`: text with placeholders that each
// picture fills from its own metadata and file name.

#include <string>
#include <vector>

#include "graphics/photo_metadata.h"

namespace slidesaver {

// What a picture fills a template with.
struct CaptionFields {
  PhotoMetadata metadata;
  std::string name;    // the file name without its extension
  std::string folder;  // the name of the folder it came from
};

class CaptionTemplate {
 public:
  // Placeholders: {date} (when the photo was taken, as "7 December 2026"), {date:FORMAT}
  // (strftime conversions), {title}, {description}, {name}, {folder}; "{{" and "}}" stand for
  // braces. Raises Error naming what is wrong: an unknown placeholder, an unclosed brace.
  explicit CaptionTemplate(const std::string& text);

  // The caption of one picture. Empty when every placeholder is empty for it. The placeholders
  // that are not empty are joined by the text that follows the earlier of each two, so the
  // separator next to an empty one goes with it: "{title} · {date}" is "Title" without a date.
  // The text before the first and after the last placeholder stays.
  std::string Fill(const CaptionFields& fields) const;

 private:
  struct Part {
    bool placeholder = false;
    std::string text;    // literal text, or the placeholder's name
    std::string format;  // {date:FORMAT}
  };
  std::vector<Part> parts_;
};

}  // namespace slidesaver
