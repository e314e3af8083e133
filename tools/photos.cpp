#include "tools/photos.h"

#include <algorithm>
#include <cctype>
#include <condition_variable>
#include <exception>
#include <filesystem>
#include <iterator>
#include <mutex>
#include <optional>
#include <thread>

#include "base/error.h"
#include "system/files.h"

namespace slidesaver {
namespace {

namespace fs = std::filesystem;

bool IsPictureName(const fs::path& path) {
  std::string extension = Utf8OfPath(path.extension());
  std::transform(extension.begin(), extension.end(), extension.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  static const char* const kKnown[] = {".jpg", ".jpeg", ".jpe",  ".png", ".webp", ".heic",
                                       ".heif", ".avif", ".tif", ".tiff", ".gif", ".bmp"};
  return std::find(std::begin(kKnown), std::end(kKnown), extension) != std::end(kKnown);
}

}  // namespace

std::vector<std::string> PhotoFiles(const std::vector<std::string>& paths, bool recursive) {
  std::vector<std::string> files;
  for (const std::string& path : paths) {
    std::error_code error;
    const fs::path named = PathOfUtf8(path);
    if (fs::is_directory(named, error)) {
      std::vector<std::string> found;
      const auto add = [&](const fs::directory_entry& entry) {
        if (entry.is_regular_file() && IsPictureName(entry.path())) found.push_back(Utf8OfPath(entry.path()));
      };
      if (recursive) {
        for (const auto& entry : fs::recursive_directory_iterator(named)) add(entry);
      } else {
        for (const auto& entry : fs::directory_iterator(named)) add(entry);
      }
      if (found.empty()) throw Error("\"" + path + "\" holds no pictures");
      std::sort(found.begin(), found.end());
      files.insert(files.end(), found.begin(), found.end());
    } else if (fs::is_regular_file(named, error)) {
      files.push_back(path);
    } else {
      throw Error("\"" + path + "\": no such file or folder");
    }
  }
  return files;
}

std::vector<PreparedPhoto> PreparePhotos(
    const std::vector<std::string>& paths, const PhotoOptions& options,
    const std::function<void(std::size_t done, std::size_t bytes)>& done) {
  std::vector<std::optional<PreparedPhoto>> results(paths.size());
  std::vector<std::exception_ptr> failures(paths.size());
  std::mutex mutex;
  std::condition_variable finished;
  std::size_t next = 0, count = 0, bytes = 0;
  const unsigned workers = std::max(1u, std::min<unsigned>(std::thread::hardware_concurrency(),
                                                           static_cast<unsigned>(paths.size())));
  std::vector<std::thread> threads;
  for (unsigned w = 0; w < workers; ++w) {
    threads.emplace_back([&] {
      for (;;) {
        std::size_t index;
        {
          std::lock_guard lock(mutex);
          if (next == paths.size()) return;
          index = next++;
        }
        std::optional<PreparedPhoto> photo;
        std::exception_ptr failure;
        try {
          photo = PreparePhoto(paths[index], options);
        } catch (...) {
          failure = std::current_exception();
        }
        {
          std::lock_guard lock(mutex);
          bytes += photo ? photo->jpeg.size() : 0;
          results[index] = std::move(photo);
          failures[index] = failure;
          ++count;
        }
        finished.notify_all();
      }
    });
  }
  std::size_t reported = 0;
  {
    std::unique_lock lock(mutex);
    while (reported < paths.size()) {
      finished.wait(lock, [&] { return count > reported; });
      reported = count;
      const std::size_t written = bytes;
      lock.unlock();
      if (done) done(reported, written);
      lock.lock();
    }
  }
  for (std::thread& thread : threads) thread.join();
  std::vector<PreparedPhoto> photos;
  for (std::size_t i = 0; i < paths.size(); ++i) {
    if (failures[i]) std::rethrow_exception(failures[i]);
    photos.push_back(std::move(*results[i]));
  }
  return photos;
}

}  // namespace slidesaver
