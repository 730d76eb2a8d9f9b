#include "gui/results/dose_chart_window.h"

#include <QChart>
#include <QChartView>
#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>
#include <QXYSeries>
#include <utility>

#include "engine/numtext.h"
#include "gui/common/window_support.h"
#include "gui/results/dose_chart.h"

namespace orvane {
namespace {

// A line in each V0's colour and its V0, in one row.
QString v0Legend(const DoseResults& results) {
    QStringList entries;
    for (int v = 0; v < kV0Count; ++v) {
        entries << QStringLiteral(
                       "<span style=\"color:%1\"><b>&#x2501;&#x2501;</b></span>"
                       "&nbsp;V0&nbsp;=&nbsp;%2&nbsp;ml")
                       .arg(v0Colour(v).name(),
                            QString::fromStdString(formatWhole(results.grids.v0Grid[v])));
    }
    return entries.join(QStringLiteral(" &nbsp; &nbsp; "));
}

}  // namespace

DoseChartWindow::DoseChartWindow(DoseResults results, int schedule, QWidget* parent)
    : QWidget(parent, Qt::Window), results_(std::move(results)) {
    setObjectName(QStringLiteral("doseChartWindow"));
    setAttribute(Qt::WA_DeleteOnClose);
    const QString name = QString::fromStdString(results_.parameters.name);
    setWindowTitle(QStringLiteral("Orvane: chart of the dose table") +
                   (name.isEmpty() ? QString() : QStringLiteral(", ") + name));

    schedules_ = named(new QComboBox(this), QStringLiteral("chartSchedules"));
    for (const char* caption : kScheduleCaptions) schedules_->addItem(QString::fromLatin1(caption));
    schedules_->addItem(QStringLiteral("All three schedules overlaid"));
    schedules_->addItem(QStringLiteral("All three schedules side by side"));
    schedules_->setCurrentIndex(schedule >= 0 && schedule < kScheduleCount ? schedule : 0);
    logarithmic_ = named(new QCheckBox(QStringLiteral("Logarithmic dose axis"), this),
                         QStringLiteral("logarithmicDose"));
    const bool possible = logarithmicPossible(results_, {0, 1, 2});
    logarithmic_->setEnabled(possible);
    if (!possible) {
        logarithmic_->setToolTip(
            QStringLiteral("A logarithmic axis needs every dose above zero; this table has one "
                           "at or below zero."));
    }
    legend_ = named(new QLabel(this), QStringLiteral("chartLegend"));
    legend_->setText(v0Legend(results_));
    legend_->setAlignment(Qt::AlignCenter);
    readout_ = named(new QLabel(this), QStringLiteral("chartReadout"));
    readout_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    readout_->setText(QStringLiteral("Point at a marker to read its V0, T0 and dose."));

    auto* choices = new QHBoxLayout;
    choices->addWidget(schedules_);
    choices->addWidget(logarithmic_);
    choices->addStretch();
    charts_ = new QHBoxLayout;
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(choices);
    layout->addLayout(charts_, 1);
    layout->addWidget(legend_);
    layout->addWidget(readout_);
    resize(980, 600);

    connect(schedules_, &QComboBox::currentIndexChanged, this, &DoseChartWindow::rebuild);
    connect(logarithmic_, &QCheckBox::toggled, this, &DoseChartWindow::rebuild);
    rebuild();
}

void DoseChartWindow::rebuild() {
    while (QLayoutItem* item = charts_->takeAt(0)) {
        delete item->widget();
        delete item;
    }
    const int choice = schedules_->currentIndex();
    const DoseScale scale =
        logarithmic_->isChecked() ? DoseScale::Logarithmic : DoseScale::FromZero;
    std::vector<DoseChartPlan> specs;
    if (choice == kOverlaid) {
        specs.push_back({{0, 1, 2}, {0, 1, 2}, scale});
    } else if (choice == kSideBySide) {
        for (int s = 0; s < kScheduleCount; ++s) specs.push_back({{s}, {0, 1, 2}, scale, true});
    } else {
        specs.push_back({{choice}, {choice}, scale});
    }
    for (std::size_t i = 0; i < specs.size(); ++i) {
        QChart* chart = makeDoseChart(results_, specs[i]);
        // The title in as many lines as the chart's width needs.
        connect(chart, &QGraphicsWidget::geometryChanged, chart, [chart] { wrapTitle(*chart); });
        for (QAbstractSeries* series : chart->series()) {
            auto* xy = static_cast<QXYSeries*>(series);
            connect(xy, &QXYSeries::hovered, this, [this, xy](const QPointF& place, bool inside) {
                if (inside) readout_->setText(doseReadout(results_, *xy, place));
            });
        }
        auto* view = named(new QChartView(chart), QStringLiteral("doseChartView%1").arg(i + 1));
        view->setRenderHint(QPainter::Antialiasing);
        charts_->addWidget(view, 1);
    }
    // Side by side, one legend below the three charts names the colours.
    legend_->setVisible(choice == kSideBySide);
}

}  // namespace orvane
