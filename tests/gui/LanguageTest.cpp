// The window, the tray menu and an alert in each language Quovant carries: every text
// fits its control, and a screenshot of each is left to look at.
#include "AppHarness.h"
#include "QtWait.h"
#include "ui/StatusLine.h"
#include "ui/StyledButton.h"
#include "ui/Translations.h"

#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QMenu>
#include <QTranslator>
#include <gtest/gtest.h>

namespace {

using namespace std::chrono_literals;

// Whether `text` fits on one line in `width` in the font of `widget`.
bool fits(const QWidget* widget, const QString& text, int width) {
    return widget->fontMetrics().horizontalAdvance(text) <= width;
}

TEST(Languages, EachLanguageFitsTheWindowTheTrayMenuAndAnAlert) {
    const struct {
        const char* locale;
        const char* connect; // the button's title
    } cases[] = {{"nl_NL", "Verbinden"},
                 {"en_GB", "Connect"},
                 {"de_DE", "Verbinden"},
                 {"fr_FR", "Se connecter"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.locale);
        QLocale::setDefault(QLocale(c.locale));
        Translations::install(*qApp);
        {
            App app;
            auto* button = app.outlet<StyledButton>("connectButton");
            EXPECT_EQ(button->text(), c.connect);
            ConnectionStats::Snapshot stats;
            stats.connected = true;
            stats.server = "203.0.113.200";
            stats.bytesIn = stats.bytesOut = 999ull << 30;
            auto* status = app.outlet<QLabel>("statusLine");
            status->setText(QString::fromStdString(
                StatusLine::text(StatusLine::Look::connected, stats, stats.since + 1510min)));
            spin(20ms);
            // Titles on a picture keep 8 pixels clear at either end, links their focus ring's
            // clearance.
            for (auto* styled : app.form()->findChildren<StyledButton*>())
                EXPECT_TRUE(fits(styled, styled->text(),
                                 styled->width() - 2 * (styled->imageName().isEmpty()
                                                            ? StyledButton::titleClearance
                                                            : 8)))
                    << styled->objectName().toStdString();
            auto* remember = app.outlet<QLabel>("rememberText");
            EXPECT_TRUE(fits(remember, remember->text(), remember->width()));
            EXPECT_LE(status->heightForWidth(status->width()), status->height());
            screenshot(app.delegate->window(), std::string("language-window-") + c.locale);

            QMenu* menu = app.delegate->statusMemu();
            menu->popup(QPoint(0, 0));
            spin(50ms);
            for (QAction* action : menu->actions())
                EXPECT_FALSE(action->text().isEmpty() && !action->isSeparator());
            EXPECT_LE(menu->width(), 400);
            screenshot(menu, std::string("language-menu-") + c.locale);
            menu->hide();

            app.delegate->connectItem()->trigger();
            spin(50ms);
            ASSERT_TRUE(app.alert());
            screenshot(app.alert(), std::string("language-alert-") + c.locale);
        }
        for (auto* translator : qApp->findChildren<QTranslator*>())
            delete translator;
    }
    QLocale::setDefault(QLocale::c());
}

} // namespace
