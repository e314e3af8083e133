#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/error.h"
#include "setup/settings.h"
#include "tests/unit/setup/settings_fixture.h"

namespace slidesaver {
namespace {

using test::SettingsFileTest;
namespace fs = std::filesystem;

TEST(SettingsFilePathTest, JoinsExecutableFolderAndFileName) {
  EXPECT_EQ(SettingsFilePath("/opt/shows/beach.scr"), "/opt/shows/CONTROL.INI");
  EXPECT_EQ(SettingsFilePath("/slidesaver"), "/CONTROL.INI");
  EXPECT_EQ(SettingsFilePath("shows/beach"), "shows/CONTROL.INI");
  EXPECT_EQ(SettingsFilePath("beach"), "CONTROL.INI");
}

TEST_F(SettingsFileTest, MuteValuesReadAsIntegers) {
  struct Case {
    const char* stored;
    bool whenDefaultClear;
    bool whenDefaultSet;
  };
  const Case cases[] = {
      {"1", true, true},     {"0", false, false},
      {"0x1", true, true},   {"0X10", true, true},
      {"0x0", false, false}, {"-1", true, true},
      {"  1  ", true, true}, {"\"1\"", true, true},
      {"'0'", false, false}, {"yes", false, true},
      {"", false, true},     {"1 ; note", false, true},
      {"x1", false, true},   {"99999999999", false, true},
      {"\"1'", false, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.stored);
    Store(ini_, std::string("[Setup]\nmute=") + c.stored + "\n");
    EXPECT_EQ(ReadMuteSetting(ini_, false), c.whenDefaultClear);
    EXPECT_EQ(ReadMuteSetting(ini_, true), c.whenDefaultSet);
  }
}

TEST_F(SettingsFileTest, MissingOrUnreadableSettingGivesDefault) {
  EXPECT_FALSE(ReadMuteSetting(ini_, false));
  EXPECT_TRUE(ReadMuteSetting(ini_, true));
  EXPECT_EQ(ReadProfileInt(ini_, "Setup", "mute", 7), 7);

  Store(ini_, "[Other]\nmute=1\n");
  EXPECT_TRUE(ReadMuteSetting(ini_, true));
  EXPECT_FALSE(ReadMuteSetting(ini_, false));
  Store(ini_, "[Setup]\nvolume=1\n");
  EXPECT_FALSE(ReadMuteSetting(ini_, false));

  // A folder where the file should be is not a readable file.
  fs::create_directory(folder_ + "/sub");
  EXPECT_FALSE(ReadProfileString(folder_ + "/sub", "Setup", "mute").has_value());
}

TEST_F(SettingsFileTest, NamesMatchWithoutCaseAndBlanks) {
  Store(ini_, "  [ sEtUp ]  \r\n\t MUTE \t=  0x1 \r\n");
  EXPECT_TRUE(ReadMuteSetting(ini_, false));
  EXPECT_EQ(ReadProfileString(ini_, " SETUP", "Mute "), "0x1");
}

TEST_F(SettingsFileTest, FirstSectionAndFirstKeyCount) {
  Store(ini_,
        "mute=1\n"  // before any section
        "[Setup]\n"
        ";mute=1\n"   // a comment is no key named mute
        "mute\n"      // no "=": not a key
        "[mute=1]\n"  // a section header, not a key
        "[setup]\n"
        "mute=0\n"
        "MUTE=1\n"
        "[Setup]\n"
        "mute=1\n");
  // The first [Setup] has no mute key: the later sections do not count.
  EXPECT_FALSE(ReadMuteSetting(ini_, false));
  EXPECT_EQ(ReadProfileString(ini_, "setup", "mute"), std::nullopt);

  Store(ini_, "[Setup]\nmute=0\nMUTE=1\n[Setup]\nmute=1\n");
  EXPECT_FALSE(ReadMuteSetting(ini_, true));
  EXPECT_EQ(ReadProfileString(ini_, "Setup", "mute"), "0");
}

TEST_F(SettingsFileTest, ValuesLoseBlanksAndOnePairOfQuotes) {
  Store(ini_, "[s]\na = ' x y ' \nb=\"\"q\"\"\nc=a=b\nd=\ne=\"\n");
  EXPECT_EQ(ReadProfileString(ini_, "s", "a"), " x y ");
  EXPECT_EQ(ReadProfileString(ini_, "s", "b"), "\"q\"");
  EXPECT_EQ(ReadProfileString(ini_, "s", "c"), "a=b");
  EXPECT_EQ(ReadProfileString(ini_, "s", "d"), "");
  EXPECT_EQ(ReadProfileString(ini_, "s", "e"), "\"");
}

TEST_F(SettingsFileTest, WritingCreatesTheFile) {
  WriteMuteSetting(ini_, true);
  EXPECT_EQ(Load(ini_), "[Setup]\nmute=1\n");
  EXPECT_TRUE(ReadMuteSetting(ini_, false));
  WriteMuteSetting(ini_, false);
  EXPECT_EQ(Load(ini_), "[Setup]\nmute=0\n");
  EXPECT_FALSE(ReadMuteSetting(ini_, true));
  struct stat info;
  ASSERT_EQ(::stat(ini_.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0600, 0600);
}

TEST_F(SettingsFileTest, WritingReplacesOnlyTheKeyLine) {
  const std::string before =
      "; user settings\n"
      "[Display]\n"
      "mute=9\n"
      "\n"
      "  [ SETUP ] ; main\n"
      "volume = 3\n"
      "  Mute = 'yes'  \n"
      "mute=1\n"
      "[Setup]\n"
      "mute=5\n"
      "tail without end";
  Store(ini_, before);
  WriteMuteSetting(ini_, true);
  std::string expected = before;
  expected.replace(expected.find("  Mute = 'yes'  "), 16, "mute=1");
  EXPECT_EQ(Load(ini_), expected);
  EXPECT_EQ(ReadProfileString(ini_, "Display", "mute"), "9");
  EXPECT_EQ(ReadProfileString(ini_, "setup", "volume"), "3");
}

TEST_F(SettingsFileTest, WritingAddsTheKeyAfterTheSectionsLastLine) {
  Store(ini_, "[Setup]\nvolume=3\n; end of setup\n\n \n[Other]\nmute=0\n");
  WriteMuteSetting(ini_, true);
  EXPECT_EQ(Load(ini_), "[Setup]\nvolume=3\n; end of setup\nmute=1\n\n \n[Other]\nmute=0\n");

  Store(ini_, "[Other]\r\nx=1\r\n[Setup]");
  WriteMuteSetting(ini_, false);
  EXPECT_EQ(Load(ini_), "[Other]\r\nx=1\r\n[Setup]\r\nmute=0\r\n");
}

TEST_F(SettingsFileTest, WritingAppendsAMissingSection) {
  Store(ini_, "[Other]\r\nmute=1\r\n\r\n");
  WriteMuteSetting(ini_, false);
  EXPECT_EQ(Load(ini_), "[Other]\r\nmute=1\r\n\r\n[Setup]\r\nmute=0\r\n");
  EXPECT_FALSE(ReadMuteSetting(ini_, true));

  Store(ini_, "[Other]\nmute=1");
  WriteMuteSetting(ini_, true);
  EXPECT_EQ(Load(ini_), "[Other]\nmute=1\n[Setup]\nmute=1\n");

  Store(ini_, "");
  WriteProfileString(ini_, " Colours ", " Back ", "blue sky");
  EXPECT_EQ(Load(ini_), "[Colours]\nBack=blue sky\n");
}

TEST_F(SettingsFileTest, CrlfLinesStayCrlf) {
  Store(ini_, "[Setup]\r\nmute=0\r\nkeep=me\r\n");
  WriteMuteSetting(ini_, true);
  EXPECT_EQ(Load(ini_), "[Setup]\r\nmute=1\r\nkeep=me\r\n");
  WriteProfileString(ini_, "Setup", "volume", "4");
  EXPECT_EQ(Load(ini_), "[Setup]\r\nmute=1\r\nkeep=me\r\nvolume=4\r\n");
}

TEST_F(SettingsFileTest, LongLinesAreCopiedWhole) {
  const std::string longLine(300 * 1024, 'z');
  const std::string before = "[Junk]\n" + longLine + "\n[Setup]\nmute=0\n";
  Store(ini_, before);
  EXPECT_FALSE(ReadMuteSetting(ini_, true));
  WriteMuteSetting(ini_, true);
  EXPECT_EQ(Load(ini_), "[Junk]\n" + longLine + "\n[Setup]\nmute=1\n");
}

TEST_F(SettingsFileTest, FailuresNameThePath) {
  auto expectFailure = [](const std::string& path, std::string_view section, std::string_view key,
                          std::string_view value) {
    try {
      WriteProfileString(path, section, key, value);
      ADD_FAILURE() << "no error for " << path;
    } catch (const Error& error) {
      EXPECT_STREQ(error.what(), ("Unable to write to " + path).c_str());
    }
  };
  expectFailure(folder_ + "/missing/CONTROL.INI", "Setup", "mute", "1");
  fs::create_directory(folder_ + "/sub");
  expectFailure(folder_ + "/sub", "Setup", "mute", "1");

  // Values that would break the file's structure are refused.
  Store(ini_, "[Setup]\nmute=0\n");
  expectFailure(ini_, "Setup", "mute", "1\n[Evil]");
  expectFailure(ini_, "Se]tup", "mute", "1");
  expectFailure(ini_, "Setup", "mu=te", "1");
  expectFailure(ini_, "Setup", "[mute", "1");
  expectFailure(ini_, " ", "mute", "1");
  EXPECT_EQ(Load(ini_), "[Setup]\nmute=0\n");
}

}  // namespace
}  // namespace slidesaver
