#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace tk {

// The hidden files our writers keep beside a movie while they work, named with the process that
// owns them, so that those of a process that died (killed mid-export, mid-recording) can be told from
// those of one still running, and removed later:
//   an export's partial movie  ".<name>.partial-<pid>-<tag>.<ext>" (renamed into place when done);
//   a recording's disk reserve ".<movie file name>.reserve-<pid>" (given back when it ends);
//   a recording's movie before its first whole fragment ".<movie file name>.recording-<pid>".
// Any thread.
namespace LeftoverFiles {

std::string partialExportName(const std::filesystem::path& output, const std::string& tag);
std::string reserveName(const std::filesystem::path& movie);
std::string workingName(const std::filesystem::path& movie);

// Moves a working file into place without ever replacing what is there (the final name is
// someone's file once it exists); false with errno's value in `error` when it could not.
bool renameNoReplace(const std::filesystem::path& from, const std::filesystem::path& to, int& error);

// Removes the partial exports, reserves and working movies in `folder`, and in the folders directly inside it
// (the recording packages), whose process no longer runs. Returns what it removed.
std::vector<std::filesystem::path> removeStale(const std::filesystem::path& folder);

}  // namespace LeftoverFiles
}  // namespace tk
