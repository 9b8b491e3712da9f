// tessera demo: the tour writes its files and reports each step.
#include "RunTool.h"

#include <gtest/gtest.h>

#include <filesystem>

TEST(ToolDemo, WritesEveryFileItReportsAndRefusesBadSizes)
{
    TempFolder dir;
    ToolResult r = RunTool("demo --out '" + (dir / "tour") + "' --size 96x64");
    ASSERT_EQ(r.status, 0) << r.err;
    int reported = 0;
    for (size_t at = r.out.find("wrote "); at != std::string::npos; at = r.out.find("wrote ", at + 1)) {
        size_t end = r.out.find(" (", at);
        std::string path = r.out.substr(at + 6, end - at - 6);
        EXPECT_GT(std::filesystem::file_size(path), 0u) << path;
        ++reported;
    }
    EXPECT_GE(reported, 5);
    EXPECT_NE(r.out.find("rotate"), std::string::npos);

    ToolResult bad = RunTool("demo --out '" + (dir / "x") + "' --size 0x5");
    EXPECT_EQ(bad.status, 2);
    EXPECT_NE(bad.err.find("--size"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(dir / "x"));
}
