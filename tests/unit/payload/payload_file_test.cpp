#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "base/error.h"
#include "payload/builder.h"
#include "payload/payload.h"
#include "tests/support/scratch_folder.h"
#include "tools/imagegen/imagegen.h"

namespace slidesaver {
namespace {

namespace fs = std::filesystem;

class PayloadFile : public ::testing::Test {
 protected:
  std::string Write(const std::string& name, const std::vector<std::uint8_t>& bytes) {
    return scratch_.Write(name, bytes);
  }
  static std::vector<std::uint8_t> Bytes(const std::string& s) { return {s.begin(), s.end()}; }

  test::ScratchFolder scratch_{"payload_test"};
  fs::path dir_ = scratch_.Path();
};

TEST_F(PayloadFile, LocatesEverythingThroughTheTrailer) {
  const std::vector<std::uint8_t> player(1234, 0x90);
  TSSFileLocations config;
  config.SetTitle("Demo");
  const auto jpeg = EncodeJpeg(MakeTestPattern(32, 24, 3));
  const std::vector<PayloadSound> sounds = {{"a b.mid", std::vector<std::uint8_t>(500, 7)}};
  const auto payload = BuildPayload(1234, {{"one.jpg", jpeg}, {"two.jpg", jpeg}}, sounds, config);
  std::vector<std::uint8_t> file = player;
  file.insert(file.end(), payload.begin(), payload.end());

  InputStream in(file);
  const auto trailer = ReadTrailer(in);
  ASSERT_TRUE(trailer);
  EXPECT_EQ(PayloadStart(in, trailer->payloadSize), 1234);
  EXPECT_EQ(trailer->payloadSize, static_cast<std::int32_t>(payload.size()) - kTrailerSize);
  const auto read = ReadComponentAs<TSSFileLocations>(in, trailer->configOffset);
  EXPECT_EQ(read->Title(), "Demo");
  ASSERT_EQ(read->GetPicCount(), 2);
  EXPECT_EQ(read->GetPicOffset(0), 1234);
  EXPECT_EQ(read->GetPicOffset(1), 1234 + static_cast<std::int32_t>(jpeg.size()) + 77);
  EXPECT_EQ(read->GetSndOffset(0), 1234 + 2 * (static_cast<std::int32_t>(jpeg.size()) + 77));
  EXPECT_EQ(read->GetSndFileName(0), "a b.mid");
  const auto image = ReadComponentAs<TImage>(in, read->GetPicOffset(1));
  EXPECT_EQ(image->Picture().Graphic()->Width(), 32);
  EXPECT_THROW(ReadComponentAs<TImage>(in, trailer->configOffset), Error);

  const std::string target = (dir_ / "copy.mid").string();
  CopyBlock(in, read->GetSndOffset(0), read->GetSndSize(0), target);
  EXPECT_EQ(fs::file_size(target), 500u);
}

TEST_F(PayloadFile, AnotherStreamReadsTheSameOpenFileAtItsOwnPosition) {
  const std::string path = Write("s.bin", Bytes("0123456789"));
  InputStream first = InputStream::OpenFile(path);
  first.Seek(6);
  EXPECT_EQ(first.ReadByte(), '6');
  fs::remove(path);  // both go on reading the file they opened
  InputStream second = first.Another();
  EXPECT_EQ(second.Position(), 0);
  EXPECT_EQ(second.Size(), 10);
  EXPECT_EQ(second.ReadBytes(3), Bytes("012"));
  EXPECT_EQ(first.ReadByte(), '7');
}

TEST_F(PayloadFile, TrailerFieldsOfShortAndPaddedFiles) {
  const auto tinyFile = Bytes("short");
  InputStream tiny(tinyFile);
  EXPECT_FALSE(ReadTrailer(tiny));
  const auto paddedFile =
      Bytes(std::string(10, 'x') + " \t$10\t              " + "12" + std::string(1, '\0') + "garbage..........");
  InputStream padded(paddedFile);
  ASSERT_TRUE(ReadTrailer(padded));
  EXPECT_EQ(ReadTrailer(padded)->payloadSize, 16);
  EXPECT_EQ(ReadTrailer(padded)->configOffset, 12);
  // A trailer of spaces: payload start on the trailer itself, no signature there.
  const auto blankFile = Bytes(std::string(100, 'p') + std::string(40, ' '));
  InputStream blank(blankFile);
  try {
    ReadComponentAt(blank, PayloadStart(blank, ReadTrailer(blank)->payloadSize));
    FAIL();
  } catch (const Error& e) {
    EXPECT_STREQ(e.what(), "Invalid stream format");
  }
}

TEST_F(PayloadFile, BadOffsetsAndSizesFailWithoutTouchingFiles) {
  const auto file = Bytes("TPF0" + std::string(100, 'z'));
  InputStream in(file);
  EXPECT_THROW(ReadComponentAt(in, -1), Error);
  const std::string target = (dir_ / "s.wav").string();
  EXPECT_THROW(CopyBlock(in, -5, 10, target), Error);
  EXPECT_THROW(CopyBlock(in, 0, -1, target), Error);
  EXPECT_THROW(CopyBlock(in, 50, 1000, target), Error);
  EXPECT_FALSE(fs::exists(target));
  CopyBlock(in, 0, 0, target);
  EXPECT_EQ(fs::file_size(target), 0u);

  // Nothing planted at the target, a file or a link, is ever written through.
  const std::string victim = Write("victim", Bytes("keep me"));
  EXPECT_THROW(CopyBlock(in, 0, 4, victim), Error);
  const std::string link = (dir_ / "link.wav").string();
  std::error_code noLinks;  // not every system lets a user make links
  fs::create_symlink(victim, link, noLinks);
  if (!noLinks) {
    EXPECT_THROW(CopyBlock(in, 0, 4, link), Error);
  }
  std::ifstream check(victim);
  std::string content;
  std::getline(check, content);
  EXPECT_EQ(content, "keep me");
}

TEST_F(PayloadFile, BuilderRefusesWhatItCannotStore) {
  TSSFileLocations config;
  for (const std::string name : {"", ".", "..", "dir/x.mid", "a\\b.mid", "bell\a.mid"}) {
    EXPECT_THROW(BuildPayload(10, {}, {{name, {1}}}, config), Error) << name;
  }
  EXPECT_THROW(BuildPayload(2147483647LL - 50, {}, {{"x.mid", std::vector<std::uint8_t>(20)}}, config), Error);
  EXPECT_TRUE(IsPlainFileName("Main Theme, part 2.mp3"));
}

}  // namespace
}  // namespace slidesaver
