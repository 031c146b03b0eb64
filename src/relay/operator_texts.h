#pragma once

// Every text the operator sees, in the window's code page (Windows-1252).
// Non-ASCII letters are written as hex escapes; a literal is split right
// after an escape so that the next letter is not taken into it.

namespace quorvel::texts {

inline constexpr char kSettingsFile[] = "JOX-UDP.ini";
inline constexpr char kSettingsGroup[] = "UDP Settings";
inline constexpr char kPortKey[] = "Port";
inline constexpr char kReceiveBufferKey[] = "ReceiveBuffer Size";
inline constexpr char kSendBufferKey[] = "SendBuffer Size";
inline constexpr char kDebuggingKey[] = "Debugging";
inline constexpr char kDebugEntriesKey[] = "Debugging Entries";
inline constexpr char kLogFileKey[] = "Log File";
inline constexpr char kLogFileSizeKey[] = "Log File Size";
inline constexpr char kTrayIconKey[] = "Tray Icon";

inline constexpr char kErrorCaption[] = "Error";

// Start-up.
inline constexpr char kNetworkStartFailed[] = "Es war nicht m\xF6" "glich ihr Netzwerk zu initalisieren.";
inline constexpr char kPortTakenBefore[] = "Es war nicht m\xF6" "glich einen Server auf dem Port ";
inline constexpr char kPortTakenAfter[] =
    " UDP zu erstellen.\nVielleicht l\xE4" "uft Quorvel.exe schon oder ein anderes Programm belegt den Port.";
inline constexpr char kWindowCreatedFormat[] = "Fenster mit der hwnd %ld erstellt";
inline constexpr char kServerStartedFormat[] = "Server auf Port %ld initalisiert";
inline constexpr char kLogFileFailedFormat[] =
    "Die Logdatei %s kann nicht geschrieben werden, es wird nicht mehr hineingeschrieben";

// The ways the relay ends besides the client's Quit (kQuitting), each with
// its own line.
inline constexpr char kEndedByClose[] = "Programm wird beendet: Fenster geschlossen";
inline constexpr char kEndedByIcon[] = "Programm wird beendet: \xFC" "ber das Symbol im Infobereich";
inline constexpr char kEndedBySessionEnd[] = "Programm wird beendet: Windows-Sitzung endet";

// The notification-area icon: its tooltip and its menu.
inline constexpr char kIconTipFormat[] = "Quorvel-Relais, UDP-Port %ld";
inline constexpr char kIconShowWindow[] = "Debug-Fenster anzeigen";
inline constexpr char kIconHideWindow[] = "Debug-Fenster ausblenden";
inline constexpr char kIconOpenLogFile[] = "Logdatei \xF6" "ffnen";
inline constexpr char kIconEnd[] = "Quorvel beenden";

// Peer protocol (datagrams from partners).
inline constexpr char kReceiveEvent[] = "EmpfangsEvent";
inline constexpr char kBufferResize[] = "Buffer Resize";
inline constexpr char kBufferResizedFormat[] = "Der EmpfangBuffer wurde auf %ld Kb erh\xF6" "ht";
inline constexpr char kBufferNotResizedFormat[] =
    "Der EmpfangBuffer konnte nicht auf %ld Kb vergr\xF6\xDF" "ert werden";
inline constexpr char kDatagramDroppedFormat[] = "Ein Datagramm mit %ld Bytes wurde verworfen";
inline constexpr char kLogin[] = "Login";
inline constexpr char kLoginIpFormat[] = "IP: %d.%d.%d.%d";
inline constexpr char kLoginNameFormat[] = "Name: %ld";
inline constexpr char kLoginAccepted[] = "Name gefunden, Login erfolgreich!";
inline constexpr char kLoginRefused[] = "Name nicht gefunden, Login FEHLGESCHLAGEN!";
inline constexpr char kTextFromFormat[] = "Der Text stammt von %ld";
inline constexpr char kLogoutReceived[] = "User hat sich abgemeldet";
inline constexpr char kLoginRepeated[] = "Jemand versucht sich erneut einzuloggen.";
inline constexpr char kLoginOkReceived[] = "Es ist eine LoginOK";
inline constexpr char kLoginFailedReceived[] = "Login fehlgeschlagen";
inline constexpr char kAlreadyLoggedInReceived[] = "Schon angemeldet.";
inline constexpr char kPingReceived[] = "Wir werden gepingt";
inline constexpr char kAliveReceived[] = "Er ist noch am Leben";
inline constexpr char kTextReceived[] = "Es ist ein Text";
inline constexpr char kTextFollowsReceived[] = "Er beinhaltet folgende Nachricht:";
inline constexpr char kTextForwardedFormat[] = "Nachricht wird an das Fenster %ld weitergeleitet";

// Client link (client window messages and commands).
inline constexpr char kWindowEvent[] = "WindowEvent";
inline constexpr char kClientLoginFormat[] = "Login von %ld";
inline constexpr char kClientMessage[] = "Nachricht";
inline constexpr char kSenderFormat[] = "Absender %ld";
inline constexpr char kCreatesVirtualServerFormat[] = "Das Fesnter %ld erstellt einen Virtuellen Server";
inline constexpr char kHostNotFoundBefore[] = "Die Angegebene IP (";
inline constexpr char kHostNotFoundAfter[] = ") kann nicht gefunden werden.";
inline constexpr char kNoConnectionBefore[] = "Konnte keine Verbindung zu ";
inline constexpr char kNoConnectionPort[] = " auf dem Port ";
inline constexpr char kNoConnectionAfter[] =
    "aufbauen.\nSind sie sicher dass sie den Port ge\xF6" "ffnet und ihr ChatPartener das Programm ge\xF6" "ffnet hat?";
inline constexpr char kClientFound[] = "Client gefunden";
inline constexpr char kClientLinkUp[] = "Exe/Dll-Fenster Komunikation aufgebaut";
inline constexpr char kTextBeingSent[] = "Ein Nachricht wird versendet";
inline constexpr char kTextFollows[] = "Sie enth\xE4" "lt den folgenden Text:";
inline constexpr char kSendEvent[] = "SendeEvent";
inline constexpr char kLoginBeingSent[] = "Login wird gesendet";
inline constexpr char kLoginDataFormat[] = "Mit den folgenden Daten: Name:%ld IP:%d.%d.%d.%d hnwd:%ld";
inline constexpr char kQuitting[] = "Programm wird beendet";
inline constexpr char kSendingDataFromFormat[] = "Sende Daten von %ld";
inline constexpr char kDataFollows[] = "Folgende Daten werden gesendet:";
// Records and announcements the relay turns away.
inline constexpr char kBadLengthFormat[] = "Die Nachricht hat die ung\xFC" "ltige L\xE4" "nge %lld und wird abgewiesen";
inline constexpr char kTooLongFormat[] = "Die Nachricht ist mit %lld Bytes zu lang und wird abgewiesen";
inline constexpr char kNoMemoryForRecordFormat[] = "Kein Speicher f\xFC" "r eine Nachricht von %ld Bytes, sie wird abgewiesen";
inline constexpr char kNoSender[] = "Kein angemeldeter Prozess kann die Nachricht liefern, sie wird verworfen";
inline constexpr char kNoMemoryForClientFormat[] = "Kein Speicher f\xFC" "r den Client %ld, die Anmeldung wird abgewiesen";
inline constexpr char kCreateTooShortFormat[] =
    "Der Befehl zum Erstellen ist mit %ld Bytes zu kurz und wird abgewiesen";
inline constexpr char kHostNotEnded[] = "Der Rechnername endet nicht im Befehl, der Befehl wird abgewiesen";
inline constexpr char kNoMemoryForHost[] = "Kein Speicher f\xFC" "r den Rechnernamen, der Befehl wird abgewiesen";
inline constexpr char kEarlierLinkClosed[] = "Die bisherige Verbindung wird geschlossen";
inline constexpr char kTakeOverFormat[] = "Der Virtuelle Server von %ld wird \xFC" "bernommen";
inline constexpr char kNoAnswerFormat[] = "Das Fenster %ld hat nicht rechtzeitig geantwortet";
inline constexpr char kAnswersAgainFormat[] = "Das Fenster %ld antwortet wieder";
inline constexpr char kReportsOnFormat[] = "Das Fenster %ld bekommt Berichte \xFC" "ber wartende Texte";
inline constexpr char kReportsOffFormat[] = "Das Fenster %ld bekommt keine Berichte mehr";
// A partner that comes and goes, and the texts that wait for it.
inline constexpr char kPartnerLoggedInAnewFormat[] = "Der Partner meldet sich neu an, von Port %ld";
inline constexpr char kLoginSentBack[] = "Eigener Login wird erneut gesendet";
inline constexpr char kTextRefusedSentAgain[] =
    "Der Partner hat einen Text abgelehnt, er wird nach einem Login erneut gesendet";
inline constexpr char kPartnerPortClosed[] = "Der Port des Partners ist geschlossen";
inline constexpr char kTextsWaitFormat[] = "Texte warten auf den Partner: %ld";
inline constexpr char kWaitingTextDroppedFormat[] = "Ein wartender Text wird verworfen, %ld Bytes";
inline constexpr char kWaitingTextsSentFormat[] = "%ld wartende Texte werden gesendet";
inline constexpr char kWaitingTextsLostFormat[] = "%ld wartende Texte gehen verloren";
inline constexpr char kNoMemoryForDatagram[] = "Kein Speicher f\xFC" "r das Datagramm, es wird nicht gesendet";

}  // namespace quorvel::texts
