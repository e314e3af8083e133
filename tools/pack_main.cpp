// slidesaver-pack: builds a screen saver (player + payload) and inspects one.

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <iostream>
#include <iterator>
#include <optional>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/error.h"
#include "graphics/jpeg.h"
#include "payload/builder.h"
#include "payload/config.h"
#include "payload/graphics.h"
#include "payload/inttext.h"
#include "payload/payload.h"
#include "system/console.h"
#include "system/file_io.h"
#include "system/files.h"
#include "system/replacement_file.h"
#include "tools/caption_template.h"
#include "tools/commands.h"
#include "tools/install.h"
#include "tools/pe_title.h"
#include "tools/photos.h"

namespace slidesaver {
namespace {

namespace fs = std::filesystem;

// The usage of each command: its synopsis (after "slidesaver-pack "; continuation lines
// indented to line up under "usage: ") and the notes that explain it. The general usage puts all
// synopses first and then all notes; a command's --help shows its own.
struct CommandUsage {
  std::string synopsis;
  std::string notes;
};

const CommandUsage kBuildUsage = {
    "build [--player PLAYER] --out FILE --picture A.jpg [--picture B.jpg ...]\n"
    "           [--sound S.mid ...] [--sound PATH=NAME ...] [--title T] [--author A] [--email E]\n"
    "           [--web W] [--text CAPTION] [--font-name N] [--font-height H] [--font-color C]\n"
    "           [--interval MS] [--random-pic] [--random-style] [--clear-old] [--sound-order N]\n"
    "           [--mute] [--fit as-authored|shrink|scale] [--screens primary|every]\n"
    "           [--fill black|blur] [--shuffle] [--caption TEMPLATE | --caption-file FILE]\n"
    "           [--recursive] [--max-size WxH] [--quality Q]\n",
    "Without --player, the slidesaver installed beside slidesaver-pack is used, else the one of\n"
    "its build tree.\n"
    "Defaults: --interval 5000, --sound-order 1, caption font MS Sans Serif 8 pt (--font-height\n"
    "-11), --fit as-authored (pictures centred unscaled; shrink: larger ones shrunk to the screen;\n"
    "scale: every one scaled to the screen; the aspect is always kept), --screens primary (the\n"
    "show on the primary monitor, the others black; every: a show of its own on each monitor),\n"
    "--fill black (around a picture that leaves part of the screen empty; blur: the same picture\n"
    "covering the screen, blurred and darkened).\n"
    "--shuffle shows every picture once, in a random order, before any comes again, and the next\n"
    "run goes on where the last one stopped (kept per user; it comes before --random-pic).\n"
    "--caption draws each picture's own text on it, in the caption font, from a template of\n"
    "{date} (taken, as 7 December 2026), {date:FORMAT} (strftime), {title}, {description},\n"
    "{name} (file name without extension) and {folder}: \"{title} · {date}\". A picture whose\n"
    "placeholders are all empty has none; the text between two goes with an empty one.\n"
    "--caption-file takes the texts from a file instead, one line per picture in show order.\n"
    "--interval is in milliseconds; 0 shows no further picture. --sound-order takes 1 (list\n"
    "order), 2 (a random track each time) or 3 (one random track repeated).\n"
    "--text without --font-color draws the caption in clWhite. --font-height takes -2048 to -1\n"
    "(the character height in pixels: -32 is 24 pt) or 1 to 2048 (the cell height in pixels).\n"
    "--sound stores a sound under its file name; --sound PATH=NAME stores PATH under NAME. An\n"
    "argument that names an existing file is always a path; any other splits at its last '='\n"
    "when what follows is a plain file name with an extension. No two sounds may be stored under\n"
    "names that differ only in ASCII letter case or trailing dots and spaces (Windows).\n"
    "--picture takes a file or a folder (its pictures in name order; --recursive: its subfolders\n"
    "too) in JPEG, PNG, WebP, HEIF/AVIF, TIFF, GIF or BMP. Pictures are turned upright; an upright\n"
    "JPEG is stored as it is, anything else as a JPEG of --quality (default 90). --max-size\n"
    "shrinks larger pictures to fit. The player shows pictures of at most " +
        std::to_string(kMaxJpegPixels) + " pixels and\n" + std::to_string(kMaxJpegSide) +
        " pixels on a side.\n"};

const CommandUsage kInstallUsage = {
    "install FILE [--for xscreensaver|xsecurelock|xss-lock|sway|windows] [--only]\n",
    "install copies the saver to $XDG_DATA_HOME/slidesaver/ (~/.local/share/slidesaver/) and\n"
    "registers it with the daemon named, else the one found running or installed; --only makes\n"
    "it XScreenSaver's one saver. On Windows it copies the saver to %LOCALAPPDATA%\\Slidesaver\\\n"
    "and names it in SCRNSAVE.EXE under HKCU\\Control Panel\\Desktop. Each step is printed.\n"};

const CommandUsage kUninstallUsage = {
    "uninstall FILE [--for xscreensaver|xsecurelock|xss-lock|sway|windows]\n",
    "uninstall takes back what install added, and nothing else.\n"};

const CommandUsage kInspectUsage = {
    "inspect FILE\n",
    "inspect prints the payload of FILE as one JSON object on standard output.\n"};

struct UsageError : Error {
  using Error::Error;
};

std::vector<std::uint8_t> ReadWholeFile(const std::string& path) {
  bool missing = false;
  const auto file = ReadableFile::TryOpen(path, missing);
  if (!file) throw Error("Cannot read \"" + path + "\"");
  if (file->Size() > 2147483647) {
    throw Error("\"" + path + "\" is larger than 2147483647 bytes; a screen saver cannot hold it");
  }
  auto bytes = ReadAll(*file);
  if (!bytes) throw Error("Cannot read \"" + path + "\"");
  return std::move(*bytes);
}

std::int32_t IntArgument(const std::string& option, const std::string& value) {
  const auto v = StrToIntStrict(value);
  if (!v) throw UsageError(option + " takes an integer, not \"" + value + "\"");
  return *v;
}

// Writes head and tail to a new file beside the target, then renames it over
// the target, so that a failed build never leaves half a screen saver.
void WriteFileAtomically(const std::string& path, const std::vector<std::uint8_t>& head,
                         const std::vector<std::uint8_t>& tail) {
  ReplacementFile file;
  const auto text = [](const std::vector<std::uint8_t>& bytes) {
    return std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  };
  if (!file.Create(path, 0755) || !file.Write(text(head)) || !file.Write(text(tail)) ||
      !file.Commit(false)) {
    throw Error("Cannot write \"" + path + "\": " + std::strerror(errno));
  }
}

// The player a saver is made of when none is given: the one installed beside this tool, else
// the one of the build tree this tool was built in.
std::string FindPlayer() {
  std::string self;
  try {
    self = OwnExecutablePath();
  } catch (const Error&) {
  }
  if (!self.empty()) {
    // The player is a Windows program where this tool is one.
    const std::string name = self.size() > 4 && (self.ends_with(".exe") || self.ends_with(".EXE"))
                                 ? "slidesaver.exe"
                                 : "slidesaver";
    const fs::path folder = PathOfUtf8(self).parent_path();
    std::error_code error;
    for (const fs::path& candidate : {folder / name, folder.parent_path() / "app" / name}) {
      if (fs::is_regular_file(candidate, error)) return Utf8OfPath(candidate);
    }
  }
  throw UsageError("build needs --player: there is no slidesaver beside " +
                   (self.empty() ? std::string("slidesaver-pack") : self) + " or in its build tree");
}

constexpr std::int32_t kClWhite = 0xFFFFFF;
// The Linux player draws captions of at most 2048 pixels (os/linux/text.cpp); the record's
// heights -2048 and 2048 come out as 2048 and 1536 pixels there.
constexpr std::int32_t kMaxFontHeight = 2048;

// A sound to store: the file it is read from and the name it is stored under.
struct SoundSource {
  std::string path;
  std::string name;
};

bool HasExtension(std::string_view name) {
  const auto dot = name.rfind('.');
  return dot != std::string_view::npos && dot > 0 && dot + 1 < name.size();
}

// --sound PATH or --sound PATH=NAME. An argument that names an existing file is a path, whatever
// it holds; any other splits at its last '=' when what follows is a plain file name with an
// extension, and is a path otherwise.
SoundSource SoundArgument(const std::string& argument) {
  const auto equals = argument.rfind('=');
  std::error_code error;
  if (equals != std::string::npos && !fs::exists(PathOfUtf8(argument), error)) {
    const std::string name = argument.substr(equals + 1);
    if (IsPlainFileName(name) && HasExtension(name)) return {argument.substr(0, equals), name};
  }
  return {argument, FileNamePart(argument)};
}

// What a stored sound name collides with in the player's run folder: Windows drops trailing dots
// and spaces from a file name and ignores letter case (the player passes names to the system's
// byte-string calls, so only ASCII letters fold for certain).
std::string RunFolderKey(std::string name) {
  while (!name.empty() && (name.back() == '.' || name.back() == ' ')) name.pop_back();
  for (char& c : name) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return name;
}

std::vector<SoundSource> SoundSources(const std::vector<std::string>& arguments) {
  std::vector<SoundSource> sources;
  for (const std::string& argument : arguments) {
    SoundSource source = SoundArgument(argument);
    if (!IsPlainFileName(source.name)) {
      throw Error("The sound name \"" + source.name + "\" is not a plain file name");
    }
    for (const SoundSource& earlier : sources) {
      if (RunFolderKey(earlier.name) == RunFolderKey(source.name)) {
        const std::string names =
            earlier.name == source.name
                ? "both be stored as \"" + source.name + "\""
                : "be stored as \"" + earlier.name + "\" and \"" + source.name +
                      "\", one file on Windows";
        throw UsageError("--sound \"" + earlier.path + "\" and \"" + source.path + "\" would " +
                         names + "; store one under another name with --sound PATH=NAME");
      }
    }
    sources.push_back(std::move(source));
  }
  return sources;
}

// The lines of a --caption-file, one per picture: UTF-8 (a byte-order mark and carriage returns
// are dropped); as many lines as pictures, a last line end or none.
std::vector<std::string> CaptionLines(const std::string& path, std::size_t pictures) {
  const std::vector<std::uint8_t> bytes = ReadWholeFile(path);
  std::string text(bytes.begin(), bytes.end());
  if (text.starts_with("\xEF\xBB\xBF")) text.erase(0, 3);
  std::vector<std::string> lines;
  for (std::size_t start = 0; start < text.size();) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(std::move(line));
    start = end + 1;
  }
  if (lines.size() != pictures) {
    throw Error("\"" + path + "\" has " + std::to_string(lines.size()) + " lines for " +
                std::to_string(pictures) + " pictures; --caption-file takes one line per picture");
  }
  return lines;
}

int Build(const std::vector<std::string>& args) {
  std::string player, out;
  std::vector<std::string> pictures, sounds;
  bool recursive = false;
  PhotoOptions photoOptions;
  bool textGiven = false, colorGiven = false;
  std::optional<CaptionTemplate> captionTemplate;
  std::string captionFile;
  TSSFileLocations config;
  config.SetInterval(5000);
  config.SetSoundRandom(1);
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    const auto value = [&]() -> const std::string& {
      if (i + 1 >= args.size()) throw UsageError(a + " needs a value");
      return args[++i];
    };
    if (a == "--player") player = value();
    else if (a == "--out") out = value();
    else if (a == "--picture") pictures.push_back(value());
    else if (a == "--recursive") recursive = true;
    else if (a == "--quality") {
      photoOptions.quality = IntArgument(a, value());
      if (photoOptions.quality < 1 || photoOptions.quality > 100) {
        throw UsageError("--quality takes 1 to 100");
      }
    } else if (a == "--max-size") {
      const std::string& v = value();
      int width = 0, height = 0;
      char x = 0, rest = 0;
      if (std::sscanf(v.c_str(), "%d%c%d%c", &width, &x, &height, &rest) != 3 || x != 'x' ||
          width < 1 || height < 1) {
        throw UsageError("--max-size takes WIDTHxHEIGHT, such as 1920x1080, not \"" + v + "\"");
      }
      photoOptions.maxWidth = width;
      photoOptions.maxHeight = height;
    }
    else if (a == "--sound") sounds.push_back(value());
    else if (a == "--title") config.SetTitle(value());
    else if (a == "--author") config.SetAuthor(value());
    else if (a == "--email") config.SetEmail(value());
    else if (a == "--web") config.SetWeb(value());
    else if (a == "--text") {
      config.SetText(value());
      textGiven = true;
    } else if (a == "--font-name") config.TextFont().SetName(value());
    else if (a == "--font-height") {
      const std::int32_t height = IntArgument(a, value());
      if (height == 0 || height < -kMaxFontHeight || height > kMaxFontHeight) {
        throw UsageError("--font-height takes -" + std::to_string(kMaxFontHeight) +
                         " to -1 (pixels) or 1 to " + std::to_string(kMaxFontHeight) +
                         " (cell pixels), not " + std::to_string(height));
      }
      config.TextFont().SetHeight(height);
    } else if (a == "--font-color") {
      std::int32_t color;
      const std::string& v = value();
      if (!ParseColor(v, color)) throw UsageError("--font-color takes a colour name or a number, not \"" + v + "\"");
      config.TextFont().SetColor(color);
      colorGiven = true;
    } else if (a == "--interval") {
      const std::int32_t interval = IntArgument(a, value());
      if (interval < 0) {
        throw UsageError("--interval takes milliseconds, 0 or more (0: no further picture), not " +
                         std::to_string(interval));
      }
      config.SetInterval(interval);
    } else if (a == "--sound-order") {
      const std::int32_t order = IntArgument(a, value());
      if (order < 1 || order > 3) {
        throw UsageError("--sound-order takes 1 to 3, not " + std::to_string(order));
      }
      config.SetSoundRandom(order);
    }
    else if (a == "--random-pic") config.lRandomPic = true;
    else if (a == "--random-style") config.lRandomStyle = true;
    else if (a == "--clear-old") config.lClearOldImage = true;
    else if (a == "--mute") config.lMute = true;
    else if (a == "--shuffle") config.lShuffle = true;
    else if (a == "--caption") {
      try {
        captionTemplate.emplace(value());
      } catch (const Error& e) {
        throw UsageError(e.what());
      }
    } else if (a == "--caption-file") captionFile = value();
    else if (a == "--fit") {
      const std::string& v = value();
      const std::string_view names[] = {"as-authored", "shrink", "scale"};
      const auto found = std::find(std::begin(names), std::end(names), v);
      if (found == std::end(names)) {
        throw UsageError("--fit takes as-authored, shrink or scale, not \"" + v + "\"");
      }
      config.SetPictureFit(static_cast<std::int32_t>(found - std::begin(names)));
    }
    else if (a == "--screens") {
      const std::string& v = value();
      if (v != "primary" && v != "every") {
        throw UsageError("--screens takes primary or every, not \"" + v + "\"");
      }
      config.SetScreens(v == "every" ? TSSFileLocations::kScreensEvery
                                     : TSSFileLocations::kScreensPrimary);
    }
    else if (a == "--fill") {
      const std::string& v = value();
      if (v != "black" && v != "blur") {
        throw UsageError("--fill takes black or blur, not \"" + v + "\"");
      }
      config.SetPictureFill(v == "blur" ? TSSFileLocations::kFillBlur : TSSFileLocations::kFillBlack);
    }
    else throw UsageError("unknown option \"" + a + "\"");
  }
  if (out.empty() || pictures.empty()) {
    throw UsageError("build needs --out and at least one --picture");
  }
  if (captionTemplate && !captionFile.empty()) {
    throw UsageError("--caption and --caption-file: one or the other");
  }
  config.lPictureCaptions = captionTemplate || !captionFile.empty();
  // A caption in the record's default colour, clWindowText, is black on the black screen.
  // Without a caption the colour stays untouched, so such savers stay as they were.
  if ((textGiven || config.lPictureCaptions) && !colorGiven) config.TextFont().SetColor(kClWhite);
  const std::vector<SoundSource> soundSources = SoundSources(sounds);
  if (player.empty()) {
    player = FindPlayer();
    std::fprintf(stderr, "slidesaver-pack: the player is %s\n", player.c_str());
  }

  std::vector<std::uint8_t> playerBytes = ReadWholeFile(player);
  // A Windows player carries the saver's name for the system's list of screen savers: the
  // title, else the saver's file name. Any other player stays as it is.
  const std::string name = config.Title().empty() ? Utf8OfPath(PathOfUtf8(out).stem()) : config.Title();
  WriteTitleSlot(playerBytes, name, player);
  const std::vector<std::string> files = PhotoFiles(pictures, recursive);
  const bool terminal = StandardErrorIsTerminal();
  const auto progress = [&](std::size_t done, std::size_t bytes) {
    if (terminal) std::fprintf(stderr, "\r%zu of %zu pictures, %zu bytes", done, files.size(), bytes);
  };
  const std::vector<PreparedPhoto> photos = PreparePhotos(files, photoOptions, progress);
  if (terminal) std::fprintf(stderr, "\n");
  std::vector<PayloadPicture> pictureData;
  std::size_t converted = 0;
  for (const PreparedPhoto& photo : photos) {
    converted += photo.converted ? 1 : 0;
    pictureData.push_back({photo.name, photo.jpeg});
  }
  if (captionTemplate) {
    for (std::size_t i = 0; i < photos.size(); ++i) {
      const fs::path source = PathOfUtf8(files[i]);
      config.descriptions.push_back(captionTemplate->Fill(
          {photos[i].metadata, Utf8OfPath(source.stem()), Utf8OfPath(source.parent_path().filename())}));
    }
  } else if (!captionFile.empty()) {
    config.descriptions = CaptionLines(captionFile, photos.size());
  }
  std::vector<PayloadSound> soundData;
  for (const SoundSource& sound : soundSources) {
    soundData.push_back({sound.name, ReadWholeFile(sound.path)});
  }
  const std::vector<std::uint8_t> payload =
      BuildPayload(static_cast<std::int64_t>(playerBytes.size()), pictureData, soundData, config);
  WriteFileAtomically(out, playerBytes, payload);
  std::printf("%s: %zu pictures (%zu kept as they were, %zu converted), %zu sounds, %zu bytes\n",
              out.c_str(), photos.size(), photos.size() - converted, converted, soundData.size(),
              playerBytes.size() + payload.size());
  return 0;
}

nlohmann::ordered_json FontJson(const TFont& font) {
  nlohmann::ordered_json styles = nlohmann::ordered_json::array();
  for (std::size_t i = 0; i < FontStyleNames().size(); ++i) {
    if (font.Style() & (1u << i)) styles.push_back(FontStyleNames()[i]);
  }
  return {{"Name", font.Name()},
          {"Height", font.Height()},
          {"Size", font.Size()},
          {"Color", static_cast<std::uint32_t>(font.Color())},
          {"Charset", font.Charset()},
          {"Pitch", FontPitchNames()[static_cast<std::size_t>(font.Pitch())]},
          {"Style", styles}};
}

int Inspect(const std::string& path) {
  InputStream file = InputStream::OpenFile(path);
  const auto trailer = ReadTrailer(file);
  if (!trailer) throw Error("Stream read error");
  const auto config = ReadComponentAs<TSSFileLocations>(file, trailer->configOffset);

  nlohmann::ordered_json pictures = nlohmann::ordered_json::array();
  for (int i = 0; i < config->GetPicCount(); ++i) {
    const std::int32_t offset = config->GetPicOffset(i);
    const auto image = ReadComponentAs<TImage>(file, offset);
    const auto* jpeg = dynamic_cast<const TJPEGImage*>(image->Picture().Graphic());
    const bool empty = jpeg == nullptr || jpeg->Empty();
    pictures.push_back({{"offset", offset},
                        {"width", empty ? 0 : jpeg->Width()},
                        {"height", empty ? 0 : jpeg->Height()},
                        {"jpeg_bytes", empty ? 0 : jpeg->Data().size()}});
  }
  nlohmann::ordered_json sounds = nlohmann::ordered_json::array();
  for (int i = 0; i < config->GetSndCount(); ++i) {
    sounds.push_back({{"offset", config->GetSndOffset(i)},
                      {"size", config->GetSndSize(i)},
                      {"name", config->GetSndFileName(i)}});
  }
  const nlohmann::ordered_json json = {
      {"payload_size", trailer->payloadSize},
      {"config_offset", trailer->configOffset},
      {"payload_start", PayloadStart(file, trailer->payloadSize)},
      {"config",
       {{"Text", config->Text()},
        {"TextFont", FontJson(config->TextFont())},
        {"lRandomStyle", config->lRandomStyle},
        {"lRandomPic", config->lRandomPic},
        {"lClearOldImage", config->lClearOldImage},
        {"Interval", config->Interval()},
        {"SoundRandom", config->SoundRandom()},
        {"lSoundLoop", config->lSoundLoop},
        {"lMute", config->lMute},
        {"Title", config->Title()},
        {"Author", config->Author()},
        {"Email", config->Email()},
        {"Web", config->Web()},
        {"PicCommaList", config->PicCommaList()},
        {"PicFileNamesCommaList", config->PicFileNamesCommaList()},
        {"SndCommaList", config->SndCommaList()},
        {"SndFileNamesCommaList", config->SndFileNamesCommaList()},
        {"SndSizesCommaList", config->SndSizesCommaList()},
        {"DescriptCommaList", config->DescriptCommaList()},
        {"PictureFit", config->PictureFit()},
        {"Screens", config->Screens()},
        {"PictureFill", config->PictureFill()},
        {"lShuffle", config->lShuffle},
        {"lPictureCaptions", config->lPictureCaptions}}},
      {"pictures", pictures},
      {"sounds", sounds}};
  std::cout << json.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) << "\n";
  return 0;
}

std::string OneLine(std::string text) {
  for (char& c : text) {
    if (c == '\n' || c == '\r') c = ' ';
  }
  return text;
}

// One command of the tool. `options` are all the options it takes (true: followed by a value),
// so that each command can tell another command's option from a mistyped one.
struct Command {
  std::string name;
  std::string synopsis;
  std::string notes;
  std::vector<std::pair<std::string, bool>> options;
  std::function<int(const std::vector<std::string>& args)> run;
};

const std::vector<Command>& Commands() {
  static const std::vector<Command> commands = {
      {"build",
       kBuildUsage.synopsis, kBuildUsage.notes,
       {{"--player", true}, {"--out", true}, {"--picture", true}, {"--recursive", false},
        {"--quality", true}, {"--max-size", true}, {"--sound", true}, {"--title", true},
        {"--author", true}, {"--email", true}, {"--web", true}, {"--text", true},
        {"--font-name", true}, {"--font-height", true}, {"--font-color", true},
        {"--interval", true}, {"--sound-order", true}, {"--random-pic", false},
        {"--random-style", false}, {"--clear-old", false}, {"--mute", false}, {"--fit", true},
        {"--screens", true}, {"--fill", true}, {"--shuffle", false},
        {"--caption", true}, {"--caption-file", true}},
       Build},
      {"install", kInstallUsage.synopsis, kInstallUsage.notes, {{"--for", true}, {"--only", false}},
       [](const std::vector<std::string>& args) { return InstallCommand(args, false); }},
      {"uninstall", kUninstallUsage.synopsis, kUninstallUsage.notes, {{"--for", true}},
       [](const std::vector<std::string>& args) { return InstallCommand(args, true); }},
      {"inspect",
       kInspectUsage.synopsis, kInspectUsage.notes,
       {},
       [](const std::vector<std::string>& args) {
         if (args.size() != 1) throw UsageError("inspect takes one file");
         return Inspect(args[0]);
       }},
  };
  return commands;
}

std::string Usage(const Command* only) {
  return CommandsUsage("slidesaver-pack", Commands(), only);
}

// Refuses an option of another command, naming it and this command. The values of this
// command's own options are skipped: they may look like anything.
void RefuseOtherCommandsOptions(const Command& command, const std::vector<std::string>& args) {
  const auto find = [](const Command& c, const std::string& arg) {
    return std::find_if(c.options.begin(), c.options.end(),
                        [&](const auto& option) { return option.first == arg; });
  };
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (const auto own = find(command, args[i]); own != command.options.end()) {
      if (own->second) ++i;
      continue;
    }
    for (const Command& other : Commands()) {
      if (find(other, args[i]) != other.options.end()) {
        throw UsageError(args[i] + " is not an option of " + command.name);
      }
    }
  }
}

int Main(const std::vector<std::string>& args) {
  const Command* command = NamedCommand(Commands(), args);
  if (std::any_of(args.begin(), args.end(), IsHelp)) {
    std::cout << Usage(command);
    return 0;
  }
  if (args.empty()) {
    std::cout << Usage(nullptr);
    return 2;
  }
  try {
    if (command == nullptr) throw UsageError("unknown command \"" + args[0] + "\"");
    const std::vector<std::string> rest(args.begin() + 1, args.end());
    RefuseOtherCommandsOptions(*command, rest);
    return command->run(rest);
  } catch (const UsageError& e) {
    std::cerr << "slidesaver-pack: " << OneLine(e.what()) << "\n" << Usage(command);
    return 2;
  } catch (const InstallUsageError& e) {
    std::cerr << "slidesaver-pack: " << OneLine(e.what()) << "\n" << Usage(command);
    return 2;
  } catch (const std::exception& e) {
    // inspect reports the reader's message as it is; build names the tool, also for the
    // system's errors (a folder that cannot be listed).
    if (args[0] == "inspect") std::cerr << OneLine(e.what()) << "\n";
    else std::cerr << "slidesaver-pack: " << OneLine(e.what()) << "\n";
    return 1;
  }
}

}  // namespace
}  // namespace slidesaver

int main(int argc, char** argv) {
  return slidesaver::Main(slidesaver::CommandLineArguments(argc, argv));
}
