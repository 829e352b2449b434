#include "gui/local_files.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <memory>

namespace Kesh::GUI {

namespace {

bool Exists(const std::string& path) {
  struct stat info {};
  return ::lstat(path.c_str(), &info) == 0;
}

// The entry of folder that shows as name, or "" when there is none or more than one.
std::string EntryShownAs(const std::string& folder, const QString& name) {
  const std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(folder.empty() ? "/" : folder.c_str()),
                                                ::closedir);
  if (!dir) {
    return {};
  }
  std::string found;
  int matches = 0;
  while (const dirent* entry = ::readdir(dir.get())) {
    if (QFile::decodeName(entry->d_name) == name) {
      found = entry->d_name;
      ++matches;
    }
  }
  return matches == 1 ? found : std::string();
}

}  // namespace

std::string AbsolutePath(const std::string& path) {
  if (path.empty() || path.front() == '/') {
    return path;
  }
  std::error_code error;
  const std::filesystem::path absolute = std::filesystem::absolute(path, error);
  return error ? path : absolute.string();
}

QString ShownPath(const std::string& path) {
  return QFile::decodeName(QByteArray::fromStdString(path));
}

QString ShownName(const std::string& path) {
  const size_t slash = path.rfind('/');
  return ShownPath(slash == std::string::npos ? path : path.substr(slash + 1));
}

std::string LocalPathOf(const QString& path) {
  const std::string bytes = QFile::encodeName(path).toStdString();
  if (path.isEmpty() || Exists(bytes) || !path.contains(QChar::ReplacementCharacter)) {
    return bytes;
  }
  // Walk the path part by part, taking each part's bytes from its folder where Qt lost them.
  const QStringList parts = path.split(QLatin1Char('/'));
  std::string walked;
  for (qsizetype i = 0; i < parts.size(); ++i) {
    if (i == 0 && parts[i].isEmpty()) {
      continue;  // the root of an absolute path
    }
    std::string part = QFile::encodeName(parts[i]).toStdString();
    const std::string folder = i == 0 ? std::string(".") : walked;
    if (parts[i].contains(QChar::ReplacementCharacter) && !Exists(folder + "/" + part)) {
      const std::string entry = EntryShownAs(folder, parts[i]);
      if (!entry.empty()) {
        part = entry;
      }
    }
    walked = i == 0 ? part : walked + "/" + part;
  }
  return walked;
}

std::vector<std::string> LocalPathsOf(const QStringList& paths) {
  std::vector<std::string> local;
  local.reserve(static_cast<size_t>(paths.size()));
  for (const QString& path : paths) {
    local.push_back(LocalPathOf(path));
  }
  return local;
}

std::vector<std::string> LocalPathsOf(const QByteArrayList& paths) {
  std::vector<std::string> local;
  local.reserve(static_cast<size_t>(paths.size()));
  for (const QByteArray& path : paths) {
    local.push_back(path.toStdString());
  }
  return local;
}

bool IsReadableFile(const std::string& path, std::string* why) {
  auto fail = [why](std::string reason) {
    if (why != nullptr) {
      *why = std::move(reason);
    }
    return false;
  };
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) {
    return fail(errno == ENOENT ? "no such file" : std::strerror(errno));
  }
  if (S_ISDIR(info.st_mode)) {
    return fail("is a folder");
  }
  if (!S_ISREG(info.st_mode)) {
    return fail("is not a regular file");
  }
  if (::access(path.c_str(), R_OK) != 0) {
    return fail(std::strerror(errno));
  }
  return true;
}

}  // namespace Kesh::GUI
