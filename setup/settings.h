#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace slidesaver {

// The user's settings live in "CONTROL.INI", a profile (INI) file next to the
// executable:
//
//   [Setup]
//   mute=1
//
// Profile rules: a section starts at a line "[name]"; a key line is
// "key=value". Section and key names match without regard to ASCII letter case
// and with surrounding blanks ignored; the value loses its surrounding blanks
// and one pair of enclosing matching quotes (" or '). The first matching
// section and the first matching key in it count. Lines without "=" are not
// keys, and key lines before the first section belong to no section. LF and
// CRLF line ends both read.

// "CONTROL.INI" in the folder of `executablePath`.
std::string SettingsFilePath(const std::string& executablePath);

// The value of `key` in `section`, or nothing when the file, the section or the
// key is missing. Never throws: an unreadable file reads as missing. Only the
// first 64 KiB of a line are looked at.
std::optional<std::string> ReadProfileString(const std::string& path, std::string_view section,
                                             std::string_view key);

// The value read as an integer (decimal, or hexadecimal after "0x"/"0X");
// `defaultValue` when it is missing or is not an integer. Never throws.
int ReadProfileInt(const std::string& path, std::string_view section, std::string_view key,
                   int defaultValue);

// Sets `key` in `section` to `value`, changing nothing else in the file: the
// first matching key line of the first matching section is replaced by
// "key=value"; otherwise that line is added after the last non-blank line of
// the section; otherwise "[section]" and the key line are appended; a missing
// file is created. New lines end in CRLF when the file's line ends are CRLF,
// else in LF. The file is replaced atomically (a temporary file in the same
// folder, synced, then renamed over it). A symbolic link (and every further
// link of a chain) is followed and kept only when the link belongs to the user
// running the program and its folder is not writable by group or others
// (unless that folder is sticky); any other link is not written through.
// Throws Error("Unable to write to <path>") on any failure, including such a
// link, and names or values that cannot be stored (line breaks, "=" in the
// key, "]" in the section, empty names).
void WriteProfileString(const std::string& path, std::string_view section, std::string_view key,
                        std::string_view value);

// The "mute" key of section "Setup": non-zero is muted; `defaultValue` when the
// value is missing or not an integer.
bool ReadMuteSetting(const std::string& iniPath, bool defaultValue);

// Stores "1" (muted) or "0". Throws Error("Unable to write to <iniPath>").
void WriteMuteSetting(const std::string& iniPath, bool muted);

}  // namespace slidesaver
