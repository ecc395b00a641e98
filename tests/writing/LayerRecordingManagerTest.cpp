#include "writing/LayerRecordingManager.h"

#include <QCoroTask>
#include <QTemporaryDir>
#include <fstream>
#include <nlohmann/json.hpp>

#include "MediaFileReader.h"
#include "WritingTestSupport.h"
#include "support/TestSupport.h"

namespace tk {
namespace {

using test::seconds;
using test::splitFrame;

class LayerRecordingManagerTest : public ::testing::Test {
 protected:
  std::filesystem::path root() const { return dir.path().toStdString(); }

  static WriterConfiguration layer(const std::filesystem::path& url, int width, int height) {
    return test::writerConfiguration(url, OutputFormat::mov, width, height, 30);
  }

  static PackageConfiguration packageConfiguration() {
    PackageConfiguration configuration;
    configuration.resolution = QSizeF(128, 96);
    configuration.frameRate = 30;
    configuration.duration = 65;
    return configuration;
  }

  static std::string errorText(const std::function<void()>& action) {
    try {
      action();
    } catch (const Error& error) {
      return error.localizedDescription();
    }
    return "no error";
  }

  QTemporaryDir dir;
};

TEST_F(LayerRecordingManagerTest, WritesScreenAndCameraLayersAndTheManifest) {
  LayerRecordingManager manager;
  test::CapturedLines lines;
  const RecordingPackage package = manager.createPackage(root());
  EXPECT_EQ(package.packageURL.filename().string().rfind("Recording-", 0), 0u);
  manager.startLayerRecording(layer(package.screenVideoURL, 128, 96), layer(*package.cameraVideoURL, 64, 48));

  // The camera's session starts at the screen's first frame time; its frames keep their own times.
  manager.screenWriter()->startSession(seconds(10));
  manager.cameraWriter()->startSession(seconds(10));
  // Frames arrive no faster than the writers take them, as a capture's do (a recording's queue is short).
  for (int i = 0; i < 6; ++i) {
    ASSERT_TRUE(test::waitForRoom([&] { return manager.screenWriter()->isReadyForVideo(); }));
    ASSERT_TRUE(test::waitForRoom([&] { return manager.cameraWriter()->isReadyForVideo(); }));
    ASSERT_TRUE(manager.screenWriter()->appendVideoBuffer(
        SampleBuffer::video(splitFrame(128, 96, 0xFFFF0000, 0xFF0000FF), seconds(10 + i / 30.0))));
    ASSERT_TRUE(manager.cameraWriter()->appendVideoBuffer(
        SampleBuffer::video(splitFrame(64, 48, 0xFF00FF00, 0xFF000000), seconds(10.05 + i / 30.0))));
  }
  const RecordingPackage final = test::await(manager.finalizeLayerRecording(packageConfiguration()));

  EXPECT_FALSE(manager.isRecording());
  EXPECT_EQ(test::readMediaFile(final.screenVideoURL).video()->packetCount, 6);
  const auto camera = test::readMediaFile(package.packageURL / ".camera.mov");
  EXPECT_EQ(camera.video()->width, 64);
  EXPECT_NEAR(test::videoFrameTimes(package.packageURL / ".camera.mov").front(), 0.05, 1e-3);

  std::ifstream manifestFile(package.packageURL / ".package.json");
  const auto manifest = nlohmann::json::parse(manifestFile);
  EXPECT_EQ(manifest["version"], "1.0");
  EXPECT_EQ(manifest["configuration"]["frameRate"], 30);
  EXPECT_EQ(manifest["configuration"]["duration"], 65);
  EXPECT_TRUE(manifest.contains("cameraVideoURL"));
  EXPECT_TRUE(lines.contains("✅ Screen layer finalized: .screen.mov"));
  EXPECT_TRUE(lines.contains("✅ Camera layer finalized: .camera.mov"));
  EXPECT_TRUE(lines.contains("   Duration: 01:05"));
  EXPECT_TRUE(lines.contains("   Camera: "));

  // Finished layers are the user's recording: a later cancel keeps them.
  manager.cancelLayerRecording();
  EXPECT_TRUE(std::filesystem::exists(final.screenVideoURL));
}

TEST_F(LayerRecordingManagerTest, ACameraThatDeliveredNothingLeavesNoCameraFile) {
  LayerRecordingManager manager;
  test::CapturedLines lines;
  const RecordingPackage package = manager.createPackage(root());
  manager.startLayerRecording(layer(package.screenVideoURL, 64, 48), layer(*package.cameraVideoURL, 64, 48));
  manager.screenWriter()->startSession(seconds(1));
  ASSERT_TRUE(
      manager.screenWriter()->appendVideoBuffer(SampleBuffer::video(splitFrame(64, 48, 1, 2), seconds(1))));
  const RecordingPackage final = test::await(manager.finalizeLayerRecording(packageConfiguration()));

  EXPECT_TRUE(lines.contains("⚠️ Camera writer session was never started - no frames were captured"));
  EXPECT_FALSE(lines.contains("   Camera: "));
  EXPECT_FALSE(std::filesystem::exists(package.packageURL / ".camera.mov"));
  EXPECT_TRUE(std::filesystem::exists(package.packageURL / ".package.json"));
  EXPECT_FALSE(final.cameraVideoURL.has_value());
}

// While recording, the manifest names each layer from its first fragment on, so that a killed
// package keeps one; the finish writes it again with the take's duration.
TEST_F(LayerRecordingManagerTest, WhileRecordingTheManifestNamesTheLayersThatHaveData) {
  LayerRecordingManager manager;
  const RecordingPackage package = manager.createPackage(root());
  const auto manifestFile = package.packageURL / RecordingPackage::manifestFileName;
  auto manifest = [&] { return recordingPackageFromJson(readJsonFile(manifestFile)); };
  PackageConfiguration soFar = packageConfiguration();
  soFar.duration = 1;
  manager.startLayerRecording(layer(package.screenVideoURL, 64, 48), layer(*package.cameraVideoURL, 64, 48));
  manager.saveManifestWhileRecording(soFar);
  EXPECT_FALSE(std::filesystem::exists(manifestFile)) << "written before the screen layer had data";

  // Five seconds of frames: the first second's fragment reaches the disk, whatever the encoder
  // holds back.
  auto feed = [](MediaWriter& writer) {
    writer.startSession(seconds(0));
    for (int i = 0; i < 150; ++i) {
      const auto frame = SampleBuffer::video(splitFrame(64, 48, 1, 2), seconds(i / 30.0));
      const bool taken = test::waitUntil([&] { return writer.appendVideoBuffer(frame); });
      ASSERT_TRUE(taken) << "frame " << i << " was never taken";
    }
  };
  auto hasData = [](const std::filesystem::path& file) {
    return test::waitUntil([&] {
      std::error_code error;
      return std::filesystem::file_size(file, error) > 0 && !error;
    });
  };
  feed(*manager.screenWriter());
  ASSERT_TRUE(hasData(package.screenVideoURL)) << "the screen layer's first fragment never reached the disk";
  manager.saveManifestWhileRecording(soFar);
  ASSERT_TRUE(std::filesystem::exists(manifestFile)) << "no manifest once the screen layer had data";
  EXPECT_EQ(manifest().screenVideoURL, package.screenVideoURL);
  EXPECT_FALSE(manifest().cameraVideoURL) << "named a camera layer without data";
  EXPECT_FALSE(manifest().audioURL);
  EXPECT_EQ(manifest().configuration.duration, 1);

  feed(*manager.cameraWriter());
  ASSERT_TRUE(hasData(*package.cameraVideoURL)) << "the camera layer's first fragment never reached the disk";
  soFar.duration = 2;
  manager.saveManifestWhileRecording(soFar);
  EXPECT_EQ(manifest().cameraVideoURL, package.cameraVideoURL);
  EXPECT_EQ(manifest().configuration.duration, 2);

  test::await(manager.finalizeLayerRecording(packageConfiguration()));
  EXPECT_EQ(manifest().configuration.duration, 65);
  // Once finished, a late tick leaves the finished manifest alone.
  manager.saveManifestWhileRecording(soFar);
  EXPECT_EQ(manifest().configuration.duration, 65);
}

TEST_F(LayerRecordingManagerTest, PackagesOfOneSecondGetTheirOwnFolders) {
  LayerRecordingManager first;
  LayerRecordingManager second;
  const auto a = first.createPackage(root());
  const auto b = second.createPackage(root());
  EXPECT_NE(a.packageURL, b.packageURL);
  EXPECT_TRUE(std::filesystem::is_directory(a.packageURL));
  EXPECT_TRUE(std::filesystem::is_directory(b.packageURL));
}

TEST_F(LayerRecordingManagerTest, ErrorsAndCancellation) {
  LayerRecordingManager manager;
  EXPECT_EQ(errorText([&] { manager.startLayerRecording(layer(root() / "x.mov", 64, 48), std::nullopt); }),
            "Recording package has not been created");
  EXPECT_EQ(errorText([&] { test::await(manager.finalizeLayerRecording({})); }),
            "Recording package has not been created");
  const auto package = manager.createPackage(root());
  EXPECT_EQ(errorText([&] { test::await(manager.finalizeLayerRecording({})); }),
            "Layer recording is not active");

  // A screen writer that cannot be configured (an odd alpha size is fine, a zero size is not).
  auto broken = layer(package.screenVideoURL, 0, 0);
  broken.videoSettings->hasAlphaChannel = true;
  broken.videoSettings->alphaCodec = AlphaVideoCodec::proRes4444;
  EXPECT_EQ(errorText([&] { manager.startLayerRecording(broken, std::nullopt); }),
            "Invalid resolution: 0x0. Width and height must be greater than 0.");
  // Cancel after a failed start removes the folder though no writer wrote a file.
  manager.cancelLayerRecording();
  EXPECT_FALSE(std::filesystem::exists(package.packageURL));

  const auto again = manager.createPackage(root());
  manager.startLayerRecording(layer(again.screenVideoURL, 64, 48), std::nullopt);
  EXPECT_EQ(
      errorText([&] { manager.startLayerRecording(layer(again.screenVideoURL, 64, 48), std::nullopt); }),
      "Layer recording is already in progress");
  EXPECT_EQ(manager.cameraWriter(), nullptr);

  EXPECT_EQ(LayerRecordingError::missingFile(RecordingLayer::screen).localizedDescription(),
            "Missing screen file in recording package");
  EXPECT_EQ(LayerRecordingError::packageNotFound("/a/b").localizedDescription(),
            "Recording package not found at: /a/b");
  EXPECT_EQ(LayerRecordingManager::fileSizeText(12'345'678), "12.3 MB");
  EXPECT_EQ(LayerRecordingManager::fileSizeText(950'000), "950 KB");
}

}  // namespace
}  // namespace tk
