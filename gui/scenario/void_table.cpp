#include "gui/scenario/void_table.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QHeaderView>
#include <QSortFilterProxyModel>
#include <set>

#include "engine/scenario_events.h"

namespace orvane {
namespace {

enum Column { Time, Clock, Volume, Activity, Voided, Excreted, ColumnCount };

}  // namespace

void VoidTableModel::setVoids(std::vector<ScenarioVoid> voids, double activityFactor,
                              QString activityUnit) {
    beginResetModel();
    voids_ = std::move(voids);
    factor_ = activityFactor;
    unit_ = std::move(activityUnit);
    endResetModel();
}

int VoidTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(voids_.size());
}

int VoidTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant VoidTableModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount()) return {};
    const ScenarioVoid& v = voids_[static_cast<std::size_t>(index.row())];
    const double numbers[] = {
        v.time, v.clock, v.volume, v.activity * factor_, v.voided * factor_, v.excreted * factor_};
    const double number = numbers[index.column()];
    if (role == Qt::UserRole) return number;
    if (role == Qt::TextAlignmentRole) return int(Qt::AlignRight | Qt::AlignVCenter);
    if (role != Qt::DisplayRole) return {};
    switch (index.column()) {
        case Time:
            return QString::number(number, 'f', 1);
        case Clock:
            return QString::fromStdString(clockText(number));
        case Volume:
            return QString::number(number, 'f', 1);
        default:
            return QString::number(number, 'g', 4);
    }
}

QVariant VoidTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole) return {};
    if (orientation == Qt::Vertical) return section + 1;
    switch (section) {
        case Time:
            return QStringLiteral("Time (min)");
        case Clock:
            return QStringLiteral("Clock");
        case Volume:
            return QStringLiteral("Volume (ml)");
        case Activity:
            return QStringLiteral("Activity (%1)").arg(unit_);
        case Voided:
            return QStringLiteral("Voided (%1)").arg(unit_);
        default:
            return QStringLiteral("Excreted so far (%1)").arg(unit_);
    }
}

VoidTableView::VoidTableView(VoidTableModel* model, QWidget* parent) : QTableView(parent) {
    setObjectName(QStringLiteral("voidTable"));
    auto* sorted = new QSortFilterProxyModel(this);
    sorted->setSourceModel(model);
    sorted->setSortRole(Qt::UserRole);
    setModel(sorted);
    setSortingEnabled(true);
    sortByColumn(Time, Qt::AscendingOrder);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    auto* copyAction = new QAction(QStringLiteral("Copy"), this);
    copyAction->setObjectName(QStringLiteral("copyVoidsAction"));
    copyAction->setShortcut(QKeySequence::Copy);
    copyAction->setShortcutContext(Qt::WidgetShortcut);
    connect(copyAction, &QAction::triggered, this, &VoidTableView::copy);
    addAction(copyAction);
    setContextMenuPolicy(Qt::ActionsContextMenu);
}

QString VoidTableView::copiedText() const {
    std::set<int> rows;
    for (const QModelIndex& index : selectionModel()->selectedIndexes()) rows.insert(index.row());
    if (rows.empty()) {
        for (int r = 0; r < model()->rowCount(); ++r) rows.insert(r);
    }
    QStringList lines;
    QStringList header;
    for (int c = 0; c < model()->columnCount(); ++c) {
        header << model()->headerData(c, Qt::Horizontal).toString();
    }
    lines << header.join(QLatin1Char('\t'));
    for (int r : rows) {
        QStringList cells;
        for (int c = 0; c < model()->columnCount(); ++c) {
            cells << model()->index(r, c).data().toString();
        }
        lines << cells.join(QLatin1Char('\t'));
    }
    return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

void VoidTableView::copy() const {
    QApplication::clipboard()->setText(copiedText());
}

}  // namespace orvane
