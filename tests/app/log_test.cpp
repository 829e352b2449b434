#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/log.h"
#include "framework/diagnostics.h"
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

std::vector<std::string>& Lines() {
  static std::vector<std::string> lines;
  return lines;
}

// The program's log and the lower libraries' reports reach one sink, in order, texts unchanged.
TEST(Log, GoesThroughTheDiagnosticsSink) {
  Lines().clear();
  Vell::Diagnostics::SetSink([](const std::string& line) { Lines().push_back(line); });
  ::testing::internal::CaptureStdout();
  Kesh::Log("Started on %s", "Tue Dec  8 17:00:00 2026\n");
  Vell::Diagnostics::Report("Sprite image not read: x.png");
  Kesh::LogException(Vell::Exception("'a.xml': cannot open the file"));
  Kesh::Log("%s", std::string(300, 'y').c_str());
  const std::string out = ::testing::internal::GetCapturedStdout();
  Vell::Diagnostics::SetSink(nullptr);
  EXPECT_EQ(out, "");
  ASSERT_EQ(Lines().size(), 4U);
  EXPECT_EQ(Lines()[0], "Started on Tue Dec  8 17:00:00 2026\n");
  EXPECT_EQ(Lines()[1], "Sprite image not read: x.png");
  EXPECT_EQ(Lines()[2], "Generic exception ('a.xml': cannot open the file)");
  EXPECT_EQ(Lines()[3], std::string(255, 'y'));
}

}  // namespace
