// The About box: the same product name, version line and copyright line from the button and
// from Help, About.
#include <QAction>
#include <QLabel>
#include <QPushButton>
#include <QTest>

#include "loamer/shell/about_dialog.h"
#include "loamer/shell/main_dialog.h"
#include "loamer/version.h"
#include "tests/shell/shell_test.h"

using namespace loamer;

class AboutTest : public QObject {
    Q_OBJECT

private slots:
    void buttonAndHelpMenuShowTheProgramsVersion() {
        CLOAMERDlg dialog;
        QStringList seen;
        ModalAnswerer answerer([&](QWidget* window) {
            auto* about = qobject_cast<CAboutDlg*>(window);
            QVERIFY(about);
            QStringList texts{about->windowTitle()};
            for (const char* name : {"productName", "purpose", "version", "copyright"})
                texts << about->findChild<QLabel*>(QString::fromLatin1(name))->text();
            seen << texts.join(QLatin1Char('|'));
            about->findChild<QPushButton*>(QStringLiteral("ok"))->click();
        });
        dialog.findChild<QPushButton*>(QStringLiteral("about"))->click();
        dialog.findChild<QAction*>(QStringLiteral("helpAbout"))->trigger();

        const QString expected = QStringLiteral("About LOAMER|" LOAMER_PRODUCT_NAME
                                                "|Data Collection Software for the TQ4 Moisture Meter."
                                                "|Version: " LOAMER_FILE_VERSION "|" LOAMER_COPYRIGHT);
        QCOMPARE(seen, QStringList({expected, expected}));
        QVERIFY(answerer.unexpected.isEmpty());
    }
};

SHELL_TEST(AboutTest);
#include "about_test.moc"
