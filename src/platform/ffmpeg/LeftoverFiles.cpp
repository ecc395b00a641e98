#include "platform/ffmpeg/LeftoverFiles.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QStandardPaths>
#include <cerrno>
#include <cstdio>
#include <mutex>
#include <random>
#include <set>

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
    std::string record = kind + (full.empty() ? path : full).string();
    record.push_back('\0');
    std::lock_guard lock(mutex_);
    if (fd_ < 0 && !open() && !open()) return;
    // One write, appended whole; one cut short by a kill is not read.
    while (::write(fd_, record.data(), record.size()) < 0 && errno == EINTR) {
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

// Sweeps one registry, unless its process holds it (it still runs) or another start swept it first
// (no name left).
void sweep(const std::filesystem::path& list, std::vector<std::filesystem::path>& removed) {
  const int fd = ::open(list.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return;
  struct stat facts {};
  std::string records;
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0 || ::fstat(fd, &facts) != 0 || facts.st_nlink == 0 ||
      !readAll(fd, records)) {
    ::close(fd);
    return;
  }
  std::set<std::string> listed;
  for (size_t at = 0, end; (end = records.find('\0', at)) != std::string::npos; at = end + 1) {
    if (end - at < 2) continue;
    std::string path = records.substr(at + 1, end - at - 1);
    if (records[at] == '+')
      listed.insert(std::move(path));
    else
      listed.erase(path);
  }
  bool left = false;
  for (const auto& path : listed) {
    // Only a plain file: never a folder or what a link points at.
    struct stat file {};
    if (::lstat(path.c_str(), &file) != 0 || !S_ISREG(file.st_mode)) continue;
    if (::unlink(path.c_str()) == 0)
      removed.emplace_back(path);
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

std::vector<std::filesystem::path> removeStale() {
  std::vector<std::filesystem::path> removed;
  std::error_code ec;
  for (std::filesystem::directory_iterator it(registryFolder(), ec), end; !ec && it != end;
       it.increment(ec)) {
    if (it->path().extension() == ".list" || it->path().extension() == ".new") sweep(it->path(), removed);
  }
  return removed;
}

}  // namespace tk::LeftoverFiles
