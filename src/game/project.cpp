#include "game/project.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <system_error>

#include "framework/file.h"
#include "framework/user_file.h"

namespace Kesh::Game::Project {

namespace {

bool Fail(std::string* why, const std::string& reason) {
  if (why != nullptr) {
    *why = reason;
  }
  return false;
}

std::string Hex(unsigned value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%04X", value);
  return text;
}

bool ReadExact(Vell::Data::File& stream, void* buffer, int count) {
  return count == 0 || stream.Read(buffer, count) == count;
}

bool ReadU32(Vell::Data::File& stream, uint32_t& value) {
  unsigned char bytes[4];
  if (!ReadExact(stream, bytes, 4)) {
    return false;
  }
  value = static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
          static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
  return true;
}

struct Chunk {
  uint16_t id = 0;
  uint32_t length = 0;
  int64_t start = 0;
};

// Reads a chunk header and checks that the chunk lies inside the stream (a length of 0 is left
// to the caller, as the project chunk's length is not used).
bool ReadChunk(Vell::Data::File& stream, uint16_t expected, Chunk& chunk, std::string* why) {
  chunk.start = stream.Tell();
  unsigned char id[2];
  if (!ReadExact(stream, id, 2) || !ReadU32(stream, chunk.length)) {
    return Fail(why, "the file ends before chunk " + Hex(expected));
  }
  chunk.id = static_cast<uint16_t>(id[0] | id[1] << 8);
  if (chunk.id != expected) {
    return Fail(why, "chunk " + Hex(chunk.id) + " where " + Hex(expected) + " was expected");
  }
  if (chunk.length != 0 && (chunk.length < kHeaderSize ||
                            chunk.start + chunk.length > static_cast<int64_t>(stream.GetSize()))) {
    return Fail(why, "chunk " + Hex(chunk.id) + " has a length of " + std::to_string(chunk.length) +
                         " bytes, which the file does not hold");
  }
  return true;
}

bool ReadString(Vell::Data::File& stream, std::string& text, const char* what, std::string* why) {
  uint32_t n = 0;
  if (!ReadU32(stream, n)) {
    return Fail(why, std::string("the file ends before the ") + what);
  }
  if (n == 0) {
    text.clear();
    return true;
  }
  if (static_cast<int64_t>(n) > stream.GetSize() - stream.Tell()) {
    return Fail(why, std::string("the ") + what + " is longer than the file");
  }
  std::string bytes(n, '\0');
  if (!ReadExact(stream, bytes.data(), static_cast<int>(n))) {
    return Fail(why, std::string("the file ends inside the ") + what);
  }
  text.assign(bytes.c_str());
  return true;
}

bool ReadBody(Vell::Data::File& stream, const Chunk& chunk, std::vector<unsigned char>& body) {
  const int64_t size = chunk.length - kHeaderSize;
  body.assign(static_cast<size_t>(size), 0);
  return ReadExact(stream, body.data(), static_cast<int>(size));
}

bool WriteU32(Vell::Data::File& stream, uint32_t value) {
  const unsigned char bytes[4] = {
      static_cast<unsigned char>(value), static_cast<unsigned char>(value >> 8),
      static_cast<unsigned char>(value >> 16), static_cast<unsigned char>(value >> 24)};
  return stream.Write(bytes, 4) == 4;
}

bool WriteString(Vell::Data::File& stream, const std::string& text) {
  const std::string stored(text.c_str());  // up to the first zero byte
  return WriteU32(stream, static_cast<uint32_t>(stored.size() + 1)) &&
         stream.Write(stored.c_str(), static_cast<int>(stored.size() + 1)) ==
             static_cast<int>(stored.size() + 1);
}

// Opens a chunk: id and a length of 0, patched by CloseChunk.
bool OpenChunk(Vell::Data::File& stream, uint16_t id, int& start) {
  start = stream.Tell();
  const unsigned char bytes[2] = {static_cast<unsigned char>(id),
                                  static_cast<unsigned char>(id >> 8)};
  return stream.Write(bytes, 2) == 2 && WriteU32(stream, 0);
}

bool CloseChunk(Vell::Data::File& stream, int start) {
  const int end = stream.Tell();
  return stream.Seek(start + 2, 0) && WriteU32(stream, static_cast<uint32_t>(end - start)) &&
         stream.Seek(end, 0);
}

// Copies the song file into the stream: its size, then exactly that many bytes. A song that is
// missing, not a regular file, too large, unreadable or whose size changes while it is copied is
// refused with the reason, so that a project never holds a song cut short.
bool CopySong(Vell::Data::File& stream, const std::string& path, std::string* why) {
  if (path.empty()) {
    return Fail(why, "no song file to copy");
  }
  const std::string name = "the song '" + path + "'";
  std::error_code error;
  const std::filesystem::file_status status = std::filesystem::status(path, error);
  if (std::filesystem::is_directory(status)) {
    return Fail(why, name + " is a folder");
  }
  if (!error && !std::filesystem::is_regular_file(status)) {
    // Opening a pipe would wait for a writer.
    return Fail(why, name + " is not a regular file");
  }
  const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"),
                                                             &std::fclose);
  if (!file) {
    return Fail(why, "cannot read " + name + ": " + std::strerror(errno));
  }
  const uintmax_t size = std::filesystem::file_size(path, error);
  if (error) {
    return Fail(why, "cannot read " + name + ": " + error.message());
  }
  if (size > kMaxSongBytes) {
    return Fail(why, name + " is larger than " + std::to_string(kMaxSongBytes >> 20) + " MiB");
  }
  if (!WriteU32(stream, static_cast<uint32_t>(size))) {
    return Fail(why, "a write stored fewer bytes than asked");
  }
  unsigned char block[256];
  uintmax_t copied = 0;
  size_t n = 0;
  while ((n = std::fread(block, 1, sizeof block, file.get())) > 0) {
    if (stream.Write(block, static_cast<int>(n)) != static_cast<int>(n)) {
      return Fail(why, "a write stored fewer bytes than asked");
    }
    copied += n;
    if (copied > size) {
      break;
    }
  }
  if (std::ferror(file.get()) != 0) {
    return Fail(why, "cannot read " + name + ": " + std::strerror(errno));
  }
  if (copied != size) {
    return Fail(why, name + " changed while it was copied: " + std::to_string(copied) +
                         " bytes read of " + std::to_string(size));
  }
  return true;
}

}  // namespace

bool Read(Vell::Data::File& stream, Content& content, std::string* why) {
  Chunk project;
  if (!ReadChunk(stream, kProjectChunk, project, why)) {
    return false;
  }
  if (!ReadU32(stream, content.version)) {
    return Fail(why, "the file ends before the format version");
  }
  if (!ReadString(stream, content.title, "title", why)) {
    return false;
  }
  uint32_t factorBits = 0;
  if (!ReadU32(stream, factorBits)) {
    return Fail(why, "the file ends before the project factor");
  }
  std::memcpy(&content.factor, &factorBits, sizeof content.factor);
  if (!ReadString(stream, content.style, "style name", why)) {
    return false;
  }

  Chunk state;
  if (!ReadChunk(stream, kStateChunk, state, why)) {
    return false;
  }
  if (state.length == 0) {
    return Fail(why, "the state chunk is empty");
  }
  if (!ReadBody(stream, state, content.state)) {
    return Fail(why, "the file ends inside the state chunk");
  }

  Chunk song;
  if (!ReadChunk(stream, kSongChunk, song, why)) {
    return false;
  }
  uint32_t size = 0;
  if (song.length < kHeaderSize + 4 || !ReadU32(stream, size)) {
    return Fail(why, "the song chunk has no song size");
  }
  if (size > song.length - kHeaderSize - 4) {
    return Fail(why, "the song size of " + std::to_string(size) +
                         " bytes is more than the song chunk holds");
  }
  content.song.assign(size, 0);
  if (!ReadExact(stream, content.song.data(), static_cast<int>(size))) {
    return Fail(why, "the file ends inside the song");
  }
  if (!stream.Seek(static_cast<int>(song.start + song.length), 0)) {
    return Fail(why, "the file ends inside the song chunk");
  }

  Chunk timeline;
  if (!ReadChunk(stream, kTimelineChunk, timeline, why)) {
    return false;
  }
  if (timeline.length == 0) {
    return Fail(why, "the timeline chunk is empty");
  }
  content.actions.clear();
  // Every actions chunk inside the timeline, one after another (each is at least a header long,
  // so the loop ends).
  while (stream.Tell() - timeline.start < timeline.length) {
    Chunk actions;
    if (!ReadChunk(stream, kActionsChunk, actions, why)) {
      return false;
    }
    if (actions.length == 0 ||
        actions.start + actions.length > timeline.start + static_cast<int64_t>(timeline.length)) {
      return Fail(why, "the actions chunk does not fit in the timeline chunk");
    }
    std::vector<unsigned char> body;
    if (!ReadBody(stream, actions, body)) {
      return Fail(why, "the file ends inside the actions chunk");
    }
    content.actions.push_back(std::move(body));
  }
  return true;
}

bool Write(Vell::Data::File& stream, const Source& source, std::string* why) {
  const auto failed = [why]() { return Fail(why, "a write stored fewer bytes than asked"); };
  int project = 0;
  if (!OpenChunk(stream, kProjectChunk, project) || !WriteU32(stream, kVersion) ||
      !WriteString(stream, source.title)) {
    return failed();
  }
  uint32_t factorBits = 0;
  std::memcpy(&factorBits, &source.factor, sizeof factorBits);
  if (!WriteU32(stream, factorBits) || !WriteString(stream, source.style)) {
    return failed();
  }
  int chunk = 0;
  if (!OpenChunk(stream, kStateChunk, chunk) ||
      (source.state != nullptr && !source.state->Save(stream)) || !CloseChunk(stream, chunk)) {
    return failed();
  }

  if (!OpenChunk(stream, kSongChunk, chunk)) {
    return failed();
  }
  if (source.song != nullptr) {
    const std::vector<unsigned char>& song = *source.song;
    if (!WriteU32(stream, static_cast<uint32_t>(song.size())) ||
        (!song.empty() && stream.Write(song.data(), static_cast<int>(song.size())) !=
                              static_cast<int>(song.size()))) {
      return failed();
    }
  } else {
    if (!CopySong(stream, source.songPath, why)) {
      return false;
    }
  }
  if (!CloseChunk(stream, chunk)) {
    return failed();
  }

  int timeline = 0;
  if (!OpenChunk(stream, kTimelineChunk, timeline) || !OpenChunk(stream, kActionsChunk, chunk)) {
    return failed();
  }
  if (source.actions != nullptr ? !source.actions->Save(stream) : !WriteU32(stream, 0)) {
    return failed();
  }
  if (!CloseChunk(stream, chunk) || !CloseChunk(stream, timeline) || !CloseChunk(stream, project)) {
    return failed();
  }
  return true;
}

bool Save(const std::string& path, const Source& source, std::string* why) {
  Vell::Data::MemoryStg bytes;
  if (!Write(bytes, source, why)) {
    return false;
  }
  const auto& content = bytes.Bytes();
  return Vell::Data::WriteUserFile(
      path, std::string_view(reinterpret_cast<const char*>(content.data()), content.size()), why);
}

}  // namespace Kesh::Game::Project
