#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/cmdline.h"
#include "ui/desktop.h"

namespace slidesaver {
namespace {

// The test program's own start: the text after its name splits into the arguments the C
// runtime handed to main (they are plain words here, so both ways of splitting agree).
TEST(ProgramArgumentsTest, HoldsWhatFollowsTheProgramsOwnName) {
  std::vector<std::string> argv = testing::internal::GetArgvs();
  ASSERT_FALSE(argv.empty());
  argv.push_back("");  // the pointer array ends with a null pointer, as main's does
  std::vector<char*> pointers;
  for (std::string& argument : argv) pointers.push_back(argument.data());
  pointers.back() = nullptr;
  const int argc = static_cast<int>(argv.size()) - 1;
  const std::string text = ProgramArguments(argc, pointers.data());
  EXPECT_EQ(SplitCommandLine(text), std::vector<std::string>(argv.begin() + 1, argv.end() - 1));
  EXPECT_EQ(text.find(argv.front()), std::string::npos) << text;
}

}  // namespace
}  // namespace slidesaver
