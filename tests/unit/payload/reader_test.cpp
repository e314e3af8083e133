#include <gtest/gtest.h>

#include <string>

#include "base/error.h"
#include "payload/config.h"
#include "payload/graphics.h"
#include "payload/reader.h"
#include "payload/writer.h"
#include "system/signals.h"
#include "tests/support/error_of.h"
#include "tests/support/stream_bytes.h"
#include "tools/imagegen/imagegen.h"

namespace slidesaver {
namespace {

using test::ErrorOf;
using test::PictureBlock;
using test::StreamBytes;

std::unique_ptr<TComponent> Read(const std::vector<std::uint8_t>& bytes) {
  InputStream in(bytes);
  return ComponentReader(in).ReadComponent();
}

std::unique_ptr<TSSFileLocations> ReadConfig(const StreamBytes& s) {
  auto c = Read(s.bytes);
  auto* config = dynamic_cast<TSSFileLocations*>(c.get());
  EXPECT_NE(config, nullptr);
  c.release();
  return std::unique_ptr<TSSFileLocations>(config);
}

std::string ReadError(const std::vector<std::uint8_t>& bytes) {
  try {
    Read(bytes);
  } catch (const Error& e) {
    return e.what();
  }
  return "(no error)";
}

std::vector<std::uint8_t> SmallJpeg() { return EncodeJpeg(MakeTestPattern(16, 8, 1)); }

TEST(ComponentReader, SkipsUnknownPropertiesOfEveryKind) {
  StreamBytes s;
  s.Begin("tssfilelocations");
  const auto unknown = [&](int n) { s.Name("Unknown" + std::to_string(n)); };
  unknown(0), s.Raw({0});
  unknown(1), s.Raw({1, 2, 5, 6}).Short("x").Raw({1, 9, 0, 0});  // nested list
  unknown(2), s.Int8(1);
  unknown(3), s.Int16(1000);
  unknown(4), s.Int32Value(100000);
  unknown(5), s.Raw({5, 0, 0, 0, 0, 0, 0, 0, 0x80, 0xFF, 0x3F});
  unknown(6), s.Str("text");
  unknown(7), s.Ident("clRed");
  unknown(8), s.Raw({8});
  unknown(9), s.Raw({9});
  unknown(10), s.Binary({1, 2, 3});
  unknown(11), s.Raw({11}).Short("a").Short("b").Raw({0});
  unknown(12), s.LStr("long");
  unknown(13), s.Raw({13});
  // A collection: one item with an index, one without, each with properties.
  unknown(14), s.Raw({14, 2, 5, 1}).Name("A").Int8(1).Raw({0}).Raw({1}).Name("B").Str("b").Raw({0, 0});
  unknown(15), s.Raw({15, 0, 0, 0x80, 0x3F});
  unknown(16), s.Raw({16}).Int32(1).Int32(0);
  unknown(17), s.Raw({17}).Int32(0).Int32(0);
  unknown(18), s.Raw({18}).Int32(2).Raw({'h', 0, 'i', 0});
  unknown(19), s.Raw({19}).Int32(5).Int32(0);
  unknown(20), s.Utf8("\xC3\xA9");
  s.Name("TextFont.Unknown").Int8(3).Name("Unknown.Path").Int8(3);
  s.Name("interval").Int16(5000).Name("TITLE").Str("Demo");
  // A child object entry (with a prefix and a child position) is skipped.
  s.Raw({0}).Raw({0xF2, 2, 1}).Short("TChild").Short("c").Name("P").Int8(1).Raw({0, 0}).Raw({0});
  auto config = ReadConfig(s);
  EXPECT_EQ(config->Interval(), 5000);
  EXPECT_EQ(config->Title(), "Demo");
}

TEST(ComponentReader, ConvertsValuesByPropertyType) {
  StreamBytes s;
  s.Begin("TSSFileLocations");
  s.Name("TextFont.Height").Int8(-32).Name("TextFont.Color").Ident("clwindowtext");
  s.Name("TextFont.Charset").Ident("RUSSIAN_CHARSET").Name("TextFont.Pitch").Ident("FPFIXED");
  s.Name("TextFont.Style").Raw({11}).Short("fsBold").Short("fsShiny").Short("fsUnderline").Raw({0});
  s.Name("TextFont.Name").Utf8("Arial");
  s.Name("lRandomPic").Raw({9}).Name("lMute").Ident("True").Name("lClearOldImage").Raw({8});
  s.Name("Text").Str("caf\xE9 \x80");                  // Windows-1252
  s.Name("Author").Utf8("\xC3\xA9");                    // one character
  s.Name("Email").Raw({18}).Int32(2).Raw({0x3D, 0xD8, 0x00, 0xDE});  // one surrogate pair
  s.Name("Web").LStr(std::string(300, 'w'));
  s.Name("SndFileNamesCommaList").Str("intro.mid, \"Main Theme.mp3\"");
  s.End();
  auto c = ReadConfig(s);
  EXPECT_EQ(c->TextFont().Size(), 24);
  EXPECT_EQ(static_cast<std::uint32_t>(c->TextFont().Color()), 0x80000008u);
  EXPECT_EQ(c->TextFont().Charset(), 204);
  EXPECT_EQ(c->TextFont().Pitch(), TFontPitch::fpFixed);
  EXPECT_EQ(c->TextFont().Style(), fsBold | fsUnderline);
  EXPECT_EQ(c->TextFont().Name(), "Arial");
  EXPECT_TRUE(c->lRandomPic);
  EXPECT_TRUE(c->lMute);
  EXPECT_FALSE(c->lClearOldImage);
  EXPECT_EQ(c->Text(), "caf\xC3\xA9 \xE2\x82\xAC");
  EXPECT_EQ(c->Author(), "\xC3\xA9");
  EXPECT_EQ(c->Email(), "\xF0\x9F\x98\x80");
  EXPECT_EQ(c->Web(), std::string(300, 'w'));
  EXPECT_EQ(c->SndFileNamesCommaList(), "intro.mid,\"Main Theme.mp3\"");
  EXPECT_EQ(c->GetSndFileName(1), "Main Theme.mp3");

  StreamBytes t;
  t.Begin("TSSFileLocations").Name("TextFont.Color").Int32Value(255).Name("TextFont.Size").Int8(12);
  t.Name("Author").Str("\xC3\xA9").End();  // the same two bytes as kind 6: two characters
  c = ReadConfig(t);
  EXPECT_EQ(c->TextFont().Color(), 0x0000FF);
  EXPECT_EQ(c->TextFont().Height(), -16);
  EXPECT_EQ(c->Author(), "\xC3\x83\xC2\xA9");
}

TEST(ComponentReader, ReportsFailuresWithTheirTexts) {
  EXPECT_EQ(ReadError(StreamBytes().Raw("TPF1").Short("TImage").Short("").End().bytes), "Invalid stream format");
  EXPECT_EQ(ReadError(StreamBytes().Begin("TFoo").End().bytes), "Class TFoo not found");
  EXPECT_EQ(ReadError(StreamBytes().Begin("TSSFileLocations").Name("Interval").Str("5").End().bytes),
            "Error reading TSSFileLocations.Interval: Invalid property value");
  EXPECT_EQ(ReadError(StreamBytes().Begin("TSSFileLocations").Name("TextFont.Color").Ident("clPink").End().bytes),
            "Error reading TSSFileLocations.TextFont.Color: Invalid property value");
  EXPECT_EQ(ReadError(StreamBytes().Begin("TSSFileLocations").Name("lMute").Int8(1).End().bytes),
            "Error reading TSSFileLocations.lMute: Invalid property value");
  EXPECT_EQ(ReadError(StreamBytes().Begin("TSSFileLocations").Name("Interval.X").Int8(1).End().bytes),
            "Error reading TSSFileLocations.Interval.X: Invalid property path");
  EXPECT_EQ(ReadError(StreamBytes().Begin("TImage").Name("Picture.Data").Str("x").End().bytes),
            "Error reading TImage.Picture.Data: Invalid property value");
  EXPECT_EQ(ReadError(StreamBytes().Begin("TSSFileLocations").Name("X").Raw({21}).End().bytes),
            "Error reading TSSFileLocations.X: Unknown value kind 21");
  // A named root reports its name.
  EXPECT_EQ(ReadError(StreamBytes().Raw("TPF0").Short("TSSFileLocations").Short("cfg").Name("Title").Int8(1).End().bytes),
            "Error reading cfg.Title: Invalid property value");
  // Length claims far beyond the data fail before anything of that size is allocated.
  EXPECT_EQ(ReadError(StreamBytes().Begin("TSSFileLocations").Name("X").Raw({10}).Int32(0x7FFFFFF0).End().bytes),
            "Error reading TSSFileLocations.X: Stream read error");
  EXPECT_EQ(ReadError(StreamBytes().Begin("TSSFileLocations").Name("Title").Raw({12}).Int32(-5).End().bytes),
            "Error reading TSSFileLocations.Title: Stream read error");
  EXPECT_EQ(ReadError(StreamBytes().Begin("TSSFileLocations").Name("X").Raw({18}).Int32(0x40000000).End().bytes),
            "Error reading TSSFileLocations.X: Stream read error");
  EXPECT_EQ(ReadError(StreamBytes().Raw("TP").bytes), "Stream read error");
  const auto jpegError = ReadError(StreamBytes().Begin("TImage").Name("Picture.Data")
                                       .Binary(PictureBlock("TJPEGImage", {1, 2, 3, 4})).End().bytes);
  EXPECT_EQ(jpegError.rfind("Error reading TImage.Picture.Data: JPEG error #", 0), 0u) << jpegError;
}

TEST(ComponentReader, DeepNestingFailsCleanly) {
  StreamBytes s;
  s.Begin("TSSFileLocations").Name("Deep");
  for (int i = 0; i < 100000; ++i) s.Raw({1});
  EXPECT_EQ(ReadError(s.bytes), "Error reading TSSFileLocations.Deep: Stream nested too deeply");
  StreamBytes ok;
  ok.Begin("TSSFileLocations").Name("Deep");
  for (int i = 0; i < ComponentReader::kMaxDepth; ++i) ok.Raw({1});
  for (int i = 0; i < ComponentReader::kMaxDepth; ++i) ok.Raw({0});
  ok.End();
  EXPECT_NO_THROW(Read(ok.bytes));
}

TEST(ComponentReader, EveryTruncationIsAReadError) {
  TSSFileLocations config;
  config.SetText("Caption");
  config.SetTitle("T\xC3\xA9tle");
  config.SetPicCommaList("1000,2000");
  config.SetSndCommaList("3000");
  const auto bytes = WriteComponentStream(config);
  for (std::size_t n = 4; n < bytes.size(); ++n) {
    const std::vector<std::uint8_t> cut(bytes.begin(), bytes.begin() + static_cast<long>(n));
    const std::string message = ReadError(cut);
    EXPECT_TRUE(message.ends_with("Stream read error")) << n << ": " << message;
  }
}

TEST(ComponentReader, ReadsPictureData) {
  const auto jpeg = SmallJpeg();
  const auto picture = [&](std::string_view cls, std::size_t extra) {
    auto image = Read(StreamBytes().Begin("timage").Name("Left").Int8(0).Name("picture.data")
                          .Binary(PictureBlock(cls, jpeg, extra)).End().bytes);
    return std::unique_ptr<TImage>(static_cast<TImage*>(image.release()));
  };
  auto image = picture("TJPEGImage", 7);  // bytes behind the JPEG are ignored
  auto* graphic = dynamic_cast<TJPEGImage*>(image->Picture().Graphic());
  ASSERT_NE(graphic, nullptr);
  EXPECT_EQ(graphic->Width(), 16);
  EXPECT_EQ(graphic->Height(), 8);
  EXPECT_EQ(graphic->Data(), jpeg);
  EXPECT_EQ(graphic->Pixels().Width(), 16);
  EXPECT_TRUE(picture("TJpegImage", 0)->Picture().Empty());
  EXPECT_TRUE(picture("TJPEGImage", 0)->Picture().Graphic() != nullptr);
  auto empty = Read(StreamBytes().Begin("TImage").Name("Picture.Data")
                        .Binary(PictureBlock("TJPEGImage", {})).End().bytes);
  EXPECT_TRUE(static_cast<TImage*>(empty.get())->Picture().Empty());
}

TEST(TJPEGImage, EveryDecodeGivesUpOnceTheProcessIsToEnd) {
  struct Lowered {
    ~Lowered() { ClearTerminationRequest(); }
  } lowered;
  TJPEGImage image(SmallJpeg());
  RequestTermination();
  const std::string interrupted = "Picture decoding was interrupted";
  EXPECT_EQ(ErrorOf([&] { image.PixelsIn(TRect{0, 0, 8, 8}); }), interrupted);
  EXPECT_EQ(ErrorOf([&] { image.PixelsScaled(4, 2); }), interrupted);
  EXPECT_EQ(ErrorOf([&] { image.Pixels(); }), interrupted);
  ClearTerminationRequest();
  EXPECT_EQ(image.Pixels().Width(), 16);
}

TEST(ComponentWriter, PictureStreamIs77BytesLongerThanItsJpegAndReadsBack) {
  const auto jpeg = SmallJpeg();
  TImage image;
  image.Picture().SetGraphic(std::make_unique<TJPEGImage>(jpeg));
  const auto bytes = WriteComponentStream(image);
  EXPECT_EQ(bytes.size(), jpeg.size() + 77);
  auto back = Read(bytes);
  auto* read = static_cast<TImage*>(back.get());
  EXPECT_EQ(read->Width(), 105);
  EXPECT_EQ(static_cast<TJPEGImage*>(read->Picture().Graphic())->Data(), jpeg);
}

TEST(ComponentWriter, ConfigurationRoundTripUsesTheSmallestKinds) {
  TSSFileLocations config;
  config.SetInterval(5000);
  config.SetSoundRandom(-32);
  config.TextFont().SetColor(0x00FFFF);
  config.TextFont().SetHeight(-32);
  config.TextFont().SetStyle(fsItalic);
  config.SetText(std::string(256, 'a'));
  config.SetTitle("Caf\xC3\xA9");
  config.SetSndFileNamesCommaList("\"Main Theme.mp3\",intro.mid");
  const auto bytes = WriteComponentStream(config);
  const std::string text(bytes.begin(), bytes.end());
  EXPECT_NE(text.find(std::string("\x08Interval\x03\x88\x13", 12)), std::string::npos);
  EXPECT_NE(text.find(std::string("\x0bSoundRandom\x02\xe0", 14)), std::string::npos);
  EXPECT_NE(text.find("\x0eTextFont.Color\x07\x08" "clYellow"), std::string::npos);
  EXPECT_NE(text.find(std::string("\x04Text\x0c\x00\x01\x00\x00", 10)), std::string::npos);
  EXPECT_NE(text.find(std::string("\x05Title\x14\x05\x00\x00\x00", 11)), std::string::npos);
  EXPECT_EQ(text.find("TextFont.Size"), std::string::npos);
  EXPECT_EQ(text.find("Email"), std::string::npos);  // empty texts are not stored
  EXPECT_LT(text.find("lRandomStyle"), text.find("Interval"));  // declaration order
  for (const char* unset : {"PictureFit", "Screens", "PictureFill", "lShuffle"}) {
    EXPECT_EQ(text.find(unset), std::string::npos) << unset;  // at its default: records stay as they were
  }
  config.SetPictureFit(TSSFileLocations::kFitShrink);
  const auto fitted = WriteComponentStream(config);
  EXPECT_EQ(static_cast<TSSFileLocations*>(Read(fitted).get())->PictureFit(), 1);

  auto back = Read(bytes);
  auto* c = static_cast<TSSFileLocations*>(back.get());
  EXPECT_EQ(c->Interval(), 5000);
  EXPECT_EQ(c->SoundRandom(), -32);
  EXPECT_EQ(c->TextFont().Color(), 0x00FFFF);
  EXPECT_EQ(c->TextFont().Style(), fsItalic);
  EXPECT_EQ(c->Text(), config.Text());
  EXPECT_EQ(c->Title(), config.Title());
  EXPECT_EQ(c->GetSndFileName(0), "Main Theme.mp3");
}

TEST(TSSFileLocations, ListAccessorsCheckTheirOwnList) {
  TSSFileLocations c;
  c.SetPicCommaList("2753536,2870824");
  EXPECT_EQ(c.GetPicCount(), 2);
  EXPECT_EQ(c.GetPicOffset(1), 2870824);
  EXPECT_THROW(c.GetPicOffset(2), Error);
  EXPECT_THROW(c.GetPicOffset(-1), Error);
  c.SetSndCommaList("10, 20");
  c.SetSndSizesCommaList("5,abc");
  c.SetSndFileNamesCommaList("a.mid");
  EXPECT_EQ(c.GetSndCount(), 2);
  EXPECT_EQ(c.GetSndSize(1), 0);  // not an integer
  try {
    c.GetSndFileName(1);
    FAIL();
  } catch (const Error& e) {
    EXPECT_STREQ(e.what(), "Index is out of bounds");
  }
}

}  // namespace
}  // namespace slidesaver
