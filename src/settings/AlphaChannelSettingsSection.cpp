#include "settings/AlphaChannelSettingsSection.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QVBoxLayout>
#include <algorithm>

#include "platform/ffmpeg/EncoderProbe.h"
#include "platform/qt/Async.h"
#include "settings/SPicker.h"
#include "settings/SToggle.h"
#include "settings/SettingsKeys.h"
#include "ui/Symbols.h"
#include "writing/AlphaChannelRecorder.h"

namespace tk {

namespace {

constexpr int kIndent = 20;

// The stored text as a codec: a codec's name gives it, anything else HEVC with alpha.
AlphaVideoCodec storedCodec(const QString& text) {
  return fromRawValue<AlphaVideoCodec>(text.toStdString()).value_or(AlphaVideoCodec::hevcWithAlpha);
}

QString nameOf(AlphaVideoCodec codec) {
  const std::string_view raw = rawValue(codec);
  return QString::fromUtf8(raw.data(), qsizetype(raw.size()));
}

}  // namespace

AlphaChannelSettingsSection::AlphaChannelSettingsSection(QWidget* parent) : QWidget(parent) {
  layout_ = new QVBoxLayout(this);
  layout_->setContentsMargins(0, 0, 0, 0);
  toggle_ =
      new SToggle(QStringLiteral("Enable Alpha Channel Recording"), bindingOf(settings::enableAlphaChannel),
                  tr("Record with transparent background"), this);
  layout_->addWidget(toggle_);

  warning_ = new QWidget(this);
  auto* row = new QHBoxLayout(warning_);
  row->setContentsMargins(kIndent, 0, 0, 0);
  auto* symbol = new QLabel(warning_);
  symbol->setPixmap(symbolIcon(Symbol::exclamationmarkTriangleFill, QColor(255, 149, 0), 12).pixmap(12, 12));
  auto* text = new QLabel(tr("Requires an encoder for transparent video (ProRes 4444)"), warning_);
  QFont caption = text->font();
  caption.setPointSizeF(caption.pointSizeF() * 0.85);
  text->setFont(caption);
  text->setForegroundRole(QPalette::PlaceholderText);
  row->addWidget(symbol);
  row->addWidget(text, 1);
  layout_->addWidget(warning_);

  connect(toggle_, &SToggle::toggled, this, [this] { updateRows(); });
  connect(&SettingsStore::standard(), &SettingsStore::changed, this, [this](const QString& key) {
    if (key == QLatin1String(settings::enableAlphaChannel.key)) updateRows();
  });
  updateRows();
}

std::vector<AlphaVideoCodec> AlphaChannelSettingsSection::offeredAlphaCodecs() {
  std::vector<AlphaVideoCodec> offered;
  for (AlphaVideoCodec codec : AlphaChannelRecorder::supportedAlphaCodecs()) {
    const AlphaOutputSettings output = AlphaChannelRecorder::alphaOutputSettings(1.0, 1920, 1080, codec);
    if (EncoderProbe::canEncode(output.codec, output.width, output.height)) offered.push_back(codec);
  }
  return offered;
}

QString AlphaChannelSettingsSection::label(AlphaVideoCodec codec) {
  return QString::fromStdString(displayName(codec));
}

QCoro::Task<> AlphaChannelSettingsSection::checkSupport() {
  QPointer<AlphaChannelSettingsSection> self(this);
  std::vector<AlphaVideoCodec> codecs = co_await onWorker([] { return offeredAlphaCodecs(); });
  if (!self) co_return;
  applySupport(std::move(codecs));
}

void AlphaChannelSettingsSection::applySupport(std::vector<AlphaVideoCodec> codecs) {
  supportedAlphaCodecs_ = std::move(codecs);
  isAlphaChannelSupported_ = !supportedAlphaCodecs_.empty();
  if (!isAlphaChannelSupported_ && settings::enableAlphaChannel.read())
    settings::enableAlphaChannel.write(false);
  updateRows();
  emit supportChecked();
}

void AlphaChannelSettingsSection::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  checkSupport();
}

void AlphaChannelSettingsSection::updateRows() {
  toggle_->setEnabled(isAlphaChannelSupported_);
  warning_->setHidden(isAlphaChannelSupported_);
  const bool showPicker = isAlphaChannelSupported_ && settings::enableAlphaChannel.read();
  delete picker_;
  picker_ = nullptr;
  if (!showPicker) return;

  std::vector<SPicker::Option> options;
  for (AlphaVideoCodec codec : supportedAlphaCodecs_) options.emplace_back(label(codec), nameOf(codec));
  // A stored codec that is not offered here shows the first one offered: the codec a recording
  // falls back to.
  const std::vector<AlphaVideoCodec> offered = supportedAlphaCodecs_;
  auto shown = bindingOf(settings::alphaChannelCodec)
                   .mapped<QVariant>(
                       [offered](const QString& text) {
                         const AlphaVideoCodec codec = storedCodec(text);
                         const bool listed =
                             std::find(offered.begin(), offered.end(), codec) != offered.end();
                         const AlphaVideoCodec pick = listed ? codec : offered.front();
                         return QVariant(nameOf(pick));
                       },
                       [](const QVariant& value) { return value.toString(); });
  picker_ = new SPicker(tr("Codec"), std::move(shown), std::move(options), std::nullopt, this);
  picker_->setContentsMargins(kIndent, 0, 0, 0);
  layout_->addWidget(picker_);
}

}  // namespace tk
