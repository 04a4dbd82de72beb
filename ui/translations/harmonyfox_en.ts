<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US">
<context>
    <name>CFileCommands</name>
    <message numerus="yes">
        <source>Move these %n file(s) to the trash?

</source>
        <translation>
            <numerusform>Move this %n file to the trash?

</numerusform>
            <numerusform>Move these %n files to the trash?

</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>... and %n more
</source>
        <translation>
            <numerusform>... and %n more
</numerusform>
            <numerusform>... and %n more
</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n path(s) left out of the playlist: a name with a line break, or too long, cannot be written as one line</source>
        <translation>
            <numerusform>%n path left out of the playlist: a name with a line break, or too long, cannot be written as one line</numerusform>
            <numerusform>%n paths left out of the playlist: a name with a line break, or too long, cannot be written as one line</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>CKeeperFiles</name>
    <message numerus="yes">
        <source>and %n more</source>
        <translation>
            <numerusform>and %n more</numerusform>
            <numerusform>and %n more</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n keeper(s) retagged.</source>
        <translation>
            <numerusform>%n keeper retagged.</numerusform>
            <numerusform>%n keepers retagged.</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n tag(s) filled.</source>
        <translation>
            <numerusform>%n tag filled.</numerusform>
            <numerusform>%n tags filled.</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n keeper(s) stayed as they were:</source>
        <translation>
            <numerusform>%n keeper stayed as it was:</numerusform>
            <numerusform>%n keepers stayed as they were:</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n playlist(s) in the scanned folders name files that went:</source>
        <translation>
            <numerusform>%n playlist in the scanned folders names files that went:</numerusform>
            <numerusform>%n playlists in the scanned folders name files that went:</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>Rewrite %n line(s) to name the kept copies instead?</source>
        <translation>
            <numerusform>Rewrite %n line to name the kept copy instead?</numerusform>
            <numerusform>Rewrite %n lines to name the kept copies instead?</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n other playlist(s) could not be read and stay as they are.</source>
        <translation>
            <numerusform>%n other playlist could not be read and stays as it is.</numerusform>
            <numerusform>%n other playlists could not be read and stay as they are.</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n playlist(s) stayed as they were:</source>
        <translation>
            <numerusform>%n playlist stayed as it was:</numerusform>
            <numerusform>%n playlists stayed as they were:</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>CMarkState</name>
    <message numerus="yes">
        <source>%n file(s) marked, %1 MB</source>
        <translation>
            <numerusform>%n file marked, %1 MB</numerusform>
            <numerusform>%n files marked, %1 MB</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>COptionsDlg</name>
    <message numerus="yes">
        <source>Dropped %n entry(s) of files that no longer exist; %1 freed</source>
        <translation>
            <numerusform>Dropped %n entry of a file that no longer exists; %1 freed</numerusform>
            <numerusform>Dropped %n entries of files that no longer exist; %1 freed</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>CResultActions</name>
    <message numerus="yes">
        <source>%n file(s) in a reference folder: always kept and never marked</source>
        <translation>
            <numerusform>%n file in a reference folder: always kept and never marked</numerusform>
            <numerusform>%n files in a reference folder: always kept and never marked</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n group(s) keep a copy in this folder unmarked: never the last copy</source>
        <translation>
            <numerusform>%n group keeps a copy in this folder unmarked: never the last copy</numerusform>
            <numerusform>%n groups keep a copy in this folder unmarked: never the last copy</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>Deleting the %1 files would leave no copy in %n group(s):

</source>
        <translation>
            <numerusform>Deleting the %1 files would leave no copy in %n group:

</numerusform>
            <numerusform>Deleting the %1 files would leave no copy in %n groups:

</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>... and %n more
</source>
        <translation>
            <numerusform>... and %n more
</numerusform>
            <numerusform>... and %n more
</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>CScanSession</name>
    <message numerus="yes">
        <source>%n file(s)</source>
        <translation>
            <numerusform>%n file</numerusform>
            <numerusform>%n files</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n duplicate pair(s)</source>
        <translation>
            <numerusform>%n duplicate pair</numerusform>
            <numerusform>%n duplicate pairs</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>CSkippedFilesDlg</name>
    <message numerus="yes">
        <source>%n file(s) skipped: %1</source>
        <translation>
            <numerusform>%n file skipped: %1</numerusform>
            <numerusform>%n files skipped: %1</numerusform>
        </translation>
    </message>
</context>
</TS>
