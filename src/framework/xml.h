// XML documents over pugixml. Wrappers are small handles created by the query operations and
// owned by the caller (unique_ptr); each keeps its document alive, so a node stays valid even when
// the Document object that produced it is gone. Text is UTF-8. Path queries are child steps
// separated by "/" ("profile/styles"), relative to the document (first step: the document
// element) or to an element. A missing attribute leaves the caller's value untouched.
#pragma once

#include <array>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <pugixml.hpp>

namespace Vell::Data::Xml {

class Attribute;
class Element;

using DocumentHandle = std::shared_ptr<pugi::xml_document>;

class Node {
 public:
  Node(DocumentHandle document, pugi::xml_node node) : document(std::move(document)), node(node) {}
  virtual ~Node() = default;

  std::unique_ptr<Node> FirstChild() const;
  std::unique_ptr<Node> NextSibling() const;
  // The node name; "#text", "#comment" or "#cdata-section" for those nodes.
  std::string GetName() const;
  bool IsElement() const { return node.type() == pugi::node_element; }
  // null unless this is an element node with that attribute.
  std::unique_ptr<Attribute> GetAttribute(std::string_view name) const;
  // This node as an element, or null when it is not one.
  std::unique_ptr<Element> AsElement() const;
  // The text content of the node and its descendants.
  std::string GetText() const;

  // Typed reads of an attribute: false (value untouched) when it is absent.
  bool ReadString(std::string_view name, std::string& value) const;
  bool ReadInt(std::string_view name, int& value) const;
  bool ReadFloat(std::string_view name, float& value) const;
  bool ReadDouble(std::string_view name, double& value) const;
  bool ReadBool(std::string_view name, bool& value) const;

  const pugi::xml_node& Raw() const { return node; }
  const DocumentHandle& Owner() const { return document; }

 protected:
  DocumentHandle document;
  pugi::xml_node node;
};

class Element : public Node {
 public:
  using Node::Node;

  std::unique_ptr<Node> SelectNode(std::string_view path) const;
  bool SetAttribute(std::string_view name, std::string_view value);
  // Appends child (a node of any document; a node of another document is copied).
  bool AppendChild(Node* child);
};

class Attribute {
 public:
  Attribute(DocumentHandle document, pugi::xml_attribute attribute)
      : document(std::move(document)), attribute(attribute) {}

  bool GetValue(std::string& value) const;
  // Leading decimal integer (atoi rules: sign, digits, stops at the first other character).
  bool GetInt(int& value) const;
  bool GetLong(int& value) const;
  // Leading decimal number ("." separator, whatever the locale); no number gives 0.
  bool GetFloat(float& value) const;
  bool GetDouble(double& value) const;
  // true for "true" or "t" ignoring case; every other text gives false.
  bool GetBool(bool& value) const;

 private:
  DocumentHandle document;
  pugi::xml_attribute attribute;
};

class Document {
 public:
  Document();

  // Parses the file (relative paths from the current directory). UTF-8, UTF-16 and documents
  // declared windows-1252 or ISO-8859-1 are read. false when it cannot be read or does not parse;
  // the previous content is then kept and why names the file, the parser's description and the
  // byte offset where it stopped.
  [[nodiscard]] bool Load(const std::string& path, std::string* why = nullptr);
  [[nodiscard]] bool LoadString(std::string_view text, std::string* why = nullptr);
  // Writes the document as UTF-8, whole or not at all (framework/user_file.h).
  [[nodiscard]] bool Save(const std::string& path, std::string* why = nullptr) const;

  std::unique_ptr<Element> GetRoot() const;
  bool SetRoot(Element* element);
  // A new element of this document, not yet attached anywhere.
  std::unique_ptr<Element> CreateElement(std::string_view name);
  std::unique_ptr<Node> SelectNode(std::string_view path) const;

 private:
  pugi::xml_node Limbo();
  DocumentHandle document;
};

// Opens the file named by an "include" element's "file" attribute. null when the node is not an
// include element, has no such attribute, or the file does not load; why then tells which.
std::unique_ptr<Document> OpenInclude(const Node* node, std::string* why = nullptr);

// Value lists in attribute text: pieces between commas, empty pieces dropped. The pair and quad
// parsers need two (four) pieces; with fewer they report false and leave the outputs untouched.
bool ParseIntPair(std::string_view text, int& first, int& second);
bool ParseFloatPair(std::string_view text, float& first, float& second);
bool ParseIntQuad(std::string_view text, std::array<int, 4>& values);
std::vector<int> ParseIntList(std::string_view text);
// Each piece read as a float, then widened.
std::vector<double> ParseDoubleList(std::string_view text);

// Text forms used by the writer.
std::string FormatInt(int value);
std::string FormatBool(bool value);

}  // namespace Vell::Data::Xml
