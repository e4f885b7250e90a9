// The main of the test programs. It takes the locale from the environment, as an interactive
// program would, so that running the tests with LC_ALL set to a locale whose decimal mark is a
// comma shows whether any file or message depends on the user's locale.
#include <gtest/gtest.h>

#include <clocale>

int main(int argc, char** argv) {
  std::setlocale(LC_ALL, "");
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
