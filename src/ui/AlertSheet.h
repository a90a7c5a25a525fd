#pragma once

#include <QMessageBox>
#include <QObject>
#include <QPointer>
#include <QString>
#include <functional>
#include <vector>

// The one alert a window shows at a time: critical, on the window but not modal to it
// (whatever the window offers still works), opened without waiting for it. A new message replaces
// the text of an open message instead of stacking a second alert on it; an alert that asks the user
// to choose stays until answered, and messages that come meanwhile are logged only (or wait for
// it, showWhenFree()).
class AlertSheet : public QObject {
    Q_OBJECT

public:
    struct Choice {
        QString title;
        std::function<void()> action;
    };

    // The sheet of `window`, made on first use and owned by the window.
    static AlertSheet& of(QWidget* window);

    // A message with the single default button.
    void show(const QString& message);
    // As show(), but a message the user must see once: while a question waits it is kept,
    // and shown once the question is answered or withdrawn.
    void showWhenFree(const QString& message);
    // A message with one button per choice: the first is the default, the last is
    // also what Escape or closing the alert chooses. Replaces an open plain message.
    // Returns the alert, for withdraw().
    QMessageBox* ask(const QString& message, std::vector<Choice> choices);
    // Closes `question`, an alert ask() opened, if it still waits for its answer: none
    // of its choices runs. The question no longer stands once what it asked about has
    // been settled another way.
    void withdraw(QMessageBox* question);

    QMessageBox* current() const { return open_; }

private:
    explicit AlertSheet(QWidget* window);
    void discardOpen();
    // Shows what showWhenFree() kept, unless a question waits again.
    void showKept();
    QMessageBox* make(const QString& message);

    QWidget* window_;
    QPointer<QMessageBox> open_;
    bool asking_ = false;
    std::vector<QString> kept_;
};
