#pragma once

#include <functional>
#include <initializer_list>

#include <QDialog>
#include <QImage>
#include <QList>
#include <QObject>
#include <QPair>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QVector>

#include <memory>

#include "device/DeviceTable.h"
#include "emulatorprocess.h"

class CVantrel;
class QPushButton;
class QStandardItemModel;

/// What the GUI tests share: the Config.ini that points the main window at the emulator, windows
/// that search it, an answerer for the modal windows the code under test opens, a log of the status
/// column and lookups between table rows and emulated cameras.
///
///     QVERIFY(guitest::startEmulator(emulator, {"--count", "3"}, {{"UpgradeInfo/ModifyIP", "1"}}));
///     auto pWindow = guitest::searchedWindow(emulator.cameraCount());
///     QVERIFY(pWindow);
///     guitest::ModalAnswerer answerer;
///     guitest::StatusLog log(pWindow->tableModel());
///     guitest::checkRows(*pWindow, {0, 2});
///     QVERIFY(guitest::runBatch(*pWindow, "btnOpenDhcp"));
///     QCOMPARE(log.forRow(guitest::rowOfCamera(*pWindow, emulator, 1)), QStringList{...});
namespace guitest {

/// Status column of the device table.
constexpr int kStatusColumn = ColumnStatus;

using ConfigKeys = ::ConfigKeys;

/// Config.ini beside the test executable, where the window reads its settings.
QString configPath();
/// Writes baText as Config.ini, replacing any earlier one.
bool writeConfigText(const QByteArray& baText);
/// Writes a Config.ini whose [Network] group keeps everything on loopback (loopback broadcast,
/// LoopbackOnly=1, AddressCheck=device) with DiscoveryPort=nDiscoveryPort (left out when 0), plus
/// lstExtra; an extra key of the Network group is added to that group.
bool writeConfig(quint16 nDiscoveryPort, const ConfigKeys& lstExtra = {});
void removeConfig();

/// Starts the emulator with the arguments and writes the Config.ini (with lstExtra) that points the
/// window at it. False, with the emulator's diagnostics as a warning, when either fails.
bool startEmulator(EmulatorProcess& emulator, const QStringList& lstArguments, const ConfigKeys& lstExtra = {},
                   int nReadyTimeoutMs = 20000);
/// Removes Config.ini and stops the emulator; true when it exited cleanly.
bool stopEmulator(EmulatorProcess& emulator);

/// A new main window, shown and active, whose searches last nSearchMs.
std::unique_ptr<CVantrel> newWindow(int nSearchMs = 800);
/// Presses Search and waits for the pass to end and its results to arrive; true when the table then
/// holds nExpectedRows rows (any number when negative).
bool search(CVantrel& window, int nExpectedRows, int nTimeoutMs = 10000);
/// newWindow() after one search() that found nExpectedRows; null (with a warning) otherwise.
std::unique_ptr<CVantrel> searchedWindow(int nExpectedRows, int nSearchMs = 800, int nTimeoutMs = 10000);
/// Presses a batch button and waits for the window to be idle again, then lets the worker's last
/// queued writes arrive. False when the press was refused (the window never left idle) or the batch
/// outlasted nDeadlineMs.
bool runBatch(CVantrel& window, const char* szButton, int nDeadlineMs = 20000);

/// A real mouse double-click on row nRow's address cell. When it starts a login (it runs off the
/// user-interface thread), waits for its end.
void doubleClickRow(CVantrel& window, int nRow, int nTimeoutMs = 10000);
/// The double-click login of row nRow with the password field as it is: waits for the login to end
/// (it runs off the user-interface thread). True when the row is logged in afterwards.
bool loginRow(CVantrel& window, int nRow, int nTimeoutMs = 10000);

QPushButton* button(const CVantrel& window, const char* szName);
/// A left click on the named button.
void click(CVantrel& window, const char* szButton);
QString cell(const CVantrel& window, int nRow, int nColumn);
/// The status column, top to bottom.
QStringList statusColumn(const CVantrel& window);
/// Sets the check box of each row (numbered from 0).
void checkRows(CVantrel& window, std::initializer_list<int> lstRows, Qt::CheckState state = Qt::Checked);
/// The rows whose box is fully checked.
QList<int> checkedRows(const CVantrel& window);

/// The row showing this MAC (any letter case); -1 when none does.
int rowOfMac(const CVantrel& window, const QString& strMac);
/// The row of emulated camera nCamera, found by its MAC (addresses can be shared); -1 when none.
int rowOfCamera(const CVantrel& window, EmulatorProcess& emulator, int nCamera);
/// The emulated camera shown in row nRow, found by its MAC; -1 when none.
int cameraOfRow(const CVantrel& window, EmulatorProcess& emulator, int nRow);
/// An integer member of the emulator's view of camera nCamera ("Logins", "Sessions", ...); -1 when
/// the camera or the member is missing.
int cameraValue(EmulatorProcess& emulator, int nCamera, const char* szName);

/// A message box as it was shown.
struct BoxSeen
{
    QString strTitle;
    QString strText;
    QStringList lstButtons;
    QImage imgIcon;
};

/// The icon CMessageBox shows for icon number nIcon.
QImage boxIcon(int nIcon);

/// Answers the modal windows the code under test opens, polling every 5 ms so that a wrong modal
/// never hangs a test. A visible message box is always served first (it may sit on top of another
/// dialog): it is recorded and its first button pressed. Any other dialog goes to the handler set
/// for its class, else to the first action queued for its class, else it is recorded and rejected
/// (unless built with LeaveOthers, for tests that open dialogs of their own).
/// A handler runs at once inside the poll: it answers on the spot (a file dialog must be answered
/// so) and must not open modal windows itself. A queued action runs posted, outside the poll, so the
/// boxes its own steps open are answered; no other dialog is served until it returns.
class ModalAnswerer : public QObject
{
public:
    enum OtherDialogs
    {
        RejectOthers,
        LeaveOthers
    };

    explicit ModalAnswerer(OtherDialogs others = RejectOthers);

    /// Runs fnAction on the next dialog of class T (posted, see above).
    template <class T> void queue(std::function<void(T*)> fnAction)
    {
        lstActions_.append({&T::staticMetaObject, wrap(std::move(fnAction))});
    }
    /// Runs fnHandler on every dialog of class T, at once (see above).
    template <class T> void handle(std::function<void(T*)> fnHandler)
    {
        lstHandlers_.append({&T::staticMetaObject, wrap(std::move(fnHandler))});
    }
    /// Queued actions not yet run.
    int pendingActions() const { return lstActions_.size(); }
    /// Forgets what was seen; queued actions and handlers stay.
    void clear();

    QVector<BoxSeen> lstBoxes;
    /// "title|text" of every box and "dialog|ClassName" of every rejected dialog, in order.
    QStringList lstSeen;
    /// Class names of the rejected dialogs.
    QStringList lstUnexpected;

private:
    using Action = QPair<const QMetaObject*, std::function<void(QDialog*)>>;

    template <class T> static std::function<void(QDialog*)> wrap(std::function<void(T*)> fn)
    {
        return [fn = std::move(fn)](QDialog* pDialog) { fn(static_cast<T*>(pDialog)); };
    }
    void tick();
    bool answerBox();
    std::function<void(QDialog*)> takeActionFor(QDialog* pDialog);
    std::function<void(QDialog*)> handlerFor(QDialog* pDialog) const;

    QTimer timer_;
    OtherDialogs others_;
    QList<Action> lstActions_;
    QList<Action> lstHandlers_;
    bool bActionRunning_ = false;
};

/// Checks that exactly one box opened, with this title, text, a lone OK button and icon nIcon, and
/// no unexpected dialog.
void expectOneBox(const ModalAnswerer& answerer, const QString& strTitle, const QString& strText, int nIcon);

/// Every text written into the status column, in order, as "row:text".
class StatusLog : public QObject
{
public:
    explicit StatusLog(QStandardItemModel* pModel);
    /// The texts written into row nRow, in order.
    QStringList forRow(int nRow) const;

    QStringList lst;
};

} // namespace guitest
