// Starts the application exactly as main does, prints the window's title and
// size once it is shown, then closes the window the way a user would, so the
// process's exit status is the application's own.
//
//   app_probe [--screenshot FILE.png]
// With --screenshot it first lets the preview run for two seconds and saves
// the window as it is on screen (used by scripts/screenshot.sh under Xvfb).
#include "application.h"
#include "mainwidget.h"

#include <QGuiApplication>
#include <QScreen>
#include <QTimer>

#include <cstdio>
#include <cstring>

int main(int argc, char* argv[])
{
    QString screenshot;
    if (argc == 3 && strcmp(argv[1], "--screenshot") == 0)
        screenshot = QString::fromLocal8Bit(argv[2]);

    return runApplication(argc, argv, [screenshot](MainWidget& window) {
        QTimer::singleShot(screenshot.isEmpty() ? 500 : 2000, &window, [&window, screenshot] {
            printf("title=%s\nsize=%dx%d\n", window.windowTitle().toUtf8().constData(), window.width(),
                   window.height());
            if (!screenshot.isEmpty()) {
                const QPixmap shot = QGuiApplication::primaryScreen()->grabWindow(window.winId());
                printf("screenshot=%s\n", shot.save(screenshot) ? qPrintable(screenshot) : "failed");
            }
            fflush(stdout);
            window.close();
        });
    });
}
