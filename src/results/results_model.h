#pragma once

#include <QAbstractTableModel>
#include <QColor>
#include <QString>
#include <array>
#include <functional>
#include <optional>

#include "results/results_table.h"

// The Qt face of the core's results table: the view reads every cell from
// the table itself (no second copy of the rows) and the table's observer
// calls turn into the model's change signals.
namespace orvana::results {

// What a view needs of a cell colour.
inline QColor ToQColor(Rgb rgb) { return QColor(rgb.red, rgb.green, rgb.blue); }

class ResultsModel final : public QAbstractTableModel, private ITableObserver {
  Q_OBJECT

 public:
  // Text of a value cell's accessible description, so a result can be read
  // without seeing its colour.
  struct OutcomeTexts {
    QString pass;
    QString fail;
    // An uploaded event's type as the window's language says it; the table
    // and the files keep the meter's own "Loss" and "Reflect". Empty: shown
    // as stored.
    QString loss;
    QString reflect;
  };

  // The bench mode's column after the table's own: each row's verdict.
  struct VerdictColumn {
    QString title;
    QString pass;
    QString fail;
  };
  // A row's verdict (an Outcome), and a cell's own, for a view that draws
  // them its own way.
  static constexpr int kRowVerdictRole = Qt::UserRole + 1;
  static constexpr int kCellOutcomeRole = Qt::UserRole + 2;

  ResultsModel(ResultsTable& table, OutcomeTexts outcomes, QObject* parent = nullptr);
  ~ResultsModel() override;

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

  void SetColumnTitle(int column, const QString& title);
  // Adds the verdict column (once, before a view shows the model).
  void ShowVerdictColumn(VerdictColumn column);
  bool HasVerdictColumn() const { return m_verdict.has_value(); }
  static constexpr int kVerdictColumn = kColumnCount;
  const ResultsTable& Table() const { return m_table; }

  // A view that shows rows only at its screen updates has them announced
  // then, all at once, instead of one insert per result: rows appended at
  // the end wait, and `firstWaiting` is called when the first of them comes.
  // Any other change is told at once. Without a handler (the default) every
  // row is announced as it comes.
  void HoldAppendedRows(std::function<void()> firstWaiting);
  // Announces the rows that wait, as one insert.
  void AnnounceWaitingRows();
  int WaitingRows() const { return m_table.RowCount() - m_rows; }

 signals:
  // The table's look (colours, gradient, row height, font size) changed.
  void lookChanged();

 private:
  void RowsInserted(int first, int count) override;
  void RowChanged(int row) override;
  void TableCleared() override;
  void LookChanged() override;

  QVariant Foreground(int row, int column) const;
  QVariant Outcome(int row, int column) const;
  QVariant VerdictData(int row, int role) const;

  ResultsTable& m_table;
  OutcomeTexts m_outcomes;
  std::optional<VerdictColumn> m_verdict;
  std::array<QString, kColumnCount> m_titles;
  // Rows the view has been told about: always the table's first m_rows
  // rows. The table reports a change after making it, while Qt wants to
  // hear of it before; counting our own rows keeps the two in step.
  int m_rows = 0;
  std::function<void()> m_firstWaiting;
};

}  // namespace orvana::results
