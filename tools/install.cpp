#include "tools/install.h"

#include <dirent.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <set>

#include "payload/payload.h"
#include "system/file_io.h"
#include "system/replacement_file.h"

namespace slidesaver {
namespace {

namespace fs = std::filesystem;

// ---------------------------------------------------------------- ~/.xscreensaver as text
//
// The file is a list of "name: value" resources. A line ending in a backslash continues on the
// next one; the value of programs: is a list of entries separated by the two characters "\n",
// each "[-][VISUAL:] ["Title"] command", "-" marking a disabled one. Lines starting with # or !
// are comments. Everything is edited line by line so that what is not touched stays as it was.

constexpr std::string_view kProgramsHeader = "programs:\t\t\t\t\t\t\t\t      \\\n";

struct Line {
  std::string body;  // without the line break
  bool hasBreak = true;
  std::string Text() const { return body + (hasBreak ? "\n" : ""); }
  bool Continues() const {
    const auto last = body.find_last_not_of('\\');
    const std::size_t slashes = body.size() - (last == std::string::npos ? 0 : last + 1);
    return slashes % 2 == 1;
  }
};

std::vector<Line> SplitLines(std::string_view text) {
  std::vector<Line> lines;
  while (!text.empty()) {
    const auto end = text.find('\n');
    if (end == std::string_view::npos) {
      lines.push_back({std::string(text), false});
      break;
    }
    lines.push_back({std::string(text.substr(0, end)), true});
    text.remove_prefix(end + 1);
  }
  return lines;
}

std::string JoinLines(const std::vector<Line>& lines) {
  std::string text;
  for (const Line& line : lines) text += line.Text();
  return text;
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::size_t SkipBlanks(std::string_view s, std::size_t i) {
  while (i < s.size() && IsBlank(s[i])) ++i;
  return i;
}

std::string_view Trim(std::string_view s) {
  const std::size_t b = SkipBlanks(s, 0);
  std::size_t e = s.size();
  while (e > b && IsBlank(s[e - 1])) --e;
  return s.substr(b, e - b);
}

// A resource: its physical lines [first, last] and, on the first, where the value starts.
struct Resource {
  std::string name;
  std::size_t first = 0, last = 0;
  std::size_t valueStart = 0;
};

std::vector<Resource> FindResources(const std::vector<Line>& lines) {
  std::vector<Resource> found;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const std::string& body = lines[i].body;
    const std::size_t start = SkipBlanks(body, 0);
    const bool comment = start < body.size() && (body[start] == '#' || body[start] == '!');
    std::size_t last = i;
    while (last + 1 < lines.size() && lines[last].Continues()) ++last;
    const auto colon = body.find(':');
    if (!comment && colon != std::string::npos) {
      found.push_back({std::string(Trim(std::string_view(body).substr(0, colon))), i, last,
                       SkipBlanks(body, colon + 1)});
    }
    i = last;
  }
  return found;
}

std::optional<Resource> FindResource(const std::vector<Resource>& resources, std::string_view name) {
  for (const Resource& r : resources) {
    if (r.name == name) return r;
  }
  return std::nullopt;
}

// One entry of programs: on line `line`, body[begin, end) with its "\n" when it has one.
struct Entry {
  std::size_t line = 0, begin = 0, end = 0;
  bool alone = false;  // the only thing on a line of its own
};

// The first word of a command, with sh quotes taken off.
std::string FirstWord(std::string_view command) {
  std::string word;
  char quote = 0;
  for (std::size_t i = SkipBlanks(command, 0); i < command.size(); ++i) {
    const char c = command[i];
    if (quote) {
      if (c == quote) quote = 0;
      else word += c;
    } else if (c == '\'' || c == '"') {
      quote = c;
    } else if (IsBlank(c)) {
      break;
    } else {
      word += c;
    }
  }
  return word;
}

// The program an entry runs: past the disabled mark, a visual ("GL:") and a "Title".
std::string EntryProgram(std::string_view entry) {
  std::size_t i = SkipBlanks(entry, 0);
  if (i < entry.size() && entry[i] == '-') i = SkipBlanks(entry, i + 1);
  std::size_t j = i;
  while (j < entry.size() && (std::isalnum(static_cast<unsigned char>(entry[j])) || entry[j] == '-')) ++j;
  if (j > i && j < entry.size() && entry[j] == ':') i = SkipBlanks(entry, j + 1);
  if (i < entry.size() && entry[i] == '"') {
    const auto close = entry.find('"', i + 1);
    i = close == std::string_view::npos ? entry.size() : close + 1;
  }
  return FirstWord(entry.substr(i));
}

bool IsDisabled(std::string_view entry) {
  const std::size_t i = SkipBlanks(entry, 0);
  return i < entry.size() && entry[i] == '-';
}

// The entries of programs:, in order.
std::vector<Entry> FindEntries(const std::vector<Line>& lines, const Resource& programs) {
  std::vector<Entry> entries;
  for (std::size_t l = programs.first; l <= programs.last; ++l) {
    std::string_view body = lines[l].body;
    if (lines[l].Continues()) body.remove_suffix(1);
    const std::size_t count = entries.size();
    for (std::size_t pos = l == programs.first ? programs.valueStart : 0; pos < body.size();) {
      const auto sep = body.find("\\n", pos);
      const std::string_view text = Trim(body.substr(pos, sep == std::string_view::npos ? sep : sep - pos));
      const std::size_t begin = static_cast<std::size_t>(text.data() - body.data());
      if (!text.empty()) {
        entries.push_back({l, begin, sep == std::string_view::npos ? begin + text.size() : sep + 2});
      }
      pos = sep == std::string_view::npos ? body.size() : sep + 2;
    }
    if (entries.size() == count + 1 && l != programs.first) entries.back().alone = true;
  }
  return entries;
}

std::string_view EntryText(const std::vector<Line>& lines, const Entry& e) {
  return std::string_view(lines[e.line].body).substr(e.begin, e.end - e.begin);
}

std::size_t Column(std::string_view text) {
  std::size_t column = 0;
  for (char c : text) column = c == '\t' ? (column / 8 + 1) * 8 : column + 1;
  return column;
}

// Tabs, then spaces, from the end of `text` to column `to` (8 columns a tab), as the settings
// program pads its lines; one space at least.
std::string Pad(std::string_view text, std::size_t to) {
  std::size_t from = Column(text);
  std::string pad;
  while ((from / 8 + 1) * 8 <= to) {
    pad += '\t';
    from = (from / 8 + 1) * 8;
  }
  pad.append(to > from ? to - from : 0, ' ');
  return pad.empty() ? " " : pad;
}

std::string FormatEntry(bool disabled, std::string_view title, std::string_view command) {
  std::string line = disabled ? "-" : "";
  if (!title.empty()) {
    const std::string quoted = "\"" + std::string(title) + "\"";
    if (quoted.size() + line.size() < 30) line += Pad(line, 30 - quoted.size());
    line += quoted + " ";
  }
  line += Column(line) < 32 ? Pad(line, 32) : "\t";
  line += command;
  return line + Pad(line, 76) + "\\n\\";
}

// Replaces the value of a one-line resource, keeping what stands before it and after it.
void SetValue(std::vector<Line>& lines, const Resource& r, std::string_view value) {
  std::string& body = lines[r.first].body;
  std::size_t end = body.size();
  while (end > r.valueStart && IsBlank(body[end - 1])) --end;
  body = body.substr(0, r.valueStart) + std::string(value) + body.substr(end);
}

std::string Value(const std::vector<Line>& lines, const Resource& r) {
  return std::string(Trim(std::string_view(lines[r.first].body).substr(r.valueStart)));
}

std::optional<int> IntValue(const std::vector<Line>& lines, const std::optional<Resource>& r) {
  if (!r) return std::nullopt;
  const std::string v = Value(lines, *r);
  if (v.empty() || v.find_first_not_of("-0123456789") != std::string::npos) return std::nullopt;
  try {
    return std::stoi(v);
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

// Sets mode: and selected:, adding the lines missing before programs:.
void SetModeAndSelected(std::vector<Line>& lines, std::string_view mode, std::string_view selected) {
  const auto resources = FindResources(lines);
  std::vector<Line> missing;
  if (const auto r = FindResource(resources, "mode")) SetValue(lines, *r, mode);
  else missing.push_back({"mode:\t\t" + std::string(mode)});
  if (const auto r = FindResource(resources, "selected")) SetValue(lines, *r, selected);
  else missing.push_back({"selected:\t" + std::string(selected)});
  const auto programs = FindResource(FindResources(lines), "programs");
  lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(programs ? programs->first : lines.size()),
               missing.begin(), missing.end());
}

}  // namespace

std::string ProgramEntryLine(std::string_view title, std::string_view command) {
  return FormatEntry(false, title, command);
}

std::optional<int> ProgramEntryIndex(std::string_view file, std::string_view program) {
  const auto lines = SplitLines(file);
  const auto resources = FindResources(lines);
  const auto programs = FindResource(resources, "programs");
  if (!programs) return std::nullopt;
  const auto entries = FindEntries(lines, *programs);
  for (std::size_t i = 0; i < entries.size(); ++i) {
    if (EntryProgram(EntryText(lines, entries[i])) == program) return static_cast<int>(i);
  }
  return std::nullopt;
}

std::string AddProgramEntry(std::string_view file, std::string_view title, std::string_view command,
                            bool only) {
  const std::string program = FirstWord(command);
  auto lines = SplitLines(file);
  auto resources = FindResources(lines);
  const auto programs = FindResource(resources, "programs");
  if (!programs) {
    if (!lines.empty() && !lines.back().hasBreak) lines.back().hasBreak = true;
    lines.push_back({std::string(kProgramsHeader.substr(0, kProgramsHeader.size() - 1))});
    lines.push_back({ProgramEntryLine(title, command)});
    lines.push_back({""});
    if (only) SetModeAndSelected(lines, "one", "0");
    return JoinLines(lines);
  }
  const auto entries = FindEntries(lines, *programs);
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const Entry& e = entries[i];
    const std::string_view text = EntryText(lines, e);
    if (EntryProgram(text) != program) continue;
    const bool disabled = IsDisabled(text);
    std::string& body = lines[e.line].body;
    if (e.alone) {
      const bool continued = lines[e.line].Continues();
      body = FormatEntry(disabled, title, command);
      if (!continued) body.pop_back();  // the value's last line
    } else {
      const bool separator = text.size() >= 2 && text.substr(text.size() - 2) == "\\n";
      body = body.substr(0, e.begin) + (disabled ? "-" : "") + "\"" + std::string(title) + "\"  " +
             std::string(command) + (separator ? " \\n" : "") + body.substr(e.end);
    }
    if (only) SetModeAndSelected(lines, "one", std::to_string(i));
    return JoinLines(lines);
  }
  // New: at the top, on a line of its own after the header when the header carries no entry,
  // else at the header's end with what followed moved to the next line.
  Line& header = lines[programs->first];
  const std::string rest = header.body.substr(programs->valueStart);
  const std::size_t at = programs->first + 1;
  if (Trim(rest) == "\\") {
    lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(at), Line{ProgramEntryLine(title, command)});
  } else {
    const Line moved{rest, header.hasBreak};
    header.body.resize(programs->valueStart);
    header.body += "\"" + std::string(title) + "\"  " + std::string(command) + " \\n\\";
    header.hasBreak = true;
    lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(at), moved);
  }
  if (only) {
    SetModeAndSelected(lines, "one", "0");
  } else if (const auto selected = IntValue(lines, FindResource(FindResources(lines), "selected"));
             selected && *selected >= 0) {
    SetValue(lines, *FindResource(FindResources(lines), "selected"), std::to_string(*selected + 1));
  }
  return JoinLines(lines);
}

std::optional<std::string> RemoveProgramEntry(std::string_view file, std::string_view program,
                                              std::optional<std::string_view> before) {
  auto lines = SplitLines(file);
  const auto resources = FindResources(lines);
  const auto programs = FindResource(resources, "programs");
  if (!programs) return std::nullopt;
  const Resource found = *programs;
  const auto entries = FindEntries(lines, found);
  std::vector<int> removed;
  // From the last, so that the positions of the earlier ones stay valid.
  for (std::size_t n = entries.size(); n-- > 0;) {
    const Entry& e = entries[n];
    if (EntryProgram(EntryText(lines, e)) != program) continue;
    removed.push_back(static_cast<int>(n));
    Line& line = lines[e.line];
    if (e.alone) {
      const bool continued = line.Continues();
      lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(e.line));
      // The value's last entry went: the one before it ends the value now.
      if (!continued && e.line > 0 && lines[e.line - 1].Continues() && e.line - 1 >= found.first) {
        lines[e.line - 1].body.pop_back();
        while (!lines[e.line - 1].body.empty() && IsBlank(lines[e.line - 1].body.back())) lines[e.line - 1].body.pop_back();
      }
      continue;
    }
    const std::size_t next = SkipBlanks(line.body, e.end);
    const bool lastOnLine = line.Continues() && next == line.body.size() - 1;
    if (lastOnLine && e.line + 1 < lines.size()) {
      // Entry and "\" at the end of its line: what the next line holds moves up in their place.
      line.body = line.body.substr(0, e.begin) + lines[e.line + 1].body;
      line.hasBreak = lines[e.line + 1].hasBreak;
      lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(e.line + 1));
    } else {
      line.body.erase(e.begin, next - e.begin);
    }
  }
  if (removed.empty()) return std::nullopt;

  // A programs: left empty in exactly the shape AddProgramEntry makes goes with its entry.
  if (const auto now = FindResource(FindResources(lines), "programs");
      now && FindEntries(lines, *now).empty() &&
      lines[now->first].Text() == kProgramsHeader && now->first + 1 < lines.size() &&
      lines[now->first + 1].body.empty()) {
    lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(now->first),
                lines.begin() + static_cast<std::ptrdiff_t>(now->first + 2));
  }

  auto current = FindResources(lines);
  std::optional<int> selected = IntValue(lines, FindResource(current, "selected"));
  if (!selected) return JoinLines(lines);
  bool pointedAtRemoved = false;
  int lowered = *selected;
  for (int index : removed) {
    if (index == *selected) pointedAtRemoved = true;
    if (index < *selected) --lowered;
  }
  if (!pointedAtRemoved) {
    if (lowered != *selected) SetValue(lines, *FindResource(current, "selected"), std::to_string(lowered));
    return JoinLines(lines);
  }
  if (before) {
    // The lines as they were before the saver came: values back, lines it added gone.
    const auto old = SplitLines(*before);
    const auto oldResources = FindResources(old);
    for (const char* name : {"mode", "selected"}) {
      const auto now = FindResource(FindResources(lines), name);
      const auto was = FindResource(oldResources, name);
      if (now && was) SetValue(lines, *now, Value(old, *was));
      else if (now) lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(now->first));
    }
    return JoinLines(lines);
  }
  if (const auto mode = FindResource(current, "mode"); mode && Value(lines, *mode) == "one") {
    SetValue(lines, *mode, "random");
  }
  SetValue(lines, *FindResource(FindResources(lines), "selected"), "-1");
  return JoinLines(lines);
}

// ---------------------------------------------------------------- the command

namespace {

// The programs a saver can be registered with (the values of --for).
enum class SaverHost { kXScreenSaver, kXSecureLock, kXssLock, kSway, kWindows };

struct HostName {
  std::string_view option;   // the value of --for
  std::string_view process;  // the program that runs in a session that uses it
  SaverHost host;
};
constexpr HostName kHosts[] = {{"xscreensaver", "xscreensaver", SaverHost::kXScreenSaver},
                               {"xsecurelock", "xsecurelock", SaverHost::kXSecureLock},
                               {"xss-lock", "xss-lock", SaverHost::kXssLock},
                               {"sway", "swayidle", SaverHost::kSway},
                               {"sway", "hypridle", SaverHost::kSway},
                               {"windows", "", SaverHost::kWindows}};
constexpr std::string_view kHostChoices = "xscreensaver, xsecurelock, xss-lock, sway or windows";
constexpr std::string_view kModuleName = "saver_slidesaver";

// Where things go for the user who runs the command.
struct Places {
  std::string home;
  std::string folder;  // $XDG_DATA_HOME/slidesaver
  std::string saver;   // the installed saver, under its own name
  std::string module;  // XSecureLock's saver module
  std::string xscreensaver, backup;
};

std::string HomeFolder() {
  if (const char* home = std::getenv("HOME"); home && *home == '/') return home;
  if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir && *pw->pw_dir == '/') return pw->pw_dir;
  throw Error("Cannot tell the home folder: HOME is not set");
}

Places PlacesFor(const std::string& file) {
  Places p;
  p.home = HomeFolder();
  const char* data = std::getenv("XDG_DATA_HOME");  // only an absolute one counts
  p.folder = (data && *data == '/' ? std::string(data) : p.home + "/.local/share") + "/slidesaver";
  std::string name = fs::path(file).filename().string();
  if (name.empty() || name == "." || name == "..") throw InstallUsageError("\"" + file + "\" names no file");
  p.saver = p.folder + "/" + name;
  p.module = p.folder + "/" + std::string(kModuleName);
  p.xscreensaver = p.home + "/.xscreensaver";
  p.backup = p.home + "/.xscreensaver.bak";
  // The path goes into session files and sh command lines: keep it to what they can all hold.
  for (const unsigned char c : p.saver) {
    if (c < 0x20 || c == 0x7f || std::strchr("\\\"'`$", c)) {
      throw Error("Cannot register \"" + p.saver + "\": a path with quotes, backslashes, $, ` or "
                  "control characters cannot stand in the daemons' files; rename the saver");
    }
  }
  return p;
}

// The path for an sh command line: quoted when it holds anything but plain characters.
std::string ShellWord(const std::string& path) {
  const bool plain = std::all_of(path.begin(), path.end(), [](unsigned char c) {
    return std::isalnum(c) || std::strchr("/._-+,:@%", c);
  });
  return plain ? path : "'" + path + "'";
}

std::string SaverCommand(const Places& p) { return ShellWord(p.saver) + " /S"; }
std::string ModuleScript(const Places& p) { return "#!/bin/sh\nexec " + SaverCommand(p) + "\n"; }

std::optional<std::string> ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    if (errno == ENOENT || !fs::exists(fs::symlink_status(path))) return std::nullopt;
    throw Error("Cannot read \"" + path + "\": " + std::strerror(errno));
  }
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) throw Error("Cannot read \"" + path + "\"");
  return text;
}

// Writes `bytes` under a new name beside `path` and renames it over `path`. The file gets the
// permissions of the file `like` when that exists, else `mode`.
void WriteAtomically(const std::string& path, std::string_view bytes, unsigned mode,
                     const std::string& like = {}) {
  ReplacementFile file;
  bool ok = file.Create(path, 0600) && file.Write(bytes);
  bool missing = false;
  if (auto original = like.empty() ? std::nullopt : ReadableFile::TryOpen(like, missing); ok && original) {
    ok = file.KeepAttributesOf(*original);
  } else if (ok) {
    ok = ::fchmod(file.Fd(), mode) == 0;
  }
  if (!ok || !file.Commit(true)) throw Error("Cannot write \"" + path + "\": " + std::strerror(errno));
}

void RemoveFile(const std::string& path) {
  if (::unlink(path.c_str()) != 0 && errno != ENOENT) {
    throw Error("Cannot remove \"" + path + "\": " + std::strerror(errno));
  }
}

// The saver's title from its payload, else its file name without the extension; made fit for
// the quotes of a programs: entry.
std::string SaverTitle(const std::string& file) {
  std::string title;
  InputStream stream = InputStream::OpenFile(file);
  try {
    const auto trailer = ReadTrailer(stream);
    if (!trailer) throw Error("it is too short");
    title = ReadComponentAs<TSSFileLocations>(stream, trailer->configOffset)->Title();
  } catch (const Error& e) {
    throw Error("\"" + file + "\" is not a screen saver made by slidesaver-pack: " + e.what());
  }
  if (title.empty()) title = fs::path(file).stem().string();
  for (char& c : title) {
    if (static_cast<unsigned char>(c) < 0x20 || c == '"' || c == '\\') c = ' ';
  }
  return std::string(Trim(title));
}

bool OnPath(std::string_view name) {
  const char* path = std::getenv("PATH");
  std::string_view rest = path ? path : "";
  while (true) {
    const auto colon = rest.find(':');
    const std::string folder(rest.substr(0, colon));
    const std::string candidate = (folder.empty() ? "." : folder) + "/" + std::string(name);
    struct stat st {};
    if (::stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(candidate.c_str(), X_OK) == 0) {
      return true;
    }
    if (colon == std::string_view::npos) return false;
    rest.remove_prefix(colon + 1);
  }
}

std::set<std::string> RunningPrograms() {
  std::set<std::string> names;
  DIR* proc = ::opendir("/proc");
  if (!proc) return names;
  while (const dirent* entry = ::readdir(proc)) {
    if (!std::isdigit(static_cast<unsigned char>(entry->d_name[0]))) continue;
    std::ifstream comm(std::string("/proc/") + entry->d_name + "/comm");
    std::string name;
    if (std::getline(comm, name)) names.insert(name);
  }
  ::closedir(proc);
  return names;
}

// The daemon of this session: the first that runs, else the first installed.
struct Found {
  const HostName* daemon = nullptr;
  bool running = false;
};

Found FindDaemon() {
  const auto running = RunningPrograms();
  for (const HostName& h : kHosts) {
    if (!h.process.empty() && running.count(std::string(h.process))) return {&h, true};
  }
  for (const HostName& h : kHosts) {
    if (!h.process.empty() && OnPath(h.process)) return {&h, false};
  }
  return {};
}

struct Request {
  std::string file;
  std::optional<SaverHost> host;  // from --for, else the daemon found when installing
  const HostName* found = nullptr;  // the daemon found, when --for was not given
  bool only = false;
};

bool Hypridle(const Request& r) { return r.found && r.found->process == "hypridle"; }

Request ParseArguments(const std::vector<std::string>& args, bool uninstall) {
  const std::string command = uninstall ? "uninstall" : "install";
  Request r;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--for") {
      if (i + 1 >= args.size()) throw InstallUsageError("--for needs a value: " + std::string(kHostChoices));
      const std::string& v = args[++i];
      const auto h = std::find_if(std::begin(kHosts), std::end(kHosts), [&](const HostName& n) { return n.option == v; });
      if (h == std::end(kHosts)) {
        throw InstallUsageError("--for takes " + std::string(kHostChoices) + ", not \"" + v + "\"");
      }
      r.host = h->host;
    } else if (a == "--only" && !uninstall) {
      r.only = true;
    } else if (a.size() > 1 && a[0] == '-') {
      throw InstallUsageError(command + ": unknown option \"" + a + "\"");
    } else if (r.file.empty()) {
      r.file = a;
    } else {
      throw InstallUsageError(command + " takes one saver file, not also \"" + a + "\"");
    }
  }
  if (r.file.empty()) throw InstallUsageError(command + " needs the saver file");
  if (r.only && r.host && *r.host != SaverHost::kXScreenSaver) {
    throw InstallUsageError("--only is for --for xscreensaver");
  }
  return r;
}

// Windows keeps its saver in SCRNSAVE.EXE under HKCU\Control Panel\Desktop: that is the work of
// the pack tool built for Windows, which sets and clears it here.
int ForWindows(const Request&, bool, std::ostream&) {
  throw Error("--for windows: this slidesaver-pack runs on Linux; install a saver on Windows with "
              "slidesaver-pack.exe install there");
}

// The saver's file copied into the folder for savers (unless it is that file already).
void CopySaver(const Request& r, const Places& p, std::ostream& out) {
  std::error_code error;
  if (fs::equivalent(r.file, p.saver, error)) {
    out << p.saver << " is in place already\n";
    return;
  }
  const auto bytes = ReadText(r.file);
  if (!bytes) throw Error("Cannot read \"" + r.file + "\": no such file");
  fs::create_directories(p.folder, error);
  if (error) throw Error("Cannot make the folder \"" + p.folder + "\": " + error.message());
  WriteAtomically(p.saver, *bytes, 0755);
  out << "copied " << r.file << " to " << p.saver << "\n";
}

// Writes the new text of ~/.xscreensaver, the old one kept as the backup; a file left with
// nothing in it is removed. Returns what to say about the backup.
std::string ReplaceXScreenSaverFile(const Places& p, const std::optional<std::string>& old,
                                    const std::string& text) {
  std::error_code error;
  std::string target = p.xscreensaver;
  if (fs::is_symlink(fs::symlink_status(target, error))) {  // a dotfile kept elsewhere
    target = fs::canonical(target, error).string();
    if (error) throw Error("Cannot follow the link \"" + p.xscreensaver + "\": " + error.message());
  }
  std::string note;
  if (old) {
    WriteAtomically(p.backup, *old, 0644, target);  // as private as the file
    note = " (backup: " + p.backup + ")";
  }
  if (Trim(text).find_first_not_of("\n") == std::string_view::npos) {
    RemoveFile(target);
    return note + "; nothing else was in it, so it is removed";
  }
  WriteAtomically(target, text, 0644, target);
  return note;
}

void RegisterWithXScreenSaver(const Request& r, const Places& p, const std::string& title,
                              std::ostream& out) {
  const auto old = ReadText(p.xscreensaver);
  const std::string command = SaverCommand(p) + " --root";
  const bool replacing = old && ProgramEntryIndex(*old, p.saver).has_value();
  const std::string text = AddProgramEntry(old.value_or(""), title, command, r.only);
  const std::string note = ReplaceXScreenSaverFile(p, old, text);
  out << (!old ? "created " + p.xscreensaver + " with" : replacing ? "replaced" : "added")
      << " \"" << title << "\" (" << command << ")" << (old ? (replacing ? " in " : " to ") + p.xscreensaver : "")
      << note << "\n";
  if (r.only) {
    out << "set mode: one and selected: " << *ProgramEntryIndex(text, p.saver) << " in " << p.xscreensaver
        << ": XScreenSaver shows this saver alone\n";
  }
}

bool UnregisterFromXScreenSaver(const Places& p, std::ostream& out) {
  const auto old = ReadText(p.xscreensaver);
  if (!old) return false;
  std::optional<std::string> before = ReadText(p.backup);
  if (!before) before = std::string();  // no backup: the file came with the saver
  if (ProgramEntryIndex(*before, p.saver)) before.reset();
  const auto text = RemoveProgramEntry(*old, p.saver, before);
  if (!text) return false;
  const std::string note = ReplaceXScreenSaverFile(p, old, *text);
  out << "removed the entry of " << p.saver << " from " << p.xscreensaver << note << "\n";
  return true;
}

void RegisterWithXSecureLock(const Places& p, std::ostream& out) {
  const auto old = ReadText(p.module);
  WriteAtomically(p.module, ModuleScript(p), 0755);
  out << (old && *old != ModuleScript(p) ? "replaced " : "wrote ") << p.module << " (runs "
      << SaverCommand(p) << ")\n"
      << "set XSECURELOCK_SAVER in the environment xsecurelock starts in (exported in ~/.xsessionrc, "
         "for example):\n"
      << "XSECURELOCK_SAVER=" << p.module << "\n";
}

bool UnregisterFromXSecureLock(const Places& p, bool asked, std::ostream& out) {
  const auto old = ReadText(p.module);
  if (!old) return false;
  if (*old != ModuleScript(p)) {
    if (asked) out << "left " << p.module << " as it is: it does not run " << p.saver << "\n";
    return false;
  }
  RemoveFile(p.module);
  out << "removed " << p.module << "\n";
  return true;
}

// The session lines for the daemons that take the saver on their command line.
std::vector<std::string> SessionLines(SaverHost host, const Request& r, const Places& p) {
  if (host == SaverHost::kXssLock) return {"xss-lock -- " + SaverCommand(p) + " &"};
  if (Hypridle(r)) {
    return {"listener {", "    timeout = 300", "    on-timeout = " + SaverCommand(p), "}"};
  }
  const std::string command = SaverCommand(p);
  const char quote = command.find('\'') == std::string::npos ? '\'' : '"';
  return {"exec swayidle -w timeout 300 " + (quote + command + quote)};
}

std::string_view SessionFile(SaverHost host, const Request& r) {
  if (host == SaverHost::kXssLock) return "your session start-up (~/.xsessionrc, for example)";
  return Hypridle(r) ? "~/.config/hypr/hypridle.conf" : "~/.config/sway/config";
}

int Install(const Request& r, const Places& p, std::ostream& out) {
  const std::string title = SaverTitle(r.file);  // also tells that it is a saver
  CopySaver(r, p, out);
  switch (*r.host) {
    case SaverHost::kXScreenSaver:
      RegisterWithXScreenSaver(r, p, title, out);
      break;
    case SaverHost::kXSecureLock:
      RegisterWithXSecureLock(p, out);
      break;
    case SaverHost::kXssLock:
    case SaverHost::kSway:
      out << "add this to " << SessionFile(*r.host, r) << ":\n";
      for (const std::string& line : SessionLines(*r.host, r, p)) out << line << "\n";
      break;
    case SaverHost::kWindows:
      break;
  }
  return 0;
}

int Uninstall(const Request& r, const Places& p, std::ostream& out) {
  bool removed = false;
  if (!r.host || *r.host == SaverHost::kXScreenSaver) removed |= UnregisterFromXScreenSaver(p, out);
  if (!r.host || *r.host == SaverHost::kXSecureLock) {
    removed |= UnregisterFromXSecureLock(p, r.host.has_value(), out);
  }
  if (::access(p.saver.c_str(), F_OK) == 0 || fs::is_symlink(p.saver)) {
    RemoveFile(p.saver);
    out << "removed " << p.saver << "\n";
    removed = true;
    const std::optional<SaverHost> host = r.host ? r.host : r.found ? std::optional(r.found->host) : std::nullopt;
    if (host == SaverHost::kXssLock || host == SaverHost::kSway) {
      out << "if you added it, take this out of " << SessionFile(*host, r) << ":\n";
      for (const std::string& line : SessionLines(*host, r, p)) out << line << "\n";
    }
  }
  if (!removed) out << "nothing to remove: " << p.saver << " is not installed\n";
  return 0;
}

}  // namespace

int InstallCommand(const std::vector<std::string>& args, bool uninstall, std::ostream& out) {
  Request r = ParseArguments(args, uninstall);
  if (r.host == SaverHost::kWindows) return ForWindows(r, uninstall, out);
  if (!r.host) {
    const Found found = FindDaemon();
    r.found = found.daemon;
    if (!uninstall) {  // uninstall looks in every place
      if (!r.found) {
        throw Error("found no screen-saver daemon running or installed; name one with --for "
                    "xscreensaver, --for xsecurelock, --for xss-lock or --for sway");
      }
      if (r.only && r.found->host != SaverHost::kXScreenSaver) {
        throw InstallUsageError("--only is for XScreenSaver, and " + std::string(r.found->process) +
                                " was found: name it with --for xscreensaver");
      }
      r.host = r.found->host;
      out << "found " << r.found->process << (found.running ? " running" : " installed") << "\n";
    }
  }
  const Places places = PlacesFor(r.file);
  return uninstall ? Uninstall(r, places, out) : Install(r, places, out);
}

int InstallCommand(const std::vector<std::string>& args, bool uninstall) {
  return InstallCommand(args, uninstall, std::cout);
}

}  // namespace slidesaver
