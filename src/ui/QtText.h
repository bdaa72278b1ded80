#pragma once
// The one place where the core's Windows-1252 texts meet Qt's strings.

#include <QColor>
#include <QString>
#include <string>
#include <string_view>

#include "app/Cp1252.h"
#include "app/Settings.h"

namespace velkor::ui {

inline QString ToQt(std::string_view cp1252) { return QString::fromStdString(Cp1252ToUtf8(cp1252)); }
inline std::string FromQt(const QString& text) { return Utf8ToCp1252(text.toStdString()); }

inline QColor ToQColor(Colour c) { return QColor(c.red, c.green, c.blue); }
inline Colour FromQColor(const QColor& c) {
  return Colour{static_cast<std::uint8_t>(c.red()), static_cast<std::uint8_t>(c.green()),
                static_cast<std::uint8_t>(c.blue())};
}

}  // namespace velkor::ui
