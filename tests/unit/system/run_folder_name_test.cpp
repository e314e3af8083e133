#include <gtest/gtest.h>

#include <string>

#include "system/run_folder.h"

namespace slidesaver {
namespace {

TEST(RunFolderNameTest, OwnerComesFromTheNameOnly) {
  const struct {
    const char* name;
    std::uint32_t owner;
  } cases[] = {
      {"run-4242-Ab3dEf", 4242},     {"run-1-x", 1},           {"run-4294967295-x", 4294967295u},
      {"run-4294967296-x", 0},       {"run--x", 0},            {"run-12", 0},
      {"run-1a-x", 0},               {"Run-12-x", 0},          {"notes", 0},
      {"T.scrSemaphore@:0", 0},      {"run-99999999999-x", 0},
  };
  for (const auto& c : cases) EXPECT_EQ(RunFolderOwner(c.name), c.owner) << c.name;
}

}  // namespace
}  // namespace slidesaver
