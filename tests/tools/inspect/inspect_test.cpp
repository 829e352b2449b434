// The inspection tool run as a user runs it: a readable song and a refused file.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "audio/midi_builder.h"
#include "common/temp_dir.h"

using TavroTest::BuildMidi;
using TavroTest::TrackBuilder;

namespace {

TEST(Inspect, ReportsEveryFile) {
  const TempDir temp;
  const auto& dir = temp.path;
  TrackBuilder t;
  t.Tempo(0, 400000).Msg(0, 0xC2, 40).Msg(0, 0x92, 60, 100).Msg(96, 0x82, 60, 0).End();
  const auto good = BuildMidi(1, 96, {t});
  std::ofstream(dir / "good.mid", std::ios::binary)
      .write(reinterpret_cast<const char*>(good.data()), static_cast<long>(good.size()));
  std::ofstream(dir / "bad.mid") << "not a song";
  auto run = [&](const std::string& args) {
    const std::string out = (dir / "out.txt").string();
    const int status = std::system(
        (std::string(TAVRO_PROGRAM_DIR) + "/tavro-inspect " + args + " > " + out).c_str());
    std::ifstream in(out);
    return std::make_pair(WEXITSTATUS(status), std::string(std::istreambuf_iterator<char>(in), {}));
  };
  const auto [okStatus, okText] = run((dir / "good.mid").string());
  EXPECT_EQ(okStatus, 0);
  EXPECT_NE(okText.find("format 1, 1 tracks"), std::string::npos) << okText;
  EXPECT_NE(okText.find("150.00 bpm"), std::string::npos) << okText;
  EXPECT_NE(okText.find(" 3: 1 notes, programs: 40"), std::string::npos) << okText;
  const auto [badStatus, badText] =
      run((dir / "good.mid").string() + " " + (dir / "bad.mid").string());
  EXPECT_EQ(badStatus, 1);
  EXPECT_NE(badText.find("bad.mid: refused: not a MIDI file"), std::string::npos) << badText;
}

}  // namespace
