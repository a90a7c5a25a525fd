#include "platform/qt/QtSettingsStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

QtSettingsStore::QtSettingsStore()
    : settings_(QSettings::NativeFormat, QSettings::UserScope, "Quovant", "Quovant") {}

std::optional<std::string> QtSettingsStore::string(const std::string& key) {
    const QVariant value = settings_.value(QString::fromStdString(key));
    if (!value.isValid() || value.typeId() != QMetaType::QString)
        return std::nullopt;
    return value.toString().toStdString();
}

void QtSettingsStore::set(const std::string& key, const std::string& value) {
    settings_.setValue(QString::fromStdString(key), QString::fromStdString(value));
    persist();
}

void QtSettingsStore::remove(const std::string& key) {
    settings_.remove(QString::fromStdString(key));
    persist();
}

void QtSettingsStore::persist() {
    // Create the file owner-only before QSettings first writes it, and tighten an
    // older one; QSettings itself writes through a temporary file it then renames,
    // so the mode is checked again afterwards.
    QFileInfo(settings_.fileName()).dir().mkpath(".");
    const QByteArray path = QFile::encodeName(settings_.fileName());
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd >= 0)
        ::close(fd);
    settings_.sync();
    ::chmod(path.constData(), 0600);
}
