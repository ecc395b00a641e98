#include "capture/iOSDeviceCaptureEngine.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <fstream>

#include "capture/SyntheticCamera.h"
#include "support/TestSupport.h"

using tk::iOSDeviceCaptureEngine;
using tk::iOSRecordingQuality;

namespace {

tk::CaptureDevice device(const std::string& id, bool external) {
  tk::CaptureDevice d = tk::test::syntheticDevice(id);
  d.uniqueID = id;
  d.devicePath = "/dev/" + id;
  d.isExternal = external;
  return d;
}

struct Rig {
  std::vector<tk::CaptureDevice> attached{device("builtin", false), device("grabber", true)};
  std::vector<std::pair<std::string, iOSRecordingQuality>> opened;
  tk::test::SyntheticCamera* source = nullptr;

  iOSDeviceCaptureEngine::SourceFactory factory() {
    return [this](const tk::CaptureDevice& d, iOSRecordingQuality quality) {
      opened.emplace_back(d.uniqueID, quality);
      const auto preset = tk::presetFor(quality);
      auto camera = std::make_unique<tk::test::SyntheticCamera>(d, preset.maxWidth, preset.maxHeight);
      source = camera.get();
      return camera;
    };
  }
  iOSDeviceCaptureEngine::DeviceLister lister() {
    return [this] { return attached; };
  }
};

std::vector<std::string> ids(const std::vector<tk::CaptureDevice>& devices) {
  std::vector<std::string> result;
  for (const auto& d : devices) result.push_back(d.uniqueID);
  return result;
}

}  // namespace

TEST(iOSDeviceCaptureEngineTest, ListsOnlyExternalDevicesAndReportsEachPlugAndUnplug) {
  QTemporaryDir dev;
  Rig rig;
  iOSDeviceCaptureEngine engine(rig.factory(), rig.lister(), dev.path().toStdString());
  EXPECT_EQ(ids(engine.availableDevices()), std::vector<std::string>{"grabber"});
  std::vector<QString> connected, disconnected;
  QObject::connect(&engine, &iOSDeviceCaptureEngine::deviceConnected,
                   [&](const QString& id) { connected.push_back(id); });
  QObject::connect(&engine, &iOSDeviceCaptureEngine::deviceDisconnected,
                   [&](const QString& id) { disconnected.push_back(id); });

  // A second grabber appears: the watcher notices its node in the watched folder.
  rig.attached.push_back(device("capture-stick", true));
  std::ofstream(dev.filePath("video7").toStdString()) << "";
  ASSERT_TRUE(tk::test::waitUntil([&] { return connected.size() == 1; }));
  EXPECT_EQ(connected.at(0), "capture-stick");
  EXPECT_EQ(ids(engine.availableDevices()), (std::vector<std::string>{"grabber", "capture-stick"}));

  // It goes, and comes back.
  rig.attached.pop_back();
  std::filesystem::remove(dev.filePath("video7").toStdString());
  ASSERT_TRUE(tk::test::waitUntil([&] { return disconnected.size() == 1; }));
  EXPECT_EQ(disconnected.at(0), "capture-stick");
  rig.attached.push_back(device("capture-stick", true));
  engine.refreshDevices();
  EXPECT_EQ(connected.size(), 2u);
}

TEST(iOSDeviceCaptureEngineTest, PreviewsOneDeviceAtTheChosenQualityAndStopsWhenItIsUnplugged) {
  Rig rig;
  iOSDeviceCaptureEngine engine(rig.factory(), rig.lister(), "");
  std::atomic<int> frames{0};
  engine.setPreviewFrameHandler([&](const tk::SampleBuffer&) { ++frames; });
  engine.startDevicePreview(engine.availableDevices().front(), iOSRecordingQuality::low);
  ASSERT_TRUE(engine.isPreviewActive());
  EXPECT_EQ(rig.source->width(), 640);
  rig.source->deliver(1.0);
  EXPECT_EQ(frames.load(), 1);

  // A second preview while one runs does nothing, whatever device or quality.
  engine.startDevicePreview(device("other", true), iOSRecordingQuality::high);
  EXPECT_EQ(rig.opened.size(), 1u);
  EXPECT_EQ(engine.currentDevice()->uniqueID, "grabber");

  // Unplugged mid-preview: the preview ends rather than waiting on a dead device.
  rig.source->unplug();
  EXPECT_TRUE(tk::test::waitUntil([&] { return !engine.isPreviewActive(); }));
  engine.startDevicePreview(engine.availableDevices().front(), iOSRecordingQuality::medium);
  EXPECT_EQ(rig.opened.back(), std::make_pair(std::string("grabber"), iOSRecordingQuality::medium));
  EXPECT_EQ(rig.source->width(), 1280);

  // The device disappears from the list: its preview stops too.
  rig.attached.pop_back();
  engine.refreshDevices();
  EXPECT_FALSE(engine.isPreviewActive());
  engine.stopDeviceRecording();  // no recording: nothing changes
  EXPECT_FALSE(engine.isRecording());
}

TEST(iOSDeviceCaptureEngineTest, AFinishedRecordingTellsTheDelegateOnTheMainThread) {
  struct Delegate : tk::iOSDeviceRecordingDelegate {
    std::vector<std::string> calls;
    void iOSDeviceRecordingDidComplete(const std::filesystem::path& url) override {
      calls.push_back("complete " + url.string());
    }
    void iOSDeviceRecordingDidFail(std::exception_ptr) override { calls.push_back("fail"); }
  } delegate;
  Rig rig;
  iOSDeviceCaptureEngine engine(rig.factory(), rig.lister(), "");
  engine.recordingFinished("/tmp/a.mov", nullptr);  // no delegate: only the flag
  engine.setRecordingDelegate(&delegate);
  engine.recordingFinished("/tmp/b.mov", nullptr);
  engine.recordingFinished("/tmp/c.mov", std::make_exception_ptr(std::runtime_error("disk full")));
  ASSERT_TRUE(tk::test::waitUntil([&] { return delegate.calls.size() == 2; }));
  EXPECT_EQ(delegate.calls, (std::vector<std::string>{"complete /tmp/b.mov", "fail"}));
}
