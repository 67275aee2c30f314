// The texts of the progress, statistics and exit windows.
#include <QtTest>
#include <cstdlib>
#include <ctime>

#include "ui/status_texts.h"

using namespace corvane;

namespace {

std::tm Moment(int weekday, int month, int day, int hour, int minute, int second) {
    std::tm t{};
    t.tm_wday = weekday;
    t.tm_mon = month;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_sec = second;
    return t;
}

}  // namespace

class StatusTextsTest : public QObject {
    Q_OBJECT

private slots:
    void Duration_data() {
        QTest::addColumn<qint64>("seconds");
        QTest::addColumn<QString>("text");
        QTest::newRow("hours lead") << qint64(3725) << "1h. 2min. 5sec.";
        QTest::newRow("whole hour keeps zero minutes") << qint64(7200) << "2h. 0min. 0sec.";
        QTest::newRow("minutes") << qint64(65) << "1min. 5sec.";
        QTest::newRow("seconds") << qint64(59) << "59sec.";
        QTest::newRow("clock set back") << qint64(-30) << "0sec.";
    }
    void Duration() {
        QFETCH(qint64, seconds);
        QFETCH(QString, text);
        QCOMPARE(QString::fromStdString(DurationText(seconds)), text);
    }

    void PointInTime_data() {
        QTest::addColumn<int>("hour");
        QTest::addColumn<int>("minute");
        QTest::addColumn<QString>("text");
        // The client's 12-hour rule: only hours above 12 are PM.
        QTest::newRow("half past noon") << 12 << 30 << "Wed Jun  3 12:30:07 AM";
        QTest::newRow("afternoon") << 13 << 5 << "Wed Jun  3 01:05:07 PM";
        QTest::newRow("after midnight") << 0 << 10 << "Wed Jun  3 12:10:07 AM";
        QTest::newRow("morning") << 9 << 0 << "Wed Jun  3 09:00:07 AM";
        QTest::newRow("last hour") << 23 << 59 << "Wed Jun  3 11:59:07 PM";
    }
    void PointInTime() {
        QFETCH(int, hour);
        QFETCH(int, minute);
        QFETCH(QString, text);
        QCOMPARE(QString::fromStdString(PointInTimeText(Moment(3, 5, 3, hour, minute, 7))), text);
    }

    void PointInTimeIsEnglishInLocalTime() {
        qputenv("TZ", "UTC");
        tzset();
        std::setlocale(LC_ALL, "");
        QCOMPARE(QString::fromStdString(LocalPointInTimeText(0)), QString("Thu Jan  1 12:00:00 AM"));
        QCOMPARE(QString::fromStdString(LocalPointInTimeText(1'000'000'000)), QString("Sun Sep  9 01:46:40 AM"));
    }

    void Throughput_data() {
        QTest::addColumn<double>("average");
        QTest::addColumn<bool>("megabytes");
        QTest::addColumn<QString>("text");
        QTest::newRow("fast links are not corrected") << 2'000'000.0 << true << "1.91M";
        QTest::newRow("threshold is not corrected") << 1'800'000.0 << true << "1.72M";
        QTest::newRow("corrected") << 300'000.0 << false << "100.41K";
        QTest::newRow("corrected, padded") << 500.0 << false << " 0.48K";
        // Here the overhead estimate exceeds the rate itself: the measured rate is shown
        // rather than a negative one.
        QTest::newRow("estimate above the rate") << 1'000'000.0 << true << "0.95M";
        QTest::newRow("just below the threshold") << 1'799'999.0 << true << "1.72M";
    }
    void Throughput() {
        QFETCH(double, average);
        QFETCH(bool, megabytes);
        QFETCH(QString, text);
        QCOMPARE(QString::fromStdString(ThroughputText(CorrectedAverage(average), megabytes)), text);
    }

    void ProgressLines_data() {
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("quiet");
        QTest::addColumn<int>("options");  // 1 hide server, 2 SSL, 4 proxy
        QTest::addColumn<QStringList>("lines");  // "-" marks a line left alone
        QTest::addColumn<bool>("button");
        QTest::addColumn<bool>("title");
        const QString k = "-";
        QTest::newRow("starting") << 10001 << "x" << false << 0 << QStringList{"Initializing:", k, k, k, k} << false
                                  << false;
        QTest::newRow("connecting") << 10003 << "host.example" << false << 0
                                    << QStringList{k, "Connecting to:  host.example", k, k, k} << false << false;
        QTest::newRow("server hidden") << 10003 << "host.example" << false << 1
                                       << QStringList{k, "Connecting to Server", k, k, k} << false << false;
        QTest::newRow("logging on") << 10004 << "ann" << false << 0
                                    << QStringList{k, k, "Logging on: User \"ann\"", k, k} << false << false;
        QTest::newRow("via SSL") << 10004 << "ann" << false << 2
                                 << QStringList{k, k, "Logging on (via SSL): User \"ann\"", k, k} << false << false;
        QTest::newRow("via proxy") << 10004 << "ann" << false << 6
                                   << QStringList{k, k, "Logging on (via Proxy): User \"ann\"", k, k} << false << false;
        QTest::newRow("proxy without SSL") << 10004 << "ann" << false << 4
                                           << QStringList{k, k, "Logging on: User \"ann\"", k, k} << false << false;
        QTest::newRow("logged on") << 10006 << "Authenticating: Complete" << false << 0
                                   << QStringList{k, k, k, "Authenticating: Complete", k} << false << true;
        QTest::newRow("error") << 10007 << "Error: no route" << false << 0
                               << QStringList{k, k, k, k, "Error: no route"} << true << false;
        QTest::newRow("quiet error") << 10007 << "Retrying" << true << 0 << QStringList{k, k, k, k, "Retrying"}
                                     << false << false;
        QTest::newRow("clear error") << 10008 << "" << false << 0 << QStringList{k, k, k, k, ""} << false << false;
        QTest::newRow("clear detail") << 10009 << "" << false << 0 << QStringList{k, k, k, "", k} << false << false;
        QTest::newRow("clear log-on") << 10010 << "" << false << 0 << QStringList{k, k, "", k, k} << false << false;
        QTest::newRow("clear all keeps the first line") << 10011 << "" << false << 0 << QStringList{k, "", "", "", ""}
                                                        << false << false;
        QTest::newRow("unknown code") << 10005 << "x" << false << 0 << QStringList{k, k, k, k, k} << false << false;
    }
    void ProgressLines() {
        QFETCH(int, code);
        QFETCH(QString, text);
        QFETCH(bool, quiet);
        QFETCH(int, options);
        QFETCH(QStringList, lines);
        QFETCH(bool, button);
        QFETCH(bool, title);
        ProgressOptions o;
        o.noShowServer = options & 1;
        o.viaSsl = options & 2;
        o.viaProxy = options & 4;
        const ProgressChange change = ProgressChangeFor(StatusMessage{code, text.toStdString(), quiet}, o);
        for (int i = 0; i < kProgressLineCount; ++i) {
            const QString shown = change.lines[i] ? QString::fromStdString(*change.lines[i]) : "-";
            QCOMPARE(shown, lines[i]);
        }
        QCOMPARE(change.showButton, button);
        QCOMPARE(change.connectedTitle, title);
    }

    void DisplayLine_data() {
        QTest::addColumn<QString>("title");
        QTest::addColumn<int>("depth");
        QTest::addColumn<bool>("fullScreen");
        QTest::addColumn<QString>("text");
        QTest::newRow("colour") << "Corvane - host:12" << 24 << false << ":12 1024 x 768  24 bit Color";
        QTest::newRow("colour, full screen") << "host:7" << 16 << true << "t:7 1024 x 768  16 bit Color, Full Screen";
        QTest::newRow("multimode") << "host:12" << 124 << false << ":12 1024 x 768  8/24 bit MultiMode";
        QTest::newRow("multimode, full screen") << "host:12" << 124 << true
                                                << ":12 1024 x 768  8/24 bit MultiMode, Full Screen";
        QTest::newRow("short title") << "ab" << 8 << false << "ab 1024 x 768  8 bit Color";
    }
    void DisplayLine() {
        QFETCH(QString, title);
        QFETCH(int, depth);
        QFETCH(bool, fullScreen);
        QFETCH(QString, text);
        QCOMPARE(QString::fromStdString(DisplayLineText(title.toStdString(), 1024, 768, depth, fullScreen)), text);
    }
};

QTEST_MAIN(StatusTextsTest)
#include "status_texts_test.moc"
