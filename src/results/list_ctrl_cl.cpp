#include "results/list_ctrl_cl.h"

#include <QAccessible>
#include <QApplication>
#include <QHeaderView>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>
#include <algorithm>

#include "ui/fonts.h"
#include "ui/partial_repaint_scroll_bar.h"

namespace orvana::results {
namespace {

constexpr int kSmallestCellFont = 8;

}  // namespace

CellDelegate::CellDelegate(CListCtrlCl& list) : QStyledItemDelegate(&list), m_list(list) {}

void CellDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                         const QModelIndex& index) const {
  if (m_list.BenchLook()) {
    PaintBenchCell(painter, option, index);
    return;
  }
  QRect cell = option.rect;
  // The list's own grid takes the right and bottom edges, as the base's does.
  if (m_list.DrawsOwnGrid()) cell.adjust(0, 0, -1, -1);
  // Unselected, the cell shows the list's background, which the view has
  // just filled its whole update with.
  if (option.state.testFlag(QStyle::State_Selected)) {
    painter->fillRect(cell, option.palette.color(QPalette::Active, QPalette::Highlight));
  } else if (!m_list.FillsBackground()) {
    painter->fillRect(cell, ToQColor(m_list.BackColor()));
  }

  const QString text = index.data(Qt::DisplayRole).toString();
  if (text.isEmpty()) return;
  const CListCtrlCl::DrawnText& drawn = m_list.DrawnTextFor(text, cell.width());
  // The text starts where text of the default GUI font would be centred,
  // whatever the cell font's own height; a text shrunk to fit is centred.
  const int top = drawn.shrunk ? cell.top() + (cell.height() - drawn.fontHeight) / 2
                               : cell.top() + (cell.height() - m_list.GuiTextHeight()) / 2;
  const int left = cell.left() + (cell.width() - drawn.width) / 2;
  const QVariant foreground = index.data(Qt::ForegroundRole);
  painter->save();
  // Only a text reaching past its cell (the smallest font did not make it
  // fit, or the cell is too low for it) needs the clip.
  if (left < cell.left() || top < cell.top() || top + drawn.fontHeight > cell.bottom() + 1) {
    painter->setClipRect(cell);
  }
  painter->setFont(drawn.font);
  painter->setPen(foreground.isValid() ? foreground.value<QColor>()
                                       : ToQColor(m_list.ListTextColor()));
  painter->drawStaticText(left, top, drawn.text);
  painter->restore();
}

void CellDelegate::PaintBenchCell(QPainter* painter, const QStyleOptionViewItem& option,
                                  const QModelIndex& index) const {
  namespace look = bench_look;
  QRect cell = option.rect;
  if (m_list.DrawsOwnGrid()) cell.adjust(0, 0, -1, -1);
  const auto verdict = static_cast<results::Outcome>(
      index.data(ResultsModel::kRowVerdictRole).toInt());
  Rgb background = verdict == OUTCOME_PASS   ? look::kPassBackground
                   : verdict == OUTCOME_FAIL ? look::kFailBackground
                                             : look::kPlainBackground;
  if (option.state.testFlag(QStyle::State_Selected)) background = look::kSelectedBackground;
  painter->fillRect(cell, ToQColor(background));
  const QString text = index.data(Qt::DisplayRole).toString();
  if (text.isEmpty()) return;
  // A value, or the verdict itself, in its verdict's dark colour.
  const auto outcome =
      index.column() == ResultsModel::kVerdictColumn
          ? verdict
          : static_cast<results::Outcome>(index.data(ResultsModel::kCellOutcomeRole).toInt());
  const Rgb ink = outcome == OUTCOME_PASS   ? look::kPassText
                  : outcome == OUTCOME_FAIL ? look::kFailText
                                            : look::kText;
  painter->save();
  painter->setPen(ToQColor(ink));
  // The newest result stands out by its weight, not by a third colour.
  const bool newest = verdict != OUTCOME_NONE && index.row() == index.model()->rowCount() - 1;
  if (newest) {
    // Shrunk to fit, as every cell text is; drawn afresh, being one row.
    QFont bold = m_list.BoldCellFont();
    const int natural = QFontMetrics(bold).horizontalAdvance(text);
    const int available = cell.width() - 2;
    if (natural > available && available > 0 && bold.pixelSize() > 0) {
      bold.setPixelSize(std::max(kSmallestCellFont, bold.pixelSize() * available / natural));
    }
    painter->setFont(bold);
    painter->setClipRect(cell);
    painter->drawText(cell, Qt::AlignCenter, text);
  } else {
    const CListCtrlCl::DrawnText& drawn = m_list.DrawnTextFor(text, cell.width());
    const int top = cell.top() + (cell.height() - drawn.fontHeight) / 2;
    const int left = cell.left() + (cell.width() - drawn.width) / 2;
    if (left < cell.left() || top < cell.top()) painter->setClipRect(cell);
    painter->setFont(drawn.font);
    painter->drawStaticText(left, top, drawn.text);
  }
  painter->restore();
}

CListCtrlCl::CListCtrlCl(QWidget* parent)
    : QTableView(parent),
      m_header(new CHeaderCtrlCl(this)),
      m_cellFont(ui::SongFont(m_fontHeight)),
      m_boldCellFont(m_cellFont),
      m_cellMetrics(m_cellFont),
      m_rowsUpdate(this, ui::kScreenUpdateInterval, [this] { ShowChangedRows(); }) {
  m_boldCellFont.setBold(true);
  setHorizontalHeader(m_header);
  // Rows arriving move the handle by a pixel or not at all: only that is
  // repainted. The view's own links to its scroll bar go with the old one.
  auto* bar = new ui::PartialRepaintScrollBar(Qt::Vertical, this);
  setVerticalScrollBar(bar);
  connect(bar, &QScrollBar::actionTriggered, this, &CListCtrlCl::verticalScrollbarAction);
  connect(bar, &QScrollBar::valueChanged, this, &CListCtrlCl::verticalScrollbarValueChanged);
  setItemDelegate(new CellDelegate(*this));
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setSelectionMode(QAbstractItemView::ExtendedSelection);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  SetOwnGrid(true);
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
  // Per pixel vertically too: the view's offset is then the scrollbar's value
  // and nothing else, so a scroll to the newest row moves the drawn rows by
  // exactly the distance the rows moved. (Per row, the offset of a view
  // standing at the bottom is worked out anew when rows arrive, before the
  // scroll, and the pixels moved no longer matched the rows.) The wheel and
  // the arrows still step a row at a time.
  setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
  m_guiTextHeight = QFontMetrics(ui::DefaultGuiFont()).height();
  // Rows arriving grow the range and leave the value alone, so only a move
  // of the view itself (the user's, or our own scroll to the bottom) says
  // whether the newest row is being watched.
  connect(verticalScrollBar(), &QScrollBar::valueChanged, this,
          [this](int value) { m_followNewest = value >= verticalScrollBar()->maximum(); });
}

CListCtrlCl::~CListCtrlCl() {
  if (m_model) m_model->HoldAppendedRows({});
}

void CListCtrlCl::SetResultsModel(ResultsModel* model) {
  if (m_model) m_model->HoldAppendedRows({});
  m_model = model;
  setModel(model);
  // A result's row is announced to the view, and laid out, at the screen
  // update that shows it: one insert for the rows of a quarter of a second.
  if (model) model->HoldAppendedRows([this] { m_rowsUpdate.Request(); });
  connect(selectionModel(), &QItemSelectionModel::selectionChanged, this,
          [this](const QItemSelection& selected, const QItemSelection&) {
            OnSelectionChanged(selected);
          });
  connect(model, &QAbstractItemModel::modelReset, this, [this] {
    m_selectionMark = -1;
    m_appendedFrom = kFullLayout;
    m_changedFirst = 0;
    m_changedLast = -1;
  });
  // Rows inserted anywhere but the end move the rows below them.
  connect(model, &QAbstractItemModel::rowsAboutToBeInserted, this,
          [this](const QModelIndex&, int first, int) {
            if (first < m_model->rowCount()) {
              m_appendedFrom = kFullLayout;
            } else if (m_appendedFrom == -1) {
              m_appendedFrom = first;
            }
          });
  connect(model, &QAbstractItemModel::rowsAboutToBeRemoved, this,
          [this] { m_appendedFrom = kFullLayout; });
  connect(model, &QAbstractItemModel::layoutAboutToBeChanged, this,
          [this] { m_appendedFrom = kFullLayout; });
  // The mark names a row, not an index: rows put in above it (an import, a
  // wavelength row) must not make "blank the selected row" hit another one.
  connect(model, &QAbstractItemModel::rowsInserted, this,
          [this](const QModelIndex&, int first, int last) {
            if (m_selectionMark >= first) m_selectionMark += last - first + 1;
          });
  connect(model, &ResultsModel::lookChanged, this, [this] { ApplyLook(m_model->Table().Look()); });
  ApplyLook(model->Table().Look());
}

void CListCtrlCl::InsertColumn(int index, const QString& title, Format format, int width) {
  m_header->AppendAlignCode(format == Format::Left ? '0' : format == Format::Right ? '2' : '1');
  if (m_model) m_model->SetColumnTitle(index, title);
  setColumnWidth(index, width);
}

void CListCtrlCl::InsertResultColumns(const std::array<std::string, kColumnCount - 1>& titles) {
  InsertColumn(0, QStringLiteral("NO."), Format::Center, kInitialColumnWidths[0]);
  for (size_t column = 1; column < kInitialColumnWidths.size(); ++column) {
    InsertColumn(static_cast<int>(column), QString::fromStdString(titles[column - 1]),
                 Format::Center, kInitialColumnWidths[column]);
  }
  if (m_model && m_model->HasVerdictColumn()) {
    m_header->AppendAlignCode('1');
    setColumnWidth(ResultsModel::kVerdictColumn, kInitialColumnWidths.back());
  }
}

void CListCtrlCl::SetBenchLook(bool on) {
  m_benchLook = on;
  m_drawnTexts.clear();
  viewport()->update();
}

void CListCtrlCl::SetRowHeight(int height) {
  m_rowHeight = height;
  if (height > 0) {
    verticalHeader()->setDefaultSectionSize(height);
    verticalScrollBar()->setSingleStep(height);
  }
}

void CListCtrlCl::SetBackColor(Rgb color) {
  m_backColor = color;
  QPalette palette = this->palette();
  palette.setColor(QPalette::Base, ToQColor(color));
  setPalette(palette);
  const QWidget& area = *viewport();
  m_fillsBackground = area.autoFillBackground() && area.backgroundRole() == QPalette::Base &&
                      area.palette().color(QPalette::Base) == ToQColor(color);
  viewport()->update();
}

void CListCtrlCl::SetFontSize(int height, int width) {
  if (height == m_fontHeight && width == m_fontWidth) return;
  m_fontHeight = height;
  m_fontWidth = width;
  m_cellFont = ui::SongFont(height, width);
  m_boldCellFont = m_cellFont;
  m_boldCellFont.setBold(true);
  m_cellMetrics = QFontMetrics(m_cellFont);
  m_shrunkFonts.clear();
  m_drawnTexts.clear();
  m_naturalWidths.clear();
  viewport()->update();
}

const CListCtrlCl::DrawnText& CListCtrlCl::DrawnTextFor(const QString& text, int cellWidth) const {
  constexpr qsizetype kKeptTexts = 4096;
  if (m_drawnTexts.size() > kKeptTexts) m_drawnTexts.clear();
  if (m_naturalWidths.size() > kKeptTexts) m_naturalWidths.clear();
  auto natural = m_naturalWidths.find(text);
  if (natural == m_naturalWidths.end()) {
    natural = m_naturalWidths.insert(text, m_cellMetrics.horizontalAdvance(text));
  }
  const int available = cellWidth - 2;
  const bool fits = *natural <= available || *natural <= 0 || available <= 0;
  // A time that does not fit its column would be cut to its middle; it is
  // drawn smaller instead, just as much as it needs. One font per size.
  const int size = fits
                       ? m_cellFont.pixelSize()
                       : std::max(kSmallestCellFont, m_cellFont.pixelSize() * available / *natural);
  auto found = m_drawnTexts.find(text);
  if (found != m_drawnTexts.end() && found->shrunk == !fits && found->fontSize == size) {
    return *found;
  }
  const QFont& font = fits ? m_cellFont : ShrunkFont(size);
  DrawnText drawn;
  drawn.text.setTextFormat(Qt::PlainText);
  drawn.text.setText(text);
  drawn.text.prepare(QTransform(), font);
  drawn.font = font;
  drawn.fontSize = size;
  const QFontMetrics metrics(font);
  drawn.width = fits ? *natural : metrics.horizontalAdvance(text);
  drawn.fontHeight = metrics.height();
  drawn.shrunk = !fits;
  return *m_drawnTexts.insert(text, std::move(drawn));
}

const QFont& CListCtrlCl::ShrunkFont(int size) const {
  auto found = m_shrunkFonts.find(size);
  if (found == m_shrunkFonts.end()) {
    found = m_shrunkFonts.emplace(size, ui::SongFont(size, m_fontWidth)).first;
  }
  return found->second;
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
  // The verdict takes half of the last column's double share, so the
  // table's width stays the window's.
  if (m_model && m_model->HasVerdictColumn()) {
    const int last = metrics.columnWidths[kColumnCount - 1];
    setColumnWidth(kColumnCount - 1, last - last / 2);
    setColumnWidth(ResultsModel::kVerdictColumn, last / 2);
  }
  SetRowHeight(metrics.rowHeight);
  SetFontSize(metrics.fontHeight, metrics.fontWidth);
}

void CListCtrlCl::OnSelectionChanged(const QItemSelection& selected) {
  if (selected.isEmpty()) return;
  m_selectionMark = selected.last().bottom();
}

void CListCtrlCl::doItemsLayout() {
  const int appendedFrom = m_appendedFrom;
  m_appendedFrom = -1;
  if (appendedFrom < 0 || !m_model) {
    m_appendedToShow = -1;
    QTableView::doItemsLayout();
    return;
  }
  if (m_appendedToShow < 0 || appendedFrom < m_appendedToShow) m_appendedToShow = appendedFrom;
  if (!m_showingRows) m_rowsUpdate.Request();
}

void CListCtrlCl::ShowChangedRows() {
  if (m_model) {
    // The waiting rows are laid out here and now, not at the view's next
    // pass of the event loop.
    m_showingRows = true;
    m_model->AnnounceWaitingRows();
    executeDelayedItemsLayout();
    m_showingRows = false;
  }
  const int appended = m_appendedToShow;
  m_appendedToShow = -1;
  if (appended >= 0) updateGeometries();
  if (m_scrollPending) {
    m_scrollPending = false;
    if (m_followNewest) scrollToBottom();
  }
  const int height = viewport()->height();
  const auto repaint = [&](int top, int bottom) {
    top = std::max(0, top);
    bottom = std::min(height, bottom);
    if (bottom > top) viewport()->update(QRect(0, top, viewport()->width(), bottom - top));
  };
  if (m_changedFirst <= m_changedLast) {
    repaint(rowViewportPosition(m_changedFirst),
            rowViewportPosition(m_changedLast) + rowHeight(m_changedLast));
    m_changedFirst = 0;
    m_changedLast = -1;
  }
  if (appended >= 0) repaint(rowViewportPosition(appended), height);
}

void CListCtrlCl::dataChanged(const QModelIndex& topLeft, const QModelIndex& bottomRight,
                              const QList<int>& roles) {
  // A screen reader is told of changes by the base; it gets them all.
  if (!topLeft.isValid() || topLeft.row() != bottomRight.row() || QAccessible::isActive()) {
    QTableView::dataChanged(topLeft, bottomRight, roles);
    return;
  }
  const int row = topLeft.row();
  if (m_changedFirst > m_changedLast) {
    m_changedFirst = m_changedLast = row;
  } else {
    m_changedFirst = std::min(m_changedFirst, row);
    m_changedLast = std::max(m_changedLast, row);
  }
  m_rowsUpdate.Request();
}

void CListCtrlCl::SetOwnGrid(bool own) {
  m_ownGrid = own;
  setShowGrid(!own);
  viewport()->update();
}

void CListCtrlCl::paintEvent(QPaintEvent* event) {
  QTableView::paintEvent(event);
  if (m_ownGrid) PaintGrid(event->region());
}

void CListCtrlCl::PaintGrid(const QRegion& region) {
  const QHeaderView& rows = *verticalHeader();
  const QHeaderView& columns = *horizontalHeader();
  if (rows.count() == 0 || columns.count() == 0) return;
  QStyleOptionViewItem option;
  initViewItemOption(&option);
  const QColor color = QColor::fromRgba(
      static_cast<QRgb>(style()->styleHint(QStyle::SH_Table_GridLineColor, &option, this)));
  // Lines reach as far as the rows and columns do, not into the empty
  // space beyond them.
  const int lastX = columns.length() - columns.offset() - 1;
  const int lastY = rows.length() - rows.offset() - 1;
  QPainter painter(viewport());
  for (QRect area : region) {
    area.setRight(std::min(area.right(), lastX));
    area.setBottom(std::min(area.bottom(), lastY));
    if (area.isEmpty()) continue;
    int top = rows.visualIndexAt(area.top());
    int bottom = rows.visualIndexAt(area.bottom());
    if (bottom < 0) bottom = rows.count() - 1;
    int left = columns.visualIndexAt(area.left());
    int right = columns.visualIndexAt(area.right());
    if (right < 0) right = columns.count() - 1;
    if (top < 0 || left < 0) continue;
    for (int visual = top; visual <= bottom; ++visual) {
      const int row = rows.logicalIndex(visual);
      if (rows.isSectionHidden(row)) continue;
      const int y = rowViewportPosition(row) + rowHeight(row) - 1;
      painter.fillRect(area.left(), y, area.width(), 1, color);
    }
    for (int visual = left; visual <= right; ++visual) {
      const int column = columns.logicalIndex(visual);
      if (columns.isSectionHidden(column)) continue;
      const int x = columnViewportPosition(column) + columnWidth(column) - 1;
      painter.fillRect(x, area.top(), 1, area.height(), color);
    }
  }
}

void CListCtrlCl::MakeRowVisible(int row) {
  const int rows = m_model ? m_model->Table().RowCount() : 0;
  if (row < 0 || row >= rows) return;
  // scrollToBottom lays the new rows out first; scrollTo right after an
  // insert leaves the last row just out of view.
  if (row == rows - 1) {
    if (!m_followNewest) return;
    m_scrollPending = true;
    m_rowsUpdate.Request();
  } else {
    if (row >= m_model->rowCount()) ShowChangedRows();
    scrollTo(m_model->index(row, 0), QAbstractItemView::EnsureVisible);
  }
}

}  // namespace orvana::results
