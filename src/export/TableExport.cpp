// Every line as text, as a CSV row or as a JSON object.
//
// CSV columns: channel (1 to 4), caption, time_us, time_s, error (1 when a field reports an
// error), text (the fields as the views show them), then the fields as name and value
// pairs in line order. Pairs rather than one column per field name: an export mixes the four
// channels, whose protocols share no field names; a name from a description, a repeated name
// or a field without a name must keep its place; and the columns of a stream cannot wait for
// the last line. A row therefore has as many pair columns as its line has fields.

#include <array>
#include <charconv>

#include "app/Cp1252.h"
#include "export/Exporters.h"

namespace velkor::exporters {

bool LineMicros(std::string_view date, std::uint64_t& micros) {
  const auto result = std::from_chars(date.data(), date.data() + date.size(), micros);
  return result.ec == std::errc() && result.ptr == date.data() + date.size() && !date.empty();
}

namespace {

void AppendNumber(std::string& out, std::uint64_t value) {
  char digits[24];
  const auto result = std::to_chars(digits, digits + sizeof digits, value);
  out.append(digits, result.ptr);
}

// Microseconds as seconds with six decimals, exactly.
void AppendSeconds(std::string& out, std::uint64_t micros) {
  AppendNumber(out, micros / 1000000);
  char fraction[6];
  std::uint64_t rest = micros % 1000000;
  for (int i = 5; i >= 0; --i, rest /= 10) fraction[i] = static_cast<char>('0' + rest % 10);
  out += '.';
  out.append(fraction, 6);
}

class TextExporter : public LineExporter {
 public:
  TextExporter(ByteSink& sink, const ExportContext& context, bool raw) : LineExporter(sink), raw_(raw) {
    for (int i = 0; i < 4; ++i) captions_[i] = context.captions[i];
  }
  void Add(std::string_view line, FrameTag) override {
    ++counts_.lines;
    ++counts_.records;
    if (raw_)
      out_.append(line);
    else
      AppendUtf8(out_, RenderDecodedLine(line, captions_));
    out_ += '\n';
    FlushIfFull();
  }

 private:
  bool raw_;
  std::string captions_[4];
};

// The fields' text as the views show it: markers dropped, one blank between fields.
template <typename Each>
bool WalkFields(LineReader& reader, Each&& each) {
  bool error = false;
  LineField field;
  while (reader.NextField(field)) {
    error |= field.marker == FieldMarker::ErrorLine;
    each(field);
  }
  return error;
}

class CsvExporter : public LineExporter {
 public:
  CsvExporter(ByteSink& sink, const ExportContext& context) : LineExporter(sink) {
    for (int i = 0; i < 4; ++i) {
      captions_[i].clear();
      AppendField(captions_[i], context.captions[i]);
    }
    out_ += "channel,caption,time_us,time_s,error,text,name,value\r\n";
  }

  void Add(std::string_view line, FrameTag) override {
    ++counts_.lines;
    if (line.empty()) return;
    ++counts_.records;
    LineReader reader(line);
    const int channel = reader.Channel();
    const bool known = channel >= 0 && channel < 4;
    AppendNumber(out_, static_cast<std::uint64_t>(known ? channel + 1 : 0));
    out_ += ',';
    if (known) out_ += captions_[channel];
    out_ += ',';
    std::uint64_t micros = 0;
    const bool dated = LineMicros(reader.Date(), micros);
    if (dated) {
      AppendNumber(out_, micros);
      out_ += ',';
      AppendSeconds(out_, micros);
    } else {
      AppendField(out_, reader.Date());
      out_ += ',';
    }
    out_ += ",0,";  // the error flag, set below once the fields are known
    const std::size_t flagAt = out_.size() - 2;

    // The text column, then the pairs: two walks over the fields, each writing in place.
    const std::size_t textAt = out_.size();
    LineReader pairs = reader;
    bool error = false, quoted = false;
    LineField field;
    while (reader.NextField(field)) {
      error |= field.marker == FieldMarker::ErrorLine;
      if (out_.size() != textAt) out_ += ' ';
      quoted |= AppendCell(out_, field.text);
    }
    // A quote in the text (a value may hold one) asks for the whole cell quoted: it is
    // written again, now quoted, which is rare.
    if (quoted) {
      const std::string text = out_.substr(textAt);
      out_.resize(textAt);
      AppendQuoted(out_, text);
    }
    if (error) out_[flagAt] = '1';
    while (pairs.NextField(field)) {
      out_ += ',';
      if (field.hasValue) {
        AppendField(out_, field.name);
        out_ += ',';
        AppendField(out_, field.value);
      } else {
        out_ += ',';
        AppendField(out_, field.text);
      }
    }
    out_ += "\r\n";
    FlushIfFull();
  }

 private:
  // What a byte asks of a cell: nothing, the UTF-8 conversion, or quotes.
  enum : std::uint8_t { kPlain = 0, kWide = 1, kQuote = 2 };
  static constexpr std::array<std::uint8_t, 256> kClass = [] {
    std::array<std::uint8_t, 256> table{};
    for (int c = 0x80; c < 256; ++c) table[c] = kWide;
    for (char c : {',', '"', '\r', '\n'}) table[static_cast<unsigned char>(c)] = kQuote;
    return table;
  }();

  // Appends the text as UTF-8 without quotes; true when it needs quotes.
  static bool AppendCell(std::string& out, std::string_view text) {
    std::uint8_t seen = kPlain;
    for (char c : text) seen |= kClass[static_cast<unsigned char>(c)];
    if (seen == kPlain)
      out.append(text);
    else
      AppendUtf8(out, text);
    return (seen & kQuote) != 0;
  }

  // The text (already UTF-8) in quotes, its quotes doubled.
  static void AppendQuoted(std::string& out, std::string_view text) {
    out += '"';
    for (char c : text) {
      out += c;
      if (c == '"') out += '"';
    }
    out += '"';
  }

  // One field as UTF-8, quoted when it holds a comma, a quote or a line end.
  static void AppendField(std::string& out, std::string_view text) {
    const std::size_t at = out.size();
    if (!AppendCell(out, text)) return;
    const std::string cell = out.substr(at);
    out.resize(at);
    AppendQuoted(out, cell);
  }

  std::string captions_[4];  // already as CSV fields
};

class JsonLinesExporter : public LineExporter {
 public:
  JsonLinesExporter(ByteSink& sink, const ExportContext& context) : LineExporter(sink) {
    for (int i = 0; i < 4; ++i) {
      captions_[i].clear();
      AppendString(captions_[i], context.captions[i]);
    }
  }

  void Add(std::string_view line, FrameTag) override {
    ++counts_.lines;
    if (line.empty()) return;
    ++counts_.records;
    LineReader reader(line);
    const int channel = reader.Channel();
    const bool known = channel >= 0 && channel < 4;
    out_ += "{\"channel\":";
    AppendNumber(out_, static_cast<std::uint64_t>(known ? channel + 1 : 0));
    out_ += ",\"caption\":";
    out_ += known ? std::string_view(captions_[channel]) : std::string_view("\"\"");
    out_ += ",\"time_us\":";
    std::uint64_t micros = 0;
    if (LineMicros(reader.Date(), micros))
      AppendNumber(out_, micros);
    else
      out_ += "null";
    fields_.clear();
    const bool error = WalkFields(reader, [&](const LineField& field) {
      fields_ += fields_.empty() ? "[" : ",[";
      AppendString(fields_, field.hasValue ? field.name : std::string_view());
      fields_ += ',';
      AppendString(fields_, field.hasValue ? field.value : field.text);
      fields_ += ']';
    });
    out_ += error ? ",\"error\":true,\"fields\":[" : ",\"error\":false,\"fields\":[";
    out_ += fields_;
    out_ += "]}\n";
    FlushIfFull();
  }

 private:
  static void AppendString(std::string& out, std::string_view text) {
    out += '"';
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
      const unsigned char c = static_cast<unsigned char>(text[i]);
      if (c >= 0x20 && c != '"' && c != '\\') continue;
      AppendUtf8(out, text.substr(start, i - start));
      start = i + 1;
      if (c == '"' || c == '\\') {
        out += '\\';
        out += static_cast<char>(c);
      } else {
        out += "\\u00";
        out += kHexDigits[c >> 4];
        out += kHexDigits[c & 0xF];
      }
    }
    AppendUtf8(out, text.substr(start));
    out += '"';
  }

  std::string captions_[4];  // already as JSON strings
  std::string fields_;
};

}  // namespace

std::unique_ptr<LineExporter> MakeTable(ExportFormat format, ByteSink& sink, const ExportContext& context) {
  switch (format) {
    case ExportFormat::Text:
      return std::make_unique<TextExporter>(sink, context, false);
    case ExportFormat::Raw:
      return std::make_unique<TextExporter>(sink, context, true);
    case ExportFormat::Csv:
      return std::make_unique<CsvExporter>(sink, context);
    case ExportFormat::JsonLines:
      return std::make_unique<JsonLinesExporter>(sink, context);
    default:
      return nullptr;
  }
}

}  // namespace velkor::exporters
