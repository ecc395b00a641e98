#include "platform/ffmpeg/LeftoverFiles.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string_view>

namespace tk::LeftoverFiles {
namespace {

bool processRuns(long pid) {
  if (pid <= 0) return false;
  return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
}

bool allOf(std::string_view text, bool (*accept)(char)) {
  if (text.empty()) return false;
  for (char c : text)
    if (!accept(c)) return false;
  return true;
}
bool isDigit(char c) {
  return c >= '0' && c <= '9';
}
bool isHex(char c) {
  return isDigit(c) || (c >= 'a' && c <= 'f');
}
bool isAlnum(char c) {
  return isDigit(c) || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

long number(std::string_view digits) {
  if (!allOf(digits, isDigit) || digits.size() > 9) return 0;
  return std::stol(std::string(digits));
}

// The owning process of one of our leftovers, or 0 for any other file.
long ownerOf(std::string_view name) {
  if (name.size() < 2 || name[0] != '.') return 0;
  if (auto at = name.rfind(".reserve-"); at != std::string_view::npos && at > 1)
    return number(name.substr(at + 9));
  if (auto at = name.rfind(".recording-"); at != std::string_view::npos && at > 1)
    return number(name.substr(at + 11));
  // ".<name>.partial-<pid>-<16 hex digits>[.<ext>]"
  const auto at = name.rfind(".partial-");
  if (at == std::string_view::npos || at < 2) return 0;
  std::string_view rest = name.substr(at + 9);
  const auto dash = rest.find('-');
  if (dash == std::string_view::npos) return 0;
  std::string_view tag = rest.substr(dash + 1);
  if (const auto dot = tag.find('.'); dot != std::string_view::npos) {
    if (!allOf(tag.substr(dot + 1), isAlnum)) return 0;
    tag = tag.substr(0, dot);
  }
  if (tag.size() != 16 || !allOf(tag, isHex)) return 0;
  return number(rest.substr(0, dash));
}

void sweep(const std::filesystem::path& folder, std::vector<std::filesystem::path>& removed, bool descend) {
  std::error_code ec;
  for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    const auto& path = it->path();
    if (it->is_directory(ec)) {
      if (descend && !it->is_symlink(ec)) sweep(path, removed, false);
      continue;
    }
    const long owner = ownerOf(path.filename().string());
    if (owner == 0 || processRuns(owner)) continue;
    std::error_code ignored;
    if (std::filesystem::remove(path, ignored)) removed.push_back(path);
  }
}

}  // namespace

std::string partialExportName(const std::filesystem::path& output, const std::string& tag) {
  return "." + output.stem().string() + ".partial-" + std::to_string(::getpid()) + "-" + tag +
         output.extension().string();
}

std::string reserveName(const std::filesystem::path& movie) {
  return "." + movie.filename().string() + ".reserve-" + std::to_string(::getpid());
}

std::string workingName(const std::filesystem::path& movie) {
  return "." + movie.filename().string() + ".recording-" + std::to_string(::getpid());
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

std::vector<std::filesystem::path> removeStale(const std::filesystem::path& folder) {
  std::vector<std::filesystem::path> removed;
  if (!folder.empty()) sweep(folder, removed, true);
  return removed;
}

}  // namespace tk::LeftoverFiles
