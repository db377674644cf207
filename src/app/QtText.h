#pragma once

#include <QString>
#include <string>

namespace tessaly {

// The core's texts, UTF-8 in std::string, as Qt shows them, and back.
inline QString Text(const std::string& text) {
  return QString::fromStdString(text);
}
inline std::string StdText(const QString& text) {
  return text.toStdString();
}

}  // namespace tessaly
