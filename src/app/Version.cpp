#include "app/Version.h"

#include <cstdio>

namespace velkor {

std::string VersionText(std::string_view fileVersion) {
  const std::size_t first = fileVersion.find('.');
  const std::size_t second = first == std::string_view::npos ? first : fileVersion.find('.', first + 1);
  const std::size_t third = second == std::string_view::npos ? second : fileVersion.find('.', second + 1);
  if (third == std::string_view::npos) return "-";
  std::string text(fileVersion.substr(0, second));
  text += "  Build ";
  text += fileVersion.substr(third + 1, 3);
  return text;
}

std::string CommentText(std::string_view comment) {
  return comment.empty() ? std::string("-") : std::string(comment);
}

// Percent-encodes everything but the characters that RFC 3986 leaves unreserved.
static std::string UrlEncoded(std::string_view text) {
  std::string out;
  for (char c : text) {
    const unsigned char u = static_cast<unsigned char>(c);
    if ((u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z') || (u >= '0' && u <= '9') || c == '-' ||
        c == '.' || c == '_' || c == '~') {
      out += c;
    } else {
      char hex[4];
      std::snprintf(hex, sizeof hex, "%%%02X", u);
      out += hex;
    }
  }
  return out;
}

std::string MailtoLink(std::string_view address, std::string_view subject) {
  return "mailto:" + std::string(address) + "?subject=" + UrlEncoded(subject) + "&body=" + UrlEncoded("...");
}

}  // namespace velkor
