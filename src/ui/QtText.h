#pragma once
// The one place where the core's Windows-1252 texts meet Qt's strings.

#include <QColor>
#include <QString>
#include <QStringList>
#include <string>
#include <string_view>
#include <vector>

#include "app/Cp1252.h"
#include "app/Settings.h"

namespace velkor::ui {

inline QString ToQt(std::string_view cp1252) { return QString::fromStdString(Cp1252ToUtf8(cp1252)); }
inline std::string FromQt(const QString& text) { return Utf8ToCp1252(text.toStdString()); }

// The characters, each with its code so that an invisible one (a zero-width space) can be
// found too: "é (U+00E9), и (U+0438)".
inline QString CharacterList(const std::vector<char32_t>& characters) {
  QStringList names;
  for (char32_t c : characters)
    names << QString::fromUcs4(&c, 1) + " (U+" + QString::number(static_cast<uint>(c), 16).toUpper().rightJustified(4, '0') + ")";
  return names.join(", ");
}

inline QColor ToQColor(Colour c) { return QColor(c.red, c.green, c.blue); }
inline Colour FromQColor(const QColor& c) {
  return Colour{static_cast<std::uint8_t>(c.red()), static_cast<std::uint8_t>(c.green()),
                static_cast<std::uint8_t>(c.blue())};
}

}  // namespace velkor::ui
