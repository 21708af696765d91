#include "platform/qt/MimeTypeDescriber.h"

#include <QMimeDatabase>
#include <QMimeType>

std::optional<FileTypeDescription> MimeTypeDescriber::describeFile(const std::string& path) const
{
    const QMimeType type = QMimeDatabase().mimeTypeForFile(QString::fromStdString(path));
    if (!type.isValid() || type.isDefault() || type.comment().isEmpty())
        return std::nullopt;
    return FileTypeDescription{type.comment().toStdString(), type.name().toStdString()};
}

std::optional<std::string> MimeTypeDescriber::describeExtension(const std::string& extension) const
{
    if (extension.empty())
        return std::nullopt;
    const auto types = QMimeDatabase().mimeTypesForFileName(QStringLiteral("file.") + QString::fromStdString(extension));
    for (const QMimeType& type : types)
        if (type.isValid() && !type.isDefault() && !type.comment().isEmpty())
            return type.comment().toStdString();
    return std::nullopt;
}
