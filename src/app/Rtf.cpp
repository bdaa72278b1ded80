#include "app/Rtf.h"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <unordered_map>

#include "app/Cp1252.h"

namespace velkor {

namespace {

enum class Destination { Text, Skip, FontTable, ColourTable };

struct GroupState {
  RtfFormat format;
  int font = -1;  // -1: the document's default font ('\deff')
  int unicodeSkip = 1;  // '\uc': characters of fallback after each '\u'
  Destination destination = Destination::Text;
};

// Destinations whose content is not text to show. Anything behind '\*' is skipped too.
bool IsSkippedDestination(std::string_view word) {
  static const std::set<std::string_view> kSkipped = {
      "stylesheet", "info",     "pict",      "header",     "headerl",   "headerr",  "headerf",
      "footer",     "footerl",  "footerr",   "footerf",    "footnote",  "object",   "objdata",
      "themedata",  "xmlnstbl", "listtable", "listoverridetable",       "rsidtbl",  "generator",
      "title",      "subject",  "author",    "operator",   "keywords",  "comment",  "doccomm",
      "company",    "pgdsctbl", "bkmkstart", "bkmkend",    "private",   "nonshppict",
      "latentstyles", "datastore", "colorschememapping", "mmathPr",     "fldinst",  "filetbl",
      "revtbl",     "falt",     "panose",    "fontemb",    "fontfile",  "template", "buptim",
      "creatim",    "revtim",   "printim",   "userprops",  "annotation", "atnid",   "atnauthor",
      "txe",        "rxe",      "tc",        "xe",         "background", "shp",     "shpinst",
      "sp",         "sn",       "sv",        "blipuid",    "wgrffmtfilter", "pnseclvl"};
  return kSkipped.count(word) != 0;
}

// Words that are understood to need nothing from us: paragraph layout, page setup, the
// declarations of the header. They are not reported as unknown.
bool IsQuietWord(std::string_view word) {
  static const std::set<std::string_view> kQuiet = {
      "rtf",      "ansi",     "mac",      "pc",       "pca",      "ansicpg",  "deflang",
      "deflangfe", "lang",    "langfe",   "langnp",   "langfenp", "noproof",  "pard",
      "ql",       "qc",       "qr",       "qj",       "li",       "ri",       "fi",
      "lin",      "rin",      "sb",       "sa",       "sl",       "slmult",   "widctlpar",
      "nowidctlpar", "keepn", "keep",     "viewkind", "fnil",     "froman",   "fswiss",
      "fscript",  "fdecor",   "ftech",    "fbidi",    "fcharset", "cb",       "highlight",
      "strike",   "super",    "sub",      "nosupersub", "up",     "dn",
      "paperw",   "paperh",   "margl",    "margr",    "margt",    "margb",    "sectd",
      "ltrpar",   "rtlpar",   "ltrch",    "rtlch",    "loch",     "hich",     "dbch",
      "af",       "afs",      "ab",       "ai",       "alang",    "kerning",  "expnd",
      "expndtw",  "charscalex", "cs",     "s",        "ls",       "ilvl",     "outlinel",
      "itap",     "intbl",    "trowd",    "cellx",    "trgaph",   "trleft",   "clbrdrt",
      "clbrdrl",  "clbrdrb",  "clbrdrr",  "brdrs",    "brdrw",    "brdrcf",   "nouicompat",
      "wrapdefault", "aspalpha", "aspnum", "faauto",  "adjustright", "rsid",  "insrsid",
      "charrsid", "pararsid", "sectrsid", "tx",       "tqr",      "tqc",      "tqdec",
      "tldot",    "htmautsp", "fet",      "ftnbj",    "aenddoc",  "formshade", "horzdoc",
      "dghspace", "dgvspace", "dghorigin", "dgvorigin", "dghshow", "dgvshow", "jexpand",
      "viewscale", "viewzk",  "pgnstarts", "linex",   "endnhere", "sftnbj",   "deftab",
      "stshfdbch", "stshfloch", "stshfhich", "stshfbi", "gutter",
      "margmirror", "vieww",  "viewh",    "cocoartf", "cocoatextscaling", "cocoaplatform",
      "hyphauto", "hyphmax",  "hyphhotz", "hyphcaps", "nosnaplinegrid", "snapgrid",
      "contextualspace", "spriority", "sqformat", "sbasedon", "snext", "slink",
      "ssemihidden", "sunhideused", "sautoupd", "shidden", "additive", "hr", "min",
      "yr",       "mo",       "dy",       "sec",      "version",  "vern",     "edmins",
      "nofpages", "nofwords", "nofchars", "nofcharsws", "id",     "fromtext", "fromhtml",
      "expshrtn", "noxlattoyen", "dntblnsbdb", "lytprtmet", "hyphhotz", "pgbrdrhead",
      "pgbrdrfoot", "splytwnine", "ftnlytwnine", "nolnhtadjtbl", "useltbaln", "alntblind",
      "lytcalctblwd", "lyttblrtgr", "lnbrkrule", "nobrkwrptbl", "ptexttwips", "noqfpromote",
      "nojkernpunct", "rempersonalinfo", "ksulang", "nofeaturethrottle", "validatexml",
      "showplaceholdtext", "ignoremixedcontent", "saveinvalidxml", "showxmlerrors",
      "allowfieldendsel", "fldrslt", "field", "fldedit", "fldlock", "fldpriv", "ulc",
  };
  return kQuiet.count(word) != 0;
}

// The Windows-1252 code of a Unicode character, if it has one.
std::optional<char> Cp1252Of(std::uint32_t cp) {
  if (cp == '?') return '?';
  std::string utf8;
  if (cp < 0x80) {
    utf8 += static_cast<char>(cp);
  } else if (cp < 0x800) {
    utf8 += static_cast<char>(0xC0 | (cp >> 6));
    utf8 += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    utf8 += static_cast<char>(0xE0 | (cp >> 12));
    utf8 += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    utf8 += static_cast<char>(0x80 | (cp & 0x3F));
  }
  const std::string code = Utf8ToCp1252(utf8);
  if (code.size() != 1 || code[0] == '?') return std::nullopt;
  return code[0];
}

bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool LooksFixedPitch(const std::string& name) {
  std::string lower;
  for (char c : name) lower += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  for (const char* fixed : {"courier", "mono", "consolas", "lucida console", "fixedsys"})
    if (lower.find(fixed) != std::string::npos) return true;
  return false;
}

class Parser {
 public:
  explicit Parser(std::string_view source) : src_(source) {}

  RtfDocument Run() {
    stack_.push_back(GroupState{});
    while (pos_ < src_.size()) {
      const char c = src_[pos_++];
      switch (c) {
        case '{': OpenGroup(); break;
        case '}': CloseGroup(); break;
        case '\\': ControlSequence(); break;
        case '\r':
        case '\n': break;  // line ends of the source mean nothing
        default: Character(c); break;
      }
    }
    return std::move(doc_);
  }

 private:
  // Nesting deeper than this is not followed (the braces are still counted), so a file of
  // braces costs no memory.
  static constexpr std::size_t kMaxDepth = 512;
  // Numbers are held at this size; no meaningful parameter comes near it.
  static constexpr long long kMaxParameter = 1000000000;

  GroupState& State() { return stack_.back(); }

  void OpenGroup() {
    pendingSkip_ = 0;
    if (stack_.size() >= kMaxDepth) {
      ++excessDepth_;
      return;
    }
    stack_.push_back(State());
  }

  void CloseGroup() {
    pendingSkip_ = 0;
    if (excessDepth_ > 0) {
      --excessDepth_;
      return;
    }
    if (stack_.size() > 1) stack_.pop_back();  // a stray '}' at the top is ignored
  }

  void ControlSequence() {
    if (pos_ >= src_.size()) return;
    const char c = src_[pos_];
    if (IsLetter(c)) {
      ControlWord();
      return;
    }
    ++pos_;
    switch (c) {
      case '\'': {
        const int hi = pos_ < src_.size() ? HexValue(src_[pos_]) : -1;
        const int lo = pos_ + 1 < src_.size() ? HexValue(src_[pos_ + 1]) : -1;
        if (hi < 0 || lo < 0) return;  // a broken escape shows nothing
        pos_ += 2;
        Character(static_cast<char>(hi * 16 + lo));
        break;
      }
      case '*': State().destination = Destination::Skip; break;
      case '{':
      case '}':
      case '\\': Character(c); break;
      case '~': Character('\xA0'); break;
      case '_': Character('-'); break;
      case '\r':
      case '\n': Word("par", false, 0); break;
      default: break;  // '\-', '\|', '\:' and the like: nothing to show
    }
  }

  void ControlWord() {
    std::string word;
    while (pos_ < src_.size() && IsLetter(src_[pos_]) && word.size() < 32) word += src_[pos_++];
    while (pos_ < src_.size() && IsLetter(src_[pos_])) ++pos_;  // an overlong word is cut
    bool hasParam = false;
    bool negative = false;
    long long param = 0;
    if (pos_ < src_.size() && src_[pos_] == '-' && pos_ + 1 < src_.size() && IsDigit(src_[pos_ + 1])) {
      negative = true;
      ++pos_;
    }
    while (pos_ < src_.size() && IsDigit(src_[pos_])) {
      hasParam = true;
      param = std::min(param * 10 + (src_[pos_] - '0'), kMaxParameter);
      ++pos_;
    }
    if (pos_ < src_.size() && src_[pos_] == ' ') ++pos_;
    Word(word, hasParam, static_cast<int>(negative ? -param : param));
  }

  void Word(const std::string& word, bool hasParam, int param) {
    if (word == "bin") {
      // Binary data follows; it is never text.
      const std::size_t n = hasParam && param > 0 ? static_cast<std::size_t>(param) : 0;
      pos_ += std::min(n, src_.size() - pos_);
      return;
    }
    if (word == "u") {
      UnicodeCharacter(param);
      return;
    }
    if (pendingSkip_ > 0) {  // a control word stands for one character of a '\u' fallback
      --pendingSkip_;
      return;
    }
    GroupState& s = State();
    const bool on = !hasParam || param != 0;
    if (word == "fonttbl") s.destination = Destination::FontTable;
    else if (word == "colortbl") s.destination = Destination::ColourTable;
    else if (IsSkippedDestination(word)) s.destination = Destination::Skip;
    else if (word == "par" || word == "page" || word == "sect" || word == "row") Character('\n');
    else if (word == "line") Character('\v');
    else if (word == "tab" || word == "cell") Character('\t');
    else if (word == "emdash") Character('\x97');
    else if (word == "endash") Character('\x96');
    else if (word == "bullet") Character('\x95');
    else if (word == "lquote") Character('\x91');
    else if (word == "rquote") Character('\x92');
    else if (word == "ldblquote") Character('\x93');
    else if (word == "rdblquote") Character('\x94');
    else if (word == "emspace" || word == "enspace" || word == "qmspace") Character(' ');
    else if (word == "b") s.format.bold = on;
    else if (word == "i") s.format.italic = on;
    else if (word == "ul" || word == "uld" || word == "uldb" || word == "ulw" || word == "uldash" ||
             word == "ulth" || word == "ulwave")
      s.format.underline = on;
    else if (word == "ulnone") s.format.underline = false;
    else if (word == "fs") s.format.halfPoints = hasParam && param > 0 ? std::min(param, 3276) : 24;
    else if (word == "cf") SelectColour(hasParam ? param : 0);
    else if (word == "f") SelectFont(hasParam ? param : 0);
    else if (word == "plain") {
      s.format = RtfFormat{};
      s.font = -1;
    } else if (word == "uc") s.unicodeSkip = std::clamp(hasParam ? param : 1, 0, 16);
    else if (word == "deff") defaultFont_ = hasParam ? param : 0;
    else if (word == "red") SetColourComponent(colourEntry_.red, param);
    else if (word == "green") SetColourComponent(colourEntry_.green, param);
    else if (word == "blue") SetColourComponent(colourEntry_.blue, param);
    else if (word == "fmodern") fontFixed_ = true;
    else if (word == "fprq") fontFixed_ = fontFixed_ || param == 1;
    else if (!IsQuietWord(word)) doc_.unknownWords.insert(word);
  }

  void SetColourComponent(std::uint8_t& component, int value) {
    component = static_cast<std::uint8_t>(std::clamp(value, 0, 255));
    colourSet_ = true;
  }

  void SelectColour(int index) {
    GroupState& s = State();
    if (index > 0 && static_cast<std::size_t>(index) < colours_.size() && colours_[index]) {
      s.format.hasColour = true;
      s.format.colour = *colours_[index];
    } else {
      s.format.hasColour = false;
      s.format.colour = Colour{};
    }
  }

  void SelectFont(int number) {
    GroupState& s = State();
    if (s.destination == Destination::FontTable) {
      CommitFont();
      fontNumber_ = number;
      return;
    }
    s.font = number;
  }

  void CommitFont() {
    if (fontNumber_ >= 0) fixedFonts_[fontNumber_] = fontFixed_ || LooksFixedPitch(fontName_);
    fontNumber_ = -1;
    fontFixed_ = false;
    fontName_.clear();
  }

  void UnicodeCharacter(int param) {
    const std::uint32_t cp = static_cast<std::uint32_t>(param < 0 ? param + 65536 : param) & 0xFFFF;
    const int skip = State().unicodeSkip;
    if (cp >= 0xD800 && cp <= 0xDBFF) {
      pendingSkip_ = skip;  // the pair's second half brings the fallback of both
      return;
    }
    pendingSkip_ = 0;
    if (const std::optional<char> code = Cp1252Of(cp)) {
      Character(*code);
      pendingSkip_ = skip;
    }
    // Without a code the fallback characters that follow are shown instead.
  }

  void Character(char c) {
    if (pendingSkip_ > 0) {
      --pendingSkip_;
      return;
    }
    GroupState& s = State();
    switch (s.destination) {
      case Destination::Skip: return;
      case Destination::FontTable:
        if (c == ';') CommitFont();
        else fontName_ += c;
        return;
      case Destination::ColourTable:
        if (c == ';') {
          colours_.push_back(colourSet_ ? std::optional<Colour>(colourEntry_) : std::nullopt);
          colourEntry_ = Colour{};
          colourSet_ = false;
        }
        return;
      case Destination::Text: break;
    }
    const unsigned char u = static_cast<unsigned char>(c);
    if (u < 0x20 && c != '\n' && c != '\v' && c != '\t') return;  // stray control bytes
    RtfFormat format = s.format;
    const int font = s.font >= 0 ? s.font : defaultFont_;
    const auto fixed = fixedFonts_.find(font);
    format.fixedPitch = fixed != fixedFonts_.end() && fixed->second;
    if (doc_.runs.empty() || !(doc_.runs.back().format == format)) doc_.runs.push_back(RtfRun{{}, format});
    doc_.runs.back().text += c;
  }

  std::string_view src_;
  std::size_t pos_ = 0;
  std::vector<GroupState> stack_;
  std::size_t excessDepth_ = 0;
  int pendingSkip_ = 0;
  RtfDocument doc_;

  int defaultFont_ = 0;
  std::unordered_map<int, bool> fixedFonts_;
  int fontNumber_ = -1;
  bool fontFixed_ = false;
  std::string fontName_;

  std::vector<std::optional<Colour>> colours_;  // nullopt: the automatic colour
  Colour colourEntry_;
  bool colourSet_ = false;
};

}  // namespace

RtfDocument ParseRtf(std::string_view source) { return Parser(source).Run(); }

std::string RtfDocument::PlainText() const {
  std::string text;
  for (const RtfRun& run : runs) text += run.text;
  return text;
}

RtfFormat RtfDocument::FormatAt(std::size_t position) const {
  for (const RtfRun& run : runs) {
    if (position < run.text.size()) return run.format;
    position -= run.text.size();
  }
  return RtfFormat{};
}

void RtfDocument::ReplaceChar(std::size_t position, char c) {
  for (RtfRun& run : runs) {
    if (position < run.text.size()) {
      run.text[position] = c;
      return;
    }
    position -= run.text.size();
  }
}

}  // namespace velkor
