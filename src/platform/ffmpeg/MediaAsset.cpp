#include "platform/ffmpeg/MediaAsset.h"

#include <algorithm>

#include "platform/ffmpeg/StreamDecoder.h"

namespace tk {

namespace {

MediaTime microseconds(int64_t value) {
  return MediaTime(value, 1'000'000);
}

}  // namespace

MediaAsset MediaAsset::load(const std::filesystem::path& file) {
  auto context = ff::openInput(file);
  AVFormatContext* f = context.get();
  MediaAsset asset;
  asset.url_ = file;
  const int64_t origin = f->start_time == AV_NOPTS_VALUE ? 0 : f->start_time;
  MediaTime longest = MediaTime::zero();
  for (unsigned i = 0; i < f->nb_streams; ++i) {
    const AVStream* s = f->streams[i];
    const AVCodecParameters* p = s->codecpar;
    MediaTrack track;
    track.trackID = static_cast<int>(i) + 1;
    track.kind = p->codec_type == AVMEDIA_TYPE_VIDEO   ? MediaKind::video
                 : p->codec_type == AVMEDIA_TYPE_AUDIO ? MediaKind::audio
                                                       : MediaKind::other;
    if (s->disposition & AV_DISPOSITION_ATTACHED_PIC) track.kind = MediaKind::other;
    track.codec = avcodec_get_name(p->codec_id);
    const AVRational us{1, 1'000'000};
    if (s->start_time != AV_NOPTS_VALUE)
      track.start =
          microseconds(std::max<int64_t>(0, av_rescale_q(s->start_time, s->time_base, us) -
                                                av_rescale_q(origin, AVRational{1, AV_TIME_BASE}, us)));
    if (s->duration != AV_NOPTS_VALUE && s->duration > 0)
      track.duration = microseconds(av_rescale_q(s->duration, s->time_base, us));
    else if (f->duration != AV_NOPTS_VALUE)
      track.duration = microseconds(f->duration);
    if (track.kind == MediaKind::video) {
      track.width = p->width;
      track.height = p->height;
      const AVRational rate = s->avg_frame_rate.num > 0 ? s->avg_frame_rate : s->r_frame_rate;
      if (rate.num > 0 && rate.den > 0) track.nominalFrameRate = av_q2d(rate);
    } else if (track.kind == MediaKind::audio) {
      track.sampleRate = p->sample_rate;
      track.channels = p->ch_layout.nb_channels;
    }
    if (track.kind != MediaKind::other) longest = std::max(longest, track.start + track.duration);
    asset.tracks_.push_back(track);
  }
  asset.duration_ = f->duration != AV_NOPTS_VALUE && f->duration > 0 ? microseconds(f->duration) : longest;
  return asset;
}

std::vector<MediaTrack> MediaAsset::tracks(MediaKind kind) const {
  std::vector<MediaTrack> result;
  std::copy_if(tracks_.begin(), tracks_.end(), std::back_inserter(result),
               [kind](const MediaTrack& track) { return track.kind == kind; });
  return result;
}

const MediaTrack* MediaAsset::firstTrack(MediaKind kind) const {
  auto it = std::find_if(tracks_.begin(), tracks_.end(),
                         [kind](const MediaTrack& track) { return track.kind == kind; });
  return it == tracks_.end() ? nullptr : &*it;
}

}  // namespace tk
