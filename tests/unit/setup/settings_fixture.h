#pragma once

// A scratch folder with a settings file path, for the settings tests.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/support/scratch_folder.h"

namespace slidesaver::test {

namespace fs = std::filesystem;

class SettingsFileTest : public ::testing::Test {
 protected:
  static void Store(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
    ASSERT_TRUE(out.good());
  }

  static std::string Load(const std::string& path) { return ScratchFolder::Read(path); }

  std::vector<std::string> FolderEntries() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder_)) {
      names.push_back(entry.path().filename().string());
    }
    return names;
  }

  ScratchFolder scratch_{"settings_test"};
  std::string folder_ = scratch_.Path();
  std::string ini_ = folder_ + "/CONTROL.INI";
};

}  // namespace slidesaver::test
