#include "capture/CameraCaptureEngine.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <atomic>
#include <cerrno>

#include "capture/SyntheticCamera.h"
#include "model/RecordingError.h"
#include "platform/media/Error.h"
#include "support/TestSupport.h"
#include "writing/MediaWriter.h"

using tk::CameraCaptureEngine;
using tk::test::SyntheticCamera;

namespace {

size_t countContaining(const std::vector<std::string>& lines, const std::string& fragment) {
  return static_cast<size_t>(std::count_if(lines.begin(), lines.end(), [&](const std::string& line) {
    return line.find(fragment) != std::string::npos;
  }));
}

class CameraCaptureEngineTest : public ::testing::Test {
 protected:
  // An engine on a synthetic camera, set up, capturing and writing into a started camera writer.
  void startEngine(bool startWriting = true) {
    writer = std::make_shared<tk::MediaWriter>();
    writer->configure(
        tk::test::syntheticCameraLayer(std::filesystem::path(folder.path().toStdString()) / ".camera.mov"));
    if (startWriting) writer->startWriting();
    engine = std::make_unique<CameraCaptureEngine>([this](const tk::CaptureDevice& device) {
      auto source = std::make_unique<SyntheticCamera>(device, 64, 48);
      camera = source.get();
      return source;
    });
    engine->setupCamera(tk::test::syntheticDevice());
    engine->configureForSeparateLayerRecording(writer);
    engine->startCapture();
    ASSERT_TRUE(tk::test::waitUntil([&] { return engine->isCapturing(); }));
  }

  // Delivers a frame once the writer's session has room for it, as a camera's own pace gives it:
  // frames handed in back to back would find the encoder busy and be dropped, as live ones are.
  bool deliverWhenReady(double seconds) {
    if (!tk::test::waitUntil([&] { return writer->isReadyForVideo(); })) return false;
    return camera->deliver(seconds);
  }

  void TearDown() override {
    engine.reset();
    if (writer) writer->cancelWriting();
  }

  QTemporaryDir folder;
  std::shared_ptr<tk::MediaWriter> writer;
  std::unique_ptr<CameraCaptureEngine> engine;
  SyntheticCamera* camera = nullptr;
};

}  // namespace

TEST_F(CameraCaptureEngineTest, FramesBeforeTheScreensFirstFrameWaitThenTheSessionStartsAtTheScreensTime) {
  tk::test::CapturedLines lines;
  startEngine();
  EXPECT_EQ(engine->currentDevice()->localizedName, "Synthetic Camera");
  EXPECT_EQ(engine->activeFormatSize(), std::make_pair(64, 48));
  for (int i = 0; i < 10; ++i) ASSERT_TRUE(camera->deliver(100.0 + i / 30.0));
  EXPECT_FALSE(writer->isWriting());
  EXPECT_EQ(countContaining(lines.lines(), "waiting for screen session to start..."), 3u);
  EXPECT_TRUE(lines.contains("⏳ Camera frame #3: waiting for screen session to start..."));

  // The screen's first frame came later than the camera's frames so far.
  const auto screenStart = tk::MediaTime::fromSeconds(100.5, 1'000'000'000);
  engine->setSyncedSessionStartTime(screenStart);
  for (int i = 15; i < 30; ++i) ASSERT_TRUE(camera->deliver(100.0 + i / 30.0));
  EXPECT_TRUE(writer->isWriting());
  EXPECT_EQ(writer->sessionStartTime(), screenStart);
  EXPECT_TRUE(lines.contains("✅ Camera writer session started at synced PTS: 100.5"));
  // The append lines stop after the fifth frame of the count, which the waiting frames used up.
  EXPECT_EQ(countContaining(lines.lines(), "📹 Camera frame #"), 0u);
  EXPECT_EQ(engine->cameraFrameCount(), 25);
}

TEST_F(CameraCaptureEngineTest, AFailedSessionStartIsRetriedWithTheNextFrame) {
  tk::test::CapturedLines lines;
  startEngine(false);  // the writer refuses a session until it has started writing
  engine->setSyncedSessionStartTime(tk::MediaTime::fromSeconds(5.0, 1'000'000'000));
  ASSERT_TRUE(camera->deliver(5.0));
  EXPECT_FALSE(writer->isWriting());
  EXPECT_EQ(countContaining(lines.lines(), "❌ Failed to start camera writer session: "), 1u);

  writer->startWriting();
  ASSERT_TRUE(camera->deliver(5.0 + 1 / 30.0));
  EXPECT_TRUE(writer->isWriting());
  EXPECT_TRUE(lines.contains("✅ Camera writer session started at synced PTS: 5.0"));
  EXPECT_TRUE(lines.contains("📹 Camera frame #2 append: ✅ (PTS: 5.033333333)"));

  camera->drop(2);  // frames the device lost are told one line each
  EXPECT_EQ(countContaining(lines.lines(), "Camera frame dropped"), 2u);
}

TEST_F(CameraCaptureEngineTest, APauseIsLeftOutOfTheCameraLayer) {
  startEngine();
  engine->setSyncedSessionStartTime(tk::MediaTime::fromSeconds(10.0, 1'000'000'000));
  ASSERT_TRUE(camera->deliver(10.0));
  ASSERT_TRUE(deliverWhenReady(10.1));
  const int64_t beforePause = engine->cameraFrameCount();

  // A camera hands a frame over a while after grabbing it. Paused from 10.15 s to 12.15 s.
  engine->pauseCapture(tk::MediaTime::fromSeconds(10.15, 1'000'000'000));
  ASSERT_TRUE(deliverWhenReady(10.12));  // grabbed before the pause, handed over within it
  for (double t : {10.5, 11.0, 11.5, 12.0}) camera->deliver(t);
  EXPECT_EQ(engine->cameraFrameCount(), beforePause + 1) << "paused frames reached the writer";
  engine->resumeCapture(tk::MediaTime::fromSeconds(2.0, 600));
  EXPECT_EQ(writer->timeOffset(), tk::MediaTime(1200, 600));
  camera->deliver(12.1);  // grabbed within the pause, handed over after it

  ASSERT_TRUE(deliverWhenReady(12.2));
  ASSERT_TRUE(deliverWhenReady(12.3));
  // The frame captured at 12.3 sits at 10.3 on the layer's clock, where a screen layer that left
  // the same pause out has its frame of that moment.
  EXPECT_EQ(engine->cameraFrameCount(), beforePause + 3);
  EXPECT_EQ(writer->lastPTS(), tk::MediaTime::fromSeconds(10.3, 1'000'000'000));
}

TEST_F(CameraCaptureEngineTest, AnUnpluggedCameraStopsCapturingInsteadOfSpinning) {
  tk::test::CapturedLines lines;
  startEngine();
  camera->unplug();
  EXPECT_TRUE(tk::test::waitUntil([&] { return !engine->isCapturing(); }));
  EXPECT_TRUE(lines.contains("⚠️ Camera stopped: The camera /dev/video-synthetic was disconnected"));
  EXPECT_FALSE(camera->deliver(20.0));
  // Starting again works on the same device once it is back.
  engine->startCapture();
  EXPECT_TRUE(tk::test::waitUntil([&] { return engine->isCapturing(); }));
}

// The source stops on the session queue, after the stop returned: a frame its thread hands over
// in between reaches neither the camera layer nor the handler of a take that ended.
TEST_F(CameraCaptureEngineTest, AFrameHandedOverAfterTheStopBeganReachesNothing) {
  startEngine();
  std::atomic<int> handled{0};
  engine->setFrameHandler([&](const tk::SampleBuffer&) { ++handled; });
  engine->setSyncedSessionStartTime(tk::MediaTime::fromSeconds(10.0, 1'000'000'000));
  ASSERT_TRUE(camera->deliver(10.0));
  const int64_t written = engine->cameraFrameCount();
  auto late = camera->grab(10.1);
  engine->stopCapture();
  late();
  EXPECT_TRUE(tk::test::waitUntil([&] { return !engine->isCapturing(); }));
  EXPECT_EQ(engine->cameraFrameCount(), written);
  EXPECT_EQ(handled, 1);
}

TEST(CameraPermissionTest, MissingRightsThrowPermissionDeniedAndShowTheAlertAMissingDeviceDoesNot) {
  std::vector<std::pair<std::string, std::string>> alerts;
  CameraCaptureEngine::setAlertPresenter([&](const std::string& message, const std::string& informative) {
    alerts.emplace_back(message, informative);
  });
  int code = EACCES;
  CameraCaptureEngine engine(
      [&code](const tk::CaptureDevice& device) -> std::unique_ptr<tk::VideoCaptureSource> {
        throw tk::PlatformError("V4L2", code, "Opening the camera " + device.devicePath + ": refused");
      });
  try {
    engine.setupCamera(tk::test::syntheticDevice());
    FAIL() << "a camera without rights was set up";
  } catch (const tk::RecordingError& error) {
    EXPECT_EQ(error.kind(), tk::RecordingError::Kind::permissionDenied);
    EXPECT_EQ(error.permissionType(), tk::PermissionType::camera);
  }
  ASSERT_TRUE(tk::test::waitUntil([&] { return !alerts.empty(); }));
  EXPECT_EQ(alerts.front().first, "Camera Permission Required");
  EXPECT_NE(alerts.front().second.find("\"video\" group"), std::string::npos);
  EXPECT_FALSE(engine.currentDevice().has_value());

  code = ENOENT;
  EXPECT_THROW(engine.setupCamera(tk::test::syntheticDevice()), tk::PlatformError);
  tk::test::pumpEvents(std::chrono::milliseconds(50));
  EXPECT_EQ(alerts.size(), 1u);
  CameraCaptureEngine::setAlertPresenter(nullptr);
}

TEST(CameraPermissionTest, TheRealCameraOnAMissingNodeReportsTheDeviceNotThePermission) {
  CameraCaptureEngine engine;
  tk::CaptureDevice missing = tk::test::syntheticDevice();
  missing.devicePath = "/dev/video-tk-missing";
  try {
    engine.setupCamera(missing);
    FAIL() << "a missing node was opened";
  } catch (const tk::PlatformError& error) {
    EXPECT_EQ(error.domain(), "V4L2");
    EXPECT_EQ(error.code(), ENOENT);
    EXPECT_EQ(error.localizedDescription(),
              "Opening the camera /dev/video-tk-missing: No such file or directory");
  }
  engine.startCapture();  // nothing set up: nothing happens
  EXPECT_FALSE(engine.isCapturing());
}

TEST(CameraDeviceLookupTest, TheChosenCameraIsFoundByIdOrNameAndTheDefaultIsTheBuiltInOne) {
  auto camera = [](std::string id, std::string name, bool external) {
    tk::CaptureDevice device;
    device.uniqueID = std::move(id);
    device.localizedName = std::move(name);
    device.isExternal = external;
    return device;
  };
  const std::vector<tk::CaptureDevice> attached = {
      camera("usb-grabber", "USB Video", true), camera("usb-Integrated_Camera", "Integrated Camera", false),
      camera("usb-desk", "Desk Camera", true)};
  EXPECT_EQ(CameraCaptureEngine::findCameraDevice(std::nullopt, attached)->uniqueID, "usb-Integrated_Camera");
  EXPECT_EQ(CameraCaptureEngine::findCameraDevice("default", attached)->uniqueID, "usb-Integrated_Camera");
  EXPECT_EQ(CameraCaptureEngine::findCameraDevice("Desk Camera", attached)->uniqueID, "usb-desk");
  EXPECT_EQ(CameraCaptureEngine::findCameraDevice("usb-grabber", attached)->uniqueID, "usb-grabber");
  EXPECT_FALSE(CameraCaptureEngine::findCameraDevice("desk camera", attached).has_value());
  EXPECT_EQ(CameraCaptureEngine::findCameraDevice(std::nullopt, {attached[2]})->uniqueID, "usb-desk");
  EXPECT_FALSE(CameraCaptureEngine::findCameraDevice(std::nullopt, {}).has_value());
}
