#include "ovatix/ini_file.h"

#include <gtest/gtest.h>

#include <clocale>
#include <filesystem>

#include "common/temp_dir.h"
#include "ovatix/collection.h"

namespace {

using Ovatix::Collection;
using Ovatix::IniFile;

TEST(IniFile, LooksUpNamesWithoutCaseInFileOrder) {
  IniFile ini;
  ini.Parse(
      "\xEF\xBB\xBF; comment\r\n"
      "[Zeta]\r\n  WavFile = z.wav \r\nnumber=7\r\n"
      "[alpha]\nWAVFILE=\"a b.wav\"\nWavFile=second.wav\n"
      "[ZETA]\nNumber=9\n"
      "stray line without equals\n[empty]\n");
  EXPECT_EQ(ini.Sections(), (std::vector<std::string>{"Zeta", "alpha", "ZETA", "empty"}));
  EXPECT_EQ(ini.Get("zeta", "WAVFILE"), "z.wav");
  EXPECT_EQ(ini.Get("ALPHA", "wavfile"), "a b.wav");  // first key wins, quotes dropped
  EXPECT_EQ(ini.GetInt("ZETA", "Number", 3), 7);      // the first section of that name
  EXPECT_FALSE(ini.Get("empty", "x").has_value());
  EXPECT_FALSE(ini.Get("missing", "x").has_value());
}

TEST(IniFile, ParsesNumbersWithDefaultsForBadValues) {
  EXPECT_EQ(Ovatix::ParseInt("0x10"), 16);
  EXPECT_EQ(Ovatix::ParseInt("$1F"), 31);
  EXPECT_EQ(Ovatix::ParseInt("0xFFFFFFFF"), -1);
  EXPECT_EQ(Ovatix::ParseInt(" -42 "), -42);
  EXPECT_EQ(Ovatix::ParseInt("12abc"), 12);
  EXPECT_FALSE(Ovatix::ParseInt("").has_value());
  EXPECT_FALSE(Ovatix::ParseInt("abc").has_value());
  EXPECT_FALSE(Ovatix::ParseInt("0xZZ").has_value());
  EXPECT_FALSE(Ovatix::ParseInt("$").has_value());
  EXPECT_FALSE(Ovatix::ParseInt("99999999999").has_value());
  EXPECT_DOUBLE_EQ(*Ovatix::ParseReal("0.25"), 0.25);
  EXPECT_DOUBLE_EQ(*Ovatix::ParseReal("-.5"), -0.5);
  EXPECT_DOUBLE_EQ(*Ovatix::ParseReal("1e-1"), 0.1);
  EXPECT_FALSE(Ovatix::ParseReal("nan").has_value());
  EXPECT_FALSE(Ovatix::ParseReal("inf").has_value());
  EXPECT_FALSE(Ovatix::ParseReal(",5").has_value());
  EXPECT_FALSE(Ovatix::ParseReal("").has_value());
}

TEST(IniFile, RealsUseDotWhateverTheLocale) {
  // A locale with a decimal comma, when the machine has one.
  const char* found = nullptr;
  for (const char* name : {"de_DE.UTF-8", "fr_FR.UTF-8", "de_DE", "fr_FR"}) {
    if (std::setlocale(LC_ALL, name)) {
      found = name;
      break;
    }
  }
  IniFile ini;
  ini.Parse("[s]\nPitchRND=0.75\n");
  EXPECT_FLOAT_EQ(ini.GetReal("s", "PitchRND", 0.3f), 0.75f);
  std::setlocale(LC_ALL, "C");
  if (!found) {
    GTEST_SKIP() << "no decimal-comma locale installed; checked under C only";
  }
}

TEST(Collection, ReadsSeriesWithDefaults) {
  Collection c;
  c.ReadText(
      "[applause]\nWavFile=crowd\\applause.wav\nProportion=0.25\nNumber=$A\n"
      "PitchRND=\nAheadRND=x\nMIDISynch=4\nUnknown=1\n"
      "[Applause]\nNumber=2\n[bravo]\n");
  EXPECT_EQ(c.Names(), (std::vector<std::string>{"Applause", "applause", "bravo"}));
  const Ovatix::SeriesParams& a = c.Find("applause");
  EXPECT_EQ(a.wavFile, "crowd\\applause.wav");
  EXPECT_FLOAT_EQ(a.proportion, 0.25f);
  EXPECT_EQ(a.number, 10);
  EXPECT_FLOAT_EQ(a.pitchSpread, 0.3f);
  EXPECT_FLOAT_EQ(a.aheadSpread, 0.5f);
  EXPECT_EQ(a.midiSynch, 4);
  // Both spellings read the first section of that name, as the platform's reader does.
  EXPECT_EQ(c.Find("Applause").number, 10);
  const Ovatix::SeriesParams& b = c.Find("bravo");
  EXPECT_EQ(b.wavFile, "");
  EXPECT_EQ(b.number, 3);
  EXPECT_FLOAT_EQ(b.volumeReducing, 0.5f);
  try {
    c.Find("whistle");
    FAIL();
  } catch (const std::exception& e) {
    EXPECT_STREQ(e.what(), "Series with name 'whistle' not found in collection!");
  }
  EXPECT_FALSE(c.Read("/nonexistent/collection.ini"));
  EXPECT_TRUE(c.Names().empty());
  c.ReadText("[x]\n");
  const TempDir folder;
  EXPECT_FALSE(c.Read(folder.path.string()));  // a folder
  EXPECT_TRUE(c.Names().empty());
  EXPECT_EQ(Ovatix::FileNamePart("C:\\crowd\\a.wav"), "a.wav");
  EXPECT_EQ(Ovatix::FileNamePart("c:b.wav"), "b.wav");
  EXPECT_EQ(Ovatix::FileNamePart("x/y/c.wav"), "c.wav");
}

}  // namespace
