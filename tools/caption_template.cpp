#include "tools/caption_template.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <ctime>

#include "base/error.h"

namespace slidesaver {
namespace {

constexpr std::array<const char*, 12> kMonths = {"January", "February", "March",     "April",
                                                 "May",     "June",     "July",      "August",
                                                 "September", "October", "November", "December"};

// EXIF's "YYYY:MM:DD HH:MM:SS" (the time part may be missing or blank).
bool ParseTaken(const std::string& text, std::tm& time) {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
  const int found = std::sscanf(text.c_str(), "%d:%d:%d %d:%d:%d", &year, &month, &day, &hour,
                                &minute, &second);
  if (found < 3 || year < 1 || month < 1 || month > 12 || day < 1 || day > 31) return false;
  time = {};
  time.tm_year = year - 1900;
  time.tm_mon = month - 1;
  time.tm_mday = day;
  time.tm_hour = found >= 4 ? hour : 0;
  time.tm_min = found >= 5 ? minute : 0;
  time.tm_sec = found >= 6 ? second : 0;
  // The weekday and the day of the year, for %A, %j and the like; the time itself is kept.
  std::tm copy = time;
  copy.tm_isdst = -1;
  if (std::mktime(&copy) != -1) {
    time.tm_wday = copy.tm_wday;
    time.tm_yday = copy.tm_yday;
  }
  return true;
}

std::string FormatTaken(const std::string& taken, const std::string& format) {
  std::tm time;
  if (!ParseTaken(taken, time)) return "";
  if (format.empty()) {
    return std::to_string(time.tm_mday) + " " + kMonths[std::size_t(time.tm_mon)] + " " +
           std::to_string(time.tm_year + 1900);
  }
  char out[256];
  const std::size_t length = std::strftime(out, sizeof out, format.c_str(), &time);
  return std::string(out, length);
}

}  // namespace

CaptionTemplate::CaptionTemplate(const std::string& text) {
  static const std::array<std::string, 5> kNames = {"date", "title", "description", "name", "folder"};
  std::string literal;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if ((c == '{' || c == '}') && i + 1 < text.size() && text[i + 1] == c) {
      literal += c;
      ++i;
      continue;
    }
    if (c == '}') throw Error("--caption: a \"}\" without its \"{\" (write \"}}\" for a brace)");
    if (c != '{') {
      literal += c;
      continue;
    }
    const std::size_t end = text.find('}', i);
    if (end == std::string::npos) throw Error("--caption: \"{\" without its \"}\" (write \"{{\" for a brace)");
    std::string name = text.substr(i + 1, end - i - 1);
    std::string format;
    if (name.starts_with("date:")) {
      format = name.substr(5);
      name = "date";
      if (format.empty()) throw Error("--caption: {date:} needs a format, such as {date:%Y-%m-%d}");
    }
    if (std::find(kNames.begin(), kNames.end(), name) == kNames.end()) {
      throw Error("--caption: unknown placeholder {" + name +
                  "}; there are {date}, {date:FORMAT}, {title}, {description}, {name} and {folder}");
    }
    parts_.push_back({false, literal, ""});
    literal.clear();
    parts_.push_back({true, name, format});
    i = end;
  }
  parts_.push_back({false, literal, ""});
}

std::string CaptionTemplate::Fill(const CaptionFields& fields) const {
  // parts_ alternate: literal, placeholder, literal, ..., literal.
  std::vector<std::string> values;
  for (const Part& part : parts_) {
    if (!part.placeholder) continue;
    if (part.text == "date") values.push_back(FormatTaken(fields.metadata.taken, part.format));
    else if (part.text == "title") values.push_back(fields.metadata.title);
    else if (part.text == "description") values.push_back(fields.metadata.description);
    else if (part.text == "name") values.push_back(fields.name);
    else values.push_back(fields.folder);
  }
  if (!values.empty() &&
      std::all_of(values.begin(), values.end(), [](const std::string& v) { return v.empty(); })) {
    return "";
  }
  // Placeholder k stands between literals k and k + 1. The kept ones are joined by the
  // separator that follows the earlier of each two; the outer literals stay.
  const std::size_t count = values.size();
  std::string out = parts_.front().text;
  bool first = true;
  for (std::size_t k = 0; k < count; ++k) {
    if (values[k].empty()) continue;
    if (!first) {
      // The separator after the last kept placeholder before this one.
      std::size_t previous = k;
      while (values[--previous].empty()) {
      }
      out += parts_[2 * (previous + 1)].text;
    }
    out += values[k];
    first = false;
  }
  return out + (count > 0 ? parts_.back().text : "");
}

}  // namespace slidesaver
