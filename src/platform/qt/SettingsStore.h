#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QVariant>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>

class QSettings;

namespace tk {

// The application's key-value settings over QSettings. Reads are typed and forgiving in the way
// the rest of the system expects: a key never stored reads as the type's empty value (false, 0,
// 0.0, no string), and a value stored as text reads back typed ("true", "YES", "1" read as true;
// "2.5" reads as 2.5). Values that cannot be read as the asked type read as the empty value.
// Any thread may read or write; `changed` is emitted on the thread that wrote.
class SettingsStore : public QObject {
  Q_OBJECT
 public:
  // A store on its own INI file (tests use a private one).
  explicit SettingsStore(const QString& filePath, QObject* parent = nullptr);
  ~SettingsStore() override;

  // The application's store: the user's settings file, unless a test replaced it.
  static SettingsStore& standard();
  // Replaces the standard store by one on `filePath` (empty: back to the user's file).
  static void useFileForStandard(const QString& filePath);

  bool contains(const QString& key) const;
  bool boolValue(const QString& key) const;
  double doubleValue(const QString& key) const;
  long long integerValue(const QString& key) const;
  std::optional<QString> stringValue(const QString& key) const;
  std::optional<QByteArray> dataValue(const QString& key) const;
  QVariant rawValue(const QString& key) const;

  // Typed reads with a default for keys never stored.
  bool boolValue(const QString& key, bool fallback) const;
  double doubleValue(const QString& key, double fallback) const;
  long long integerValue(const QString& key, long long fallback) const;
  QString stringValue(const QString& key, const QString& fallback) const;
  // The reads of a value that a control of the settings window offers, so that what is read is
  // always something the window can show. A number within [minimum, maximum], and one of `choices`
  // when the control is a list of them: one never stored, not a number, not finite, or not above
  // zero while below the range reads as `fallback`; one beyond the range as its nearer end; one
  // within the range that is no choice as `fallback`.
  double offeredNumber(const QString& key, double fallback, double minimum, double maximum,
                       std::span<const double> choices = {}) const;
  // A text that must be one of `choices` (compared exactly): any other reads as `fallback`.
  QString offeredText(const QString& key, const QString& fallback,
                      std::span<const char* const> choices) const;

  void setBool(const QString& key, bool value);
  void setDouble(const QString& key, double value);
  void setInteger(const QString& key, long long value);
  void setString(const QString& key, const QString& value);
  void setData(const QString& key, const QByteArray& value);
  void remove(const QString& key);
  void sync();

 signals:
  void changed(const QString& key);

 private:
  void write(const QString& key, const QVariant& value);

  mutable std::mutex mutex_;
  std::unique_ptr<QSettings> settings_;
};

}  // namespace tk
