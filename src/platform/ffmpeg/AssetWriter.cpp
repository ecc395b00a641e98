#include "platform/ffmpeg/AssetWriter.h"

#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <optional>
#include <system_error>
#include <utility>
#include <vector>

#include "platform/ffmpeg/AssetWriterInputs.h"
#include "platform/ffmpeg/FfmpegError.h"
#include "platform/ffmpeg/LeftoverFiles.h"
#include "platform/ffmpeg/VideoPartEncoder.h"

namespace tk {

void AssetWriterMuxer::write(AVPacket* packet, AVStream* stream, AVRational encoderTimeBase) {
  if (failed) return;
  if (packetSink) {
    packetSink(*packet);
    return;
  }
  av_packet_rescale_ts(packet, encoderTimeBase, stream->time_base);
  packet->stream_index = stream->index;
  std::lock_guard lock(mutex);
  if (failed) return;
  if (!fragmented) {
    int result = av_interleaved_write_frame(context.get(), packet);
    if (result < 0) noteFailure(FfmpegError("Writing a packet", result).localizedDescription());
    return;
  }
  // A fragment keeps each track's samples apart anyway, so packets need no interleaving here. Each
  // track's latest packet is held until the next one says how long it lasts: the muxer ends a
  // fragment's last sample with its packet's duration, and the next fragment starts there, so a
  // gap in the track (a still screen) must be in that duration or everything after it moves
  // earlier.
  if (held_.size() <= static_cast<size_t>(stream->index)) held_.resize(stream->index + 1);
  ff::PacketPtr& held = held_[stream->index];
  if (!held) held.reset(av_packet_alloc());
  if (!held) {
    noteFailure(FfmpegError("Writing a packet", AVERROR(ENOMEM)).localizedDescription());
    return;
  }
  if (held->data) {
    if (packet->dts != AV_NOPTS_VALUE && held->dts != AV_NOPTS_VALUE && packet->dts > held->dts)
      held->duration = packet->dts - held->dts;
    if (!writeHeld(*held)) return;
  }
  if (startsFragment(packet, stream)) cutFragment();
  av_packet_move_ref(held.get(), packet);
}

bool AssetWriterMuxer::writeHeld(AVPacket& packet) {
  int result = av_write_frame(context.get(), &packet);
  av_packet_unref(&packet);
  if (result < 0) {
    noteFailure(FfmpegError("Writing a packet", result).localizedDescription());
    return false;
  }
  pending_ = true;
  return true;
}

void AssetWriterMuxer::finishFragments() {
  if (!fragmented) return;
  for (auto& held : held_) {
    if (held && held->data && !failed) writeHeld(*held);
  }
  cutFragment();
}

bool AssetWriterMuxer::startsFragment(const AVPacket* packet, const AVStream* stream) {
  // Video paces the fragments when there is some: its packets are the ones that arrive in a steady
  // stream (audio from some sources comes in bursts).
  if (hasVideo && stream->codecpar->codec_type != AVMEDIA_TYPE_VIDEO) return false;
  const double at = packet->dts == AV_NOPTS_VALUE ? 0 : packet->dts * av_q2d(stream->time_base);
  if (!pending_) {
    fragmentStart_ = at;
    return false;
  }
  if (at - fragmentStart_ < kFragmentSeconds) return false;
  fragmentStart_ = at;
  return true;
}

void AssetWriterMuxer::cutFragment() {
  if (!fragmented || !pending_ || failed) return;
  AVFormatContext* c = context.get();
  int result = av_write_frame(c, nullptr);
  // The file's header waits for the first fragment, so that it knows where each track starts; that
  // first flush writes only the header.
  if (result >= 0 && !moovWritten_) result = av_write_frame(c, nullptr);
  avio_flush(c->pb);
  if (result >= 0 && c->pb->error < 0) result = c->pb->error;
  if (result < 0) {
    noteFailure(FfmpegError("Writing a fragment", result).localizedDescription());
    return;
  }
  moovWritten_ = true;
  pending_ = false;
  file->commit();
}

void AssetWriterMuxer::noteFailure(const std::string& text) {
  bool first = false;
  {
    std::lock_guard lock(errorMutex_);
    if (error_.empty()) {
      error_ = text;
      first = true;
    }
  }
  failed = true;
  if (first && onFailure) onFailure(text);
}

std::string AssetWriterMuxer::firstError() {
  std::lock_guard lock(errorMutex_);
  return error_;
}

namespace {

// Where the file open at `fd` has a name now, as the kernel tells it; nothing when it has none left.
std::optional<std::filesystem::path> namedPlace(int fd) {
  struct stat facts {};
  if (fd < 0 || ::fstat(fd, &facts) != 0 || facts.st_nlink == 0) return std::nullopt;
  char link[PATH_MAX + 1];
  const std::string self = "/proc/self/fd/" + std::to_string(fd);
  const ssize_t length = ::readlink(self.c_str(), link, PATH_MAX);
  if (length <= 0) return std::nullopt;
  return std::filesystem::path(std::string(link, static_cast<size_t>(length)));
}

// Makes `folder` and the folders above it. A link whose folder was removed is followed: the folder
// is made again where it points, so that the link leads to it once more.
void makeFolder(const std::filesystem::path& folder, std::error_code& error) {
  namespace fs = std::filesystem;
  fs::path resolved = folder;
  // A chain of links ends after a few; a loop of them never does.
  for (int hops = 0; hops < 40; ++hops) {
    error.clear();
    fs::create_directories(resolved, error);
    if (!error) return;
    std::optional<fs::path> target;
    fs::path partial;
    for (auto part = resolved.begin(); part != resolved.end() && !target; ++part) {
      partial /= *part;
      std::error_code ignored;
      if (!fs::is_symlink(fs::symlink_status(partial, ignored)) || fs::exists(partial, ignored)) continue;
      const fs::path pointsTo = fs::read_symlink(partial, ignored);
      if (ignored) return;
      target = pointsTo.is_absolute() ? pointsTo : partial.parent_path() / pointsTo;
      for (auto rest = std::next(part); rest != resolved.end(); ++rest) *target /= *rest;
    }
    if (!target) return;
    resolved = target->lexically_normal();
  }
}

}  // namespace

std::filesystem::path numberedName(const std::filesystem::path& wanted, int number) {
  if (number == 1) return wanted;
  return wanted.parent_path() /
         (wanted.stem().string() + " " + std::to_string(number) + wanted.extension().string());
}

std::vector<std::filesystem::path> fallbackFolders(const std::filesystem::path& lost) {
  namespace fs = std::filesystem;
  std::vector<fs::path> folders;
  std::error_code ignored;
  for (fs::path above = lost.parent_path(); !above.empty(); above = above.parent_path()) {
    if (fs::is_directory(above, ignored)) {
      folders.push_back(above);
      break;
    }
    if (above == above.parent_path()) break;
  }
  if (const char* home = std::getenv("HOME"); home && *home && (folders.empty() || folders.front() != home))
    folders.emplace_back(home);
  return folders;
}

AssetWriterFile::AssetWriterFile(std::filesystem::path path, std::filesystem::path created, bool named,
                                 int fd, AssetWriterMuxer& muxer)
    : path_(std::move(path)), workingPath_(std::move(created)), named_(named), fd_(fd), muxer_(muxer) {
  if (!named_) claimed_ = workingPath_;
  reservePath_ = path_.parent_path() / LeftoverFiles::reserveName(path_);
  constexpr int kBufferSize = 256 * 1024;
  auto* buffer = static_cast<unsigned char*>(av_malloc(kBufferSize));
  if (buffer) io_ = avio_alloc_context(buffer, kBufferSize, 1, this, nullptr, &writePacket, &seek);
  if (!io_) {
    av_free(buffer);
    ::close(fd_);
    fd_ = -1;
    throw FfmpegError("Opening " + path_.string(), AVERROR(ENOMEM));
  }
}

AssetWriterFile::~AssetWriterFile() {
  close();
}

void AssetWriterFile::reserveSpace() {
  if (reserveFd_ >= 0) return;
  const int fd = LeftoverFiles::createOwn(reservePath_, O_WRONLY, 0600);
  if (fd < 0) return;
  if (::posix_fallocate(fd, 0, kReserveBytes) != 0) {
    ::close(fd);
    LeftoverFiles::removeOwn(reservePath_);
    return;
  }
  reserveFd_ = fd;
}

void AssetWriterFile::releaseReserve() {
  if (reserveFd_ < 0) return;
  // The room goes back even where the name cannot (a folder turned read-only): the empty file left
  // then stays listed, and is removed at the next start, as a killed process's reserve is.
  [[maybe_unused]] const int emptied = ::ftruncate(reserveFd_, 0);
  // Its name goes from where it lies now: its folder may have been moved since, and then it is no
  // longer where it was listed for the sweep. One whose folder was removed has no name left.
  const auto place = namedPlace(reserveFd_);
  ::close(reserveFd_);
  reserveFd_ = -1;
  if (place && *place != reservePath_) {
    ::unlink(place->c_str());
    LeftoverFiles::release(reservePath_);
  } else {
    LeftoverFiles::removeOwn(reservePath_);
  }
}

int AssetWriterFile::writePacket(void* opaque, uint8_t* data, int size) {
  auto* file = static_cast<AssetWriterFile*>(opaque);
  if (file->refusing_) return AVERROR(EIO);
  int written = 0;
  while (written < size) {
    ssize_t n = ::write(file->fd_, data + written, static_cast<size_t>(size - written));
    if (n >= 0) {
      written += static_cast<int>(n);
      continue;
    }
    int error = errno;
    if (error == EINTR) continue;
    // The first failure ends the recording. Nothing is written after it, and a fragmented file
    // goes back to its last whole fragment, so it plays to there.
    file->refusing_ = true;
    if (file->committedEnd_ >= 0 && ::ftruncate(file->fd_, file->committedEnd_) == 0)
      ::lseek(file->fd_, file->committedEnd_, SEEK_SET);
    file->muxer_.noteFailure("Writing " + file->path_.filename().string() + ": " + std::strerror(error));
    return AVERROR(error);
  }
  return size;
}

void AssetWriterFile::commit() {
  if (refusing_ || fd_ < 0) return;
  const off_t end = ::lseek(fd_, 0, SEEK_CUR);
  if (end < 0) return;
  committedEnd_ = end;
  std::lock_guard lock(syncMutex_);
  syncWanted_ = true;
  if (!syncer_.joinable()) {
    syncer_ = std::thread([this] { syncLoop(); });
  } else {
    syncWake_.notify_one();
  }
}

std::filesystem::path AssetWriterFile::name() const {
  std::lock_guard lock(nameMutex_);
  return path_;
}

std::filesystem::path AssetWriterFile::currentPath() const {
  std::lock_guard lock(nameMutex_);
  return named_ ? path_ : workingPath_;
}

void AssetWriterFile::syncFolder() const {
  const int folder = ::open(name().parent_path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folder >= 0) {
    ::fsync(folder);
    ::close(folder);
  }
}

int AssetWriterFile::takeName() {
  std::lock_guard lock(nameMutex_);
  if (named_) return 0;
  int error = EEXIST;
  for (int number = 1; number < 10000 && error == EEXIST; ++number) {
    const std::filesystem::path candidate = numberedName(path_, number);
    // Never over a file that is there: someone else's, or an earlier take's.
    if (LeftoverFiles::renameNoReplace(workingPath_, candidate, error)) {
      path_ = candidate;
      named_ = true;
      letGoOfWorkingName();
      return 0;
    }
  }
  return error;
}

bool AssetWriterFile::takeNameOrCarry(bool carry) {
  const int refusal = takeName();
  if (refusal == 0) return true;
  // Only a folder that is there and refuses: one removed or moved is the place watch's to follow.
  if (!carry || (refusal != EACCES && refusal != EPERM && refusal != EROFS)) return false;
  FilePlaceChange change;
  change.kind = FilePlaceChange::Kind::carried;
  change.reason = std::strerror(refusal);
  std::filesystem::path working;
  {
    std::lock_guard lock(nameMutex_);
    working = workingPath_;
    // It goes on as a named file would whose folder could not be made again: under its own name,
    // or the first free one after it.
    named_ = true;
  }
  change.from = working.parent_path();
  std::string why;
  const auto carried = restoreElsewhere(name(), why);
  {
    std::lock_guard lock(nameMutex_);
    if (!carried) {
      named_ = false;
      return false;
    }
    // What stays behind under the working name (its folder takes no change) is a copy, or another
    // name of the file: the next start that can removes it.
    letGoOfWorkingName();
    if (::unlink(working.c_str()) != 0 && errno != ENOENT) LeftoverFiles::abandon(working);
  }
  change.path = *carried;
  if (placeHandler_) placeHandler_(change);
  return true;
}

void AssetWriterFile::letGoOfWorkingName() {
  if (claimed_.empty()) return;
  LeftoverFiles::release(claimed_);
  claimed_.clear();
}

void AssetWriterFile::syncLoop() {
  pthread_setname_np(pthread_self(), "tk-sync-file");
  // The file's name must survive a power cut as well as its content.
  bool folderSynced = false;
  // Carried once at most while it records (a copy may be long), and once more as it closes.
  bool carryTried = false;
  std::unique_lock lock(syncMutex_);
  while (true) {
    // Woken by each commit, and every second besides (a paused take commits nothing), to check
    // that the file is still where it was put.
    syncWake_.wait_for(lock, std::chrono::seconds(1), [this] { return syncWanted_ || syncStop_; });
    if (syncStop_) return;
    const bool wanted = std::exchange(syncWanted_, false);
    lock.unlock();
    if (!placeWatchGate_ || placeWatchGate_()) followPlace();
    if (wanted) {
      ::fdatasync(fd_);
      // Only now does the file hold a whole fragment on the disk: it may show under its name.
      if (!folderSynced && takeNameOrCarry(!std::exchange(carryTried, true))) {
        syncFolder();
        folderSynced = true;
      }
    }
    lock.lock();
  }
}

void AssetWriterFile::followPlace() {
  if (placeLost_) return;
  const std::filesystem::path expected = currentPath();
  struct stat own {};
  struct stat there {};
  if (::fstat(fd_, &own) != 0) return;
  if (::stat(expected.c_str(), &there) == 0 && there.st_dev == own.st_dev && there.st_ino == own.st_ino)
    return;
  FilePlaceChange change;
  std::string elsewhereReason;
  if (own.st_nlink > 0) {
    // Still named, elsewhere: the kernel knows where.
    const auto found = namedPlace(fd_);
    if (!found) return;
    const std::filesystem::path& now = *found;
    {
      std::lock_guard lock(nameMutex_);
      if (named_) {
        path_ = now;
      } else {
        workingPath_ = now;
        path_ = now.parent_path() / path_.filename();
      }
    }
    change.kind = FilePlaceChange::Kind::moved;
    change.path = name();
  } else if (restoreAt(expected, change.reason)) {
    change.kind = FilePlaceChange::Kind::restored;
    change.path = name();
  } else if (restoreElsewhere(expected, elsewhereReason)) {
    change.kind = FilePlaceChange::Kind::relocated;
    change.path = name();
    change.from = expected.parent_path();
  } else {
    if (!elsewhereReason.empty()) change.reason += "; " + elsewhereReason;
    placeLost_ = true;
    change.kind = FilePlaceChange::Kind::lost;
    change.path = name();
  }
  if (placeHandler_) placeHandler_(change);
}

bool AssetWriterFile::restoreAt(const std::filesystem::path& place, std::string& reason) {
  std::error_code error;
  makeFolder(place.parent_path(), error);
  if (error) {
    reason = error.message();
    return false;
  }
  if (nameAgain(place, reason) != 0) return false;
  syncFolder();
  return true;
}

std::optional<std::filesystem::path> AssetWriterFile::restoreElsewhere(const std::filesystem::path& place,
                                                                       std::string& reason) {
  namespace fs = std::filesystem;
  std::vector<fs::path> folders = fallbackFolders(place.parent_path());
  if (fallbackFolder_) {
    if (auto chosen = fallbackFolder_(place.parent_path())) folders.insert(folders.begin(), *chosen);
  }
  bool named = true;
  {
    std::lock_guard lock(nameMutex_);
    named = named_;
  }
  for (const fs::path& folder : folders) {
    // A working name is the process's own; a movie's own name may be taken there.
    for (int number = 1; number < (named ? 10000 : 2); ++number) {
      const fs::path candidate = numberedName(folder / place.filename(), number);
      std::string why;
      // A working file stays ours to sweep, there too.
      if (!named) LeftoverFiles::claim(candidate);
      const int error = nameAgain(candidate, why);
      if (error != 0 && !named) LeftoverFiles::release(candidate);
      if (error == EEXIST) continue;
      if (error != 0) {
        reason += (reason.empty() ? "" : "; ") + folder.string() + " refused it too: " + why;
        break;
      }
      {
        std::lock_guard lock(nameMutex_);
        if (named_) {
          path_ = candidate;
        } else {
          workingPath_ = candidate;
          path_ = folder / path_.filename();
          letGoOfWorkingName();
          claimed_ = candidate;
        }
      }
      syncFolder();
      return candidate;
    }
  }
  return std::nullopt;
}

int AssetWriterFile::nameAgain(const std::filesystem::path& place, std::string& reason) {
  const std::string self = "/proc/self/fd/" + std::to_string(fd_);
  if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, place.c_str(), AT_SYMLINK_FOLLOW) == 0) return 0;
  const int copy = ::open(place.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (copy < 0) {
    const int error = errno;
    reason = std::strerror(error);
    return error;
  }
  int failure = 0;
  std::vector<char> buffer(1 << 20);
  off_t copied = 0;
  // Up to the end the file has: the bulk while the writer goes on, the rest with it held.
  auto copyToEnd = [&] {
    while (true) {
      const ssize_t n = ::pread(fd_, buffer.data(), buffer.size(), copied);
      if (n == 0) return true;
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) {
        failure = errno;
        return false;
      }
      // A short write means a full disk.
      if (const ssize_t written = ::pwrite(copy, buffer.data(), static_cast<size_t>(n), copied);
          written != n) {
        failure = written < 0 ? errno : ENOSPC;
        return false;
      }
      copied += n;
    }
  };
  bool whole = copyToEnd();
  if (whole) {
    std::lock_guard lock(muxer_.mutex);
    whole = copyToEnd() && ::lseek(copy, ::lseek(fd_, 0, SEEK_CUR), SEEK_SET) >= 0 &&
            ::dup3(copy, fd_, O_CLOEXEC) >= 0;
    if (!whole && failure == 0) failure = errno;
  }
  ::close(copy);
  if (!whole) {
    ::unlink(place.c_str());
    reason = std::strerror(failure);
    return failure;
  }
  return 0;
}

void AssetWriterFile::stopSyncing() {
  {
    std::lock_guard lock(syncMutex_);
    syncStop_ = true;
  }
  syncWake_.notify_one();
  if (syncer_.joinable()) syncer_.join();
}

int64_t AssetWriterFile::seek(void* opaque, int64_t offset, int whence) {
  auto* file = static_cast<AssetWriterFile*>(opaque);
  if (whence & AVSEEK_SIZE) {
    struct stat facts {};
    if (::fstat(file->fd_, &facts) != 0) return AVERROR(errno);
    return facts.st_size;
  }
  off_t result = ::lseek(file->fd_, offset, whence & ~AVSEEK_FORCE);
  return result < 0 ? AVERROR(errno) : result;
}

int AssetWriterFile::close(bool kept) {
  stopSyncing();
  int result = 0;
  if (io_) {
    avio_flush(io_);
    result = io_->error;
    av_freep(&io_->buffer);
    avio_context_free(&io_);
  }
  // The sync thread's last check may have come before the folder was moved or removed: the file is
  // followed or put back now as it would have been then, before its name is taken.
  if (kept && fd_ >= 0 && committedEnd_ > 0) followPlace();
  if (fd_ >= 0) {
    if (committedEnd_ >= 0 && !refusing_) ::fdatasync(fd_);
    // Named while it is still open, so that where its folder gives no name a copy can go on.
    if (committedEnd_ != 0 && takeNameOrCarry(kept)) syncFolder();
    if (::close(fd_) != 0 && result == 0) result = AVERROR(errno);
    fd_ = -1;
  }
  {
    std::lock_guard lock(nameMutex_);
    // A fragmented file that never held a whole fragment plays nothing: it never shows.
    // One held under its working name (no folder gave it a name) stays listed: the next start that
    // can gives it its name.
    if (!named_ && committedEnd_ == 0 && ::unlink(workingPath_.c_str()) == 0) letGoOfWorkingName();
  }
  releaseReserve();
  return result;
}

AVStream* addEncoderStream(AssetWriterMuxer& muxer, AVCodecContext* encoder) {
  AVStream* stream = avformat_new_stream(muxer.context.get(), nullptr);
  if (!stream) throw FfmpegError("Adding a stream", AVERROR(ENOMEM));
  ffmpegCheck(avcodec_parameters_from_context(stream->codecpar, encoder), "Copying encoder parameters");
  stream->time_base = encoder->time_base;
  return stream;
}

std::string EncodingInput::error() const {
  std::lock_guard lock(errorMutex_);
  return error_;
}

void EncodingInput::fail(const std::string& text) {
  {
    std::lock_guard lock(errorMutex_);
    if (error_.empty()) error_ = text;
    failed_ = true;
  }
  muxer_.noteFailure(text);
}

void EncodingInput::nameThread() {
  pthread_setname_np(pthread_self(), threadName_);
}

void EncodingInput::encode(AVFrame* frame, const char* operation) {
  if (muxer_.encodeGate) muxer_.encodeGate();
  int result = avcodec_send_frame(encoder_.get(), frame);
  if (result < 0 && result != AVERROR_EOF) {
    fail(FfmpegError(operation, result).localizedDescription());
    return;
  }
  while (true) {
    result = avcodec_receive_packet(encoder_.get(), packet_.get());
    if (result == AVERROR(EAGAIN) || result == AVERROR_EOF) return;
    if (result < 0) {
      fail(FfmpegError(operation, result).localizedDescription());
      return;
    }
    if (packet_->duration <= 0) packet_->duration = packetDuration_;
    if (timestampShift_ != 0) {
      if (packet_->pts != AV_NOPTS_VALUE) packet_->pts += timestampShift_;
      if (packet_->dts != AV_NOPTS_VALUE) packet_->dts += timestampShift_;
    }
    if (packet_->dts != AV_NOPTS_VALUE) lastDts_ = packet_->dts;
    muxer_.write(packet_.get(), stream_, encoder_->time_base);
    av_packet_unref(packet_.get());
  }
}

namespace {

const char* muxerName(ContainerFormat format) {
  switch (format) {
    case ContainerFormat::mp4:
      return "mp4";
    case ContainerFormat::mov:
      return "mov";
    case ContainerFormat::m4a:
      return "ipod";
  }
  return "mov";
}

}  // namespace

AssetWriter::AssetWriter(std::filesystem::path path, ContainerFormat format, FileNaming naming)
    : path_(std::move(path)), format_(format), muxer_(std::make_unique<AssetWriterMuxer>()) {
  // The encoders' own chatter would drown the system's diagnostic lines; failures reach us as codes.
  static std::once_flag quiet;
  std::call_once(quiet, [] { av_log_set_level(AV_LOG_ERROR); });
  const bool named = naming == FileNaming::immediate;
  const std::filesystem::path created =
      named ? path_ : path_.parent_path() / LeftoverFiles::workingName(path_);
  // Claim the name first, atomically: a file that exists already is someone's recording. A working
  // name is still claimed for the file's own, which must then be free.
  if (!named && ::access(path_.c_str(), F_OK) == 0)
    throw FfmpegError("Creating " + path_.string(), AVERROR(EEXIST));
  // A working file is ours to sweep should this process be killed: listed before it exists.
  int fd = named ? ::open(created.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0644)
                 : LeftoverFiles::createOwn(created, O_RDWR, 0644);
  const auto removeCreated = [&] {
    if (named)
      ::unlink(created.c_str());
    else
      LeftoverFiles::removeOwn(created);
  };
  if (fd < 0) {
    int error = errno;
    throw FfmpegError("Creating " + path_.string(), AVERROR(error));
  }
  try {
    file_ = std::make_unique<AssetWriterFile>(path_, created, named, fd, *muxer_);
  } catch (...) {
    removeCreated();
    throw;
  }

  AVFormatContext* context = nullptr;
  int result = avformat_alloc_output_context2(&context, nullptr, muxerName(format), path_.c_str());
  if (result < 0 || !context) {
    file_.reset();
    removeCreated();
    throw FfmpegError("Creating the muxer", result < 0 ? result : AVERROR_MUXER_NOT_FOUND);
  }
  muxer_->context.reset(context);
  muxer_->file = file_.get();
  context->pb = file_->io();
  context->flags |= AVFMT_FLAG_CUSTOM_IO;
}

std::filesystem::path AssetWriter::path() const {
  return file_ ? file_->name() : path_;
}

std::filesystem::path AssetWriter::place() const {
  return file_ ? file_->currentPath() : path_;
}

int AssetWriter::closeFile(bool kept) {
  // The I/O context is ours: the muxer must not close it.
  if (muxer_->context) muxer_->context->pb = nullptr;
  return file_ ? file_->close(kept) : 0;
}

AssetWriter::~AssetWriter() {
  if (closed_) {
    closeFile();
    return;
  }
  if (started_) {
    try {
      finish();
    } catch (const Error&) {
      // The file keeps whatever could be written; nothing to report from a destructor.
    }
  } else {
    discard();
  }
}

int AssetWriter::addVideoInput(const VideoInputSettings& settings) {
  if (started_ || closed_) throw FfmpegError("Adding a video input", "the writer has already started");
  if (videoInput_) throw FfmpegError("Adding a video input", "the file has a video track already");
  videoInput_ = std::make_unique<AssetWriterVideoInput>(*muxer_, settings, format_);
  videoSettings_ = settings;
  return 0;
}

std::unique_ptr<VideoPartEncoder> AssetWriter::makeVideoPart(const std::filesystem::path& spillPath) const {
  if (!videoInput_) throw FfmpegError("Adding a video part", "the file has no video track");
  auto part = std::make_unique<VideoPartEncoder>(videoSettings_, format_, spillPath);
  const AVCodecContext* own = videoInput_->encoder();
  const std::vector<uint8_t> ownSets =
      own->extradata ? std::vector<uint8_t>(own->extradata, own->extradata + own->extradata_size)
                     : std::vector<uint8_t>{};
  if (part->parameterSets() != ownSets) return nullptr;
  return part;
}

void AssetWriter::joinVideoParts(const std::vector<VideoPartEncoder*>& parts) {
  if (parts.empty() || failed()) return;
  AVStream* stream = videoInput_->stream();
  const AVRational timeBase = videoInput_->encoder()->time_base;
  int64_t lastDts = videoInput_->lastDts();
  for (VideoPartEncoder* part : parts) {
    if (part->failed()) {
      muxer_->noteFailure(part->failure());
      return;
    }
    bool follows = true;
    const bool whole = part->replay([&](AVPacket* packet) {
      if (!follows || muxer_->failed) return;
      // A decoder meets the part's first keyframe right after the last packet before it; a time that
      // went back would make the track unplayable from there.
      if (packet->dts == AV_NOPTS_VALUE || packet->dts <= lastDts) {
        follows = false;
        return;
      }
      lastDts = packet->dts;
      muxer_->write(packet, stream, timeBase);
    });
    if (!whole) {
      muxer_->noteFailure(part->failure());
      return;
    }
    if (!follows) {
      muxer_->noteFailure("Joining the parts of the video: their times overlap");
      return;
    }
  }
}

int AssetWriter::addAudioInput(const AudioInputSettings& settings) {
  if (started_ || closed_) throw FfmpegError("Adding an audio input", "the writer has already started");
  audioInputs_.push_back(std::make_unique<AssetWriterAudioInput>(*muxer_, settings));
  return static_cast<int>(audioInputs_.size()) - 1;
}

int AssetWriter::encodedWidth() const {
  return videoInput_ ? videoInput_->width() : 0;
}
int AssetWriter::encodedHeight() const {
  return videoInput_ ? videoInput_->height() : 0;
}

void AssetWriter::start() {
  if (started_ || closed_) throw FfmpegError("Starting the writer", "the writer has already started");
  AVDictionary* options = nullptr;
  // The colour atom carries the BT.709 tags in mp4 as in mov. A fragmented file is cut by
  // AssetWriterMuxer (frag_custom); its header goes out with the first fragment (delay_moov), once
  // each track's start is known, so that its edit list starts the video at 0. Fragments start
  // between keyframes too, which the random-access index at the end (mfra) cannot describe: it is
  // left out (skip_trailer), and readers walk the fragments instead, as they must for a file whose
  // recording was killed.
  const char* flags = fragmented_ ? "+write_colr+frag_custom+delay_moov+default_base_moof+skip_trailer"
                      : optimizeForNetworkUse_ ? "+write_colr+faststart"
                                               : "+write_colr";
  av_dict_set(&options, "movflags", flags, 0);
  muxer_->fragmented = fragmented_;
  muxer_->hasVideo = videoInput_ != nullptr;
  if (fragmented_) {
    file_->setFragmented();
    for (auto& input : audioInputs_) input->startTrackAtZero();
  }
  int result = avformat_write_header(muxer_->context.get(), &options);
  av_dict_free(&options);
  ffmpegCheck(result, "Writing the file header");
  file_->reserveSpace();
  if (videoInput_) videoInput_->start();
  for (auto& input : audioInputs_) input->start();
  started_ = true;
}

bool AssetWriter::appendVideo(std::shared_ptr<PixelBuffer> pixels, MediaTime time) {
  if (!started_ || !videoInput_) return false;
  return videoInput_->append(std::move(pixels), time);
}

bool AssetWriter::appendAudio(int input, std::shared_ptr<const AudioBlock> block, MediaTime time) {
  if (!started_ || input < 0 || input >= static_cast<int>(audioInputs_.size())) return false;
  return audioInputs_[input]->append(std::move(block), time);
}

bool AssetWriter::isReadyForVideo() const {
  return started_ && videoInput_ && videoInput_->hasRoom();
}

bool AssetWriter::isReadyForAudio(int input) const {
  if (!started_ || input < 0 || input >= static_cast<int>(audioInputs_.size())) return false;
  return audioInputs_[input]->hasRoom();
}

void AssetWriter::stopThreads(bool drain) {
  if (videoInput_) videoInput_->stop(drain);
  for (auto& input : audioInputs_) input->stop(drain, MediaTime::invalid());
}

void AssetWriter::finish(MediaTime endTime, const std::vector<VideoPartEncoder*>& parts) {
  if (closed_) throw FfmpegError("Finishing the file", "the file is already closed");
  if (!started_) throw FfmpegError("Finishing the file", "the writer was never started");
  closed_ = true;
  if (videoInput_) videoInput_->stop(true);
  if (videoInput_) joinVideoParts(parts);
  for (auto& input : audioInputs_) input->stop(true, endTime);

  {
    std::lock_guard lock(muxer_->mutex);
    muxer_->finishFragments();
  }
  int result = 0;
  {
    // The file's sync thread may be putting the file back meanwhile: no write in between.
    std::lock_guard lock(muxer_->mutex);
    result = av_write_trailer(muxer_->context.get());
  }
  int closeResult = closeFile();
  if ((result < 0 || closeResult < 0) && fragmented_ && file_->holdsWholeFragment()) {
    if (!failed())
      muxer_->noteFailure(
          FfmpegError("Closing " + path_.filename().string(), result < 0 ? result : closeResult)
              .localizedDescription());
    return;
  }
  if (result < 0 || closeResult < 0) {
    // Name the first failure: the one that left no room for the index is the useful one.
    const std::string error = failure();
    if (!error.empty()) throw FfmpegError("Writing " + path_.filename().string(), error);
  }
  ffmpegCheck(result, "Writing the file trailer");
  ffmpegCheck(closeResult, "Closing " + path_.filename().string());
}

void AssetWriter::setFailureHandler(std::function<void(const std::string&)> handler) {
  muxer_->onFailure = std::move(handler);
}

void AssetWriter::setPlaceHandler(std::function<void(const FilePlaceChange&)> handler) {
  file_->setPlaceHandler(std::move(handler));
}

void AssetWriter::setPlaceWatchGate(std::function<bool()> gate) {
  file_->setPlaceWatchGate(std::move(gate));
}

void AssetWriter::setFallbackFolder(
    std::function<std::optional<std::filesystem::path>(const std::filesystem::path&)> chooser) {
  file_->setFallbackFolder(std::move(chooser));
}

void AssetWriter::setEncodeGate(std::function<void()> gate) {
  muxer_->encodeGate = std::move(gate);
}

void AssetWriter::cancel() {
  if (closed_) return;
  closed_ = true;
  if (started_) stopThreads(false);
  closeFile(false);
  muxer_->context.reset();
  std::error_code ignored;
  std::filesystem::remove(file_->currentPath(), ignored);
}

void AssetWriter::discard() {
  if (closed_ || started_) return;
  cancel();
}

bool AssetWriter::failed() const {
  if (muxer_->failed) return true;
  if (videoInput_ && videoInput_->failed()) return true;
  for (const auto& input : audioInputs_)
    if (input->failed()) return true;
  return false;
}

std::string AssetWriter::failure() const {
  std::string error = muxer_->firstError();
  if (error.empty() && videoInput_ && videoInput_->failed()) error = videoInput_->error();
  for (const auto& input : audioInputs_)
    if (error.empty() && input->failed()) error = input->error();
  return error;
}

InputCounters AssetWriter::videoCounters() const {
  return videoInput_ ? videoInput_->counters() : InputCounters{};
}

InputCounters AssetWriter::audioCounters(int input) const {
  if (input < 0 || input >= static_cast<int>(audioInputs_.size())) return {};
  return audioInputs_[input]->counters();
}

}  // namespace tk
