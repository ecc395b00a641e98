#pragma once

#include <QByteArray>
#include <QString>
#include <QVariant>
#include <optional>
#include <vector>

#include "model/StudioRecordingConfiguration.h"
#include "platform/qt/SettingsStore.h"

namespace tk {

// Every key the application keeps in its settings store, with its type and the default that a
// view shows while the key was never stored. Nothing registers these defaults with the store: a
// component that reads the store directly gets the store's empty value for an absent key, and
// says so where it does. Reading through these declarations gives the declared default.

enum class SettingType { boolean, integer, real, text, data };

struct BoolSetting {
  const char* key;
  bool defaultValue;
  bool read(const SettingsStore& store = SettingsStore::standard()) const {
    return store.boolValue(key, defaultValue);
  }
  void write(bool value, SettingsStore& store = SettingsStore::standard()) const {
    store.setBool(key, value);
  }
};

struct IntSetting {
  const char* key;
  long long defaultValue;
  long long read(const SettingsStore& store = SettingsStore::standard()) const {
    return store.integerValue(key, defaultValue);
  }
  void write(long long value, SettingsStore& store = SettingsStore::standard()) const {
    store.setInteger(key, value);
  }
};

struct DoubleSetting {
  const char* key;
  double defaultValue;
  // The range of a studio slider (none when both are 0): a stored value that is not a positive
  // number reads as the default, and one outside the range as its nearer end.
  double minimum = 0;
  double maximum = 0;
  constexpr DoubleSetting(const char* key, double defaultValue) : key(key), defaultValue(defaultValue) {}
  constexpr DoubleSetting(const StudioNumberSetting& studio)
      : key(studio.key),
        defaultValue(studio.defaultValue),
        minimum(studio.minimum),
        maximum(studio.maximum) {}
  double read(const SettingsStore& store = SettingsStore::standard()) const {
    return maximum > minimum ? store.positiveValueWithin(key, defaultValue, minimum, maximum)
                             : store.doubleValue(key, defaultValue);
  }
  void write(double value, SettingsStore& store = SettingsStore::standard()) const {
    store.setDouble(key, value);
  }
};

struct StringSetting {
  const char* key;
  const char* defaultValue;
  QString read(const SettingsStore& store = SettingsStore::standard()) const {
    return store.stringValue(key, QString::fromUtf8(defaultValue));
  }
  void write(const QString& value, SettingsStore& store = SettingsStore::standard()) const {
    store.setString(key, value);
  }
};

// Data keys have no default: absent reads as none.
struct DataSetting {
  const char* key;
  std::optional<QByteArray> read(const SettingsStore& store = SettingsStore::standard()) const {
    return store.dataValue(key);
  }
  void write(const QByteArray& value, SettingsStore& store = SettingsStore::standard()) const {
    store.setData(key, value);
  }
};

namespace settings {

// Recording options, read by the recording configuration builder.
inline constexpr BoolSetting recordMicrophone{"recordMicrophone", false};
inline constexpr StringSetting microphoneDevice{"microphoneDevice", "default"};
inline constexpr BoolSetting recordSystemAudio{"recordSystemAudio", true};
inline constexpr BoolSetting recordCamera{"recordCamera", false};
inline constexpr StringSetting cameraDevice{"cameraDevice", "default"};
inline constexpr IntSetting resolution{"resolution", 1};
inline constexpr IntSetting frameRate{"frameRate", 60};
inline constexpr DoubleSetting videoQuality{"videoQuality", 1.0};
inline constexpr StringSetting backgroundColor{"backgroundColor", "wallpaper"};
inline constexpr BoolSetting showCursor{"showCursor", false};
inline constexpr BoolSetting highlightCursor{"highlightCursor", false};
inline constexpr BoolSetting enableAEC{"enableAEC", false};
// Absent or empty: the "Recordings" folder in the user's documents.
inline constexpr StringSetting outputDirectory{"outputDirectory", ""};
// The one encoder key: the Output tab's picker writes it and every recording reads it, so the
// encoder a person picks is the encoder that records. "h264" gives H.264, anything else H.265.
inline constexpr StringSetting encoder{"encoder", "h265"};
inline constexpr StringSetting outputFormat{"outputFormat", "mov"};
inline constexpr IntSetting countdown{"countdown", 0};
inline constexpr IntSetting autoStopMinutes{"autoStopMinutes", 0};
inline constexpr BoolSetting preventSleep{"preventSleep", true};

// Other recording and application options.
inline constexpr BoolSetting separateAudioTracks{"separateAudioTracks", false};
inline constexpr BoolSetting showPreview{"showPreview", true};
inline constexpr BoolSetting trimAfterRecord{"trimAfterRecord", false};
inline constexpr BoolSetting showInDock{"showInDock", true};
inline constexpr BoolSetting showInMenuBar{"showInMenuBar", false};
inline constexpr DataSetting customBackgroundColor{"customBackgroundColor"};
inline constexpr IntSetting areaWidth{"areaWidth", 600};
inline constexpr IntSetting areaHeight{"areaHeight", 450};
inline constexpr BoolSetting showMouse{"showMouse", true};
inline constexpr DataSetting hiddenApps{"hiddenApps"};

// Studio features.
inline constexpr BoolSetting enableAlphaChannel{"enableAlphaChannel", false};
inline constexpr StringSetting alphaChannelCodec{"alphaChannelCodec", "hevcWithAlpha"};
inline constexpr BoolSetting enableSeparateLayers{"enableSeparateLayers", false};
inline constexpr BoolSetting enableClickToZoom{"enableClickToZoom", false};
inline constexpr DoubleSetting zoomLevel{kZoomLevelSetting};
inline constexpr DoubleSetting zoomDuration{kZoomDurationSetting};
inline constexpr DoubleSetting clickThreshold{kClickThresholdSetting};
inline constexpr BoolSetting enableCustomCursor{"enableCustomCursor", false};
inline constexpr StringSetting cursorStyle{"cursorStyle", "circle"};
inline constexpr DoubleSetting cursorSize{kCursorSizeSetting};
inline constexpr BoolSetting enableCursorScaleAnimation{"enableCursorScaleAnimation", true};
inline constexpr BoolSetting enableCursorRippleEffect{"enableCursorRippleEffect", true};
inline constexpr DoubleSetting cursorRippleColorRed{"cursorRippleColorRed", 0.0};
inline constexpr DoubleSetting cursorRippleColorGreen{"cursorRippleColorGreen", 0.5};
inline constexpr DoubleSetting cursorRippleColorBlue{"cursorRippleColorBlue", 1.0};

// The values "default" in "microphoneDevice" and "cameraDevice": the system's default device.
inline constexpr const char* defaultDeviceName = "default";

}  // namespace settings

// One row of the key table: for listing, dumping and checking the store as a whole.
struct SettingsKeyInfo {
  QString key;
  SettingType type;
  QVariant defaultValue;  // invalid for the data keys, which have none
};

// Every key, in table order.
const std::vector<SettingsKeyInfo>& settingsKeyTable();
std::optional<SettingsKeyInfo> settingsKeyInfo(const QString& key);

}  // namespace tk
