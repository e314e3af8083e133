#include "graphics/photo_metadata.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace slidesaver {
namespace {

using Bytes = std::vector<std::uint8_t>;

void Put16(Bytes& b, unsigned v, bool big) {
  b.push_back(std::uint8_t(big ? v >> 8 : v));
  b.push_back(std::uint8_t(big ? v : v >> 8));
}
void Put32(Bytes& b, unsigned v, bool big) {
  Put16(b, big ? v >> 16 : v & 0xFFFF, big);
  Put16(b, big ? v & 0xFFFF : v >> 16, big);
}

// "Exif\0\0" and a TIFF structure: IFD0 with ImageDescription, Orientation and the Exif IFD,
// which holds DateTimeOriginal.
Bytes Exif(const std::string& description, const std::string& taken, bool big) {
  Bytes b = {'E', 'x', 'i', 'f', 0, 0};
  const std::size_t tiff = b.size();
  b.insert(b.end(), {std::uint8_t(big ? 'M' : 'I'), std::uint8_t(big ? 'M' : 'I')});
  Put16(b, 42, big);
  Put32(b, 8, big);
  const unsigned ifd0 = 8, exifIfd = ifd0 + 2 + 3 * 12 + 4, texts = exifIfd + 2 + 12 + 4;
  Put16(b, 3, big);
  Put16(b, 0x010E, big), Put16(b, 2, big), Put32(b, unsigned(description.size() + 1), big), Put32(b, texts, big);
  Put16(b, 0x0112, big), Put16(b, 3, big), Put32(b, 1, big), Put16(b, 6, big), Put16(b, 0, big);
  Put16(b, 0x8769, big), Put16(b, 4, big), Put32(b, 1, big), Put32(b, exifIfd, big);
  Put32(b, 0, big);
  Put16(b, 1, big);
  Put16(b, 0x9003, big), Put16(b, 2, big), Put32(b, unsigned(taken.size() + 1), big),
      Put32(b, unsigned(texts + description.size() + 1), big);
  Put32(b, 0, big);
  EXPECT_EQ(b.size() - tiff, texts);
  for (const std::string& text : {description, taken}) {
    b.insert(b.end(), text.begin(), text.end());
    b.push_back(0);
  }
  return b;
}

// IPTC datasets 2:05 and 2:120 inside a Photoshop resource block, as APP13 carries them.
Bytes Iptc(const std::string& name, const std::string& caption) {
  Bytes data;
  for (const auto& [set, text] : {std::pair{5, name}, {120, caption}}) {
    data.insert(data.end(), {0x1C, 2, std::uint8_t(set), std::uint8_t(text.size() >> 8), std::uint8_t(text.size())});
    data.insert(data.end(), text.begin(), text.end());
  }
  Bytes b = {'P', 'h', 'o', 't', 'o', 's', 'h', 'o', 'p', ' ', '3', '.', '0', 0, '8', 'B', 'I', 'M', 4, 4, 0, 0};
  Put32(b, unsigned(data.size()), true);
  b.insert(b.end(), data.begin(), data.end());
  return b;
}

TEST(PhotoMetadata, EachTextFromTheFirstBlockThatHasIt) {
  const Bytes exif = Exif("Exif \xC3\xA9t\xC3\xA9", "2026:12:07 08:15:00", true);
  const Bytes exifIntel = Exif("Intel order", "2001:02:03 04:05:06", false);
  const Bytes iptc = Iptc("Objekt", "Bildunterschrift \xE4");  // Latin-1 ä
  const std::string xmp =
      "<rdf:Description><dc:title><rdf:Alt><rdf:li xml:lang=\"de\">Titel</rdf:li>"
      "<rdf:li xml:lang=\"x-default\">Fish &amp; &#x2603; chips</rdf:li></rdf:Alt></dc:title>"
      "<dc:description><rdf:Alt><rdf:li>Line\none</rdf:li></rdf:Alt></dc:description></rdf:Description>";
  const Bytes cutExif = {'E', 'x', 'i', 'f', 0, 0, 'M', 'M'}, cutIptc = {0x1C, 2, 5, 0, 9};
  const struct {
    MetadataBlocks blocks;  // views of the blocks above
    PhotoMetadata want;
  } cases[] = {
      {{exif, "", {}}, {"2026:12:07 08:15:00", "Exif \xC3\xA9t\xC3\xA9", "", 6}},
      {{exifIntel, "", {}}, {"2001:02:03 04:05:06", "Intel order", "", 6}},
      {{exif, "", iptc}, {"2026:12:07 08:15:00", "Objekt", "Bildunterschrift \xC3\xA4", 6}},
      {{exif, xmp, iptc}, {"2026:12:07 08:15:00", "Fish & \xE2\x98\x83 chips", "Line one", 6}},
      {{{}, "<rdf:Description dc:title=\"As an attribute\"/>", {}}, {"", "As an attribute", "", 1}},
      {{cutExif, "<dc:title>", cutIptc}, {"", "", "", 1}},
  };
  for (const auto& c : cases) {
    const PhotoMetadata m = ReadPhotoMetadata(c.blocks);
    EXPECT_EQ(m.taken, c.want.taken);
    EXPECT_EQ(m.title, c.want.title);
    EXPECT_EQ(m.description, c.want.description);
    EXPECT_EQ(m.orientation, c.want.orientation);
  }
}

TEST(PhotoMetadata, AJpegsBlocksAreFoundBeforeItsPicture) {
  const Bytes exif = Exif("In a JPEG", "2020:01:01 00:00:00", true);
  const Bytes iptc = Iptc("Name", "Caption");
  const std::string xmp = std::string("http://ns.adobe.com/xap/1.0/") + '\0' + "<dc:title>XMP</dc:title>";
  Bytes jpeg = {0xFF, 0xD8};
  const auto segment = [&](std::uint8_t marker, const Bytes& body) {
    jpeg.insert(jpeg.end(), {0xFF, marker, std::uint8_t((body.size() + 2) >> 8), std::uint8_t(body.size() + 2)});
    jpeg.insert(jpeg.end(), body.begin(), body.end());
  };
  segment(0xE1, exif);
  segment(0xE1, Bytes(xmp.begin(), xmp.end()));
  segment(0xED, iptc);
  segment(0xDA, {0, 0});
  segment(0xE1, Exif("After the picture", "1999:01:01 00:00:00", true));
  const PhotoMetadata m = ReadPhotoMetadata(JpegMetadataBlocks(jpeg));
  EXPECT_EQ(m.title, "XMP");
  EXPECT_EQ(m.description, "Caption");
  EXPECT_EQ(m.taken, "2020:01:01 00:00:00");
}

}  // namespace
}  // namespace slidesaver
