// User actions recorded on the timeline, and the action list the player replays.
#pragma once

#include <map>

#include "framework/enumerator.h"
#include "framework/interfaces.h"

namespace Vell::Data {
class File;
}

namespace Kesh::Data {

namespace Actions {

// One user action: its kind (code) and its moment (time, the key in the action list).
class Action : public Vell::ISerializable {
 public:
  Action() = default;
  Action(int code, int time) : code(code), time(time) {}
  virtual ~Action() = default;

  // Writes code then time, 4 bytes each, little-endian.
  [[nodiscard]] bool Save(Vell::Data::File& stream) override;
  // Reads code then time; false on a short read (the action is then unchanged).
  [[nodiscard]] bool Load(Vell::Data::File& stream) override;

  int GetCode() const { return code; }
  int GetTime() const { return time; }

 private:
  int code = -1;
  int time = -1;
};

}  // namespace Actions

namespace Tracks {

// The action list: actions by ascending time, owned. One action per time: storing at a time that
// already holds one keeps the existing action and discards the new one.
class Action : public Vell::ISerializable, public Vell::Collections::IEnumerable<Actions::Action*> {
 public:
  using Container = std::map<int, Actions::Action*>;

  Action() : enumerator(&actions) {}
  Action(const Action&) = delete;
  Action& operator=(const Action&) = delete;
  virtual ~Action();

  // Writes the number of actions (4 bytes), then every action in ascending time order.
  [[nodiscard]] bool Save(Vell::Data::File& stream) override;
  // Reads a count and that many actions, adding them to those already held. On a short or
  // malformed stream nothing is added and the result is false.
  [[nodiscard]] bool Load(Vell::Data::File& stream) override;

  // Creates and stores an action; false when its time already holds one.
  bool Add(int time, int code);
  // Takes ownership of action; when its time is taken the action is deleted and false returned.
  bool Store(Actions::Action* action);
  // The action stored at time, or null.
  Actions::Action* Get(int time) const;
  // The first action at or after time, or null.
  Actions::Action* NextFrom(int time) const;
  int Count() const { return static_cast<int>(actions.size()); }
  // Deletes every action.
  void Clear();
  const Container& GetActions() const { return actions; }

  // Resets the embedded cursor and returns it; it yields the actions in ascending time order.
  Vell::Collections::IEnumerator<Actions::Action*>* GetEnumerator() override;

 private:
  Container actions;
  Vell::Collections::Enumerator<Container> enumerator;
};

}  // namespace Tracks

}  // namespace Kesh::Data
