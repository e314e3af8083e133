// slidesaver-pack install and uninstall on Windows: the saver copied to
// %LOCALAPPDATA%\Slidesaver\ and named in SCRNSAVE.EXE under HKCU\Control Panel\Desktop, as
// the system's "Install" of a .scr names it.

#include <windows.h>

#include <filesystem>
#include <iostream>
#include <optional>
#include <system_error>

#include "payload/payload.h"
#include "payload/stream.h"
#include "system/file_io.h"
#include "system/files.h"
#include "system/replacement_file.h"
#include "tools/install.h"

namespace slidesaver {
namespace {

namespace fs = std::filesystem;

// UTF-8 and the system's UTF-16, through the standard library's paths.
std::wstring Widen(const std::string& text) { return PathOfUtf8(text).wstring(); }
std::string Narrow(const std::wstring& text) { return Utf8OfPath(fs::path(text)); }
std::string SystemErrorText(LSTATUS status) {
  return std::system_category().message(static_cast<int>(status));
}

constexpr const wchar_t* kDesktopKey = L"Control Panel\\Desktop";
constexpr const wchar_t* kSaverValue = L"SCRNSAVE.EXE";
constexpr const char* kSaverValueName = "SCRNSAVE.EXE in HKCU\\Control Panel\\Desktop";

struct Request {
  std::string file;
};

Request ParseArguments(const std::vector<std::string>& args, bool uninstall) {
  const std::string command = uninstall ? "uninstall" : "install";
  Request r;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--for") {
      if (i + 1 >= args.size()) throw InstallUsageError("--for needs a value: windows");
      const std::string& v = args[++i];
      if (v == "xscreensaver" || v == "xsecurelock" || v == "xss-lock" || v == "sway") {
        throw Error("--for " + v + ": this slidesaver-pack runs on Windows; register a saver with " +
                    v + " with slidesaver-pack on Linux");
      }
      if (v != "windows") throw InstallUsageError("--for takes windows here, not \"" + v + "\"");
    } else if (a == "--only" && !uninstall) {
      throw InstallUsageError("--only is for --for xscreensaver");
    } else if (a.size() > 1 && a[0] == '-') {
      throw InstallUsageError(command + ": unknown option \"" + a + "\"");
    } else if (r.file.empty()) {
      r.file = a;
    } else {
      throw InstallUsageError(command + " takes one saver file, not also \"" + a + "\"");
    }
  }
  if (r.file.empty()) throw InstallUsageError(command + " needs the saver file");
  return r;
}

// %LOCALAPPDATA%\Slidesaver\<the saver's file name>.
std::string InstalledPath(const std::string& file) {
  const std::string name = FileNamePart(file);
  if (name.empty() || name == "." || name == "..") {
    throw InstallUsageError("\"" + file + "\" names no file");
  }
  // Windows keeps a user's savers where the program keeps its state.
  return PathJoin(StateFolder(), name);
}

// The file must be a saver: its payload is read as the player would read it.
void CheckIsSaver(const std::string& file) {
  try {
    InputStream stream = InputStream::OpenFile(file);
    const auto trailer = ReadTrailer(stream);
    if (!trailer) throw Error("it is too short");
    ReadComponentAs<TSSFileLocations>(stream, trailer->configOffset);
  } catch (const Error& e) {
    throw Error("\"" + file + "\" is not a screen saver made by slidesaver-pack: " + e.what());
  }
}

void CopySaver(const std::string& file, const std::string& saver, std::ostream& out) {
  std::error_code error;
  if (fs::equivalent(PathOfUtf8(file), PathOfUtf8(saver), error)) {
    out << saver << " is in place already\n";
    return;
  }
  bool missing = false;
  const auto source = ReadableFile::TryOpen(file, missing);
  const auto bytes = source ? ReadAll(*source) : std::nullopt;
  if (!bytes) throw Error("Cannot read \"" + file + "\"");
  fs::create_directories(PathOfUtf8(FolderPart(saver)), error);
  if (error) throw Error("Cannot make the folder \"" + FolderPart(saver) + "\": " + error.message());
  ReplacementFile copy;
  if (!copy.Create(saver, 0755) ||
      !copy.Write(std::string_view(reinterpret_cast<const char*>(bytes->data()), bytes->size())) ||
      !copy.Commit(true)) {
    throw Error("Cannot write \"" + saver + "\"");
  }
  out << "copied " << file << " to " << saver << "\n";
}

class DesktopKey {
 public:
  DesktopKey() {
    const LSTATUS status = RegCreateKeyExW(HKEY_CURRENT_USER, kDesktopKey, 0, nullptr, 0,
                                           KEY_QUERY_VALUE | KEY_SET_VALUE, nullptr, &key_, nullptr);
    if (status != ERROR_SUCCESS) {
      throw Error("Cannot open HKCU\\Control Panel\\Desktop: " + SystemErrorText(status));
    }
  }
  ~DesktopKey() { RegCloseKey(key_); }
  DesktopKey(const DesktopKey&) = delete;
  DesktopKey& operator=(const DesktopKey&) = delete;

  std::optional<std::string> Saver() const {
    DWORD type = 0, size = 0;
    if (RegQueryValueExW(key_, kSaverValue, nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ)) {
      return std::nullopt;
    }
    std::wstring text(size / sizeof(wchar_t) + 1, L'\0');
    if (RegQueryValueExW(key_, kSaverValue, nullptr, &type, reinterpret_cast<BYTE*>(text.data()),
                         &size) != ERROR_SUCCESS) {
      return std::nullopt;
    }
    text.resize(wcsnlen(text.c_str(), text.size()));
    return Narrow(text);
  }
  void SetSaver(const std::string& path) {
    const std::wstring text = Widen(path);
    const LSTATUS status =
        RegSetValueExW(key_, kSaverValue, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                       static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
    if (status != ERROR_SUCCESS) {
      throw Error(std::string("Cannot set ") + kSaverValueName + ": " + SystemErrorText(status));
    }
  }
  void ClearSaver() {
    const LSTATUS status = RegDeleteValueW(key_, kSaverValue);
    if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND) {
      throw Error(std::string("Cannot remove ") + kSaverValueName + ": " + SystemErrorText(status));
    }
  }

 private:
  HKEY key_ = nullptr;
};

// Two paths of one file, as Windows compares names: letter case ignored.
bool SamePath(const std::string& a, const std::string& b) {
  return CompareStringOrdinal(Widen(a).c_str(), -1, Widen(b).c_str(), -1, TRUE) == CSTR_EQUAL;
}

int Install(const Request& r, std::ostream& out) {
  CheckIsSaver(r.file);
  const std::string saver = InstalledPath(r.file);
  CopySaver(r.file, saver, out);
  DesktopKey key;
  key.SetSaver(saver);
  out << "set " << kSaverValueName << " to " << saver << "\n";
  return 0;
}

int Uninstall(const Request& r, std::ostream& out) {
  const std::string saver = InstalledPath(r.file);
  bool removed = false;
  DesktopKey key;
  if (const auto named = key.Saver(); named && SamePath(*named, saver)) {
    key.ClearSaver();
    out << "removed " << kSaverValueName << " (" << saver << ")\n";
    removed = true;
  }
  std::error_code error;
  if (fs::exists(PathOfUtf8(saver), error)) {
    if (!RemoveFile(saver)) throw Error("Cannot remove \"" + saver + "\"");
    out << "removed " << saver << "\n";
    removed = true;
  }
  if (!removed) out << "nothing to remove: " << saver << " is not installed\n";
  return 0;
}

}  // namespace

int InstallCommand(const std::vector<std::string>& args, bool uninstall, std::ostream& out) {
  const Request r = ParseArguments(args, uninstall);
  return uninstall ? Uninstall(r, out) : Install(r, out);
}

int InstallCommand(const std::vector<std::string>& args, bool uninstall) {
  return InstallCommand(args, uninstall, std::cout);
}

}  // namespace slidesaver
