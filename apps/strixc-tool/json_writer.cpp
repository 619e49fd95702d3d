#include "json_writer.h"

#include <QStringList>

namespace strixc::tool {

QString JsonObject::Quote(const QString& s) {
  QString out;
  out.reserve(s.size() + 2);
  out += QLatin1Char('"');
  for (QChar c : s) {
    switch (c.unicode()) {
      case '"': out += QStringLiteral("\\\""); break;
      case '\\': out += QStringLiteral("\\\\"); break;
      case '\n': out += QStringLiteral("\\n"); break;
      case '\r': out += QStringLiteral("\\r"); break;
      case '\t': out += QStringLiteral("\\t"); break;
      default:
        if (c.unicode() < 0x20) {
          out += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
        } else {
          out += c;
        }
    }
  }
  out += QLatin1Char('"');
  return out;
}

QString JsonObject::Array(const QStringList& items) {
  return QStringLiteral("[") + items.join(QLatin1Char(',')) + QStringLiteral("]");
}

void JsonObject::Key(const char* key) {
  if (!body_.isEmpty()) body_ += QLatin1Char(',');
  body_ += Quote(QString::fromUtf8(key));
  body_ += QLatin1Char(':');
}

JsonObject& JsonObject::Add(const char* key, const QString& value) {
  Key(key);
  body_ += Quote(value);
  return *this;
}

JsonObject& JsonObject::Add(const char* key, long long value) {
  Key(key);
  body_ += QString::number(value);
  return *this;
}

JsonObject& JsonObject::Add(const char* key, bool value) {
  Key(key);
  body_ += value ? QStringLiteral("true") : QStringLiteral("false");
  return *this;
}

JsonObject& JsonObject::AddRaw(const char* key, const QString& json) {
  Key(key);
  body_ += json;
  return *this;
}

}  // namespace strixc::tool
