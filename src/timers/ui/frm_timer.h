#pragma once

// The timer window: shows the box's timer list (timer.epl) in the grid sg1, edits one row at a
// time through the panel below it, reads the list from the box and sends it back, and starts
// the channel settings build, the TV-guide import and the planner. It owns the TimerList that
// the mail commands and the planner extend, and the channel chooser's copy of the channel
// settings. It does not own the box client, the log or the planner window; they are passed in.
//
// Row numbers below are grid rows: row 0 is the header, data row r is timerList().entries()[r-1].

#include <QDialog>

#include <functional>
#include <memory>

#include "app/box_client.h"
#include "timers/box_time.h"
#include "timers/channel_settings.h"
#include "timers/timer_list.h"

class ActivityLog;
class ChannelChooser;
class QComboBox;
class QDateEdit;
class QLabel;
class QLineEdit;
class QPrinter;
class QProgressBar;
class QTableWidget;
class QTimeEdit;
class QTimer;
class QToolButton;
class QPushButton;

inline constexpr char BoxTimerPath[] = "/var/tuxbox/config/enigma/timer.epl";
inline constexpr char ReloadTimerListTarget[] = "/cgi-bin/reloadTimerList";

class TFrmTimer final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TFrmTimer)

public:
    // Asks a Yes/No question; true for Yes.
    using ConfirmFunction = std::function<bool(QWidget *parent, const QString &question)>;
    // Lets the user pick the printer (or a PDF file); false when the user cancels.
    using PrinterChooser = std::function<bool(QWidget *parent, QPrinter &printer)>;

    TFrmTimer(BoxClient &box, ActivityLog &log, const QString &startDir, QWidget *parent = nullptr);
    ~TFrmTimer() override;

    // Test and wiring hooks. The defaults ask with a QMessageBox and a QPrintDialog; without a
    // planner opener the Planner button says that the planner is not available.
    void setConfirm(ConfirmFunction confirm) { m_confirm = std::move(confirm); }
    void setPrinterChooser(PrinterChooser chooser) { m_choosePrinter = std::move(chooser); }
    void setPlannerOpener(std::function<void()> open) { m_openPlanner = std::move(open); }
    void setClock(const BoxClock &clock) { m_clock = clock; }

    // The list. Callers that change it directly (mail commands, guide import) call
    // listChanged() afterwards so that the grid shows it.
    TimerList &timerList() { return m_list; }
    const TimerList &timerList() const { return m_list; }
    void listChanged();
    const ChannelSettings &channelSettings() const { return m_settings; }
    const TimerFolders &folders() const { return m_folders; }

    // The row OK and Del Line act on (0 before any row was selected).
    int rememberedRow() const { return m_rememberedRow; }
    // Selects a data row as a click would (row selection fills the panel).
    void selectRow(int row);
    // Loads BVSettings.set into the chooser; false (after the message) when it is missing.
    bool loadChannelSettings();

    // Read Timer. False when the box could not be reached or no local file was there; the
    // messages have been shown then.
    bool readTimer();
    // Save + transfer without the error box: throws FileError / TransferError.
    void saveAndTransfer();
    void newItem();
    // OK: writes the panel into the remembered row.
    void changeLine();
    void deleteLine();
    void createService();
    void guideImport();
    // Prints the grid; sizes in points are scaled by scale, margins in points.
    void GridDruck(QPrinter &printer, int margin, double scale);

    // The button handlers (each shows errors in the application's error box).
    void LMDOfficeButton2Click(); // Read Timer
    void LMDOfficeButton4Click(); // Save + transfer
    void LMDOfficeButton3Click(); // Del Line
    void LMDOfficeButton5Click(); // Print
    void LMDOfficeButton6Click(); // Create Service
    void LMDOfficeButton1Click(); // New Item
    void LMDOfficeButton9Click(); // Planner
    void LMDOfficeButton7Click(); // TVGenial import
    void LMDOfficeButton8Click(); // Close
    void BtnChangeLineClick();    // OK

    // Controls, under the names the program has always used.
    QLabel *Clock;
    QToolButton *LMDOfficeButton2;
    QToolButton *LMDOfficeButton4;
    QToolButton *LMDOfficeButton3;
    QToolButton *LMDOfficeButton5;
    QToolButton *LMDOfficeButton6;
    QToolButton *LMDOfficeButton1;
    QToolButton *LMDOfficeButton9;
    QToolButton *LMDOfficeButton7;
    QTableWidget *sg1;
    QLineEdit *edt1;
    ChannelChooser *cb1;
    QComboBox *cbMode;
    QDateEdit *cal1;
    QTimeEdit *edtStartTime;
    QTimeEdit *edtLaenge;
    QPushButton *BtnChangeLine;
    QProgressBar *ProgressBar1;
    QLabel *Label3;
    QPushButton *LMDOfficeButton8;

private:
    void buildWindow();
    void sg1SelectCell(int row);
    void sg1Click(int row);
    void fillGridRow(int row);
    void rebuildGrid();
    bool rememberedRowIsData() const;
    TransferProgress transferProgress();

    BoxClient &m_box;
    ActivityLog &m_log;
    TimerFolders m_folders;
    BoxClock m_clock;
    TimerList m_list;
    ChannelSettings m_settings;
    int m_rememberedRow = 0;
    // The grid row whose values the panel shows (-1: none since the grid was rebuilt).
    int m_panelRow = -1;
    bool m_headerFixed = false;
    bool m_rebuilding = false;
    ConfirmFunction m_confirm;
    PrinterChooser m_choosePrinter;
    std::function<void()> m_openPlanner;
    QTimer *m_clockTimer;
};
