// Project files (".kesh"): a tree of chunks (2-byte id, 4-byte length counting the 6-byte header,
// body) holding the title, the project factor, the style name, the game's switches, the song
// file's bytes and the recorded actions. Reading checks every length against the file before it
// allocates anything, so a file of any content is refused cleanly. Any thread; owns nothing.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "framework/interfaces.h"

namespace Vell::Data {
class File;
}

namespace Kesh::Game::Project {

constexpr uint16_t kProjectChunk = 0x1000;
constexpr uint16_t kStateChunk = 0x1010;
constexpr uint16_t kSongChunk = 0x2000;
constexpr uint16_t kTimelineChunk = 0x3000;
constexpr uint16_t kActionsChunk = 0x3010;
constexpr uint32_t kVersion = 0x00010000;
constexpr int kHeaderSize = 6;
// The largest song file a project takes in: as large as the player module reads.
constexpr uintmax_t kMaxSongBytes = 64u << 20;

// What a project file holds, as read.
struct Content {
  uint32_t version = 0;
  std::string title;
  float factor = 1.0f;
  std::string style;
  std::vector<unsigned char> state;  // the state chunk's body
  std::vector<unsigned char> song;   // the complete song file
  // The bodies of the actions chunks inside the timeline, in file order: each a count, then code
  // and time per action.
  std::vector<std::vector<unsigned char>> actions;
};

// What a project file is written from.
struct Source {
  std::string title;
  float factor = 1.0f;
  std::string style;
  Vell::ISerializable* state = nullptr;              // writes the switch bytes
  const std::vector<unsigned char>* song = nullptr;  // the song's bytes, or
  std::string songPath;                              // the song file to copy when song is null
  Vell::ISerializable* actions = nullptr;  // writes the action list (nothing when null: count 0)
};

// Reads a whole project from the stream's current position. false with a reason when a chunk is
// missing, out of order, or longer than what the file holds.
[[nodiscard]] bool Read(Vell::Data::File& stream, Content& content, std::string* why = nullptr);
// Writes the project into the stream (which must allow seeking back to patch the lengths).
[[nodiscard]] bool Write(Vell::Data::File& stream, const Source& source,
                         std::string* why = nullptr);
// Writes the project to a file through a temporary file renamed into place; a failure leaves an
// existing file as it was.
[[nodiscard]] bool Save(const std::string& path, const Source& source, std::string* why = nullptr);

}  // namespace Kesh::Game::Project
