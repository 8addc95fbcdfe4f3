// SPDX-License-Identifier: GPL-3.0-or-later
// Finding stations in the real window, for bench/find-bench, against the
// stand-in directory named by KELVARO_DIRECTORY_URL: a 900-station list of
// the user's own with Chinese names, the find window open.
//
//  - the own-station index over the 900 names: the time to make it (the
//    window makes it off the UI thread) and the time of one query over it;
//  - typing: each query typed a key every --key-ms ms, then the results
//    scrolled to their end --pages times (each end asks for the next page).
//    A 1 ms precise timer runs throughout; its lateness is the UI thread's
//    stall. The same timer over the same time with the window idle is the
//    reference;
//  - results on screen: from the directory client handing over a page of
//    stations to the list filled and painted.
//
//   find_bench [--key-ms N] [--pages N]
//
// Prints "index <ms>", "query <median µs> <max µs>", "idle <max ms> <p99 ms>",
// "typing <max ms> <p99 ms>", "shown <median ms> <max ms> <pages>".

#include "directory_client.h"
#include "find_window.h"
#include "form1.h"
#include "stall_sampler.h"
#include "station_search.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QKeyEvent>
#include <QLineEdit>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeWidget>

#include <cstdio>
#include <random>

using namespace kelvaro;
using kelvaro::bench::percentile;
using kelvaro::bench::StallSampler;

namespace {

void wait(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// Waits for `signal` of `sender`, at most `ms`; false when it did not come.
template <typename Sender, typename Signal>
bool waitFor(Sender *sender, Signal signal, int ms)
{
    QEventLoop loop;
    bool came = false;
    const auto connection = QObject::connect(sender, signal, &loop, [&] {
        came = true;
        loop.quit();
    });
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
    QObject::disconnect(connection);
    return came;
}

}  // namespace

int main(int argc, char *argv[])
{
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    QApplication app(argc, argv);
    int keyMs = 120;
    int pages = 3;
    const QStringList args = QCoreApplication::arguments();
    for (qsizetype i = 1; i + 1 < args.size(); ++i) {
        if (args[i] == QLatin1String("--key-ms"))
            keyMs = args[i + 1].toInt();
        else if (args[i] == QLatin1String("--pages"))
            pages = args[i + 1].toInt();
    }

    // 30 categories of 29 stations, named from common characters of station
    // names, so that pinyin queries match some and not others.
    const QString pool = QStringLiteral("中国之声经济音乐文艺交通新闻广播电台城市都市生活故事体育北京上海广州重庆四川湖南江苏浙江");
    std::mt19937 random(7);
    QDir().mkpath(config.filePath(QStringLiteral("kelvaro")));
    QFile list(config.filePath(QStringLiteral("kelvaro/电台.ini")));
    if (!list.open(QIODevice::WriteOnly))
        return 2;
    for (int c = 0; c < 30; ++c) {
        list.write(QStringLiteral("分类%1;;mms://127.0.0.1;;\r\n").arg(c).toUtf8());
        for (int s = 0; s < 29; ++s) {
            QString name;
            for (int n = 0, length = 3 + int(random() % 5); n < length; ++n)
                name += pool[qsizetype(random() % pool.size())];
            list.write(QStringLiteral("%1 %2;;http://127.0.0.1:9/%3/%4;;\r\n").arg(name).arg(s).arg(c).arg(s).toUtf8());
        }
    }
    list.close();

    Form1 form;
    form.show();
    form.enableEditing();

    // The own-station index, made here on this thread to time it.
    PlainTree tree;
    fillCategoryTree(form.stations(), tree);
    QElapsedTimer clock;
    clock.start();
    const StationSearch search = StationSearch::index(tree.nodes());
    std::printf("index %.1f\n", double(clock.nsecsElapsed()) / 1e6);
    const QStringList queries = {QStringLiteral("zgzs"), QStringLiteral("jiaotong"), QStringLiteral("gb"),
                                 QStringLiteral("shanghaiyinyue"), QStringLiteral("chongq"), QStringLiteral("xyz"),
                                 QStringLiteral("广播"), QStringLiteral("bjjtgb")};
    std::vector<double> queryTimes;
    for (int round = 0; round < 50; ++round) {
        for (const QString &query : queries) {
            clock.restart();
            const auto found = search.find(query, 20);
            queryTimes.push_back(double(clock.nsecsElapsed()) / 1e3);
        }
    }
    std::printf("query %.1f %.1f\n", percentile(queryTimes, 0.5), percentile(queryTimes, 1.0));

    // The bench hears of each page before the window does: its handler runs
    // first, the window's right after it, on the same signal.
    DirectoryClient directory;
    QElapsedTimer handedOver;
    QObject::connect(&directory, &DirectoryClient::searchFinished, &app, [&] { handedOver.start(); });
    FindWindow finder(form, &directory);
    finder.open();
    wait(1500);  // the window settled and the index made

    std::vector<double> shown;
    QObject::connect(&finder, &FindWindow::resultsShown, &app, [&] {
        if (!handedOver.isValid())
            return;
        finder.results()->viewport()->repaint();
        shown.push_back(double(handedOver.nsecsElapsed()) / 1e6);
        handedOver.invalidate();
    });

    StallSampler sampler;
    sampler.start();
    QElapsedTimer span;
    span.start();
    QLineEdit *field = finder.searchField();
    for (const QString &query : {QStringLiteral("测试"), QStringLiteral("电台"), QStringLiteral("测试电台")}) {
        field->selectAll();
        QKeyEvent erase(QEvent::KeyPress, Qt::Key_Backspace, Qt::NoModifier);
        QCoreApplication::sendEvent(field, &erase);
        for (const QChar c : query) {
            QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
            QCoreApplication::sendEvent(field, &press);
            wait(keyMs);
        }
        if (!waitFor(&finder, &FindWindow::resultsShown, 15000)) {
            std::fprintf(stderr, "no answer for %s\n", qPrintable(query));
            return 1;
        }
        for (int page = 0; page < pages; ++page) {
            QScrollBar *bar = finder.results()->verticalScrollBar();
            bar->setValue(bar->maximum());
            if (!waitFor(&finder, &FindWindow::resultsShown, 15000))
                break;  // no further page
            wait(100);
        }
    }
    const qint64 typingMs = span.elapsed();
    sampler.stop();
    const std::vector<double> typing = sampler.samples;

    sampler.start();
    wait(int(typingMs));
    sampler.stop();

    std::printf("idle %.2f %.2f\n", percentile(sampler.samples, 1.0), percentile(sampler.samples, 0.99));
    std::printf("typing %.2f %.2f\n", percentile(typing, 1.0), percentile(typing, 0.99));
    std::printf("shown %.2f %.2f %zu\n", percentile(shown, 0.5), percentile(shown, 1.0), shown.size());
    return 0;
}
