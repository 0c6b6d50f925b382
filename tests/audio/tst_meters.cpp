#include "audio/gauge.h"
#include "audio/levelmeter.h"

#include <QImage>
#include <QtTest>

namespace {

bool isMarker(QRgb pixel) {
    return qRed(pixel) > 200 && qGreen(pixel) < 100 && qBlue(pixel) < 100;
}

// Columns of the middle row whose colour is the marker's.
QList<int> markerColumns(QWidget& widget) {
    const QImage image = widget.grab().toImage();
    QList<int> columns;
    const int y = image.height() / 2;
    for (int x = 0; x < image.width(); ++x) {
        if (isMarker(image.pixel(x, y)))
            columns << x;
    }
    return columns;
}

int filledColumns(Gauge& gauge) {
    const QImage image = gauge.grab().toImage();
    const QRgb fill = gauge.palette().color(QPalette::Highlight).rgb();
    int count = 0;
    const int y = image.height() / 2;
    for (int x = 0; x < image.width(); ++x) {
        if (image.pixel(x, y) == fill)
            ++count;
    }
    return count;
}

} // namespace

class TstMeters : public QObject {
    Q_OBJECT
private slots:
    void thresholdMarker_data();
    void thresholdMarker();
    void gauge_data();
    void gauge();
    void sizes();
};

void TstMeters::thresholdMarker_data() {
    QTest::addColumn<int>("threshold");
    QTest::addColumn<int>("column"); // expected marker column on a 200 px meter
    QTest::newRow("zero, kept visible") << 0 << 0;
    QTest::newRow("37") << 37 << 74;
    QTest::newRow("50") << 50 << 100;
    QTest::newRow("100, kept visible") << 100 << 198;
    QTest::newRow("beyond 100") << 250 << 198;
}

void TstMeters::thresholdMarker() {
    QFETCH(int, threshold);
    QFETCH(int, column);
    LevelMeter meter;
    meter.resize(200, 17);
    meter.setThreshold(threshold);
    QCOMPARE(meter.threshold(), threshold);
    const QList<int> columns = markerColumns(meter);
    QVERIFY2(!columns.isEmpty(), "no marker drawn");
    QVERIFY2(std::abs(columns.first() - column) <= 1,
             qPrintable(QStringLiteral("marker at %1").arg(columns.first())));
    QVERIFY(columns.size() <= 3);
}

void TstMeters::gauge_data() {
    QTest::addColumn<int>("maximum");
    QTest::addColumn<int>("position");
    QTest::addColumn<double>("filled"); // fraction of the inner width
    QTest::newRow("initial") << 0 << 0 << 0.0;
    QTest::newRow("maximum 0 with a position") << 0 << 7 << 0.0;
    QTest::newRow("empty") << 10 << 0 << 0.0;
    QTest::newRow("half") << 10 << 5 << 0.5;
    QTest::newRow("full") << 10 << 10 << 1.0;
    QTest::newRow("past the maximum") << 10 << 25 << 1.0;
    QTest::newRow("negative position") << 10 << -3 << 0.0;
    QTest::newRow("negative maximum") << -5 << 3 << 0.0;
}

void TstMeters::gauge() {
    QFETCH(int, maximum);
    QFETCH(int, position);
    QFETCH(double, filled);
    Gauge gauge;
    gauge.resize(202, 15);
    gauge.setMaximum(maximum);
    gauge.setPosition(position);
    // Stored as set; only the drawing is clamped.
    QCOMPARE(gauge.maximum(), maximum);
    QCOMPARE(gauge.position(), position);
    const int inner = 200;
    QVERIFY2(std::abs(filledColumns(gauge) - filled * inner) <= 1,
             qPrintable(QString::number(filledColumns(gauge))));
}

void TstMeters::sizes() {
    QCOMPARE(LevelMeter().sizeHint().height(), 17);
    QCOMPARE(Gauge().sizeHint().height(), 15);
}

QTEST_MAIN(TstMeters)
#include "tst_meters.moc"
