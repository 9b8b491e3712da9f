// CString pieces with logic, and the CStringList position walk.
#include "platform/String.h"

#include <gtest/gtest.h>

TEST(String, SlicingAndSearch)
{
    CString s("photo.Jpeg");
    EXPECT_EQ(s.GetLength(), 10);
    EXPECT_EQ(s.ReverseFind('.'), 5);
    EXPECT_EQ(s.Left(5), "photo");
    EXPECT_EQ(s.Mid(6), "Jpeg");
    EXPECT_EQ(s.Right(4), "Jpeg");
    EXPECT_EQ(s.Right(40), s);
    EXPECT_EQ(s.Mid(40), "");
    EXPECT_EQ(CString(s).MakeLower(), "photo.jpeg");
    EXPECT_EQ(CString(nullptr), "");
    EXPECT_EQ("a" + CString("b") + "c", "abc");
}

TEST(StringList, WalkVisitsEveryEntryInOrder)
{
    CStringList list;
    EXPECT_EQ(list.GetHeadPosition(), nullptr);
    list.AddTail("one");
    list.AddTail("two");
    list.AddTail("three");
    std::string joined;
    for (POSITION pos = list.GetHeadPosition(); pos;)
        joined += list.GetNext(pos).str() + ";";
    EXPECT_EQ(joined, "one;two;three;");
    EXPECT_EQ(list.GetCount(), 3);
}
