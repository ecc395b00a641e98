#include "platform/qt/SettingsStore.h"

#include <QDir>
#include <QSettings>
#include <QStandardPaths>
#include <algorithm>
#include <cmath>

namespace tk {

namespace {

std::mutex gStandardMutex;
std::unique_ptr<SettingsStore> gStandard;

QString userSettingsPath() {
  QString folder = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
  if (folder.isEmpty()) folder = QDir::homePath() + "/.config";
  return folder + "/tavelkombrix/tavelkombrix.conf";
}

std::optional<bool> boolFrom(const QVariant& value) {
  if (!value.isValid()) return std::nullopt;
  if (value.typeId() == QMetaType::Bool) return value.toBool();
  if (value.typeId() == QMetaType::Double || value.typeId() == QMetaType::Int ||
      value.typeId() == QMetaType::LongLong) {
    return value.toDouble() != 0.0;
  }
  const QString text = value.toString().trimmed();
  if (text.compare("true", Qt::CaseInsensitive) == 0 || text.compare("yes", Qt::CaseInsensitive) == 0)
    return true;
  bool ok = false;
  const double number = text.toDouble(&ok);
  if (ok) return number != 0.0;
  return false;
}

std::optional<double> doubleFrom(const QVariant& value) {
  if (!value.isValid()) return std::nullopt;
  if (value.typeId() == QMetaType::Bool) return value.toBool() ? 1.0 : 0.0;
  bool ok = false;
  const double number = value.toString().trimmed().toDouble(&ok);
  if (ok) return number;
  if (value.toString().trimmed().compare("true", Qt::CaseInsensitive) == 0) return 1.0;
  return 0.0;
}

}  // namespace

SettingsStore::SettingsStore(const QString& filePath, QObject* parent)
    : QObject(parent), settings_(std::make_unique<QSettings>(filePath, QSettings::IniFormat)) {}

SettingsStore::~SettingsStore() = default;

SettingsStore& SettingsStore::standard() {
  std::lock_guard lock(gStandardMutex);
  if (!gStandard) gStandard = std::make_unique<SettingsStore>(userSettingsPath());
  return *gStandard;
}

void SettingsStore::useFileForStandard(const QString& filePath) {
  std::lock_guard lock(gStandardMutex);
  gStandard = std::make_unique<SettingsStore>(filePath.isEmpty() ? userSettingsPath() : filePath);
}

QVariant SettingsStore::rawValue(const QString& key) const {
  std::lock_guard lock(mutex_);
  return settings_->value(key);
}

bool SettingsStore::contains(const QString& key) const {
  std::lock_guard lock(mutex_);
  return settings_->contains(key);
}

bool SettingsStore::boolValue(const QString& key) const {
  return boolValue(key, false);
}
double SettingsStore::doubleValue(const QString& key) const {
  return doubleValue(key, 0.0);
}
long long SettingsStore::integerValue(const QString& key) const {
  return integerValue(key, 0);
}

bool SettingsStore::boolValue(const QString& key, bool fallback) const {
  return boolFrom(rawValue(key)).value_or(fallback);
}

double SettingsStore::doubleValue(const QString& key, double fallback) const {
  return doubleFrom(rawValue(key)).value_or(fallback);
}

double SettingsStore::offeredNumber(const QString& key, double fallback, double minimum, double maximum,
                                    std::span<const double> choices) const {
  const QVariant raw = rawValue(key);
  bool isNumber = raw.typeId() != QMetaType::Bool;
  const double value = isNumber ? raw.toString().trimmed().toDouble(&isNumber) : 0.0;
  if (!isNumber || !std::isfinite(value) || (value <= 0 && value < minimum)) return fallback;
  const double within = std::clamp(value, minimum, maximum);
  if (choices.empty() || std::find(choices.begin(), choices.end(), within) != choices.end()) return within;
  return fallback;
}

QString SettingsStore::offeredText(const QString& key, const QString& fallback,
                                   std::span<const char* const> choices) const {
  const std::optional<QString> text = stringValue(key);
  if (!text) return fallback;
  for (const char* choice : choices) {
    if (*text == QLatin1String(choice)) return *text;
  }
  return fallback;
}

long long SettingsStore::integerValue(const QString& key, long long fallback) const {
  const auto number = doubleFrom(rawValue(key));
  if (!number) return fallback;
  if (!std::isfinite(*number) || std::fabs(*number) > 9.2e18) return 0;
  return static_cast<long long>(*number);
}

std::optional<QString> SettingsStore::stringValue(const QString& key) const {
  const QVariant value = rawValue(key);
  if (!value.isValid()) return std::nullopt;
  if (value.typeId() == QMetaType::QByteArray) return QString::fromUtf8(value.toByteArray());
  if (value.typeId() == QMetaType::QStringList) return std::nullopt;
  return value.toString();
}

QString SettingsStore::stringValue(const QString& key, const QString& fallback) const {
  return stringValue(key).value_or(fallback);
}

std::optional<QByteArray> SettingsStore::dataValue(const QString& key) const {
  const QVariant value = rawValue(key);
  if (!value.isValid()) return std::nullopt;
  if (value.typeId() == QMetaType::QByteArray) return value.toByteArray();
  if (value.typeId() == QMetaType::QString) return value.toString().toUtf8();
  return std::nullopt;
}

void SettingsStore::write(const QString& key, const QVariant& value) {
  {
    std::lock_guard lock(mutex_);
    settings_->setValue(key, value);
  }
  emit changed(key);
}

void SettingsStore::setBool(const QString& key, bool value) {
  write(key, value);
}
void SettingsStore::setDouble(const QString& key, double value) {
  write(key, value);
}
void SettingsStore::setInteger(const QString& key, long long value) {
  write(key, value);
}
void SettingsStore::setString(const QString& key, const QString& value) {
  write(key, value);
}
void SettingsStore::setData(const QString& key, const QByteArray& value) {
  write(key, value);
}

void SettingsStore::remove(const QString& key) {
  {
    std::lock_guard lock(mutex_);
    settings_->remove(key);
  }
  emit changed(key);
}

void SettingsStore::sync() {
  std::lock_guard lock(mutex_);
  settings_->sync();
}

}  // namespace tk
