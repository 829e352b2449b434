#include "framework/xml.h"

#include <cstdio>
#include <filesystem>
#include <sstream>

#include "framework/file.h"
#include "framework/text.h"
#include "framework/user_file.h"

namespace Vell::Data::Xml {

namespace {

// Elements created but not yet attached live under this hidden node of their document (pugixml
// has no detached nodes); the queries and the writer never see it.
constexpr const char* kLimboName = "#detached";

bool IsLimbo(const pugi::xml_node& node) {
  return node.type() == pugi::node_element && std::string_view(node.name()) == kLimboName;
}

pugi::xml_node DocumentElement(const pugi::xml_document& document) {
  for (pugi::xml_node child : document.children()) {
    if (child.type() == pugi::node_element && !IsLimbo(child)) {
      return child;
    }
  }
  return {};
}

pugi::xml_node FirstElementChild(pugi::xml_node parent, std::string_view name) {
  for (pugi::xml_node child : parent.children()) {
    if (child.type() == pugi::node_element && !IsLimbo(child) && name == child.name()) {
      return child;
    }
  }
  return {};
}

// Follows child steps separated by "/" from parent; empty steps are skipped.
pugi::xml_node Select(pugi::xml_node parent, std::string_view path) {
  pugi::xml_node current = parent;
  size_t start = 0;
  bool any = false;
  while (start <= path.size() && current) {
    size_t slash = path.find('/', start);
    if (slash == std::string_view::npos) {
      slash = path.size();
    }
    std::string_view step = path.substr(start, slash - start);
    if (!step.empty() && step != ".") {
      current = FirstElementChild(current, step);
      any = true;
    }
    start = slash + 1;
  }
  return any ? current : pugi::xml_node();
}

// The encoding named by the XML declaration at the start of text, lower-cased; empty if none.
std::string DeclaredEncoding(std::string_view text) {
  if (text.substr(0, 5) != "<?xml") {
    return {};
  }
  size_t end = text.find("?>");
  std::string_view declaration = text.substr(0, end);
  size_t at = declaration.find("encoding");
  if (at == std::string_view::npos) {
    return {};
  }
  size_t quote = declaration.find_first_of("\"'", at);
  if (quote == std::string_view::npos) {
    return {};
  }
  size_t close = declaration.find(declaration[quote], quote + 1);
  if (close == std::string_view::npos) {
    return {};
  }
  return Text::ToLower(declaration.substr(quote + 1, close - quote - 1));
}

}  // namespace

// ---- Node ----

std::unique_ptr<Node> Node::FirstChild() const {
  for (pugi::xml_node child = node.first_child(); child; child = child.next_sibling()) {
    if (!IsLimbo(child)) {
      return std::make_unique<Node>(document, child);
    }
  }
  return nullptr;
}

std::unique_ptr<Node> Node::NextSibling() const {
  for (pugi::xml_node sibling = node.next_sibling(); sibling; sibling = sibling.next_sibling()) {
    if (!IsLimbo(sibling)) {
      return std::make_unique<Node>(document, sibling);
    }
  }
  return nullptr;
}

std::string Node::GetName() const {
  switch (node.type()) {
    case pugi::node_pcdata:
      return "#text";
    case pugi::node_cdata:
      return "#cdata-section";
    case pugi::node_comment:
      return "#comment";
    case pugi::node_document:
      return "#document";
    default:
      return node.name();
  }
}

std::unique_ptr<Attribute> Node::GetAttribute(std::string_view name) const {
  if (node.type() != pugi::node_element) {
    return nullptr;
  }
  for (pugi::xml_attribute attribute : node.attributes()) {
    if (name == attribute.name()) {
      return std::make_unique<Attribute>(document, attribute);
    }
  }
  return nullptr;
}

std::unique_ptr<Element> Node::AsElement() const {
  if (node.type() != pugi::node_element) {
    return nullptr;
  }
  return std::make_unique<Element>(document, node);
}

std::string Node::GetText() const { return node.text().get(); }

bool Node::ReadString(std::string_view name, std::string& value) const {
  auto attribute = GetAttribute(name);
  return attribute && attribute->GetValue(value);
}

bool Node::ReadInt(std::string_view name, int& value) const {
  auto attribute = GetAttribute(name);
  return attribute && attribute->GetInt(value);
}

bool Node::ReadFloat(std::string_view name, float& value) const {
  auto attribute = GetAttribute(name);
  return attribute && attribute->GetFloat(value);
}

bool Node::ReadDouble(std::string_view name, double& value) const {
  auto attribute = GetAttribute(name);
  return attribute && attribute->GetDouble(value);
}

bool Node::ReadBool(std::string_view name, bool& value) const {
  auto attribute = GetAttribute(name);
  return attribute && attribute->GetBool(value);
}

// ---- Element ----

std::unique_ptr<Node> Element::SelectNode(std::string_view path) const {
  pugi::xml_node found = Select(node, path);
  return found ? std::make_unique<Node>(document, found) : nullptr;
}

bool Element::SetAttribute(std::string_view name, std::string_view value) {
  if (node.type() != pugi::node_element || name.empty()) {
    return false;
  }
  const std::string key(name);
  pugi::xml_attribute attribute = node.attribute(key.c_str());
  if (!attribute) {
    attribute = node.append_attribute(key.c_str());
  }
  return attribute && attribute.set_value(std::string(value).c_str());
}

bool Element::AppendChild(Node* child) {
  if (child == nullptr || node.type() != pugi::node_element) {
    return false;
  }
  const pugi::xml_node& source = child->Raw();
  if (child->Owner() == document) {
    // Appending a node to itself or to one of its descendants would make a cycle.
    for (pugi::xml_node up = node; up; up = up.parent()) {
      if (up == source) {
        return false;
      }
    }
    return static_cast<bool>(node.append_move(source));
  }
  return static_cast<bool>(node.append_copy(source));
}

// ---- Attribute ----

bool Attribute::GetValue(std::string& value) const {
  if (!attribute) {
    return false;
  }
  value = attribute.value();
  return true;
}

bool Attribute::GetInt(int& value) const {
  if (!attribute) {
    return false;
  }
  value = Text::ToInt(attribute.value());
  return true;
}

bool Attribute::GetLong(int& value) const { return GetInt(value); }

bool Attribute::GetFloat(float& value) const {
  if (!attribute) {
    return false;
  }
  value = static_cast<float>(Text::ToDouble(attribute.value()));
  return true;
}

bool Attribute::GetDouble(double& value) const {
  if (!attribute) {
    return false;
  }
  value = Text::ToDouble(attribute.value());
  return true;
}

bool Attribute::GetBool(bool& value) const {
  if (!attribute) {
    return false;
  }
  std::string_view text = attribute.value();
  value = Text::EqualsIgnoreCase(text, "true") || Text::EqualsIgnoreCase(text, "t");
  return true;
}

// ---- Document ----

Document::Document() : document(std::make_shared<pugi::xml_document>()) {}

namespace {
void SetReason(std::string* why, std::string text) {
  if (why != nullptr) {
    *why = std::move(text);
  }
}
}  // namespace

bool Document::LoadString(std::string_view text, std::string* why) {
  std::string converted;
  const std::string encoding = DeclaredEncoding(text);
  pugi::xml_encoding parseAs = pugi::encoding_auto;
  if (encoding == "windows-1252" || encoding == "cp1252" || encoding == "iso-8859-1" ||
      encoding == "latin1" || encoding == "iso-8859-15") {
    converted = Text::Windows1252ToUtf8(text);
    text = converted;
    parseAs = pugi::encoding_utf8;
  }
  auto parsed = std::make_shared<pugi::xml_document>();
  pugi::xml_parse_result result = parsed->load_buffer(
      text.data(), text.size(), pugi::parse_default | pugi::parse_declaration, parseAs);
  if (!result) {
    SetReason(why, std::string(result.description()) + " at byte " +
                       std::to_string(static_cast<long long>(result.offset)));
    return false;
  }
  if (!DocumentElement(*parsed)) {
    SetReason(why, "no document element");
    return false;
  }
  document = std::move(parsed);
  return true;
}

bool Document::Load(const std::string& path, std::string* why) {
  FileStg in;
  if (!in.Open(path.c_str(), "rb")) {
    // A missing file keeps its short reason; a folder or a pipe says what it is.
    SetReason(why, "'" + path + "': " + (in.NotFound() ? "cannot open the file" : in.Error()));
    return false;
  }
  std::string content;
  char block[65536];
  int n = 0;
  while ((n = in.Read(block, sizeof block)) > 0) {
    content.append(block, static_cast<size_t>(n));
  }
  if (!in.Eof()) {
    SetReason(why, "'" + path + "': cannot read the file");
    return false;
  }
  std::string reason;
  if (!LoadString(content, &reason)) {
    SetReason(why, "'" + path + "': " + reason);
    return false;
  }
  return true;
}

bool Document::Save(const std::string& path, std::string* why) const {
  std::ostringstream out;
  out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
  for (pugi::xml_node child : document->children()) {
    if (child.type() != pugi::node_declaration && !IsLimbo(child)) {
      child.print(out, "\t", pugi::format_default, pugi::encoding_utf8);
    }
  }
  return WriteUserFile(path, out.str(), why);
}

std::unique_ptr<Element> Document::GetRoot() const {
  pugi::xml_node root = DocumentElement(*document);
  return root ? std::make_unique<Element>(document, root) : nullptr;
}

bool Document::SetRoot(Element* element) {
  if (element == nullptr || element->Raw().type() != pugi::node_element) {
    return false;
  }
  pugi::xml_node source = element->Raw();
  if (element->Owner() != document) {
    // An element of another document is copied in.
    pugi::xml_node old = DocumentElement(*document);
    pugi::xml_node copy = document->append_copy(source);
    if (!copy) {
      return false;
    }
    if (old) {
      document->remove_child(old);
    }
    return true;
  }
  pugi::xml_node old = DocumentElement(*document);
  if (old == source) {
    return true;
  }
  if (!document->append_move(source)) {
    return false;
  }
  if (old) {
    // Keep the replaced element reachable for wrappers that still hold it.
    Limbo().append_move(old);
  }
  return true;
}

std::unique_ptr<Element> Document::CreateElement(std::string_view name) {
  if (name.empty()) {
    return nullptr;
  }
  pugi::xml_node created = Limbo().append_child(std::string(name).c_str());
  return created ? std::make_unique<Element>(document, created) : nullptr;
}

std::unique_ptr<Node> Document::SelectNode(std::string_view path) const {
  pugi::xml_node found = Select(*document, path);
  return found ? std::make_unique<Node>(document, found) : nullptr;
}

pugi::xml_node Document::Limbo() {
  for (pugi::xml_node child : document->children()) {
    if (IsLimbo(child)) {
      return child;
    }
  }
  return document->prepend_child(kLimboName);
}

// ---- includes and value lists ----

std::unique_ptr<Document> OpenInclude(const Node* node, std::string* why) {
  if (node == nullptr || !Text::EqualsIgnoreCase(node->GetName(), "include")) {
    SetReason(why, "not an include element");
    return nullptr;
  }
  std::string file;
  if (!node->ReadString("file", file)) {
    SetReason(why, "an include element without a \"file\" attribute");
    return nullptr;
  }
  auto document = std::make_unique<Document>();
  if (!document->Load(file, why)) {
    return nullptr;
  }
  return document;
}

bool ParseIntPair(std::string_view text, int& first, int& second) {
  auto pieces = Text::SplitCommas(text);
  if (pieces.size() < 2) {
    return false;
  }
  first = Text::ToInt(pieces[0]);
  second = Text::ToInt(pieces[1]);
  return true;
}

bool ParseFloatPair(std::string_view text, float& first, float& second) {
  auto pieces = Text::SplitCommas(text);
  if (pieces.size() < 2) {
    return false;
  }
  first = static_cast<float>(Text::ToDouble(pieces[0]));
  second = static_cast<float>(Text::ToDouble(pieces[1]));
  return true;
}

bool ParseIntQuad(std::string_view text, std::array<int, 4>& values) {
  auto pieces = Text::SplitCommas(text);
  if (pieces.size() < 4) {
    return false;
  }
  for (size_t i = 0; i < 4; ++i) {
    values[i] = Text::ToInt(pieces[i]);
  }
  return true;
}

std::vector<int> ParseIntList(std::string_view text) {
  std::vector<int> values;
  for (std::string_view piece : Text::SplitCommas(text)) {
    values.push_back(Text::ToInt(piece));
  }
  return values;
}

std::vector<double> ParseDoubleList(std::string_view text) {
  std::vector<double> values;
  for (std::string_view piece : Text::SplitCommas(text)) {
    values.push_back(static_cast<double>(static_cast<float>(Text::ToDouble(piece))));
  }
  return values;
}

std::string FormatInt(int value) { return std::to_string(value); }

std::string FormatBool(bool value) { return value ? "true" : "false"; }

}  // namespace Vell::Data::Xml
