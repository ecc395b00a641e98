#include "platform/ffmpeg/AudioSampleReader.h"

#include <algorithm>
#include <vector>

#include "platform/ffmpeg/FfmpegError.h"
#include "platform/ffmpeg/StreamDecoder.h"

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
}

namespace tk {

struct AudioSampleReader::Impl {
  ff::StreamDecoder decoder;
  AudioFormat output;
  ff::FramePtr frame{av_frame_alloc()};
  ff::SwrPtr resampler;
  int resamplerRate = 0, resamplerFormat = -1;
  AVChannelLayout resamplerLayout{};
  // Position of the next output frame on the output rate's grid; unknown after a seek until the
  // first decoded frame says where it starts.
  std::optional<int64_t> nextFrame;
  int64_t cutBefore = INT64_MIN;  // output frames before this are dropped (exact seek)
  std::vector<std::shared_ptr<AudioBlock>> blocks;
  std::vector<float> planar;

  Impl(const std::filesystem::path& file, AudioFormat format, int trackID)
      : decoder(file, AVMEDIA_TYPE_AUDIO, trackID, 1), output(format) {
    if (output.sampleRate < 1 || output.channels < 1 || output.channels > 8)
      throw FfmpegError("Reading audio", "the requested format is not usable");
    if (!frame) throw FfmpegError("Allocating an audio frame", AVERROR(ENOMEM));
  }
  ~Impl() { av_channel_layout_uninit(&resamplerLayout); }

  void prepareResampler(const AVFrame* f) {
    AVChannelLayout inLayout{};
    if (f->ch_layout.nb_channels > 0)
      av_channel_layout_copy(&inLayout, &f->ch_layout);
    else
      av_channel_layout_default(&inLayout, std::max(1, decoder.codec()->ch_layout.nb_channels));
    if (inLayout.order == AV_CHANNEL_ORDER_UNSPEC) {
      const int channels = inLayout.nb_channels;
      av_channel_layout_uninit(&inLayout);
      av_channel_layout_default(&inLayout, channels);
    }
    if (resampler && resamplerRate == f->sample_rate && resamplerFormat == f->format &&
        av_channel_layout_compare(&resamplerLayout, &inLayout) == 0) {
      av_channel_layout_uninit(&inLayout);
      return;
    }
    AVChannelLayout outLayout{};
    av_channel_layout_default(&outLayout, output.channels);
    SwrContext* raw = nullptr;
    const int made = swr_alloc_set_opts2(&raw, &outLayout, AV_SAMPLE_FMT_FLT, output.sampleRate, &inLayout,
                                         static_cast<AVSampleFormat>(f->format), f->sample_rate, 0, nullptr);
    av_channel_layout_uninit(&outLayout);
    ff::SwrPtr context(raw);
    if (made < 0) {
      av_channel_layout_uninit(&inLayout);
      throw FfmpegError("Setting up the audio conversion", made);
    }
    ffmpegCheck(swr_init(context.get()), "Setting up the audio conversion");
    resampler = std::move(context);
    resamplerRate = f->sample_rate;
    resamplerFormat = f->format;
    av_channel_layout_uninit(&resamplerLayout);
    resamplerLayout = inLayout;
  }

  std::shared_ptr<AudioBlock> freeBlock() {
    for (auto& block : blocks)
      if (block.use_count() == 1) return block;
    blocks.push_back(std::make_shared<AudioBlock>());
    if (blocks.size() > 64) blocks.erase(blocks.begin());
    return blocks.back();
  }

  std::optional<SampleBuffer> next() {
    for (;;) {
      int converted = 0;
      std::shared_ptr<AudioBlock> block;
      if (decoder.decodeNext(frame.get())) {
        if (frame->sample_rate <= 0 || frame->nb_samples <= 0) continue;
        prepareResampler(frame.get());
        if (!nextFrame) {
          const int64_t pts =
              frame->best_effort_timestamp != AV_NOPTS_VALUE ? frame->best_effort_timestamp : frame->pts;
          const MediaTime start = pts == AV_NOPTS_VALUE ? MediaTime::zero() : decoder.toMediaTime(pts);
          nextFrame = start.convertScale(output.sampleRate, MediaTime::Rounding::Floor).value();
        }
        const int capacity = swr_get_out_samples(resampler.get(), frame->nb_samples);
        block = freeBlock();
        block->samples.resize(static_cast<size_t>(std::max(capacity, 0)) * output.channels);
        uint8_t* out[1] = {reinterpret_cast<uint8_t*>(block->samples.data())};
        converted =
            ffmpegCheck(swr_convert(resampler.get(), out, capacity,
                                    const_cast<const uint8_t**>(frame->extended_data), frame->nb_samples),
                        "Converting audio");
      } else {
        // The end: what the resampler still holds.
        if (!resampler || !nextFrame) return std::nullopt;
        const int capacity = swr_get_out_samples(resampler.get(), 0);
        if (capacity <= 0) return std::nullopt;
        block = freeBlock();
        block->samples.resize(static_cast<size_t>(capacity) * output.channels);
        uint8_t* out[1] = {reinterpret_cast<uint8_t*>(block->samples.data())};
        converted = ffmpegCheck(swr_convert(resampler.get(), out, capacity, nullptr, 0), "Converting audio");
        if (converted <= 0) return std::nullopt;
      }
      if (converted <= 0) continue;
      int64_t first = *nextFrame;
      *nextFrame += converted;
      int skip = 0;
      if (cutBefore != INT64_MIN && first < cutBefore) {
        if (first + converted <= cutBefore) continue;
        skip = static_cast<int>(cutBefore - first);
        first = cutBefore;
      }
      const int frames = converted - skip;
      float* samples = block->samples.data();
      if (skip > 0)
        std::copy(samples + static_cast<size_t>(skip) * output.channels,
                  samples + static_cast<size_t>(converted) * output.channels, samples);
      block->samples.resize(static_cast<size_t>(frames) * output.channels);
      block->frameCount = frames;
      block->format = AudioFormat{output.sampleRate, output.channels, true};
      if (!output.interleaved) deinterleave(*block);
      return SampleBuffer::audio(block, MediaTime(first, output.sampleRate));
    }
  }

  void deinterleave(AudioBlock& block) {
    planar.assign(block.samples.begin(), block.samples.end());
    const int channels = output.channels;
    for (int c = 0; c < channels; ++c)
      for (int i = 0; i < block.frameCount; ++i)
        block.samples[static_cast<size_t>(c) * block.frameCount + i] =
            planar[static_cast<size_t>(i) * channels + c];
    block.format.interleaved = false;
  }
};

AudioSampleReader::AudioSampleReader(const std::filesystem::path& file, AudioFormat output, int trackID)
    : impl_(std::make_unique<Impl>(file, output, trackID)) {}

AudioSampleReader::~AudioSampleReader() = default;

const AudioFormat& AudioSampleReader::outputFormat() const {
  return impl_->output;
}

void AudioSampleReader::seek(MediaTime time) {
  const MediaTime target = time.isValid() && time > MediaTime::zero() ? time : MediaTime::zero();
  // Audio frames are short and all decodable on their own; starting a little early covers
  // codecs whose first frame after a seek needs the one before it.
  impl_->decoder.seekBackward(impl_->decoder.toStreamTime(target - MediaTime(1, 10)));
  impl_->nextFrame.reset();
  if (impl_->resampler) swr_init(impl_->resampler.get());
  impl_->cutBefore = target.convertScale(impl_->output.sampleRate, MediaTime::Rounding::Floor).value();
}

std::optional<SampleBuffer> AudioSampleReader::nextBlock() {
  return impl_->next();
}

}  // namespace tk
