// Drives the real slidesaver-pack binary: build, then inspect.

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "graphics/jpeg.h"
#include "tests/support/scratch_folder.h"
#include "tools/imagegen/imagegen.h"

namespace slidesaver {
namespace {

namespace fs = std::filesystem;
const std::string kPack = std::string(SLIDESAVER_BUILD_DIR) + "/tools/slidesaver-pack";
constexpr std::array<std::uint8_t, 2> kSof0 = {0xFF, 0xC0};

struct Result {
  int status;
  std::string out;
};

Result Shell(const std::string& command) {
  Result r{-1, {}};
  FILE* p = ::popen((command + " 2>&1").c_str(), "r");
  if (p == nullptr) return r;
  std::array<char, 4096> buf;
  for (std::size_t n; (n = std::fread(buf.data(), 1, buf.size(), p)) > 0;) r.out.append(buf.data(), n);
  const int status = ::pclose(p);
  r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return r;
}

class PackTool : public ::testing::Test {
 protected:
  std::string Put(const std::string& name, const std::vector<std::uint8_t>& bytes) {
    return scratch_.Write(name, bytes);
  }
  std::string Path(const std::string& name) const { return scratch_.Path(name); }

  test::ScratchFolder scratch_{"pack_test"};
};

// Two pictures of 49,923 and 39,923 JPEG bytes, a 300,000-byte sound and a
// 600-byte configuration behind a 1,000,000-byte player.
TEST_F(PackTool, BuildsTheWorkedExampleLayout) {
  const std::string player = Put("player", std::vector<std::uint8_t>(1000000, 0xCC));
  const std::string a = Put("a.jpg", PadJpegTo(EncodeJpeg(MakeDemoPicture(0, 320, 200)), 49923));
  const std::string b = Put("b.jpg", PadJpegTo(EncodeJpeg(MakeDemoPicture(1, 200, 320)), 39923));
  const std::string s = Put("theme.wav", std::vector<std::uint8_t>(300000, 0x11));
  const auto build = [&](const std::string& text) {
    return Shell(kPack + " build --player " + player + " --out " + Path("saver.scr") + " --picture " + a +
               " --picture " + b + " --sound " + s + " --title Demo --text '" + text + "'");
  };
  // The caption's length tunes the configuration stream to 600 bytes.
  ASSERT_EQ(build("x").status, 0);
  const auto firstSize = static_cast<std::int64_t>(fs::file_size(Path("saver.scr")));
  const std::int64_t padding = 1390640 - firstSize;
  ASSERT_GE(padding, 0);
  ASSERT_EQ(build(std::string(1 + static_cast<std::size_t>(padding), 'x')).status, 0);
  ASSERT_EQ(fs::file_size(Path("saver.scr")), 1390640u);

  std::ifstream in(Path("saver.scr"), std::ios::binary);
  in.seekg(1390600);
  std::string trailer(40, '\0');
  in.read(trailer.data(), 40);
  EXPECT_EQ(trailer, "390600" + std::string(14, ' ') + "1390000" + std::string(13, ' '));
  for (const std::int64_t at : {1000000, 1050000, 1390000}) {
    std::string sig(4, '\0');
    in.seekg(at);
    in.read(sig.data(), 4);
    EXPECT_EQ(sig, "TPF0") << at;
  }

  const Result inspect = Shell(kPack + " inspect " + Path("saver.scr"));
  ASSERT_EQ(inspect.status, 0) << inspect.out;
  const auto json = nlohmann::json::parse(inspect.out);
  EXPECT_EQ(json["payload_size"], 390600);
  EXPECT_EQ(json["config_offset"], 1390000);
  EXPECT_EQ(json["payload_start"], 1000000);
  EXPECT_EQ(json["config"]["PicCommaList"], "1000000,1050000");
  EXPECT_EQ(json["config"]["SndCommaList"], "1090000");
  EXPECT_EQ(json["config"]["SndSizesCommaList"], "300000");
  EXPECT_EQ(json["config"]["Title"], "Demo");
  EXPECT_EQ(json["config"]["PictureFit"], 0);  // as authored, and not in the stream
  EXPECT_EQ(json["config"]["Screens"], 0);  // primary, and not in the stream either
  EXPECT_EQ(json["pictures"][0], (nlohmann::json{{"offset", 1000000}, {"width", 320}, {"height", 200}, {"jpeg_bytes", 49923}}));
  EXPECT_EQ(json["pictures"][1], (nlohmann::json{{"offset", 1050000}, {"width", 200}, {"height", 320}, {"jpeg_bytes", 39923}}));
  EXPECT_EQ(json["sounds"][0], (nlohmann::json{{"offset", 1090000}, {"size", 300000}, {"name", "theme.wav"}}));
}

TEST_F(PackTool, StoresOptionsAndRefusesWhatItCannotStore) {
  const std::string player = Put("player", std::vector<std::uint8_t>(100, 1));
  const std::string a = Put("pic one.jpg", EncodeJpeg(MakeTestPattern(40, 30, 2)));
  const std::string snd = Put("Main, Theme.mid", {1, 2, 3});
  Result r = Shell(kPack + " build --player " + player + " --out " + Path("s.scr") + " --picture '" + a +
                 "' --sound '" + snd + "' --font-color clYellow --font-height -32 --font-name Arial"
                 " --interval 7000 --random-pic --random-style --clear-old --sound-order 3 --mute"
                 " --email me@example.org --web https://example.org --author 'Ann \xC3\x89'"
                 " --fit scale --screens every --fill blur --shuffle");
  ASSERT_EQ(r.status, 0) << r.out;
  r = Shell(kPack + " inspect " + Path("s.scr"));
  ASSERT_EQ(r.status, 0) << r.out;
  const auto c = nlohmann::json::parse(r.out)["config"];
  EXPECT_EQ(c["TextFont"]["Color"], 65535);
  EXPECT_EQ(c["TextFont"]["Size"], 24);
  EXPECT_EQ(c["TextFont"]["Name"], "Arial");
  EXPECT_EQ(c["Interval"], 7000);
  EXPECT_EQ(c["SoundRandom"], 3);
  EXPECT_TRUE(c["lRandomPic"] && c["lRandomStyle"] && c["lClearOldImage"] && c["lMute"]);
  EXPECT_FALSE(c["lSoundLoop"]);
  EXPECT_EQ(c["Author"], "Ann \xC3\x89");
  EXPECT_EQ(c["PicFileNamesCommaList"], "\"pic one.jpg\"");
  EXPECT_EQ(c["SndFileNamesCommaList"], "\"Main, Theme.mid\"");
  EXPECT_EQ(c["PictureFit"], 2);
  EXPECT_EQ(c["Screens"], 1);
  EXPECT_EQ(c["PictureFill"], 1);
  EXPECT_EQ(c["lShuffle"], true);

  const std::string notJpeg = Put("fake.jpg", {'G', 'I', 'F', '8', '9', 'a'});
  r = Shell(kPack + " build --player " + player + " --out " + Path("bad.scr") + " --picture " + notJpeg);
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find("fake.jpg\": gifload"), std::string::npos) << r.out;  // what it claims to be
  EXPECT_FALSE(fs::exists(Path("bad.scr")));
  r = Shell(kPack + " build --player " + player + " --out " + Path("bad.scr") + " --picture " + a +
          " --sound " + Path("."));
  EXPECT_NE(r.status, 0);
  EXPECT_FALSE(fs::exists(Path("bad.scr")));
  r = Shell(kPack + " build --player " + player + " --out " + Path("bad.scr") + " --picture '" + a +
          "' --fit stretch");
  EXPECT_NE(r.out.find("--fit takes as-authored, shrink or scale"), std::string::npos) << r.out;
  r = Shell(kPack + " build --player " + player + " --out " + Path("bad.scr") + " --picture '" + a +
          "' --screens both");
  EXPECT_NE(r.out.find("--screens takes primary or every, not \"both\""), std::string::npos) << r.out;
  EXPECT_FALSE(fs::exists(Path("bad.scr")));
}

// A small JPEG whose SOF0 header is patched to promise another size.
std::vector<std::uint8_t> JpegClaiming(std::int64_t width, std::int64_t height) {
  std::vector<std::uint8_t> jpeg = EncodeJpeg(MakeTestPattern(8, 8, 0));
  const auto sof = std::search(jpeg.begin(), jpeg.end(), kSof0.begin(), kSof0.end());
  EXPECT_LT(sof + 9, jpeg.end());
  const std::uint8_t size[] = {std::uint8_t(height >> 8), std::uint8_t(height), std::uint8_t(width >> 8),
                               std::uint8_t(width)};
  std::copy(std::begin(size), std::end(size), sof + 5);
  return jpeg;
}

TEST_F(PackTool, CaptionsComeFromThePhotosOrFromAFileOneLineEach) {
  const std::string player = Put("player", std::vector<std::uint8_t>(100, 1));
  // A JPEG whose XMP title holds a comma and quotes, which the comma list must carry.
  std::vector<std::uint8_t> titled = EncodeJpeg(MakeTestPattern(40, 30, 2));
  const std::string xmp = std::string("http://ns.adobe.com/xap/1.0/") + '\0' +
                          "<dc:title>Harbour, \"calm\"</dc:title>";
  const std::uint8_t length[] = {0xFF, 0xE1, std::uint8_t((xmp.size() + 2) >> 8), std::uint8_t(xmp.size() + 2)};
  titled.insert(titled.begin() + 2, xmp.begin(), xmp.end());
  titled.insert(titled.begin() + 2, std::begin(length), std::end(length));
  fs::create_directory(Path("Norway"));
  Put("Norway/a.jpg", titled);
  Put("Norway/b.jpg", EncodeJpeg(MakeTestPattern(40, 30, 3)));
  const std::string build = kPack + " build --player " + player + " --out " + Path("s.scr") +
                            " --picture " + Path("Norway");
  Result r = Shell(build + " --caption '{title} - {name} ({folder})'");
  ASSERT_EQ(r.status, 0) << r.out;
  auto c = nlohmann::json::parse(Shell(kPack + " inspect " + Path("s.scr")).out)["config"];
  EXPECT_EQ(c["DescriptCommaList"], "\"Harbour, \"\"calm\"\" - a (Norway)\",\"b (Norway)\"");
  EXPECT_EQ(c["lPictureCaptions"], true);
  EXPECT_EQ(c["TextFont"]["Color"], 16777215);  // white, not the record's black
  Put("lines.txt", {'O', 'n', 'e', '\r', '\n', '\n'});
  r = Shell(build + " --caption-file " + Path("lines.txt"));
  ASSERT_EQ(r.status, 0) << r.out;
  c = nlohmann::json::parse(Shell(kPack + " inspect " + Path("s.scr")).out)["config"];
  EXPECT_EQ(c["DescriptCommaList"], "One,");
  Put("lines.txt", {'O', 'n', 'e'});
  r = Shell(build + " --caption-file " + Path("lines.txt"));
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find("has 1 lines for 2 pictures"), std::string::npos) << r.out;
  r = Shell(build + " --caption-file " + Path("lines.txt") + " --caption x");
  EXPECT_EQ(r.status, 2);
  r = Shell(build + " --caption '{when}'");
  EXPECT_NE(r.out.find("unknown placeholder {when}"), std::string::npos) << r.out;
}

TEST_F(PackTool, RefusesWhatThePlayerWouldNotShow) {
  const std::string player = Put("player", std::vector<std::uint8_t>(100, 1));
  const std::int64_t side = kMaxJpegSide;
  const std::int64_t fullRows = kMaxJpegPixels / side;
  struct Case {
    std::int64_t width, height;
    const char* interval;
    bool refused;
  };
  const Case cases[] = {
      {side, fullRows, "0", false},      {8, 8, "-1", true},
      {side + 1, 1, "5000", true},       {1, side + 1, "5000", true},
      {side, fullRows + 1, "5000", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.width) + " x " + std::to_string(c.height) + ", " + c.interval);
    const std::string picture = Put("p.jpg", JpegClaiming(c.width, c.height));
    const std::string message =
        c.width == 8 ? "--interval takes milliseconds"
                     : "\"" + picture + "\" is " + std::to_string(c.width) + " x " + std::to_string(c.height) +
                           " pixels; the player shows pictures of at most " + std::to_string(kMaxJpegPixels) +
                           " pixels (and " + std::to_string(kMaxJpegSide) + " on a side)\n";
    fs::remove(Path("s.scr"));
    const Result r = Shell(kPack + " build --player " + player + " --out " + Path("s.scr") +
                           " --picture " + picture + " --interval " + c.interval);
    EXPECT_EQ(r.status != 0, c.refused) << r.out;
    EXPECT_EQ(r.out.find(message) != std::string::npos, c.refused) << r.out;
    EXPECT_EQ(fs::exists(Path("s.scr")), !c.refused);
  }
}

TEST_F(PackTool, WithoutPlayerTakesTheOneInstalledBesideIt) {
  const std::string picture = Put("a.jpg", EncodeJpeg(MakeDemoPicture(0, 32, 24)));
  fs::create_directory(Path("bin"));
  fs::copy_file(kPack, Path("bin/slidesaver-pack"));
  const auto build = [&] {
    return Shell(Path("bin/slidesaver-pack") + " build --out " + Path("s.scr") + " --picture " +
                 picture);
  };
  const Result none = build();  // nothing beside it, no build tree around it
  EXPECT_EQ(none.status, 2);
  EXPECT_NE(none.out.find("build needs --player"), std::string::npos) << none.out;
  EXPECT_FALSE(fs::exists(Path("s.scr")));

  const std::string player = scratch_.Write("bin/slidesaver", std::string(1000, 'P'));
  fs::permissions(player, fs::perms::owner_all);
  const Result beside = build();
  ASSERT_EQ(beside.status, 0) << beside.out;
  EXPECT_NE(beside.out.find("the player is " + player), std::string::npos) << beside.out;
  std::ifstream saver(Path("s.scr"), std::ios::binary);
  std::string front(1000, '\0');
  saver.read(front.data(), 1000);
  EXPECT_EQ(front, std::string(1000, 'P'));
}

TEST_F(PackTool, InspectReportsTheReadersMessage) {
  const std::string plain = Put("plain", std::vector<std::uint8_t>(200, 'z'));
  Result r = Shell(kPack + " inspect " + plain);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "Invalid stream format\n");
  r = Shell(kPack + " inspect " + Put("tiny", {1, 2}));
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "Stream read error\n");
}

}  // namespace
}  // namespace slidesaver
