#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <map>
#include <memory>

// Makes the application's controllers by identifier, as the launch sequence asks
// for them. An unknown identifier yields nothing.
class Storyboard {
public:
    using Factory = std::function<QObject*()>;

    void add(const QString& identifier, Factory factory) {
        factories_[identifier] = std::move(factory);
    }
    // A new controller (the caller owns it), or nullptr.
    QObject* instantiateController(const QString& identifier) const {
        const auto it = factories_.find(identifier);
        return it == factories_.end() ? nullptr : it->second();
    }
    // The controller for `identifier` if it is a `Controller`; one of another class is discarded.
    template <typename Controller>
    std::unique_ptr<Controller> instantiate(const QString& identifier) const {
        QObject* made = instantiateController(identifier);
        if (auto* controller = qobject_cast<Controller*>(made))
            return std::unique_ptr<Controller>(controller);
        delete made;
        return nullptr;
    }

private:
    std::map<QString, Factory> factories_;
};
