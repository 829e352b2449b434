#include "game/playlist.h"

#include <string_view>
#include <utility>
#include <vector>

#include "framework/file.h"
#include "framework/text.h"
#include "framework/user_file.h"

namespace Kesh::Game {

int Playlist::AddPath(const std::string& path) { return Add(new Vell::Object(path, 0)); }

Vell::Object* Playlist::RemoveAt(int index) {
  Vell::Object* removed = List::RemoveAt(index);
  if (removed != nullptr) {
    if (index == current) {
      current = -1;
    } else if (index < current) {
      --current;
    }
  }
  return removed;
}

void Playlist::DeleteAll() {
  List::DeleteAll();
  current = -1;
}

Vell::Object* Playlist::CurrentItem() const {
  return current >= 0 && current < Count() ? GetAt(current) : nullptr;
}

bool Playlist::Next() {
  ++current;
  if (current < Count()) {
    return true;
  }
  current = -1;
  return false;
}

bool Playlist::Previous() {
  --current;
  if (current >= 0) {
    return true;
  }
  current = -1;
  return false;
}

void Playlist::SetCurrent(int index) {
  if (index >= 0 && index < Count()) {
    current = index;
  }
}

bool Playlist::Swap(int a, int b) {
  if (a < 0 || b < 0) {
    return false;
  }
  Vell::Object* first = GetAt(a);
  if (first == nullptr) {
    return true;
  }
  Vell::Object* second = GetAt(b);
  if (second == nullptr) {
    return false;
  }
  std::string path = first->GetName();
  first->SetName(second->GetName());
  second->SetName(std::move(path));
  if (current == a) {
    current = b;
  } else if (current == b) {
    current = a;
  }
  return true;
}

bool Playlist::Save(Vell::Data::File& stream) {
  for (int i = 0; i < Count(); ++i) {
    const std::string line = GetAt(i)->GetName() + "\n";
    stream.Write(line.data(), static_cast<int>(line.size()));
  }
  return true;
}

bool Playlist::Load(Vell::Data::File& stream) {
  DeleteAll();
  skippedLines = 0;
  const int size = stream.GetSize() - stream.Tell();
  if (size > kMaxBytes) {
    return false;
  }
  std::string text(static_cast<size_t>(size > 0 ? size : 0), '\0');
  if (size > 0) {
    const int got = stream.ReadAll(text.data());
    text.resize(static_cast<size_t>(got > 0 ? got : 0));
  }
  size_t begin = 0;
  while (begin <= text.size()) {
    size_t end = text.find_first_of("\r\n", begin);
    if (end == std::string::npos) {
      end = text.size();
    }
    if (end > begin && text[begin] != '#') {
      const std::string_view line(text.data() + begin, end - begin);
      if (line.size() > kMaxLineBytes || line.find('\0') != std::string_view::npos) {
        ++skippedLines;
      } else {
        AddPath(std::string(line));
      }
    }
    begin = end + 1;
  }
  return true;
}

bool Playlist::LoadFile(const std::string& path, std::string* why) {
  Vell::Data::FileStg file;
  const auto fail = [&](const std::string& reason) {
    if (why != nullptr) {
      *why = reason;
    }
    return false;
  };
  if (!file.Open(path.c_str(), "rb")) {
    return fail("cannot open the playlist " + path + ": " + file.Error());
  }
  if (file.GetSize() > kMaxBytes) {
    return fail("cannot open the playlist " + path + ": it is larger than " +
                std::to_string(kMaxBytes >> 20) + " MiB");
  }
  if (!Load(file)) {
    return fail("cannot read the playlist " + path);
  }
  return true;
}

std::vector<std::string> Playlist::Paths() const {
  std::vector<std::string> paths;
  paths.reserve(static_cast<size_t>(Count()));
  for (const Vell::Object* item : Elements()) {
    paths.push_back(item->GetName());
  }
  return paths;
}

std::string Playlist::ResolveItem(const std::string& folder, const std::string& item) {
  if (item.empty() || item.front() == '/' || folder.empty()) {
    return item;
  }
  return folder.back() == '/' ? folder + item : folder + "/" + item;
}

bool Playlist::SaveFile(const std::string& path, std::string* why) {
  Vell::Data::MemoryStg text;
  Save(text);
  const auto& content = text.Bytes();
  return Vell::Data::WriteUserFile(
      path, std::string_view(reinterpret_cast<const char*>(content.data()), content.size()), why);
}

std::string Playlist::ExtensionOf(const std::string& path) {
  const size_t dot = path.rfind('.');
  return dot == std::string::npos ? path : path.substr(dot + 1);
}

int Playlist::Classify(const std::string& path) {
  const std::string extension = ExtensionOf(path);
  if (Vell::Text::EqualsIgnoreCase(extension, "mid") ||
      Vell::Text::EqualsIgnoreCase(extension, "midi") ||
      Vell::Text::EqualsIgnoreCase(extension, "kar")) {
    return kSong;
  }
  if (Vell::Text::EqualsIgnoreCase(extension, "kesh")) {
    return kProject;
  }
  if (Vell::Text::EqualsIgnoreCase(extension, "m3u")) {
    return kPlaylist;
  }
  return kOther;
}

}  // namespace Kesh::Game
