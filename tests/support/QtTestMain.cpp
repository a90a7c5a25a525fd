// main for tests that need a Qt application: offscreen unless a display is named,
// settings in a private directory, and (QUOVANT_TEST_NETWORK_NAMESPACE) the private
// network namespace of the integration tests.
#include "TempDir.h"
#include "TestNetwork.h"

#include <QApplication>
#include <QLocale>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
#ifdef QUOVANT_TEST_NETWORK_NAMESPACE
    isolateNetwork();
#endif
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    TempDir config("quovant-config");
    qputenv("XDG_CONFIG_HOME", config.path().c_str());
    QApplication app(argc, argv);
    // The product's own texts and figures whatever this machine's locale; a test of
    // another language sets its own.
    QLocale::setDefault(QLocale::c());
    return RUN_ALL_TESTS();
}
