#pragma once

#include "modemsimprocess.h"
#include "smscontrol.h"
#include <QElapsedTimer>
#include <QSerialPort>
#include <QSignalSpy>
#include <QTest>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <memory>

namespace SmsControlTest {

inline QString longLatinText(int n)
{
    QString s;
    for (int i = 0; s.size() < n; ++i)
        s += QStringLiteral("Part %1 of a long message {with [brackets]} and € signs. ").arg(i);
    return s.left(n);
}

inline QString longChineseText(int n)
{
    const QString pattern = QStringLiteral("短信平台收到来自网关的测试消息，𠀋𡈽 😀。");
    QString s;
    while (s.size() < n)
        s += pattern;
    // Never end between the two halves of a surrogate pair.
    if (s[n - 1].isHighSurrogate())
        ++n;
    return s.left(n);
}

// Sets the parameters in the order and with the values the gateway uses.
inline void configure(SmsControl &c, int port)
{
    QString empty;
    c.SetParam(10, empty, port);
    c.SetParam(11, empty, 115200);
    c.SetParam(14, empty, 0);
    c.SetParam(7, empty, 0);
    c.SetParam(17, empty, 2);
}

} // namespace SmsControlTest

class TestSmsControl : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void init();

    void opensAndReportsModel();
    void sendsToAnotherModem_data();
    void sendsToAnotherModem();
    void receivesSplitAndReordered_data();
    void receivesSplitAndReordered();
    void deletesOnlyAfterHandlerReturned();
    void announcesMessagesWaitingBeforeOpen();
    void ignoresVendorNoiseDuringSend();
    void failingSendReportsFailure();
    void textBeyondConcatenationFailsOnce();
    void secondSendWhileBusyIsRefused();
    void handlerMaySendNextMessage();
    void silentModemDuringSendEndsInTime();
    void messageQueuedBehindSilenceGetsNoResult();
    void fullSimReportedUnaskedIsEmptied();
    void idleModemUnpluggedIsLostAndOpensAfterPlug();
    void restartedModemIsLostAndOpensAgain();
    void transientRefusalRetriedOnce_data();
    void transientRefusalRetriedOnce();
    void deliveryReportCarriesReferenceOfLastPart_data();
    void deliveryReportCarriesReferenceOfLastPart();
    void silentOpenLetsOtherModemsWork();
    void simBusyAfterPowerOnIsWaitedFor();
    void simProblemIsNamed_data();
    void simProblemIsNamed();
    void registrationLostAndRegained();
    void closeUnderAcceptedSendIsNoFailure();
    void vanishedModemEndsSend();
    void silentModemFailsOpenWithinBound();
    void recoversModemLeftInTextEntry();
    void portHeldElsewhereFailsAtOnce_data();
    void portHeldElsewhereFailsAtOnce();
    void missingPortFails();
    void incomingCallIsHungUp();
    void probeFindsExactlyTheSimulatedPorts();
    void messageTheModemNeverHadEndsAsSuch();
    void reopenAfterCutSendIsInStep();
    void restartedModemGivesBackWhatItNeverHadAndOpensAtOnce();
    void failedSendSaysWhy();
    void onlyALastingRefusalIsFinal_data();
    void onlyALastingRefusalIsFinal();
    void lostDeviceForgetsItsHealth();
    void beginOpenEndsAsOpenCommWould();
    void silentPortHoldsUpNoOtherOpen();
    void closeDuringOpenCancelsIt();
    void controlDeletedDuringOpen();
    void restartedModemSaysItIsOpenAgain();
    void restartDuringCallersOpenIsTheCallers();
    void dozingModemSendsAfterIdle();
    void dozingModemAnswersHealthReadsAfterIdle();

private:
    std::unique_ptr<ModemSimProcess> m_sim;
};
