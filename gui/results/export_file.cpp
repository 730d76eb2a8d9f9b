#include "gui/results/export_file.h"

#include <QBuffer>
#include <QFile>
#include <filesystem>
#include <string_view>

#include "engine/atomic_file.h"

namespace orvane {

QString writeExportFile(const QString& path, const char* what,
                        const std::function<bool(QIODevice& device)>& write) {
    QBuffer bytes;
    bytes.open(QIODevice::WriteOnly);
    if (!write(bytes)) {
        return QStringLiteral("Cannot write %1 \"%2\": it could not be drawn.")
            .arg(QString::fromLatin1(what), path);
    }
    const QByteArray name = QFile::encodeName(path);
    const WriteOutcome outcome = writeFileAtomically(
        std::filesystem::path(name.toStdString()),
        std::string_view(bytes.data().constData(), static_cast<std::size_t>(bytes.data().size())),
        what);
    return outcome.ok ? QString() : QString::fromLocal8Bit(outcome.message.c_str());
}

}  // namespace orvane
