#include "timers/ui/frm_timer.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QDateEdit>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPrinter>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeEdit>
#include <QToolButton>
#include <QTreeView>

#include <memory>

#include "app/curl_box_client.h"
#include "app/ui/error_box.h"
#include "common/activity_log.h"
#include "support/simbox.h"
#include "support/test_files.h"
#include "support/test_paths.h"
#include "timers/ui/channel_chooser.h"
#include "timers_ui/fake_box_client.h"

namespace {

const QString DasErste = QStringLiteral("2EE3:0441:0001:00C00000: Das Erste");
const QString Zdf = QStringLiteral("6D66:0437:0001:00C00000: ZDF");
const QString NoSettingsMessage =
    QStringLiteral("Die Datei -> BVSettins.set <- ist nicht vorhanden.\nBitte -Service- neu ertellen !");

QByteArray readBytes(const QString &path)
{
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << path.toStdString();
    return file.readAll();
}

QByteArray timersFixture(const QString &name)
{
    return readBytes(testpaths::fixturesDir() + QStringLiteral("/timers/") + name);
}

TimerEntry entry(const QString &number, const QString &service, const QString &type,
                 const QString &description = QStringLiteral("Film"))
{
    TimerEntry e;
    e.number = number;
    e.description = description;
    e.service = service;
    e.eventId = number;
    e.type = type;
    e.timeBegin = QStringLiteral("1103915700");
    e.duration = QStringLiteral("900");
    return e;
}

class FrmTimerTest : public ::testing::Test
{
protected:
    std::unique_ptr<TFrmTimer> makeWindow(BoxClient &box)
    {
        auto window = std::make_unique<TFrmTimer>(box, log, dir.path());
        window->setConfirm([this](QWidget *, const QString &question) {
            questions.append(question);
            return answer;
        });
        window->setClock(clock);
        return window;
    }

    // Two bouquets, three channels.
    void writeChannelSettings()
    {
        ChannelSettings settings;
        settings.bouquets = {{QStringLiteral("Favourites"), {DasErste, Zdf}},
                             {QStringLiteral("Dritte"), {QStringLiteral("6D67:0437:0001:00C00000: 3sat")}}};
        const TimerFolders folders(dir.path());
        folders.ensureExist();
        settings.save(folders.settingsFile());
    }

    static QString cell(const TFrmTimer &window, int gridRow, int column)
    {
        const QTableWidgetItem *item = window.sg1->item(gridRow - 1, column);
        return item ? item->text() : QString();
    }

    QTemporaryDir dir;
    ActivityLog log;
    FakeBoxClient fake;
    QStringList messages;
    QList<MessageKind> kinds;
    ScopedMessagePresenter presenter{[this](QWidget *, MessageKind kind, const QString &text) {
        messages.append(text);
        kinds.append(kind);
    }};
    QStringList questions;
    bool answer = true;
    BoxClock clock{QTimeZone(QByteArrayLiteral("Europe/Berlin")),
                   [] { return QDateTime::currentDateTime(); }};
};

TEST_F(FrmTimerTest, ReadTimerFillsTheGridFromTheBoxEvenWithoutChannelSettings)
{
    SimBox box;
    auto client = makeCurlBoxClient([&box] { return box.address(); });
    const QByteArray boxFile = timersFixture(QStringLiteral("box_timer.epl"));
    testfiles::write(box.filePath(QLatin1String(BoxTimerPath)), boxFile);
    auto window = makeWindow(*client);
    EXPECT_FALSE(window->LMDOfficeButton4->isEnabled());

    window->LMDOfficeButton2->click();

    EXPECT_EQ(messages, QStringList{NoSettingsMessage});
    EXPECT_EQ(readBytes(window->folders().timerFile()), boxFile);
    EXPECT_FALSE(window->sg1->horizontalHeader()->isHidden());
    ASSERT_EQ(window->sg1->rowCount(), 6);
    const QStringList first = {QStringLiteral("1"),
                               QStringLiteral("Tagesschau"),
                               QStringLiteral("1:0:1:6dca:44d:1:c00000:0:0:0:"),
                               QStringLiteral("4711"),
                               QStringLiteral("44"),
                               QStringLiteral("1103915700"),
                               QStringLiteral("900")};
    for (int column = 0; column < TimerEntry::ColumnCount; ++column) {
        EXPECT_EQ(cell(*window, 1, column), first.at(column)) << "column " << column;
        EXPECT_EQ(window->sg1->horizontalHeaderItem(column)->text(), TimerList::headerTexts().at(column));
    }
    EXPECT_EQ(cell(*window, 5, TimerEntry::ColDescription), QStringLiteral("Tatort: Über die Grenze"));
    EXPECT_EQ(cell(*window, 6, TimerEntry::ColDescription), QStringLiteral("???"));
    EXPECT_TRUE(window->LMDOfficeButton4->isEnabled());
    EXPECT_EQ(window->rememberedRow(), 0);
}

TEST_F(FrmTimerTest, SaveAndTransferReplacesTheBoxFileAndReloadsTheList)
{
    SimBox box;
    auto client = makeCurlBoxClient([&box] { return box.address(); });
    const QByteArray boxFile = timersFixture(QStringLiteral("box_timer.epl"));
    testfiles::write(box.filePath(QLatin1String(BoxTimerPath)), boxFile);
    auto window = makeWindow(*client);
    window->LMDOfficeButton2->click();
    window->selectRow(2);
    window->edt1->setText(QStringLiteral("heute-journal spät"));
    window->edtLaenge->setTime(QTime(0, 45));
    window->BtnChangeLine->click();
    box.reset();

    window->LMDOfficeButton4->click();

    TimerList expected;
    expected.appendFromFileData(boxFile);
    expected.entries()[1].description = displayTextToFile(QStringLiteral("heute-journal spät"));
    expected.entries()[1].duration = QStringLiteral("2700");
    const QByteArray sent = readBytes(box.filePath(QLatin1String(BoxTimerPath)));
    EXPECT_EQ(sent, expected.toFileData());
    EXPECT_EQ(sent, readBytes(window->folders().timerFile()));
    EXPECT_TRUE(sent.contains("#DESCRIPTION: ZDF/heute-journal sp\xc3\xa4t\r\n#EVENT_ID 0\r\n#TYPE 44\r\n"
                              "#TIME_BEGIN 1103921400\r\n#DURATION 2700\r\n"));
    EXPECT_EQ(box.requests(), QList<QByteArray>{"/cgi-bin/reloadTimerList"});
    const QStringList commands = box.ftpCommands();
    EXPECT_GE(commands.indexOf(QStringLiteral("ABOR")), 0) << commands.join(u'|').toStdString();
    EXPECT_LT(commands.indexOf(QStringLiteral("ABOR")), commands.indexOf(QStringLiteral("QUIT")));
    EXPECT_EQ(window->Label3->text(), QStringLiteral("Upload Ready ... und Timer aktiviert !"));
    EXPECT_FALSE(window->ProgressBar1->isVisibleTo(window.get()));
    EXPECT_TRUE(messages.filter(QStringLiteral("Fehler")).isEmpty()) << messages.join(u'|').toStdString();
}

TEST_F(FrmTimerTest, AFailedUploadShowsTheErrorAndSendsNoReload)
{
    auto window = makeWindow(fake);
    window->LMDOfficeButton1->click();
    messages.clear();
    fake.reachable = false;

    window->LMDOfficeButton4->click();

    EXPECT_EQ(messages, QStringList{QStringLiteral("Die Box 192.0.2.1 antwortet nicht.")});
    EXPECT_TRUE(fake.requests.isEmpty());
    EXPECT_FALSE(fake.files.contains(QLatin1String(BoxTimerPath)));
    EXPECT_EQ(window->Label3->text(), QStringLiteral("---"));
    // The list was written locally before the upload was tried, and stays.
    EXPECT_TRUE(readBytes(window->folders().timerFile()).contains("#DESCRIPTION: /NEW Item\r\n"));
    EXPECT_FALSE(window->ProgressBar1->isVisibleTo(window.get()));
}

TEST_F(FrmTimerTest, AnUnreachableBoxIsLoggedAndTheGridKept)
{
    // Nothing listens on the discard port: the connection is refused at once.
    auto client = makeCurlBoxClient([] { return QStringLiteral("127.0.0.1:9"); }, [] { return 9; });
    auto window = makeWindow(*client);
    window->LMDOfficeButton1->click();
    window->LMDOfficeButton1->click();
    messages.clear();

    window->LMDOfficeButton2->click();

    const QString logPrefix = QStringLiteral("Fehler! konnte DreamBox nicht erreichen!   ");
    ASSERT_GE(log.lines().size(), 2);
    EXPECT_TRUE(log.lines().last().startsWith(logPrefix)) << log.lines().last().toStdString();
    EXPECT_GT(log.lines().last().size(), logPrefix.size()); // date and time follow
    EXPECT_EQ(messages, QStringList{QStringLiteral("keine Verbindung zur Box ....")});
    ASSERT_EQ(window->sg1->rowCount(), 2);
    EXPECT_EQ(cell(*window, 2, TimerEntry::ColDescription), QStringLiteral("NEW Item"));
    EXPECT_EQ(window->timerList().size(), 2);
}

TEST_F(FrmTimerTest, NewItemOnAnEmptyGridMakesTheFirstRowAndShowsIt)
{
    auto window = makeWindow(fake);
    const QDateTime now = QDateTime::currentDateTime();

    window->LMDOfficeButton1->click();

    ASSERT_EQ(window->timerList().size(), 1);
    const TimerEntry &e = window->timerList().entries().at(0);
    EXPECT_EQ(e.number, QStringLiteral("1"));
    EXPECT_EQ(e.description, QStringLiteral("NEW Item"));
    EXPECT_EQ(e.service, QStringLiteral("1:0:1:2ee3:0441:0001:c00000:0:0:0:"));
    EXPECT_EQ(e.eventId, QStringLiteral("1"));
    EXPECT_EQ(e.type, QStringLiteral("44"));
    EXPECT_EQ(e.duration, QStringLiteral("60"));
    const qint64 expectedBegin =
        clock.DateTimeToEpoch(now.date(), now.time().msecsSinceStartOfDay() / 1000 + 600);
    EXPECT_NEAR(e.timeBegin.toLongLong(), expectedBegin, 5);

    EXPECT_EQ(window->rememberedRow(), 1);
    EXPECT_EQ(window->sg1->rowCount(), 1);
    EXPECT_FALSE(window->sg1->horizontalHeader()->isHidden());
    EXPECT_EQ(cell(*window, 1, TimerEntry::ColDescription), QStringLiteral("NEW Item"));
    EXPECT_EQ(window->edt1->text(), QStringLiteral("NEW Item"));
    EXPECT_EQ(window->cbMode->currentText(), QStringLiteral("Aufnahme"));
    EXPECT_EQ(window->edtLaenge->time(), QTime(0, 1, 0));
    EXPECT_TRUE(window->LMDOfficeButton4->isEnabled());
    EXPECT_EQ(messages, QStringList{NoSettingsMessage});
    EXPECT_EQ(fake.connects, 0);
}

TEST_F(FrmTimerTest, OkWritesThePanelIntoTheRememberedRow)
{
    auto window = makeWindow(fake);
    writeChannelSettings();
    window->LMDOfficeButton1->click();
    EXPECT_EQ(window->cb1->shownText(), DasErste); // the default reference's channel

    ASSERT_TRUE(window->cb1->chooseFirst([](const QString &node) { return node == DasErste; }));
    window->edt1->setText(QStringLiteral("Tatort"));
    window->cbMode->setCurrentText(QStringLiteral("Umschalten"));
    window->cal1->setDate(QDate(2026, 12, 24));
    window->edtStartTime->setTime(QTime(20, 15, 0));
    window->edtLaenge->setTime(QTime(1, 30, 0));
    window->BtnChangeLine->click();

    const TimerEntry &e = window->timerList().entries().at(0);
    EXPECT_EQ(e.service, QStringLiteral("1:0:1:2EE3:0441:0001:00C00000:0:0:0:"));
    EXPECT_EQ(e.description, QStringLiteral("Tatort"));
    EXPECT_EQ(e.type, QStringLiteral("34"));
    EXPECT_EQ(e.timeBegin, QString::number(clock.DateTimeToEpoch(QDate(2026, 12, 24), QTime(20, 15))));
    EXPECT_EQ(e.duration, QStringLiteral("5400"));
    EXPECT_EQ(e.number, QStringLiteral("1"));
    EXPECT_EQ(e.eventId, QStringLiteral("1"));
    EXPECT_EQ(cell(*window, 1, TimerEntry::ColService),
              QStringLiteral("1:0:1:2EE3:0441:0001:00C00000:0:0:0:"));
    EXPECT_EQ(cell(*window, 1, TimerEntry::ColDuration), QStringLiteral("5400"));
}

TEST_F(FrmTimerTest, ChannelAndModeOfASelectedRow)
{
    struct Case
    {
        const char *name;
        QString service;
        QString type;
        QString shownAfterSelection;
        QString shownMode;
        QString choose; // node to choose before OK, empty for none
        QString serviceAfterOk;
        QString typeAfterOk;
    };
    const QString unknownChannel = QStringLiteral("1:0:1:1234:0441:0001:c00000:0:0:0:");
    const Case cases[] = {
        {"DefaultReferenceGetsTheChosenChannel", servicerefs::DefaultReference, QStringLiteral("44"),
         DasErste, QStringLiteral("Aufnahme"), DasErste,
         QStringLiteral("1:0:1:2EE3:0441:0001:00C00000:0:0:0:"), QStringLiteral("44")},
        {"ShortBoxReferenceFindsItsChannel",
         QStringLiteral("1:0:1:6d66:437:1:c00000:0:0:0:"),
         QStringLiteral("268"),
         Zdf,
         QStringLiteral("Fertig"),
         {},
         QStringLiteral("1:0:1:6D66:0437:0001:00C00000:0:0:0:"),
         QStringLiteral("268")},
        {"ChannelNotInSettingsKeepsItsReference",
         unknownChannel,
         QStringLiteral("131108"),
         QStringLiteral("???"),
         QStringLiteral("Ngrab"),
         {},
         unknownChannel,
         QStringLiteral("131108")},
        {"UnknownTypeShowsQuestionMarksAndWrites34",
         unknownChannel,
         QStringLiteral("12"),
         QStringLiteral("???"),
         QStringLiteral("???"),
         {},
         unknownChannel,
         QStringLiteral("34")},
        {"ChosenBouquetKeepsTheReference", unknownChannel, QStringLiteral("34"), QStringLiteral("???"),
         QStringLiteral("Umschalten"), QStringLiteral("Favourites"), unknownChannel, QStringLiteral("34")},
        {"ImportedRowWithoutReferenceGetsAWholeOne", QString(), QStringLiteral("44"), QStringLiteral("???"),
         QStringLiteral("Aufnahme"), Zdf, QStringLiteral("1:0:1:6D66:0437:0001:00C00000:0:0:0:"),
         QStringLiteral("44")},
    };
    writeChannelSettings();
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        auto window = makeWindow(fake);
        ASSERT_TRUE(window->loadChannelSettings());
        window->timerList().append(entry(QStringLiteral("1"), c.service, c.type));
        window->listChanged();
        window->selectRow(1);
        EXPECT_EQ(window->cb1->shownText(), c.shownAfterSelection);
        EXPECT_EQ(window->cbMode->currentText(), c.shownMode);
        if (!c.choose.isEmpty()) {
            ASSERT_TRUE(window->cb1->chooseFirst([&c](const QString &node) { return node == c.choose; }));
        }
        window->BtnChangeLine->click();
        EXPECT_EQ(window->timerList().entries().at(0).service, c.serviceAfterOk);
        EXPECT_EQ(window->timerList().entries().at(0).type, c.typeAfterOk);
    }
    EXPECT_TRUE(messages.isEmpty()) << messages.join(u'|').toStdString();
}

TEST_F(FrmTimerTest, ChoosingAChannelInTheDropDownTree)
{
    auto window = makeWindow(fake);
    writeChannelSettings();
    ASSERT_TRUE(window->loadChannelSettings());
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));

    window->cb1->showPopup();
    QTreeView *tree = window->cb1->treeView();
    ASSERT_TRUE(QTest::qWaitFor([tree] { return tree->isVisible(); }));
    const QModelIndex favourites = tree->model()->index(0, 0);
    const QModelIndex zdf = tree->model()->index(1, 0, favourites);
    ASSERT_EQ(zdf.data().toString(), Zdf);
    const QPoint at = tree->visualRect(zdf).center();
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, at);

    EXPECT_TRUE(QTest::qWaitFor([tree] { return !tree->isVisible(); }));
    EXPECT_EQ(window->cb1->shownText(), Zdf);
    EXPECT_TRUE(window->cb1->showsChannel());
}

TEST_F(FrmTimerTest, ANonNumericFieldStopsTheRowSelectionWithTheErrorBox)
{
    auto window = makeWindow(fake);
    TimerEntry bad = entry(QStringLiteral("1"), servicerefs::DefaultReference, QStringLiteral("44"),
                           QStringLiteral("Kaputt"));
    bad.timeBegin = QStringLiteral("abc");
    window->timerList().append(
        entry(QStringLiteral("1"), servicerefs::DefaultReference, QStringLiteral("44")));
    window->timerList().append(bad);
    window->listChanged();

    window->sg1->setCurrentCell(1, 0); // as the user's click or arrow key does

    EXPECT_EQ(messages, QStringList{QStringLiteral("'abc' is not a valid integer value")});
    EXPECT_EQ(window->edt1->text(), QStringLiteral("Kaputt"));
    EXPECT_EQ(window->rememberedRow(), 2);
}

TEST_F(FrmTimerTest, DelLineAsksAndRemovesTheRememberedRow)
{
    auto window = makeWindow(fake);
    for (const char *name : {"Erster", "Zweiter", "Dritter"}) {
        TimerEntry &e = window->timerList().appendNew(QLatin1String(name), servicerefs::DefaultReference,
                                                      QStringLiteral("1103915700"), QStringLiteral("60"));
        (void)e;
    }
    window->listChanged();
    window->selectRow(2);

    answer = false;
    window->LMDOfficeButton3->click();
    EXPECT_EQ(questions,
              QStringList{QStringLiteral("Möchtest Du den Eintrag -> Zweiter <- wirklich löschen ??")});
    EXPECT_EQ(window->timerList().size(), 3);

    answer = true;
    window->LMDOfficeButton3->click();
    ASSERT_EQ(window->sg1->rowCount(), 2);
    EXPECT_EQ(cell(*window, 1, TimerEntry::ColNumber), QStringLiteral("1"));
    EXPECT_EQ(cell(*window, 2, TimerEntry::ColNumber), QStringLiteral("3"));
    // The panel follows the row that now stands at the remembered place.
    EXPECT_EQ(window->rememberedRow(), 2);
    EXPECT_EQ(window->edt1->text(), QStringLiteral("Dritter"));

    // Deleting the last row moves the remembered row up to the new last one.
    window->LMDOfficeButton3->click();
    EXPECT_EQ(window->timerList().size(), 1);
    EXPECT_EQ(window->rememberedRow(), 1);
    EXPECT_EQ(window->edt1->text(), QStringLiteral("Erster"));
}

TEST_F(FrmTimerTest, OkAndDelLineNeverTouchTheHeaderOrAVanishedRow)
{
    auto window = makeWindow(fake);
    window->timerList().append(
        entry(QStringLiteral("1"), servicerefs::DefaultReference, QStringLiteral("44")));
    window->timerList().append(
        entry(QStringLiteral("2"), servicerefs::DefaultReference, QStringLiteral("44")));
    window->listChanged();
    const QList<TimerEntry> before = window->timerList().entries();
    window->edt1->setText(QStringLiteral("Überschrieben"));

    // Nothing selected yet: the remembered row is the header.
    window->BtnChangeLine->click();
    window->LMDOfficeButton3->click();
    EXPECT_EQ(window->timerList().entries(), before);
    EXPECT_TRUE(questions.isEmpty());
    EXPECT_EQ(cell(*window, 1, TimerEntry::ColDescription), QStringLiteral("Film"));

    // A read that keeps the remembered row shows that row's new values in the panel.
    window->selectRow(2);
    TimerList onBox;
    onBox.append(
        entry(QStringLiteral("1"), servicerefs::DefaultReference, QStringLiteral("44"), QStringLiteral("A")));
    onBox.append(
        entry(QStringLiteral("2"), servicerefs::DefaultReference, QStringLiteral("44"), QStringLiteral("B")));
    fake.files.insert(QLatin1String(BoxTimerPath), onBox.toFileData());
    window->LMDOfficeButton2->click();
    EXPECT_EQ(window->rememberedRow(), 2);
    EXPECT_EQ(window->edt1->text(), QStringLiteral("B"));

    // A read that leaves fewer rows forgets a remembered row past the end.
    onBox.removeRow(2);
    fake.files.insert(QLatin1String(BoxTimerPath), onBox.toFileData());
    window->LMDOfficeButton2->click();
    EXPECT_EQ(window->rememberedRow(), 0);
    window->BtnChangeLine->click();
    window->LMDOfficeButton3->click();
    EXPECT_TRUE(questions.isEmpty());
    ASSERT_EQ(window->timerList().size(), 1);
    EXPECT_EQ(window->timerList().entries().at(0).description, QStringLiteral("A"));
}

TEST_F(FrmTimerTest, ReadTimerOfABoxWithoutAListFailsAndAnEmptyListShowsOnlyTheHeader)
{
    auto window = makeWindow(fake); // the box has no timer.epl: the download fails
    fake.files.clear();
    window->LMDOfficeButton2->click();
    EXPECT_EQ(messages, QStringList{QStringLiteral("keine Verbindung zur Box ....")});

    // A box whose list holds no timer: the header and no rows.
    fake.files.insert(QLatin1String(BoxTimerPath), QByteArrayLiteral("#NAME Timerlist\r\n"));
    messages.clear();
    window->LMDOfficeButton2->click();
    EXPECT_EQ(messages, QStringList{NoSettingsMessage});
    EXPECT_EQ(window->sg1->rowCount(), 0);
    EXPECT_FALSE(window->sg1->horizontalHeader()->isHidden());
}

TEST_F(FrmTimerTest, CreateServiceWithBothCacheFilesMakesNoConnection)
{
    auto window = makeWindow(fake);
    const TimerFolders folders(dir.path());
    testfiles::write(folders.bouquetsFile(), timersFixture(QStringLiteral("djgueto_bouquets")));
    testfiles::write(folders.servicesFile(),
               readBytes(testpaths::fixturesDir() +
                         QStringLiteral("/enigma1/settings-packages/djgueto_ListaDeCanales/services")));

    window->LMDOfficeButton6->click();

    EXPECT_EQ(fake.connects, 0);
    EXPECT_TRUE(fake.requests.isEmpty());
    // The one channel of the bouquets copy that its services copy lacks is named.
    EXPECT_EQ(messages, QStringList{QStringLiteral("Diese Kanäle aus -> bouquets <- stehen nicht in -> "
                                                   "services <- und wurden ausgelassen:\n"
                                                   "DEAD:00C00000:03F0:0001:1")});
    EXPECT_EQ(kinds, QList<MessageKind>{MessageKind::Information});
    ASSERT_TRUE(QFile::exists(folders.settingsFile()));
    const QStringList nodes = ChannelSettings::load(folders.settingsFile()).nodesInOrder();
    EXPECT_GT(nodes.size(), 1);
    EXPECT_EQ(window->cb1->nodeTexts(), nodes);
    EXPECT_FALSE(window->ProgressBar1->isVisibleTo(window.get()));
}

TEST_F(FrmTimerTest, ALongListOfLeftOutChannelsIsCut)
{
    auto window = makeWindow(fake);
    const TimerFolders folders(dir.path());
    QByteArray bouquets = "0\nFavourites\n";
    for (int i = 0; i < 25; ++i)
        bouquets += QByteArray::number(0x1000 + i, 16) + ":00c00000:0441:0001:1\n";
    testfiles::write(folders.bouquetsFile(), bouquets + "/\n");
    testfiles::write(folders.servicesFile(), "services\nend\n");

    window->LMDOfficeButton6->click();

    ASSERT_EQ(messages.size(), 1);
    const QStringList lines = messages.first().split(u'\n');
    ASSERT_EQ(lines.size(), 22);
    EXPECT_EQ(lines.at(1), QStringLiteral("1000:00C00000:0441:0001:1"));
    EXPECT_EQ(lines.at(20), QStringLiteral("1013:00C00000:0441:0001:1"));
    EXPECT_EQ(lines.at(21), QStringLiteral("... und 5 weitere"));
    EXPECT_EQ(readBytes(folders.settingsFile()), QByteArray("Favourites\r\n"));
}

TEST_F(FrmTimerTest, CreateServiceWithoutCacheDownloadsFromTheBox)
{
    auto window = makeWindow(fake);
    fake.files.insert(QLatin1String(BoxBouquetsPath), timersFixture(QStringLiteral("djgueto_bouquets")));
    fake.files.insert(
        QLatin1String(BoxServicesPath),
        readBytes(testpaths::fixturesDir() +
                  QStringLiteral("/enigma1/settings-packages/djgueto_ListaDeCanales/services")));

    window->LMDOfficeButton6->click();

    EXPECT_EQ(fake.connects, 1);
    ASSERT_EQ(messages.size(), 2) << messages.join(u'|').toStdString();
    EXPECT_EQ(messages.first(),
              QStringLiteral("Es sind keine Settings im Verzeichnis -MorvelSettings- vorhanden !\n"
                             "Die Settigs werden nun von der DB geladen !"));
    EXPECT_TRUE(messages.last().endsWith(QStringLiteral(":\nDEAD:00C00000:03F0:0001:1")));
    EXPECT_GT(window->cb1->nodeTexts().size(), 1);
}

TEST_F(FrmTimerTest, MissingFilesAreNoticesAndTransferFailuresErrors)
{
    auto window = makeWindow(fake);
    const TimerFolders folders(dir.path());

    window->LMDOfficeButton7->click();
    EXPECT_EQ(messages, QStringList{QStringLiteral(
                            "Datei -> i_REMOTE.txt <- nicht vorhanden.\nBitte TVGenial.pdf lesen !")});
    EXPECT_EQ(kinds, QList<MessageKind>{MessageKind::Information});
    EXPECT_TRUE(window->timerList().isEmpty());

    // A bouquets copy that cannot be opened (a folder stands in its place).
    messages.clear();
    kinds.clear();
    testfiles::write(folders.servicesFile(), "services\nend\n");
    ASSERT_TRUE(QDir().mkdir(folders.bouquetsFile()));
    window->LMDOfficeButton6->click();
    EXPECT_EQ(messages, QStringList{QStringLiteral("Fehler ... Bouqets")});
    EXPECT_EQ(kinds, QList<MessageKind>{MessageKind::Information});
    EXPECT_TRUE(window->ProgressBar1->isVisibleTo(window.get())) << "shown until the next successful build";
    EXPECT_FALSE(QFile::exists(folders.settingsFile()));

    // The download of a missing cache file fails: the error box.
    messages.clear();
    kinds.clear();
    ASSERT_TRUE(QDir().rmdir(folders.bouquetsFile()));
    fake.reachable = false;
    window->LMDOfficeButton6->click();
    EXPECT_EQ(kinds, (QList<MessageKind>{MessageKind::Information, MessageKind::Error}));
    EXPECT_EQ(messages.value(1), QStringLiteral("Die Box 192.0.2.1 antwortet nicht."));
}

TEST_F(FrmTimerTest, GuideImportAppendsTheProgrammes)
{
    auto window = makeWindow(fake);
    writeChannelSettings();
    testfiles::write(TimerFolders(dir.path()).guideFile(), timersFixture(QStringLiteral("i_REMOTE.txt")));

    window->LMDOfficeButton7->click();

    ASSERT_GE(window->timerList().size(), 1);
    EXPECT_EQ(window->sg1->rowCount(), window->timerList().size());
    EXPECT_EQ(cell(*window, 1, TimerEntry::ColDescription), QStringLiteral("Tatort"));
    EXPECT_EQ(cell(*window, 1, TimerEntry::ColService),
              QStringLiteral("1:0:1:2EE3:0441:0001:00C00000:0:0:0:"));
    EXPECT_FALSE(window->sg1->horizontalHeader()->isHidden());
    EXPECT_EQ(window->cb1->nodeTexts().size(), 5);
}

TEST_F(FrmTimerTest, PlannerButtonOpensThePlannerWhenOneIsThere)
{
    auto window = makeWindow(fake);
    window->LMDOfficeButton9->click();
    EXPECT_EQ(messages.size(), 1);
    int opened = 0;
    window->setPlannerOpener([&opened] { ++opened; });
    window->LMDOfficeButton9->click();
    EXPECT_EQ(opened, 1);
    EXPECT_EQ(messages.size(), 1);
}

int pageCount(const QByteArray &pdf)
{
    return static_cast<int>(
        QString::fromLatin1(pdf).count(QRegularExpression(QStringLiteral("/Type\\s*/Page[^s]"))));
}

TEST_F(FrmTimerTest, PrintWritesTheGridToAPdfFile)
{
    auto window = makeWindow(fake);
    window->LMDOfficeButton1->click();
    window->LMDOfficeButton1->click();
    const QString pdfPath = dir.filePath(QStringLiteral("grid.pdf"));
    window->setPrinterChooser([&pdfPath](QWidget *, QPrinter &printer) {
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(pdfPath);
        return true;
    });

    window->LMDOfficeButton5->click();

    ASSERT_TRUE(QFile::exists(pdfPath));
    const QByteArray pdf = readBytes(pdfPath);
    EXPECT_TRUE(pdf.startsWith("%PDF-"));
    EXPECT_TRUE(pdf.trimmed().endsWith("%%EOF"));
    EXPECT_EQ(pageCount(pdf), 1);
    // The job title, as the PDF writer stores it: UTF-16 big-endian after a byte order mark.
    QByteArray title("/Title (\xfe\xff");
    for (const char ch : QByteArrayLiteral("Grid-Druck")) {
        title.append('\0');
        title.append(ch);
    }
    title.append(')');
    EXPECT_TRUE(pdf.contains(title));

    // Cancelling the printer choice prints nothing.
    QFile::remove(pdfPath);
    window->setPrinterChooser([](QWidget *, QPrinter &) { return false; });
    window->LMDOfficeButton5->click();
    EXPECT_FALSE(QFile::exists(pdfPath));
}

TEST_F(FrmTimerTest, AGridLongerThanAPageGoesOnFurtherPages)
{
    auto window = makeWindow(fake);
    for (int i = 0; i < 150; ++i)
        window->timerList().appendNew(QStringLiteral("Film %1").arg(i), servicerefs::DefaultReference,
                                      QStringLiteral("1103915700"), QStringLiteral("60"));
    window->listChanged();
    const QString pdfPath = dir.filePath(QStringLiteral("long.pdf"));
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(pdfPath);

    window->GridDruck(printer, 0, 0.5);

    EXPECT_GT(pageCount(readBytes(pdfPath)), 1);
}

} // namespace
