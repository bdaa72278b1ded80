#include "views/DecodedLine.h"

#include <cassert>
#include <initializer_list>
#include <utility>

namespace velkor {

LineReader::LineReader(std::string_view line) {
  if (line.empty()) return;
  channel_ = static_cast<unsigned char>(line[0]) - '0';
  std::string_view rest = line.substr(1);
  std::size_t comma = rest.find(',');
  rest = comma == std::string_view::npos ? std::string_view{} : rest.substr(comma + 1);
  comma = rest.find(',');
  if (comma == std::string_view::npos) {
    date_ = rest;
    rest_ = {};
  } else {
    date_ = rest.substr(0, comma);
    rest_ = rest.substr(comma + 1);
  }
}

bool LineReader::NextField(LineField& field) {
  if (rest_.empty()) return false;
  std::size_t comma = rest_.find(',');
  std::string_view text = rest_.substr(0, comma);
  // A frame text that lacks its final comma still ends the walk at its end.
  rest_ = comma == std::string_view::npos ? std::string_view{} : rest_.substr(comma + 1);

  field.marker = FieldMarker::None;
  if (!text.empty() && text[0] == kErrorLineMark) {
    field.marker = FieldMarker::ErrorLine;
    text.remove_prefix(1);
  } else if (!text.empty() && text[0] == kDescribedFieldMark) {
    field.marker = FieldMarker::DescribedField;
    text.remove_prefix(1);
  }
  field.text = text;
  std::size_t eq = text.find('=');
  field.hasValue = eq != std::string_view::npos;
  field.name = field.hasValue ? text.substr(0, eq) : text;
  field.value = field.hasValue ? text.substr(eq + 1) : std::string_view{};
  return true;
}

std::string RenderDecodedLine(std::string_view line, const std::string (&captions)[4]) {
  std::string out;
  if (line.empty()) return out;
  LineReader reader(line);

  std::string caption;
  int channel = reader.Channel();
  if (channel >= 0 && channel < 4) caption = captions[channel];
  caption.resize(6, ' ');
  out += caption;

  std::string date(reader.Date());
  if (date.size() < 4) date.insert(0, 4 - date.size(), '0');
  if (date.size() < 12) date.insert(0, 12 - date.size(), ' ');
  date.insert(date.size() - 3, 1, '.');
  out += date;

  LineField field;
  while (reader.NextField(field)) {
    out += ' ';
    out += field.text;
  }
  return out;
}

std::string_view CutDecodedLine(std::string_view text, std::string& scratch) {
  if (text.size() <= kMaxDecodedLineLength) return text;
  scratch.assign(text.substr(0, kMaxDecodedLineLength - 3));
  scratch += "..,";
  return scratch;
}

DecodedLineList::DecodedLineList() = default;
DecodedLineList::~DecodedLineList() = default;

void DecodedLineList::Append(std::string_view line, FrameTag tag) {
  if (blocks_.empty() || blocks_.back()->ends.size() == kLinesPerBlock) {
    auto block = std::make_unique<Block>();
    block->ends.reserve(kLinesPerBlock);
    block->selected.reserve(kLinesPerBlock);
    blocks_.push_back(std::move(block));
  }
  Block& block = *blocks_.back();
  block.bytes.append(line);
  block.ends.push_back(static_cast<std::uint32_t>(block.bytes.size()));
  block.selected.push_back(0);
  if (tag.bus != FrameBus::None || !block.tags.empty()) {
    block.tags.resize(block.ends.size() - 1);
    block.tags.push_back(tag.Pack());
  }
  ++count_;
}

const DecodedLineList::Block& DecodedLineList::BlockOf(std::size_t i, std::size_t& slot) const {
  assert(i < count_);
  std::size_t global = head_ + i;
  slot = global % kLinesPerBlock;
  return *blocks_[global / kLinesPerBlock];
}

std::string_view DecodedLineList::Line(std::size_t i) const {
  std::size_t slot;
  const Block& block = BlockOf(i, slot);
  std::uint32_t begin = slot == 0 ? 0 : block.ends[slot - 1];
  return std::string_view(block.bytes).substr(begin, block.ends[slot] - begin);
}

FrameTag DecodedLineList::Tag(std::size_t i) const {
  std::size_t slot;
  const Block& block = BlockOf(i, slot);
  return slot < block.tags.size() ? FrameTag::Unpack(block.tags[slot]) : FrameTag{};
}

bool DecodedLineList::Selected(std::size_t i) const {
  std::size_t slot;
  return BlockOf(i, slot).selected[slot] != 0;
}

void DecodedLineList::SetSelected(std::size_t i, bool selected) {
  assert(i < count_);
  const std::size_t global = head_ + i;
  blocks_[global / kLinesPerBlock]->selected[global % kLinesPerBlock] = selected ? 1 : 0;
}

void DecodedLineList::RemoveFirst() {
  if (count_ == 0) return;
  --count_;
  ++removedFromFront_;
  if (count_ == 0) {
    ReleaseAll();
    return;
  }
  if (++head_ == kLinesPerBlock) {
    blocks_.pop_front();
    head_ = 0;
  }
}

void DecodedLineList::Swap(DecodedLineList& other) noexcept {
  blocks_.swap(other.blocks_);
  std::swap(head_, other.head_);
  std::swap(count_, other.count_);
  // The generation stays with the list, not its lines: for a view that follows either list
  // all of its lines were replaced, as by a clear.
  for (DecodedLineList* list : {this, &other}) {
    ++list->generation_;
    list->removedFromFront_ = 0;
  }
}

void DecodedLineList::Clear() {
  ReleaseAll();
  ++generation_;
  removedFromFront_ = 0;
}

void DecodedLineList::ReleaseAll() {
  blocks_.clear();
  head_ = 0;
  count_ = 0;
}

}  // namespace velkor
