#include "platform/ffmpeg/EncoderProbe.h"

#include "platform/ffmpeg/FfmpegHandles.h"

extern "C" {
#include <libavutil/pixdesc.h>
}

namespace tk {

bool EncoderProbe::hasEncoder(const std::string& name) {
  return avcodec_find_encoder_by_name(name.c_str()) != nullptr;
}

bool EncoderProbe::supportsHevcWithAlpha() {
  const AVCodec* codec = avcodec_find_encoder_by_name("libx265");
  if (!codec || !codec->pix_fmts) return false;
  for (const AVPixelFormat* format = codec->pix_fmts; *format != AV_PIX_FMT_NONE; ++format) {
    const AVPixFmtDescriptor* descriptor = av_pix_fmt_desc_get(*format);
    if (descriptor && (descriptor->flags & AV_PIX_FMT_FLAG_ALPHA)) return true;
  }
  return false;
}

bool EncoderProbe::canEncode(VideoCodecKind codec, int width, int height) {
  if (width < 2 || height < 2) return false;
  const bool proRes = codec == VideoCodecKind::prores4444 || codec == VideoCodecKind::prores4444xq;
  const char* name = codec == VideoCodecKind::h264   ? "libx264"
                     : codec == VideoCodecKind::hevc ? "libx265"
                                                     : "prores_ks";
  const AVCodec* encoder = avcodec_find_encoder_by_name(name);
  if (!encoder) return false;
  ff::CodecContextPtr context(avcodec_alloc_context3(encoder));
  if (!context) return false;
  context->width = proRes ? width : width & ~1;
  context->height = proRes ? height : height & ~1;
  context->pix_fmt = proRes ? AV_PIX_FMT_YUVA444P10LE : AV_PIX_FMT_YUV420P;
  context->time_base = AVRational{1, 60};
  context->framerate = AVRational{60, 1};
  AVDictionary* options = nullptr;
  if (!proRes) av_dict_set(&options, "preset", "ultrafast", 0);
  if (codec == VideoCodecKind::hevc) av_dict_set(&options, "x265-params", "log-level=none", 0);
  const int result = avcodec_open2(context.get(), encoder, &options);
  av_dict_free(&options);
  return result >= 0;
}

}  // namespace tk
