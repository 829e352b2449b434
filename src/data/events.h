// The analysed events: timed records in milliseconds that the artists follow once a song has been
// analysed. Every event knows its bar; its parameters depend on its kind.
#pragma once

#include <array>
#include <cstdint>

namespace Kesh::Data::Events {

// Abstract base of all analysed events. Owned by the track that holds it.
class Event {
 public:
  static constexpr int kMaxParams = 6;

  Event() = default;
  Event(uint32_t start, uint32_t duration, uint32_t bar)
      : start(start), duration(duration), bar(bar) {}
  Event(const Event&) = default;
  Event& operator=(const Event&) = default;
  virtual ~Event() = default;

  virtual int GetType() const = 0;
  virtual int GetParamCount() const = 0;

  // Parameter index of this kind of event; 0 for an index outside 0 ... GetParamCount() - 1.
  float GetParam(int index) const {
    return index >= 0 && index < GetParamCount() ? parameters[index] : 0.0f;
  }
  void SetParam(int index, float value) {
    if (index >= 0 && index < GetParamCount()) {
      parameters[index] = value;
    }
  }

  uint32_t start = 0;     // milliseconds from the song start
  uint32_t duration = 0;  // milliseconds
  uint32_t bar = 0;       // index of the bar the event belongs to, 0 for the first bar

 protected:
  std::array<float, kMaxParams> parameters{};
};

// One bar of the song; start and duration are the bar's boundaries.
class BarBegin : public Event {
 public:
  static constexpr int kType = 1;
  enum Param { kNumerator = 0, kDenominator = 1, kTempo = 2, kParamCount = 3 };

  BarBegin() = default;
  // tempo: the mean tempo of the bar in quarter notes per minute.
  BarBegin(uint32_t start, uint32_t duration, uint32_t bar, float numerator, float denominator,
           float tempo)
      : Event(start, duration, bar) {
    parameters[kNumerator] = numerator;
    parameters[kDenominator] = denominator;
    parameters[kTempo] = tempo;
  }

  int GetType() const override { return kType; }
  int GetParamCount() const override { return kParamCount; }

  float Numerator() const { return parameters[kNumerator]; }
  float Denominator() const { return parameters[kDenominator]; }
  float Tempo() const { return parameters[kTempo]; }
};

// What one instrument does in one bar. Start, duration and bar are those of the bar's BarBegin.
// For a melodic program: note samples, lowest and highest note, mean polyphony, share of the
// bar's grid steps that sound, weight 0. For a drum group: hits of the group (0 when another
// group dominates the bar), lowest and highest note of all drum hits, extra hits on shared grid
// steps, number of grid steps hit, the group's weight in the bar.
class BarRange : public Event {
 public:
  static constexpr int kType = 2;
  enum Param {
    kNoteCount = 0,
    kLowest = 1,
    kHighest = 2,
    kPolyphony = 3,
    kCoverage = 4,
    kWeight = 5,
    kParamCount = 6
  };

  BarRange() = default;
  explicit BarRange(const Event& barEvent)
      : Event(barEvent.start, barEvent.duration, barEvent.bar) {}

  int GetType() const override { return kType; }
  int GetParamCount() const override { return kParamCount; }

  float NoteCount() const { return parameters[kNoteCount]; }
  float Lowest() const { return parameters[kLowest]; }
  float Highest() const { return parameters[kHighest]; }
  float Polyphony() const { return parameters[kPolyphony]; }
  float Coverage() const { return parameters[kCoverage]; }
  float Weight() const { return parameters[kWeight]; }
};

}  // namespace Kesh::Data::Events
