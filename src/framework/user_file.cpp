#include "framework/user_file.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <random>
#include <system_error>

#include "platform/platform.h"

namespace Vell::Data {
namespace {

void Fail(std::string* why, const std::string& text) {
  if (why != nullptr) {
    *why = text;
  }
}

// A name in the target's folder that no other writer uses: the target's name, a dot and a random
// suffix, created exclusively so two writers never share one.
std::FILE* OpenTemporary(const std::filesystem::path& target, std::string& temporary,
                         std::string* why) {
  std::random_device device;
  for (int attempt = 0; attempt < 16; ++attempt) {
    char suffix[24];
    std::snprintf(suffix, sizeof suffix, ".%08x.tmp", static_cast<unsigned>(device()));
    temporary = target.string() + suffix;
    std::FILE* file = std::fopen(temporary.c_str(), "wbx");
    if (file != nullptr) {
      return file;
    }
    if (errno != EEXIST) {
      break;
    }
  }
  Fail(why, "cannot write '" + target.string() + "': " + std::strerror(errno));
  temporary.clear();
  return nullptr;
}

// Where a write to path lands: path itself, or for a symbolic link the file it points to (links
// followed one after another), so that saving through a link keeps the link and updates its
// target. A link whose target is missing resolves to that target, which the write creates.
bool ResolveLinks(const std::filesystem::path& path, std::filesystem::path& target,
                  std::string* why) {
  constexpr int kMaxLinks = 40;  // as the system's own limit on links in a path
  target = path;
  for (int hops = 0; hops < kMaxLinks; ++hops) {
    std::error_code error;
    if (!std::filesystem::is_symlink(std::filesystem::symlink_status(target, error))) {
      return true;
    }
    std::filesystem::path next = std::filesystem::read_symlink(target, error);
    if (error) {
      Fail(why, "cannot write '" + path.string() + "': " + error.message());
      return false;
    }
    target = next.is_absolute() ? next : target.parent_path() / next;
  }
  Fail(why, "cannot write '" + path.string() + "': " + std::strerror(ELOOP));
  return false;
}

}  // namespace

bool WriteUserFile(const std::string& path, const UserFileWriter& write, std::string* why) {
  if (path.empty()) {
    Fail(why, "cannot write a file without a name");
    return false;
  }
  std::filesystem::path target;
  if (!ResolveLinks(path, target, why)) {
    return false;
  }
  std::error_code error;
  const std::filesystem::file_status existing = std::filesystem::status(target, error);
  if (std::filesystem::is_directory(existing)) {
    Fail(why, "cannot write '" + path + "': it is a folder");
    return false;
  }
  if (std::filesystem::exists(existing) && !std::filesystem::is_regular_file(existing)) {
    // Renaming over a device or a pipe would replace it rather than write to it.
    Fail(why, "cannot write '" + path + "': it is not a regular file");
    return false;
  }
  std::string temporary;
  std::FILE* file = OpenTemporary(target, temporary, why);
  if (file == nullptr) {
    return false;
  }
  std::string reason;
  bool ok = false;
  try {
    ok = write ? write(file, &reason) : false;
  } catch (...) {
    // Nothing half-written stays behind, whatever the writer does.
    std::fclose(file);
    std::filesystem::remove(temporary, error);
    throw;
  }
  if (!ok && reason.empty()) {
    reason = "the content could not be produced";
  }
  if (ok && (std::ferror(file) != 0 || std::fflush(file) != 0)) {
    ok = false;
    reason = std::strerror(errno);
  }
  if (ok && !Platform::SyncToDisk(file)) {
    ok = false;
    reason = std::strerror(errno);
  }
  if (std::fclose(file) != 0 && ok) {
    ok = false;
    reason = std::strerror(errno);
  }
  if (ok && std::filesystem::exists(existing)) {
    // The new file takes the old one's permissions, not the default ones of a new file.
    std::filesystem::permissions(temporary, existing.permissions(),
                                 std::filesystem::perm_options::replace, error);
    if (error) {
      ok = false;
      reason = error.message();
    }
  }
  if (ok) {
    std::filesystem::rename(temporary, target, error);
    if (error) {
      ok = false;
      reason = error.message();
    }
  }
  if (!ok) {
    std::filesystem::remove(temporary, error);
    Fail(why, "cannot write '" + path + "': " + reason);
  }
  return ok;
}

bool WriteUserFile(const std::string& path, std::string_view bytes, std::string* why) {
  return WriteUserFile(
      path,
      [bytes](std::FILE* file, std::string* reason) {
        if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size()) {
          *reason = std::strerror(errno);
          return false;
        }
        return true;
      },
      why);
}

}  // namespace Vell::Data
