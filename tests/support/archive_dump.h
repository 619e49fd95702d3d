#pragma once

// Reading what `strixc-tool archive dump` printed, for tests that record through the station.

#include <QByteArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <string>

namespace strixc::test {

// One camera's records in time order as letters: E "Recording enabled", D "Recording disabled",
// F a run of one or more frames (other events are left out). A session recorded across one break
// and back reads "EFDEFD".
inline std::string RecordingSequence(const QByteArray& dump, int camera) {
  std::string sequence;
  for (const QByteArray& line : dump.split('\n')) {
    const QJsonObject record = QJsonDocument::fromJson(line).object();
    if (record.isEmpty() || record.value("camera").toInt(-1) != camera) continue;
    const QString type = record.value("type").toString();
    char letter = 0;
    if (type == "event") {
      const QString text = record.value("text").toString();
      if (text == "Recording enabled") letter = 'E';
      if (text == "Recording disabled") letter = 'D';
    } else {
      letter = 'F';
    }
    if (letter == 0 || (letter == 'F' && !sequence.empty() && sequence.back() == 'F')) continue;
    sequence += letter;
  }
  return sequence;
}

}  // namespace strixc::test
