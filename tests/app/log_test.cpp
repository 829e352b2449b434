#include <gtest/gtest.h>

#include <string>

#include "app/log.h"
#include "framework/exception.h"

namespace {

TEST(Log, WritesTheMessageAndALineFeed) {
  ::testing::internal::CaptureStdout();
  Kesh::Log("\tError quering audio player interface");
  Kesh::Log("Started on %s", "Tue Dec  8 17:00:00 2026\n");
  Kesh::Log("%d artists", 3);
  EXPECT_EQ(::testing::internal::GetCapturedStdout(),
            "\tError quering audio player interface\n"
            "Started on Tue Dec  8 17:00:00 2026\n\n"
            "3 artists\n");
}

TEST(Log, ExceptionsWithTheirDetail) {
  ::testing::internal::CaptureStdout();
  Kesh::LogException(Vell::Exception());
  Kesh::LogException(Vell::Exception("'artists/patchmap.xml': cannot open the file"));
  EXPECT_EQ(::testing::internal::GetCapturedStdout(),
            "Generic exception\n"
            "Generic exception ('artists/patchmap.xml': cannot open the file)\n");
}

TEST(Log, LongMessagesAreCutAt255Characters) {
  const std::string longText(1000, 'x');
  ::testing::internal::CaptureStdout();
  Kesh::Log("%s%s", "ab", longText.c_str());
  const std::string out = ::testing::internal::GetCapturedStdout();
  ASSERT_EQ(out.size(), 256U);
  EXPECT_EQ(out.substr(0, 3), "abx");
  EXPECT_EQ(out.back(), '\n');
  EXPECT_EQ(out[254], 'x');
}

}  // namespace
