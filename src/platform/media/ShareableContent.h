#pragma once

#include <sys/types.h>

#include <QRectF>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tk {

// What the desktop offers to record, as plain values the X11 layer fills in. Frames are in X11 root
// coordinates (origin top left, y down, pixels); GlobalCoordinates converts where the bottom-left
// global space is wanted. Shared by std::shared_ptr<const ...>: a recording mode holds references.

struct CaptureDisplay {
  uint32_t displayID = 0;  // stable for the life of the monitor (RandR monitor name atom, or 0)
  std::string name;        // e.g. "DP-1"; "screen" for the whole root
  QRectF frame;            // root coordinates
  int width = 0;           // points; equal to pixels on X11
  int height = 0;
  double scaleFactor = 1.0;  // pixels per point
  bool isPrimary = false;
};

struct CaptureApplication {
  std::string bundleIdentifier;  // WM_CLASS class
  std::string applicationName;   // WM_CLASS instance's readable form, or the class
  pid_t processID = 0;
};

// EWMH window types that matter for what is recorded.
enum class CaptureWindowType { normal, dialog, dock, notification, desktop, menu, utility, splash, other };

struct CaptureWindow {
  uint32_t windowID = 0;  // the client window's X id
  std::string title;      // _NET_WM_NAME or WM_NAME; may be empty
  QRectF frame;           // root coordinates, frame of the client window
  std::optional<CaptureApplication> owningApplication;
  CaptureWindowType type = CaptureWindowType::normal;
  int windowLayer = 0;    // 0 normal; higher for docks, notifications, above-windows
  bool isOnScreen = false;  // mapped and viewable
  bool isActive = false;
  bool neverCapture = false;  // carries our never-capture marker
};

// A camera or capture device (V4L2), or an audio source (PulseAudio) where a device is named.
struct CaptureDevice {
  std::string uniqueID;       // stable across reboots where the system allows (by-id path or bus info)
  std::string localizedName;  // the device's own name, shown as plain text
  std::string modelID;
  std::string devicePath;     // e.g. /dev/video0
  bool isExternal = false;    // not built in (a USB capture device and the like)
};

using CaptureDisplayRef = std::shared_ptr<const CaptureDisplay>;
using CaptureWindowRef = std::shared_ptr<const CaptureWindow>;
using CaptureApplicationRef = std::shared_ptr<const CaptureApplication>;
using CaptureDeviceRef = std::shared_ptr<const CaptureDevice>;

}  // namespace tk
