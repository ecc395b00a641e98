#include "FlashBeeps.h"

#include <QProcess>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <iterator>
#include <optional>

namespace tk::test {

namespace {

constexpr double kFirstLevel = 150, kLevelStep = 15;

// A flash or a beep cut by the start or a pause is not compared: only whole ones (0.1 s long) are.
constexpr double kWhole = 0.08;

// The whole flashes of a movie.
std::vector<Flash> flashOnsets(const MovieFacts& facts, const std::vector<double>& brightness) {
  std::vector<Flash> onsets;
  const size_t frames = std::min(brightness.size(), facts.videoFrameTimes.size());
  for (size_t i = 1; i < frames; ++i) {
    if (brightness[i] <= 128 || brightness[i - 1] > 128) continue;
    size_t end = i;
    while (end < frames && brightness[end] > 128) ++end;
    if (end >= frames || facts.videoFrameTimes[end] - facts.videoFrameTimes[i] < kWhole) continue;
    // The middle frame: the first or last may hold a flash drawn halfway.
    const double level = brightness[(i + end) / 2];
    const int code = int(std::lround((level - kFirstLevel) / kLevelStep));
    onsets.push_back({facts.videoFrameTimes[i], facts.videoFrameTimes[end] - facts.videoFrameTimes[i],
                      std::clamp(code, 0, kFlashCodes - 1)});
  }
  return onsets;
}

// Times (seconds in the movie) where a whole beep starts after at least 0.3 s of quiet.
std::vector<double> beepOnsets(const MovieFacts& facts, const std::vector<float>& samples, int rate) {
  std::vector<double> onsets;
  int64_t start = -1, lastLoud = -rate;
  auto close = [&] {
    if (start >= 0 && double(lastLoud - start) / rate >= kWhole)
      onsets.push_back(facts.audioStartTime + double(start) / rate);
  };
  for (size_t i = 0; i < samples.size(); ++i) {
    if (std::abs(samples[i]) < 0.05f) continue;
    if (int64_t(i) - lastLoud > rate * 3 / 10) {
      close();
      start = int64_t(i);
    }
    lastLoud = int64_t(i);
  }
  close();
  return onsets;
}

}  // namespace

bool makeFlashMovie(const std::filesystem::path& file, int seconds, QSize size) {
  const QString length = QString::number(seconds);
  const QString dimensions = QString("%1x%2").arg(size.width()).arg(size.height());
  QString picture = "color=black:s=" + dimensions + ":r=60:d=" + length;
  for (int code = 0; code < kFlashCodes; ++code) {
    const int level = int(kFirstLevel + code * kLevelStep);
    picture +=
        QString(",drawbox=x=0:y=0:w=%4:h=%5:t=fill:color=0x%1%1%1:enable='between(mod(t,%2),%3.5,%3.6)'")
            .arg(level, 2, 16, QChar('0'))
            .arg(kFlashCodes)
            .arg(code)
            .arg(size.width())
            .arg(size.height());
  }
  return QProcess::execute("ffmpeg", {"-v",
                                      "error",
                                      "-y",
                                      "-f",
                                      "lavfi",
                                      "-i",
                                      picture,
                                      "-f",
                                      "lavfi",
                                      "-i",
                                      "sine=f=1000:r=" + qEnvironmentVariable("DBG_RATE", "48000") + ":d=" +
                                          length + ",volume=volume=0:enable='not(between(mod(t,1),0.5,0.6))'",
                                      "-c:v",
                                      "libx264",
                                      "-preset",
                                      "ultrafast",
                                      "-pix_fmt",
                                      "yuv420p",
                                      "-c:a",
                                      "pcm_s16le",
                                      QString::fromStdString(file.string())}) == 0;
}

Pairing pairBeepsWithFlashes(const std::filesystem::path& movie, const MovieFacts& facts, const QRect& area) {
  Pairing result;
  result.flashes = flashOnsets(facts, frameBrightness(movie, area));
  result.beeps = beepOnsets(facts, audioSamples(movie, 48000), 48000);
  result.described = "flashes:";
  for (const Flash& flash : result.flashes)
    result.described += " " + std::to_string(flash.time) + "#" + std::to_string(flash.code);
  result.described += "; beeps:";
  for (double beep : result.beeps) result.described += " " + std::to_string(beep);
  if (result.flashes.empty()) return result;
  for (double beep : result.beeps) {
    const Flash* nearest = &result.flashes.front();
    for (const Flash& flash : result.flashes)
      if (std::abs(beep - flash.time) < std::abs(beep - nearest->time)) nearest = &flash;
    if (std::abs(beep - nearest->time) > 0.3) continue;
    result.offsets.push_back(beep - nearest->time);
    result.paired.push_back(beep);
    result.codes.push_back(nearest->code);
  }
  return result;
}

std::vector<double> beepsAgainstTheBeat(const Pairing& pairing, const std::vector<double>& cuts) {
  auto stretchOf = [&](double time) {
    return size_t(std::upper_bound(cuts.begin(), cuts.end(), time) - cuts.begin());
  };
  // Each stretch's beat: the median phase of its flashes against its last one.
  std::vector<std::vector<double>> phases(cuts.size() + 1);
  std::vector<double> last(cuts.size() + 1, -1);
  for (const Flash& flash : pairing.flashes) last[stretchOf(flash.time)] = flash.time;
  for (const Flash& flash : pairing.flashes) {
    const double since = flash.time - last[stretchOf(flash.time)];
    phases[stretchOf(flash.time)].push_back(since - std::round(since));
  }
  std::vector<double> offsets;
  for (double beep : pairing.beeps) {
    std::vector<double>& stretch = phases[stretchOf(beep)];
    if (stretch.empty()) {
      offsets.push_back(NAN);  // no flash to measure it by: never within any bound
      continue;
    }
    std::sort(stretch.begin(), stretch.end());
    const double beat = last[stretchOf(beep)] + stretch[stretch.size() / 2];
    offsets.push_back(beep - beat - std::round(beep - beat));
  }
  std::vector<double> sorted;
  std::copy_if(offsets.begin(), offsets.end(), std::back_inserter(sorted),
               [](double o) { return std::isfinite(o); });
  if (sorted.empty()) return offsets;
  std::sort(sorted.begin(), sorted.end());
  const double lag = sorted[sorted.size() / 2];
  for (double& offset : offsets) offset -= lag;
  return offsets;
}

AgainstReference compareWithReference(const Pairing& ours, const Pairing& reference) {
  AgainstReference result;
  std::vector<bool> matched(ours.paired.size(), false);
  std::vector<double> difference(ours.paired.size()), picture(ours.paired.size()), sound(ours.paired.size());
  std::vector<int> stretch(ours.paired.size());
  int stretches = 0;
  const auto& theirs = reference.paired;  // in time order
  auto partner = [&](size_t i, double shift) -> std::optional<size_t> {
    const double at = ours.paired[i] + shift;
    for (auto j = size_t(std::lower_bound(theirs.begin(), theirs.end(), at - 0.15) - theirs.begin());
         j < theirs.size() && theirs[j] < at + 0.15; ++j)
      if (reference.codes[j] == ours.codes[i]) return j;
    return std::nullopt;
  };
  for (size_t first = 0; first < ours.paired.size(); ++first) {
    if (matched[first]) continue;
    // Candidate shifts: the reference beeps that could be this one.
    std::vector<size_t> best;
    double bestShift = 0;
    for (size_t j = 0; j < reference.paired.size(); ++j) {
      if (reference.codes[j] != ours.codes[first]) continue;
      const double shift = reference.paired[j] - ours.paired[first];
      std::vector<size_t> found;
      for (size_t i = first; i < ours.paired.size(); ++i)
        if (!matched[i] && partner(i, shift)) found.push_back(i);
      if (found.size() > best.size()) best = found, bestShift = shift;
    }
    if (best.empty()) continue;
    for (size_t i : best) {
      const size_t j = *partner(i, bestShift);
      matched[i] = true;
      difference[i] = ours.offsets[i] - reference.offsets[j];
      sound[i] = reference.paired[j] - ours.paired[i];
      picture[i] = sound[i] + difference[i];
      stretch[i] = stretches;
    }
    ++stretches;
  }
  std::vector<std::vector<double>> pictures(static_cast<size_t>(stretches));
  for (size_t i = 0; i < ours.paired.size(); ++i)
    if (matched[i]) pictures[size_t(stretch[i])].push_back(picture[i]);
  std::vector<double> middle;
  for (auto& shifts : pictures) {
    std::sort(shifts.begin(), shifts.end());
    middle.push_back((shifts[(shifts.size() - 1) / 2] + shifts[shifts.size() / 2]) / 2);
  }
  // Whether the reference shows a whole flash like that of our beep `i` where the matched beep `k`
  // says it should be.
  auto referenceShows = [&](size_t i, size_t k) {
    const double at = ours.paired[i] - ours.offsets[i] + sound[k];
    return std::any_of(reference.flashes.begin(), reference.flashes.end(), [&](const Flash& flash) {
      return flash.code == ours.codes[i] && std::abs(flash.time - at) < 0.3;
    });
  };
  for (size_t i = 0; i < ours.paired.size(); ++i) {
    if (!matched[i]) {
      // Judged by the matched beeps on either side, which may lie across a pause.
      bool shown = false;
      for (size_t k = i; k-- > 0;)
        if (matched[k]) {
          shown = referenceShows(i, k);
          break;
        }
      for (size_t k = i + 1; k < ours.paired.size() && !shown; ++k)
        if (matched[k]) {
          shown = referenceShows(i, k);
          break;
        }
      ++(shown ? result.unmatched : result.unjudged);
      continue;
    }
    result.times.push_back(ours.paired[i]);
    result.differences.push_back(difference[i]);
    result.bySound.push_back(middle[size_t(stretch[i])] - sound[i]);
    result.soundShift.push_back(sound[i]);
    result.stretches.push_back(stretch[i]);
  }
  return result;
}

ReferenceRecording::~ReferenceRecording() {
  if (process_.state() == QProcess::NotRunning) return;
  process_.kill();
  process_.waitForFinished();
}

bool ReferenceRecording::start(const QRect& area, const std::string& monitor,
                               const std::filesystem::path& file) {
  file_ = file;
  process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
  process_.start("ffmpeg", {"-v",
                            "error",
                            "-y",
                            "-thread_queue_size",
                            "4096",
                            "-f",
                            "x11grab",
                            "-framerate",
                            "60",
                            "-video_size",
                            QString("%1x%2").arg(area.width()).arg(area.height()),
                            "-i",
                            qEnvironmentVariable("DISPLAY") + QString("+%1,%2").arg(area.x()).arg(area.y()),
                            "-thread_queue_size",
                            "4096",
                            "-f",
                            "pulse",
                            "-fragment_size",
                            "1920",
                            "-i",
                            QString::fromStdString(monitor),
                            "-copyts",
                            "-fps_mode",
                            "passthrough",
                            "-af",
                            "aresample=async=1",
                            "-c:v",
                            "libx264",
                            "-preset",
                            "ultrafast",
                            "-c:a",
                            "pcm_s16le",
                            QString::fromStdString(file.string())});
  if (!process_.waitForStarted()) return false;
  // FFmpeg writes its file's head once both inputs deliver.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (std::chrono::steady_clock::now() < deadline && process_.state() == QProcess::Running) {
    std::error_code error;
    const auto size = std::filesystem::file_size(file, error);
    if (!error && size > 0) return true;
    process_.waitForFinished(20);
  }
  return false;
}

std::optional<Pairing> ReferenceRecording::finish() {
  if (process_.state() != QProcess::NotRunning) {
    process_.write("q");
    process_.closeWriteChannel();
    if (!process_.waitForFinished(60'000)) return std::nullopt;
  }
  if (process_.exitStatus() != QProcess::NormalExit || process_.exitCode() != 0) return std::nullopt;
  const auto facts = probeMovie(file_);
  if (!facts) return std::nullopt;
  return pairBeepsWithFlashes(file_, *facts);
}

}  // namespace tk::test
