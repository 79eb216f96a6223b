// main() of the GUI tests: GoogleTest inside the window framework's application.
#include <gtest/gtest.h>

#include "gui/framework/application.h"
#include "tests/support/dialog_driver.h"

int main(int argc, char** argv) {
    zelpack::testing::PrepareWindowSystem();
    zelpack::framework::Application application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
