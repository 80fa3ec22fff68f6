// velm_dump against a POSIX device that fails every write.
#include <gtest/gtest.h>

#include <string>

#include "dump_test_support.h"

using namespace velm_dump_test;

TEST(DumpCommandLine, ReportsWriteErrors) {
    TempDir dir;
    convert(dir, "app", velm_test::build_coff(velm_test::example_program()));
    RunResult full = velm_test::run_in(
        dir.path(), {"-c", "'" + dump_path() + "' app.bin > /dev/full"}, "/bin/sh");
    EXPECT_EQ(full.exit_status, 2);
    EXPECT_EQ(full.err, "velm_dump: write error: No space left on device\n");
}
