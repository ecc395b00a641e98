#include <pthread.h>
#include <sched.h>

#include <algorithm>

#include "platform/ffmpeg/AssetWriterInputs.h"
#include "platform/ffmpeg/Bt709Converter.h"
#include "platform/ffmpeg/FfmpegError.h"

extern "C" {
#include <libavutil/opt.h>
#include <libavutil/pixdesc.h>
}

namespace tk {

namespace {

const char* encoderName(VideoCodecKind codec) {
  switch (codec) {
    case VideoCodecKind::h264:
      return "libx264";
    case VideoCodecKind::hevc:
      return "libx265";
    case VideoCodecKind::prores4444:
    case VideoCodecKind::prores4444xq:
      return "prores_ks";
  }
  return "libx264";
}

bool isProRes(VideoCodecKind codec) {
  return codec == VideoCodecKind::prores4444 || codec == VideoCodecKind::prores4444xq;
}

// A third of the hold waits unconverted (a full BGRA frame each, lent by the capture's pool), at
// most three; the rest converted, at under half the size.
size_t unconvertedCapacity(const VideoInputSettings& settings) {
  if (settings.queuedFrames <= 0) return AssetWriterVideoInput::kQueueCapacity;
  return static_cast<size_t>(std::clamp(settings.queuedFrames / 3, 1, 3));
}

int convertedCapacity(const VideoInputSettings& settings) {
  if (settings.queuedFrames <= 0) return AssetWriterVideoInput::kFrameCount;
  return std::max(settings.queuedFrames - static_cast<int>(unconvertedCapacity(settings)), 2);
}

// What x264 keeps per frame it holds, in bytes per pixel: the 4:2:0 planes with their borders, the
// three half-pel planes and the lookahead's quarter-size copies.
constexpr double kX264BytesPerPixel = 7.5;
// Frames x264 holds whatever its threading: the preset's lookahead of ten, three B-frames.
constexpr double kX264FixedFrames = 13;

}  // namespace

int availableCores() {
  cpu_set_t set;
  CPU_ZERO(&set);
  return sched_getaffinity(0, sizeof set, &set) == 0 ? std::max(CPU_COUNT(&set), 1) : 1;
}

std::string x264Parameters(const H264Threading& threading, int bFrameAdaptation) {
  std::vector<std::string> parts;
  if (threading.sliced) parts.emplace_back("sliced-threads=1");
  if (threading.lookahead >= 0) parts.push_back("rc-lookahead=" + std::to_string(threading.lookahead));
  if (threading.noBFrames) parts.emplace_back("bframes=0");
  if (threading.syncLookahead >= 0)
    parts.push_back("sync-lookahead=" + std::to_string(threading.syncLookahead));
  if (threading.lookaheadThreads > 0)
    parts.push_back("lookahead-threads=" + std::to_string(threading.lookaheadThreads));
  if (bFrameAdaptation >= 0)
    parts.push_back("b-adapt=" + std::to_string(bFrameAdaptation));
  std::string joined;
  for (const auto& part : parts) {
    if (!joined.empty()) joined += ':';
    joined += part;
  }
  return joined;
}

namespace {

double x264FrameBytes(int width, int height) {
  return kX264BytesPerPixel * std::max(width, 1) * std::max(height, 1);
}

// Each frame thread holds about one and a half frames of its own.
constexpr double kX264FramesPerThread = 1.5;

}  // namespace

double h264FrameThreadMemory(int width, int height, int frameThreads) {
  // Half a thread's frames more, so that the rounding down in h264Threading lands on the count.
  return x264FrameBytes(width, height) * (kX264FixedFrames + kX264FramesPerThread * (frameThreads + 0.5));
}

H264Threading h264Threading(int width, int height, int cores, double frameBudget) {
  H264Threading threading;
  const double frameBytes = x264FrameBytes(width, height);
  const int frameThreads =
      static_cast<int>((frameBudget / frameBytes - kX264FixedFrames) / kX264FramesPerThread);
  if (frameThreads >= std::min(cores, 2)) {
    threading.threads = std::clamp(std::min(cores, frameThreads), 1, 16);
    // Beside frame threads x264 decides frame types and the rate control's look ahead on one thread
    // of its own, which at a fast preset sets the pace; split into as many it keeps up (same memory).
    threading.lookaheadThreads = threading.threads;
    return threading;
  }
  // Slices share one frame; what remains is the lookahead and the references. B-frames would each
  // hold a frame more (at 8K twice the encoder's memory).
  threading.threads = std::clamp(cores, 1, 16);
  threading.sliced = true;
  threading.noBFrames = true;
  threading.lookahead = std::clamp(static_cast<int>(frameBudget / frameBytes) - 5, 1, 10);
  return threading;
}

AssetWriterVideoInput::AssetWriterVideoInput(AssetWriterMuxer& muxer, const VideoInputSettings& settings,
                                             ContainerFormat format)
    : EncodingInput(muxer, "tk-encode-video"),
      bt709_(settings.bt709),
      convertedFrames_(static_cast<size_t>(convertedCapacity(settings))),
      queue_(unconvertedCapacity(settings)) {
  const bool proRes = isProRes(settings.codec);
  if (proRes && format != ContainerFormat::mov)
    throw FfmpegError("Adding a ProRes video input", "ProRes is written only into mov files");
  if (format == ContainerFormat::m4a) throw FfmpegError("Adding a video input", "m4a files hold audio only");
  if (settings.width < 1 || settings.height < 1 || settings.frameRate < 1)
    throw FfmpegError("Adding a video input", "the size and frame rate must be positive");

  // 4:2:0 needs even sizes: the odd last row or column is dropped rather than the frame refused.
  width_ = proRes ? settings.width : settings.width & ~1;
  height_ = proRes ? settings.height : settings.height & ~1;
  if (width_ < 2 || height_ < 2) throw FfmpegError("Adding a video input", "the frame is too small");
  pixelFormat_ = proRes ? AV_PIX_FMT_YUVA444P10LE : AV_PIX_FMT_YUV420P;

  const AVCodec* codec = avcodec_find_encoder_by_name(encoderName(settings.codec));
  if (!codec)
    throw FfmpegError(std::string("Finding the encoder ") + encoderName(settings.codec),
                      AVERROR_ENCODER_NOT_FOUND);
  encoder_.reset(avcodec_alloc_context3(codec));
  if (!encoder_) throw FfmpegError("Allocating the video encoder", AVERROR(ENOMEM));
  AVCodecContext* c = encoder_.get();
  c->width = width_;
  c->height = height_;
  c->pix_fmt = pixelFormat_;
  c->time_base = AVRational{1, kTimescale};
  c->framerate = AVRational{settings.frameRate, 1};
  // The encoders' own default (250 frames) would make a frame-exact seek in a 60 fps movie decode
  // up to four seconds of video first; one second halves the editor's worst seek against two, for
  // about a tenth more bytes at a given rate factor or bit rate.
  if (!proRes) c->gop_size = settings.keyframeInterval > 0 ? settings.keyframeInterval : settings.frameRate;
  if (settings.bitRate > 0 && !proRes) c->bit_rate = settings.bitRate;
  if (settings.bt709) {
    c->color_primaries = AVCOL_PRI_BT709;
    c->color_trc = AVCOL_TRC_BT709;
    c->colorspace = AVCOL_SPC_BT709;
  }
  c->color_range = AVCOL_RANGE_MPEG;
  // Every core the encoder can use (ProRes slices; x264 and x265 pick their own count from this).
  c->thread_count = 0;
  if (muxer.context->oformat->flags & AVFMT_GLOBALHEADER) c->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;

  AVDictionary* options = nullptr;
  if (!settings.preset.empty() && !proRes) av_dict_set(&options, "preset", settings.preset.c_str(), 0);
  if (!settings.tune.empty() && !proRes) av_dict_set(&options, "tune", settings.tune.c_str(), 0);
  if (settings.constantRateFactor >= 0 && !proRes)
    av_dict_set_int(&options, "crf", settings.constantRateFactor, 0);
  if (settings.codec == VideoCodecKind::h264) {
    av_dict_set(&options, "profile", "high", 0);
    const double budget = settings.encoderMemory > 0 ? settings.encoderMemory : kX264FrameBudget;
    H264Threading threading =
        h264Threading(width_, height_, settings.cores > 0 ? settings.cores : availableCores(), budget);
    if (settings.encoderMemory > 0) threading.syncLookahead = 0;
    // A live recording up to 1080p keeps x264's one lookahead thread: its encoder keeps up several
    // times over, and splitting the lookahead costs it a fifth more CPU.
    if (settings.encoderMemory > 0 && static_cast<double>(width_) * height_ <= 1920.0 * 1080.0)
      threading.lookaheadThreads = 0;
    if (settings.lookahead >= 0) threading.lookahead = settings.lookahead;
    if (settings.lookaheadThreads >= 0) threading.lookaheadThreads = settings.lookaheadThreads;
    if (settings.syncLookahead >= 0) threading.syncLookahead = settings.syncLookahead;
    c->thread_count = threading.threads;
    const std::string params = x264Parameters(threading, settings.bFrameAdaptation);
    if (!params.empty()) av_dict_set(&options, "x264-params", params.c_str(), 0);
  }
  if (settings.codec == VideoCodecKind::hevc) {
    av_dict_set(&options, "profile", "main", 0);
    av_dict_set(&options, "x265-params", "log-level=error", 0);
  }
  if (proRes)
    av_dict_set(&options, "profile", settings.codec == VideoCodecKind::prores4444xq ? "4444xq" : "4444", 0);
  int result = avcodec_open2(c, codec, &options);
  av_dict_free(&options);
  ffmpegCheck(result, std::string("Opening the ") + encoderName(settings.codec) + " encoder at " +
                          std::to_string(width_) + "x" + std::to_string(height_));

  stream_ = addEncoderStream(muxer, c);
  // Players on the other platform only accept HEVC tagged hvc1 (parameter sets in the sample entry).
  if (settings.codec == VideoCodecKind::hevc) stream_->codecpar->codec_tag = MKTAG('h', 'v', 'c', '1');
  stream_->avg_frame_rate = AVRational{settings.frameRate, 1};
  packetDuration_ = kTimescale / settings.frameRate;

  frames_.resize(static_cast<size_t>(convertedCapacity(settings)));
  for (size_t i = 0; i < frames_.size(); ++i) {
    frames_[i].reset(av_frame_alloc());
    if (!frames_[i]) throw FfmpegError("Allocating a video frame", AVERROR(ENOMEM));
    frames_[i]->format = pixelFormat_;
    frames_[i]->width = width_;
    frames_[i]->height = height_;
    ffmpegCheck(av_frame_get_buffer(frames_[i].get(), 0), "Allocating a video frame");
    freeFrames_.push(static_cast<int>(i));
  }
}

void AssetWriterVideoInput::FreeFrames::push(int index) {
  {
    std::lock_guard lock(mutex_);
    indices_.push_back(index);
  }
  wake_.notify_one();
}

int AssetWriterVideoInput::FreeFrames::pop() {
  std::unique_lock lock(mutex_);
  wake_.wait(lock, [&] { return !indices_.empty(); });
  const int index = indices_.back();
  indices_.pop_back();
  return index;
}

AssetWriterVideoInput::~AssetWriterVideoInput() {
  stop(false);
  sws_freeContext(scaler_);
}

void AssetWriterVideoInput::start() {
  convertThread_ = std::thread([this] {
    pthread_setname_np(pthread_self(), "tk-convert-vid");
    convertLoop();
  });
  thread_ = std::thread([this] {
    nameThread();
    encodeLoop();
  });
}

bool AssetWriterVideoInput::append(std::shared_ptr<PixelBuffer> pixels, MediaTime time) {
  if (!pixels || !time.isValid()) return false;
  int64_t pts = time.convertScale(kTimescale).value();
  std::lock_guard lock(appendMutex_);
  // The muxer needs strictly increasing times; two frames in one tick keep only the first.
  if (pts <= lastQueuedPts_ || pts < 0) return false;
  Item item{std::move(pixels), pts};
  if (!queue_.tryPush(item)) {
    ++refused_;
    return false;
  }
  lastQueuedPts_ = pts;
  ++accepted_;
  return true;
}

void AssetWriterVideoInput::convertLoop() {
  Item item;
  while (queue_.pop(item)) {
    if (!failed_) {
      int index = freeFrames_.pop();
      AVFrame* frame = frames_[index].get();
      if (convert(*item.pixels, frame)) {
        frame->pts = item.pts;
        convertedFrames_.tryPush(index);  // never full: it holds at most every frame there is
      } else {
        freeFrames_.push(index);
      }
    }
    item.pixels.reset();
  }
  convertedFrames_.close();
}

void AssetWriterVideoInput::encodeLoop() {
  int index = 0;
  while (convertedFrames_.pop(index)) {
    if (!failed_) {
      encode(frames_[index].get(), "Encoding a video frame");
      ++encoded_;
    }
    freeFrames_.push(index);
  }
}

bool AssetWriterVideoInput::convert(const PixelBuffer& pixels, AVFrame* frame) {
  int result = av_frame_make_writable(frame);
  if (result < 0) {
    fail(FfmpegError("Preparing a video frame", result).localizedDescription());
    return false;
  }
  const int sourceWidth = pixels.width();
  const int sourceHeight = pixels.height();
  // The common case (the configured size, or one odd pixel more) needs no scaler.
  const bool sameSize = sourceWidth - width_ >= 0 && sourceWidth - width_ <= 1 &&
                        sourceHeight - height_ >= 0 && sourceHeight - height_ <= 1;
  if (sameSize && pixelFormat_ == AV_PIX_FMT_YUV420P && bt709_) {
    convertBgraToYuv420Bt709(pixels.data(), pixels.bytesPerRow(), width_, height_, frame->data[0],
                             frame->linesize[0], frame->data[1], frame->linesize[1], frame->data[2],
                             frame->linesize[2]);
    return true;
  }
  if (!scaler_ || sourceWidth != scalerSourceWidth_ || sourceHeight != scalerSourceHeight_) {
    // A frame of another size is scaled to the track's size rather than refused by the encoder.
    SwsContext* scaler = sws_getCachedContext(scaler_, sourceWidth, sourceHeight, AV_PIX_FMT_BGRA, width_,
                                              height_, pixelFormat_, SWS_BILINEAR, nullptr, nullptr, nullptr);
    if (!scaler) {
      fail(FfmpegError("Preparing the colour converter", AVERROR(EINVAL)).localizedDescription());
      return false;
    }
    scaler_ = scaler;
    scalerSourceWidth_ = sourceWidth;
    scalerSourceHeight_ = sourceHeight;
    const int* matrix = sws_getCoefficients(bt709_ ? SWS_CS_ITU709 : SWS_CS_DEFAULT);
    // Full-range RGB in, limited-range YUV out with the matrix the stream is tagged with.
    sws_setColorspaceDetails(scaler_, matrix, 1, matrix, 0, 0, 1 << 16, 1 << 16);
  }
  const uint8_t* sourcePlanes[4] = {pixels.data(), nullptr, nullptr, nullptr};
  int sourceStrides[4] = {pixels.bytesPerRow(), 0, 0, 0};
  if (pixelFormat_ == AV_PIX_FMT_YUVA444P10LE) {
    // Our pixels are premultiplied; ProRes 4444 stores colour and alpha apart.
    unpremultiplied_.resize(static_cast<size_t>(sourceWidth) * 4 * sourceHeight);
    for (int y = 0; y < sourceHeight; ++y) {
      const uint8_t* in = pixels.row(y);
      uint8_t* out = unpremultiplied_.data() + static_cast<size_t>(y) * sourceWidth * 4;
      for (int x = 0; x < sourceWidth * 4; x += 4) {
        const int alpha = in[x + 3];
        for (int c = 0; c < 3; ++c)
          out[x + c] = alpha == 255 || alpha == 0
                           ? in[x + c]
                           : static_cast<uint8_t>(std::min(255, in[x + c] * 255 / alpha));
        out[x + 3] = static_cast<uint8_t>(alpha);
      }
    }
    sourcePlanes[0] = unpremultiplied_.data();
    sourceStrides[0] = sourceWidth * 4;
  }
  sws_scale(scaler_, sourcePlanes, sourceStrides, 0, sourceHeight, frame->data, frame->linesize);
  return true;
}

void AssetWriterVideoInput::stop(bool drain) {
  if (!thread_.joinable()) return;
  if (!drain) queue_.clear();
  queue_.close();
  convertThread_.join();
  thread_.join();
  if (drain && !failed_) encode(nullptr, "Flushing the video encoder");
}

InputCounters AssetWriterVideoInput::counters() const {
  InputCounters counters;
  counters.accepted = accepted_;
  counters.refused = refused_;
  counters.encoded = encoded_;
  return counters;
}

}  // namespace tk
