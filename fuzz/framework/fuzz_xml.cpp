// Feeds arbitrary bytes to the XML document reader and the value-list parsers: the document is
// walked the way the data readers walk it (children, attributes, typed reads, path queries), and
// every attribute text goes through every list parser.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "framework/xml.h"

using namespace Vell::Data::Xml;

namespace {

void Walk(const Node& node, int depth) {
  if (depth > 64) {
    return;
  }
  (void)node.GetName();
  for (const pugi::xml_attribute& raw : node.Raw().attributes()) {
    std::string_view text = raw.value();
    int a = 0, b = 0;
    float f = 0, g = 0;
    std::array<int, 4> quad{};
    ParseIntPair(text, a, b);
    ParseFloatPair(text, f, g);
    ParseIntQuad(text, quad);
    (void)ParseIntList(text);
    (void)ParseDoubleList(text);
    bool flag = false;
    node.ReadInt(raw.name(), a);
    node.ReadFloat(raw.name(), f);
    node.ReadBool(raw.name(), flag);
  }
  if (auto element = node.AsElement()) {
    (void)element->SelectNode("a/b");
    (void)element->SelectNode(node.GetName());
  }
  for (auto child = node.FirstChild(); child; child = child->NextSibling()) {
    Walk(*child, depth + 1);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  Document document;
  if (document.LoadString(text)) {
    if (auto root = document.GetRoot()) {
      Walk(*root, 0);
      (void)document.SelectNode(root->GetName() + "/x");
    }
  }
  // The raw input as one attribute text as well.
  int a = 0, b = 0;
  std::array<int, 4> quad{};
  ParseIntPair(text, a, b);
  ParseIntQuad(text, quad);
  (void)ParseDoubleList(text);
  return 0;
}
