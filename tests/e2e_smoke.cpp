#include <gtest/gtest.h>

#include "support/coff_builder.h"
#include "support/tool_runner.h"

using namespace velm_test;

TEST(Smoke, ExampleConverts) {
    TempDir dir;
    dir.write("app.out", build_coff(example_program()));
    RunResult r = run_in(dir.path(), {"app", "app.c"});
    EXPECT_EQ(r.exit_status, 0) << r.out;
}
