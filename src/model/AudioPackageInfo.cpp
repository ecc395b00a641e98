#include "model/AudioPackageInfo.h"

namespace tk {

void AudioPackageInfo::write(const std::filesystem::path& packageFolder) const {
  writeFileBytes(packageFolder / fileName, encodeJson(toJson(*this), JsonStyle::compact));
}

Json toJson(const AudioPackageInfo& info) {
  JsonWriter out;
  out.string("format", info.format)
      .string("encoder", info.encoder)
      .boolean("exportMP3", info.exportMP3)
      .number("sysVol", jsonNumberOfFloat(info.sysVol))
      .number("micVol", jsonNumberOfFloat(info.micVol));
  return out.take();
}

AudioPackageInfo audioPackageInfoFromJson(const Json& document) {
  const JsonReader in(document);
  AudioPackageInfo info;
  info.format = in.string("format");
  info.encoder = in.string("encoder");
  info.exportMP3 = in.boolean("exportMP3");
  info.sysVol = in.singleNumber("sysVol");
  info.micVol = in.singleNumber("micVol");
  return info;
}

}  // namespace tk
