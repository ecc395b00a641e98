#include "model/RecordingConfiguration.h"

#include <cmath>

#include "platform/qt/Diagnostics.h"
#include "platform/qt/SettingsStore.h"

namespace tk {

namespace {

// The click-to-zoom numbers as the settings window shows them when nothing was ever stored. A
// value that cannot be a zoom factor or a duration (absent, not finite, not above 0) reads as the
// default too: zooming by 0 or over 0 s would make every click-to-zoom recording useless.
double positiveSetting(const SettingsStore& store, const char* key, double fallback) {
  if (!store.contains(key)) return fallback;
  const double value = store.doubleValue(key);
  return std::isfinite(value) && value > 0 ? value : fallback;
}

}  // namespace

void RecordingConfiguration::loadStudioConfiguration() {
  loadStudioConfiguration(SettingsStore::standard());
}

void RecordingConfiguration::loadStudioConfiguration(const SettingsStore& store) {
  const bool clickToZoom = store.boolValue("enableClickToZoom");
  const bool separateLayers = store.boolValue("enableSeparateLayers");
  const bool alphaChannel = store.boolValue("enableAlphaChannel");
  if (!clickToZoom && !separateLayers && !alphaChannel) {
    studioConfig.reset();
    return;
  }

  StudioRecordingConfiguration studio;
  studio.enableAlphaChannel = alphaChannel;
  studio.enableSeparateLayers = separateLayers;
  studio.enableClickToZoom = clickToZoom;
  if (clickToZoom) {
    studio.zoomLevel = positiveSetting(store, "zoomLevel", 2.0);
    studio.zoomDuration = positiveSetting(store, "zoomDuration", 0.5);
    studio.clickThreshold = positiveSetting(store, "clickThreshold", 0.5);
  }
  studioConfig = studio;

  Diagnostics::line("📋 Loaded Studio configuration:");
  Diagnostics::line("   Click-to-Zoom: " + boolText(clickToZoom));
  Diagnostics::line("   Separate Layers: " + boolText(separateLayers));
  Diagnostics::line("   Alpha Channel: " + boolText(alphaChannel));
  if (clickToZoom) {
    Diagnostics::line("   Zoom Level: " + formatDouble(studio.zoomLevel) + "x");
    Diagnostics::line("   Zoom Duration: " + formatDouble(studio.zoomDuration) + "s");
    Diagnostics::line("   Click Threshold: " + formatDouble(studio.clickThreshold) + "s");
  }
}

}  // namespace tk
