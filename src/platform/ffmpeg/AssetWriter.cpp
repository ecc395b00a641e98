#include "platform/ffmpeg/AssetWriter.h"

#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <mutex>
#include <system_error>

#include "platform/ffmpeg/AssetWriterInputs.h"
#include "platform/ffmpeg/FfmpegError.h"

namespace tk {

void AssetWriterMuxer::write(AVPacket* packet, AVStream* stream, AVRational encoderTimeBase) {
  if (failed) return;
  av_packet_rescale_ts(packet, encoderTimeBase, stream->time_base);
  packet->stream_index = stream->index;
  std::lock_guard lock(mutex);
  if (failed) return;
  int result = av_interleaved_write_frame(context.get(), packet);
  if (result < 0) noteFailure(FfmpegError("Writing a packet", result).localizedDescription());
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

AssetWriterFile::AssetWriterFile(std::filesystem::path path, int fd, AssetWriterMuxer& muxer)
    : path_(std::move(path)), fd_(fd), muxer_(muxer) {
  reservePath_ = path_.parent_path() / ("." + path_.filename().string() + ".reserve");
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
  int fd = ::open(reservePath_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd < 0) return;
  if (::posix_fallocate(fd, 0, kReserveBytes) != 0) {
    ::close(fd);
    ::unlink(reservePath_.c_str());
    return;
  }
  reserveFd_ = fd;
}

void AssetWriterFile::releaseReserve() {
  if (reserveFd_ < 0) return;
  ::close(reserveFd_);
  reserveFd_ = -1;
  ::unlink(reservePath_.c_str());
}

int AssetWriterFile::writePacket(void* opaque, uint8_t* data, int size) {
  auto* file = static_cast<AssetWriterFile*>(opaque);
  int written = 0;
  bool retried = false;
  while (written < size) {
    ssize_t n = ::write(file->fd_, data + written, static_cast<size_t>(size - written));
    if (n >= 0) {
      written += static_cast<int>(n);
      continue;
    }
    int error = errno;
    if (error == EINTR) continue;
    const std::string text = "Writing " + file->path_.filename().string() + ": " + std::strerror(error);
    // The first failure ends the recording; the reserve leaves room to finish what was written.
    file->muxer_.noteFailure(text);
    if ((error == ENOSPC || error == EDQUOT) && file->reserveFd_ >= 0 && !retried) {
      file->releaseReserve();
      retried = true;
      continue;
    }
    return AVERROR(error);
  }
  return size;
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

int AssetWriterFile::close() {
  int result = 0;
  if (io_) {
    avio_flush(io_);
    result = io_->error;
    av_freep(&io_->buffer);
    avio_context_free(&io_);
  }
  if (fd_ >= 0) {
    if (::close(fd_) != 0 && result == 0) result = AVERROR(errno);
    fd_ = -1;
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

AssetWriter::AssetWriter(std::filesystem::path path, ContainerFormat format)
    : path_(std::move(path)), format_(format), muxer_(std::make_unique<AssetWriterMuxer>()) {
  // The encoders' own chatter would drown the system's diagnostic lines; failures reach us as codes.
  static std::once_flag quiet;
  std::call_once(quiet, [] { av_log_set_level(AV_LOG_ERROR); });
  // Claim the name first, atomically: a file that exists already is someone's recording.
  int fd = ::open(path_.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd < 0) {
    int error = errno;
    throw FfmpegError("Creating " + path_.string(), AVERROR(error));
  }
  try {
    file_ = std::make_unique<AssetWriterFile>(path_, fd, *muxer_);
  } catch (...) {
    std::filesystem::remove(path_);
    throw;
  }

  AVFormatContext* context = nullptr;
  int result = avformat_alloc_output_context2(&context, nullptr, muxerName(format), path_.c_str());
  if (result < 0 || !context) {
    file_.reset();
    std::filesystem::remove(path_);
    throw FfmpegError("Creating the muxer", result < 0 ? result : AVERROR_MUXER_NOT_FOUND);
  }
  muxer_->context.reset(context);
  context->pb = file_->io();
  context->flags |= AVFMT_FLAG_CUSTOM_IO;
}

int AssetWriter::closeFile() {
  // The I/O context is ours: the muxer must not close it.
  if (muxer_->context) muxer_->context->pb = nullptr;
  return file_ ? file_->close() : 0;
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
  return 0;
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
  // The colour atom carries the BT.709 tags in mp4 as in mov.
  av_dict_set(&options, "movflags", optimizeForNetworkUse_ ? "+write_colr+faststart" : "+write_colr", 0);
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

void AssetWriter::finish(MediaTime endTime) {
  if (closed_) throw FfmpegError("Finishing the file", "the file is already closed");
  if (!started_) throw FfmpegError("Finishing the file", "the writer was never started");
  closed_ = true;
  if (videoInput_) videoInput_->stop(true);
  for (auto& input : audioInputs_) input->stop(true, endTime);

  int result = av_write_trailer(muxer_->context.get());
  int closeResult = closeFile();
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

void AssetWriter::setEncodeGate(std::function<void()> gate) {
  muxer_->encodeGate = std::move(gate);
}

void AssetWriter::cancel() {
  if (closed_) return;
  closed_ = true;
  if (started_) stopThreads(false);
  closeFile();
  muxer_->context.reset();
  std::error_code ignored;
  std::filesystem::remove(path_, ignored);
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
