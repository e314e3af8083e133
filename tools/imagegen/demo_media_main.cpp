// slidesaver-demo-media OUTDIR [--count N] [--width W] [--height H] [--uniform]
//
// Writes demo pictures OUTDIR/demo-01.jpg, demo-02.jpg, ... and a short melody OUTDIR/melody.wav,
// all made on the spot. The pictures cycle through six variants of the requested size: as asked,
// portrait, grayscale, square, progressive and 4:3; with --uniform every picture is as asked
// (the size given, in colour, baseline).

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <string_view>
#include <vector>

#include "base/error.h"
#include "tools/imagegen/imagegen.h"

namespace {

using slidesaver::Error;

constexpr const char* kUsage =
    "usage: slidesaver-demo-media OUTDIR [--count N] [--width W] [--height H] [--uniform]";

struct Options {
  std::filesystem::path out_dir;
  int count = 6;
  int width = 1280;
  int height = 720;
  bool uniform = false;
};

// A bad command line; reported with the usage text and exit status 2.
struct UsageError {
  std::string message;
};

int ParseNumber(std::string_view name, std::string_view text, int low, int high) {
  int value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || value < low || value > high) {
    throw UsageError{std::string(name) + " needs a whole number from " + std::to_string(low) +
                     " to " + std::to_string(high) + ", not \"" + std::string(text) + "\""};
  }
  return value;
}

Options ParseArguments(const std::vector<std::string_view>& args) {
  Options options;
  bool have_dir = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string_view arg = args[i];
    if (arg == "--uniform") {
      options.uniform = true;
    } else if (arg == "--count" || arg == "--width" || arg == "--height") {
      if (i + 1 >= args.size()) throw UsageError{std::string(arg) + " needs a value"};
      const std::string_view value = args[++i];
      if (arg == "--count") options.count = ParseNumber(arg, value, 1, 99);
      if (arg == "--width") options.width = ParseNumber(arg, value, 16, 8192);
      if (arg == "--height") options.height = ParseNumber(arg, value, 16, 8192);
    } else if (arg.starts_with("-") && arg.size() > 1) {
      throw UsageError{"unknown option " + std::string(arg)};
    } else if (have_dir) {
      throw UsageError{"more than one output folder given"};
    } else {
      options.out_dir = std::string(arg);
      have_dir = true;
    }
  }
  if (!have_dir) throw UsageError{"no output folder given"};
  return options;
}

void WriteFile(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  out.close();
  if (!out) throw Error("Cannot write " + path.string());
}

std::vector<std::uint8_t> MakeDemoJpeg(int index, const Options& options) {
  int width = options.width, height = options.height;
  bool grayscale = false, progressive = false;
  switch (options.uniform ? 0 : (index - 1) % 6) {
    case 1:
      width = std::max(16, height * 3 / 4);
      break;  // portrait
    case 2:
      grayscale = true;
      break;
    case 3:
      width = height;
      break;  // square
    case 4:
      progressive = true;
      break;
    case 5:
      width = std::max(16, height * 4 / 3);
      break;  // 4:3
    default:
      break;
  }
  return slidesaver::EncodeJpeg(slidesaver::MakeDemoPicture(index, width, height), 88, grayscale,
                                progressive);
}

void WriteDemoMedia(const Options& options) {
  std::error_code error;
  std::filesystem::create_directories(options.out_dir, error);
  if (error) throw Error("Cannot create " + options.out_dir.string() + ": " + error.message());
  for (int index = 1; index <= options.count; ++index) {
    char name[32];
    std::snprintf(name, sizeof name, "demo-%02d.jpg", index);
    WriteFile(options.out_dir / name, MakeDemoJpeg(index, options));
  }
  WriteFile(options.out_dir / "melody.wav", slidesaver::MakeWav());
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string_view> args(argv + 1, argv + argc);
  Options options;
  try {
    options = ParseArguments(args);
  } catch (const UsageError& error) {
    std::cerr << "slidesaver-demo-media: " << error.message << "\n" << kUsage << "\n";
    return 2;
  }
  try {
    WriteDemoMedia(options);
  } catch (const std::exception& error) {
    std::cerr << "slidesaver-demo-media: " << error.what() << "\n";
    return 1;
  }
  return 0;
}
