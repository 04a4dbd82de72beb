<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de_DE">
<context>
    <name>CAboutDlg</name>
    <message>
        <source>Copyright © Quillmere. All rights reserved.</source>
        <translation>Copyright © Quillmere. Alle Rechte vorbehalten.</translation>
    </message>
    <message>
        <source>About</source>
        <translation>Über</translation>
    </message>
    <message>
        <source>Web:</source>
        <translation>Web:</translation>
    </message>
    <message>
        <source>Forum:</source>
        <translation>Forum:</translation>
    </message>
    <message>
        <source>E-mail:</source>
        <translation>E-Mail:</translation>
    </message>
</context>
<context>
    <name>CDetailsPane</name>
    <message>
        <source>The fingerprints of this pair are not in the cache.</source>
        <translation>Die Fingerabdrücke dieses Paars sind nicht im Zwischenspeicher.</translation>
    </message>
</context>
<context>
    <name>CDetailsWnd</name>
    <message>
        <source>artist</source>
        <translation>Interpret</translation>
    </message>
    <message>
        <source>title</source>
        <translation>Titel</translation>
    </message>
    <message>
        <source>album</source>
        <translation>Album</translation>
    </message>
    <message>
        <source>duration</source>
        <translation>Dauer</translation>
    </message>
    <message>
        <source>size</source>
        <translation>Größe</translation>
    </message>
    <message>
        <source>bitrate</source>
        <translation>Bitrate</translation>
    </message>
    <message>
        <source>folder</source>
        <translation>Ordner</translation>
    </message>
    <message>
        <source>filename</source>
        <translation>Dateiname</translation>
    </message>
    <message>
        <source> Kbit</source>
        <translation> kbit</translation>
    </message>
    <message>
        <source> Mbit</source>
        <translation> Mbit</translation>
    </message>
    <message>
        <source>Delete file: </source>
        <translation>Datei löschen: </translation>
    </message>
    <message>
        <source>Play file: </source>
        <translation>Datei abspielen: </translation>
    </message>
    <message>
        <source>n/a</source>
        <translation>n. v.</translation>
    </message>
    <message>
        <source> MB</source>
        <translation> MB</translation>
    </message>
</context>
<context>
    <name>CFileCommands</name>
    <message>
        <source>Move this file to the trash?

</source>
        <translation>Diese Datei in den Papierkorb verschieben?

</translation>
    </message>
    <message>
        <source>Warning</source>
        <translation>Warnung</translation>
    </message>
    <message>
        <source>Error</source>
        <translation>Fehler</translation>
    </message>
    <message numerus="yes">
        <source>Move these %n file(s) to the trash?

</source>
        <translation>
            <numerusform>Diese %n Datei in den Papierkorb verschieben?

</numerusform>
            <numerusform>Diese %n Dateien in den Papierkorb verschieben?

</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>... and %n more
</source>
        <translation>
            <numerusform>... und %n weitere
</numerusform>
            <numerusform>... und %n weitere
</numerusform>
        </translation>
    </message>
    <message>
        <source>The file would replace %1:
%2</source>
        <translation>Die Datei würde %1 ersetzen:
%2</translation>
    </message>
    <message>
        <source>Can&apos;t write the file
</source>
        <translation>Die Datei kann nicht geschrieben werden
</translation>
    </message>
    <message numerus="yes">
        <source>%n path(s) left out of the playlist: a name with a line break, or too long, cannot be written as one line</source>
        <translation>
            <numerusform>%n Pfad in der Wiedergabeliste ausgelassen: ein Name mit Zeilenumbruch oder ein zu langer passt nicht in eine Zeile</numerusform>
            <numerusform>%n Pfade in der Wiedergabeliste ausgelassen: ein Name mit Zeilenumbruch oder ein zu langer passt nicht in eine Zeile</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>CFileJournal</name>
    <message>
        <source>... and %1 more</source>
        <translation>... und %1 weitere</translation>
    </message>
    <message>
        <source>Error</source>
        <translation>Fehler</translation>
    </message>
    <message>
        <source>Undo</source>
        <translation>Rückgängig</translation>
    </message>
    <message>
        <source>Another Harmonyfox is moving files; try again when it is done.</source>
        <translation>Ein anderes Harmonyfox verschiebt gerade Dateien; versuchen Sie es erneut, wenn es fertig ist.</translation>
    </message>
    <message>
        <source>The journal that lets Undo take actions back cannot be written in %1; no file was touched.</source>
        <translation>Das Protokoll, mit dem „Rückgängig“ Aktionen zurücknimmt, kann in %1 nicht geschrieben werden; keine Datei wurde angerührt.</translation>
    </message>
    <message>
        <source>The journal could not record that the action is over; the next start will take it back.</source>
        <translation>Das Protokoll konnte das Ende der Aktion nicht festhalten; der nächste Start nimmt sie zurück.</translation>
    </message>
    <message>
        <source>Can&apos;t move to the trash:</source>
        <translation>Kann nicht in den Papierkorb verschoben werden:</translation>
    </message>
    <message>
        <source>Can&apos;t move to %1:</source>
        <translation>Kann nicht nach %1 verschoben werden:</translation>
    </message>
    <message>
        <source>Nothing to undo.</source>
        <translation>Nichts rückgängig zu machen.</translation>
    </message>
    <message>
        <source>Scan the folders again to list the files that came back?</source>
        <translation>Die Ordner erneut durchsuchen, um die zurückgekommenen Dateien aufzulisten?</translation>
    </message>
    <message>
        <source>&amp;Edit</source>
        <translation>&amp;Bearbeiten</translation>
    </message>
    <message>
        <source>&amp;Undo</source>
        <translation>&amp;Rückgängig</translation>
    </message>
    <message>
        <source>Take back the last move to the trash or to a folder</source>
        <translation>Das letzte Verschieben in den Papierkorb oder in einen Ordner zurücknehmen</translation>
    </message>
    <message>
        <source>M&amp;ove marked to...</source>
        <translation>Markierte &amp;verschieben nach...</translation>
    </message>
    <message>
        <source>Move every marked file into a folder, keeping its path below the scanned folder</source>
        <translation>Jede markierte Datei in einen Ordner verschieben, mit ihrem Pfad unterhalb des durchsuchten Ordners</translation>
    </message>
    <message>
        <source>1 file came back.</source>
        <translation>1 Datei ist zurück.</translation>
    </message>
    <message>
        <source>%1 files came back.</source>
        <translation>%1 Dateien sind zurück.</translation>
    </message>
    <message>
        <source>1 file could not come back and was left as it is:</source>
        <translation>1 Datei konnte nicht zurückkommen und blieb, wie sie ist:</translation>
    </message>
    <message>
        <source>%1 files could not come back and were left as they are:</source>
        <translation>%1 Dateien konnten nicht zurückkommen und blieben, wie sie sind:</translation>
    </message>
    <message>
        <source>Move the file the trash could not take to a folder instead?</source>
        <translation>Die Datei, die der Papierkorb nicht aufnehmen konnte, stattdessen in einen Ordner verschieben?</translation>
    </message>
    <message>
        <source>Move the %1 files the trash could not take to a folder instead?</source>
        <translation>Die %1 Dateien, die der Papierkorb nicht aufnehmen konnte, stattdessen in einen Ordner verschieben?</translation>
    </message>
    <message>
        <source>An action was interrupted when Harmonyfox last ended; it was taken back.</source>
        <translation>Eine Aktion wurde beim letzten Ende von Harmonyfox unterbrochen; sie wurde zurückgenommen.</translation>
    </message>
    <message>
        <source>Moving files to the trash...</source>
        <translation>Dateien werden in den Papierkorb verschoben …</translation>
    </message>
    <message>
        <source>Moving files to %1...</source>
        <translation>Dateien werden nach %1 verschoben …</translation>
    </message>
    <message>
        <source>Taking the last action back...</source>
        <translation>Die letzte Aktion wird zurückgenommen …</translation>
    </message>
    <message>
        <source>Move to Trash</source>
        <translation>In den Papierkorb verschieben</translation>
    </message>
    <message>
        <source>Move to %1</source>
        <translation>Nach %1 verschieben</translation>
    </message>
    <message>
        <source>Fill Tags</source>
        <translation>Tags ergänzen</translation>
    </message>
    <message>
        <source>Playlist Changes</source>
        <translation>Wiedergabelisten ändern</translation>
    </message>
    <message>
        <source>&amp;Undo %1</source>
        <translation>&amp;Rückgängig: %1</translation>
    </message>
</context>
<context>
    <name>CFoldersDlg</name>
    <message>
        <source>Normal</source>
        <translation>Normal</translation>
    </message>
    <message>
        <source>Reference</source>
        <translation>Referenz</translation>
    </message>
    <message>
        <source>Excluded</source>
        <translation>Ausgeschlossen</translation>
    </message>
    <message>
        <source>Select folder with music files (MP3,WMA,ASF,WAV,APE,FLA,WV,...)</source>
        <translation>Ordner mit Musikdateien wählen (MP3, WMA, ASF, WAV, APE, FLA, WV, ...)</translation>
    </message>
    <message>
        <source>Folders</source>
        <translation>Ordner</translation>
    </message>
    <message>
        <source>Add folder</source>
        <translation>Ordner hinzufügen</translation>
    </message>
    <message>
        <source>Remove folder</source>
        <translation>Ordner entfernen</translation>
    </message>
    <message>
        <source>Remove all folders</source>
        <translation>Alle Ordner entfernen</translation>
    </message>
    <message>
        <source>Reference: the files are always kept, never marked or deleted.
Excluded: the folder is not scanned.</source>
        <translation>Referenz: Die Dateien werden immer behalten, nie markiert oder gelöscht.
Ausgeschlossen: Der Ordner wird nicht durchsucht.</translation>
    </message>
</context>
<context>
    <name>CFrameActions</name>
    <message>
        <source>Select f&amp;olders...</source>
        <translation>&amp;Ordner wählen...</translation>
    </message>
    <message>
        <source>Choose the folders to search for duplicates</source>
        <translation>Die Ordner wählen, in denen nach Duplikaten gesucht wird</translation>
    </message>
    <message>
        <source>Save &amp;playlist...</source>
        <translation>&amp;Wiedergabeliste speichern...</translation>
    </message>
    <message>
        <source>Save the listed files as an M3U playlist</source>
        <translation>Die aufgeführten Dateien als M3U-Wiedergabeliste speichern</translation>
    </message>
    <message>
        <source>Options</source>
        <translation>Optionen</translation>
    </message>
    <message>
        <source>Change how files are compared</source>
        <translation>Ändern, wie Dateien verglichen werden</translation>
    </message>
    <message>
        <source>Delete &amp;marked</source>
        <translation>&amp;Markierte löschen</translation>
    </message>
    <message>
        <source>Move every marked file to the trash</source>
        <translation>Jede markierte Datei in den Papierkorb verschieben</translation>
    </message>
    <message>
        <source>Quit the program</source>
        <translation>Das Programm beenden</translation>
    </message>
    <message>
        <source>&amp;About Harmonyfox...</source>
        <translation>&amp;Über Harmonyfox...</translation>
    </message>
    <message>
        <source>Show the program&apos;s version and web links</source>
        <translation>Die Version des Programms und seine Web-Adressen zeigen</translation>
    </message>
    <message>
        <source>&amp;Scan</source>
        <translation>&amp;Durchsuchen</translation>
    </message>
    <message>
        <source>Search the chosen folders for duplicates again</source>
        <translation>Die gewählten Ordner erneut nach Duplikaten durchsuchen</translation>
    </message>
    <message>
        <source>S&amp;top</source>
        <translation>&amp;Anhalten</translation>
    </message>
    <message>
        <source>Stop the scan; the pairs found so far stay</source>
        <translation>Die Suche anhalten; die bisher gefundenen Paare bleiben</translation>
    </message>
    <message>
        <source>&amp;File</source>
        <translation>&amp;Datei</translation>
    </message>
    <message>
        <source>&amp;View</source>
        <translation>&amp;Ansicht</translation>
    </message>
    <message>
        <source>&amp;Skipped files...</source>
        <translation>Ü&amp;bersprungene Dateien...</translation>
    </message>
    <message>
        <source>List the files of the scan that gave no fingerprint</source>
        <translation>Die Dateien der Suche aufführen, die keinen Fingerabdruck ergaben</translation>
    </message>
    <message>
        <source>&amp;Help</source>
        <translation>&amp;Hilfe</translation>
    </message>
    <message>
        <source>Check for &amp;update</source>
        <translation>Nach &amp;Aktualisierung suchen</translation>
    </message>
    <message>
        <source>Ask the web site whether a newer version exists</source>
        <translation>Auf der Website nachfragen, ob es eine neuere Version gibt</translation>
    </message>
    <message>
        <source>Play left</source>
        <translation>Links abspielen</translation>
    </message>
    <message>
        <source>Play right</source>
        <translation>Rechts abspielen</translation>
    </message>
    <message>
        <source>Delete left</source>
        <translation>Links löschen</translation>
    </message>
    <message>
        <source>Delete right</source>
        <translation>Rechts löschen</translation>
    </message>
    <message>
        <source>Not duplicates</source>
        <translation>Keine Duplikate</translation>
    </message>
    <message>
        <source>Play</source>
        <translation>Abspielen</translation>
    </message>
    <message>
        <source>Open folder</source>
        <translation>Ordner öffnen</translation>
    </message>
    <message>
        <source>Delete</source>
        <translation>Löschen</translation>
    </message>
    <message>
        <source>Toolbar</source>
        <translation>Werkzeugleiste</translation>
    </message>
    <message>
        <source>&amp;Quit</source>
        <translation>&amp;Beenden</translation>
    </message>
    <message>
        <source>&amp;Export...</source>
        <translation>&amp;Exportieren...</translation>
    </message>
    <message>
        <source>Save the pairs or groups shown as CSV, or as an M3U playlist</source>
        <translation>Die gezeigten Paare oder Gruppen als CSV oder als M3U-Wiedergabeliste speichern</translation>
    </message>
    <message>
        <source>Select &amp;all</source>
        <translation>&amp;Alles auswählen</translation>
    </message>
    <message>
        <source>Select every row of the view shown</source>
        <translation>Jede Zeile der gezeigten Ansicht auswählen</translation>
    </message>
    <message>
        <source>&amp;Delete</source>
        <translation>&amp;Löschen</translation>
    </message>
    <message>
        <source>Move the selected files to the trash; never the last copy without asking</source>
        <translation>Die ausgewählten Dateien in den Papierkorb verschieben; nie die letzte Kopie ohne Nachfrage</translation>
    </message>
    <message>
        <source>&amp;Edit</source>
        <translation>&amp;Bearbeiten</translation>
    </message>
    <message>
        <source>Harmonyfox &amp;Help</source>
        <translation>Harmonyfox-&amp;Hilfe</translation>
    </message>
    <message>
        <source>How to use the program, and its keys</source>
        <translation>Wie das Programm bedient wird, und seine Tasten</translation>
    </message>
    <message>
        <source>Keep this one</source>
        <translation>Diese behalten</translation>
    </message>
    <message>
        <source>Mark all in this folder</source>
        <translation>Alle in diesem Ordner markieren</translation>
    </message>
    <message>
        <source>Unmark all in this folder</source>
        <translation>Alle Markierungen in diesem Ordner aufheben</translation>
    </message>
</context>
<context>
    <name>CGroupModel</name>
    <message>
        <source>File</source>
        <translation>Datei</translation>
    </message>
    <message>
        <source>% content</source>
        <translation>% Inhalt</translation>
    </message>
    <message>
        <source>% tags</source>
        <translation>% Tags</translation>
    </message>
    <message>
        <source>% experim.</source>
        <translation>% Exper.</translation>
    </message>
    <message>
        <source>Copies</source>
        <translation>Kopien</translation>
    </message>
    <message>
        <source>Size</source>
        <translation>Größe</translation>
    </message>
    <message>
        <source>The copy to keep</source>
        <translation>Die zu behaltende Kopie</translation>
    </message>
    <message>
        <source>In a reference folder: never marked</source>
        <translation>In einem Referenzordner: wird nie markiert</translation>
    </message>
    <message>
        <source>Sounds like another copy, not like the one to keep: not marked by Mark all but the keepers</source>
        <translation>Klingt wie eine andere Kopie, nicht wie die zu behaltende: wird von „Alle außer der zu behaltenden Kopie markieren“ nicht markiert</translation>
    </message>
    <message>
        <source>Alike by its tags alone: not marked by Mark all but the keepers</source>
        <translation>Nur nach den Tags ähnlich: wird von „Alle außer der zu behaltenden Kopie markieren“ nicht markiert</translation>
    </message>
    <message>
        <source>A duplicate of the copy to keep</source>
        <translation>Ein Duplikat der zu behaltenden Kopie</translation>
    </message>
    <message>
        <source>%1 MB</source>
        <translation>%1 MB</translation>
    </message>
    <message>
        <source>Verdict</source>
        <translation>Urteil</translation>
    </message>
</context>
<context>
    <name>CHelpDlg</name>
    <message>
        <source>Harmonyfox Help</source>
        <translation>Harmonyfox-Hilfe</translation>
    </message>
    <message>
        <source>&lt;h3&gt;Finding duplicates&lt;/h3&gt;&lt;p&gt;Choose the folders with &lt;i&gt;Select folders&lt;/i&gt;; the scan lists every pair of files that sound alike or carry alike tags. &lt;i&gt;View › Groups&lt;/i&gt; shows the copies of each piece together, led by the copy to keep; &lt;i&gt;Keep this one&lt;/i&gt; makes another copy lead its group until the next scan.&lt;/p&gt;&lt;p&gt;Mark the copies to delete (&lt;i&gt;Mark all but the keeper&lt;/i&gt;, Space on the selected rows, a click on the round mark) and send them to the trash with &lt;i&gt;Delete marked&lt;/i&gt;. Files of a reference folder are shown with a lock: they are always kept and never marked. The last copy of a piece is never deleted without asking.&lt;/p&gt;&lt;p&gt;&lt;i&gt;File › Export&lt;/i&gt; saves the pairs or groups shown as CSV for a spreadsheet, or as an M3U playlist.&lt;/p&gt;&lt;h3&gt;Keys&lt;/h3&gt;</source>
        <translation>&lt;h3&gt;Duplikate finden&lt;/h3&gt;&lt;p&gt;Wählen Sie die Ordner mit &lt;i&gt;Ordner wählen&lt;/i&gt;; die Suche führt jedes Paar von Dateien auf, die ähnlich klingen oder ähnliche Tags tragen. &lt;i&gt;Ansicht › Gruppen&lt;/i&gt; zeigt die Kopien jedes Stücks zusammen, angeführt von der zu behaltenden Kopie; &lt;i&gt;Diese behalten&lt;/i&gt; lässt bis zur nächsten Suche eine andere Kopie ihre Gruppe anführen.&lt;/p&gt;&lt;p&gt;Markieren Sie die zu löschenden Kopien (&lt;i&gt;Alle außer der zu behaltenden Kopie markieren&lt;/i&gt;, die Leertaste auf den ausgewählten Zeilen, ein Klick auf die runde Markierung) und verschieben Sie sie mit &lt;i&gt;Markierte löschen&lt;/i&gt; in den Papierkorb. Dateien eines Referenzordners tragen ein Schloss: sie werden immer behalten und nie markiert. Die letzte Kopie eines Stücks wird nie ohne Nachfrage gelöscht.&lt;/p&gt;&lt;p&gt;&lt;i&gt;Datei › Exportieren&lt;/i&gt; speichert die gezeigten Paare oder Gruppen als CSV für eine Tabellenkalkulation oder als M3U-Wiedergabeliste.&lt;/p&gt;&lt;h3&gt;Tasten&lt;/h3&gt;</translation>
    </message>
    <message>
        <source>&lt;p&gt;Shift+F10 or the Menu key opens the menu of the selected row; Space flips the marks of the selected rows.&lt;/p&gt;</source>
        <translation>&lt;p&gt;Umschalt+F10 oder die Menütaste öffnet das Menü der ausgewählten Zeile; die Leertaste kehrt die Markierungen der ausgewählten Zeilen um.&lt;/p&gt;</translation>
    </message>
</context>
<context>
    <name>CKeepPage</name>
    <message>
        <source>Which copy to keep (the first rule that tells wins)</source>
        <translation>Welche Kopie behalten wird (die erste Regel, die entscheidet, gilt)</translation>
    </message>
    <message>
        <source>Up</source>
        <translation>Nach oben</translation>
    </message>
    <message>
        <source>Down</source>
        <translation>Nach unten</translation>
    </message>
    <message>
        <source>Preferred folders</source>
        <translation>Bevorzugte Ordner</translation>
    </message>
    <message>
        <source>Add...</source>
        <translation>Hinzufügen...</translation>
    </message>
    <message>
        <source>Remove</source>
        <translation>Entfernen</translation>
    </message>
    <message>
        <source>Files in a reference folder are always kept.</source>
        <translation>Dateien in einem Referenzordner werden immer behalten.</translation>
    </message>
    <message>
        <source>Select a preferred folder</source>
        <translation>Bevorzugten Ordner wählen</translation>
    </message>
</context>
<context>
    <name>CKeeperFiles</name>
    <message numerus="yes">
        <source>and %n more</source>
        <translation>
            <numerusform>und %n weitere</numerusform>
            <numerusform>und %n weitere</numerusform>
        </translation>
    </message>
    <message>
        <source>&amp;Fill the keeper&apos;s tags...</source>
        <translation>Tags des &amp;Behaltenen ergänzen...</translation>
    </message>
    <message>
        <source>Fill the empty tags of each keeper from its copies, after showing what would change</source>
        <translation>Die leeren Tags jeder behaltenen Datei aus ihren Kopien ergänzen, nachdem gezeigt wurde, was sich ändert</translation>
    </message>
    <message>
        <source>Reading the tags of the groups...</source>
        <translation>Die Tags der Gruppen werden gelesen...</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
    <message>
        <source>There are no groups of copies: scan first.</source>
        <translation>Es gibt keine Gruppen von Kopien: Bitte zuerst suchen.</translation>
    </message>
    <message>
        <source>No keeper lacks a tag that one of its copies has.</source>
        <translation>Keiner behaltenen Datei fehlt ein Tag, den eine ihrer Kopien hat.</translation>
    </message>
    <message>
        <source>Filling the keepers&apos; tags...</source>
        <translation>Die Tags der behaltenen Dateien werden ergänzt...</translation>
    </message>
    <message>
        <source>Stop</source>
        <translation>Anhalten</translation>
    </message>
    <message numerus="yes">
        <source>%n keeper(s) retagged.</source>
        <translation>
            <numerusform>%n behaltene Datei neu getaggt.</numerusform>
            <numerusform>%n behaltene Dateien neu getaggt.</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n tag(s) filled.</source>
        <translation>
            <numerusform>%n Tag ergänzt.</numerusform>
            <numerusform>%n Tags ergänzt.</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n keeper(s) stayed as they were:</source>
        <translation>
            <numerusform>%n behaltene Datei blieb unverändert:</numerusform>
            <numerusform>%n behaltene Dateien blieben unverändert:</numerusform>
        </translation>
    </message>
    <message>
        <source>%1: %2</source>
        <translation>%1: %2</translation>
    </message>
    <message numerus="yes">
        <source>%n playlist(s) in the scanned folders name files that went:</source>
        <translation>
            <numerusform>%n Wiedergabeliste in den durchsuchten Ordnern nennt entfernte Dateien:</numerusform>
            <numerusform>%n Wiedergabelisten in den durchsuchten Ordnern nennen entfernte Dateien:</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>Rewrite %n line(s) to name the kept copies instead?</source>
        <translation>
            <numerusform>%n Zeile so umschreiben, dass sie die behaltene Kopie nennt?</numerusform>
            <numerusform>%n Zeilen so umschreiben, dass sie die behaltenen Kopien nennen?</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n other playlist(s) could not be read and stay as they are.</source>
        <translation>
            <numerusform>%n weitere Wiedergabeliste konnte nicht gelesen werden und bleibt unverändert.</numerusform>
            <numerusform>%n weitere Wiedergabelisten konnten nicht gelesen werden und bleiben unverändert.</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n playlist(s) stayed as they were:</source>
        <translation>
            <numerusform>%n Wiedergabeliste blieb unverändert:</numerusform>
            <numerusform>%n Wiedergabelisten blieben unverändert:</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>CMainFrame</name>
    <message>
        <source>Error</source>
        <translation>Fehler</translation>
    </message>
    <message>
        <source> Out of bound</source>
        <translation> Außerhalb des Bereichs</translation>
    </message>
    <message>
        <source>#2 Out of bound</source>
        <translation>#2 Außerhalb des Bereichs</translation>
    </message>
    <message>
        <source>No data to generate playlist</source>
        <translation>Keine Daten für eine Wiedergabeliste</translation>
    </message>
    <message>
        <source>Can&apos;t start the worker threads; folders cannot be scanned</source>
        <translation>Die Arbeits-Threads können nicht gestartet werden; Ordner können nicht durchsucht werden</translation>
    </message>
    <message>
        <source>Nothing to export: the list is empty</source>
        <translation>Nichts zu exportieren: die Liste ist leer</translation>
    </message>
</context>
<context>
    <name>CMarkState</name>
    <message numerus="yes">
        <source>%n file(s) marked, %1 MB</source>
        <translation>
            <numerusform>%n Datei markiert, %1 MB</numerusform>
            <numerusform>%n Dateien markiert, %1 MB</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>CNotDuplicatesDlg</name>
    <message>
        <source>Not duplicates</source>
        <translation>Keine Duplikate</translation>
    </message>
    <message>
        <source>File #1</source>
        <translation>Datei 1</translation>
    </message>
    <message>
        <source>File #2</source>
        <translation>Datei 2</translation>
    </message>
    <message>
        <source>Take back</source>
        <translation>Zurücknehmen</translation>
    </message>
    <message>
        <source>List the selected pairs again as duplicates</source>
        <translation>Die ausgewählten Paare wieder als Duplikate aufführen</translation>
    </message>
</context>
<context>
    <name>COptionsDlg</name>
    <message>
        <source>Compare content strictly (no shifted starts, the whole band)</source>
        <translation>Inhalt streng vergleichen (kein versetzter Anfang, das ganze Frequenzband)</translation>
    </message>
    <message>
        <source>Question</source>
        <translation>Frage</translation>
    </message>
    <message>
        <source>Options</source>
        <translation>Optionen</translation>
    </message>
    <message>
        <source>Compare method</source>
        <translation>Vergleichsverfahren</translation>
    </message>
    <message>
        <source>Only tags</source>
        <translation>Nur Tags</translation>
    </message>
    <message>
        <source>Only content</source>
        <translation>Nur Inhalt</translation>
    </message>
    <message>
        <source>Tags and content</source>
        <translation>Tags und Inhalt</translation>
    </message>
    <message>
        <source>Other</source>
        <translation>Sonstiges</translation>
    </message>
    <message>
        <source>Check for updates</source>
        <translation>Nach Aktualisierungen suchen</translation>
    </message>
    <message>
        <source>Enable experimental algorithm (very slow)</source>
        <translation>Experimentelles Verfahren einschalten (sehr langsam)</translation>
    </message>
    <message>
        <source>Left: more results, less alike files. Right: fewer results, only files that are very alike.</source>
        <translation>Links: mehr Ergebnisse, weniger ähnliche Dateien. Rechts: weniger Ergebnisse, nur sehr ähnliche Dateien.</translation>
    </message>
    <message>
        <source>Sensitivity:</source>
        <translation>Empfindlichkeit:</translation>
    </message>
    <message>
        <source>← more results</source>
        <translation>← mehr Ergebnisse</translation>
    </message>
    <message>
        <source>fewer, closer matches →</source>
        <translation>weniger, genauere Treffer →</translation>
    </message>
    <message>
        <source>Clear internal cache</source>
        <translation>Internen Zwischenspeicher leeren</translation>
    </message>
    <message>
        <source>Clean cache</source>
        <translation>Zwischenspeicher aufräumen</translation>
    </message>
    <message>
        <source>Forget the fingerprints of files that no longer exist</source>
        <translation>Die Fingerabdrücke von Dateien vergessen, die es nicht mehr gibt</translation>
    </message>
    <message>
        <source>General</source>
        <translation>Allgemein</translation>
    </message>
    <message>
        <source>Keep</source>
        <translation>Behalten</translation>
    </message>
    <message>
        <source>Clear internal cache ?</source>
        <translation>Internen Zwischenspeicher leeren?</translation>
    </message>
    <message>
        <source>; the cache file could not be written afresh</source>
        <translation>; die Zwischenspeicherdatei konnte nicht neu geschrieben werden</translation>
    </message>
    <message numerus="yes">
        <source>Dropped %n entry(s) of files that no longer exist; %1 freed</source>
        <translation>
            <numerusform>%n Eintrag einer Datei, die es nicht mehr gibt, entfernt; %1 frei geworden</numerusform>
            <numerusform>%n Einträge von Dateien, die es nicht mehr gibt, entfernt; %1 frei geworden</numerusform>
        </translation>
    </message>
    <message>
        <source>Unchecked, a copy still matches when it starts up to 8 s elsewhere, carries a narrower band, plays a little faster or was equalized or compressed. Checked, the analysed parts are compared as they lie, over the whole band.</source>
        <translation>Nicht angekreuzt findet sich eine Kopie auch, wenn sie bis zu 8 s versetzt beginnt, ein schmaleres Band trägt, etwas schneller spielt oder entzerrt oder komprimiert wurde. Angekreuzt werden die untersuchten Abschnitte so verglichen, wie sie liegen, über das ganze Band.</translation>
    </message>
</context>
<context>
    <name>CPairFigures</name>
    <message>
        <source>&lt;b&gt;Why listed:&lt;/b&gt; </source>
        <translation>&lt;b&gt;Warum aufgeführt:&lt;/b&gt; </translation>
    </message>
    <message>
        <source>content rule 1, spectrum %1 &amp;ge; %2 and envelope + drift %3 &amp;ge; %4</source>
        <translation>Inhaltsregel 1, Spektrum %1 &amp;ge; %2 und Hüllkurve + Drift %3 &amp;ge; %4</translation>
    </message>
    <message>
        <source>content rule 2, spectrum, envelope and drift all &amp;ge; %1</source>
        <translation>Inhaltsregel 2, Spektrum, Hüllkurve und Drift alle &amp;ge; %1</translation>
    </message>
    <message>
        <source>the tags, tag score %1 &amp;ge; sensitivity %2</source>
        <translation>die Tags, Tag-Wert %1 &amp;ge; Empfindlichkeit %2</translation>
    </message>
    <message>
        <source>not under the current settings (they changed since)</source>
        <translation>nicht unter den aktuellen Einstellungen (sie wurden seither geändert)</translation>
    </message>
    <message>
        <source>&lt;br&gt;&lt;b&gt;Content:&lt;/b&gt; spectrum %1, envelope %2, drift %3. &quot;% content&quot; %4 = (spectrum &amp;minus; %5) / (1 &amp;minus; %5): 0 % at the threshold of sensitivity %6, 100 % identical.</source>
        <translation>&lt;br&gt;&lt;b&gt;Inhalt:&lt;/b&gt; Spektrum %1, Hüllkurve %2, Drift %3. „% Inhalt“ %4 = (Spektrum &amp;minus; %5) / (1 &amp;minus; %5): 0 % an der Schwelle der Empfindlichkeit %6, 100 % identisch.</translation>
    </message>
    <message>
        <source>&lt;br&gt;&lt;b&gt;Tags:&lt;/b&gt; raw tag score %1, &quot;% tags&quot; %2 = (score &amp;minus; %3) / (1 &amp;minus; %3).</source>
        <translation>&lt;br&gt;&lt;b&gt;Tags:&lt;/b&gt; roher Tag-Wert %1, „% Tags“ %2 = (Wert &amp;minus; %3) / (1 &amp;minus; %3).</translation>
    </message>
    <message>
        <source> Title and artist were swapped in one file.</source>
        <translation> Titel und Interpret waren in einer Datei vertauscht.</translation>
    </message>
    <message>
        <source> The file name stood in for a missing title.</source>
        <translation> Der Dateiname stand für einen fehlenden Titel.</translation>
    </message>
    <message>
        <source> The file name stood in for a missing artist.</source>
        <translation> Der Dateiname stand für einen fehlenden Interpreten.</translation>
    </message>
    <message>
        <source>title</source>
        <translation>Titel</translation>
    </message>
    <message>
        <source>artist</source>
        <translation>Interpret</translation>
    </message>
    <message>
        <source>file name</source>
        <translation>Dateiname</translation>
    </message>
    <message>
        <source>album</source>
        <translation>Album</translation>
    </message>
    <message>
        <source>&lt;table cellspacing=0 cellpadding=1&gt;&lt;tr&gt;&lt;th align=left&gt;field&lt;/th&gt;&lt;th align=left&gt;File #1&lt;/th&gt;&lt;th align=left&gt;File #2&lt;/th&gt;&lt;th&gt;score&lt;/th&gt;&lt;th&gt;weight&lt;/th&gt;&lt;/tr&gt;</source>
        <translation>&lt;table cellspacing=0 cellpadding=1&gt;&lt;tr&gt;&lt;th align=left&gt;Feld&lt;/th&gt;&lt;th align=left&gt;Datei 1&lt;/th&gt;&lt;th align=left&gt;Datei 2&lt;/th&gt;&lt;th&gt;Wert&lt;/th&gt;&lt;th&gt;Gewicht&lt;/th&gt;&lt;/tr&gt;</translation>
    </message>
    <message>
        <source>left out</source>
        <translation>nicht gezählt</translation>
    </message>
    <message>
        <source>Select a pair to see why it is listed.</source>
        <translation>Wählen Sie ein Paar, um zu sehen, warum es aufgeführt ist.</translation>
    </message>
    <message>
        <source>Envelope (30 s)
r = %1</source>
        <translation>Hüllkurve (30 s)
r = %1</translation>
    </message>
    <message>
        <source>Spectrum, 11 Hz to 11 kHz
r = %1</source>
        <translation>Spektrum, 11 Hz bis 11 kHz
r = %1</translation>
    </message>
    <message>
        <source>Drift
r = %1</source>
        <translation>Drift
r = %1</translation>
    </message>
    <message>
        <source>File #1</source>
        <translation>Datei 1</translation>
    </message>
    <message>
        <source>File #2</source>
        <translation>Datei 2</translation>
    </message>
    <message>
        <source>&lt;b&gt;Verdict:&lt;/b&gt; %1 (File #2 against File #1)</source>
        <translation>&lt;b&gt;Urteil:&lt;/b&gt; %1 (Datei 2 gegenüber Datei 1)</translation>
    </message>
    <message>
        <source>the notes the music dwells on, contour %1 &amp;ge; %2, and spectrum over the band both carry %3 &amp;ge; %4</source>
        <translation>die Töne, bei denen die Musik verweilt: Kontur %1 &amp;ge; %2 und Spektrum im gemeinsamen Band %3 &amp;ge; %4</translation>
    </message>
    <message>
        <source>a content rule at the best alignment (%1 s apart), envelope %2 &amp;ge; %3</source>
        <translation>eine Inhaltsregel bei bester Ausrichtung (%1 s versetzt), Hüllkurve %2 &amp;ge; %3</translation>
    </message>
    <message>
        <source>&lt;br&gt;&lt;b&gt;Tolerant comparison:&lt;/b&gt; spectrum over the band both carry %1%2, contour %3; at the best alignment (%4 s apart) envelope %5, drift %6. &quot;% content&quot; is taken from the spectrum over the shared band.</source>
        <translation>&lt;br&gt;&lt;b&gt;Toleranter Vergleich:&lt;/b&gt; Spektrum im gemeinsamen Band %1%2, Kontur %3; bei bester Ausrichtung (%4 s versetzt) Hüllkurve %5, Drift %6. „% Inhalt“ stammt aus dem Spektrum im gemeinsamen Band.</translation>
    </message>
    <message>
        <source> (a narrow band)</source>
        <translation> (ein schmales Band)</translation>
    </message>
</context>
<context>
    <name>CPairVerdicts</name>
    <message>
        <source>same file</source>
        <translation>dieselbe Datei</translation>
    </message>
    <message>
        <source>same audio</source>
        <translation>derselbe Klang</translation>
    </message>
    <message>
        <source>same recording</source>
        <translation>dieselbe Aufnahme</translation>
    </message>
    <message>
        <source>shifted</source>
        <translation>verschoben</translation>
    </message>
    <message>
        <source>shifted: starts %1 s later</source>
        <translation>verschoben: beginnt %1 s später</translation>
    </message>
    <message>
        <source>shifted: starts %1 s earlier</source>
        <translation>verschoben: beginnt %1 s früher</translation>
    </message>
    <message>
        <source>band-limited</source>
        <translation>bandbegrenzt</translation>
    </message>
    <message>
        <source>tags only</source>
        <translation>nur Tags</translation>
    </message>
</context>
<context>
    <name>CProgressDlg</name>
    <message>
        <source>Cached:</source>
        <translation>Gespeichert:</translation>
    </message>
    <message>
        <source>New:</source>
        <translation>Neu:</translation>
    </message>
    <message>
        <source>Skipped:</source>
        <translation>Übersprungen:</translation>
    </message>
    <message>
        <source>Found:</source>
        <translation>Gefunden:</translation>
    </message>
    <message>
        <source>Cached: files of this scan whose fingerprint was in the cache (%1 entries)
New: files fingerprinted by this scan
Skipped: files that gave no fingerprint (View › Skipped files)
Found: files the scan found, less those deleted since</source>
        <translation>Gespeichert: Dateien dieser Suche, deren Fingerabdruck im Zwischenspeicher war (%1 Einträge)
Neu: Dateien, deren Fingerabdruck diese Suche erstellt hat
Übersprungen: Dateien, die keinen Fingerabdruck ergaben (Ansicht › Übersprungene Dateien)
Gefunden: die von der Suche gefundenen Dateien, ohne die seither gelöschten</translation>
    </message>
</context>
<context>
    <name>CResultActions</name>
    <message>
        <source>Can&apos;t read the list of pairs that are not duplicates
</source>
        <translation>Die Liste der Paare, die keine Duplikate sind, kann nicht gelesen werden
</translation>
    </message>
    <message>
        <source>&amp;Pairs</source>
        <translation>&amp;Paare</translation>
    </message>
    <message>
        <source>&amp;Groups</source>
        <translation>&amp;Gruppen</translation>
    </message>
    <message>
        <source>List every pair of duplicates</source>
        <translation>Jedes Paar von Duplikaten aufführen</translation>
    </message>
    <message>
        <source>List the copies of each piece as one group</source>
        <translation>Die Kopien jedes Stücks als eine Gruppe aufführen</translation>
    </message>
    <message>
        <source>&amp;Not duplicates...</source>
        <translation>&amp;Keine Duplikate...</translation>
    </message>
    <message>
        <source>Show the pairs you said are not duplicates</source>
        <translation>Die Paare zeigen, die Sie als keine Duplikate bezeichnet haben</translation>
    </message>
    <message>
        <source>&amp;Mark</source>
        <translation>&amp;Markieren</translation>
    </message>
    <message>
        <source>Mark &amp;all but the keeper</source>
        <translation>&amp;Alle außer der zu behaltenden Kopie markieren</translation>
    </message>
    <message>
        <source>Mark all but the keeper, &amp;loosely tied copies too</source>
        <translation>Alle außer der zu behaltenden markieren, auch &amp;lose verbundene Kopien</translation>
    </message>
    <message>
        <source>&amp;Unmark all</source>
        <translation>Alle Markierungen auf&amp;heben</translation>
    </message>
    <message>
        <source>&amp;Invert marks</source>
        <translation>Markierungen &amp;umkehren</translation>
    </message>
    <message>
        <source>Mark &amp;selected</source>
        <translation>Aus&amp;gewählte markieren</translation>
    </message>
    <message>
        <source>Mark every copy that sounds like the one to keep</source>
        <translation>Jede Kopie markieren, die wie die zu behaltende klingt</translation>
    </message>
    <message>
        <source>Also mark the files tied in only through another copy or by their tags alone</source>
        <translation>Auch die Dateien markieren, die nur über eine andere Kopie oder allein durch ihre Tags verbunden sind</translation>
    </message>
    <message>
        <source>Space flips the marks of the selected rows</source>
        <translation>Die Leertaste kehrt die Markierungen der ausgewählten Zeilen um</translation>
    </message>
    <message>
        <source>Files in a reference folder are never deleted:
</source>
        <translation>Dateien in einem Referenzordner werden nie gelöscht:
</translation>
    </message>
    <message>
        <source>selected</source>
        <translation>ausgewählten</translation>
    </message>
    <message>
        <source>Can&apos;t save the list of pairs that are not duplicates
</source>
        <translation>Die Liste der Paare, die keine Duplikate sind, kann nicht gespeichert werden
</translation>
    </message>
    <message>
        <source>marked</source>
        <translation>markierten</translation>
    </message>
    <message>
        <source>
Keep the copy to keep of each of these groups and delete the other %1 files?</source>
        <translation>
Die zu behaltende Kopie jeder dieser Gruppen behalten und die übrigen %1 Dateien löschen?</translation>
    </message>
    <message>
        <source>Move this file to the trash?

</source>
        <translation>Diese Datei in den Papierkorb verschieben?

</translation>
    </message>
    <message>
        <source> (marked)
</source>
        <translation> (markiert)
</translation>
    </message>
    <message>
        <source> (gone)
</source>
        <translation> (nicht mehr vorhanden)
</translation>
    </message>
    <message>
        <source>This file is the last copy left of the group of
%1

</source>
        <translation>Diese Datei ist die letzte verbliebene Kopie der Gruppe von
%1

</translation>
    </message>
    <message>
        <source>The other copies are marked or gone:
</source>
        <translation>Die anderen Kopien sind markiert oder nicht mehr vorhanden:
</translation>
    </message>
    <message>
        <source>
Move it to the trash all the same? No keeps it.

</source>
        <translation>
Sie trotzdem in den Papierkorb verschieben? Nein behält sie.

</translation>
    </message>
    <message>
        <source>Play</source>
        <translation>Abspielen</translation>
    </message>
    <message>
        <source>Open folder</source>
        <translation>Ordner öffnen</translation>
    </message>
    <message>
        <source>Delete</source>
        <translation>Löschen</translation>
    </message>
    <message>
        <source>Not duplicates</source>
        <translation>Keine Duplikate</translation>
    </message>
    <message>
        <source>&amp;Keep this one</source>
        <translation>Diese &amp;behalten</translation>
    </message>
    <message>
        <source>The selected file leads its group until the next scan; its copies are the ones to delete</source>
        <translation>Die ausgewählte Datei führt ihre Gruppe bis zur nächsten Suche an; ihre Kopien sind die zu löschenden</translation>
    </message>
    <message>
        <source>Mark all in this &amp;folder</source>
        <translation>Alle in diesem &amp;Ordner markieren</translation>
    </message>
    <message>
        <source>Mark every listed file in the selected file&apos;s folder, never a group&apos;s last copy</source>
        <translation>Jede aufgeführte Datei im Ordner der ausgewählten Datei markieren, nie die letzte Kopie einer Gruppe</translation>
    </message>
    <message>
        <source>U&amp;nmark all in this folder</source>
        <translation>Markierungen in diesem Ordner auf&amp;heben</translation>
    </message>
    <message>
        <source>Unmark every listed file in the selected file&apos;s folder</source>
        <translation>Die Markierung jeder aufgeführten Datei im Ordner der ausgewählten Datei aufheben</translation>
    </message>
    <message>
        <source>%1 is in a reference folder: it is always kept and never marked</source>
        <translation>%1 liegt in einem Referenzordner: sie wird immer behalten und nie markiert</translation>
    </message>
    <message numerus="yes">
        <source>%n file(s) in a reference folder: always kept and never marked</source>
        <translation>
            <numerusform>%n Datei in einem Referenzordner: immer behalten und nie markiert</numerusform>
            <numerusform>%n Dateien in einem Referenzordner: immer behalten und nie markiert</numerusform>
        </translation>
    </message>
    <message>
        <source>%1 is alike by its tags alone and cannot lead its group</source>
        <translation>%1 ist nur durch ihre Tags ähnlich und kann ihre Gruppe nicht anführen</translation>
    </message>
    <message>
        <source>%1 leads its group until the next scan</source>
        <translation>%1 führt ihre Gruppe bis zur nächsten Suche an</translation>
    </message>
    <message numerus="yes">
        <source>%n group(s) keep a copy in this folder unmarked: never the last copy</source>
        <translation>
            <numerusform>%n Gruppe behält eine Kopie in diesem Ordner unmarkiert: nie die letzte Kopie</numerusform>
            <numerusform>%n Gruppen behalten eine Kopie in diesem Ordner unmarkiert: nie die letzte Kopie</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>Deleting the %1 files would leave no copy in %n group(s):

</source>
        <translation>
            <numerusform>Das Löschen der %1 Dateien ließe in %n Gruppe keine Kopie übrig:

</numerusform>
            <numerusform>Das Löschen der %1 Dateien ließe in %n Gruppen keine Kopie übrig:

</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>... and %n more
</source>
        <translation>
            <numerusform>... und %n weitere
</numerusform>
            <numerusform>... und %n weitere
</numerusform>
        </translation>
    </message>
    <message>
        <source>Keep this one</source>
        <translation>Diese behalten</translation>
    </message>
    <message>
        <source>Mark all in this folder</source>
        <translation>Alle in diesem Ordner markieren</translation>
    </message>
    <message>
        <source>Unmark all in this folder</source>
        <translation>Alle Markierungen in diesem Ordner aufheben</translation>
    </message>
</context>
<context>
    <name>CResultsFilterBar</name>
    <message>
        <source>Filter: text in either path</source>
        <translation>Filter: Text in einem der beiden Pfade</translation>
    </message>
    <message>
        <source>Hide pairs found by tags alone (0 % content)</source>
        <translation>Nur über Tags gefundene Paare ausblenden (0 % Inhalt)</translation>
    </message>
</context>
<context>
    <name>CResultsModel</name>
    <message>
        <source>File #1</source>
        <translation>Datei 1</translation>
    </message>
    <message>
        <source>% content</source>
        <translation>% Inhalt</translation>
    </message>
    <message>
        <source>% tags</source>
        <translation>% Tags</translation>
    </message>
    <message>
        <source>% experim.</source>
        <translation>% Exper.</translation>
    </message>
    <message>
        <source>File #2</source>
        <translation>Datei 2</translation>
    </message>
    <message>
        <source>How alike the music is. 0 % is the threshold of the current sensitivity (%1), 100 % is identical. A pair listed by its tags alone shows 0 %.</source>
        <translation>Wie ähnlich die Musik ist. 0 % ist die Schwelle der aktuellen Empfindlichkeit (%1), 100 % ist identisch. Ein nur über seine Tags aufgeführtes Paar zeigt 0 %.</translation>
    </message>
    <message>
        <source>How alike title, artist, file name and album are. 0 % is the threshold of the current sensitivity (%1), 100 % is identical. A pair listed by its music alone may show 0 %.</source>
        <translation>Wie ähnlich Titel, Interpret, Dateiname und Album sind. 0 % ist die Schwelle der aktuellen Empfindlichkeit (%1), 100 % ist identisch. Ein nur über seine Musik aufgeführtes Paar kann 0 % zeigen.</translation>
    </message>
    <message>
        <source>The slow experimental measure over the first minute of both files; &quot;n/a&quot; when it was off, &quot;failed&quot; when a file is shorter than a minute.</source>
        <translation>Das langsame experimentelle Maß über die erste Minute beider Dateien; „n. v.“, wenn es ausgeschaltet war, „fehlgeschlagen“, wenn eine Datei kürzer als eine Minute ist.</translation>
    </message>
    <message>
        <source>failed</source>
        <translation>fehlgeschlagen</translation>
    </message>
    <message>
        <source>wait</source>
        <translation>warten</translation>
    </message>
    <message>
        <source>stopped</source>
        <translation>angehalten</translation>
    </message>
    <message>
        <source>n/a</source>
        <translation>n. v.</translation>
    </message>
    <message>
        <source>Verdict</source>
        <translation>Urteil</translation>
    </message>
    <message>
        <source>What kind of copy File #2 is of File #1: the same file (equal bytes), the same audio (equal decoded samples), the same recording, shifted (its music starts later or earlier), band-limited, or alike by its tags only.</source>
        <translation>Welche Art Kopie Datei 2 von Datei 1 ist: dieselbe Datei (gleiche Bytes), derselbe Klang (gleiche dekodierte Samples), dieselbe Aufnahme, verschoben (ihre Musik beginnt später oder früher), bandbegrenzt oder nur nach den Tags ähnlich.</translation>
    </message>
</context>
<context>
    <name>CScanSession</name>
    <message>
        <source>Ready</source>
        <translation>Bereit</translation>
    </message>
    <message>
        <source>Scanning…</source>
        <translation>Suche läuft…</translation>
    </message>
    <message>
        <source>Stopped: </source>
        <translation>Angehalten: </translation>
    </message>
    <message>
        <source>No pair matches the filter.</source>
        <translation>Kein Paar passt zum Filter.</translation>
    </message>
    <message>
        <source>Press Scan (F5) to search the chosen folders for duplicates, or choose other folders (Ctrl+O).</source>
        <translation>Drücken Sie Durchsuchen (F5), um die gewählten Ordner nach Duplikaten zu durchsuchen, oder wählen Sie andere Ordner (Strg+O).</translation>
    </message>
    <message>
        <source>To begin, choose the folders to search with File › Select folders (Ctrl+O).</source>
        <translation>Wählen Sie zu Beginn die zu durchsuchenden Ordner mit Datei › Ordner wählen (Strg+O).</translation>
    </message>
    <message>
        <source>Scanning… pairs appear here as they are found.</source>
        <translation>Suche läuft… Die Paare erscheinen hier, sobald sie gefunden werden.</translation>
    </message>
    <message>
        <source>No duplicates found. Scan (F5) searches again.</source>
        <translation>Keine Duplikate gefunden. Durchsuchen (F5) sucht erneut.</translation>
    </message>
    <message numerus="yes">
        <source>%n file(s)</source>
        <translation>
            <numerusform>%n Datei</numerusform>
            <numerusform>%n Dateien</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n duplicate pair(s)</source>
        <translation>
            <numerusform>%n Duplikatpaar</numerusform>
            <numerusform>%n Duplikatpaare</numerusform>
        </translation>
    </message>
    <message>
        <source>%1 skipped, %2 s</source>
        <translation>%1 übersprungen, %2 s</translation>
    </message>
</context>
<context>
    <name>CSkippedFilesDlg</name>
    <message>
        <source>No file skipped</source>
        <translation>Keine Datei übersprungen</translation>
    </message>
    <message>
        <source>Skipped files</source>
        <translation>Übersprungene Dateien</translation>
    </message>
    <message>
        <source>File</source>
        <translation>Datei</translation>
    </message>
    <message>
        <source>Reason</source>
        <translation>Grund</translation>
    </message>
    <message>
        <source>&amp;Copy</source>
        <translation>&amp;Kopieren</translation>
    </message>
    <message>
        <source>Copy the selected rows (all rows when none is selected)</source>
        <translation>Die ausgewählten Zeilen kopieren (alle Zeilen, wenn keine ausgewählt ist)</translation>
    </message>
    <message numerus="yes">
        <source>%n file(s) skipped: %1</source>
        <translation>
            <numerusform>%n Datei übersprungen: %1</numerusform>
            <numerusform>%n Dateien übersprungen: %1</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>CTagFillDlg</name>
    <message>
        <source>Title</source>
        <translation>Titel</translation>
    </message>
    <message>
        <source>Artist</source>
        <translation>Interpret</translation>
    </message>
    <message>
        <source>Album</source>
        <translation>Album</translation>
    </message>
    <message>
        <source>Year</source>
        <translation>Jahr</translation>
    </message>
    <message>
        <source>Track</source>
        <translation>Titelnummer</translation>
    </message>
    <message>
        <source>Genre</source>
        <translation>Genre</translation>
    </message>
    <message>
        <source>Cover picture</source>
        <translation>Titelbild</translation>
    </message>
    <message>
        <source>Fill the keeper&apos;s tags</source>
        <translation>Tags des Behaltenen ergänzen</translation>
    </message>
    <message>
        <source>The empty tags of each keeper can be filled from a copy of the same piece. Only the tags change; the sound is not touched. Untick a group to leave its keeper as it is.</source>
        <translation>Die leeren Tags jeder behaltenen Datei können aus einer Kopie desselben Stücks ergänzt werden. Nur die Tags ändern sich; der Klang bleibt unberührt. Entfernen Sie den Haken einer Gruppe, um ihre behaltene Datei unverändert zu lassen.</translation>
    </message>
    <message>
        <source>Keeper and tag</source>
        <translation>Behaltene Datei und Tag</translation>
    </message>
    <message>
        <source>Value</source>
        <translation>Wert</translation>
    </message>
    <message>
        <source>From</source>
        <translation>Aus</translation>
    </message>
    <message>
        <source>Cannot be filled: %1</source>
        <translation>Kann nicht ergänzt werden: %1</translation>
    </message>
    <message>
        <source>Fill tags</source>
        <translation>Tags ergänzen</translation>
    </message>
    <message>
        <source>%1, %2 KB</source>
        <translation>%1, %2 KB</translation>
    </message>
</context>
<context>
    <name>CUpdateDlg</name>
    <message>
        <source>Check for update</source>
        <translation>Nach Aktualisierung suchen</translation>
    </message>
    <message>
        <source>Please wait...</source>
        <translation>Bitte warten...</translation>
    </message>
    <message>
        <source>Update available, please visit web-site:</source>
        <translation>Eine Aktualisierung ist verfügbar, bitte besuchen Sie die Website:</translation>
    </message>
    <message>
        <source>Can&apos;t connect to server,
please check your connection to Internet</source>
        <translation>Keine Verbindung zum Server,
bitte prüfen Sie Ihre Internetverbindung</translation>
    </message>
    <message>
        <source>No update available,
You software is up to date</source>
        <translation>Keine Aktualisierung verfügbar,
Ihre Software ist auf dem neuesten Stand</translation>
    </message>
    <message>
        <source>Internal server error, please try again latter...</source>
        <translation>Interner Serverfehler, bitte versuchen Sie es später erneut...</translation>
    </message>
</context>
<context>
    <name>DesktopActions</name>
    <message>
        <source>Question</source>
        <translation>Frage</translation>
    </message>
    <message>
        <source>M3U Playlist (*.m3u)</source>
        <translation>M3U-Wiedergabeliste (*.m3u)</translation>
    </message>
    <message>
        <source>Duplicates</source>
        <translation>Duplikate</translation>
    </message>
    <message>
        <source>CSV table (*.csv)</source>
        <translation>CSV-Tabelle (*.csv)</translation>
    </message>
    <message>
        <source>Move the marked files to</source>
        <translation>Markierte Dateien verschieben nach</translation>
    </message>
</context>
<context>
    <name>Engine</name>
    <message>
        <source>Lossless before lossy</source>
        <translation>Verlustfrei vor verlustbehaftet</translation>
    </message>
    <message>
        <source>Higher bit rate</source>
        <translation>Höhere Bitrate</translation>
    </message>
    <message>
        <source>Longer duration</source>
        <translation>Längere Dauer</translation>
    </message>
    <message>
        <source>More tags filled</source>
        <translation>Mehr Tags ausgefüllt</translation>
    </message>
    <message>
        <source>In a preferred folder</source>
        <translation>In einem bevorzugten Ordner</translation>
    </message>
    <message>
        <source>Larger file</source>
        <translation>Größere Datei</translation>
    </message>
    <message>
        <source>Older file</source>
        <translation>Ältere Datei</translation>
    </message>
    <message>
        <source>no plug-in reads it</source>
        <translation>kein Plug-in liest sie</translation>
    </message>
    <message>
        <source>damaged</source>
        <translation>beschädigt</translation>
    </message>
    <message>
        <source>shorter than 15 s of music</source>
        <translation>kürzer als 15 s Musik</translation>
    </message>
    <message>
        <source>unreadable</source>
        <translation>nicht lesbar</translation>
    </message>
    <message>
        <source>not a regular file</source>
        <translation>keine reguläre Datei</translation>
    </message>
    <message>
        <source>no music in its first two minutes</source>
        <translation>keine Musik in den ersten zwei Minuten</translation>
    </message>
    <message>
        <source>Another Harmonyfox is running and holds the cache file</source>
        <translation>Ein anderes Harmonyfox läuft und hält die Zwischenspeicherdatei</translation>
    </message>
    <message>
        <source>The file at the cache&apos;s place is not a Harmonyfox cache; it is left alone and nothing is cached</source>
        <translation>Die Datei am Ort des Zwischenspeichers ist kein Harmonyfox-Zwischenspeicher; sie bleibt unberührt, und nichts wird zwischengespeichert</translation>
    </message>
    <message>
        <source>Can&apos;t open cache file</source>
        <translation>Die Zwischenspeicherdatei kann nicht geöffnet werden</translation>
    </message>
    <message>
        <source>the file does not exist</source>
        <translation>die Datei existiert nicht</translation>
    </message>
    <message>
        <source>the target exists</source>
        <translation>das Ziel existiert bereits</translation>
    </message>
    <message>
        <source>its place is taken</source>
        <translation>ihr Platz ist belegt</translation>
    </message>
    <message>
        <source>it is no longer in the trash</source>
        <translation>sie ist nicht mehr im Papierkorb</translation>
    </message>
    <message>
        <source>it is still there</source>
        <translation>sie ist noch da</translation>
    </message>
    <message>
        <source>it changed after it was rewritten</source>
        <translation>sie wurde nach dem Umschreiben geändert</translation>
    </message>
    <message>
        <source>its saved copy is gone</source>
        <translation>ihre gesicherte Kopie fehlt</translation>
    </message>
    <message>
        <source>it cannot be written</source>
        <translation>sie kann nicht geschrieben werden</translation>
    </message>
    <message>
        <source>the journal cannot be written</source>
        <translation>das Protokoll kann nicht geschrieben werden</translation>
    </message>
    <message>
        <source>the copy&apos;s size differs from the file&apos;s</source>
        <translation>die Kopie ist anders groß als die Datei</translation>
    </message>
</context>
<context>
    <name>ProgramVersion</name>
    <message>
        <source>Version </source>
        <translation>Version </translation>
    </message>
    <message>
        <source> (build </source>
        <translation> (Build </translation>
    </message>
</context>
<context>
    <name>SettingsStore</name>
    <message>
        <source>Warning</source>
        <translation>Warnung</translation>
    </message>
    <message>
        <source>Can&apos;t access settings
</source>
        <translation>Kein Zugriff auf die Einstellungen
</translation>
    </message>
</context>
</TS>
