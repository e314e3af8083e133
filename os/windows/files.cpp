#include "system/files.h"

#include <windows.h>
#include <shlobj.h>

#include <vector>

#include "base/error.h"
#include "os/windows/system_error.h"

namespace slidesaver {
namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

std::size_t LastSeparator(std::string_view path) { return path.find_last_of("\\/"); }

}  // namespace

std::string OwnExecutablePath() {
  std::vector<wchar_t> buffer(MAX_PATH);
  for (;;) {
    const DWORD length = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0) {
      throw Error("Cannot find the program's own file: " + SystemErrorText(GetLastError()));
    }
    if (length < buffer.size()) return Narrow(std::wstring_view(buffer.data(), length));
    buffer.resize(buffer.size() * 2);
  }
}

std::string FileNamePart(std::string_view path) {
  const std::size_t separator = LastSeparator(path);
  return std::string(separator == std::string_view::npos ? path : path.substr(separator + 1));
}

std::string FolderPart(std::string_view path) {
  const std::size_t separator = LastSeparator(path);
  if (separator == std::string_view::npos) return "";
  return std::string(path.substr(0, separator + 1));
}

std::string PathJoin(std::string_view folder, std::string_view name) {
  std::string joined(folder);
  if (!joined.empty() && !IsSeparator(joined.back())) joined.push_back('\\');
  joined += name;
  return joined;
}

// Links and junctions (reparse points) are never followed: the settings file
// is written only where it really is.
std::optional<std::string> ResolveTrustedLinks(const std::string& path) {
  const DWORD attributes = GetFileAttributesW(Widen(path).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return path;
  if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) return std::nullopt;
  return path;
}

std::string RuntimeFolder() {
  wchar_t temp[MAX_PATH + 1];
  const DWORD length = GetTempPathW(MAX_PATH + 1, temp);
  if (length == 0 || length > MAX_PATH) {
    throw Error("Cannot find the temporary folder: " + SystemErrorText(GetLastError()));
  }
  const std::string folder = PathJoin(Narrow(std::wstring_view(temp, length)), "slidesaver");
  const std::wstring wideFolder = Widen(folder);
  if (!CreateDirectoryW(wideFolder.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
    throw Error("Cannot create the folder " + folder + ": " + SystemErrorText(GetLastError()));
  }
  const DWORD attributes = GetFileAttributesW(wideFolder.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0 ||
      (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
    throw Error("The folder " + folder + " is not a folder of this program; remove it and start again");
  }
  return folder + "\\";
}

std::string StateFolder() {
  wchar_t* local = nullptr;
  if (FAILED(SHGetKnownFolderPath(FOLDERID_LocalAppData, KF_FLAG_CREATE, nullptr, &local)) ||
      local == nullptr) {
    CoTaskMemFree(local);
    throw Error("Cannot find the folder for local application data");
  }
  const std::string folder = PathJoin(Narrow(local), "Slidesaver");
  CoTaskMemFree(local);
  if (!CreateDirectoryW(Widen(folder).c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
    throw Error("Cannot create the folder " + folder + ": " + SystemErrorText(GetLastError()));
  }
  return folder + "\\";
}

}  // namespace slidesaver
