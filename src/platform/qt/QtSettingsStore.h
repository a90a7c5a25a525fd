#pragma once

#include "platform/KeyValueStore.h"

#include <QSettings>

// The user's defaults in QSettings (organisation and application "Quovant"). The
// remembered password is kept as plain text, so the file is made readable by its
// owner only whenever it is written.
class QtSettingsStore : public KeyValueStore {
public:
    QtSettingsStore();
    std::optional<std::string> string(const std::string& key) override;
    void set(const std::string& key, const std::string& value) override;
    void remove(const std::string& key) override;

    QString fileName() const { return settings_.fileName(); }

private:
    void persist();
    QSettings settings_;
};
