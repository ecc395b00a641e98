#include "platform/ffmpeg/VideoPartEncoder.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/ffmpeg/AssetWriterInputs.h"
#include "platform/ffmpeg/FfmpegError.h"
#include "platform/ffmpeg/LeftoverFiles.h"

namespace tk {
namespace {

// How each packet is kept in the hidden file, followed by its bytes.
struct SpilledPacket {
  int64_t pts = 0;
  int64_t dts = 0;
  int64_t duration = 0;
  int32_t flags = 0;
  int32_t size = 0;
};

const char* muxerName(ContainerFormat format) {
  return format == ContainerFormat::mp4 ? "mp4" : "mov";
}

}  // namespace

VideoPartEncoder::VideoPartEncoder(const VideoInputSettings& settings, ContainerFormat format,
                                   std::filesystem::path spillPath)
    : spillPath_(std::move(spillPath)), muxer_(std::make_unique<AssetWriterMuxer>()) {
  const int fd = LeftoverFiles::createOwn(spillPath_, O_RDWR, 0600);
  if (fd < 0) throw FfmpegError("Creating " + spillPath_.string(), AVERROR(errno));
  spill_ = ::fdopen(fd, "w+");
  if (!spill_) {
    const int error = errno;
    ::close(fd);
    LeftoverFiles::removeOwn(spillPath_);
    throw FfmpegError("Opening " + spillPath_.string(), AVERROR(error));
  }
  try {
    // The encoder is opened against a muxer of the movie's kind (which decides whether parameter sets
    // go in the header) that never writes a file: its packets come here instead.
    AVFormatContext* context = nullptr;
    const int result = avformat_alloc_output_context2(&context, nullptr, muxerName(format), nullptr);
    if (result < 0 || !context)
      throw FfmpegError("Creating the muxer", result < 0 ? result : AVERROR_MUXER_NOT_FOUND);
    muxer_->context.reset(context);
    muxer_->packetSink = [this](const AVPacket& packet) { spill(packet); };
    input_ = std::make_unique<AssetWriterVideoInput>(*muxer_, settings, format);
  } catch (...) {
    std::fclose(spill_);
    LeftoverFiles::removeOwn(spillPath_);
    throw;
  }
}

VideoPartEncoder::~VideoPartEncoder() {
  input_.reset();
  if (spill_) std::fclose(spill_);
  LeftoverFiles::removeOwn(spillPath_);
}

std::vector<uint8_t> VideoPartEncoder::parameterSets() const {
  const AVCodecContext* encoder = input_->encoder();
  if (!encoder->extradata) return {};
  return {encoder->extradata, encoder->extradata + encoder->extradata_size};
}

void VideoPartEncoder::start() {
  if (started_) return;
  started_ = true;
  input_->start();
}

bool VideoPartEncoder::isReadyForVideo() const {
  return started_ && !finished_ && input_->hasRoom();
}

bool VideoPartEncoder::appendVideo(std::shared_ptr<PixelBuffer> pixels, MediaTime time) {
  if (!started_ || finished_) return false;
  return input_->append(std::move(pixels), time);
}

void VideoPartEncoder::finish() {
  if (finished_) return;
  finished_ = true;
  input_->stop(true);
  if (!failed() && std::fflush(spill_) != 0)
    muxer_->noteFailure("Writing " + spillPath_.filename().string() + ": " + std::strerror(errno));
}

void VideoPartEncoder::cancel() {
  finished_ = true;
  input_->stop(false);
}

bool VideoPartEncoder::failed() const {
  return muxer_->failed || input_->failed();
}

std::string VideoPartEncoder::failure() const {
  std::string error = muxer_->firstError();
  return error.empty() ? input_->error() : error;
}

// On the encode thread.
void VideoPartEncoder::spill(const AVPacket& packet) {
  SpilledPacket head;
  head.pts = packet.pts;
  head.dts = packet.dts;
  head.duration = packet.duration;
  head.flags = packet.flags;
  head.size = packet.size;
  if (std::fwrite(&head, sizeof head, 1, spill_) != 1 ||
      std::fwrite(packet.data, 1, static_cast<size_t>(packet.size), spill_) !=
          static_cast<size_t>(packet.size))
    muxer_->noteFailure("Writing " + spillPath_.filename().string() + ": " + std::strerror(errno));
}

bool VideoPartEncoder::replay(const std::function<void(AVPacket*)>& each) {
  if (!finished_ || failed()) return false;
  std::rewind(spill_);
  ff::PacketPtr packet(av_packet_alloc());
  if (!packet) {
    muxer_->noteFailure(FfmpegError("Reading back a video part", AVERROR(ENOMEM)).localizedDescription());
    return false;
  }
  SpilledPacket head;
  while (std::fread(&head, sizeof head, 1, spill_) == 1) {
    if (head.size < 0 || av_new_packet(packet.get(), head.size) < 0 ||
        std::fread(packet->data, 1, static_cast<size_t>(head.size), spill_) !=
            static_cast<size_t>(head.size)) {
      muxer_->noteFailure("Reading back " + spillPath_.filename().string() + ": the file is cut short");
      return false;
    }
    packet->pts = head.pts;
    packet->dts = head.dts;
    packet->duration = head.duration;
    packet->flags = head.flags;
    each(packet.get());
    av_packet_unref(packet.get());
  }
  if (std::ferror(spill_)) {
    muxer_->noteFailure("Reading back " + spillPath_.filename().string() + ": " + std::strerror(errno));
    return false;
  }
  return true;
}

}  // namespace tk
