#include "results/results_table.h"

#include <algorithm>
#include <iterator>

namespace orvana::results {
namespace {

const std::string& EmptyText() {
  static const std::string empty;
  return empty;
}

bool ValidColumn(int column) { return column >= 0 && column < kColumnCount; }

}  // namespace

const std::string& ResultsTable::Text(int row, Column column) const {
  return Text(row, ColumnIndex(column));
}

const std::string& ResultsTable::Text(int row, int column) const {
  if (!Contains(row) || !ValidColumn(column)) return EmptyText();
  return rows_[static_cast<size_t>(row)]->texts[static_cast<size_t>(column)];
}

void ResultsTable::SetText(int row, Column column, std::string text) {
  const int index = ColumnIndex(column);
  if (!Contains(row) || !ValidColumn(index)) return;
  rows_[static_cast<size_t>(row)]->texts[static_cast<size_t>(index)] = std::move(text);
  NotifyAll([row](ITableObserver& observer) { observer.RowChanged(row); });
}

std::unique_ptr<ResultsTable::Row> ResultsTable::MakeRow(RowTexts texts) {
  auto row = std::make_unique<Row>();
  row->texts = std::move(texts);
  row->key = nextKey_++;
  return row;
}

int ResultsTable::InsertRow(int index, std::string serialText) {
  if (index < 0 || index > RowCount()) index = RowCount();
  RowTexts texts;
  texts[0] = std::move(serialText);
  rows_.insert(rows_.begin() + index, MakeRow(std::move(texts)));
  NotifyAll([index](ITableObserver& observer) { observer.RowsInserted(index, 1); });
  return index;
}

int ResultsTable::InsertRows(int index, std::vector<RowTexts> rows) {
  if (index < 0 || index > RowCount()) index = RowCount();
  if (rows.empty()) return index;
  std::vector<std::unique_ptr<Row>> block;
  block.reserve(rows.size());
  for (RowTexts& texts : rows) block.push_back(MakeRow(std::move(texts)));
  rows_.insert(rows_.begin() + index, std::make_move_iterator(block.begin()),
               std::make_move_iterator(block.end()));
  const int count = static_cast<int>(block.size());
  NotifyAll([index, count](ITableObserver& observer) { observer.RowsInserted(index, count); });
  return index;
}

ResultsTable::RowBlock::RowBlock() = default;
ResultsTable::RowBlock::~RowBlock() = default;
ResultsTable::RowBlock::RowBlock(RowBlock&&) noexcept = default;
ResultsTable::RowBlock& ResultsTable::RowBlock::operator=(RowBlock&&) noexcept = default;

void ResultsTable::RowBlock::Add(const std::array<std::string_view, kColumnCount>& texts) {
  auto row = std::make_unique<Row>();
  for (size_t column = 0; column < texts.size(); ++column) {
    row->texts[column] = std::string(texts[column]);
  }
  rows_.push_back(std::move(row));
}

int ResultsTable::InsertBlock(int index, RowBlock block) {
  if (index < 0 || index > RowCount()) index = RowCount();
  if (block.rows_.empty()) return index;
  for (auto& row : block.rows_) row->key = nextKey_++;
  rows_.insert(rows_.begin() + index, std::make_move_iterator(block.rows_.begin()),
               std::make_move_iterator(block.rows_.end()));
  const int count = static_cast<int>(block.rows_.size());
  NotifyAll([index, count](ITableObserver& observer) { observer.RowsInserted(index, count); });
  return index;
}

void ResultsTable::DeleteAllRows() {
  rows_.clear();
  NotifyAll([](ITableObserver& observer) { observer.TableCleared(); });
}

void ResultsTable::SetCellTextColor(Column column, int row, Rgb color) {
  const int index = ColumnIndex(column);
  if (!Contains(row) || !ValidColumn(index)) return;
  rows_[static_cast<size_t>(row)]->colors[static_cast<size_t>(index)] = color;
  NotifyAll([row](ITableObserver& observer) { observer.RowChanged(row); });
}

std::optional<Rgb> ResultsTable::CellTextColor(int row, Column column) const {
  return CellTextColor(row, ColumnIndex(column));
}

std::optional<Rgb> ResultsTable::CellTextColor(int row, int column) const {
  if (!Contains(row) || !ValidColumn(column)) return std::nullopt;
  return rows_[static_cast<size_t>(row)]->colors[static_cast<size_t>(column)];
}

void ResultsTable::ClearCellColors() {
  for (size_t index = 0; index < rows_.size(); ++index) {
    Row& row = *rows_[index];
    const bool coloured =
        std::any_of(row.colors.begin(), row.colors.end(),
                    [](const std::optional<Rgb>& color) { return color.has_value(); });
    if (!coloured) continue;
    row.colors.fill(std::nullopt);
    const int changed = static_cast<int>(index);
    NotifyAll([changed](ITableObserver& observer) { observer.RowChanged(changed); });
  }
}

void ResultsTable::SetLook(const TableLook& look) {
  look_ = look;
  NotifyAll([](ITableObserver& observer) { observer.LookChanged(); });
}

ResultsTable::RowKey ResultsTable::KeyAt(int row) const {
  return Contains(row) ? rows_[static_cast<size_t>(row)]->key : 0;
}

int ResultsTable::FindRow(RowKey key) const {
  if (key == 0) return -1;
  for (size_t index = rows_.size(); index-- > 0;) {
    if (rows_[index]->key == key) return static_cast<int>(index);
  }
  return -1;
}

void ResultsTable::AddObserver(ITableObserver* observer) {
  if (observer != nullptr &&
      std::find(observers_.begin(), observers_.end(), observer) == observers_.end()) {
    observers_.push_back(observer);
  }
}

void ResultsTable::RemoveObserver(ITableObserver* observer) { std::erase(observers_, observer); }

}  // namespace orvana::results
