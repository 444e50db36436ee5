#include "results/results_table.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <new>
#include <type_traits>

namespace orvana::results {

// A row is one allocation: this packed header of 45 bytes, then the seven
// texts back to back (without terminators). Seven std::string members and
// seven optional colours took some 280 bytes before any text was stored; a
// typical result row now fits in the allocator's 96-byte chunk. A row whose
// texts pass 32 KiB in all (nothing the meter or a log line gives) is wide:
// its text ends are 32-bit and stand in front of the texts.
struct __attribute__((packed)) ResultsTable::Row {
  RowKey key = 0;
  // Per column: where its text ends (low 15 bits; kWideMark in column 0 for
  // a wide row), and whether it has a colour entry (top bit).
  uint16_t ends[kColumnCount] = {};
  uint8_t colors[kColumnCount][3] = {};  // red, green, blue
  uint16_t outcomes = 0;                  // two bits per column

  static constexpr uint16_t kEndBits = 0x7FFF;
  static constexpr uint16_t kColoredBit = 0x8000;
  static constexpr uint16_t kWideMark = kEndBits;
  static constexpr size_t kWideEnds = sizeof(uint32_t) * kColumnCount;

  const char* Chars() const { return reinterpret_cast<const char*>(this + 1); }
  char* Chars() { return reinterpret_cast<char*>(this + 1); }
  bool Wide() const { return (ends[0] & kEndBits) == kWideMark; }
  size_t End(size_t column) const {
    if (!Wide()) return ends[column] & kEndBits;
    uint32_t end;
    std::memcpy(&end, Chars() + sizeof end * column, sizeof end);
    return end;
  }

  std::string_view Text(size_t column) const {
    const size_t begin = column == 0 ? 0 : End(column - 1);
    return {Chars() + (Wide() ? kWideEnds : 0) + begin, End(column) - begin};
  }
  std::optional<Rgb> Color(size_t column) const {
    if ((ends[column] & kColoredBit) == 0) return std::nullopt;
    return Rgb{colors[column][0], colors[column][1], colors[column][2]};
  }
  void SetColor(size_t column, Rgb color) {
    colors[column][0] = color.red;
    colors[column][1] = color.green;
    colors[column][2] = color.blue;
    ends[column] = static_cast<uint16_t>(ends[column] | kColoredBit);
  }
  Outcome OutcomeOf(size_t column) const {
    return static_cast<Outcome>((outcomes >> (2 * column)) & 3u);
  }
  void SetOutcome(size_t column, Outcome outcome) {
    const unsigned shift = 2 * static_cast<unsigned>(column);
    outcomes = static_cast<uint16_t>((outcomes & ~(3u << shift)) | ((outcome & 3u) << shift));
  }
  bool Colored() const {
    if (outcomes != 0) return true;
    for (size_t column = 0; column < kColumnCount; ++column) {
      if ((ends[column] & kColoredBit) != 0) return true;
    }
    return false;
  }
  void CopyColorsFrom(const Row& other) {
    std::memcpy(colors, other.colors, sizeof colors);
    outcomes = other.outcomes;
    for (size_t column = 0; column < kColumnCount; ++column) {
      ends[column] =
          static_cast<uint16_t>((ends[column] & kEndBits) | (other.ends[column] & kColoredBit));
    }
  }
  void ClearColors() {
    outcomes = 0;
    for (size_t column = 0; column < kColumnCount; ++column) {
      ends[column] = static_cast<uint16_t>(ends[column] & kEndBits);
    }
  }

  static RowPtr Make(const std::array<std::string_view, kColumnCount>& texts) {
    size_t total = 0;
    for (std::string_view text : texts) total += text.size();
    const bool wide = total >= kWideMark;
    void* memory = ::operator new(sizeof(Row) + (wide ? kWideEnds : 0) + total);
    RowPtr row(new (memory) Row);
    char* out = row->Chars() + (wide ? kWideEnds : 0);
    size_t at = 0;
    for (size_t column = 0; column < texts.size(); ++column) {
      if (!texts[column].empty()) std::memcpy(out + at, texts[column].data(), texts[column].size());
      at += texts[column].size();
      if (wide) {
        const auto end = static_cast<uint32_t>(at);
        std::memcpy(row->Chars() + sizeof end * column, &end, sizeof end);
      } else {
        row->ends[column] = static_cast<uint16_t>(at);
      }
    }
    if (wide) row->ends[0] = kWideMark;
    return row;
  }
};

void ResultsTable::RowDeleter::operator()(Row* row) const {
  static_assert(std::is_trivially_destructible_v<Row>, "freed without running members' ends");
  row->~Row();
  ::operator delete(row);
}

namespace {

bool ValidColumn(int column) { return column >= 0 && column < kColumnCount; }

std::array<std::string_view, kColumnCount> Views(const RowTexts& texts) {
  std::array<std::string_view, kColumnCount> views;
  for (size_t column = 0; column < texts.size(); ++column) views[column] = texts[column];
  return views;
}

}  // namespace

CellText ResultsTable::Text(int row, Column column) const { return Text(row, ColumnIndex(column)); }

CellText ResultsTable::Text(int row, int column) const {
  if (!Contains(row) || !ValidColumn(column)) return {};
  return m_rows[static_cast<size_t>(row)]->Text(static_cast<size_t>(column));
}

void ResultsTable::SetText(int row, Column column, std::string text) {
  const int index = ColumnIndex(column);
  if (!Contains(row) || !ValidColumn(index)) return;
  RowPtr& slot = m_rows[static_cast<size_t>(row)];
  std::array<std::string_view, kColumnCount> texts;
  for (size_t c = 0; c < texts.size(); ++c) texts[c] = slot->Text(c);
  texts[static_cast<size_t>(index)] = text;
  RowPtr changed = Row::Make(texts);
  changed->key = slot->key;
  changed->CopyColorsFrom(*slot);
  slot = std::move(changed);
  NotifyAll([row](ITableObserver& observer) { observer.RowChanged(row); });
}

int ResultsTable::InsertRow(int index, std::string serialText) {
  if (index < 0 || index > RowCount()) index = RowCount();
  std::array<std::string_view, kColumnCount> texts{};
  texts[0] = serialText;
  RowPtr row = Row::Make(texts);
  row->key = m_nextKey++;
  m_rows.insert(m_rows.begin() + index, std::move(row));
  NotifyAll([index](ITableObserver& observer) { observer.RowsInserted(index, 1); });
  return index;
}

namespace {

void SetColors(const RowContent& content, auto& row) {
  for (size_t column = 0; column < content.colors.size(); ++column) {
    if (content.colors[column]) row.SetColor(column, *content.colors[column]);
    row.SetOutcome(column, content.outcomes[column]);
  }
}

}  // namespace

int ResultsTable::AppendRow(const RowContent& content) {
  RowPtr row = Row::Make(content.texts);
  SetColors(content, *row);
  row->key = m_nextKey++;
  m_rows.push_back(std::move(row));
  const int index = RowCount() - 1;
  NotifyAll([index](ITableObserver& observer) { observer.RowsInserted(index, 1); });
  return index;
}

RowContent ResultsTable::Content(int row) const {
  RowContent content;
  if (!Contains(row)) return content;
  const Row& stored = *m_rows[static_cast<size_t>(row)];
  for (size_t column = 0; column < content.texts.size(); ++column) {
    content.texts[column] = stored.Text(column);
    content.colors[column] = stored.Color(column);
    content.outcomes[column] = stored.OutcomeOf(column);
  }
  return content;
}

void ResultsTable::SetRow(int row, const RowContent& content) {
  if (!Contains(row)) return;
  RowPtr& slot = m_rows[static_cast<size_t>(row)];
  RowPtr changed = Row::Make(content.texts);  // copies the texts before the old row goes
  SetColors(content, *changed);
  changed->key = slot->key;
  slot = std::move(changed);
  NotifyAll([row](ITableObserver& observer) { observer.RowChanged(row); });
}

int ResultsTable::InsertRows(int index, std::vector<RowTexts> rows) {
  RowBlock block;
  block.m_rows.reserve(rows.size());
  for (const RowTexts& texts : rows) block.Add(Views(texts));
  return InsertBlock(index, std::move(block));
}

ResultsTable::RowBlock::RowBlock() = default;
ResultsTable::RowBlock::~RowBlock() = default;
ResultsTable::RowBlock::RowBlock(RowBlock&&) noexcept = default;
ResultsTable::RowBlock& ResultsTable::RowBlock::operator=(RowBlock&&) noexcept = default;

void ResultsTable::RowBlock::Add(const std::array<std::string_view, kColumnCount>& texts) {
  m_rows.push_back(Row::Make(texts));
}

int ResultsTable::InsertBlock(int index, RowBlock block) {
  if (index < 0 || index > RowCount()) index = RowCount();
  if (block.m_rows.empty()) return index;
  for (auto& row : block.m_rows) row->key = m_nextKey++;
  const int count = static_cast<int>(block.m_rows.size());
  if (m_rows.empty()) {
    m_rows = std::move(block.m_rows);  // an import into an empty table: no second vector
  } else {
    m_rows.insert(m_rows.begin() + index, std::make_move_iterator(block.m_rows.begin()),
                  std::make_move_iterator(block.m_rows.end()));
  }
  NotifyAll([index, count](ITableObserver& observer) { observer.RowsInserted(index, count); });
  return index;
}

void ResultsTable::DeleteAllRows() {
  m_rows.clear();
  NotifyAll([](ITableObserver& observer) { observer.TableCleared(); });
}

void ResultsTable::SetCellTextColor(Column column, int row, Rgb color) {
  const int index = ColumnIndex(column);
  if (!Contains(row) || !ValidColumn(index)) return;
  m_rows[static_cast<size_t>(row)]->SetColor(static_cast<size_t>(index), color);
  NotifyAll([row](ITableObserver& observer) { observer.RowChanged(row); });
}

std::optional<Rgb> ResultsTable::CellTextColor(int row, Column column) const {
  return CellTextColor(row, ColumnIndex(column));
}

std::optional<Rgb> ResultsTable::CellTextColor(int row, int column) const {
  if (!Contains(row) || !ValidColumn(column)) return std::nullopt;
  return m_rows[static_cast<size_t>(row)]->Color(static_cast<size_t>(column));
}

Outcome ResultsTable::CellOutcome(int row, int column) const {
  if (!Contains(row) || !ValidColumn(column)) return OUTCOME_NONE;
  return m_rows[static_cast<size_t>(row)]->OutcomeOf(static_cast<size_t>(column));
}

void ResultsTable::ClearCellColors() {
  for (size_t index = 0; index < m_rows.size(); ++index) {
    Row& row = *m_rows[index];
    if (!row.Colored()) continue;
    row.ClearColors();
    const int changed = static_cast<int>(index);
    NotifyAll([changed](ITableObserver& observer) { observer.RowChanged(changed); });
  }
}

void ResultsTable::SetLook(const TableLook& look) {
  m_look = look;
  NotifyAll([](ITableObserver& observer) { observer.LookChanged(); });
}

ResultsTable::RowKey ResultsTable::KeyAt(int row) const {
  return Contains(row) ? m_rows[static_cast<size_t>(row)]->key : 0;
}

int ResultsTable::FindRow(RowKey key) const {
  if (key == 0) return -1;
  for (size_t index = m_rows.size(); index-- > 0;) {
    if (m_rows[index]->key == key) return static_cast<int>(index);
  }
  return -1;
}

void ResultsTable::AddObserver(ITableObserver* observer) {
  if (observer != nullptr &&
      std::find(m_observers.begin(), m_observers.end(), observer) == m_observers.end()) {
    m_observers.push_back(observer);
  }
}

void ResultsTable::RemoveObserver(ITableObserver* observer) { std::erase(m_observers, observer); }

}  // namespace orvana::results
