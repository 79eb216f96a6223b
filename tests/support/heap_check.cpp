// Windows test programs: after every test the process's heaps are validated, and a damaged one
// ends the program with the test's name (zelpack_test() compiles this into each of them).
#include "tests/support/heap_check.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

namespace {

class HeapCheck : public ::testing::EmptyTestEventListener {
    void OnTestEnd(const ::testing::TestInfo& test) override {
        if (!zelpack::testing::HeapsAreIntact()) {
            std::fprintf(stderr, "heap damaged during %s.%s\n", test.test_suite_name(),
                         test.name());
            std::fflush(stderr);
            std::_Exit(3);
        }
    }
};

const bool registered = [] {
    ::testing::UnitTest::GetInstance()->listeners().Append(new HeapCheck);
    return true;
}();

}  // namespace
