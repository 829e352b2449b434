#include "artists/sets.h"

#include <atomic>

#include "framework/text.h"
#include "framework/xml.h"

namespace Kesh::Artists::Animation {

namespace {

std::atomic<int> quality{1};

constexpr const char* kNames[] = {"",    "slr", "srl", "lta", "rta", "atl", "atr",
                                  "csa", "cra", "cfa", "jab", "jba", "csb", "crb"};

}  // namespace

void SetQuality(int hold) { quality.store(hold >= 1 && hold <= 4 ? hold : 1); }

int GetQuality() { return quality.load(); }

const char* KindName(int kind) {
  return kind >= kFirstKind && kind <= kLastKind ? kNames[kind] : "";
}

int KindOfName(const std::string& name) {
  for (int kind = kFirstKind; kind <= kLastKind; ++kind) {
    if (Vell::Text::EqualsIgnoreCase(name, kNames[kind])) {
      return kind;
    }
  }
  return 0;
}

bool Set::LoadXml(Vell::Data::Xml::Node* node) {
  if (node == nullptr) {
    return false;
  }
  node->ReadInt("tempo", tempo);
  node->ReadFloat("velocity", velocity);
  node->ReadFloat("easeIn", easeIn);
  node->ReadFloat("easeOut", easeOut);
  node->ReadInt("joinAt", joinAt);
  sprite = std::make_unique<Sprite>("", GetQuality());
  for (auto child = node->FirstChild(); child; child = child->NextSibling()) {
    if (child->IsElement()) {
      sprite->LoadXml(child.get());
      break;
    }
  }
  sprite->startStep = joinAt;
  return true;
}

std::unique_ptr<Set> CreateSet(Vell::Data::Xml::Node* node) {
  if (node == nullptr || !node->IsElement()) {
    return nullptr;
  }
  std::unique_ptr<Set> set;
  switch (KindOfName(node->GetName())) {
    case kSLR:
      set = std::make_unique<Sets::SLR>();
      break;
    case kSRL:
      set = std::make_unique<Sets::SRL>();
      break;
    case kLTA:
      set = std::make_unique<Sets::LTA>();
      break;
    case kRTA:
      set = std::make_unique<Sets::RTA>();
      break;
    case kATL:
      set = std::make_unique<Sets::ATL>();
      break;
    case kATR:
      set = std::make_unique<Sets::ATR>();
      break;
    case kCSA:
      set = std::make_unique<Sets::CSA>();
      break;
    case kCRA:
      set = std::make_unique<Sets::CRA>();
      break;
    case kCFA:
      set = std::make_unique<Sets::CFA>();
      break;
    case kJAB:
      set = std::make_unique<Sets::JAB>();
      break;
    case kJBA:
      set = std::make_unique<Sets::JBA>();
      break;
    case kCSB:
      set = std::make_unique<Sets::CSB>();
      break;
    case kCRB:
      set = std::make_unique<Sets::CRB>();
      break;
    default:
      return nullptr;
  }
  set->LoadXml(node);
  return set;
}

}  // namespace Kesh::Artists::Animation
