#pragma once
// The language texts of the measurement: what Start writes into the receive
// box, the labels of the notes header, and the messages about the port, the
// working file and its folder.

#include "LanguageText.h"

namespace MeasurementTexts {

/// Time and date labels that Start writes into the receive box.
inline const LanguageText startTimeLabel{QStringLiteral("    Uhrzeit: "), QStringLiteral("  Time: "), QStringLiteral("  Temps: ")};
inline const LanguageText startDateLabel{QStringLiteral("    Datum: "), QStringLiteral("  Date: "), QStringLiteral("  Date: ")};

/// A Start with no serial port set in the settings (port 0).
inline const LanguageText noPortNumber{
    QStringLiteral("In den Einstellungen ist keine Schnittstelle gewählt: "
                   "bitte unter Einstellungen, Programm Optionen eine wählen und speichern."),
    QStringLiteral("No serial port is set in the settings: "
                   "choose one under Settings, User settings, and save."),
    QStringLiteral("Aucun port série n'est choisi dans les paramètres : "
                   "choisissez-en un sous Options, User Setting, puis enregistrez.")};
/// A Start while the port is open already.
inline const LanguageText portAlreadyOpen{QStringLiteral("Die Schnittstelle ist bereits geöffnet."),
                                          QStringLiteral("The serial port is open already."),
                                          QStringLiteral("Le port série est déjà ouvert.")};

/// Added to the port error when the user may not open the device.
inline const LanguageText portGroupHint{
    QStringLiteral("Nur Mitglieder der Gruppe \"%1\" dürfen diese Schnittstelle öffnen: "
                   "sudo usermod -aG %1 $USER eingeben und sich neu anmelden."),
    QStringLiteral("Only members of the group \"%1\" may open this port: "
                   "run sudo usermod -aG %1 $USER and log in again."),
    QStringLiteral("Seuls les membres du groupe \"%1\" peuvent ouvrir ce port : "
                   "lancez sudo usermod -aG %1 $USER puis reconnectez-vous.")};

/// Added to the port error when a lock file left by an ended program
/// holds the device.
inline const LanguageText staleLockHint{
    QStringLiteral("Die Schnittstelle ist durch die Sperrdatei \"%1\" des Benutzers %2 belegt, "
                   "die ein beendetes Programm hinterlassen hat. Entfernen mit: sudo rm %1"),
    QStringLiteral("The port is held by the lock file \"%1\" of the user %2, "
                   "left behind by a program that has ended. Remove it with: sudo rm %1"),
    QStringLiteral("Le port est bloqué par le fichier de verrou \"%1\" de l'utilisateur %2, "
                   "laissé par un programme terminé. Supprimez-le avec : sudo rm %1")};

/// Added to the port error when a running program holds the port's lock.
inline const LanguageText portInUseHint{
    QStringLiteral("Die Schnittstelle wird vom Programm %4 (Prozess %3) des Benutzers %2 benutzt "
                   "(Sperrdatei \"%1\"). Beenden Sie dieses Programm und versuchen Sie es erneut."),
    QStringLiteral("The port is in use by the program %4 (process %3) of the user %2 "
                   "(lock file \"%1\"). End that program, then try again."),
    QStringLiteral("Le port est utilisé par le programme %4 (processus %3) de l'utilisateur %2 "
                   "(fichier de verrou \"%1\"). Quittez ce programme, puis réessayez.")};

/// Start refused: the port's COM<N> in the settings folder belongs to another user.
inline const LanguageText untrustedPortLink{
    QStringLiteral("Die Schnittstelle wird nicht geöffnet: %1 gehört dem Benutzer %2. "
                   "Es werden nur eigene Port-Verweise und die von root benutzt."),
    QStringLiteral("The port is not opened: %1 belongs to the user %2. "
                   "Only your own port links and root's are used."),
    QStringLiteral("Le port n'est pas ouvert : %1 appartient à l'utilisateur %2. "
                   "Seuls vos propres liens de port et ceux de root sont utilisés.")};

/// Added to the system's reason when the port's device is no serial port.
inline const LanguageText notSerialPort{
    QStringLiteral("%1 ist keine serielle Schnittstelle."),
    QStringLiteral("%1 is not a serial port."),
    QStringLiteral("%1 n'est pas un port série.")};

/// The port's link (COM<N>, or the device given for this run) leads to a
/// device that is not there: %1 the link, %2 where it leads.
inline const LanguageText linkLeadsNowhere{
    QStringLiteral("%1 verweist auf %2, das es nicht gibt: ist das Messgerät angeschlossen?"),
    QStringLiteral("%1 leads to %2, which does not exist: is the instrument connected?"),
    QStringLiteral("%1 renvoie à %2, qui n'existe pas : l'instrument est-il branché ?")};

inline const LanguageText recoveredText{
    QStringLiteral("Die nicht gespeicherte Messung des letzten Laufs wurde als \"%1\" aufbewahrt."),
    QStringLiteral("The unsaved measurement of the last run was kept as \"%1\"."),
    QStringLiteral("La mesure non sauvegardée de la dernière session a été gardée sous \"%1\".")};
/// The same for a measurement of this run, kept at the next start.
inline const LanguageText recoveredThisRunText{
    QStringLiteral("Die nicht gespeicherte Messung wurde als \"%1\" aufbewahrt."),
    QStringLiteral("The unsaved measurement was kept as \"%1\"."),
    QStringLiteral("La mesure non sauvegardée a été gardée sous \"%1\".")};
inline const LanguageText recoverFailedText{
    QStringLiteral("Die nicht gespeicherte Messung des letzten Laufs konnte nicht kopiert werden: %1\n"
                   "Ihre Daten sind weiterhin in \"%2\"; bitte diese Datei verschieben und das Programm neu starten, bevor Sie messen."),
    QStringLiteral("The unsaved measurement of the last run could not be copied: %1\n"
                   "Its data are still in \"%2\"; move that file and start the program again before measuring."),
    QStringLiteral("La mesure non sauvegardée de la dernière session n'a pas pu être copiée : %1\n"
                   "Ses données sont toujours dans \"%2\" ; déplacez ce fichier et redémarrez le programme avant de mesurer.")};

inline const LanguageText recoverFailedThisRunText{
    QStringLiteral("Die nicht gespeicherte Messung konnte nicht kopiert werden: %1\n"
                   "Ihre Daten sind weiterhin in \"%2\"; bitte diese Datei verschieben, bevor Sie erneut messen."),
    QStringLiteral("The unsaved measurement could not be copied: %1\n"
                   "Its data are still in \"%2\"; move that file before measuring again."),
    QStringLiteral("La mesure non sauvegardée n'a pas pu être copiée : %1\n"
                   "Ses données sont toujours dans \"%2\" ; déplacez ce fichier avant de mesurer à nouveau.")};

inline const LanguageText folderInUseText{
    QStringLiteral("In diesem Ordner zeichnet bereits eine andere Kopie des Programms auf:\n%1\n"
                   "Bitte diese Kopie beenden oder das Programm in einem anderen Ordner starten."),
    QStringLiteral("Another copy of the program is already recording in this folder:\n%1\n"
                   "End that copy, or start the program in another folder."),
    QStringLiteral("Une autre copie du programme enregistre déjà dans ce dossier :\n%1\n"
                   "Fermez cette copie ou démarrez le programme dans un autre dossier.")};
inline const LanguageText startRefusedText{
    QStringLiteral("Im Ordner \"%1\" kann keine Messung aufgezeichnet werden:\n%2"),
    QStringLiteral("No measurement can be recorded in the folder \"%1\":\n%2"),
    QStringLiteral("Aucune mesure ne peut être enregistrée dans le dossier \"%1\" :\n%2")};

inline const LanguageText foreignWorkingFileText{
    QStringLiteral("\"%1\" ist ein Verweis, ein Ordner oder die Datei eines anderen Benutzers; "
                   "das Programm zeichnet dort nicht auf.\n"
                   "Bitte diesen Eintrag entfernen oder das Programm in einem anderen Ordner starten."),
    QStringLiteral("\"%1\" is a link, a folder or another user's file; the program does not record into it.\n"
                   "Remove it, or start the program in another folder."),
    QStringLiteral("\"%1\" est un lien, un dossier ou le fichier d'un autre utilisateur ; "
                   "le programme n'y enregistre pas.\n"
                   "Supprimez-le ou démarrez le programme dans un autre dossier.")};
inline const LanguageText foreignSaveTargetText{
    QStringLiteral("Die Messung wurde nicht gespeichert: \"%1\" ist ein Verweis eines anderen Benutzers.\n"
                   "Bitte einen anderen Namen wählen."),
    QStringLiteral("The measurement was not saved: \"%1\" is a link made by another user.\n"
                   "Please choose another name."),
    QStringLiteral("La mesure n'a pas été sauvegardée : \"%1\" est un lien créé par un autre utilisateur.\n"
                   "Choisissez un autre nom.")};
inline const LanguageText workingFileTargetText{
    QStringLiteral("Die Messung wurde nicht gespeichert: \"%1\" führt zur Arbeitsdatei \"%2\".\n"
                   "Bitte einen anderen Namen wählen."),
    QStringLiteral("The measurement was not saved: \"%1\" leads to the working file \"%2\".\n"
                   "Please choose another name."),
    QStringLiteral("La mesure n'a pas été sauvegardée : \"%1\" mène au fichier de travail \"%2\".\n"
                   "Choisissez un autre nom.")};

/// Time and date labels of the notes header that starts the working file.
inline const LanguageText notesTimeLabel{QStringLiteral("  Uhrzeit: "), QStringLiteral("  Time: "),
                                         QStringLiteral("  Temps: ")};
inline const LanguageText notesDateLabel{QStringLiteral("  Datum: "), QStringLiteral("  Date: "),
                                         QStringLiteral("  Date: ")};

/// The box shown when the instrument's header did not arrive; no box for a
/// language other than the three.
inline const LanguageText transmissionError{
    QStringLiteral(" Es ist ein Übertragungsfehler aufgetreten... Bitte Drücken Sie Start/ Stopp !"),
    QStringLiteral("Data transsmision error... Please press Start / Stop again !"),
    QStringLiteral("Erreur transmission de données ... appuyez encore sur Start / Stop s.v.p")};
inline const LanguageText transmissionErrorTitle{QStringLiteral("Bitte Messung neu starten !"),
                                                 QStringLiteral("Please start the transmission again !"),
                                                 QStringLiteral("Erreur transmission de données")};

} // namespace MeasurementTexts
