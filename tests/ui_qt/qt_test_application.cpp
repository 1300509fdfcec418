#include "qt_test_application.h"

#include <gtest/gtest.h>

#include <memory>

namespace ui_testing {

namespace {

class QtEnvironment : public ::testing::Environment {
 public:
  void SetUp() override { Application(); }
  void TearDown() override { s_application.reset(); }

  static QApplication& Application() {
    if (!s_application) s_application = std::make_unique<QApplication>(s_argc, s_argv);
    return *s_application;
  }

 private:
  static inline int s_argc = 1;
  static inline char s_name[] = "ui_qt_tests";
  static inline char* s_argv[] = {s_name, nullptr};
  static inline std::unique_ptr<QApplication> s_application;
};

[[maybe_unused]] ::testing::Environment* const ENVIRONMENT = ::testing::AddGlobalTestEnvironment(new QtEnvironment);

}  // namespace

QApplication& TestApplication() { return QtEnvironment::Application(); }

}  // namespace ui_testing
