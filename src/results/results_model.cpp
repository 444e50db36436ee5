#include "results/results_model.h"

#include <string_view>

#include "results/colors.h"
#include "results/verdict.h"

namespace orvana::results {
namespace {

// Longer texts are drawn cut, as the list always has.
constexpr int kMaxDrawnCharacters = 255;

bool IsValueColumn(int column) {
  return column >= ColumnIndex(Column::Value1) && column <= ColumnIndex(Column::Value4);
}

}  // namespace

ResultsModel::ResultsModel(ResultsTable& table, OutcomeTexts outcomes, QObject* parent)
    : QAbstractTableModel(parent),
      m_table(table),
      m_outcomes(std::move(outcomes)),
      m_rows(table.RowCount()) {
  m_table.AddObserver(this);
}

ResultsModel::~ResultsModel() { m_table.RemoveObserver(this); }

int ResultsModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : m_rows;
}

int ResultsModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : kColumnCount + (m_verdict ? 1 : 0);
}

void ResultsModel::ShowVerdictColumn(VerdictColumn column) {
  beginResetModel();
  m_verdict = std::move(column);
  endResetModel();
}

QVariant ResultsModel::VerdictData(int row, int role) const {
  const results::Outcome verdict = RowVerdict(m_table, row);
  switch (role) {
    case Qt::DisplayRole:
    case Qt::AccessibleDescriptionRole:
      return verdict == OUTCOME_PASS   ? m_verdict->pass
             : verdict == OUTCOME_FAIL ? m_verdict->fail
                                       : QString();
    case Qt::ForegroundRole:
      return ToQColor(m_table.Look().textColor);
    case Qt::TextAlignmentRole:
      return QVariant::fromValue(Qt::AlignCenter);
    case kRowVerdictRole:
      return static_cast<int>(verdict);
    default:
      return {};
  }
}

QVariant ResultsModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid()) return {};
  const int row = index.row();
  const int column = index.column();
  if (column == kVerdictColumn) return m_verdict ? VerdictData(row, role) : QVariant();
  switch (role) {
    case Qt::DisplayRole: {
      const std::string_view text = m_table.Text(row, column);
      if (column == ColumnIndex(Column::Time)) {
        if (text == "Loss" && !m_outcomes.loss.isEmpty()) return m_outcomes.loss;
        if (text == "Reflect" && !m_outcomes.reflect.isEmpty()) return m_outcomes.reflect;
      }
      return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()))
          .left(kMaxDrawnCharacters);
    }
    case Qt::ForegroundRole:
      return Foreground(row, column);
    case Qt::TextAlignmentRole:
      return QVariant::fromValue(Qt::AlignCenter);
    case Qt::ToolTipRole:
    case Qt::AccessibleDescriptionRole:
      return Outcome(row, column);
    case kRowVerdictRole:
      return static_cast<int>(RowVerdict(m_table, row));
    case kCellOutcomeRole:
      return static_cast<int>(m_table.CellOutcome(row, column));
    default:
      return {};
  }
}

QVariant ResultsModel::Foreground(int row, int column) const {
  const auto color = m_table.CellTextColor(row, column);
  return ToQColor(color ? *color : m_table.Look().textColor);
}

QVariant ResultsModel::Outcome(int row, int column) const {
  if (!IsValueColumn(column)) return {};
  switch (m_table.CellOutcome(row, column)) {
    case OUTCOME_PASS:
      return m_outcomes.pass;
    case OUTCOME_FAIL:
      return m_outcomes.fail;
    case OUTCOME_NONE:
      break;
  }
  return {};
}

QVariant ResultsModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || section < 0 || section >= columnCount()) return {};
  if (role == Qt::DisplayRole) {
    return section == kVerdictColumn ? m_verdict->title : m_titles[static_cast<size_t>(section)];
  }
  if (role == Qt::TextAlignmentRole) return QVariant::fromValue(Qt::AlignCenter);
  return {};
}

void ResultsModel::SetColumnTitle(int column, const QString& title) {
  if (column < 0 || column >= kColumnCount) return;
  m_titles[static_cast<size_t>(column)] = title;
  emit headerDataChanged(Qt::Horizontal, column, column);
}

void ResultsModel::HoldAppendedRows(std::function<void()> firstWaiting) {
  m_firstWaiting = std::move(firstWaiting);
  if (!m_firstWaiting) AnnounceWaitingRows();
}

void ResultsModel::AnnounceWaitingRows() {
  const int waiting = WaitingRows();
  if (waiting <= 0) return;
  beginInsertRows({}, m_rows, m_rows + waiting - 1);
  m_rows += waiting;
  endInsertRows();
}

void ResultsModel::RowsInserted(int first, int count) {
  // Rows put in after every announced row join the waiting ones; the rows
  // the view knows are still the table's first m_rows.
  if (m_firstWaiting && first >= m_rows) {
    if (WaitingRows() == count) m_firstWaiting();
    return;
  }
  // Put in among the announced rows: told at once, and the waiting rows,
  // moved down with the rest, still follow every announced one.
  beginInsertRows({}, first, first + count - 1);
  m_rows += count;
  endInsertRows();
}

void ResultsModel::RowChanged(int row) {
  // A waiting row is read whole when it is announced.
  if (row >= m_rows) return;
  emit dataChanged(index(row, 0), index(row, columnCount() - 1));
}

void ResultsModel::TableCleared() {
  beginResetModel();
  m_rows = 0;
  endResetModel();
}

void ResultsModel::LookChanged() {
  // Every cell without a colour of its own follows the list's text colour.
  if (m_rows > 0) emit dataChanged(index(0, 0), index(m_rows - 1, columnCount() - 1));
  emit lookChanged();
}

}  // namespace orvana::results
