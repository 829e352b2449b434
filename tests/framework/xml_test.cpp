#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "common/temp_dir.h"
#include "framework/xml.h"
#include "platform/platform.h"

namespace {

using namespace Vell::Data::Xml;

class XmlFiles : public ::testing::Test {
 protected:
  std::string Write(const std::string& name, const std::string& content) {
    std::ofstream(dir / name, std::ios::binary) << content;
    return (dir / name).string();
  }
  TempDir temp;
  const std::filesystem::path& dir = temp.path;
};

TEST(XmlAttribute, TypedReadsFollowTheLenientRules) {
  Document doc;
  ASSERT_TRUE(doc.LoadString(
      R"(<a i="12abc" n="abc" neg=" -7" big="99999999999" f="2.5x" e="" t="T" tr="TRUE" y="yes" one="1" d=".25"/>)"));
  auto root = doc.GetRoot();
  ASSERT_TRUE(root);
  int i = -1;
  EXPECT_TRUE(root->ReadInt("i", i));
  EXPECT_EQ(i, 12);
  EXPECT_TRUE(root->ReadInt("n", i));
  EXPECT_EQ(i, 0);  // no digits: 0, still a success
  EXPECT_TRUE(root->ReadInt("neg", i));
  EXPECT_EQ(i, -7);
  EXPECT_TRUE(root->ReadInt("big", i));
  EXPECT_EQ(i, 2147483647);  // saturates
  i = 42;
  EXPECT_FALSE(root->ReadInt("missing", i));
  EXPECT_EQ(i, 42);  // the caller's default stays

  float f = 0;
  EXPECT_TRUE(root->ReadFloat("f", f));
  EXPECT_FLOAT_EQ(f, 2.5f);
  EXPECT_TRUE(root->ReadFloat("e", f));
  EXPECT_FLOAT_EQ(f, 0.0f);
  EXPECT_TRUE(root->ReadFloat("d", f));
  EXPECT_FLOAT_EQ(f, 0.25f);

  bool b = false;
  EXPECT_TRUE(root->ReadBool("t", b));
  EXPECT_TRUE(b);
  EXPECT_TRUE(root->ReadBool("tr", b));
  EXPECT_TRUE(b);
  EXPECT_TRUE(root->ReadBool("y", b));  // "yes" is not true, but the read succeeds
  EXPECT_FALSE(b);
  b = true;
  EXPECT_TRUE(root->ReadBool("one", b));
  EXPECT_FALSE(b);
}

TEST(XmlNode, WalkSelectAndNodeKinds) {
  Document doc;
  ASSERT_TRUE(doc.LoadString(
      "<profile><styles auto=\"1\"><auto name=\"x\"/></styles>text<b/><!--c--></profile>"));
  auto styles = doc.SelectNode("profile/styles");
  ASSERT_TRUE(styles);
  EXPECT_EQ(styles->GetName(), "styles");
  EXPECT_FALSE(doc.SelectNode("styles"));  // the first step is the document element
  EXPECT_FALSE(doc.SelectNode("profile/missing"));

  auto root = doc.GetRoot();
  auto autoNode = root->SelectNode("styles/auto");  // relative to an element
  ASSERT_TRUE(autoNode);
  std::string name;
  EXPECT_TRUE(autoNode->ReadString("name", name));
  EXPECT_EQ(name, "x");

  std::vector<std::string> names;
  for (auto child = root->FirstChild(); child; child = child->NextSibling()) {
    names.push_back(child->GetName());
    if (!child->IsElement()) {
      EXPECT_FALSE(child->GetAttribute("auto"));  // text nodes have no attributes
      EXPECT_FALSE(child->AsElement());
    }
  }
  EXPECT_EQ(names, (std::vector<std::string>{"styles", "#text", "b"}));
}

TEST(XmlNode, WrappersOutliveTheirDocumentObject) {
  std::unique_ptr<Node> kept;
  {
    Document doc;
    ASSERT_TRUE(doc.LoadString("<a><b v=\"5\"/></a>"));
    kept = doc.SelectNode("a/b");
  }
  int v = 0;
  EXPECT_TRUE(kept->ReadInt("v", v));
  EXPECT_EQ(v, 5);
}

TEST_F(XmlFiles, LoadFailuresKeepThePreviousContentAndSayWhy) {
  Document doc;
  std::string why;
  const std::string missing = (dir / "missing.xml").string();
  EXPECT_FALSE(doc.Load(missing, &why));
  EXPECT_EQ(why, "'" + missing + "': cannot open the file");
  EXPECT_FALSE(doc.GetRoot());
  ASSERT_TRUE(doc.Load(Write("good.xml", "<ok/>")));
  // The closing tag's name starts at byte 8: "<a><b></" is eight bytes.
  const std::string bad = Write("bad.xml", "<a><b></a>");
  EXPECT_FALSE(doc.Load(bad, &why));
  EXPECT_EQ(why, "'" + bad + "': Start-end tags mismatch at byte 8");
  EXPECT_FALSE(doc.Load(Write("empty.xml", ""), &why));
  EXPECT_NE(why.find("empty.xml': No document element found at byte 0"), std::string::npos) << why;
  EXPECT_FALSE(doc.LoadString("<a x=\"1></a>", &why));
  EXPECT_EQ(why, "Error parsing element attribute at byte 6");
  ASSERT_TRUE(doc.GetRoot());
  EXPECT_EQ(doc.GetRoot()->GetName(), "ok");
}

TEST_F(XmlFiles, Windows1252DocumentsAreDecoded) {
  Document doc;
  ASSERT_TRUE(doc.Load(
      Write("w.xml", "<?xml version=\"1.0\" encoding=\"windows-1252\"?><a n=\"Caf\xE9 \x80\"/>")));
  std::string n;
  doc.GetRoot()->ReadString("n", n);
  EXPECT_EQ(n, "Caf\xC3\xA9 \xE2\x82\xAC");
}

TEST_F(XmlFiles, WriterBuildsSavesAndReloads) {
  Document doc;
  auto root = doc.CreateElement("profile");
  auto styles = doc.CreateElement("styles");
  ASSERT_TRUE(root && styles);
  EXPECT_FALSE(doc.GetRoot());  // created, not yet attached
  EXPECT_TRUE(styles->SetAttribute("auto", FormatBool(true)));
  EXPECT_TRUE(styles->SetAttribute("count", FormatInt(-3)));
  EXPECT_TRUE(styles->SetAttribute("count", FormatInt(4)));  // replaces
  EXPECT_TRUE(root->AppendChild(styles.get()));
  EXPECT_FALSE(styles->AppendChild(root.get()));  // no cycles
  EXPECT_TRUE(doc.SetRoot(root.get()));
  EXPECT_FALSE(doc.SetRoot(nullptr));

  const std::string path = (dir / "game.xml").string();
  ASSERT_TRUE(doc.Save(path));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), {}), 1);  // no temporary left

  Document again;
  ASSERT_TRUE(again.Load(path));
  auto node = again.SelectNode("profile/styles");
  ASSERT_TRUE(node);
  bool autoStyle = false;
  int count = 0;
  EXPECT_TRUE(node->ReadBool("auto", autoStyle));
  EXPECT_TRUE(node->ReadInt("count", count));
  EXPECT_TRUE(autoStyle);
  EXPECT_EQ(count, 4);
  std::ifstream in(path);
  std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(all.find("detached"), std::string::npos);

  std::string why;
  const std::string nowhere = (dir / "no-such-dir" / "x.xml").string();
  EXPECT_FALSE(doc.Save(nowhere, &why));
  EXPECT_EQ(why, "cannot write '" + nowhere + "': No such file or directory");
}

TEST_F(XmlFiles, IncludesNeedTheRightNameAndAttribute) {
  Write("part.xml", "<artist name=\"drummer\"/>");
  Document index;
  ASSERT_TRUE(
      index.LoadString("<artists><INCLUDE file=\"part.xml\"/><include fiel=\"part.xml\"/>"
                       "<include file=\"absent.xml\"/><other file=\"part.xml\"/></artists>"));
  Vell::Platform::ScopedDirectory here(dir.string());
  ASSERT_TRUE(here.Ok());
  std::vector<bool> opened;
  for (auto child = index.GetRoot()->FirstChild(); child; child = child->NextSibling()) {
    opened.push_back(OpenInclude(child.get()) != nullptr);
  }
  EXPECT_EQ(opened, (std::vector<bool>{true, false, false, false}));
  EXPECT_FALSE(OpenInclude(nullptr));
}

TEST(XmlValueLists, PiecesBetweenCommas) {
  EXPECT_EQ(ParseIntList("3,,4,"), (std::vector<int>{3, 4}));
  EXPECT_EQ(ParseIntList(""), std::vector<int>{});
  EXPECT_EQ(ParseIntList("1, 2x, -3"), (std::vector<int>{1, 2, -3}));
  auto doubles = ParseDoubleList("0.1,2");
  ASSERT_EQ(doubles.size(), 2U);
  EXPECT_EQ(doubles[0], static_cast<double>(0.1f));  // float precision, widened
  EXPECT_EQ(doubles[1], 2.0);

  int a = 7, b = 8;
  EXPECT_FALSE(ParseIntPair("5", a, b));
  EXPECT_EQ(a, 7);
  EXPECT_EQ(b, 8);
  EXPECT_FALSE(ParseIntPair(",,", a, b));
  EXPECT_TRUE(ParseIntPair("5,,6,9", a, b));
  EXPECT_EQ(a, 5);
  EXPECT_EQ(b, 6);

  float x = 1, y = 2;
  EXPECT_FALSE(ParseFloatPair("0.5", x, y));
  EXPECT_EQ(x, 1.0f);
  EXPECT_TRUE(ParseFloatPair("0.5,-1.25", x, y));
  EXPECT_EQ(x, 0.5f);
  EXPECT_EQ(y, -1.25f);

  std::array<int, 4> quad{9, 9, 9, 9};
  EXPECT_FALSE(ParseIntQuad("1,2,3", quad));
  EXPECT_EQ(quad, (std::array<int, 4>{9, 9, 9, 9}));
  EXPECT_TRUE(ParseIntQuad("1,2,3,4", quad));
  EXPECT_EQ(quad, (std::array<int, 4>{1, 2, 3, 4}));
}

}  // namespace
