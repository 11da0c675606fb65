// Registry string data that may lack its NUL. Every buffer is a heap block of
// exactly its size so AddressSanitizer catches an over-read.
#include "iconassign/registrytext.h"
#include "exactblock.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

TEST(TerminateRegistryText, NulInsideTheDataEndsTheText)
{
    char buffer[10] = { 'a', 'b', 'c', 0, 'd', 'e', 'f', 'g', 0, 'x' };
    EXPECT_EQ(3u, TerminateRegistryText(buffer, sizeof buffer, 8));
    EXPECT_STREQ("abc", buffer);
}

TEST(TerminateRegistryText, DataWithoutNulEndsAtBytesRead)
{
    char buffer[10] = { 'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h', 'i', 'j' };
    EXPECT_EQ(5u, TerminateRegistryText(buffer, sizeof buffer, 5));
    EXPECT_STREQ("abcde", buffer);
}

TEST(TerminateRegistryText, BytesAfterBytesReadAreNotLookedAt)
{
    char buffer[10] = { 'a', 'b', 'c', 'd', 0, 'f', 'g', 'h', 'i', 'j' };
    EXPECT_EQ(2u, TerminateRegistryText(buffer, sizeof buffer, 2));
    EXPECT_STREQ("ab", buffer);
}

TEST(TerminateRegistryText, FullBufferWithoutNulIsCut)
{
    std::string data(260, 'p');
    std::unique_ptr<char[]> buffer = ExactCopy<char>(data.data(), data.size());
    EXPECT_EQ(259u, TerminateRegistryText(buffer.get(), 260, 260));
    EXPECT_EQ(std::string(259, 'p'), std::string(buffer.get()));
}

TEST(TerminateRegistryText, BytesReadAboveTheBufferSize)
{
    std::string data(20, 'p');
    std::unique_ptr<char[]> buffer = ExactCopy<char>(data.data(), data.size());
    EXPECT_EQ(19u, TerminateRegistryText(buffer.get(), 20, 300));
    EXPECT_EQ(std::string(19, 'p'), std::string(buffer.get()));
    buffer[4] = '\0';
    EXPECT_EQ(4u, TerminateRegistryText(buffer.get(), 20, 0xFFFFFFFFul));
}

TEST(TerminateRegistryText, FullBufferWithFinalNulKeepsItsText)
{
    std::string data(259, 'p');
    std::unique_ptr<char[]> buffer = ExactCopy<char>(data.c_str(), 260);
    EXPECT_EQ(259u, TerminateRegistryText(buffer.get(), 260, 260));
}

TEST(TerminateRegistryText, NoDataGivesEmptyText)
{
    std::unique_ptr<char[]> buffer = ExactCopy<char>("xyz", 3);
    EXPECT_EQ(0u, TerminateRegistryText(buffer.get(), 3, 0));
    EXPECT_EQ('\0', buffer[0]);
}

TEST(TerminateRegistryText, TinyBuffers)
{
    char one = 'a';
    EXPECT_EQ(0u, TerminateRegistryText(&one, 1, 1));
    EXPECT_EQ('\0', one);
    one = 'a';
    EXPECT_EQ(0u, TerminateRegistryText(&one, 0, 1));
    EXPECT_EQ('a', one);                        // nothing written
}
