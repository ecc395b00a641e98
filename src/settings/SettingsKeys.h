#pragma once

#include <QByteArray>
#include <QString>
#include <QVariant>
#include <optional>
#include <span>
#include <vector>

#include "model/RecordingOptions.h"
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

// A number key whose control the settings window offers carries what that control offers: the
// range of its stepper or slider, or its list of choices (lowest first). It reads as
// SettingsStore::offeredNumber says, so the window and every recording see the same value, and one
// the window can show. Keys of no control (both ends 0) read as stored.
struct IntSetting {
  const char* key;
  long long defaultValue;
  long long minimum = 0;
  long long maximum = 0;
  std::span<const double> choices = {};
  long long read(const SettingsStore& store = SettingsStore::standard()) const {
    if (maximum <= minimum) return store.integerValue(key, defaultValue);
    return static_cast<long long>(
        store.offeredNumber(key, double(defaultValue), double(minimum), double(maximum), choices));
  }
  void write(long long value, SettingsStore& store = SettingsStore::standard()) const {
    store.setInteger(key, value);
  }
};

// As IntSetting, for a number that need not be whole.
struct DoubleSetting {
  const char* key;
  double defaultValue;
  double minimum = 0;
  double maximum = 0;
  std::span<const double> choices = {};
  constexpr DoubleSetting(const char* key, double defaultValue, std::span<const double> choices = {})
      : key(key),
        defaultValue(defaultValue),
        minimum(choices.empty() ? 0 : choices.front()),
        maximum(choices.empty() ? 0 : choices.back()),
        choices(choices) {}
  constexpr DoubleSetting(const StudioNumberSetting& studio)
      : key(studio.key),
        defaultValue(studio.defaultValue),
        minimum(studio.minimum),
        maximum(studio.maximum) {}
  double read(const SettingsStore& store = SettingsStore::standard()) const {
    return maximum > minimum ? store.offeredNumber(key, defaultValue, minimum, maximum, choices)
                             : store.doubleValue(key, defaultValue);
  }
  void write(double value, SettingsStore& store = SettingsStore::standard()) const {
    store.setDouble(key, value);
  }
};

// A text key whose control is a list of choices carries them: any other text reads as the default
// (SettingsStore::offeredText). Keys of no such control read as stored.
struct StringSetting {
  const char* key;
  const char* defaultValue;
  std::span<const char* const> choices = {};
  QString read(const SettingsStore& store = SettingsStore::standard()) const {
    const QString fallback = QString::fromUtf8(defaultValue);
    return choices.empty() ? store.stringValue(key, fallback) : store.offeredText(key, fallback, choices);
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
inline constexpr double resolutionChoices[] = {0, 1, 2};  // low, normal, high
inline constexpr IntSetting resolution{"resolution", 1, 0, 2, resolutionChoices};
inline constexpr IntSetting frameRate{"frameRate", 60, (long long)kRecordingFrameRates.front(),
                                      (long long)kRecordingFrameRates.back(), kRecordingFrameRates};
inline constexpr double videoQualityChoices[] = {0.3, 0.7, 1.0};  // low, medium, high
inline constexpr DoubleSetting videoQuality{"videoQuality", 1.0, videoQualityChoices};
inline constexpr const char* backgroundColorChoices[] = {"wallpaper", "black", "white", "gray"};
inline constexpr StringSetting backgroundColor{"backgroundColor", "wallpaper", backgroundColorChoices};
inline constexpr BoolSetting showCursor{"showCursor", false};
inline constexpr BoolSetting highlightCursor{"highlightCursor", false};
inline constexpr BoolSetting enableAEC{"enableAEC", false};
// Absent or empty: the "Recordings" folder in the user's documents.
inline constexpr StringSetting outputDirectory{"outputDirectory", ""};
// The one encoder key: the Output tab's picker writes it and every recording reads it, so the
// encoder a person picks is the encoder that records. "h264" gives H.264, anything else H.265.
inline constexpr const char* encoderChoices[] = {"h264", "h265"};
inline constexpr StringSetting encoder{"encoder", "h265", encoderChoices};
inline constexpr const char* outputFormatChoices[] = {"mov", "mp4"};
inline constexpr StringSetting outputFormat{"outputFormat", "mov", outputFormatChoices};
// Seconds before a recording starts; 0 starts at once.
inline constexpr IntSetting countdown{"countdown", 0, 0, 99};
// Minutes after which a recording stops by itself; 0 never.
inline constexpr IntSetting autoStopMinutes{"autoStopMinutes", 0, 0, 999};
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
inline constexpr const char* cursorStyleChoices[] = {"circle", "arrow", "pointer", "custom"};
inline constexpr StringSetting cursorStyle{"cursorStyle", "circle", cursorStyleChoices};
inline constexpr DoubleSetting cursorSize{kCursorSizeSetting};
inline constexpr BoolSetting enableCursorScaleAnimation{"enableCursorScaleAnimation", true};
inline constexpr BoolSetting enableCursorRippleEffect{"enableCursorRippleEffect", true};
inline constexpr DoubleSetting cursorRippleColorRed{kRippleRedSetting};
inline constexpr DoubleSetting cursorRippleColorGreen{kRippleGreenSetting};
inline constexpr DoubleSetting cursorRippleColorBlue{kRippleBlueSetting};

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
