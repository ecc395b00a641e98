#include "MovieProbe.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <cmath>
#include <complex>

namespace tk::test {

namespace {

QByteArray run(const QString& program, const QStringList& arguments) {
  QProcess process;
  process.start(program, arguments);
  if (!process.waitForFinished(60000) || process.exitCode() != 0) return {};
  return process.readAllStandardOutput();
}

}  // namespace

std::optional<MovieFacts> probeMovie(const std::filesystem::path& file) {
  QByteArray json = run(
      "ffprobe", {"-v", "error", "-print_format", "json", "-show_format", "-show_streams", "-show_entries",
                  "packet=pts_time,stream_index", "-show_packets", QString::fromStdString(file.string())});
  if (json.isEmpty()) return std::nullopt;
  QJsonObject root = QJsonDocument::fromJson(json).object();
  MovieFacts facts;
  facts.duration = root["format"].toObject()["duration"].toString().toDouble();
  int videoIndex = -1;
  for (const auto& value : root["streams"].toArray()) {
    QJsonObject stream = value.toObject();
    if (stream["codec_type"] == "video" && videoIndex < 0) {
      videoIndex = stream["index"].toInt();
      facts.videoCodec = stream["codec_name"].toString().toStdString();
      facts.width = stream["width"].toInt();
      facts.height = stream["height"].toInt();
      facts.pixelFormat = stream["pix_fmt"].toString().toStdString();
      facts.videoProfile = stream["profile"].toString().toStdString();
      facts.videoDuration = stream["duration"].toString().toDouble();
    } else if (stream["codec_type"] == "audio") {
      if (facts.audioCodec.empty()) {
        facts.audioCodec = stream["codec_name"].toString().toStdString();
        facts.audioStartTime = stream["start_time"].toString().toDouble();
      }
      facts.audioDurations.push_back(stream["duration"].toString().toDouble());
    }
  }
  for (const auto& value : root["packets"].toArray()) {
    QJsonObject packet = value.toObject();
    if (packet["stream_index"].toInt() == videoIndex)
      facts.videoFrameTimes.push_back(packet["pts_time"].toString().toDouble());
  }
  std::sort(facts.videoFrameTimes.begin(), facts.videoFrameTimes.end());
  return facts;
}

std::vector<uint8_t> frameAt(const std::filesystem::path& file, double seconds, int width, int height) {
  QByteArray raw = run("ffmpeg", {"-v", "error", "-ss", QString::number(seconds), "-i",
                                  QString::fromStdString(file.string()), "-frames:v", "1", "-f", "rawvideo",
                                  "-pix_fmt", "bgra", "-s", QString("%1x%2").arg(width).arg(height), "-"});
  return {raw.begin(), raw.end()};
}

std::vector<float> audioSamples(const std::filesystem::path& file, int rate) {
  QByteArray raw = run("ffmpeg", {"-v", "error", "-i", QString::fromStdString(file.string()), "-map", "0:a:0",
                                  "-ac", "1", "-ar", QString::number(rate), "-f", "f32le", "-"});
  const float* samples = reinterpret_cast<const float*>(raw.constData());
  return {samples, samples + raw.size() / sizeof(float)};
}

std::vector<double> frameBrightness(const std::filesystem::path& file, const QRect& area) {
  const int w = 16, h = 12;
  QStringList arguments{"-v", "error", "-i", QString::fromStdString(file.string()), "-map", "0:v:0"};
  if (!area.isEmpty())
    arguments << "-vf"
              << QString("crop=%1:%2:%3:%4").arg(area.width()).arg(area.height()).arg(area.x()).arg(area.y());
  arguments << "-vsync"
            << "passthrough"
            << "-f"
            << "rawvideo"
            << "-pix_fmt"
            << "gray"
            << "-s" << QString("%1x%2").arg(w).arg(h) << "-";
  QByteArray raw = run("ffmpeg", arguments);
  std::vector<double> means;
  for (qsizetype at = 0; at + w * h <= raw.size(); at += w * h) {
    double sum = 0;
    for (int i = 0; i < w * h; ++i) sum += uint8_t(raw[at + i]);
    means.push_back(sum / (w * h));
  }
  return means;
}

double dominantAudioFrequency(const std::filesystem::path& file, double from, double to) {
  const int rate = 8000;
  QByteArray raw = run("ffmpeg", {"-v", "error", "-ss", QString::number(from), "-t",
                                  QString::number(to - from), "-i", QString::fromStdString(file.string()),
                                  "-vn", "-ac", "1", "-ar", QString::number(rate), "-f", "f32le", "-"});
  size_t n = raw.size() / sizeof(float);
  if (n < 256) return 0;
  const float* samples = reinterpret_cast<const float*>(raw.constData());
  // A direct scan of 50 Hz steps is plenty to tell a 440 Hz tone from silence or noise.
  double best = 0, bestPower = 0;
  for (double f = 100; f <= 2000; f += 10) {
    std::complex<double> sum;
    for (size_t i = 0; i < n; ++i)
      sum += double(samples[i]) * std::polar(1.0, -2 * M_PI * f * double(i) / rate);
    double power = std::norm(sum);
    if (power > bestPower) {
      bestPower = power;
      best = f;
    }
  }
  return bestPower / double(n) > 1e-3 ? best : 0;
}

}  // namespace tk::test
