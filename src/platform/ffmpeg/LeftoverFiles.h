#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace tk {

// The hidden files our writers keep beside a movie while they work:
//   an export's partial movie  ".<name>.partial-<pid>-<tag>.<ext>" (renamed into place when done);
//   a recording's disk reserve ".<movie file name>.reserve-<pid>-<run>" (given back when it ends);
//   a recording's movie before its first whole fragment ".<movie file name>.recording-<pid>-<run>",
// where <run> is drawn at random once per process, so that no two runs ever use one name.
//
// A name proves nothing: the folder is the person's and may hold anything, their home included. So
// each process lists the files it is about to make in a registry of its own, in the application's
// data folder ("tavelkombrix/working-files"), which it holds locked (flock) for as long as it runs;
// a file leaves the list once it is removed or has become a file that stays (renamed into place).
// The sweep at start deals only with the files still listed by registries that no process holds,
// then removes those registries. A working file that holds a whole fragment is a take, cut short:
// it is given its movie's name, never removed. A file moved away from the place it was listed at
// is not swept.
// Any thread.
namespace LeftoverFiles {

std::string partialExportName(const std::filesystem::path& output, const std::string& tag);
std::string reserveName(const std::filesystem::path& movie);
std::string workingName(const std::filesystem::path& movie);

// Lists `path` as a working file of this process. Call it before the file is made, so that no kill
// can leave a file of ours unlisted; let it go (release) when making it failed.
void claim(const std::filesystem::path& path);
// Takes `path` off the list: the file is gone, or it is to stay (it took its own name).
void release(const std::filesystem::path& path);
// Claims `path` and creates it exclusively (open(2) with O_CREAT | O_EXCL and `flags`): the
// descriptor, or -1 with errno set and the claim let go, as the file is not ours.
int createOwn(const std::filesystem::path& path, int flags, unsigned mode);
// Removes a claimed file and takes it off the list; false (and still listed) when it could not.
bool removeOwn(const std::filesystem::path& path);
// Lists `path` as a stale copy of a file that went on elsewhere (a take carried out of a folder
// that would not name it): the next start that can removes it, whatever it holds.
void abandon(const std::filesystem::path& path);

// Moves a working file into place without ever replacing what is there (the final name is
// someone's file once it exists); false with errno's value in `error` when it could not.
bool renameNoReplace(const std::filesystem::path& from, const std::filesystem::path& to, int& error);

// A take that a process which no longer runs left under its working name, and the name it took.
struct KeptTake {
  std::filesystem::path from;
  std::filesystem::path to;
};
struct Swept {
  std::vector<std::filesystem::path> removed;
  std::vector<KeptTake> kept;
};

// Sweeps the files listed by processes that no longer run, wherever they lie, and their lists: a
// working file holding a take takes its movie's name (the first free one beside it, or where its
// folder takes no new name, in the nearest folder above that does or the home folder); the rest is
// removed.
Swept removeStale();

}  // namespace LeftoverFiles
}  // namespace tk
