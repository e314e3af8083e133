// The command lines of the real slidesaver-pack and slidesaver-render binaries: --help anywhere,
// options of another command, range checks, the names sounds are stored under, the caption's
// colour and the folders --out-dir makes.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "graphics/jpeg.h"
#include "tests/support/scratch_folder.h"
#include "tools/imagegen/imagegen.h"

namespace slidesaver {
namespace {

namespace fs = std::filesystem;

const std::string kTools = std::string(SLIDESAVER_BUILD_DIR) + "/tools/";

struct Outcome {
  int status = -1;
  std::string out, err;
};

Outcome Shell(const std::string& command, const std::string& errFile) {
  Outcome r;
  FILE* p = ::popen((command + " 2>" + errFile).c_str(), "r");
  if (p == nullptr) return r;
  std::array<char, 4096> buf;
  for (std::size_t n; (n = std::fread(buf.data(), 1, buf.size(), p)) > 0;) r.out.append(buf.data(), n);
  const int status = ::pclose(p);
  r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  r.err = test::ScratchFolder::Read(errFile);
  return r;
}

std::string Expand(std::string text, const std::string& dir) {
  const std::string build = "build --player {dir}/player --out {dir}/s.scr --picture {dir}/a.jpg";
  for (std::size_t at; (at = text.find("{build}")) != std::string::npos;) text.replace(at, 7, build);
  for (std::size_t at; (at = text.find("{dir}")) != std::string::npos;) text.replace(at, 5, dir);
  return text;
}

TEST(CommandLine, EachCommandOfBothTools) {
  const test::ScratchFolder scratch("command_line_test");
  const std::string dir = scratch.Path();
  scratch.Write("player", std::string(100, 'P'));
  scratch.Write("a.jpg", EncodeJpeg(MakeDemoPicture(0, 32, 24)));
  fs::create_directories(dir + "/a");
  fs::create_directories(dir + "/b");
  for (const char* sound : {"a/theme.mid", "b/Theme.MID", "b/theme.mid.", "odd=name.mid"}) {
    scratch.Write(sound, std::string(10, 'M'));
  }
  const std::string ppm = "P6\n4 3\n255\n";
  scratch.Write("old.ppm", ppm + std::string(36, '\x20'));
  scratch.Write("new.ppm", ppm + std::string(36, '\xC0'));
  const std::string pictures = "--old {dir}/old.ppm --new {dir}/new.ppm";

  const struct Case {
    const char* tool;
    std::string args;  // {dir}: the scratch folder; {build}: build with a player, --out, --picture
    int status;
    std::string out;     // what stdout starts with
    std::string err;     // what stderr starts with; empty: stderr is empty
    std::string then;    // "inspect:/json/pointer=JSON" on {dir}/s.scr, "exists:PATH" in {dir},
                         // "has:TEXT" and "lacks:TEXT" on stdout
  } cases[] = {
      // --help (or -h) anywhere: the command's usage, or all of them, on stdout.
      {"pack", "--help", 0, "usage: slidesaver-pack build [", "", "has:slidesaver-pack inspect FILE"},
      {"pack", "-h", 0, "usage: slidesaver-pack build [", "", "has:--sound PATH=NAME stores"},
      {"pack", "build --help", 0, "usage: slidesaver-pack build [", "", "lacks:inspect FILE"},
      {"pack", "build --out x --help", 0, "usage: slidesaver-pack build [", "", "has:clWhite"},
      {"pack", "build --title --help", 0, "usage: slidesaver-pack build [", "", "lacks:inspect FILE"},
      {"pack", "inspect --help", 0, "usage: slidesaver-pack inspect FILE\n", "", "lacks:build"},
      {"pack", "--help inspect", 0, "usage: slidesaver-pack inspect FILE\n", "", "lacks:build"},
      {"pack", "nonsense -h", 0, "usage: slidesaver-pack build [", "", "has:inspect FILE"},
      {"render", "--help", 0, "usage: slidesaver-render frame ", "", "has:slidesaver-render gallery "},
      {"render", "frame --help", 0, "usage: slidesaver-render frame ", "", "lacks:slidesaver-render transition"},
      {"render", "transition --old a -h", 0, "usage: slidesaver-render transition ", "",
       "has:with its missing parent folders"},
      {"render", "gallery --out-dir d --help", 0, "usage: slidesaver-render gallery ", "",
       "lacks:slidesaver-render frame"},
      // Another command's option: one line naming it and the command.
      {"pack", "inspect --out {dir}/s.scr", 2, "", "slidesaver-pack: --out is not an option of inspect\n"
       "usage: slidesaver-pack inspect FILE\n", ""},
      {"pack", "inspect {dir}/s.scr --recursive", 2, "",
       "slidesaver-pack: --recursive is not an option of inspect\n", ""},
      {"render", "frame " + pictures + " --style 1 --progress 5 --out-dir {dir}/f", 2, "",
       "slidesaver-render: --out-dir is not an option of frame\n", ""},
      {"render", "frame --reverse", 2, "", "slidesaver-render: --reverse is not an option of frame\n", ""},
      {"render", "transition " + pictures + " --style 1 --progress 5 --out-dir {dir}/t", 2, "",
       "slidesaver-render: --progress is not an option of transition\n", ""},
      {"render", "transition --out {dir}/t.png", 2, "",
       "slidesaver-render: --out is not an option of transition\n", ""},
      {"render", "gallery --style 3", 2, "", "slidesaver-render: --style is not an option of gallery\n", ""},
      {"render", "gallery --bogus 3", 2, "", "slidesaver-render: unexpected argument \"--bogus\"\n", ""},
      // Ranges: one line naming the option.
      {"pack", "{build} --sound-order 0", 2, "", "slidesaver-pack: --sound-order takes 1 to 3, not 0\n", ""},
      {"pack", "{build} --sound-order 4", 2, "", "slidesaver-pack: --sound-order takes 1 to 3, not 4\n", ""},
      {"pack", "{build} --sound-order 3", 0, "", "", "inspect:/config/SoundRandom=3"},
      {"pack", "{build} --font-height 0", 2, "", "slidesaver-pack: --font-height takes -2048 to -1", ""},
      {"pack", "{build} --font-height 2049", 2, "", "slidesaver-pack: --font-height takes", ""},
      {"pack", "{build} --font-height -2049", 2, "", "slidesaver-pack: --font-height takes", ""},
      {"pack", "{build} --font-height -2048", 0, "", "", "inspect:/config/TextFont/Height=-2048"},
      {"pack", "{build} --font-height 2048", 0, "", "", "inspect:/config/TextFont/Height=2048"},
      {"pack", "{build} --fill grey", 2, "", "slidesaver-pack: --fill takes black or blur, not \"grey\"\n", ""},
      {"pack", "{build}", 0, "", "", "inspect:/config/PictureFill=0"},
      {"pack", "{build}", 0, "", "", "inspect:/config/lShuffle=false"},
      // The names sounds are stored under.
      {"pack", "{build} --sound {dir}/a/theme.mid --sound {dir}/b/Theme.MID", 2, "",
       "slidesaver-pack: --sound \"{dir}/a/theme.mid\" and \"{dir}/b/Theme.MID\" would be stored as "
       "\"theme.mid\" and \"Theme.MID\", one file on Windows; store one under another name with "
       "--sound PATH=NAME\n", ""},
      {"pack", "{build} --sound {dir}/a/theme.mid --sound '{dir}/b/theme.mid.'", 2, "",
       "slidesaver-pack: --sound \"{dir}/a/theme.mid\" and \"{dir}/b/theme.mid.\" would be stored", ""},
      {"pack", "{build} --sound {dir}/a/theme.mid --sound {dir}/a/theme.mid", 2, "",
       "slidesaver-pack: --sound \"{dir}/a/theme.mid\" and \"{dir}/a/theme.mid\" would both be "
       "stored as \"theme.mid\";", ""},
      {"pack", "{build} --sound {dir}/a/theme.mid --sound {dir}/b/Theme.MID=intro.mid", 0, "", "",
       "inspect:/config/SndFileNamesCommaList=\"theme.mid,intro.mid\""},
      {"pack", "{build} --sound {dir}/a/theme.mid=a=b.mid", 1, "",
       "slidesaver-pack: Cannot read \"{dir}/a/theme.mid=a\"\n", ""},
      {"pack", "{build} --sound {dir}/odd=name.mid", 0, "", "", "inspect:/sounds/0/name=\"odd=name.mid\""},
      {"pack", "{build} --sound {dir}/a/theme.mid=noextension", 1, "",
       "slidesaver-pack: Cannot read \"{dir}/a/theme.mid=noextension\"\n", ""},
      {"pack", "{build} --sound {dir}/a/theme.mid=.mid", 1, "",
       "slidesaver-pack: Cannot read \"{dir}/a/theme.mid=.mid\"\n", ""},
      {"pack", "{build} --sound '{dir}/a/theme.mid=x\\y.mid'", 1, "",
       "slidesaver-pack: The sound name \"theme.mid=x\\y.mid\" is not a plain file name\n", ""},
      // The caption's colour: white with --text alone; untouched without --text.
      {"pack", "{build} --text Hi", 0, "", "", "inspect:/config/TextFont/Color=16777215"},
      {"pack", "{build} --text Hi --font-color clYellow", 0, "", "", "inspect:/config/TextFont/Color=65535"},
      {"pack", "{build}", 0, "", "", "inspect:/config/TextFont/Color=2147483656"},
      // --out-dir with all its missing parents.
      {"render", "transition " + pictures + " --style 1 --step 50 --out-dir {dir}/deep/er/frames", 0, "",
       "", "exists:deep/er/frames/frame-001.png"},
      {"render", "gallery " + pictures + " --size 4x3 --out-dir {dir}/g/a/l", 0, "", "",
       "exists:g/a/l/contact-sheet.png"},
      {"render", "transition " + pictures + " --style 1 --out-dir {dir}/old.ppm/x", 2, "",
       "slidesaver-render: Cannot create {dir}/old.ppm/x: ", ""},
  };
  for (const Case& c : cases) {
    const std::string tool = kTools + (c.tool == std::string("pack") ? "slidesaver-pack" : "slidesaver-render");
    const std::string args = Expand(c.args, dir);
    SCOPED_TRACE(std::string(c.tool) + " " + args);
    fs::remove(dir + "/s.scr");
    const Outcome r = Shell(tool + " " + args, dir + "/stderr.txt");
    EXPECT_EQ(r.status, c.status) << r.err;
    EXPECT_EQ(r.out.rfind(c.out, 0), 0u) << r.out;
    const std::string err = Expand(c.err, dir);
    if (err.empty()) {
      EXPECT_EQ(r.err, "");
    }
    EXPECT_EQ(r.err.rfind(err, 0), 0u) << r.err;
    if (c.tool == std::string("render")) {
      EXPECT_LE(std::count(r.err.begin(), r.err.end(), '\n'), 1);
    }
    if (c.status != 0 && c.args.find("{build}") != std::string::npos) {
      EXPECT_FALSE(fs::exists(dir + "/s.scr"));
    }

    const std::string then = Expand(c.then, dir);
    const auto colon = then.find(':');
    const std::string kind = then.substr(0, colon), what = then.substr(colon + 1);
    if (kind == "has") {
      EXPECT_NE(r.out.find(what), std::string::npos) << what;
    }
    if (kind == "lacks") {
      EXPECT_EQ(r.out.find(what), std::string::npos) << what;
    }
    if (kind == "exists") {
      EXPECT_TRUE(fs::exists(dir + "/" + what)) << what;
    }
    if (kind == "inspect") {
      const Outcome inspect = Shell(kTools + "slidesaver-pack inspect " + dir + "/s.scr", dir + "/stderr.txt");
      ASSERT_EQ(inspect.status, 0) << inspect.err;
      const auto equals = what.find('=');
      const nlohmann::json::json_pointer pointer(what.substr(0, equals));
      EXPECT_EQ(nlohmann::json::parse(inspect.out).at(pointer), nlohmann::json::parse(what.substr(equals + 1)));
    }
  }
}

}  // namespace
}  // namespace slidesaver
