#pragma once

// What the chat window shows, in Windows-1252 (turned into Unicode for its
// controls).
namespace chat::texts {

inline constexpr char kTitle[] = "Quorvel Chat";
inline constexpr char kHostLabel[] = "Rechner des Partners:";
inline constexpr char kNameLabel[] = "Namensnummer:";
inline constexpr char kConnect[] = "Verbinden";
inline constexpr char kSend[] = "Senden";

inline constexpr char kReady[] = "Rechner des Partners und Namensnummer eingeben, dann \"Verbinden\".";
inline constexpr char kRelayMissing[] = "Quorvel l\xE4" "uft nicht: bitte zuerst Quorvel.exe starten.";
inline constexpr char kRelayRefused[] = "Quorvel hat die Anmeldung dieses Programms abgelehnt.";
inline constexpr char kEnterHost[] = "Bitte den Rechner des Partners eingeben.";
inline constexpr char kBadHost[] = "Der Name des Rechners ist zu lang.";
inline constexpr char kBadName[] = "Die Namensnummer muss eine ganze Zahl sein.";
inline constexpr char kHostNotFoundBefore[] = "Der Rechner des Partners (";
inline constexpr char kHostNotFoundAfter[] = ") kann nicht gefunden werden.";
// Paired: this relay took the create and the login; whether the partner's
// relay takes this side's texts is known only once the partner is heard.
inline constexpr char kPairedBefore[] = "Bereit: gepaart mit ";
inline constexpr char kPairedAfter[] =
    ". Texte kommen an, sobald der Partner ebenfalls verbunden hat.";
// Connected: a text from the partner has arrived.
inline constexpr char kConnectedBefore[] = "Verbunden mit ";
inline constexpr char kConnectedName[] = ", Namensnummer ";
inline constexpr char kNoLinkUp[] = "Quorvel hat die Verbindung nicht best\xE4" "tigt.";
inline constexpr char kNotConnected[] = "Noch nicht verbunden: zuerst \"Verbinden\".";
inline constexpr char kNotAccepted[] = "Quorvel hat den Befehl nicht angenommen.";
inline constexpr char kTextTooLong[] = "Der Text ist zu lang: h\xF6" "chstens 65506 Bytes passen in eine Nachricht.";
inline constexpr char kInputFull[] =
    "Die Eingabe ist voll: h\xF6" "chstens 65506 Zeichen passen in eine Nachricht, der Rest wurde nicht \xFC" "bernommen.";
// Followed by the characters, each with its code point.
inline constexpr char kUnrepresentable[] = "Nicht gesendet: Diese Zeichen kann Quorvel nicht \xFC" "bertragen: ";
inline constexpr char kMoreUnrepresentable[] = " und weitere";
inline constexpr char kNoMemory[] = "Nicht genug Speicher.";
inline constexpr char kTextLost[] = "Ein Text des Partners konnte nicht gelesen werden.";
inline constexpr char kOwnLine[] = "Ich: ";
// A mark for an own line the partner's relay did not take at once, naming
// the line by its time and beginning.
inline constexpr char kMarkLine[] = "Vermerk: ";
inline constexpr char kMarkWaiting[] = " wartet auf den Partner";
inline constexpr char kMarkSentLater[] = " wurde sp\xE4" "ter gesendet";
inline constexpr char kMarkNotDelivered[] = " wurde nicht zugestellt";
inline constexpr char kPartnerLine[] = "Partner: ";

}  // namespace chat::texts
