// The list of opened photos: order, the current photo, and which photo a Close leaves current.
#include "UiTestSupport.h"
#include "model/PhotoList.h"

#include <QTest>

namespace {

// A list of photos named by single letters, with one of them current.
PhotoList listOf(const QString& names, int current)
{
    PhotoList list;
    for (const QChar name : names)
        list.append(std::make_unique<TPhotoInfo>(QString(name)));
    list.setCurrent(current);
    return list;
}

QString namesOf(const PhotoList& list)
{
    QString names;
    for (int i = 0; i < list.count(); ++i)
        names += list.at(i)->FileName;
    return names;
}

} // namespace

class PhotoListTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { useFreshProgramFolder(); }

    void removeChoosesFollowerElsePredecessor_data()
    {
        QTest::addColumn<QString>("names");
        QTest::addColumn<int>("closed");
        QTest::addColumn<QString>("left");
        QTest::addColumn<int>("nextCurrent");
        QTest::newRow("last of three: the one before") << "ABC" << 2 << "AB" << 1;
        QTest::newRow("middle: the one that followed") << "ABC" << 1 << "AC" << 1;
        QTest::newRow("first: the one that followed") << "ABC" << 0 << "BC" << 0;
        QTest::newRow("only photo: none") << "A" << 0 << "" << -1;
    }
    void removeChoosesFollowerElsePredecessor()
    {
        QFETCH(QString, names);
        QFETCH(int, closed);
        QFETCH(QString, left);
        QFETCH(int, nextCurrent);
        PhotoList list = listOf(names, closed);
        QCOMPARE(list.remove(closed), nextCurrent);
        QCOMPARE(namesOf(list), left);
        QCOMPARE(list.currentIndex(), -1);
        QVERIFY(list.current() == nullptr);
    }

    void neighboursDoNotWrap_data()
    {
        QTest::addColumn<QString>("names");
        QTest::addColumn<int>("current");
        QTest::addColumn<int>("previous");
        QTest::addColumn<int>("next");
        QTest::newRow("first of three") << "ABC" << 0 << -1 << 1;
        QTest::newRow("middle") << "ABC" << 1 << 0 << 2;
        QTest::newRow("last of three") << "ABC" << 2 << 1 << -1;
        QTest::newRow("single") << "A" << 0 << -1 << -1;
        QTest::newRow("none current") << "AB" << -1 << -1 << -1;
    }
    void neighboursDoNotWrap()
    {
        QFETCH(QString, names);
        QFETCH(int, current);
        QFETCH(int, previous);
        QFETCH(int, next);
        const PhotoList list = listOf(names, current);
        QCOMPARE(list.previousIndex(), previous);
        QCOMPARE(list.nextIndex(), next);
    }

    void appendKeepsOrderAndCurrent()
    {
        PhotoList list = listOf(QStringLiteral("AB"), 0);
        TPhotoInfo* added = list.append(std::make_unique<TPhotoInfo>(QStringLiteral("A")));
        QCOMPARE(namesOf(list), QStringLiteral("ABA"));
        QCOMPARE(list.currentIndex(), 0);
        // The same file twice gives two independent records.
        QCOMPARE(list.indexOf(added), 2);
        QVERIFY(list.at(0) != added);
    }

    void clearEmptiesTheList()
    {
        PhotoList list = listOf(QStringLiteral("ABC"), 1);
        list.clear();
        QCOMPARE(list.count(), 0);
        QCOMPARE(list.currentIndex(), -1);
    }

    void positionsOutOfRangeAreRefused()
    {
        PhotoList list = listOf(QStringLiteral("AB"), 0);
        QVERIFY_THROWS_EXCEPTION(std::out_of_range, list.at(2));
        QVERIFY_THROWS_EXCEPTION(std::out_of_range, list.setCurrent(2));
        QVERIFY_THROWS_EXCEPTION(std::out_of_range, list.remove(-1));
        QCOMPARE(list.count(), 2);
    }
};

QTEST_GUILESS_MAIN(PhotoListTest)
#include "tst_photolist.moc"
