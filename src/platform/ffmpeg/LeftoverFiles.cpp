#include "platform/ffmpeg/LeftoverFiles.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QStandardPaths>
#include <cerrno>
#include <cstdio>
#include <map>
#include <mutex>
#include <optional>
#include <random>

#include "platform/ffmpeg/AssetWriter.h"

namespace tk::LeftoverFiles {
namespace {

// Beside the application's database, in the user's data folder.
std::filesystem::path registryFolder() {
  QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
  if (data.isEmpty()) data = QDir::homePath() + "/.local/share";
  return std::filesystem::path(data.toStdString()) / "tavelkombrix" / "working-files";
}

const std::string& runTag() {
  static const std::string tag = [] {
    char text[9];
    std::snprintf(text, sizeof text, "%08x", static_cast<unsigned>(std::random_device{}()));
    return std::string(text);
  }();
  return tag;
}

std::string processName() {
  return std::to_string(::getpid()) + "-" + runTag();
}

// This process's registry: created as "<pid>-<run>.new", locked, and only then named ".list", so
// that no sweep reads it unlocked. A ".new" one lists nothing: the sweep removes those it can lock
// (a process killed before naming its registry), and one that met a sweep there makes another.
// Never freed: writers may close their files while the process exits.
class Registry {
 public:
  static Registry& own() {
    static auto* registry = new Registry;
    return *registry;
  }

  void note(char kind, const std::filesystem::path& path) {
    std::error_code ignored;
    const auto full = std::filesystem::absolute(path, ignored);
    std::lock_guard lock(mutex_);
    if (fd_ < 0 && !open() && !open()) return;
    append(fd_, kind, (full.empty() ? path : full).string());
  }

  // Appends a record to the registry open at `fd`: this process's, or one a sweep holds.
  static void append(int fd, char kind, const std::string& path) {
    std::string record = kind + path;
    record.push_back('\0');
    // One write, appended whole; one cut short by a kill is not read.
    while (::write(fd, record.data(), record.size()) < 0 && errno == EINTR) {
    }
  }

 private:
  bool open() {
    std::error_code ignored;
    const auto folder = registryFolder();
    std::filesystem::create_directories(folder, ignored);
    const auto opening = folder / (processName() + ".new");
    const auto named = folder / (processName() + ".list");
    const int fd = ::open(opening.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_APPEND | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    if (::flock(fd, LOCK_EX) != 0 || ::rename(opening.c_str(), named.c_str()) != 0) {
      ::close(fd);
      ::unlink(opening.c_str());
      return false;
    }
    fd_ = fd;
    return true;
  }

  std::mutex mutex_;
  int fd_ = -1;
};

bool readAll(int fd, std::string& text) {
  char buffer[8192];
  while (true) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n == 0) return true;
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    text.append(buffer, static_cast<size_t>(n));
  }
}

// Whether the file holds a take: a movie header, then the media data of a fragment, whole.
bool holdsRecording(int fd) {
  struct stat facts {};
  if (::fstat(fd, &facts) != 0) return false;
  const uint64_t size = static_cast<uint64_t>(facts.st_size);
  bool header = false;
  for (uint64_t at = 0; at + 8 <= size;) {
    unsigned char box[16];
    const ssize_t got = ::pread(fd, box, sizeof box, static_cast<off_t>(at));
    if (got < 8) return false;
    uint64_t length = 0;
    for (int i = 0; i < 4; ++i) length = length << 8 | box[i];
    uint64_t headerLength = 8;
    if (length == 1) {
      if (got < 16) return false;
      length = 0;
      for (int i = 8; i < 16; ++i) length = length << 8 | box[i];
      headerLength = 16;
    } else if (length == 0) {
      length = size - at;
    }
    if (length < headerLength || length > size - at) return false;
    const std::string type(reinterpret_cast<const char*>(box) + 4, 4);
    if (type == "moov") header = true;
    if (type == "mdat" && header && length > headerLength) return true;
    at += length;
  }
  return false;
}

// The movie's file name in a working name (".<movie>.recording-<pid>-<run>"); empty for any other.
std::string movieOf(const std::filesystem::path& working) {
  const std::string name = working.filename().string();
  const auto at = name.rfind(".recording-");
  if (name.empty() || name.front() != '.' || at == std::string::npos || at < 2) return {};
  return name.substr(1, at - 1);
}

// Copies `from` to the new file `to`, never over one there: 0, or errno's value (nothing left at
// `to`).
int copyNoReplace(int from, const std::filesystem::path& to) {
  const int copy = ::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (copy < 0) return errno;
  int error = 0;
  char buffer[1 << 16];
  for (off_t at = 0;;) {
    const ssize_t n = ::pread(from, buffer, sizeof buffer, at);
    if (n == 0) break;
    if (n < 0 && errno == EINTR) continue;
    // A short write means a full disk.
    const ssize_t written = n < 0 ? -1 : ::pwrite(copy, buffer, static_cast<size_t>(n), at);
    if (n < 0 || written != n) {
      error = n < 0 || written < 0 ? errno : ENOSPC;
      break;
    }
    at += n;
  }
  if (error == 0 && ::fsync(copy) != 0) error = errno;
  ::close(copy);
  if (error != 0) ::unlink(to.c_str());
  return error;
}

// Gives a take left under its working name (open at `fd`) the first free name of `movie` beside
// it, or, where its folder gives none, in a fallback folder; `stayed` says whether the working
// file is still there then (a copy was made). Where it went, or nothing when no folder took it.
std::optional<std::filesystem::path> nameTake(const std::filesystem::path& working, int fd,
                                              const std::string& movie, bool& stayed) {
  stayed = false;
  int error = EEXIST;
  for (int number = 1; number < 10000 && error == EEXIST; ++number) {
    const auto candidate = numberedName(working.parent_path() / movie, number);
    if (renameNoReplace(working, candidate, error)) return candidate;
  }
  for (const auto& folder : fallbackFolders(working.parent_path())) {
    error = EEXIST;
    for (int number = 1; number < 10000 && error == EEXIST; ++number) {
      const auto candidate = numberedName(folder / movie, number);
      error = ::link(working.c_str(), candidate.c_str()) == 0 ? 0 : errno;
      if (error != 0 && error != EEXIST) error = copyNoReplace(fd, candidate);
      if (error == 0) {
        stayed = ::unlink(working.c_str()) != 0 && errno != ENOENT;
        return candidate;
      }
    }
  }
  return std::nullopt;
}

// Sweeps one registry, unless its process holds it (it still runs) or another start swept it first
// (no name left).
void sweep(const std::filesystem::path& list, Swept& swept) {
  const int fd = ::open(list.c_str(), O_RDWR | O_APPEND | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return;
  struct stat facts {};
  std::string records;
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0 || ::fstat(fd, &facts) != 0 || facts.st_nlink == 0 ||
      !readAll(fd, records)) {
    ::close(fd);
    return;
  }
  // The last record of each path: '+' listed, 'x' a stale copy; a released one is no longer ours.
  std::map<std::string, char> listed;
  for (size_t at = 0, end; (end = records.find('\0', at)) != std::string::npos; at = end + 1) {
    if (end - at < 2) continue;
    std::string path = records.substr(at + 1, end - at - 1);
    if (records[at] == '+' || records[at] == 'x')
      listed[std::move(path)] = records[at];
    else
      listed.erase(path);
  }
  bool left = false;
  for (const auto& [path, kind] : listed) {
    // Only a plain file: never a folder or what a link points at.
    struct stat file {};
    if (::lstat(path.c_str(), &file) != 0 || !S_ISREG(file.st_mode)) continue;
    const std::string movie = kind == '+' ? movieOf(path) : std::string();
    const int take = movie.empty() ? -1 : ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (take >= 0 && holdsRecording(take)) {
      bool stayed = false;
      const auto named = nameTake(path, take, movie, stayed);
      ::close(take);
      if (named) swept.kept.push_back({path, *named});
      // One that no folder took is tried again at the next start; a copy left behind is removed then.
      if (stayed) Registry::append(fd, 'x', path);
      left = left || !named || stayed;
      continue;
    }
    if (take >= 0) ::close(take);
    if (::unlink(path.c_str()) == 0)
      swept.removed.emplace_back(path);
    else
      left = left || errno != ENOENT;
  }
  // One that could not go (a folder turned read-only) is tried again at the next start.
  if (!left) ::unlink(list.c_str());
  ::close(fd);
}

}  // namespace

std::string partialExportName(const std::filesystem::path& output, const std::string& tag) {
  return "." + output.stem().string() + ".partial-" + std::to_string(::getpid()) + "-" + tag +
         output.extension().string();
}

std::string reserveName(const std::filesystem::path& movie) {
  return "." + movie.filename().string() + ".reserve-" + processName();
}

std::string workingName(const std::filesystem::path& movie) {
  return "." + movie.filename().string() + ".recording-" + processName();
}

void claim(const std::filesystem::path& path) {
  Registry::own().note('+', path);
}

void release(const std::filesystem::path& path) {
  Registry::own().note('-', path);
}

void abandon(const std::filesystem::path& path) {
  Registry::own().note('x', path);
}

int createOwn(const std::filesystem::path& path, int flags, unsigned mode) {
  claim(path);
  const int fd = ::open(path.c_str(), flags | O_CREAT | O_EXCL | O_CLOEXEC, mode);
  if (fd < 0) {
    const int error = errno;
    release(path);
    errno = error;
  }
  return fd;
}

bool removeOwn(const std::filesystem::path& path) {
  if (::unlink(path.c_str()) != 0 && errno != ENOENT) return false;
  release(path);
  return true;
}

bool renameNoReplace(const std::filesystem::path& from, const std::filesystem::path& to, int& error) {
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
  error = errno;
  if (error != EINVAL && error != ENOSYS) return false;
  // A file system without the flag: a hard link fails on an existing name as well.
  if (::link(from.c_str(), to.c_str()) != 0) {
    error = errno;
    return false;
  }
  ::unlink(from.c_str());
  return true;
}

Swept removeStale() {
  Swept removed;
  std::error_code ec;
  for (std::filesystem::directory_iterator it(registryFolder(), ec), end; !ec && it != end;
       it.increment(ec)) {
    if (it->path().extension() == ".list" || it->path().extension() == ".new") sweep(it->path(), removed);
  }
  return removed;
}

}  // namespace tk::LeftoverFiles
