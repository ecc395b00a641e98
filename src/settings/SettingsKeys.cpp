#include "settings/SettingsKeys.h"

namespace tk {

namespace {

SettingsKeyInfo row(const BoolSetting& s) {
  return {s.key, SettingType::boolean, s.defaultValue};
}
SettingsKeyInfo row(const IntSetting& s) {
  return {s.key, SettingType::integer, s.defaultValue};
}
SettingsKeyInfo row(const DoubleSetting& s) {
  return {s.key, SettingType::real, s.defaultValue};
}
SettingsKeyInfo row(const StringSetting& s) {
  return {s.key, SettingType::text, QString::fromUtf8(s.defaultValue)};
}
SettingsKeyInfo row(const DataSetting& s) {
  return {s.key, SettingType::data, QVariant()};
}

}  // namespace

const std::vector<SettingsKeyInfo>& settingsKeyTable() {
  using namespace settings;
  static const std::vector<SettingsKeyInfo> table = {
      row(recordMicrophone),
      row(microphoneDevice),
      row(recordSystemAudio),
      row(recordCamera),
      row(cameraDevice),
      row(resolution),
      row(frameRate),
      row(videoQuality),
      row(backgroundColor),
      row(showCursor),
      row(highlightCursor),
      row(enableAEC),
      row(outputDirectory),
      row(encoder),
      row(outputFormat),
      row(countdown),
      row(autoStopMinutes),
      row(preventSleep),
      row(separateAudioTracks),
      row(showPreview),
      row(trimAfterRecord),
      row(showInDock),
      row(showInMenuBar),
      row(customBackgroundColor),
      row(areaWidth),
      row(areaHeight),
      row(showMouse),
      row(hiddenApps),
      row(enableAlphaChannel),
      row(alphaChannelCodec),
      row(enableSeparateLayers),
      row(enableClickToZoom),
      row(zoomLevel),
      row(zoomDuration),
      row(clickThreshold),
      row(enableCustomCursor),
      row(cursorStyle),
      row(cursorSize),
      row(enableCursorScaleAnimation),
      row(enableCursorRippleEffect),
      row(cursorRippleColorRed),
      row(cursorRippleColorGreen),
      row(cursorRippleColorBlue),
  };
  return table;
}

std::optional<SettingsKeyInfo> settingsKeyInfo(const QString& key) {
  for (const auto& info : settingsKeyTable()) {
    if (info.key == key) return info;
  }
  return std::nullopt;
}

}  // namespace tk
