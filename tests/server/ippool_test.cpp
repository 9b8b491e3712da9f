#include "server/IPPool.h"

#include <gtest/gtest.h>

TEST(VerifyURL, AcceptsEveryUrlWhateverTheOtherArguments)
{
    const char* urls[] = {"", "not a url", "http://", "https://example.com/a?b=c#d", "ftp://[::1]:21/x",
                          "\x01\xff%zz"};
    for (const char* url : urls)
        for (bool flag : {false, true})
            for (const char* extra : {"", "anything"})
                EXPECT_TRUE(CIPPool::VerifyURL(CString(url), flag, CString(extra))) << url;
}
