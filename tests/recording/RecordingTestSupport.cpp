#include "RecordingTestSupport.h"

#include <QProcess>

#include <QCoroTask>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPixmap>
#include <QProcess>
#include <QScreen>
#include <QWindow>
#include <algorithm>
#include <cmath>

#include "capture/ScreenCaptureEngine.h"
#include "model/RecordingError.h"
#include "support/TestSupport.h"

namespace tk::test {

PatternWindow::PatternWindow(QRect geometry, QColor colour, int stripe)
    : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint),
      geometry_(geometry),
      colour_(colour),
      stripe_(stripe) {
  setWindowTitle("Pattern");
  setGeometry(geometry);
}

bool PatternWindow::showAndWait() {
  show();
  raise();
  if (!waitUntil([&] {
        return isVisible() && windowHandle() && windowHandle()->isExposed() &&
               geometry().topLeft() == geometry_.topLeft();
      })) {
    return false;
  }
  // Exposed is not yet drawn: wait until the screen itself shows the pattern, in the middle and
  // around it (clear of the edges, where a dock may float), before anything captures it.
  return waitUntil([&] {
    const QImage shown =
        QGuiApplication::primaryScreen()
            ->grabWindow(0, geometry_.x(), geometry_.y(), geometry_.width(), geometry_.height())
            .toImage();
    if (shown.size() != geometry_.size()) return false;
    const int w = geometry_.width(), h = geometry_.height();
    for (const QPoint at : {QPoint(w / 4, h / 4), QPoint(w * 3 / 4, h / 4), QPoint(w / 4, h * 3 / 4),
                            QPoint(w * 3 / 4, h * 3 / 4), QPoint(w / 2, h / 2)}) {
      if (shown.pixelColor(at).rgb() != colourAt(at.x()).rgb()) return false;
    }
    return true;
  });
}

QColor PatternWindow::colourAt(int x) const {
  if (stripe_ <= 0) return colour_;
  return (x / stripe_) % 2 == 0 ? QColor(Qt::black) : QColor(Qt::white);
}

void PatternWindow::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), stripe_ > 0 ? Qt::white : colour_);
  if (stripe_ > 0) {
    for (int x = 0; x < width(); x += 2 * stripe_) painter.fillRect(x, 0, stripe_, height(), Qt::black);
  }
}

CaptureDisplayRef firstDisplay() {
  ScreenCaptureEngine engine;
  engine.refreshAvailableContentBlocking();
  const auto& content = engine.availableContent();
  return content && !content->displays.empty() ? content->displays.front() : nullptr;
}

CaptureWindowRef windowFor(const QWidget& window) {
  ScreenCaptureEngine engine;
  engine.refreshAvailableContentBlocking();
  if (!engine.availableContent()) return nullptr;
  for (const auto& candidate : engine.availableContent()->windows) {
    if (candidate->windowID == uint32_t(window.winId())) return candidate;
  }
  return nullptr;
}

RecordingConfiguration baseConfiguration(const RecordingMode& mode, const std::filesystem::path& folder) {
  RecordingConfiguration configuration;
  configuration.mode = mode;
  configuration.frameRate = 30;
  configuration.encoder = VideoEncoder::h264;
  configuration.videoQuality = VideoQuality::low;
  configuration.outputFormat = OutputFormat::mp4;
  configuration.outputDirectory = folder;
  configuration.countdown = 0;
  return configuration;
}

void CoordinatorTest::SetUp() {
  TK_REQUIRE_DESKTOP();
  ASSERT_TRUE(folder.isValid());
  display = firstDisplay();
  ASSERT_TRUE(display);
}

std::optional<std::filesystem::path> CoordinatorTest::record(RecordingConfiguration configuration,
                                                             double seconds) {
  configuration.outputDirectory = out() / std::to_string(++recordings_);
  if (!harness.waitForIdle() || !harness.start(configuration.mode, configuration)) return std::nullopt;
  if (!harness.recordFor(seconds)) return std::nullopt;
  return harness.stop();
}

RecordingConfiguration CoordinatorTest::windowConfig(const RecordingMode& mode) const {
  auto configuration = config(mode);
  configuration.backgroundColor = BackgroundType::black;
  return configuration;
}

RecordingHarness::RecordingHarness() {
  coordinator.setResultOpener([this](const std::filesystem::path& result, const std::filesystem::path&,
                                     bool) { opened.push_back(result); });
}

RecordingHarness::~RecordingHarness() {
  if (coordinator.recordingState().kind() == RecordingState::Kind::recording ||
      coordinator.recordingState().kind() == RecordingState::Kind::paused) {
    stop();
  }
}

bool RecordingHarness::start(const RecordingMode& mode, const RecordingConfiguration& configuration) {
  try {
    awaitTask(coordinator.prepareRecording(mode, configuration));
    awaitTask(coordinator.startRecording());
    return true;
  } catch (const std::exception&) {
    error = describeException(std::current_exception());
    return false;
  }
}

bool RecordingHarness::recordFor(double seconds) {
  return waitUntil([&] { return coordinator.recordingDuration() >= seconds; },
                   std::chrono::milliseconds(int(seconds * 1000) + 30000));
}

std::optional<std::filesystem::path> RecordingHarness::stop() {
  try {
    awaitTask(coordinator.stopRecording());
  } catch (const std::exception&) {
    error = describeException(std::current_exception());
    return std::nullopt;
  }
  if (auto* completed = coordinator.recordingState().get<RecordingState::Completed>())
    return completed->fileURL;
  return std::nullopt;
}

bool RecordingHarness::waitForIdle() {
  return waitUntil([&] { return coordinator.recordingState().kind() == RecordingState::Kind::idle; });
}

ToneInNullSink::~ToneInNullSink() {
  if (!module_.isEmpty()) QProcess::execute("pactl", {"unload-module", module_});
}

MonitorListener::MonitorListener(const std::string& sink) {
  PulseRecordStream::Options options;
  options.sourceName = sink + ".monitor";
  auto delivered = delivered_;
  auto firstSound = firstSoundNs_;
  auto onSamples = [delivered, firstSound](const SampleBuffer& sample) {
    *delivered = true;
    const auto& block = sample.audioBlock();
    if (firstSound->load() != 0 || !block || !block->format.interleaved || block->format.sampleRate <= 0)
      return;
    const auto loud = std::find_if(block->samples.begin(), block->samples.end(),
                                   [](float value) { return std::abs(value) > 0.05f; });
    if (loud == block->samples.end()) return;
    const int64_t frame = (loud - block->samples.begin()) / std::max(1, block->format.channels);
    *firstSound = sample.presentationTime().nanoseconds() + frame * 1'000'000'000 / block->format.sampleRate;
  };
  try {
    stream_ = PulseRecordStream::start(options, onSamples, {});
  } catch (const Error&) {
  }
}

MonitorListener::~MonitorListener() = default;

bool MonitorListener::waitUntilFlowing() {
  return stream_ && waitUntil([&] { return delivered_->load(); });
}

std::optional<MediaTime> MonitorListener::firstSound() const {
  const int64_t ns = firstSoundNs_->load();
  if (ns == 0) return std::nullopt;
  return MediaTime::fromNanoseconds(ns);
}

namespace {

QString loadModule(const QStringList& arguments) {
  QProcess pactl;
  pactl.start("pactl", QStringList{"load-module"} + arguments);
  if (!pactl.waitForFinished(10000) || pactl.exitCode() != 0) return {};
  return QString::fromUtf8(pactl.readAllStandardOutput()).trimmed();
}

}  // namespace

VirtualMicrophone::VirtualMicrophone(const std::string& name, int frequency) : name_(name) {
  const QString sink = QString::fromStdString(name + "_sink");
  for (const QStringList& module :
       {QStringList{"module-null-sink", "sink_name=" + sink, "rate=48000"},
        QStringList{"module-remap-source", "master=" + sink + ".monitor",
                    "source_name=" + QString::fromStdString(name),
                    "source_properties=device.description=TestMic"},
        QStringList{"module-sine", "sink=" + sink, "frequency=" + QString::number(frequency)}}) {
    QString loaded = loadModule(module);
    if (loaded.isEmpty()) return;
    modules_.push_back(loaded);
  }
  listener_ = std::make_unique<MonitorListener>(sink.toStdString());
}

VirtualMicrophone::~VirtualMicrophone() {
  listener_.reset();
  for (auto module = modules_.rbegin(); module != modules_.rend(); ++module)
    QProcess::execute("pactl", {"unload-module", *module});
}

bool VirtualMicrophone::ready() {
  return modules_.size() == 3 && listener_ && listener_->waitUntilFlowing();
}

ToneInNullSink::ToneInNullSink(int frequency) {
  module_ = loadModule({"module-sine", "sink=" + qEnvironmentVariable("TK_TEST_SINK"),
                        "frequency=" + QString::number(frequency)});
}

double medianRunLength(const std::vector<uint8_t>& bgra, int width, int row, int from, int to) {
  std::vector<int> runs;
  auto dark = [&](int x) { return bgra[(size_t(row) * width + x) * 4 + 1] < 128; };
  int start = from;
  for (int x = from + 1; x < to; ++x) {
    if (dark(x) != dark(x - 1)) {
      if (start != from) runs.push_back(x - start);  // the first run may be cut by the edge
      start = x;
    }
  }
  if (runs.empty()) return to - from;
  std::sort(runs.begin(), runs.end());
  return runs[runs.size() / 2];
}

}  // namespace tk::test
