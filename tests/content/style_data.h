// Walks the shipped style index the way the styles manager does: "styles.xml" in the styles
// folder, each "include" opened relative to that folder, the style element below
// "profile/styles". Test helper; single-threaded.
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "framework/xml.h"

namespace content_test {

inline std::filesystem::path StylesDir() {
  return std::filesystem::path(TAVRO_SOURCE_DIR) / "data" / "styles";
}

// Runs in the styles folder for its lifetime, as the loaders do.
class InStylesDir {
 public:
  InStylesDir() : previous(std::filesystem::current_path()) {
    std::filesystem::current_path(StylesDir());
  }
  ~InStylesDir() { std::filesystem::current_path(previous); }

 private:
  std::filesystem::path previous;
};

struct StyleEntry {
  std::string file;
  std::unique_ptr<Vell::Data::Xml::Element> style;  // the style element
};

// The first element child of node, or null.
inline std::unique_ptr<Vell::Data::Xml::Element> FirstElement(const Vell::Data::Xml::Node& node) {
  for (auto child = node.FirstChild(); child; child = child->NextSibling()) {
    if (child->IsElement()) {
      return child->AsElement();
    }
  }
  return nullptr;
}

// Every style of the index, in order; an include that does not open gives an entry without a
// style element. Call inside InStylesDir.
inline std::vector<StyleEntry> ReadStyleIndex() {
  std::vector<StyleEntry> entries;
  Vell::Data::Xml::Document index;
  if (!index.Load("styles.xml")) {
    return entries;
  }
  auto root = index.GetRoot();
  for (auto child = root->FirstChild(); child; child = child->NextSibling()) {
    if (!child->IsElement()) {
      continue;
    }
    StyleEntry entry;
    child->ReadString("file", entry.file);
    if (auto doc = Vell::Data::Xml::OpenInclude(child.get())) {
      if (auto styles = doc->SelectNode("profile/styles")) {
        entry.style = FirstElement(*styles);
      }
    }
    entries.push_back(std::move(entry));
  }
  return entries;
}

}  // namespace content_test
