#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <fstream>

#include "model/AudioPackageInfo.h"
#include "model/RecordingPackage.h"

using namespace tk;
using namespace std::chrono;

namespace {

const system_clock::time_point kReferenceDate = system_clock::from_time_t(978307200);  // 2001-01-01 UTC

class RecordingPackageTest : public ::testing::Test {
 protected:
  QTemporaryDir dir;
  std::filesystem::path folder() const {
    return std::filesystem::path(dir.path().toStdString()) / "Recording 1";
  }
  void SetUp() override { std::filesystem::create_directories(folder()); }
};

}  // namespace

TEST_F(RecordingPackageTest, CreatedPackageNamesItsFilesInsideTheFolder) {
  const RecordingPackage package = RecordingPackage::create(folder(), kReferenceDate);
  EXPECT_EQ(package.screenVideoURL, folder() / ".screen.mov");
  EXPECT_EQ(package.cameraVideoURL, folder() / ".camera.mov");
  EXPECT_EQ(package.audioURL, folder() / ".audio.m4a");
  EXPECT_EQ(package.metadataURL, folder() / ".metadata.json");
  EXPECT_FALSE(package.configuration.hasAlphaChannel);
  EXPECT_TRUE(package.configuration.hasSeparateLayers);
  EXPECT_EQ(package.configuration.frameRate, 0);
  EXPECT_FALSE(package.configuration.contentOrigin.has_value());
}

TEST_F(RecordingPackageTest, ManifestLeavesTheCameraAndAudioOutWhenNoSuchFileWasWritten) {
  const RecordingPackage created = RecordingPackage::create(folder(), kReferenceDate);
  PackageConfiguration configuration{false, true, QSizeF(1920, 1080), 60, 12.5, std::nullopt};

  created.finalized(configuration).writeManifest();
  Json manifest = readJsonFile(folder() / ".package.json");
  EXPECT_FALSE(manifest.contains("cameraVideoURL"));
  EXPECT_FALSE(manifest.contains("audioURL"));
  EXPECT_FALSE(manifest["configuration"].contains("contentOrigin"));
  EXPECT_EQ(manifest["configuration"]["resolution"], Json::array({1920.0, 1080.0}));
  EXPECT_EQ(manifest["version"], "1.0");

  { std::ofstream(folder() / ".camera.mov") << "camera"; }
  configuration.contentOrigin = QPointF(100, 200);
  created.finalized(configuration).writeManifest();
  manifest = readJsonFile(folder() / ".package.json");
  EXPECT_EQ(manifest["cameraVideoURL"], fileUrlText(folder() / ".camera.mov"));
  EXPECT_EQ(manifest["configuration"]["contentOrigin"], Json::array({100.0, 200.0}));
}

TEST_F(RecordingPackageTest, ValueFormsAndKeyOrder) {
  RecordingPackage package = RecordingPackage::create(folder(), kReferenceDate);
  package.configuration.duration = 3;
  const std::string text = encodeJson(toJson(package), JsonStyle::pretty);
  const Json manifest = Json::parse(text);
  EXPECT_EQ(manifest["createdAt"], 0.0);
  EXPECT_EQ(toJson(RecordingPackage::create(folder(), kReferenceDate + hours(24)))["createdAt"], 86400.0);
  // A file URL with the space percent-escaped.
  const std::string screen = manifest["screenVideoURL"];
  EXPECT_EQ(screen.rfind("file:///", 0), 0u);
  EXPECT_NE(screen.find("/Recording%201/.screen.mov"), std::string::npos);
  EXPECT_LT(text.find("\"audioURL\""), text.find("\"cameraVideoURL\""));
  EXPECT_LT(text.find("\"metadataURL\""), text.find("\"packageURL\""));
  EXPECT_LT(text.find("\"duration\""), text.find("\"hasAlphaChannel\""));
}

TEST_F(RecordingPackageTest, ReadingBackIgnoresVersionAndAllowsMissingOptionals) {
  PackageConfiguration configuration{true, false, QSizeF(640, 480), 30, 1.5, QPointF(0, 1080)};
  RecordingPackage original = RecordingPackage::create(folder(), kReferenceDate + milliseconds(1500));
  original.configuration = configuration;
  Json manifest = toJson(original);
  manifest["version"] = "2.0";

  RecordingPackage read = recordingPackageFromJson(manifest);
  EXPECT_EQ(read.packageURL, original.packageURL);
  EXPECT_EQ(read.cameraVideoURL, original.cameraVideoURL);
  EXPECT_EQ(read.createdAt, original.createdAt);
  EXPECT_TRUE(read.configuration.hasAlphaChannel);
  EXPECT_EQ(read.configuration.contentOrigin, QPointF(0, 1080));
  EXPECT_EQ(toJson(read)["version"], "1.0");

  manifest["cameraVideoURL"] = nullptr;
  manifest["configuration"].erase("contentOrigin");
  read = recordingPackageFromJson(manifest);
  EXPECT_FALSE(read.cameraVideoURL.has_value());
  EXPECT_FALSE(read.configuration.contentOrigin.has_value());

  manifest["createdAt"] = "2001-01-01T00:00:00Z";  // only the number form is a date
  EXPECT_THROW(recordingPackageFromJson(manifest), JsonError);
  manifest = toJson(original);
  manifest.erase("audioURL");
  EXPECT_FALSE(recordingPackageFromJson(manifest).audioURL.has_value());
  manifest = toJson(original);
  manifest["configuration"]["hasSeparateLayers"] = 1;  // a number is no boolean
  EXPECT_THROW(recordingPackageFromJson(manifest), JsonError);
}

TEST_F(RecordingPackageTest, NonFiniteDurationWritesNoManifest) {
  PackageConfiguration configuration;
  configuration.duration = std::numeric_limits<double>::infinity();
  const RecordingPackage package =
      RecordingPackage::create(folder(), kReferenceDate).finalized(configuration);
  EXPECT_THROW(package.writeManifest(), JsonError);
  EXPECT_FALSE(std::filesystem::exists(folder() / ".package.json"));
}

TEST_F(RecordingPackageTest, AudioInfoIsCompactAndReadsBack) {
  AudioPackageInfo{}.write(folder());
  std::ifstream in(folder() / "info.json");
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(text.find('\n'), std::string::npos);
  const AudioPackageInfo read = audioPackageInfoFromJson(Json::parse(text));
  EXPECT_EQ(read.format, "m4a");
  EXPECT_EQ(read.encoder, "aac");
  EXPECT_FALSE(read.exportMP3);
  EXPECT_EQ(read.sysVol, 1.0f);
  EXPECT_EQ(read.micVol, 1.0f);

  AudioPackageInfo quieter;
  quieter.micVol = 0.8f;
  EXPECT_EQ(encodeJson(toJson(quieter)["micVol"], JsonStyle::compact), "0.8");

  Json document = toJson(quieter);
  document.erase("exportMP3");
  EXPECT_THROW(audioPackageInfoFromJson(document), JsonError);
  document = toJson(quieter);
  document["sysVol"] = 1e300;
  EXPECT_THROW(audioPackageInfoFromJson(document), JsonError);
}
