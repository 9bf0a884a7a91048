// The GUI tests' main: one QApplication for the whole run, on the offscreen
// platform unless the environment names another. Listing the tests (as the
// build does to discover them) needs no application.
#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>
#include <cstring>
#include <memory>

int main(int argc, char** argv) {
  bool listing = false;
  for (int i = 1; i < argc; ++i)
    if (std::strcmp(argv[i], "--gtest_list_tests") == 0) listing = true;
  ::testing::InitGoogleTest(&argc, argv);
  if (listing) return RUN_ALL_TESTS();
  ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication app(argc, argv);
  // Windows close in every test; none of that may end the application.
  QApplication::setQuitOnLastWindowClosed(false);
  return RUN_ALL_TESTS();
}
