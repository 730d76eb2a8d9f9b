// The void table of the scenario window: time, clock, volume, activity, voided and cumulative
// excreted activity per void, sortable by number, and copied as tab-separated text.
#pragma once

#include <QAbstractTableModel>
#include <QTableView>
#include <vector>

#include "engine/scenario.h"

namespace orvane {

class VoidTableModel : public QAbstractTableModel {
    Q_OBJECT
public:
    using QAbstractTableModel::QAbstractTableModel;

    void setVoids(std::vector<ScenarioVoid> voids, double activityFactor, QString activityUnit);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    // DisplayRole: the text shown; Qt::UserRole: the number it stands for (the clock's minutes).
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    std::vector<ScenarioVoid> voids_;
    double factor_ = 100;
    QString unit_;
};

// A sortable view of a VoidTableModel; Ctrl+C copies the selected rows (all when none is
// selected) with the header, tab-separated.
class VoidTableView : public QTableView {
    Q_OBJECT
public:
    explicit VoidTableView(VoidTableModel* model, QWidget* parent = nullptr);
    QString copiedText() const;
    void copy() const;
};

}  // namespace orvane
