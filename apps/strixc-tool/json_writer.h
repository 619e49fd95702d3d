#pragma once

#include <QString>
#include <string>

namespace strixc::tool {

// Builds one JSON object as text, keeping the keys in the order they are added, so that what the
// commands print reads in a fixed, documented order.
class JsonObject {
 public:
  JsonObject& Add(const char* key, const QString& value);
  JsonObject& Add(const char* key, const std::string& value) { return Add(key, QString::fromStdString(value)); }
  JsonObject& Add(const char* key, const char* value) { return Add(key, QString::fromUtf8(value)); }
  JsonObject& Add(const char* key, long long value);
  JsonObject& Add(const char* key, int value) { return Add(key, static_cast<long long>(value)); }
  JsonObject& Add(const char* key, unsigned value) { return Add(key, static_cast<long long>(value)); }
  JsonObject& Add(const char* key, bool value);
  // `json` is already valid JSON (an object or an array).
  JsonObject& AddRaw(const char* key, const QString& json);

  QString Text() const { return QStringLiteral("{") + body_ + QStringLiteral("}"); }

  static QString Quote(const QString& s);
  static QString Array(const QStringList& items);

 private:
  void Key(const char* key);
  QString body_;
};

}  // namespace strixc::tool
