// write_file_replacing: the one way the tools write a work unit.  It replaces
// only regular files, and leaves nothing but the destination behind.

#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "support.h"
#include "tools/lib/workunit_file.h"

namespace {

const std::string bytes = "65 20\n\nsome work unit\n";

TEST(FileReplacing, creates_a_new_file_with_the_bytes_and_nothing_beside_it)
{
    const std::string directory = make_temporary_directory();
    std::string error;
    ASSERT_TRUE(write_file_replacing(directory + "/unit.wu", bytes, error)) << error;
    EXPECT_EQ(read_file(directory + "/unit.wu"), bytes);
    EXPECT_EQ(directory_entries(directory), std::vector<std::string>{"unit.wu"});
}

TEST(FileReplacing, replaces_a_regular_file_in_place)
{
    const std::string directory = make_temporary_directory();
    write_file(directory + "/unit.wu", "an older and longer content than the new one\n");
    std::string error;
    ASSERT_TRUE(write_file_replacing(directory + "/unit.wu", bytes, error)) << error;
    EXPECT_EQ(read_file(directory + "/unit.wu"), bytes);
    EXPECT_EQ(directory_entries(directory), std::vector<std::string>{"unit.wu"});
}

TEST(FileReplacing, a_name_without_folder_is_written_in_the_current_folder)
{
    const std::string directory = make_temporary_directory();
    char previous[4096];
    ASSERT_NE(getcwd(previous, sizeof previous), nullptr);
    ASSERT_EQ(chdir(directory.c_str()), 0);
    std::string error;
    const bool written = write_file_replacing("unit.wu", bytes, error);
    ASSERT_EQ(chdir(previous), 0);
    ASSERT_TRUE(written) << error;
    EXPECT_EQ(read_file(directory + "/unit.wu"), bytes);
    EXPECT_EQ(directory_entries(directory), std::vector<std::string>{"unit.wu"});
}

TEST(FileReplacing, refuses_a_symbolic_link_and_leaves_it_and_its_target_alone)
{
    const std::string directory = make_temporary_directory();
    write_file(directory + "/target", "target\n");
    ASSERT_EQ(symlink("target", (directory + "/unit.wu").c_str()), 0);
    std::string error;
    EXPECT_FALSE(write_file_replacing(directory + "/unit.wu", bytes, error));
    EXPECT_EQ(error, "refusing to replace " + directory + "/unit.wu: it is a symbolic link");
    struct stat info;
    ASSERT_EQ(lstat((directory + "/unit.wu").c_str(), &info), 0);
    EXPECT_TRUE(S_ISLNK(info.st_mode));
    EXPECT_EQ(read_file(directory + "/target"), "target\n");
    EXPECT_EQ(directory_entries(directory), (std::vector<std::string>{"target", "unit.wu"}));
}

TEST(FileReplacing, refuses_a_symbolic_link_that_leads_nowhere)
{
    const std::string directory = make_temporary_directory();
    ASSERT_EQ(symlink("missing", (directory + "/unit.wu").c_str()), 0);
    std::string error;
    EXPECT_FALSE(write_file_replacing(directory + "/unit.wu", bytes, error));
    EXPECT_EQ(error, "refusing to replace " + directory + "/unit.wu: it is a symbolic link");
    EXPECT_EQ(directory_entries(directory), std::vector<std::string>{"unit.wu"});
}

TEST(FileReplacing, refuses_a_directory)
{
    const std::string directory = make_temporary_directory();
    ASSERT_EQ(mkdir((directory + "/unit.wu").c_str(), 0755), 0);
    std::string error;
    EXPECT_FALSE(write_file_replacing(directory + "/unit.wu", bytes, error));
    EXPECT_EQ(error, "refusing to replace " + directory + "/unit.wu: it is a directory");
    EXPECT_EQ(directory_entries(directory), std::vector<std::string>{"unit.wu"});
}

// A named pipe stands for device nodes and the other special files: creating
// one needs no privileges, and it is not a regular file either.
TEST(FileReplacing, refuses_a_special_file)
{
    const std::string directory = make_temporary_directory();
    ASSERT_EQ(mkfifo((directory + "/unit.wu").c_str(), 0644), 0);
    std::string error;
    EXPECT_FALSE(write_file_replacing(directory + "/unit.wu", bytes, error));
    EXPECT_EQ(error, "refusing to replace " + directory + "/unit.wu: it is not a regular file");
    struct stat info;
    ASSERT_EQ(lstat((directory + "/unit.wu").c_str(), &info), 0);
    EXPECT_TRUE(S_ISFIFO(info.st_mode));
    EXPECT_EQ(directory_entries(directory), std::vector<std::string>{"unit.wu"});
}

TEST(FileReplacing, a_missing_folder_is_reported_and_nothing_is_created)
{
    const std::string directory = make_temporary_directory();
    std::string error;
    EXPECT_FALSE(write_file_replacing(directory + "/none/unit.wu", bytes, error));
    EXPECT_EQ(error, "cannot create a file beside " + directory + "/none/unit.wu: No such file or directory");
    EXPECT_TRUE(directory_entries(directory).empty());
}

// The tool that writes over a path the operator names refuses a special file
// with its usual status, and the file stays what it was.
TEST(FileReplacing, dlsmate_next_refuses_a_special_file_as_continuation)
{
    const std::string directory = make_temporary_directory();
    const std::string unit = read_file(std::string(DLSMATE_SAMPLES_DIR) + "/sample.wu");
    write_file(directory + "/sample.wu", unit);
    write_file(directory + "/sample.out", run_in_process(unit));
    ASSERT_EQ(mkfifo((directory + "/next.wu").c_str(), 0644), 0);
    const CommandResult next =
        run_command({DLSMATE_NEXT, directory + "/sample.wu", directory + "/sample.out", directory + "/next.wu"});
    EXPECT_EQ(next.status, 2);
    EXPECT_EQ(next.out, "");
    EXPECT_EQ(next.err, "dlsmate-next: refusing to replace " + directory + "/next.wu: it is not a regular file\n");
    struct stat info;
    ASSERT_EQ(lstat((directory + "/next.wu").c_str(), &info), 0);
    EXPECT_TRUE(S_ISFIFO(info.st_mode));
    EXPECT_EQ(directory_entries(directory), (std::vector<std::string>{"next.wu", "sample.out", "sample.wu"}));
}

} // namespace
