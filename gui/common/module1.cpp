#include "gui/common/module1.h"

#include <utility>

namespace orvane {

Module1::Module1(std::filesystem::path dataFile, WindowServices services)
    : dataFilePath_(std::move(dataFile)), services_(std::move(services)) {}

void Module1::loadStandardData() {
    standardData_ = LoadStandardData(dataFilePath_);
}

void Module1::setDoseResults(DoseResults results, CalculationInput input) {
    doseResults_ = std::move(results);
    lastInput_ = std::move(input);
    calculatedAt_ = QDateTime::currentDateTime();
    emit doseResultsChanged();
}

void Module1::announceSaved(const QString& path) {
    emit resultsSaved(path, QDateTime::currentDateTime());
}

}  // namespace orvane
