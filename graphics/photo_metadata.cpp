#include "graphics/photo_metadata.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <optional>

namespace slidesaver {
namespace {

std::string_view AsText(std::span<const std::uint8_t> bytes) {
  return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

bool IsUtf8(std::string_view text) {
  for (std::size_t i = 0; i < text.size();) {
    const auto c = static_cast<unsigned char>(text[i]);
    const int follow = c < 0x80 ? 0 : (c >> 5) == 6 ? 1 : (c >> 4) == 14 ? 2 : (c >> 3) == 30 ? 3 : -1;
    if (follow < 0 || (follow > 0 && i + follow >= text.size())) return false;
    for (int k = 1; k <= follow; ++k) {
      if ((static_cast<unsigned char>(text[i + k]) >> 6) != 2) return false;
    }
    i += 1 + follow;
  }
  return true;
}

void AppendUtf8(std::string& out, std::uint32_t code) {
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | code >> 6);
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    out += static_cast<char>(0xE0 | code >> 12);
    out += static_cast<char>(0x80 | (code >> 6 & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | code >> 18);
    out += static_cast<char>(0x80 | (code >> 12 & 0x3F));
    out += static_cast<char>(0x80 | (code >> 6 & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

// A text from a file: UTF-8 as it is, anything else read as Latin-1; cut at a NUL, control
// characters as spaces, blanks trimmed.
std::string Clean(std::string_view raw) {
  raw = raw.substr(0, std::min(raw.size(), raw.find('\0')));
  std::string text;
  if (IsUtf8(raw)) {
    text.assign(raw);
  } else {
    for (const char c : raw) AppendUtf8(text, static_cast<unsigned char>(c));
  }
  for (char& c : text) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = ' ';
  }
  const auto first = text.find_first_not_of(' ');
  if (first == std::string::npos) return "";
  return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

// ---- EXIF: a TIFF structure.
struct Tiff {
  std::span<const std::uint8_t> data;
  bool big = false;
  std::optional<std::uint32_t> Read(std::size_t offset, int bytes) const {
    if (offset + bytes > data.size()) return std::nullopt;
    std::uint32_t value = 0;
    for (int i = 0; i < bytes; ++i) value = value << 8 | data[offset + (big ? i : bytes - 1 - i)];
    return value;
  }
  // The ASCII value of `tag` in the directory at `ifd`, or its LONG value in `pointer`.
  std::optional<std::string> Ascii(std::uint32_t ifd, std::uint16_t tag) const {
    const auto entry = Find(ifd, tag);
    if (!entry || Read(*entry + 2, 2) != 2u) return std::nullopt;
    const auto count = Read(*entry + 4, 4);
    if (!count || *count == 0) return std::nullopt;
    const std::size_t at = *count <= 4 ? *entry + 8 : Read(*entry + 8, 4).value_or(data.size());
    if (at + *count > data.size()) return std::nullopt;
    return std::string(AsText(data.subspan(at, *count)));
  }
  std::optional<std::uint32_t> Long(std::uint32_t ifd, std::uint16_t tag) const {
    const auto entry = Find(ifd, tag);
    return entry ? Read(*entry + 8, 4) : std::nullopt;
  }
  std::optional<std::size_t> Find(std::uint32_t ifd, std::uint16_t tag) const {
    const auto count = Read(ifd, 2);
    for (std::uint32_t i = 0; count && i < *count && i < 1000; ++i) {
      const std::size_t entry = ifd + 2 + 12 * std::size_t{i};
      const auto found = Read(entry, 2);
      if (!found) return std::nullopt;
      if (*found == tag) return entry;
    }
    return std::nullopt;
  }
};

void ReadExif(std::span<const std::uint8_t> block, PhotoMetadata& m, std::string& description) {
  static constexpr std::uint8_t kExif[] = {'E', 'x', 'i', 'f', 0, 0};
  if (block.size() >= 6 && std::equal(kExif, kExif + 6, block.begin())) block = block.subspan(6);
  if (block.size() < 8) return;
  Tiff tiff{block, block[0] == 'M'};
  if (!tiff.big && block[0] != 'I') return;
  const auto ifd0 = tiff.Read(4, 4);
  if (!ifd0) return;
  if (const auto text = tiff.Ascii(*ifd0, 0x010E)) description = Clean(*text);
  if (const auto entry = tiff.Find(*ifd0, 0x0112); entry && tiff.Read(*entry + 2, 2) == 3u) {
    const auto value = tiff.Read(*entry + 8, 2);
    if (value && *value >= 1 && *value <= 8) m.orientation = static_cast<int>(*value);
  }
  if (const auto exifIfd = tiff.Long(*ifd0, 0x8769)) {
    if (const auto taken = tiff.Ascii(*exifIfd, 0x9003)) m.taken = Clean(*taken);
  }
}

// ---- XMP: the first (or x-default) rdf:li of a dc property, or its plain value.
std::string DecodeEntities(std::string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '&') {
      out += text[i];
      continue;
    }
    const std::size_t end = text.find(';', i);
    if (end == std::string_view::npos || end - i > 10) {
      out += text[i];
      continue;
    }
    const std::string_view name = text.substr(i + 1, end - i - 1);
    if (name == "amp") out += '&';
    else if (name == "lt") out += '<';
    else if (name == "gt") out += '>';
    else if (name == "quot") out += '"';
    else if (name == "apos") out += '\'';
    else if (name.size() > 1 && name[0] == '#') {
      const bool hex = name[1] == 'x' || name[1] == 'X';
      std::uint32_t code = 0;
      for (const char c : name.substr(hex ? 2 : 1)) {
        const int digit = std::isxdigit(static_cast<unsigned char>(c)) == 0 ? -1
                          : c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10;
        if (digit < 0 || (!hex && digit > 9)) { code = 0xFFFD; break; }
        code = std::min<std::uint32_t>(code * (hex ? 16 : 10) + digit, 0x10FFFF);
      }
      AppendUtf8(out, code);
    } else {
      out.append(text.substr(i, end - i + 1));
    }
    i = end;
  }
  return out;
}

std::string XmpProperty(std::string_view xml, std::string_view name) {
  const std::string open = "<" + std::string(name);
  std::size_t at = xml.find(open);
  while (at != std::string_view::npos && xml.size() > at + open.size() &&
         std::strchr(" >\t\r\n/", xml[at + open.size()]) == nullptr) {
    at = xml.find(open, at + 1);
  }
  if (at == std::string_view::npos) {
    // As an attribute: dc:title="..."
    const std::string attribute = std::string(name) + "=\"";
    const std::size_t a = xml.find(attribute);
    if (a == std::string_view::npos) return "";
    const std::size_t start = a + attribute.size();
    return DecodeEntities(xml.substr(start, xml.find('"', start) - start));
  }
  const std::string close = "</" + std::string(name) + ">";
  const std::size_t end = xml.find(close, at);
  const std::string_view body = xml.substr(at, end == std::string_view::npos ? 0 : end - at);
  // Language alternatives: the x-default one, else the first.
  std::size_t li = body.find("xml:lang=\"x-default\"");
  if (li == std::string_view::npos) li = body.find("<rdf:li");
  std::size_t start = li == std::string_view::npos ? body.find('>') : body.find('>', li);
  if (start == std::string_view::npos) return "";
  ++start;
  const std::size_t stop = body.find('<', start);
  return DecodeEntities(body.substr(start, stop == std::string_view::npos ? body.size() - start : stop - start));
}

// ---- IPTC: datasets 2:05 (object name) and 2:120 (caption), inside Photoshop resource 0x0404
// when the block holds resources.
std::span<const std::uint8_t> IptcDatasets(std::span<const std::uint8_t> block) {
  static constexpr char kPhotoshop[] = "Photoshop 3.0";
  if (block.size() >= sizeof kPhotoshop && std::memcmp(block.data(), kPhotoshop, sizeof kPhotoshop) == 0) {
    block = block.subspan(sizeof kPhotoshop);
  }
  if (block.size() < 4 || std::memcmp(block.data(), "8BIM", 4) != 0) return block;
  for (std::size_t at = 0; at + 12 <= block.size() && std::memcmp(block.data() + at, "8BIM", 4) == 0;) {
    const std::uint16_t id = static_cast<std::uint16_t>(block[at + 4] << 8 | block[at + 5]);
    const std::size_t nameLength = block[at + 6];
    std::size_t pos = at + 6 + ((nameLength + 2) & ~std::size_t{1});  // a padded Pascal string
    if (pos + 4 > block.size()) break;
    const std::size_t size = std::size_t{block[pos]} << 24 | std::size_t{block[pos + 1]} << 16 |
                             std::size_t{block[pos + 2]} << 8 | block[pos + 3];
    pos += 4;
    if (pos + size > block.size()) break;
    if (id == 0x0404) return block.subspan(pos, size);
    at = pos + size + (size & 1);
  }
  return {};
}

void ReadIptc(std::span<const std::uint8_t> block, std::string& name, std::string& caption) {
  const std::span<const std::uint8_t> data = IptcDatasets(block);
  for (std::size_t at = 0; at + 5 <= data.size() && data[at] == 0x1C;) {
    const std::uint8_t record = data[at + 1], dataset = data[at + 2];
    const std::size_t size = std::size_t{data[at + 3]} << 8 | data[at + 4];
    if (size & 0x8000) break;  // extended lengths are for binary data
    if (at + 5 + size > data.size()) break;
    const std::string_view value = AsText(data.subspan(at + 5, size));
    if (record == 2 && dataset == 5 && name.empty()) name = Clean(value);
    if (record == 2 && dataset == 120 && caption.empty()) caption = Clean(value);
    at += 5 + size;
  }
}

}  // namespace

PhotoMetadata ReadPhotoMetadata(const MetadataBlocks& blocks) {
  PhotoMetadata m;
  std::string exifDescription, iptcName, iptcCaption;
  ReadExif(blocks.exif, m, exifDescription);
  ReadIptc(blocks.iptc, iptcName, iptcCaption);
  const std::string xmpTitle = Clean(XmpProperty(blocks.xmp, "dc:title"));
  const std::string xmpDescription = Clean(XmpProperty(blocks.xmp, "dc:description"));
  m.title = !xmpTitle.empty() ? xmpTitle : !iptcName.empty() ? iptcName : exifDescription;
  m.description = !xmpDescription.empty() ? xmpDescription : iptcCaption;
  return m;
}

MetadataBlocks JpegMetadataBlocks(std::span<const std::uint8_t> jpeg) {
  MetadataBlocks blocks;
  if (jpeg.size() < 4 || jpeg[0] != 0xFF || jpeg[1] != 0xD8) return blocks;
  static constexpr char kXmp[] = "http://ns.adobe.com/xap/1.0/";
  for (std::size_t at = 2; at + 4 <= jpeg.size() && jpeg[at] == 0xFF;) {
    const std::uint8_t marker = jpeg[at + 1];
    if (marker == 0xDA || marker == 0xD9) break;  // the picture's data begins
    const std::size_t length = std::size_t{jpeg[at + 2]} << 8 | jpeg[at + 3];
    if (length < 2 || at + 2 + length > jpeg.size()) break;
    const std::span<const std::uint8_t> segment = jpeg.subspan(at + 4, length - 2);
    const std::string_view text = AsText(segment);
    if (marker == 0xE1 && text.starts_with(std::string_view("Exif\0\0", 6)) && blocks.exif.empty()) {
      blocks.exif = segment;
    } else if (marker == 0xE1 && text.starts_with(std::string_view(kXmp, sizeof kXmp)) && blocks.xmp.empty()) {
      blocks.xmp = text.substr(sizeof kXmp);
    } else if (marker == 0xED && text.starts_with("Photoshop 3.0") && blocks.iptc.empty()) {
      blocks.iptc = segment;
    }
    at += 2 + length;
  }
  return blocks;
}

}  // namespace slidesaver
