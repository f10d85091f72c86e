// Starts the application as main does, prints the shown window's title,
// size and whether the image modes can be chosen, then closes it as a user would, so the exit status is the
// application's own. app_probe --screenshot FILE.png first lets the preview run
// two seconds and saves the window (scripts/screenshot.sh).
#include "application.h"
#include "mainwidget.h"

#include <QGuiApplication>
#include <QScreen>
#include <QTimer>

#include <cstdio>
#include <cstring>

int main(int argc, char* argv[])
{
    const QString screenshot = argc == 3 && strcmp(argv[1], "--screenshot") == 0 ? QString::fromLocal8Bit(argv[2]) : QString();

    return runApplication(argc, argv, [screenshot](MainWidget& window) {
        QTimer::singleShot(screenshot.isEmpty() ? 500 : 2000, &window, [&window, screenshot] {
            const QWidget* modes = window.findChild<QWidget*>(QStringLiteral("comboBox_colorMode"));
            printf("title=%s\nsize=%dx%d\nimageModes=%s\n", window.windowTitle().toUtf8().constData(), window.width(),
                   window.height(), !modes ? "none" : modes->isEnabled() ? "enabled" : "disabled");
            if (!screenshot.isEmpty()) {
                const QPixmap shot = QGuiApplication::primaryScreen()->grabWindow(window.winId());
                printf("screenshot=%s\n", shot.save(screenshot) ? qPrintable(screenshot) : "failed");
            }
            fflush(stdout);
            window.close();
        });
    });
}
