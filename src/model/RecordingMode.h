#pragma once

#include <QRectF>
#include <vector>

#include "model/CaseValue.h"
#include "platform/media/ShareableContent.h"

namespace tk {

namespace recording_mode {
struct Screen {
  CaptureDisplayRef display;
};
struct ScreenArea {
  CaptureDisplayRef display;
  QRectF rect;  // the area in the display's coordinates
};
struct Window {
  CaptureWindowRef window;
};
struct Windows {
  std::vector<CaptureWindowRef> windows;
};
struct Application {
  std::vector<CaptureApplicationRef> apps;
};
struct IOSDevice {
  CaptureDeviceRef device;  // an attached capture device
};
struct SystemAudio {};
using Value = std::variant<Screen, ScreenArea, Window, Windows, Application, IOSDevice, SystemAudio>;
enum class Kind { screen, screenArea, window, windows, application, iOSDevice, systemAudio };
}  // namespace recording_mode

// What one recording captures, with the capture target itself. The alternatives keep the order of
// the cases (index() is the case index others test):
//   0 screen, 1 screenArea, 2 window, 3 windows, 4 application, 5 iOSDevice, 6 systemAudio.
// The mode holds shared references to the desktop's values; equality compares what they name
// (display id, window id, application class, device id), never pointers.
class RecordingMode : public CaseValue<recording_mode::Value, recording_mode::Kind> {
 public:
  using Screen = recording_mode::Screen;
  using ScreenArea = recording_mode::ScreenArea;
  using Window = recording_mode::Window;
  using Windows = recording_mode::Windows;
  using Application = recording_mode::Application;
  using IOSDevice = recording_mode::IOSDevice;
  using SystemAudio = recording_mode::SystemAudio;
  using Value = recording_mode::Value;
  using Kind = recording_mode::Kind;
  using CaseValue::CaseValue;
  // Capturing nothing but system audio; every configuration builder sets its own mode.
  RecordingMode() : CaseValue(SystemAudio{}) {}

  static RecordingMode screen(CaptureDisplayRef display) { return Screen{std::move(display)}; }
  static RecordingMode screenArea(CaptureDisplayRef display, QRectF rect) {
    return ScreenArea{std::move(display), rect};
  }
  static RecordingMode window(CaptureWindowRef window) { return Window{std::move(window)}; }
  static RecordingMode windows(std::vector<CaptureWindowRef> windows) { return Windows{std::move(windows)}; }
  static RecordingMode application(std::vector<CaptureApplicationRef> apps) {
    return Application{std::move(apps)};
  }
  static RecordingMode iOSDevice(CaptureDeviceRef device) { return IOSDevice{std::move(device)}; }
  static RecordingMode systemAudio() { return SystemAudio{}; }

  bool operator==(const RecordingMode& other) const;
};

}  // namespace tk
