#include "system/run_folder.h"

#include <windows.h>

#include <cstdio>
#include <random>

#include "base/error.h"
#include "os/windows/system_error.h"
#include "system/exit_cleanup.h"
#include "system/files.h"

namespace slidesaver {
namespace {

// Removes the files the folder holds (the program only ever puts files there),
// then the folder. Links are removed themselves, never followed.
void RemoveFolder(const std::string& folder) {
  const std::wstring wideFolder = Widen(folder);
  WIN32_FIND_DATAW entry;
  const HANDLE find = FindFirstFileW(Widen(PathJoin(folder, "*")).c_str(), &entry);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      const std::wstring_view name = entry.cFileName;
      if (name == L"." || name == L"..") continue;
      // Joined in UTF-16: a name that is no valid UTF-16 is removed all the same.
      std::wstring path = wideFolder;
      if (!path.empty() && path.back() != L'\\' && path.back() != L'/') path.push_back(L'\\');
      path += name;
      if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        RemoveDirectoryW(path.c_str());
      } else {
        DeleteFileW(path.c_str());
      }
    } while (FindNextFileW(find, &entry));
    FindClose(find);
  }
  RemoveDirectoryW(wideFolder.c_str());
}

bool ProcessLives(DWORD pid) {
  const HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, pid);
  if (process == nullptr) return GetLastError() == ERROR_ACCESS_DENIED;
  const bool running = WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
  CloseHandle(process);
  return running;
}

// A running saver holds its folder (below): then the folder cannot be opened
// for deletion.
bool Held(const std::string& folder) {
  const HANDLE handle = CreateFileW(Widen(folder).c_str(), DELETE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING,
                                    FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_SHARING_VIOLATION;
  CloseHandle(handle);
  return false;
}

// Held open without sharing deletion, the folder cannot be removed by others.
HANDLE Hold(const std::string& folder) {
  return CreateFileW(Widen(folder).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                     nullptr, OPEN_EXISTING,
                     FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
}

}  // namespace

RunFolder::RunFolder(std::string path, std::intptr_t lock)
    : path_(std::move(path)),
      lock_(lock),
      cleanupId_(AddExitCleanup([path = path_] { RemoveFolder(path); })) {}

std::unique_ptr<RunFolder> RunFolder::Create(const std::string& base) {
  const std::string folder = base.empty() ? RuntimeFolder() : base;
  std::random_device device;
  std::mt19937_64 random((static_cast<std::uint64_t>(device()) << 32) ^ device());
  for (int attempt = 0; attempt < 100; ++attempt) {
    char suffix[17];
    std::snprintf(suffix, sizeof suffix, "%016llx", static_cast<unsigned long long>(random()));
    const std::string path = PathJoin(
        folder, std::string(kRunFolderPrefix) + std::to_string(GetCurrentProcessId()) + "-" + suffix);
    const std::wstring widePath = Widen(path);
    if (!CreateDirectoryW(widePath.c_str(), nullptr)) {
      if (GetLastError() == ERROR_ALREADY_EXISTS) continue;
      throw Error("Cannot create a folder in " + folder + ": " + SystemErrorText(GetLastError()));
    }
    const HANDLE lock = Hold(path);
    if (lock == INVALID_HANDLE_VALUE) {
      const DWORD error = GetLastError();
      RemoveDirectoryW(widePath.c_str());
      throw Error("Cannot hold the folder " + path + ": " + SystemErrorText(error));
    }
    return std::unique_ptr<RunFolder>(new RunFolder(path + "\\", reinterpret_cast<std::intptr_t>(lock)));
  }
  throw Error("Cannot create a folder in " + folder + ": no free name");
}

RunFolder::~RunFolder() {
  CloseHandle(reinterpret_cast<HANDLE>(lock_));
  RemoveFolder(path_);
  RemoveExitCleanup(cleanupId_);
}

std::string RunFolder::PathOf(std::string_view name) const { return PathJoin(path_, name); }

void RunFolder::RemoveFile(std::string_view name) const {
  DeleteFileW(Widen(PathOf(name)).c_str());
}

std::int64_t RunFolder::FreeBytes() const {
  ULARGE_INTEGER available;
  if (!GetDiskFreeSpaceExW(Widen(path_).c_str(), &available, nullptr, nullptr)) return 0;
  return static_cast<std::int64_t>(available.QuadPart);
}

void RemoveStaleRunFolders(const std::string& base) {
  WIN32_FIND_DATAW entry;
  const HANDLE find = FindFirstFileW(Widen(PathJoin(base, "run-*")).c_str(), &entry);
  if (find == INVALID_HANDLE_VALUE) return;
  do {
    // Process numbers come round again soon (under Wine the first process of
    // a session always gets the same one): a folder named after this process
    // is an earlier one's, as this one has made none yet.
    const std::string name = Narrow(entry.cFileName);
    const DWORD owner = RunFolderOwner(name);
    if (owner == 0 || (owner != GetCurrentProcessId() && ProcessLives(owner))) continue;
    if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 ||
        (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
      continue;
    }
    const std::string path = PathJoin(base, name);
    if (!Held(path)) RemoveFolder(path);
  } while (FindNextFileW(find, &entry));
  FindClose(find);
}

}  // namespace slidesaver
