#include "data/actions.h"

#include <array>
#include <cstdint>
#include <memory>

#include "framework/file.h"

namespace Kesh::Data {

namespace {

bool WriteWord(Vell::Data::File& stream, int value) {
  const auto bits = static_cast<uint32_t>(value);
  const std::array<unsigned char, 4> bytes = {
      static_cast<unsigned char>(bits), static_cast<unsigned char>(bits >> 8),
      static_cast<unsigned char>(bits >> 16), static_cast<unsigned char>(bits >> 24)};
  return stream.Write(bytes.data(), 4) == 4;
}

bool ReadWord(Vell::Data::File& stream, int& value) {
  std::array<unsigned char, 4> bytes{};
  if (stream.Read(bytes.data(), 4) != 4) {
    return false;
  }
  value = static_cast<int>(
      static_cast<uint32_t>(bytes[0]) | (static_cast<uint32_t>(bytes[1]) << 8) |
      (static_cast<uint32_t>(bytes[2]) << 16) | (static_cast<uint32_t>(bytes[3]) << 24));
  return true;
}

}  // namespace

namespace Actions {

bool Action::Save(Vell::Data::File& stream) {
  return WriteWord(stream, code) && WriteWord(stream, time);
}

bool Action::Load(Vell::Data::File& stream) {
  int newCode = 0;
  int newTime = 0;
  if (!ReadWord(stream, newCode) || !ReadWord(stream, newTime)) {
    return false;
  }
  code = newCode;
  time = newTime;
  return true;
}

}  // namespace Actions

namespace Tracks {

Action::~Action() { Clear(); }

void Action::Clear() {
  enumerator.Reset();
  for (auto& entry : actions) {
    delete entry.second;
  }
  actions.clear();
}

bool Action::Save(Vell::Data::File& stream) {
  if (!WriteWord(stream, Count())) {
    return false;
  }
  for (auto& entry : actions) {
    if (!entry.second->Save(stream)) {
      return false;
    }
  }
  return true;
}

bool Action::Load(Vell::Data::File& stream) {
  int count = 0;
  if (!ReadWord(stream, count) || count < 0) {
    return false;
  }
  // Read everything first, so that a truncated stream adds nothing. The count is not trusted for
  // allocation: a stream that ends early stops the loop.
  Container loaded;
  bool ok = true;
  for (int i = 0; i < count; ++i) {
    auto action = std::make_unique<Actions::Action>();
    if (!action->Load(stream)) {
      ok = false;
      break;
    }
    const int time = action->GetTime();
    if (loaded.find(time) == loaded.end()) {
      loaded.emplace(time, action.release());
    }
  }
  if (!ok) {
    for (auto& entry : loaded) {
      delete entry.second;
    }
    return false;
  }
  for (auto& entry : loaded) {
    if (!actions.emplace(entry.first, entry.second).second) {
      delete entry.second;
    }
  }
  return true;
}

bool Action::Add(int time, int code) { return Store(new Actions::Action(code, time)); }

bool Action::Store(Actions::Action* action) {
  if (action == nullptr) {
    return false;
  }
  if (!actions.emplace(action->GetTime(), action).second) {
    delete action;
    return false;
  }
  return true;
}

Actions::Action* Action::Get(int time) const {
  auto it = actions.find(time);
  return it == actions.end() ? nullptr : it->second;
}

Actions::Action* Action::NextFrom(int time) const {
  auto it = actions.lower_bound(time);
  return it == actions.end() ? nullptr : it->second;
}

Vell::Collections::IEnumerator<Actions::Action*>* Action::GetEnumerator() {
  enumerator.Reset();
  return &enumerator;
}

}  // namespace Tracks

}  // namespace Kesh::Data
