#include "results/list_ctrl_cl.h"

#include <QApplication>
#include <QHeaderView>
#include <QPainter>
#include <QScrollBar>

#include "ui/fonts.h"

namespace orvana::results {

CellDelegate::CellDelegate(CListCtrlCl& list) : QStyledItemDelegate(&list), m_list(list) {}

void CellDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                         const QModelIndex& index) const {
  const QRect cell = option.rect;
  const bool selected = option.state.testFlag(QStyle::State_Selected);
  painter->fillRect(cell, selected ? option.palette.color(QPalette::Active, QPalette::Highlight)
                                   : ToQColor(m_list.BackColor()));

  // The text starts where text of the default GUI font would be centred,
  // whatever the cell font's own height.
  QRect textRect = cell.translated(0, (cell.height() - m_list.GuiTextHeight()) / 2);
  const QVariant foreground = index.data(Qt::ForegroundRole);
  painter->save();
  painter->setClipRect(cell);
  painter->setFont(m_list.CellFont());
  painter->setPen(foreground.isValid() ? foreground.value<QColor>()
                                       : ToQColor(m_list.ListTextColor()));
  painter->drawText(textRect, Qt::AlignHCenter | Qt::AlignTop,
                    index.data(Qt::DisplayRole).toString());
  painter->restore();
}

CListCtrlCl::CListCtrlCl(QWidget* parent)
    : QTableView(parent),
      m_header(new CHeaderCtrlCl(this)),
      m_cellFont(ui::SongFont(m_fontHeight)) {
  setHorizontalHeader(m_header);
  setItemDelegate(new CellDelegate(*this));
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setSelectionMode(QAbstractItemView::ExtendedSelection);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setShowGrid(true);
  setWordWrap(false);
  setCornerButtonEnabled(false);
  verticalHeader()->hide();
  // A fixed row height keeps appending and scrolling independent of how many
  // rows the table holds; measuring rows would visit all of them.
  verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  verticalHeader()->setMinimumSectionSize(1);
  // The window sets the widths at every size change; dragging them would be
  // undone at once.
  m_header->setSectionResizeMode(QHeaderView::Fixed);
  m_header->setStretchLastSection(false);
  setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
  m_guiTextHeight = QFontMetrics(ui::DefaultGuiFont()).height();
}

void CListCtrlCl::SetResultsModel(ResultsModel* model) {
  m_model = model;
  setModel(model);
  connect(selectionModel(), &QItemSelectionModel::selectionChanged, this,
          [this](const QItemSelection& selected, const QItemSelection&) {
            OnSelectionChanged(selected);
          });
  connect(model, &QAbstractItemModel::modelReset, this, [this] { m_selectionMark = -1; });
  connect(model, &ResultsModel::lookChanged, this, [this] { ApplyLook(m_model->Table().Look()); });
  ApplyLook(model->Table().Look());
}

void CListCtrlCl::InsertColumn(int index, const QString& title, Format format, int width) {
  m_header->AppendAlignCode(format == Format::Left ? '0' : format == Format::Right ? '2' : '1');
  if (m_model) m_model->SetColumnTitle(index, title);
  setColumnWidth(index, width);
}

void CListCtrlCl::SetRowHeight(int height) {
  m_rowHeight = height;
  if (height > 0) verticalHeader()->setDefaultSectionSize(height);
}

void CListCtrlCl::SetBackColor(Rgb color) {
  m_backColor = color;
  QPalette palette = this->palette();
  palette.setColor(QPalette::Base, ToQColor(color));
  setPalette(palette);
  viewport()->update();
}

void CListCtrlCl::SetFontSize(int height, int width) {
  if (height == m_fontHeight && width == m_fontWidth) return;
  m_fontHeight = height;
  m_fontWidth = width;
  m_cellFont = ui::SongFont(height, width);
  viewport()->update();
}

void CListCtrlCl::ApplyLook(const TableLook& look) {
  SetListTextColor(look.textColor);
  SetBackColor(look.background);
  m_header->SetBackColor(look.headerStart, look.headerStep);
  m_header->SetHeightFactor(look.headerHeightFactor);
  SetRowHeight(look.rowHeight);
  SetFontSize(look.fontHeight, look.fontWidth);
}

void CListCtrlCl::ApplyMetrics(const TableMetrics& metrics) {
  for (int column = 0; column < kColumnCount; ++column) {
    setColumnWidth(column, metrics.columnWidths[static_cast<size_t>(column)]);
  }
  SetRowHeight(metrics.rowHeight);
  SetFontSize(metrics.fontHeight, metrics.fontWidth);
}

void CListCtrlCl::OnSelectionChanged(const QItemSelection& selected) {
  if (selected.isEmpty()) return;
  m_selectionMark = selected.last().bottom();
}

void CListCtrlCl::MakeRowVisible(int row) {
  if (!m_model || row < 0 || row >= m_model->rowCount()) return;
  // scrollToBottom lays the new rows out first; scrollTo right after an
  // insert leaves the last row just out of view.
  if (row == m_model->rowCount() - 1) {
    scrollToBottom();
  } else {
    scrollTo(m_model->index(row, 0), QAbstractItemView::EnsureVisible);
  }
}

}  // namespace orvana::results
