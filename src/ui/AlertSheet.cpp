#include "ui/AlertSheet.h"

#include "platform/Log.h"

#include <QPushButton>
#include <QWidget>

AlertSheet& AlertSheet::of(QWidget* window) {
    auto* sheet = window->findChild<AlertSheet*>(QString(), Qt::FindDirectChildrenOnly);
    return sheet ? *sheet : *new AlertSheet(window);
}

AlertSheet::AlertSheet(QWidget* window) : QObject(window), window_(window) {}

void AlertSheet::discardOpen() {
    if (!open_)
        return;
    // Replaced or withdrawn, not answered: its choices must not run.
    QObject::disconnect(open_, nullptr, this, nullptr);
    open_->setAttribute(Qt::WA_DeleteOnClose, false);
    open_->close();
    delete open_;
    asking_ = false;
}

void AlertSheet::withdraw(QMessageBox* question) {
    // Once answered, the alert is on its way out from its own finished signal.
    if (question && open_ == question && asking_) {
        discardOpen();
        showKept();
    }
}

void AlertSheet::showWhenFree(const QString& message) {
    if (open_ && asking_)
        kept_.push_back(message);
    else
        show(message);
}

void AlertSheet::showKept() {
    // One at a time: each later one replaces the text of the one before, as show() does.
    while (!asking_ && !kept_.empty()) {
        const QString message = kept_.front();
        kept_.erase(kept_.begin());
        show(message);
    }
}

QMessageBox* AlertSheet::make(const QString& message) {
    discardOpen();
    auto* alert =
        new QMessageBox(QMessageBox::Critical, QString(), message, QMessageBox::NoButton, window_);
    alert->setAttribute(Qt::WA_DeleteOnClose);
    // Not modal: the window's own button keeps working while an alert is open.
    alert->setWindowModality(Qt::NonModal);
    open_ = alert;
    return alert;
}

void AlertSheet::show(const QString& message) {
    if (open_ && asking_) {
        Log::line("not shown while another alert waits for an answer: " + message.toStdString());
        return;
    }
    if (open_) {
        open_->setText(message);
        return;
    }
    QMessageBox* alert = make(message);
    alert->setStandardButtons(QMessageBox::Ok);
    alert->show(); // not open(), which would make it modal to the window
}

QMessageBox* AlertSheet::ask(const QString& message, std::vector<Choice> choices) {
    QMessageBox* alert = make(message);
    asking_ = true;
    std::vector<std::pair<QAbstractButton*, std::function<void()>>> buttons;
    for (size_t i = 0; i < choices.size(); ++i) {
        const bool last = i + 1 == choices.size();
        QPushButton* button = alert->addButton(
            choices[i].title, last && i > 0 ? QMessageBox::RejectRole : QMessageBox::AcceptRole);
        if (i == 0)
            alert->setDefaultButton(button);
        if (last)
            alert->setEscapeButton(button);
        buttons.emplace_back(button, std::move(choices[i].action));
    }
    connect(alert, &QMessageBox::finished, this, [this, alert, buttons = std::move(buttons)] {
        asking_ = false;
        // Hidden already, and deleted once it has closed: what comes next gets its own alert.
        if (open_ == alert)
            open_ = nullptr;
        QAbstractButton* clicked = alert->clickedButton();
        for (const auto& [button, action] : buttons)
            if (button == clicked || (!clicked && button == buttons.back().first)) {
                if (action)
                    action();
                break;
            }
        showKept();
    });
    alert->show(); // not open(), which would make it modal to the window
    return alert;
}
